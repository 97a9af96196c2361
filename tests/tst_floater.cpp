// SPDX-License-Identifier: GPL-3.0-or-later
// The floating photo window beside the library table: its form, sizes, places, the comment entry and view.
#include "base/runlog.h"
#include "camera/photocomment.h"
#include "testsupport.h"
#include "ui/Floater.h"
#include "ui/style.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

using vimotest::fileBytes;

namespace {

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString storedComment(const QString& path)
{
    return QString::fromStdString(readPhotoCommentFromFile(local(path)));
}

template <typename Widget> Widget* part(const Floater& floater, const char* name)
{
    return floater.findChild<Widget*>(QLatin1String(name));
}

} // namespace

class TestFloater : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QByteArray cameraBytes; // a 1280 × 1024 webcam photo
    QWidget mainWindow;
    QTableWidget* table = nullptr;

    QString photo(const QString& name)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(cameraBytes) != cameraBytes.size())
            return QString();
        return path;
    }

    QString photoWithComment(const QString& name, const std::string& comment)
    {
        const QString path = photo(name);
        return writePhotoComment(local(path), comment) ? path : QString();
    }

    // The library table, 1000 × 500 in the window, with `columns` columns filling it.
    void layOutTable(int columns)
    {
        table->setColumnCount(columns);
        for (int column = 0; column < columns; ++column)
            table->setColumnWidth(column, 1000 / columns);
    }

    QString portraitDirectory() const { return folder.path() + QLatin1Char('/'); }

    // A selected song of the library with the photo `name` that the queue has taken on.
    static PhotoSelection photographedSong(const QString& name, bool commentAsked)
    {
        PhotoSelection selection;
        selection.cellSelected = true;
        selection.songFound = true;
        selection.photoFileName = name;
        selection.taken = true;
        selection.commentAsked = commentAsked;
        return selection;
    }

    QRect tableOnScreen() const { return QRect(table->mapToGlobal(QPoint(0, 0)), table->size()); }

private slots:
    void initTestCase()
    {
        runFolder();
        setStyleColours();
        QVERIFY(folder.isValid());
        cv::Mat image(1024, 1280, CV_8UC3, cv::Scalar(30, 120, 220));
        const QString camera = folder.filePath(QStringLiteral("camera.jpg"));
        QVERIFY(cv::imwrite(local(camera), image, {cv::IMWRITE_JPEG_QUALITY, 100}));
        cameraBytes = fileBytes(camera);

        mainWindow.setGeometry(30, 40, 1200, 700);
        table = new QTableWidget(6, 4, &mainWindow);
        table->setGeometry(50, 100, 1000, 500);
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        layOutTable(4);
    }

    void pictureLimits_data()
    {
        QTest::addColumn<QSize>("tableFrame");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("firstColumnWidth");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("4 columns: half the width") << QSize(1000, 500) << 4 << 250 << QSize(500, 400);
        QTest::newRow("5 columns: two whole columns") << QSize(1000, 500) << 5 << 200 << QSize(400, 400);
        QTest::newRow("3 columns: one column") << QSize(700, 333) << 3 << 233 << QSize(233, 266);
        QTest::newRow("1 column: half the width") << QSize(300, 500) << 1 << 300 << QSize(150, 400);
    }
    void pictureLimits()
    {
        QFETCH(QSize, tableFrame);
        QFETCH(int, columns);
        QFETCH(int, firstColumnWidth);
        QFETCH(QSize, expected);
        QCOMPARE(floaterPictureLimit(tableFrame, columns, firstColumnWidth), expected);
    }

    void sideRule_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("right");
        QTest::newRow("4 columns, column 0") << 4 << 0 << true;
        QTest::newRow("4 columns, column 1") << 4 << 1 << true;
        QTest::newRow("4 columns, column 2") << 4 << 2 << false;
        QTest::newRow("4 columns, column 3") << 4 << 3 << false;
        QTest::newRow("5 columns, column 1") << 5 << 1 << true;
        QTest::newRow("5 columns, middle column 2") << 5 << 2 << true;
        QTest::newRow("5 columns, column 3") << 5 << 3 << false;
        QTest::newRow("5 columns, column 4") << 5 << 4 << false;
    }
    void sideRule()
    {
        QFETCH(int, columns);
        QFETCH(int, column);
        QFETCH(bool, right);
        QCOMPARE(floaterGoesRight(columns, column), right);

        // The window itself sits flush with that edge of the table, centred vertically.
        layOutTable(columns);
        Floater floater(photoWithComment(QStringLiteral("side.jpg"), "side"), true, table, column);
        QVERIFY(floater.isVisible());
        const QRect onScreen = tableOnScreen();
        const QRect window = floater.frameGeometry();
        if (right)
            QCOMPARE(window.right(), onScreen.right());
        else
            QCOMPARE(window.left(), onScreen.left());
        QCOMPARE(window.top(), onScreen.top() + (onScreen.height() - window.height()) / 2);
        layOutTable(4);
    }

    void pictureScaledIntoTheTable_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("viewMode");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("4 columns, comment entry") << 4 << false << QSize(500, 400);
        QTest::newRow("4 columns, view") << 4 << true << QSize(500, 400);
        QTest::newRow("5 columns, view") << 5 << true << QSize(400, 320);
    }
    void pictureScaledIntoTheTable()
    {
        QFETCH(int, columns);
        QFETCH(bool, viewMode);
        QFETCH(QSize, expected);
        layOutTable(columns);
        Floater floater(photo(QStringLiteral("scaled.jpg")), viewMode, table, 0);
        const QLabel* label = part<QLabel>(floater, "label");
        QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), expected);
        QVERIFY(floater.width() >= expected.width());
        layOutTable(4);
    }

    // Scaled down smoothly, a photo of fine stripes turns grey; picked pixel by pixel it stays black and
    // white.
    void photoIsScaledSmoothly()
    {
        cv::Mat stripes(1024, 1280, CV_8UC3, cv::Scalar(0, 0, 0));
        for (int column = 0; column < stripes.cols; column += 2)
            stripes.col(column).setTo(cv::Scalar(255, 255, 255));
        const QString path = folder.filePath(QStringLiteral("stripes.jpg"));
        QVERIFY(cv::imwrite(local(path), stripes, {cv::IMWRITE_JPEG_QUALITY, 100}));
        Floater floater(path, true, table, 0);
        const QImage shown = part<QLabel>(floater, "label")->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(shown.size(), QSize(500, 400));
        int grey = 0;
        for (int x = 0; x < shown.width(); ++x) {
            const int value = qGray(shown.pixel(x, shown.height() / 2));
            grey += value > 64 && value < 192 ? 1 : 0;
        }
        QVERIFY2(grey > shown.width() * 9 / 10, qPrintable(QString::number(grey)));
    }

    // The window stays right above the main window (also a full-screen one) instead of on top of every
    // window, and tells a screen reader what it shows.
    void staysAboveTheMainWindowAndIsNamed_data()
    {
        QTest::addColumn<bool>("viewMode");
        QTest::newRow("comment entry") << false;
        QTest::newRow("view") << true;
    }
    void staysAboveTheMainWindowAndIsNamed()
    {
        QFETCH(bool, viewMode);
        Floater floater(photo(QStringLiteral("above.jpg")), viewMode, table, 0);
        QVERIFY(floater.windowHandle());
        QCOMPARE(floater.windowHandle()->transientParent(), mainWindow.windowHandle());
        QVERIFY(!(floater.windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(floater.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!floater.windowTitle().isEmpty());
        QVERIFY(!part<QLabel>(floater, "label")->accessibleName().isEmpty());
        QVERIFY(!part<QLineEdit>(floater, "lineEdit")->accessibleName().isEmpty());
    }

    void commentEntryIsCentredAndStoresTheComment()
    {
        const QString path = photo(QStringLiteral("wish.jpg"));
        Floater floater(path, false, table, 3);
        const QRect onScreen = tableOnScreen();
        QCOMPARE(floater.pos(), QPoint(onScreen.center().x() - floater.width() / 2,
                                       onScreen.center().y() - floater.height() / 2));
        auto* line = part<QLineEdit>(floater, "lineEdit");
        QVERIFY(line->isVisible());
        QVERIFY(!line->isReadOnly());
        QVERIFY(part<QLabel>(floater, "staticLabel_askForComment")->isVisible());
        QVERIFY(part<QPushButton>(floater, "pushButton")->isVisible());

        QTest::keyClicks(line, QStringLiteral("Best song ever"));
        line->insert(QStringLiteral(" – wünsch dir was ♫")); // as an input method would type it
        QTest::mouseClick(part<QPushButton>(floater, "pushButton"), Qt::LeftButton);
        QVERIFY(!floater.isVisible());
        QCOMPARE(storedComment(path), QStringLiteral("Best song ever – wünsch dir was ♫"));
    }

    void returnKeyPressesOk()
    {
        const QString path = photo(QStringLiteral("return.jpg"));
        Floater floater(path, false, table, 0);
        auto* line = part<QLineEdit>(floater, "lineEdit");
        QTest::keyClicks(line, QStringLiteral("Encore!"));
        QTest::keyClick(line, Qt::Key_Return);
        QVERIFY(!floater.isVisible());
        QCOMPARE(storedComment(path), QStringLiteral("Encore!"));
    }

    void okWithAnEmptyLineStoresAnEmptyComment()
    {
        const QString path = photo(QStringLiteral("empty.jpg"));
        {
            Floater floater(path, false, table, 0);
            QTest::mouseClick(part<QPushButton>(floater, "pushButton"), Qt::LeftButton);
            QVERIFY(!floater.isVisible());
        }
        QVERIFY(fileBytes(path).startsWith(QByteArray("\xFF\xD8\xFF\xE1", 4)));
        QCOMPARE(storedComment(path), QString());

        // Viewed later, the photo comes alone.
        Floater view(path, true, table, 0);
        QVERIFY(view.isVisible());
        QVERIFY(!part<QLineEdit>(view, "lineEdit")->isVisible());
        QVERIFY(!part<QPushButton>(view, "pushButton")->isVisible());
        QVERIFY(!part<QLabel>(view, "staticLabel_askForComment")->isVisible());
    }

    void escapeClosesWithoutWriting()
    {
        const QString path = photo(QStringLiteral("escape.jpg"));
        Floater floater(path, false, table, 0);
        auto* line = part<QLineEdit>(floater, "lineEdit");
        QTest::keyClicks(line, QStringLiteral("not meant"));
        QTest::keyClick(line, Qt::Key_Escape);
        QVERIFY(!floater.isVisible());
        QCOMPARE(fileBytes(path), cameraBytes);
    }

    void viewShowsTheCommentAndLeavesTheKeyboardWithTheTable()
    {
        const QString path = photoWithComment(QStringLiteral("view.jpg"), "Danke für den Song   ");
        // An open comment entry has the keyboard first.
        Floater entry(photo(QStringLiteral("entry.jpg")), false, table, 0);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(part<QLineEdit>(entry, "lineEdit")));
        Floater floater(path, true, table, 1);
        QVERIFY(floater.isVisible());
        auto* line = part<QLineEdit>(floater, "lineEdit");
        QVERIFY(line->isVisible());
        QVERIFY(line->isReadOnly());
        QCOMPARE(line->text(), QStringLiteral("Danke für den Song"));
        QVERIFY(!part<QPushButton>(floater, "pushButton")->isVisible());
        QVERIFY(!part<QLabel>(floater, "staticLabel_askForComment")->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(table));
    }

    void viewWithoutExifShowsThePhotoAlone()
    {
        Floater floater(photo(QStringLiteral("plain.jpg")), true, table, 0);
        QVERIFY(floater.isVisible());
        QCOMPARE(part<QLabel>(floater, "label")->pixmap(Qt::ReturnByValue).size(), QSize(500, 400));
        QVERIFY(!part<QLineEdit>(floater, "lineEdit")->isVisible());
    }

    void selectionDecisions_data()
    {
        QTest::addColumn<bool>("cellSelected");
        QTest::addColumn<bool>("webcam");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("hasPhoto");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("adding");
        QTest::addColumn<bool>("shownBefore");
        QTest::addColumn<QString>("after"); // "none", "same" or "new"
        QTest::newRow("no cell drops") << false << true << false << false << false << false << true << "none";
        QTest::newRow("no cell drops without webcam")
            << false << false << false << false << false << false << true << "none";
        QTest::newRow("no cell keeps while adding")
            << false << true << false << false << false << true << true << "same";
        QTest::newRow("no webcam leaves the window")
            << true << false << true << true << true << false << true << "same";
        QTest::newRow("no webcam shows nothing")
            << true << false << true << true << true << false << false << "none";
        QTest::newRow("unknown cell drops")
            << true << true << false << false << false << false << true << "none";
        QTest::newRow("song without photo drops")
            << true << true << true << false << true << false << true << "none";
        QTest::newRow("free song drops") << true << true << true << true << false << false << true << "none";
        QTest::newRow("free song keeps while adding")
            << true << true << true << true << false << true << true << "same";
        QTest::newRow("photographed song replaces")
            << true << true << true << true << true << false << true << "new";
        QTest::newRow("photographed song shows")
            << true << true << true << true << true << false << false << "new";
        QTest::newRow("adding keeps the shown window")
            << true << true << true << true << true << true << true << "same";
        QTest::newRow("adding without a window shows")
            << true << true << true << true << true << true << false << "new";
    }
    void selectionDecisions()
    {
        QFETCH(bool, cellSelected);
        QFETCH(bool, webcam);
        QFETCH(bool, found);
        QFETCH(bool, hasPhoto);
        QFETCH(bool, taken);
        QFETCH(bool, adding);
        QFETCH(bool, shownBefore);
        QFETCH(QString, after);

        const QString path = photoWithComment(QStringLiteral("selected.jpg"), "seen");
        std::unique_ptr<Floater> floater;
        if (shownBefore)
            floater = std::make_unique<Floater>(path, true, table, 0);
        const QPointer<Floater> before = floater.get();

        PhotoSelection selection =
            photographedSong(hasPhoto ? QStringLiteral("selected.jpg") : QString(), true);
        selection.cellSelected = cellSelected;
        selection.songFound = found;
        selection.taken = taken;
        selection.column = 2;
        const bool made =
            followLibrarySelection(floater, selection, webcam, adding, portraitDirectory(), table);

        QCOMPARE(made, after == QLatin1String("new"));
        if (after == QLatin1String("none")) {
            QVERIFY(!floater);
            QVERIFY(!before);
        } else if (after == QLatin1String("same")) {
            QVERIFY(before);
            QVERIFY(floater.get() == before.data());
        } else {
            QVERIFY(!before);
            QVERIFY(floater);
            QVERIFY(floater->isBuilt());
            QVERIFY(floater->isVisible());
            // commentAsked: view mode, on the left half for column 2 of 4.
            QVERIFY(!part<QPushButton>(*floater, "pushButton")->isVisible());
            QCOMPARE(floater->frameGeometry().left(), tableOnScreen().left());
        }
    }

    void wishedSongOffersTheCommentOnce()
    {
        const QString path = photo(QStringLiteral("wished.jpg"));
        std::unique_ptr<Floater> floater;
        PhotoSelection selection = photographedSong(QStringLiteral("wished.jpg"), false);
        QVERIFY(followLibrarySelection(floater, selection, true, false, portraitDirectory(), table));
        QVERIFY(part<QPushButton>(*floater, "pushButton")->isVisible());
        QTest::keyClicks(part<QLineEdit>(*floater, "lineEdit"), QStringLiteral("first wish"));
        QTest::keyClick(part<QLineEdit>(*floater, "lineEdit"), Qt::Key_Return);
        QCOMPARE(storedComment(path), QStringLiteral("first wish"));

        // The caller marks the question as used up; the next selection views the photo with its comment.
        selection.commentAsked = true;
        QVERIFY(followLibrarySelection(floater, selection, true, false, portraitDirectory(), table));
        QVERIFY(!part<QPushButton>(*floater, "pushButton")->isVisible());
        QCOMPARE(part<QLineEdit>(*floater, "lineEdit")->text(), QStringLiteral("first wish"));
    }

    void missingPhotoIsLoggedAtEverySelection()
    {
        const QString missing = folder.filePath(QStringLiteral("grab failed.jpg"));
        const QString line =
            QStringLiteral("Failed to open floater showing file \"") + missing + QStringLiteral("\"");
        const int before = vimotest::readTextFile(logFilePath()).count(line);
        std::unique_ptr<Floater> floater;
        const PhotoSelection selection = photographedSong(QStringLiteral("grab failed.jpg"), false);
        for (int selectionCount = 1; selectionCount <= 2; ++selectionCount) {
            QVERIFY(followLibrarySelection(floater, selection, true, false, portraitDirectory(), table));
            QVERIFY(floater);
            QVERIFY(!floater->isBuilt());
            QVERIFY(!floater->isVisible());
            QCOMPARE(vimotest::readTextFile(logFilePath()).count(line), before + selectionCount);
        }
        floater->addComment(); // nothing to write into
        QVERIFY(!QFileInfo::exists(missing));
    }
};

VIMO_TEST_MAIN(TestFloater)
#include "tst_floater.moc"
