// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PhoneWiring.h"

#include "phones/PhoneDesk.h"
#include "phones/PhonePanel.h"
#include "ui/HostGate.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QWidget>
#include <utility>

PhoneWiring::PhoneWiring(QWidget* window, QBoxLayout* row, QSettings* settings, PhoneParty party,
                         std::function<void()> fitTables, HostGate& gate)
    : owner(window), fit(std::move(fitTables))
{
    phoneDesk = std::make_unique<PhoneDesk>(settings, std::move(party));
    phonePanel = new PhonePanel(window);
    phonePanel->hide();
    row->addWidget(phonePanel);
    connect(phoneDesk.get(), &PhoneDesk::stateChanged, this, &PhoneWiring::showPhonePanel);
    if (phoneDesk->isRunning() || !phoneDesk->problem().isEmpty())
        showPhonePanel(phoneDesk->isRunning(), phoneDesk->address());
    // The key's texts were the window's own and keep its translations.
    phonesAction = new QAction(QCoreApplication::translate("MainWindow", "Phone wishes"), window);
    phonesAction->setShortcut(QKeySequence(QCoreApplication::translate("MainWindow", "Ctrl+P")));
    // Switching the server changes what the party offers: a host action.
    connect(phonesAction, &QAction::triggered, this, [this, &gate]() {
        if (gate.mayAct())
            togglePhones();
    });
    window->addAction(phonesAction);
}

PhoneWiring::~PhoneWiring() = default;

void PhoneWiring::togglePhones()
{
    if (phoneDesk)
        phoneDesk->toggle();
}

void PhoneWiring::showPhonePanel(bool running, const QString& address)
{
    if (!phonePanel)
        return;
    // Phones that could not start for the host's settings say why where the code would stand.
    const QString problem = !running && phoneDesk ? phoneDesk->problem() : QString();
    const bool shown = running || !problem.isEmpty();
    if (running)
        phonePanel->showAddress(address, phoneDesk ? phoneDesk->pin() : QString());
    else if (shown)
        phonePanel->showProblem(problem);
    if (shown == phonePanel->isVisible())
        return;
    phonePanel->setVisible(shown);
    // The panel takes its column from the grid, which is laid out anew for the width left.
    if (owner->layout())
        owner->layout()->activate();
    fit();
}
