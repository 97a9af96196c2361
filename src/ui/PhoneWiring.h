// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class HostGate;
class PhoneDesk;
class PhonePanel;
class QAction;
class QBoxLayout;
class QSettings;
class QString;
class QWidget;
struct PhoneParty;

// Guests' phones at the window: the desk that serves them, the panel with its address and code beside the
// grid while it runs, and the host's key (Ctrl+P) that switches them.
class PhoneWiring : public QObject
{
    Q_OBJECT

public:
    // The panel and the key are `window`'s, the panel in `row`; `fitTables` lays the grid out anew for the
    // width the panel leaves; the key switches only when `gate` lets it (the host PIN in kiosk mode).
    PhoneWiring(QWidget* window, QBoxLayout* row, QSettings* settings, PhoneParty party,
                std::function<void()> fitTables, HostGate& gate);
    ~PhoneWiring() override;
    PhoneWiring(const PhoneWiring&) = delete;
    PhoneWiring& operator=(const PhoneWiring&) = delete;

    PhoneDesk* desk() const { return phoneDesk.get(); }
    // Switches phone wishes on or off.
    void togglePhones();

private:
    void showPhonePanel(bool running, const QString& address);

    QWidget* owner = nullptr;
    std::function<void()> fit;
    std::unique_ptr<PhoneDesk> phoneDesk;
    PhonePanel* phonePanel = nullptr;
    QAction* phonesAction = nullptr;
};
