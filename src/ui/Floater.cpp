// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Floater.h"

#include "base/plaintext.h"
#include "base/runlog.h"
#include "camera/photocomment.h"
#include "ui/style.h"
#include "ui_Floater.h"

#include <QColor>
#include <QFile>
#include <QPixmap>
#include <QTableWidget>
#include <QWindow>

Floater::Floater(const QString& photoFile, bool viewMode, QTableWidget* libraryTable, int column,
                 QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint), photoPath(photoFile)
{
    const QPixmap photo(photoPath, "JPG");
    if (photo.isNull()) {
        logMessage(tr("Failed to open floater showing file") + QStringLiteral(" \"") +
                   oneLineText(photoPath) + QStringLiteral("\""));
        return;
    }
    ui = std::make_unique<Ui::FloaterDialog>();
    ui->setupUi(this);
    applyStyle();
    nameForScreenReaders(viewMode);

    const QSize limit = floaterPictureLimit(libraryTable->frameGeometry().size(), libraryTable->columnCount(),
                                            libraryTable->columnWidth(0));
    if (viewMode) {
        showComment();
        ui->pushButton->hide();
        ui->staticLabel_askForComment->hide();
    }
    // The photo gets the screen's own pixels: at 200 % a picture scaled to the window's units would be
    // blown up pixel by pixel.
    const QSize shown = photo.size().scaled(limit, Qt::KeepAspectRatio);
    const qreal ratio = libraryTable->devicePixelRatioF();
    QPixmap picture = photo.scaled(shown * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture.setDevicePixelRatio(ratio);
    ui->label->setPixmap(picture);
    ui->label->resize(shown);
    adjustSize();

    const QRect table(libraryTable->mapToGlobal(QPoint(0, 0)), libraryTable->frameGeometry().size());
    move(floaterCentredPosition(table, size()));
    if (viewMode)
        move(floaterSidePosition(table, size(), floaterGoesRight(libraryTable->columnCount(), column)));
    stayAbove(libraryTable->window());
    show();

    if (viewMode) {
        // The guests keep typing into the table to find artists while the photo is up.
        libraryTable->activateWindow();
        libraryTable->setFocus(Qt::OtherFocusReason);
    } else {
        ui->lineEdit->setFocus(Qt::OtherFocusReason);
        connect(ui->pushButton, &QPushButton::clicked, this, &Floater::addComment);
    }
}

Floater::~Floater()
{
    close();
}

// Transient for the main window, the photo stays right above it, in full screen too, and goes when it goes.
// Staying on top of every window instead put it into a layer beneath a full-screen window, which then
// showed it over the party (and over any other program) the moment the main window lost the focus.
void Floater::stayAbove(QWidget* mainWindow)
{
    winId();
    QWindow* own = windowHandle();
    QWindow* main = mainWindow ? mainWindow->windowHandle() : nullptr;
    if (own && main && own != main)
        own->setTransientParent(main);
}

void Floater::nameForScreenReaders(bool viewMode)
{
    setWindowTitle(viewMode ? tr("Photo of this song's guest") : tr("Your photo: a comment for it?"));
    ui->label->setAccessibleName(tr("Photo of the guest who wished this song"));
    ui->lineEdit->setAccessibleName(viewMode ? tr("The guest's comment") : tr("Your comment on the photo"));
    if (!viewMode)
        ui->lineEdit->setAccessibleDescription(ui->staticLabel_askForComment->text());
}

void Floater::applyStyle()
{
    const QColor& base = backgroundColour();
    const QColor contrast = QColor::fromHsv(base.hsvHue(), base.hsvSaturation(), 255, 255);
    const QString baseRule = rgbRule(base);
    const QString contrastRule = rgbRule(contrast);
    QString sheet = QStringLiteral("background-color: ") + contrastRule + QStringLiteral("\nfont: ") +
                    scaledPoints(16) + QStringLiteral(" \"Arial\";\ncolor: ") + baseRule;
    for (const char* border : {"border", "border-top", "border-right", "border-bottom", "border-left"})
        sheet += QStringLiteral("\n") + QLatin1String(border) + QStringLiteral("-color: ") + baseRule;
    setStyleSheet(sheet);
    ui->pushButton->setStyleSheet(
        QStringLiteral("QPushButton  { font: ") + scaledPoints(16) + QStringLiteral(" \"Arial\";color: ") +
        contrastRule + QStringLiteral("\nbackground-color: ") + baseRule +
        QStringLiteral("\n}QPushButton:checked {background-color:qlineargradient(x1:0,y1:0,x2:0,y2:1,"
                       "stop:0#261e70,stop:1#4a38f9);}"));
}

void Floater::showComment()
{
    const QString comment =
        QString::fromStdString(readPhotoCommentFromFile(QFile::encodeName(photoPath).toStdString()));
    if (comment.isEmpty()) {
        ui->lineEdit->hide();
        return;
    }
    ui->lineEdit->setText(comment);
    ui->lineEdit->setReadOnly(true);
}

void Floater::addComment()
{
    if (!ui)
        return;
    if (writePhotoComment(QFile::encodeName(photoPath).toStdString(), ui->lineEdit->text().toStdString()))
        emit commentWritten();
    close();
}

QSize floaterPictureLimit(const QSize& tableFrame, int columnCount, int firstColumnWidth)
{
    const int height = int(0.8 * tableFrame.height());
    // A single column has no whole column beside the middle one; half the table still shows the photo.
    if (columnCount % 2 == 0 || columnCount < 2)
        return QSize(tableFrame.width() / 2, height);
    return QSize(firstColumnWidth * (columnCount / 2), height);
}

bool floaterGoesRight(int columnCount, int column)
{
    const int half = columnCount / 2;
    return columnCount % 2 == 0 ? column < half : column <= half;
}

QPoint floaterCentredPosition(const QRect& table, const QSize& size)
{
    const QPoint centre = table.center();
    return QPoint(centre.x() - size.width() / 2, centre.y() - size.height() / 2);
}

QPoint floaterSidePosition(const QRect& table, const QSize& size, bool right)
{
    const int y = table.top() + (table.height() - size.height()) / 2;
    const int x = right ? table.right() - size.width() + 1 : table.left();
    return QPoint(x, y);
}

bool followLibrarySelection(std::unique_ptr<Floater>& floater, const PhotoSelection& selection,
                            bool webcamInUse, bool adding, const QString& portraitDirectory,
                            QTableWidget* libraryTable)
{
    const auto dropUnlessAdding = [&] {
        if (floater && !adding)
            floater.reset();
    };
    if (!selection.cellSelected) {
        dropUnlessAdding();
        return false;
    }
    if (!webcamInUse)
        return false;
    if (!selection.songFound || selection.photoFileName.isEmpty() || !selection.taken) {
        dropUnlessAdding();
        return false;
    }
    if (adding && floater)
        return false;
    floater.reset();
    floater = std::make_unique<Floater>(portraitDirectory + selection.photoFileName, selection.commentAsked,
                                        libraryTable, selection.column);
    return true;
}
