// SPDX-License-Identifier: GPL-3.0-or-later
// Wishes, song ends, random picks, pause and the playlist through the real main window: songs are added
// from generated folders, wished by activating their cells and played to their real ends through SDL.
#include "audio/AllBase.h"
#include "audio/AudioEngine.h"
#include "base/runlog.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "party/playingclock.h"
#include "queuesupport.h"
#include "testsupport.h"
#include "ui/NowPlayingRow.h"
#include "ui/mainwindowimpl.h"
#include "ui/style.h"
#include "windowsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPair>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using vimotest::exhaustedNotice;
using vimotest::hueOf;
using vimotest::numberedPlaylistLines;
using vimotest::playlistLine;
using vimotest::queueFixture;

namespace {

const int songEndTimeout = 15000;

bool showsPlainStyle(const QTableWidgetItem* cell)
{
    return cell && cell->background().color() == backgroundColour() &&
           cell->foreground().color() == textColour();
}

bool showsPlayed(const QTableWidgetItem* cell)
{
    return cell && cell->background().color() == backgroundColour() &&
           cell->foreground().color() == accentColour();
}

// A party with the few things these tests ask of it beyond the shared harness.
class Party : public vimotest::PartyWindow
{
public:
    Track* amber() const { return titled(QStringLiteral("Morning Tide")); }
    // The pause button, which shows once the grid has genre buttons; null while it is hidden.
    QPushButton* pauseButton() const
    {
        auto* button = window->findChild<QPushButton*>(QStringLiteral("myButtonPause"));
        return button && button->isVisible() ? button : nullptr;
    }
    // Wishes the run's first song and returns the song drawn at random when it started.
    Track* wishFirst(const Track* first)
    {
        wish(first);
        return queue()->preDrawnRandom();
    }
    QAbstractButton* genreButton(const QString& text) const
    {
        for (QAbstractButton* button : window->genreFilterButtons())
            if (button->text() == text)
                return button;
        return nullptr;
    }
};

// Where each watched widget was painted.
class PaintedRects : public QObject
{
public:
    QList<QPair<QObject*, QRect>> rects;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            rects.append({watched, static_cast<QPaintEvent*>(event)->rect()});
        return false;
    }
};

} // namespace

class TestParty : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QFileInfo::exists(queueFixture(QStringLiteral("party/amber.mp3")))); }

    void firstWishStartsPlaybackTheTickAndTheRandomDraw()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("wishes")), 6));
        Track* longSong = party.titled(QStringLiteral("Endless Road"));
        QVERIFY(longSong);
        QVERIFY(!party.queue()->hasPlaybackStarted());
        QVERIFY(party.playlist().isEmpty());

        // A guest double-clicks the song's cell.
        QTableWidgetItem* cell = party.cellOf(longSong);
        QVERIFY(cell);
        const QPoint centre = party.grid->visualItemRect(cell).center();
        // QTest's double click on a widget lacks the release of its first press; a click before it gives
        // the view the whole gesture.
        QTest::mouseClick(party.grid->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseDClick(party.grid->viewport(), Qt::LeftButton, Qt::NoModifier, centre);

        QCOMPARE(party.head(), longSong);
        QVERIFY(longSong->playing());
        QCOMPARE(party.queueRow->item(0, 0)->text(), QStringLiteral("Long Player\nEndless Road"));
        QCOMPARE(hueOf(party.cellOf(longSong)), 80);
        const QStringList text = party.playlist().split('\n');
        QVERIFY(text.value(0).startsWith(QLatin1String("The playback started at ")));
        QCOMPARE(text.mid(1),
                 QStringList({QStringLiteral("Songs that were selected randomly are marked with *"),
                              QString(), QStringLiteral("  1:   Long Player - Endless Road"), QString()}));
        Track* drawn = party.queue()->preDrawnRandom();
        QVERIFY(drawn);
        QVERIFY(drawn != longSong);
        // The tick counts the seconds of the song; each second the playing cell, and only it, is painted
        // again with what is left of the song.
        QTRY_VERIFY_WITH_TIMEOUT(party.queue()->secondsElapsed() >= 1, 5000);
        QApplication::processEvents();
        PaintedRects painted;
        party.grid->viewport()->installEventFilter(&painted);
        party.queueRow->viewport()->installEventFilter(&painted);
        const QString before = party.window->nowPlayingRow()->clock().left;
        QTRY_VERIFY_WITH_TIMEOUT(party.queue()->secondsElapsed() >= 3, 5000);
        QApplication::processEvents();
        QVERIFY(party.window->nowPlayingRow()->clock().left != before);
        QVERIFY(!painted.rects.isEmpty());
        const QRect playingCell = party.queueRow->visualItemRect(party.queueRow->item(0, 0));
        for (const auto& paint : qAsConst(painted.rects))
            QVERIFY(paint.first == party.queueRow->viewport() && playingCell.contains(paint.second));
        QCOMPARE(party.ends->count(), 0);
        QCOMPARE(party.queue()->photoCount(), 0);
    }

    void wishesWaitInTheNextFreeColumnsUpToFiveSongs()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("wishes")), 6));
        Track* longSong = party.titled(QStringLiteral("Endless Road"));
        QList<Track*> wishes;
        for (const char* word : {"One", "Two", "Three", "Four", "Five"})
            wishes << party.titled(QStringLiteral("Wish ") + word);
        QVERIFY(longSong && !wishes.contains(nullptr));

        // Return on the current cell wishes it, like a double click.
        party.grid->setCurrentItem(party.cellOf(longSong));
        party.grid->setFocus();
        QTest::keyClick(party.grid, Qt::Key_Return);
        QCOMPARE(party.head(), longSong);

        for (int position = 1; position <= 4; ++position) {
            Track* wished = wishes.at(position - 1);
            party.wish(wished);
            QCOMPARE(party.queue()->queuedSongs().size(), position + 1);
            QCOMPARE(party.queue()->queuedSongs().last(), wished);
            QVERIFY(wished->queued());
            QTableWidgetItem* column = party.queueRow->item(0, position);
            QCOMPARE(column->text(), wished->displayText());
            // Each place has its colour: the next song close to the playing one, the last one red.
            QCOMPARE(hueOf(column), (4 - position) * 20);
            QCOMPARE(column->background().color(), party.cellOf(wished)->background().color());
            QCOMPARE(party.cellOf(wished)->foreground().color(), QColor(Qt::black));
            // While there is room, a song already waiting or playing is refused all the same.
            if (position < 4) {
                party.wish(wished);
                party.wish(longSong);
                QCOMPARE(party.queue()->queuedSongs().size(), position + 1);
            }
        }

        // The queue is full: the sixth song is refused and keeps its free look.
        party.wish(wishes.at(4));
        QCOMPARE(party.queue()->queuedSongs().size(), 5);
        QVERIFY(!wishes.at(4)->queued());
        QVERIFY(showsPlainStyle(party.cellOf(wishes.at(4))));
        QCOMPARE(party.queue()->queuedSongs(),
                 QList<Track*>({longSong, wishes.at(0), wishes.at(1), wishes.at(2), wishes.at(3)}));
        QCOMPARE(party.lines(), QStringList{QStringLiteral("  1:   Long Player - Endless Road")});
    }

    void whenTheLastWishEndsThePreDrawnSongStartsAtOnce()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("party")), 6));
        Track* amber = party.amber();
        Track* drawn = party.wishFirst(amber);
        QVERIFY(drawn && drawn != amber);

        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 1, songEndTimeout);
        QTRY_COMPARE(party.head(), drawn);
        QVERIFY(drawn->playing());
        QVERIFY(amber->played());
        QVERIFY(showsPlayed(party.cellOf(amber)));
        QCOMPARE(party.queueRow->item(0, 0)->text(), drawn->displayText());
        QCOMPARE(party.lines(), QStringList({playlistLine(1, false, amber), playlistLine(2, true, drawn)}));

        // A played song cannot be wished again.
        party.wish(amber);
        QCOMPARE(party.queue()->queuedSongs(), QList<Track*>{drawn});
        QVERIFY(amber->played() && !amber->queued());
    }

    void aPreDrawnSongThatWasWishedMeanwhileIsNotRepeated()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("party")), 6));
        Track* amber = party.amber();
        Track* drawn = party.wishFirst(amber);
        QVERIFY(drawn && drawn != amber);
        party.wish(drawn);
        QVERIFY(drawn->queued());

        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 2, songEndTimeout);
        QTRY_VERIFY(party.head() && party.head() != drawn);
        Track* next = party.head();
        QVERIFY(next != amber);
        QVERIFY(amber->played() && drawn->played());
        QCOMPARE(party.lines(), QStringList({playlistLine(1, false, amber), playlistLine(2, false, drawn),
                                             playlistLine(3, true, next)}));
    }

    void threeSongsPlayedThroughStartOverWithAllGenres()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("three")), 3));
        Track* alpha = party.titled(QStringLiteral("First Light"));
        Track* beta = party.titled(QStringLiteral("Second Wind"));
        Track* gamma = party.titled(QStringLiteral("Third Time"));
        party.wish(alpha);
        party.wish(beta);
        party.wish(gamma);
        QCOMPARE(party.queue()->queuedSongs(), QList<Track*>({alpha, beta, gamma}));
        // The guests narrow the grid to Rock; the Pop song still waits in the queue.
        QAbstractButton* rock = party.genreButton(QStringLiteral("Rock"));
        QVERIFY(rock);
        rock->click();
        QCOMPARE(party.window->selectedGenre(), QStringLiteral("Rock"));
        QVERIFY(!party.cellOf(gamma));

        QTRY_VERIFY_WITH_TIMEOUT(party.playlist().contains(exhaustedNotice()), 3 * songEndTimeout);
        QCOMPARE(party.ends->count(), 3);
        const QString playlist = party.playlist();
        const QString beforeNotice = playlist.left(playlist.indexOf(exhaustedNotice()));
        QCOMPARE(numberedPlaylistLines(beforeNotice),
                 QStringList({playlistLine(1, false, alpha), playlistLine(2, false, beta),
                              playlistLine(3, false, gamma)}));
        // Playback goes on at once with a random song, and every other song is free again.
        Track* next = party.head();
        QVERIFY(next);
        QVERIFY(next->playing());
        QCOMPARE(numberedPlaylistLines(playlist.mid(beforeNotice.size())),
                 QStringList{playlistLine(4, true, next)});
        for (Track* track : {alpha, beta, gamma}) {
            QVERIFY(!track->played());
            QVERIFY(!track->queued());
            QCOMPARE(track->playing(), track == next);
            QVERIFY(party.cellOf(track));
            if (track != next)
                QVERIFY(showsPlainStyle(party.cellOf(track)));
        }
        QCOMPARE(hueOf(party.cellOf(next)), 80);
        QCOMPARE(party.window->selectedGenre(), QString());
        QVERIFY(party.window->genreFilterButtons().front()->isChecked());
        QCOMPARE(party.window->genreFilterButtons().front()->text(), QStringLiteral("All genres"));
    }

    void aGenrePlayedThroughReturnsTheGridToAllGenres()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("three")), 3));
        Track* alpha = party.titled(QStringLiteral("First Light"));
        Track* beta = party.titled(QStringLiteral("Second Wind"));
        Track* gamma = party.titled(QStringLiteral("Third Time"));
        QAbstractButton* rock = party.genreButton(QStringLiteral("Rock"));
        QVERIFY(rock);
        rock->click();
        party.wish(alpha);
        // The random pick stays within the genre while it has unplayed songs.
        QCOMPARE(party.queue()->preDrawnRandom(), beta);

        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 1, songEndTimeout);
        QTRY_COMPARE(party.head(), beta);
        QCOMPARE(party.window->selectedGenre(), QStringLiteral("Rock"));
        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 2, songEndTimeout);
        QTRY_COMPARE(party.head(), gamma);
        QCOMPARE(party.window->selectedGenre(), QString());
        QVERIFY(party.window->genreFilterButtons().front()->isChecked());
        QVERIFY(party.cellOf(gamma));
        QCOMPARE(party.lines(), QStringList({playlistLine(1, false, alpha), playlistLine(2, true, beta),
                                             playlistLine(3, true, gamma)}));
        QVERIFY(!party.playlist().contains(exhaustedNotice()));
    }

    void pauseHoldsTheSongAndTheTickAndResumesWhereItStopped()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("pause")), 2));
        Track* slow = party.titled(QStringLiteral("Hold On"));
        Track* quick = party.titled(QStringLiteral("Let Go"));
        QPushButton* pause = party.pauseButton();
        QVERIFY(pause);
        party.wish(slow);
        const quint32 stream = dynamic_cast<AllBase*>(slow->player())->streamHandle();
        QVERIFY(stream != 0);
        const AudioEngine& engine = AudioEngine::instance();
        QTRY_VERIFY_WITH_TIMEOUT(party.queue()->secondsElapsed() >= 1, 5000);
        const NowPlayingRow& row = *party.window->nowPlayingRow();
        QCOMPARE(row.overlayText(), QString());

        QTest::mouseClick(pause, Qt::LeftButton);
        QVERIFY(party.window->isPaused());
        QVERIFY(pause->isChecked());
        // The room sees the pause over the queue row; the playing cell's clock stands where the song was.
        QCOMPARE(row.overlayText(), QStringLiteral("Paused"));
        const PlayingClock heldClock = row.clock();
        QVERIFY(!heldClock.left.isEmpty() && heldClock.permille > 0);
        const int seconds = party.queue()->secondsElapsed();
        const qint64 position = engine.position(stream);
        QVERIFY(position > 0);
        // Longer than what was left of the song: nothing moves while it is paused.
        QTest::qWait(2500);
        QCOMPARE(party.ends->count(), 0);
        QCOMPARE(engine.position(stream), position);
        QCOMPARE(party.queue()->secondsElapsed(), seconds);
        QCOMPARE(row.clock(), heldClock);
        QVERIFY(slow->playing());
        // The pause button hands the focus back to the grid.
        QVERIFY(party.grid->hasFocus());

        QTest::mouseClick(pause, Qt::LeftButton);
        QVERIFY(!party.window->isPaused());
        QVERIFY(!pause->isChecked());
        QCOMPARE(row.overlayText(), QString());
        QCOMPARE(dynamic_cast<AllBase*>(slow->player())->streamHandle(), stream);
        QTRY_VERIFY(engine.position(stream) > position);
        QVERIFY(engine.position(stream) < position + AudioEngine::sampleRate);
        QTRY_VERIFY_WITH_TIMEOUT(party.queue()->secondsElapsed() > seconds, 5000);
        QVERIFY(row.clock().permille > heldClock.permille);
        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 1, songEndTimeout);
        QTRY_COMPARE(party.head(), quick);
        QCOMPARE(party.lines(), QStringList({playlistLine(1, false, slow), playlistLine(2, true, quick)}));
    }

    void pauseWithAnEmptyQueueOnlyMovesTheSelection()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("three")), 3));
        Track* beta = party.titled(QStringLiteral("Second Wind"));
        Track* gamma = party.titled(QStringLiteral("Third Time"));
        QPushButton* pause = party.pauseButton();
        QVERIFY(pause);
        party.grid->setCurrentItem(party.cellOf(beta));
        QCOMPARE(party.window->selectedSong(), beta);
        party.grid->selectionModel()->setCurrentIndex(
            party.grid->model()->index(party.cellOf(gamma)->row(), party.cellOf(gamma)->column()),
            QItemSelectionModel::NoUpdate);

        QTest::mouseClick(pause, Qt::LeftButton);
        QVERIFY(!party.window->isPaused());
        // Nothing was paused, and the button does not say otherwise.
        QVERIFY(!pause->isChecked());
        QCOMPARE(party.grid->currentItem(), party.cellOf(beta));
        QVERIFY(party.cellOf(beta)->isSelected());
        QVERIFY(party.grid->hasFocus());
        QVERIFY(party.queue()->queuedSongs().isEmpty());
        QVERIFY(!party.queue()->hasPlaybackStarted());
        QVERIFY(party.playlist().isEmpty());
        QCOMPARE(AudioEngine::instance().streamCount(), 0);
    }

    void aWaitingWishWhoseFileIsGoneIsSkipped()
    {
        QTemporaryDir folder;
        QCOMPARE(vimotest::copyQueueFolder(QStringLiteral("party"), folder.path()).size(), 6);
        Party party;
        QVERIFY(party.add(folder.path(), 6));
        Track* amber = party.amber();
        party.wish(amber);
        // Gone before it is wished: a wish is opened ahead at once, to follow the head without a gap (as
        // the pre-drawn song has been, which is why the wish is another one).
        Track* brass = party.titled(QStringLiteral("Copper Sky"));
        if (brass == party.queue()->preDrawnRandom())
            brass = party.titled(QStringLiteral("Paper Moon"));
        QVERIFY(QFile::remove(brass->filePath()));
        party.wish(brass);
        QVERIFY(brass->queued());

        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 1, songEndTimeout);
        QTRY_VERIFY(party.head() && party.head() != amber);
        Track* next = party.head();
        QVERIFY(next != brass);
        QVERIFY(next->playing());
        QCOMPARE(party.log().filter(QStringLiteral("Could not play the file")),
                 QStringList{QStringLiteral("Could not play the file %1; it is skipped.")
                                 .arg(QDir::toNativeSeparators(brass->filePath()))});
        // A song that could not start has not been played: it looks free and may be wished again.
        QCOMPARE(brass->state(), SongState::Free);
        QCOMPARE(party.cellOf(brass)->foreground().color(), textColour());
        QCOMPARE(party.cellOf(brass)->background().color(), backgroundColour());
        for (int column = 0; column < 5; ++column)
            QVERIFY(party.queueRow->item(0, column)->text() != brass->displayText());
        QCOMPARE(party.lines(), QStringList({playlistLine(1, false, amber), playlistLine(2, true, next)}));
    }

    void theRandomFillSkipsASongWhoseFileIsGone()
    {
        QTemporaryDir folder;
        QCOMPARE(vimotest::copyQueueFolder(QStringLiteral("party"), folder.path()).size(), 6);
        Party party;
        QVERIFY(party.add(folder.path(), 6));
        Track* amber = party.amber();
        Track* drawn = party.wishFirst(amber);
        QVERIFY(drawn && drawn != amber);
        // The drawn song is opened ahead at once, to follow without a gap, and would play from the open
        // file. A wish takes its place; when the wish plays the drawn song is opened again, and is gone.
        QVERIFY(QFile::remove(drawn->filePath()));
        Track* wished = nullptr;
        party.library()->forEachTrack([&](Track* track) {
            if (!wished && track != amber && track != drawn)
                wished = track;
        });
        party.wish(wished);

        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 2, songEndTimeout);
        QTRY_VERIFY(party.head() && party.head() != wished);
        Track* next = party.head();
        QVERIFY(next != drawn);
        QVERIFY(next->playing());
        QVERIFY(!drawn->played());
        QVERIFY(party.log().contains(QStringLiteral("Could not play the file %1; it is skipped.")
                                         .arg(QDir::toNativeSeparators(drawn->filePath()))));
        QCOMPARE(party.lines(), QStringList({playlistLine(1, false, amber), playlistLine(2, false, wished),
                                             playlistLine(3, true, next)}));
        // And the party goes on past it.
        QTRY_COMPARE_WITH_TIMEOUT(party.ends->count(), 3, songEndTimeout);
        QTRY_COMPARE(party.lines().size(), 4);
    }

    void sixSongsAddedThreeWishedAllPlayed()
    {
        Party party;
        QVERIFY(party.add(queueFixture(QStringLiteral("party")), 6));
        const QList<Track*> wished{party.titled(QStringLiteral("Paper Moon")),
                                   party.titled(QStringLiteral("Silver Lining")), party.amber()};
        QVERIFY(!wished.contains(nullptr));
        for (Track* track : wished)
            party.wish(track);

        QTRY_VERIFY_WITH_TIMEOUT(party.playlist().contains(exhaustedNotice()), 6 * songEndTimeout);
        const QString playlist = party.playlist();
        const QString beforeNotice = playlist.left(playlist.indexOf(exhaustedNotice()));
        const QStringList played = numberedPlaylistLines(beforeNotice);
        QCOMPARE(played.size(), 6);
        for (int index = 0; index < 3; ++index)
            QCOMPARE(played.at(index), playlistLine(index + 1, false, wished.at(index)));
        QStringList everySong;
        for (const Track* track : party.songs())
            everySong << track->artist() + QStringLiteral(" - ") + track->title();
        QStringList randomSongs;
        for (int index = 3; index < 6; ++index) {
            QVERIFY2(played.at(index).startsWith(QStringLiteral("  %1: * ").arg(index + 1)),
                     qPrintable(played.at(index)));
            randomSongs << played.at(index).mid(7);
        }
        QStringList playedSongs = randomSongs;
        for (const Track* track : wished)
            playedSongs << track->artist() + QStringLiteral(" - ") + track->title();
        playedSongs.sort();
        everySong.sort();
        QCOMPARE(playedSongs, everySong);
        // Six songs ended, each end handled once: six lines before the notice and one song after it.
        QCOMPARE(party.ends->count(), 6);
        QCOMPARE(numberedPlaylistLines(playlist.mid(beforeNotice.size())).size(), 1);
        QCOMPARE(playlist.count(QStringLiteral("The playback started at ")), 1);
        QVERIFY(party.log().filter(QStringLiteral("Could not play")).isEmpty());
        QVERIFY(party.log().filter(QStringLiteral("None of the songs")).isEmpty());
    }
};

VIMO_TEST_MAIN(TestParty)
#include "tst_party.moc"
