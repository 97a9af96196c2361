// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/style.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QTableWidgetItem>

QColor& backgroundColour()
{
    static QColor colour;
    return colour;
}

QColor& textColour()
{
    static QColor colour;
    return colour;
}

QColor& accentColour()
{
    static QColor colour;
    return colour;
}

namespace {
TextScale& processTextScale()
{
    static TextScale scale;
    return scale;
}

// Made once a scale: every cell of a large grid shares it.
QFont& cellFont()
{
    static QFont font = scaledArial(16);
    return font;
}
} // namespace

const TextScale& textScale()
{
    return processTextScale();
}

void setTextScale(const TextScale& scale)
{
    processTextScale() = scale;
    cellFont() = scaledArial(16);
}

QString scaledPoints(double specifiedPoints)
{
    return QString::number(textScale().pointSize(specifiedPoints)) + QStringLiteral("pt");
}

QFont scaledArial(double specifiedPoints)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(textScale().pointSize(specifiedPoints));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void setStyleColours()
{
    backgroundColour().setHsv(0, 0, 0, 255);
    textColour().setHsv(0, 0, 255, 255);
    accentColour().setHsv(350, 255, 180, 255);
}

QString rgbRule(const QColor& colour)
{
    return QStringLiteral("rgb(%1,%2,%3);").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

QString backgroundRule(const QColor& colour)
{
    return QStringLiteral("background-color: ") + rgbRule(colour);
}

QString bigButtonStyleSheet()
{
    return QStringLiteral("QPushButton  { font: 16pt \"Arial\"; color: #FFFFFF; background-color: #000000;}"
                          "QPushButton:checked {background-color:qlineargradient(x1:0,y1:0,x2:0,y2:1,"
                          "stop:0#261e70,stop:1#4a38f9);}");
}

QString queueTableStyleSheet()
{
    const QString text = rgbRule(textColour());
    return QStringLiteral("alternate-") + backgroundRule(backgroundColour()) + QStringLiteral("\nfont: ") +
           scaledPoints(16) + QStringLiteral(" \"Arial\";\ncolor: ") + text +
           QStringLiteral("\nborder-color: ") + text + QStringLiteral("\nborder-top-color: ") + text +
           QStringLiteral("\nborder-right-color: ") + text + QStringLiteral("\nborder-bottom-color: ") +
           text + QStringLiteral("\nborder-left-color: ") + text;
}

QString libraryTableStyleSheet()
{
    return QStringLiteral("alternate-") + backgroundRule(backgroundColour());
}

QString scrollBarStyleSheet()
{
    const QColor& colour = backgroundColour();
    const QString handle =
        QStringLiteral("background: rgb(%1,%2,%3);").arg(colour.red()).arg(colour.green()).arg(colour.blue());
    QString sheet;
    for (const QLatin1String orientation : {QLatin1String("horizontal"), QLatin1String("vertical")}) {
        sheet += QStringLiteral("QScrollBar:%1 {border: 1px solid grey;background: rgb( 128, 128, 128 )}"
                                "QScrollBar::handle:%1 {%2}"
                                "QScrollBar::add-line:%1 {border: 1px solid grey;%2}"
                                "QScrollBar::sub-line:%1 {border: 1px solid grey;%2}")
                     .arg(orientation, handle);
    }
    return sheet;
}

QString gradientButtonStyleSheet(double pointSize, const QString& checkedTop, const QString& checkedBottom,
                                 const QString& normalTop, const QString& normalBottom)
{
    return QStringLiteral("QPushButton{  font: ") + QString::number(pointSize) +
           QStringLiteral("pt \"Arial\"; color: #FFFFFF;border-style:sunken;background-color:qlineargradient("
                          "x1:0,y1:0,x2:0,y2:1,stop:0#") +
           normalTop + QStringLiteral(",stop:1#") + normalBottom +
           QStringLiteral(
               ");}QPushButton:checked {background-color:qlineargradient(x1:0,y1:0,x2:0,y2:1,stop:0#") +
           checkedTop + QStringLiteral(",stop:1#") + checkedBottom + QStringLiteral(");}");
}

void applyButtonStyle(QAbstractButton* button, double pointSize, const QString& checkedTop,
                      const QString& checkedBottom, const QString& normalTop, const QString& normalBottom)
{
    if (button)
        button->setStyleSheet(
            gradientButtonStyleSheet(pointSize, checkedTop, checkedBottom, normalTop, normalBottom));
}

void styleTableCell(QTableWidgetItem* item)
{
    if (!item)
        return;
    item->setBackground(backgroundColour());
    item->setForeground(textColour());
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    item->setFont(cellFont());
    // Setting a cell's flags repaints it even when they do not change; the grid restyles every cell.
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (item->flags() != flags)
        item->setFlags(flags);
}

void styleFillerCell(QTableWidgetItem* item)
{
    if (!item)
        return;
    // A song's cell becomes a filler in place: a genre filter turns tens of thousands of them at once.
    if (!isFillerCell(item)) {
        for (const int role : {Qt::DisplayRole, Qt::ToolTipRole, Qt::ForegroundRole, Qt::TextAlignmentRole,
                               Qt::FontRole, Qt::AccessibleDescriptionRole})
            item->setData(role, QVariant());
    }
    item->setBackground(backgroundColour());
    if (item->flags() != Qt::NoItemFlags)
        item->setFlags(Qt::NoItemFlags);
}

bool isFillerCell(const QTableWidgetItem* item)
{
    return item && item->flags() == Qt::NoItemFlags;
}

QColor playingColour()
{
    return QColor::fromHsv(80, 255, 255, 255);
}

QColor waitingColour(int hue)
{
    return QColor::fromHsv(hue, 255, 255, 255);
}

void applyGenreButtonStyle(QAbstractButton* button)
{
    applyButtonStyle(button, textScale().pointSize(13), QStringLiteral("74be32"), QStringLiteral("a8dc7b"),
                     QStringLiteral("dc7b7b"), QStringLiteral("cf4f4f"));
}

void applyPauseButtonStyle(QAbstractButton* button)
{
    applyButtonStyle(button, textScale().pointSize(11), QStringLiteral("261e70"), QStringLiteral("4a38f9"),
                     QStringLiteral("000000"), QStringLiteral("000000"));
}
