// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/PhonePanel.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include <qrencode.h>

#include <memory>

namespace {
constexpr int panelWidth = 300;
constexpr int quietZone = 4;
} // namespace

QImage qrCodeImage(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> qr(
        QRcode_encodeString(bytes.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!qr)
        return QImage();
    const int modules = qr->width;
    QImage image(modules + 2 * quietZone, modules + 2 * quietZone, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x)
            if (qr->data[y * modules + x] & 1)
                image.setPixel(x + quietZone, y + quietZone, qRgb(0, 0, 0));
    return image;
}

PhonePanel::PhonePanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("phonePanel"));
    setFixedWidth(panelWidth);
    // Black like the grid, whatever colour the window's border has just now: the code needs its contrast.
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#phonePanel { background-color: black; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 8);
    heading = new QLabel(tr("Wish from your phone"), this);
    code = new QLabel(this);
    text = new QLabel(this);
    for (QLabel* label : {heading, code, text}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    code->setObjectName(QStringLiteral("phoneCode"));
    text->setObjectName(QStringLiteral("phoneAddress"));
    heading->setStyleSheet(QStringLiteral("color: #a8dc7b; font: bold 16pt \"Arial\";"));
    text->setStyleSheet(QStringLiteral("color: white; font: bold 14pt \"Arial\";"));
    code->setStyleSheet(QStringLiteral("background: white;"));
    layout->addStretch(1);
}

void PhonePanel::showAddress(const QString& address, const QString& pin)
{
    const QImage image = qrCodeImage(address);
    // Whole pixels per module keep the code sharp; the largest that fits the panel.
    const int scale = image.isNull() ? 1 : qMax(1, (panelWidth - 8) / image.width());
    code->setPixmap(image.isNull() ? QPixmap()
                                   : QPixmap::fromImage(image.scaled(
                                         image.size() * scale, Qt::KeepAspectRatio, Qt::FastTransformation)));
    text->setText(pin.isEmpty() ? address : address + QLatin1Char('\n') + tr("PIN: %1").arg(pin));
}

void PhonePanel::showProblem(const QString& problem)
{
    code->setPixmap(QPixmap());
    text->setText(problem);
}
