// SPDX-License-Identifier: GPL-3.0-or-later
// The library grid of the main window: its geometry for a given table size, the filter of each genre
// button on the genre bar alone and the grid following it, the colours of played and playing songs, and
// which song is current.
#include "base/settings.h"
#include "desktop/textscale.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "testsupport.h"
#include "ui/GenreFilterBar.h"
#include "ui/gridshape.h"
#include "ui/mainwindowimpl.h"
#include "ui/style.h"
#include "windowsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QThreadPool>
#include <QVBoxLayout>

using vimotest::LogMark;

namespace {

QString fixture(const QString& name)
{
    return vimotest::fixturesDirectory() + QStringLiteral("/adding/") + name;
}

QTableWidget* libraryTable(MainWindow& window)
{
    return window.findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
}

// A window whose library holds the songs of one fixture folder.
std::unique_ptr<MainWindow> windowWithSongs(const QString& folder)
{
    return vimotest::openMainWindowWithSongs(fixture(folder));
}

// Makes the library table exactly this size and rebuilds the grid for it.
void showGridIn(MainWindow& window, const QSize& size)
{
    libraryTable(window)->setFixedSize(size);
    window.refreshLibraryTable(QString(), true);
}

// Gives the table the height that leaves room for `slotCount` genre buttons below "All genres", beside the
// pause button, and rebuilds the grid.
void showGridWithGenreSlots(MainWindow& window, int slotCount)
{
    const int spacing = window.findChild<QVBoxLayout*>(QStringLiteral("verticalLayout"))->spacing();
    const int pause = window.findChild<QPushButton*>(QStringLiteral("myButtonPause"))->height();
    showGridIn(window,
               QSize(700, pause + 2 * spacing + 50 + slotCount * (spacing + 50) + (spacing + 50) / 2));
}

QStringList buttonTexts(const MainWindow& window)
{
    QStringList texts;
    for (const QAbstractButton* button : window.genreFilterButtons())
        texts << button->text();
    return texts;
}

QAbstractButton* genreButton(const MainWindow& window, const QString& text)
{
    for (QAbstractButton* button : window.genreFilterButtons())
        if (button->text() == text)
            return button;
    return nullptr;
}

// Texts of the song cells, row by row, up to the first empty cell.
QStringList shownSongs(QTableWidget* table)
{
    QStringList shown;
    for (int row = 0; row < table->rowCount(); ++row)
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem* cell = table->item(row, column);
            if (!cell || cell->text().isEmpty())
                return shown;
            shown << cell->text();
        }
    return shown;
}

QStringList songTexts(const QString& artist, const QString& kind, int count)
{
    QStringList texts;
    for (int number = 1; number <= count; ++number)
        texts << QStringLiteral("%1\n%2 Song %3").arg(artist, kind).arg(number, 3, 10, QLatin1Char('0'));
    return texts;
}

Track* song(MainWindow& window, const QString& displayText)
{
    return window.trackLibrary()->findBySearchKey(displayText.toLower());
}

QList<int> columnWidths(QTableWidget* table)
{
    QList<int> widths;
    for (int column = 0; column < table->columnCount(); ++column)
        widths << table->columnWidth(column);
    return widths;
}

QList<int> rowHeights(QTableWidget* table)
{
    QList<int> heights;
    for (int row = 0; row < table->rowCount(); ++row)
        heights << table->rowHeight(row);
    return heights;
}

// Every cell from `first` on (row by row) is an empty, disabled cell on the background colour.
bool emptyFrom(QTableWidget* table, int first)
{
    for (int position = first; position < table->rowCount() * table->columnCount(); ++position) {
        const QTableWidgetItem* cell =
            table->item(position / table->columnCount(), position % table->columnCount());
        if (!cell || !cell->text().isEmpty() || cell->flags() != Qt::NoItemFlags ||
            cell->background().color() != backgroundColour())
            return false;
    }
    return true;
}

} // namespace

class TestGrid : public QObject
{
    Q_OBJECT

private slots:
    // One pool thread: the songs of a folder then reach the grid in the order they were found, so which
    // song a refresh during the job makes current does not depend on which file a thread finished first.
    void initTestCase() { QThreadPool::globalInstance()->setMaxThreadCount(1); }

    // The shape alone, without a window: where the grid starts to scroll, how the width is shared, and
    // how the rows fill the height once fewer songs are shown than the library holds.
    void shapeForTableSize_data()
    {
        QTest::addColumn<QSize>("table");
        QTest::addColumn<int>("songs");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("scrolls");
        QTest::addColumn<QVector<int>>("columnWidths");
        QTest::addColumn<QVector<int>>("rowHeights");
        // Line width 1 and a scroll bar of 15 pixels.
        QTest::newRow("ten fit") << QSize(700, 500) << 10 << 10 << false << QVector<int>{233, 233, 234}
                                 << QVector<int>{100, 100, 100, 100, 98};
        QTest::newRow("fifteen fit exactly")
            << QSize(700, 500) << 15 << 15 << false << QVector<int>{233, 233, 234} << QVector<int>(5, 100);
        QTest::newRow("sixteen scroll")
            << QSize(700, 500) << 16 << 16 << true << QVector<int>{228, 228, 229} << QVector<int>(6, 100);
        // 676 pixels leave room for three columns only without the 17 set aside for a scroll bar.
        QTest::newRow("the scroll bar costs a column")
            << QSize(676, 500) << 16 << 16 << true << QVector<int>{331, 331} << QVector<int>(8, 100);
        QTest::newRow("a genre of three in a scrolling library")
            << QSize(700, 500) << 100 << 3 << true << QVector<int>{228, 228, 229}
            << QVector<int>{100, 100, 100, 100, 98};
        QTest::newRow("a genre of twenty in a scrolling library")
            << QSize(700, 500) << 100 << 20 << true << QVector<int>{228, 228, 229} << QVector<int>(7, 100);
        QTest::newRow("rows stretched to the height")
            << QSize(700, 550) << 4 << 4 << false << QVector<int>{233, 233, 234}
            << QVector<int>{110, 110, 110, 110, 108};
        QTest::newRow("narrower than a cell") << QSize(150, 500) << 3 << 3 << false << QVector<int>{152}
                                              << QVector<int>{100, 100, 100, 100, 98};
    }
    void shapeForTableSize()
    {
        QFETCH(QSize, table);
        QFETCH(int, songs);
        QFETCH(int, shown);
        QFETCH(bool, scrolls);
        QFETCH(QVector<int>, columnWidths);
        QFETCH(QVector<int>, rowHeights);
        const GridShape shape = gridShape(table.width(), table.height(), songs, 1, 15);
        QCOMPARE(shape.scrolls, scrolls);
        QCOMPARE(shape.columns, columnWidths.size());
        QVector<int> widths(shape.columns - 1, shape.columnWidth);
        widths << shape.lastColumnWidth;
        QCOMPARE(widths, columnWidths);
        const GridRows rows = gridRows(shape, shown, table.height());
        QVector<int> heights(rows.count - 1, shape.rowHeight);
        heights << rows.lastRowHeight;
        QCOMPARE(heights, rowHeights);
    }

    // The text scale for a table of screens: its size in physical pixels, the dpi Qt gives its fonts, the
    // desktop's scaling and the host's setting give the cells' point size, the factor of every size, and the
    // columns and rows of a grid as large as the screen. Full HD at 96 dpi is exactly as specified.
    void textScaleForScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<double>("desktopScaling");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<double>("pointSize");
        QTest::addColumn<double>("sizes");
        QTest::addColumn<QSize>("grid");
        QTest::addColumn<bool>("complaint");
        const QSize fullHd(1920, 1080);
        const QSize uhd(3840, 2160);
        QTest::newRow("full HD at 96 dpi stays Arial 16 pt")
            << fullHd << 96.0 << 1.0 << "0" << 16.0 << 1.0 << QSize(8, 10) << false;
        QTest::newRow("2560x1440") << QSize(2560, 1440) << 96.0 << 1.0 << "0" << 64.0 / 3 << 4.0 / 3
                                   << QSize(8, 10) << false;
        QTest::newRow("4K at 96 dpi: twice full HD")
            << uhd << 96.0 << 1.0 << "0" << 32.0 << 2.0 << QSize(8, 10) << false;
        // The desktop has doubled every device-independent pixel already.
        QTest::newRow("4K at 200 % does not double twice")
            << uhd << 96.0 << 2.0 << "0" << 16.0 << 1.0 << QSize(8, 10) << false;
        // 150 % rounded by Qt to a factor of 2, its fonts set at 72 dpi to make up for it.
        QTest::newRow("4K at 150 %: the text keeps to the cells")
            << uhd << 72.0 << 2.0 << "0" << 64.0 / 3 << 1.0 << QSize(8, 10) << false;
        QTest::newRow("4K at 120 dpi without scaling")
            << uhd << 120.0 << 1.0 << "0" << 25.6 << 2.0 << QSize(8, 10) << false;
        QTest::newRow("8K") << QSize(7680, 4320) << 96.0 << 1.0 << "0" << 64.0 << 4.0 << QSize(8, 10)
                            << false;
        QTest::newRow("a small screen keeps the specified look")
            << QSize(1366, 768) << 96.0 << 1.0 << "0" << 16.0 << 1.0 << QSize(6, 7) << false;
        QTest::newRow("full HD at 200 % keeps the desktop's scaling")
            << fullHd << 96.0 << 2.0 << "0" << 16.0 << 1.0 << QSize(4, 5) << false;
        QTest::newRow("setting 1 on 4K: as specified")
            << uhd << 96.0 << 1.0 << "1" << 16.0 << 1.0 << QSize(17, 21) << false;
        QTest::newRow("setting 1.5") << fullHd << 96.0 << 1.0 << "1.5" << 24.0 << 1.5 << QSize(5, 7) << false;
        QTest::newRow("setting with a decimal comma")
            << fullHd << 96.0 << 1.0 << " 1,5 " << 24.0 << 1.5 << QSize(5, 7) << false;
        QTest::newRow("setting above 4")
            << fullHd << 96.0 << 1.0 << "9" << 64.0 << 4.0 << QSize(2, 2) << true;
        QTest::newRow("setting below 0.5")
            << fullHd << 96.0 << 1.0 << "0.1" << 8.0 << 0.5 << QSize(17, 21) << true;
        QTest::newRow("setting not a number")
            << uhd << 96.0 << 1.0 << "big" << 32.0 << 2.0 << QSize(8, 10) << true;
        QTest::newRow("setting below 0") << uhd << 96.0 << 1.0 << "-2" << 32.0 << 2.0 << QSize(8, 10) << true;
        QTest::newRow("setting infinite")
            << uhd << 96.0 << 1.0 << "inf" << 32.0 << 2.0 << QSize(8, 10) << true;
        QTest::newRow("setting empty") << uhd << 96.0 << 1.0 << "" << 32.0 << 2.0 << QSize(8, 10) << false;
    }
    void textScaleForScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(double, dpi);
        QFETCH(double, desktopScaling);
        QFETCH(QString, setting);
        QFETCH(double, pointSize);
        QFETCH(double, sizes);
        QFETCH(QSize, grid);
        QFETCH(bool, complaint);
        const TextScaleSetting read = readTextScaleSetting(setting);
        QCOMPARE(read.trouble != TextScaleSetting::Trouble::none, complaint);
        // What the window sees of the screen: Qt's device-independent pixels.
        const QSize window = screen / desktopScaling;
        const TextScale scale = textScaleFor(window.height(), dpi, read.value);
        QCOMPARE(scale.sizes, sizes);
        QCOMPARE(scale.pointSize(16), pointSize);
        const GridShape shape =
            gridShape(window.width(), window.height(), 1, 1, 15, scaledCellMinimum(scale.sizes));
        QCOMPARE(QSize(shape.columns, shape.rows), grid);
        // Followed automatically on a screen of at least full HD, in the window's units, the text is as high
        // in the screen's own pixels as on full HD at 96 dpi times the screen's height over 1080.
        if (read.value == automaticTextScale && window.height() >= 1080)
            QCOMPARE(pointSize * dpi / 72 * desktopScaling, 64.0 / 3 * screen.height() / 1080);
    }

    void tenSongsFitWithoutScrolling()
    {
        auto window = windowWithSongs(QStringLiteral("grid-10"));
        QTableWidget* table = libraryTable(*window);
        showGridIn(*window, QSize(700, 500));
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(columnWidths(table), (QList<int>{233, 233, 234}));
        QCOMPARE(rowHeights(table), (QList<int>{100, 100, 100, 100, 98}));
        QCOMPARE(table->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(table->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(!table->verticalScrollBar()->isVisible());

        QStringList expected;
        for (int number = 1; number <= 10; ++number)
            expected << QStringLiteral("Grid Band\nGrid Song %1").arg(number, 2, 10, QLatin1Char('0'));
        QCOMPARE(shownSongs(table), expected);
        for (int position = 0; position < 10; ++position) {
            const QTableWidgetItem* cell = table->item(position / 3, position % 3);
            QCOMPARE(cell->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            QCOMPARE(cell->foreground().color(), textColour());
            QCOMPARE(cell->background().color(), backgroundColour());
            QCOMPARE(cell->toolTip(), song(*window, cell->text())->details());
            QVERIFY(song(*window, cell->text())->inGenreFilter());
        }
        // The rest of row 3 and all of row 4.
        QVERIFY(emptyFrom(table, 10));
        // No genre is carried by two songs: no genre buttons at all.
        QVERIFY(window->genreFilterButtons().empty());
    }

    void hundredSongsScroll()
    {
        auto window = windowWithSongs(QStringLiteral("grid-100"));
        QTableWidget* table = libraryTable(*window);
        showGridIn(*window, QSize(700, 500));
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->rowCount(), 34);
        QCOMPARE(table->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(table->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        const int scrollBar = table->verticalScrollBar()->width();
        QVERIFY(scrollBar > 0 && scrollBar < 100);
        QCOMPARE(scrollBar, table->verticalScrollBar()->sizeHint().width());
        // The three columns share what the scroll bar leaves, the last one taking the remainder.
        const QList<int> widths = columnWidths(table);
        QCOMPARE(widths.at(0) + widths.at(1) + widths.at(2), 700 - scrollBar);
        QCOMPARE(widths.at(0), 220 + (700 - scrollBar - 660) / 3);
        QCOMPARE(widths.at(1), widths.at(0));
        QCOMPARE(rowHeights(table), QVector<int>(34, 100).toList());
        const QStringList expected = songTexts("Hundred", "Jazz", 20) + songTexts("Hundred", "None", 10) +
                                     songTexts("Hundred", "Pop", 30) + songTexts("Hundred", "Rock", 40);
        QCOMPARE(shownSongs(table), expected);
        QVERIFY(emptyFrom(table, 100));
    }

    // The grid's shape for any number of shown songs is the shape table's; here the grid takes one genre
    // from a library larger than the screen, and all of it back.
    void oneGenreLargerThanTheScreen()
    {
        const QString genre = QStringLiteral("Rock");
        const int songs = 40;
        const int rows = 14;
        auto window = windowWithSongs(QStringLiteral("grid-100"));
        QTableWidget* table = libraryTable(*window);
        showGridIn(*window, QSize(700, 500));
        QCOMPARE(buttonTexts(*window), (QStringList{"All genres", "Rock", "Pop", "Jazz"}));
        genreButton(*window, genre)->click();
        QCOMPARE(window->selectedGenre(), genre);
        QVERIFY(genreButton(*window, genre)->isChecked());
        QCOMPARE(table->rowCount(), rows);
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(shownSongs(table), songTexts("Hundred", genre, songs));
        QVERIFY(emptyFrom(table, songs));
        QVERIFY(!song(*window, QStringLiteral("Hundred\nNone Song 001"))->inGenreFilter());
        QVERIFY(song(*window, QStringLiteral("Hundred\n%1 Song 001").arg(genre))->inGenreFilter());

        genreButton(*window, QStringLiteral("All genres"))->click();
        QCOMPARE(table->rowCount(), 34);
        QCOMPARE(shownSongs(table).size(), 100);
        QVERIFY(song(*window, QStringLiteral("Hundred\nNone Song 001"))->inGenreFilter());
    }

    // The grid follows the genre column: "The rest" shows the songs of every other genre and those
    // without one, and a grid too low for its button goes back to all songs.
    void theRestShowsEveryOtherGenreUntilTheGridShrinks()
    {
        auto window = windowWithSongs(QStringLiteral("rest"));
        QTableWidget* table = libraryTable(*window);
        showGridWithGenreSlots(*window, 3);
        QCOMPARE(buttonTexts(*window), (QStringList{"All genres", "Rock", "Pop", "The rest"}));
        genreButton(*window, QStringLiteral("The rest"))->click();
        QVERIFY(window->genreFilterButtons().back()->isChecked());
        QStringList shown = shownSongs(table);
        shown.sort();
        QCOMPARE(shown, songTexts("Rest", "Jazz", 2) + songTexts("Rest", "None", 2));
        QVERIFY(!song(*window, QStringLiteral("Rest\nPop Song 001"))->inGenreFilter());

        showGridWithGenreSlots(*window, 2);
        QCOMPARE(buttonTexts(*window), (QStringList{"All genres", "Rock", "The rest"}));
        QVERIFY(window->genreFilterButtons().front()->isChecked());
        QVERIFY(!window->genreFilterButtons().back()->isChecked());
        QCOMPARE(window->selectedGenre(), QString());
        QCOMPARE(shownSongs(table).size(), 19);
    }

    // The filter a genre button stands for, on the bar alone (Rock 10, Pop 5, Jazz 2 songs and two without
    // a genre): the grid leaves room for `room` buttons, one is clicked, then the grid has room for
    // `roomAfter`. A filter stays in force only while its button is still where it was.
    void genreButtonFilters_data()
    {
        QTest::addColumn<int>("room");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<int>("roomAfter");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("checked");
        QTest::addColumn<QStringList>("shown");
        const QStringList two{"All genres", "Rock", "The rest"};
        const QStringList three{"All genres", "Rock", "Pop", "The rest"};
        const QStringList every{"Rock", "Pop", "Jazz", ""};
        QTest::newRow("a genre") << 2 << "Rock" << 2 << two << "Rock" << QStringList{"Rock"};
        QTest::newRow("the rest of two")
            << 2 << "The rest" << 2 << two << "The rest" << QStringList{"Pop", "Jazz", ""};
        QTest::newRow("the rest of three")
            << 3 << "The rest" << 3 << three << "The rest" << QStringList{"Jazz", ""};
        QTest::newRow("another genre") << 3 << "Pop" << 3 << three << "Pop" << QStringList{"Pop"};
        QTest::newRow("all genres again") << 3 << "All genres" << 3 << three << "All genres" << every;
        // Room for every genre: the last button is a genre, not "The rest".
        QTest::newRow("no rest") << 4 << "Jazz" << 4 << QStringList{"All genres", "Rock", "Pop", "Jazz"}
                                 << "Jazz" << QStringList{"Jazz"};
        QTest::newRow("genre kept with more slots")
            << 2 << "Rock" << 3 << three << "Rock" << QStringList{"Rock"};
        // The place of "The rest" now belongs to "Pop", or is gone: its filter cannot stay behind it.
        QTest::newRow("the rest with more slots") << 2 << "The rest" << 3 << three << "All genres" << every;
        QTest::newRow("the rest with fewer slots") << 3 << "The rest" << 2 << two << "All genres" << every;
        QTest::newRow("a genre with fewer slots") << 3 << "Pop" << 2 << two << "All genres" << every;
    }
    void genreButtonFilters()
    {
        QFETCH(int, room);
        QFETCH(QString, clicked);
        QFETCH(int, roomAfter);
        QFETCH(QStringList, buttons);
        QFETCH(QString, checked);
        QFETCH(QStringList, shown);
        TrackLibrary library(nullptr, nullptr);
        const QDir rest(fixture(QStringLiteral("rest")));
        for (const QString& file : rest.entryList({QStringLiteral("*.mp3")}, QDir::Files))
            library.addPendingTrack(new Track(rest.filePath(file), nullptr, nullptr));
        library.mergePending();

        QWidget window;
        QVBoxLayout column(&window);
        column.setSpacing(6);
        QWidget above;
        QWidget pause;
        column.addWidget(&above);
        column.addWidget(&pause);
        pause.resize(92, 40);
        QWidget grid;
        GenreFilterBar bar(&window, &column, &grid, &pause);
        connect(&bar, &GenreFilterBar::buttonClicked, &bar, &GenreFilterBar::choose);
        const auto rebuildFor = [&](int count) {
            grid.resize(700, 40 + 2 * 6 + 50 + count * 56 + 28);
            bar.rebuild(&library);
        };
        rebuildFor(room);
        for (QAbstractButton* button : bar.buttons())
            if (button->text() == clicked)
                button->click();
        rebuildFor(roomAfter);

        QStringList texts;
        QString checkedText;
        for (const QAbstractButton* button : bar.buttons()) {
            texts << button->text();
            if (button->isChecked())
                checkedText += button->text();
        }
        QCOMPARE(texts, buttons);
        QCOMPARE(checkedText, checked);
        QStringList shownGenres;
        for (const QString& genre : QStringList{"Rock", "Pop", "Jazz", ""})
            if (bar.shows(genre))
                shownGenres << genre;
        QCOMPARE(shownGenres, shown);
        QCOMPARE(bar.showsEveryGenre(), checked == QLatin1String("All genres"));
        // "The rest" names the genres it shows.
        if (checked == QLatin1String("The rest"))
            QCOMPARE(bar.buttons().back()->toolTip(), QStringLiteral("Shows tracks of the genres:\n") +
                                                          shown.mid(0, shown.size() - 1).join('\n') +
                                                          QStringLiteral("\n(and tracks without a genre)"));
    }

    void newRankingKeepsTheCheckedButtonTrueToTheGrid()
    {
        auto window = windowWithSongs(QStringLiteral("rest"));
        QTableWidget* table = libraryTable(*window);
        showGridWithGenreSlots(*window, 3);
        genreButton(*window, QStringLiteral("Pop"))->click();
        QCOMPARE(shownSongs(table), songTexts("Rest", "Pop", 5));

        // Jazz overtakes Pop and takes its place in the column.
        const LogMark mark;
        window->addFolder(QDir(fixture(QStringLiteral("rest-jazz"))));
        QVERIFY(mark.waitForJobEnds());
        QCOMPARE(buttonTexts(*window), (QStringList{"All genres", "Rock", "Jazz", "The rest"}));
        for (const QAbstractButton* button : window->genreFilterButtons()) {
            if (!button->isChecked())
                continue;
            if (button == window->genreFilterButtons().front())
                QCOMPARE(shownSongs(table).size(), 25);
            else
                QCOMPARE(shownSongs(table), songTexts("Rest", button->text(), 8));
        }
        QCOMPARE(window->genreFilterButtons().front()->isChecked(), window->selectedGenre().isEmpty());
    }

    void indexFindsEveryShownCell_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("library");
        QTest::newRow("a refresh at another size") << "resize"
                                                   << "rest";
        QTest::newRow("a genre chosen") << "genre"
                                        << "rest";
        QTest::newRow("a job that adds songs and duplicates") << "job"
                                                              << "rest";
        QTest::newRow("a genre and back, a hidden song played meanwhile") << "back"
                                                                          << "grid-100";
    }
    void indexFindsEveryShownCell()
    {
        QFETCH(QString, change);
        QFETCH(QString, library);
        auto window = windowWithSongs(library);
        QTableWidget* table = libraryTable(*window);
        showGridWithGenreSlots(*window, 3);
        if (change == QLatin1String("back")) {
            // The rows the genre leaves out keep their cells aside, to come back unchanged or restyled.
            const int rows = table->rowCount();
            genreButton(*window, QStringLiteral("Pop"))->click();
            QVERIFY(table->rowCount() < rows);
            Track* hidden = song(*window, QStringLiteral("Hundred\nRock Song 040"));
            hidden->setState(SongState::Played);
            genreButton(*window, QStringLiteral("All genres"))->click();
            QCOMPARE(table->rowCount(), rows);
            const QTableWidgetItem* cell = window->songCells().cellOf(hidden);
            QVERIFY(cell);
            QCOMPARE(cell->foreground().color(), accentColour());
            QCOMPARE(cell->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        } else if (change == QLatin1String("resize")) {
            showGridIn(*window, QSize(480, 320));
        } else if (change == QLatin1String("genre")) {
            genreButton(*window, QStringLiteral("Pop"))->click();
            QVERIFY(!window->songCells().cellOf(song(*window, QStringLiteral("Rest\nRock Song 001"))));
        } else {
            // New Jazz songs move the cells behind them; the songs of the library again are refused.
            QStringList files;
            for (const QString& folder : {QStringLiteral("rest-jazz"), QStringLiteral("rest")}) {
                QDir songs(fixture(folder));
                for (const QString& name : songs.entryList({QStringLiteral("*.mp3")}, QDir::Files))
                    files << songs.filePath(name);
            }
            const LogMark mark;
            window->addFileList(files);
            QVERIFY(mark.waitForJobEnds());
            QCOMPARE(window->trackLibrary()->trackCount(), 25);
        }
        int cells = 0;
        for (int row = 0; row < table->rowCount(); ++row) {
            for (int column = 0; column < table->columnCount(); ++column) {
                QTableWidgetItem* cell = table->item(row, column);
                if (!cell)
                    continue;
                // A place without a song tells a screen reader nothing either.
                if (cell->text().isEmpty()) {
                    QVERIFY(cell->data(Qt::AccessibleDescriptionRole).isNull());
                    continue;
                }
                QCOMPARE(window->songCells().cellOf(song(*window, cell->text())), cell);
                ++cells;
            }
        }
        QVERIFY(cells > 0);
        QCOMPARE(window->songCells().size(), cells);
    }

    // The host's text scale of 2: the grid has the columns and rows it has at half the size, every cell, the
    // genre buttons and the queue row twice their size; back at 1, the cells a genre had set aside come back
    // in the specified font too.
    void gridFollowsTheTextScale()
    {
        const QString key = QStringLiteral("UI/Text scale");
        struct Setting
        {
            QString key;
            ~Setting()
            {
                settingsStore()->setValue(key, 0);
                settingsStore()->sync();
            }
        } restored{key};
        settingsStore()->setValue(key, QStringLiteral("2"));
        auto window = windowWithSongs(QStringLiteral("grid-100"));
        QTableWidget* table = libraryTable(*window);
        showGridIn(*window, QSize(1400, 1000));
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->rowCount(), 34);
        QCOMPARE(rowHeights(table), QVector<int>(34, 200).toList());
        const auto fontsAre = [table](double points) {
            for (int row = 0; row < table->rowCount(); ++row)
                for (int column = 0; column < table->columnCount(); ++column) {
                    const QTableWidgetItem* cell = table->item(row, column);
                    if (cell && !isFillerCell(cell) &&
                        (cell->font().pointSizeF() != points ||
                         cell->font().family() != QLatin1String("Arial")))
                        return false;
                }
            return true;
        };
        QVERIFY(fontsAre(32));
        QCOMPARE(window->genreFilterButtons().front()->size(), QSize(184, 100));
        for (const QAbstractButton* button : window->genreFilterButtons())
            QVERIFY(button->styleSheet().contains(QLatin1String("font: 26pt")));
        auto* queueRow = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForQueue"));
        QCOMPARE(queueRow->rowHeight(0), 200);
        QCOMPARE(queueRow->maximumHeight(), 184);
        QVERIFY(queueRow->styleSheet().contains(QLatin1String("font: 32pt")));
        QCOMPARE(queueRow->item(0, 0)->font().pointSizeF(), 32.0);

        genreButton(*window, QStringLiteral("Pop"))->click();
        setTextScale(TextScale{});
        window->refreshLibraryTable(QString(), true);
        QVERIFY(fontsAre(16));
        genreButton(*window, QStringLiteral("All genres"))->click();
        QCOMPARE(table->columnCount(), 6);
        QVERIFY(fontsAre(16));
    }

    void playedAndPlayingSongsColours()
    {
        auto window = windowWithSongs(QStringLiteral("grid-10"));
        QTableWidget* table = libraryTable(*window);
        Track* played = song(*window, QStringLiteral("Grid Band\nGrid Song 03"));
        Track* playing = song(*window, QStringLiteral("Grid Band\nGrid Song 05"));
        played->setState(SongState::Played);
        playing->setState(SongState::Playing);
        showGridIn(*window, QSize(700, 500));
        const QTableWidgetItem* playedCell = table->item(0, 2);
        QCOMPARE(playedCell->text(), QStringLiteral("Grid Band\nGrid Song 03"));
        QCOMPARE(playedCell->foreground().color(), QColor::fromHsv(350, 255, 180, 255));
        QCOMPARE(playedCell->background().color(), backgroundColour());
        const QTableWidgetItem* playingCell = table->item(1, 1);
        QCOMPARE(playingCell->text(), QStringLiteral("Grid Band\nGrid Song 05"));
        QCOMPARE(playingCell->background().color(), QColor::fromHsv(80, 255, 255, 255));
        QCOMPARE(playingCell->foreground().color(), QColor(Qt::black));
        const QTableWidgetItem* freeCell = table->item(0, 1);
        QCOMPARE(freeCell->foreground().color(), textColour());
        QCOMPARE(freeCell->background().color(), backgroundColour());
    }

    void firstShownSongBecomesCurrent()
    {
        auto window = windowWithSongs(QStringLiteral("grid-100"));
        QTableWidget* table = libraryTable(*window);
        showGridIn(*window, QSize(700, 500));
        const QString first = QStringLiteral("Hundred\nJazz Song 001");
        QCOMPARE(table->currentItem()->text(), first);
        QCOMPARE(table->selectedItems().size(), 1);
        QCOMPARE(table->selectedItems().first()->text(), first);
        QCOMPARE(window->selectedSong(), song(*window, first));

        // The selected song is hidden by the filter: the first song shown takes its place.
        genreButton(*window, QStringLiteral("Rock"))->click();
        const QString firstRock = QStringLiteral("Hundred\nRock Song 001");
        QCOMPARE(table->currentItem()->text(), firstRock);
        QCOMPARE(window->selectedSong(), song(*window, firstRock));

        // A song the user picks stays current through the rebuilds.
        QTableWidgetItem* picked = table->item(1, 1);
        QCOMPARE(picked->text(), QStringLiteral("Hundred\nRock Song 005"));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          table->visualItemRect(picked).center());
        QCOMPARE(window->selectedSong(), song(*window, picked->text()));
        genreButton(*window, QStringLiteral("All genres"))->click();
        QCOMPARE(table->currentItem()->text(), QStringLiteral("Hundred\nRock Song 005"));
        QCOMPARE(table->selectedItems().size(), 1);
        QCOMPARE(table->selectedItems().first()->text(), QStringLiteral("Hundred\nRock Song 005"));
    }
};

VIMO_TEST_MAIN(TestGrid)
#include "tst_grid.moc"
