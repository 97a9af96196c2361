// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// The QR code of the phones' page and its address, in a column of its own beside the grid, so it never
// covers a song's cell or the queue. Large enough to be scanned and read from across the room.
class PhonePanel : public QWidget
{
    Q_OBJECT

public:
    explicit PhonePanel(QWidget* parent = nullptr);

    // Shows the code for `address` (and the PIN, when one is set).
    void showAddress(const QString& address, const QString& pin);
    // Shows why the phones could not start, instead of a code no phone could use.
    void showProblem(const QString& problem);

private:
    QLabel* heading = nullptr;
    QLabel* code = nullptr;
    QLabel* text = nullptr;
};

// The QR code of `text` with a quiet zone of four modules, one pixel per module; null when it cannot be
// encoded.
QImage qrCodeImage(const QString& text);
