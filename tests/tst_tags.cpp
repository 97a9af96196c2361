// SPDX-License-Identifier: GPL-3.0-or-later
// Tag reading, the song record and the texts derived from it, checked on real files and the event log.
#include "base/runlog.h"
#include "library/FileConstructor.h"
#include "library/Track.h"
#include "tags/coverart.h"
#include "tags/genres.h"
#include "tags/mp3length.h"
#include "tags/tags.h"
#include "testsupport.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <id3/tag.h>

#include <memory>

namespace {

QString fixture(const QString& name)
{
    return vimotest::fixturesDirectory() + QStringLiteral("/library/") + name;
}

// The messages of the log's lines, without their time stamps.
QStringList logMessages()
{
    QStringList messages;
    const QStringList lines = vimotest::readTextFile(logFilePath()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const int separator = line.indexOf(QStringLiteral("\t::\t"));
        if (separator >= 0)
            messages << line.mid(separator + 4);
    }
    return messages;
}

std::unique_ptr<TagInfo> read(const QString& name)
{
    return std::unique_ptr<TagInfo>(readTagInfo(fixture(name)));
}

std::unique_ptr<Track> track(const QString& name)
{
    return std::make_unique<Track>(fixture(name), nullptr, nullptr);
}

// A frame's Latin-1 text as id3lib reads it when it opens the file by its path itself.
QString id3libByPath(const QString& path, ID3_FrameID id)
{
    const ID3_Tag tag(QFile::encodeName(path).constData());
    const ID3_Frame* frame = tag.Find(id);
    const ID3_Field* field = frame ? frame->GetField(ID3FN_TEXT) : nullptr;
    const char* text = field ? field->GetRawText() : nullptr;
    return text ? QString::fromLatin1(text) : QString();
}

} // namespace

class TestTags : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!runFolder().isEmpty());
        QVERIFY(QFile::exists(fixture(QStringLiteral("full-v23.mp3"))));
    }

    void genreTable_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("label");
        QTest::newRow("first") << 0 << "Blues";
        QTest::newRow("on three lines") << 136 << "Christian\nGangsta\nRap";
        QTest::newRow("a gap") << 133 << "";
        QTest::newRow("last") << 147 << "Synthpop";
        QTest::newRow("past the last") << 148 << "";
        QTest::newRow("negative") << -1 << "";
    }

    void genreTable()
    {
        QFETCH(int, number);
        QFETCH(QString, label);
        QCOMPARE(genreName(number), label);
    }

    void genreNormalisation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("genre");
        QTest::newRow("(13)") << "(13)"
                              << "Pop";
        QTest::newRow("13") << "13"
                            << "Pop";
        QTest::newRow("(60)") << "(60)"
                              << "Top 40";
        QTest::newRow("(133)") << "(133)"
                               << "";
        QTest::newRow("(200)") << "(200)"
                               << "";
        QTest::newRow("(98)") << "(98)"
                              << "Easy\nListening";
        QTest::newRow("(17)Rock") << "(17)Rock"
                                  << "Rock";
        QTest::newRow("80s Pop") << "80s Pop"
                                 << "Folk";
        QTest::newRow("Rock 2000") << "Rock 2000"
                                   << "";
        QTest::newRow("too large a number") << "(99999999999)"
                                            << "";
        QTest::newRow("not ASCII digits")
            << QStringLiteral("(\u0661\u0663)") << QStringLiteral("(\u0661\u0663)");
        QTest::newRow("Drum & Bass") << "Drum & Bass"
                                     << "Drum\n'n'\nBass";
        QTest::newRow("Classic Rock") << "Classic Rock"
                                      << "Classic\nRock";
        QTest::newRow("leading blank") << " Rock"
                                       << " Rock";
        QTest::newRow("Easy Listening") << "Easy Listening"
                                        << "Easy Listening";
        QTest::newRow("Rock & Roll") << "Rock & Roll"
                                     << "Rock\n'n'\nRoll";
        QTest::newRow("R&B") << "R&B"
                             << "R'n'B";
        QTest::newRow("Hip Hop/Rap") << "Hip Hop/Rap"
                                     << "Hip-Hop";
        QTest::newRow("Hip Hop") << "Hip Hop"
                                 << "Hip-Hop";
        QTest::newRow("short slash text") << "Pop/Rock"
                                          << "Pop/Rock";
        QTest::newRow("twelve characters") << "Pop/Rock/Ska"
                                           << "Pop/Rock/Ska";
        QTest::newRow("long slash text") << "Pop/Rock/Jazz/Blues"
                                         << "Pop/\nRock/\nJazz/\nBlues";
        QTest::newRow("case matters") << "classic rock"
                                      << "classic rock";
        QTest::newRow("Alternative & Punk") << "Alternative & Punk"
                                            << "Alternative\n'n'\nPunk";
    }

    void genreNormalisation()
    {
        QFETCH(QString, text);
        QFETCH(QString, genre);
        QCOMPARE(normalisedGenre(text), genre);
    }

    void trackNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("number");
        QTest::newRow("3/12") << "3/12"
                              << "3";
        QTest::newRow("5/12") << "5/12"
                              << "5";
        QTest::newRow("07") << "07"
                            << "7";
        QTest::newRow("empty") << ""
                               << "0";
        QTest::newRow("A1") << "A1"
                            << "0";
        QTest::newRow("leading slash") << "/4"
                                       << "4";
        QTest::newRow("blanks around") << "  12  "
                                       << "12";
        QTest::newRow("only slashes") << "//"
                                      << "0";
    }

    void trackNumber()
    {
        QFETCH(QString, text);
        QFETCH(QString, number);
        QCOMPARE(normalisedTrackNumber(text), number);
    }

    void sameTagsInEveryVersionGiveTheSameRecord_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("ID3v2.2") << "full-v22.mp3";
        QTest::newRow("ID3v2.3") << "full-v23.mp3";
        QTest::newRow("ID3v2.4") << "full-v24.mp3";
    }

    void sameTagsInEveryVersionGiveTheSameRecord()
    {
        QFETCH(QString, name);
        const auto tags = read(name);
        QVERIFY(tags);
        QCOMPARE(tags->title, QStringLiteral("Best Song"));
        QCOMPARE(tags->artist, QStringLiteral("The Band"));
        QCOMPARE(tags->album, QStringLiteral("Best Of"));
        QCOMPARE(tags->genre, QStringLiteral("Rock\n'n'\nRoll"));
        QCOMPARE(tags->year, QStringLiteral("1999"));
        QCOMPARE(tags->comment, QStringLiteral("nice one"));
        QCOMPARE(tags->trackNumber, QStringLiteral("3"));
        QCOMPARE(tags->seconds, mp3LengthSecondsOf(name));
        const auto song = track(name);
        QVERIFY(song->isValid());
        QCOMPARE(song->details(),
                 QStringLiteral("Genre: Rock 'n' Roll\nYear: 1999\nAlbum: Best Of\nTrack: 3\nLength: 0:01"));
    }

    void id3v23AndId3v24GiveOneRecord_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("record"); // title, artist, album, genre, year, comment, track
        QTest::newRow("several artists, a remix genre")
            << "pair-several-artists"
            << QStringList{"Pair Song", "First", "Pairs", "(RX)", "2001", "both ways", "2"};
        QTest::newRow("a genre number and its name")
            << "pair-number-genre" << QStringList{"Numbered", "Solo", "", "Rock", "1975", "", "0"};
        QTest::newRow("UTF-8")
            << "pair-utf8"
            << QStringList{QStringLiteral("Jóga"), QStringLiteral("Björk"), "", "Art Pop", "1997", "", "0"};
        QTest::newRow("a frame past the tag's end keeps the frames before it")
            << "pair-frame-past-end" << QStringList{"Cut Off", "Writer", "", "Jazz", "1960", "", "0"};
        QTest::newRow("junk behind the last frame")
            << "pair-junk-in-padding" << QStringList{"Padded", "Tagger", "", "Soul", "1969", "", "0"};
        QTest::newRow("a byte that is no UTF-8 in the title")
            << "pair-invalid-utf8"
            << QStringList{QStringLiteral("Caf\uFFFD Noir"), "Bad Byte", "", "", "1990", "", "0"};
        QTest::newRow("sizes as plain numbers")
            << "pair-plain-sizes" << QStringList{"Plain Size", "Old Tagger", "", "Pop", "2004", "", "0"};
        QTest::newRow("plain sizes that read as smaller synchsafe ones")
            << "pair-plain-sizes-read-synchsafe"
            << QStringList{"Plain Size", "Old Tagger", "", "Pop", "2005", "", "0"};
    }

    void id3v23AndId3v24GiveOneRecord()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, record);
        for (const char* version : {"-v23.mp3", "-v24.mp3"}) {
            const auto tags = read(name + QLatin1String(version));
            QVERIFY2(tags, version);
            QCOMPARE(QStringList({tags->title, tags->artist, tags->album, tags->genre, tags->year,
                                  tags->comment, tags->trackNumber}),
                     record);
        }
    }

    void olderTagsReadAsId3libReadsThemFromThePath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("ID3v2.2") << "full-v22.mp3";
        QTest::newRow("ID3v2.3") << "full-v23.mp3";
        QTest::newRow("ID3v1 only") << "v1-only.mp3";
        QTest::newRow("ID3v2.3 and ID3v1") << "vbr-noxing-tagged.mp3";
        QTest::newRow("track 5/12") << "track-5-12.mp3";
        QTest::newRow("genre (60)") << "genre-02.mp3";
    }

    void olderTagsReadAsId3libReadsThemFromThePath()
    {
        QFETCH(QString, name);
        const QString path = fixture(name);
        const auto tags = read(name);
        QVERIFY(tags);
        QCOMPARE(tags->title, id3libByPath(path, ID3FID_TITLE).trimmed());
        QCOMPARE(tags->artist, id3libByPath(path, ID3FID_LEADARTIST).trimmed());
        QCOMPARE(tags->album, id3libByPath(path, ID3FID_ALBUM).trimmed());
        QCOMPARE(tags->year, id3libByPath(path, ID3FID_YEAR).trimmed());
        QCOMPARE(tags->comment, id3libByPath(path, ID3FID_COMMENT).trimmed());
        QCOMPARE(tags->trackNumber, normalisedTrackNumber(id3libByPath(path, ID3FID_TRACKNUM)));
        const QString genre = id3libByPath(path, ID3FID_CONTENTTYPE);
        QCOMPARE(tags->genre, genre.isEmpty() ? QString() : normalisedGenre(genre));
    }

    void id3v1Tag()
    {
        const auto tags = read(QStringLiteral("v1-only.mp3"));
        QVERIFY(tags);
        QCOMPARE(tags->title, QStringLiteral("Old Song"));
        QCOMPARE(tags->artist, QStringLiteral("Old Band"));
        QCOMPARE(tags->album, QStringLiteral("Old Album"));
        QCOMPARE(tags->year, QStringLiteral("1987"));
        QCOMPARE(tags->genre, QStringLiteral("Rock"));
        QCOMPARE(tags->trackNumber, QStringLiteral("4"));
    }

    void id3v24FillsGapsFromId3v1()
    {
        const auto tags = read(QStringLiteral("full-v24-with-v1.mp3"));
        QVERIFY(tags);
        QCOMPARE(tags->title, QStringLiteral("Front Title"));
        QCOMPARE(tags->artist, QStringLiteral("Back Artist"));
        QCOMPARE(tags->album, QStringLiteral("Back Album"));
        QCOMPARE(tags->genre, QStringLiteral("Pop"));
        QCOMPARE(tags->trackNumber, QStringLiteral("9"));
    }

    void textEncodings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");
        QTest::newRow("Latin-1") << "latin1-umlauts.mp3" << QStringLiteral("Grün")
                                 << QStringLiteral("Müller");
        QTest::newRow("UTF-16, one trailing zero unit") << "utf16-one-zero.mp3"
                                                        << "Zero"
                                                        << "Units";
        QTest::newRow("UTF-16, two trailing zero units")
            << "utf16-two-zeros.mp3" << QStringLiteral("Zero") + QChar(0) + QChar(0) << "Units";
        QTest::newRow("UTF-16, big-endian byte order mark")
            << "utf16-big-endian-bom.mp3" << QStringLiteral("Süß") << "Units";
        QTest::newRow("UTF-8 in ID3v2.3")
            << "utf8-umlauts.mp3" << QStringLiteral("Grün über Fluß") << QStringLiteral("Mötley Crüe");
        QTest::newRow("UTF-16BE in ID3v2.3")
            << "utf16be.mp3" << QStringLiteral("Größe") << QStringLiteral("Ärzte");
        QTest::newRow("UTF-8 in ID3v2.4")
            << "full-v24-utf8.mp3" << QStringLiteral("Jóga") << QStringLiteral("Björk");
    }

    void textEncodings()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QFETCH(QString, artist);
        const auto tags = read(name);
        QVERIFY(tags);
        QCOMPARE(tags->title, title);
        QCOMPARE(tags->artist, artist);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("25 minutes and a tenth") << "length-1500.1.mp3"
                                                << "too few (<0) or too many seconds -> failed.";
        QTest::newRow("text named .mp3") << "not-audio.mp3"
                                         << "reading the music data failed.";
        QTest::newRow("empty file") << "empty.mp3"
                                    << "reading the music data failed.";
        QTest::newRow("picture named .mp3") << "png.mp3"
                                            << "reading the music data failed.";
        QTest::newRow("tag without audio") << "tag-only.mp3"
                                           << "reading the music data failed.";
        QTest::newRow("header frame without audio") << "info-frame-only.mp3"
                                                    << "too few (<0) or too many seconds -> failed.";
        QTest::newRow("missing file") << "no-such-file.mp3"
                                      << "reading the music data failed.";
        QTest::newRow("no title") << "no-title.mp3"
                                  << "title failed.";
        QTest::newRow("blank title") << "blank-title.mp3"
                                     << "title failed.";
        QTest::newRow("no artist") << "no-artist.mp3"
                                   << "artist failed.";
        QTest::newRow("neither title nor artist") << "no-tags.mp3"
                                                  << "title failed.";
        QTest::newRow("frame larger than its tag") << "tag-frame-past-end.mp3"
                                                   << "title failed.";
        QTest::newRow("tag size neither synchsafe nor plain") << "tag-size-not-synchsafe.mp3"
                                                              << "title failed.";
    }

    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const int before = logMessages().size();
        QVERIFY(!read(name));
        const QStringList added = logMessages().mid(before);
        QCOMPARE(added, QStringList{QStringLiteral("Reading ID3 tags of file: ") + fixture(name) +
                                    QStringLiteral(" ... ") + reason});
    }

    // Each folder holds a song and the pictures of one case, each picture a plain colour.
    void coverLookupOrder_data()
    {
        QTest::addColumn<QString>("song");
        QTest::addColumn<int>("source");
        QTest::addColumn<QColor>("colour");
        const auto row = [](const char* song, CoverSource source, const QColor& colour) {
            QTest::newRow(song) << QString::fromLatin1(song) << int(source) << colour;
        };
        row("front/song.mp3", CoverSource::EmbeddedFront, Qt::green);
        row("first/song.mp3", CoverSource::EmbeddedFirst, Qt::red);
        row("first-v22/song.mp3", CoverSource::EmbeddedFirst, Qt::magenta);
        row("broken-front/song.mp3", CoverSource::EmbeddedFirst, Qt::red);
        row("cover/song.mp3", CoverSource::CoverFile, Qt::blue);
        row("folder/song.mp3", CoverSource::FolderFile, Qt::cyan);
        row("front-file/song.mp3", CoverSource::FrontFile, Qt::white);
        row("none/song.mp3", CoverSource::None, QColor());
        row("flac/song.flac", CoverSource::EmbeddedFront, Qt::green);
    }

    void coverLookupOrder()
    {
        QFETCH(QString, song);
        QFETCH(int, source);
        QFETCH(QColor, colour);
        const CoverArt art =
            readCoverArt(vimotest::fixturesDirectory() + QStringLiteral("/covers/") + song, QSize(20, 20));
        QCOMPARE(int(art.source), source);
        QCOMPARE(art.image.isNull(), !colour.isValid());
        if (art.image.isNull())
            return;
        // Fitted into the size asked for, aspect kept: 40x30 becomes 20x15.
        QCOMPARE(art.image.size(), QSize(20, 15));
        const QColor pixel = art.image.pixelColor(10, 7);
        QVERIFY2(qAbs(pixel.red() - colour.red()) < 40 && qAbs(pixel.green() - colour.green()) < 40 &&
                     qAbs(pixel.blue() - colour.blue()) < 40,
                 qPrintable(pixel.name()));
    }

    // Every format beside MP3, from the fixture makers' files: what each reads as (every field, the length
    // within 0.05 s of FFmpeg's full decode of the file) or why it is refused, as an MP3 would be.
    void everyFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("format"); // the key of the format read, or the reason of the refusal
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<double>("seconds");
        const QString tone = QStringLiteral("Tone as ");
        const QString failed = QStringLiteral("reading the music data failed.");
        struct Kind
        {
            const char* name;
            const char* suffix;
            const char* format;
        };
        for (const Kind& kind :
             {Kind{"flac", ".flac", "flac"}, Kind{"vorbis", ".ogg", "vorbis"}, Kind{"opus", ".opus", "opus"},
              Kind{"aac", ".m4a", "mp4"}, Kind{"alac", ".m4a", "mp4"}, Kind{"wav", ".wav", "wav"}}) {
            const QString suffix = QLatin1String(kind.name) + QLatin1String(kind.suffix);
            const QString format = QLatin1String(kind.format);
            QTest::addRow("%s", kind.name) << "tone-" + suffix << format << tone + kind.name << "Rock" << 3.0;
            QTest::addRow("%s without a title", kind.name)
                << "read-no-title-" + suffix << "title failed." << QString() << QString() << 0.0;
            QTest::addRow("%s without an artist", kind.name)
                << "read-no-artist-" + suffix << "artist failed." << QString() << QString() << 0.0;
            QTest::addRow("%s of no bytes", kind.name)
                << "read-empty-" + suffix << failed << QString() << QString() << 0.0;
        }
        // Cut short at two thirds: the length of what a decoder still plays.
        QTest::newRow("FLAC cut short") << "read-cut-flac.flac"
                                        << "flac" << tone + "flac"
                                        << "Rock" << 1.8576;
        QTest::newRow("Vorbis cut short") << "read-cut-vorbis.ogg"
                                          << "vorbis" << tone + "vorbis"
                                          << "Rock" << 1.267;
        QTest::newRow("Opus cut short") << "read-cut-opus.opus"
                                        << "opus" << tone + "opus"
                                        << "Rock" << 0.9935;
        QTest::newRow("AAC cut short") << "read-cut-aac.m4a"
                                       << "mp4" << tone + "aac"
                                       << "Rock" << 1.9505;
        QTest::newRow("ALAC cut short") << "read-cut-alac.m4a"
                                        << "mp4" << tone + "alac"
                                        << "Rock" << 1.9505;
        QTest::newRow("WAV cut short") << "read-cut-wav.wav"
                                       << "wav" << tone + "wav"
                                       << "Rock" << 1.9997;
        // Judged by content: the name's ending only chose the file.
        QTest::newRow("FLAC named .mp3") << "read-flac-named.mp3"
                                         << "flac" << tone + "flac"
                                         << "Rock" << 3.0;
        QTest::newRow("Opus named .m4a") << "read-opus-named.m4a"
                                         << "opus" << tone + "opus"
                                         << "Rock" << 3.0;
        QTest::newRow("video in .m4a") << "read-video.m4a" << failed << QString() << QString() << 0.0;
        QTest::newRow("video alone") << "read-video-only.mp4" << failed << QString() << QString() << 0.0;
        QTest::newRow("WAV of ADPCM") << "read-adpcm.wav" << failed << QString() << QString() << 0.0;
        QTest::newRow("AC-3 in .m4a") << "read-ac3.m4a" << failed << QString() << QString() << 0.0;
        QTest::newRow("MP4 genre by number") << "read-genre-number.m4a"
                                             << "mp4"
                                             << "Numbered Genre"
                                             << "Rock" << 3.0186;
        // Stored lengths that cannot hold, and one that holds but is too long.
        QTest::newRow("FLAC without a total") << "read-no-total.flac"
                                              << "flac" << tone + "flac"
                                              << "Rock" << 3.0;
        QTest::newRow("Opus granule of a billion") << "read-billion-granule.opus"
                                                   << "opus" << tone + "opus"
                                                   << "Rock" << 3.0135;
        // A page that lies is not believed: the pages before it hold the length, less the lying page's sound
        // (FFmpeg plays all of it: 3.0084 s).
        QTest::newRow("Vorbis granule of a billion") << "read-billion-granule.ogg"
                                                     << "vorbis" << tone + "vorbis"
                                                     << "Rock" << 2.5905;
        QTest::newRow("Opus of 26 minutes")
            << "read-long-granule.opus"
            << "too few (<0) or too many seconds -> failed." << QString() << QString() << 0.0;
    }

    void everyFormat()
    {
        QFETCH(QString, name);
        QFETCH(QString, format);
        QFETCH(QString, title);
        QFETCH(QString, genre);
        QFETCH(double, seconds);
        const QString path = vimotest::fixturesDirectory() + QStringLiteral("/formats/") + name;
        QVERIFY(QFile::exists(path));
        const int before = logMessages().size();
        const std::unique_ptr<TagInfo> info(readTagInfo(path));
        const QStringList added = logMessages().mid(before);
        if (title.isEmpty()) {
            QVERIFY(!info);
            QCOMPARE(added, QStringList{QStringLiteral("Reading ID3 tags of file: ") + path +
                                        QStringLiteral(" ... ") + format});
            return;
        }
        QVERIFY2(info, qPrintable(added.join(QLatin1Char('\n'))));
        QCOMPARE(QLatin1String(formatKey(info->format)), format);
        QCOMPARE(info->title, title);
        QCOMPARE(info->artist, QStringLiteral("Format Band"));
        QCOMPARE(info->genre, genre);
        QVERIFY2(qAbs(info->seconds - seconds) <= 0.05,
                 qPrintable(QStringLiteral("%1 s, a full decode %2 s").arg(info->seconds).arg(seconds)));
        if (title.startsWith(QStringLiteral("Tone as "))) {
            const QString kind = title.mid(8);
            QCOMPARE(info->album, QStringLiteral("Every Format"));
            QCOMPARE(info->year, QStringLiteral("2024"));
            QCOMPARE(info->comment, QStringLiteral("made as ") + kind);
            QCOMPARE(info->trackNumber, QStringLiteral("7"));
        }
        QVERIFY(added.isEmpty());
    }

    void exactlyTwentyFiveMinutesPass()
    {
        const int before = logMessages().size();
        const auto song = track(QStringLiteral("length-1500.0.mp3"));
        QVERIFY(song->isValid());
        QCOMPARE(song->seconds(), 1500.0);
        QCOMPARE(song->lengthText(), QStringLiteral("25:00"));
        QCOMPARE(logMessages().size(), before);
    }

    void trimmedTitleMakesDisplayTextAndKey()
    {
        const auto song = track(QStringLiteral("yesterday.mp3"));
        QVERIFY(song->isValid());
        QCOMPARE(song->displayText(), QStringLiteral("The Beatles\nYesterday"));
        QCOMPARE(song->searchKey(), QStringLiteral("the beatles\nyesterday"));
        QCOMPARE(song->filePath(), fixture(QStringLiteral("yesterday.mp3")));
        QCOMPARE(song->details(), QStringLiteral("Track: 0\nLength: 0:01"));
    }

    void genreFromFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("oneLine");
        QTest::newRow("number") << "genre-09.mp3"
                                << "Easy\nListening"
                                << "Easy Listening";
        QTest::newRow("no genre") << "genre-03.mp3"
                                  << ""
                                  << "";
    }

    void genreFromFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, genre);
        QFETCH(QString, oneLine);
        const auto song = track(name);
        QVERIFY(song->isValid());
        QCOMPARE(song->genre(), genre);
        QCOMPARE(song->genreOneLine(), oneLine);
        QCOMPARE(song->details().startsWith(QStringLiteral("Genre: ")), !genre.isEmpty());
        if (!genre.isEmpty())
            QCOMPARE(song->details().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Genre: ") + oneLine);
    }

    void trackFrames()
    {
        const auto five = track(QStringLiteral("track-5-12.mp3"));
        QCOMPARE(five->trackNumber(), QStringLiteral("5"));
        const auto none = track(QStringLiteral("no-track.mp3"));
        QCOMPARE(none->trackNumber(), QStringLiteral("0"));
        QVERIFY(none->details().contains(QStringLiteral("\nTrack: 0\n")) ||
                none->details().startsWith(QStringLiteral("Track: 0\n")));
    }

    void sevenSecondSong()
    {
        const auto song = track(QStringLiteral("seven-seconds.mp3"));
        QVERIFY(song->isValid());
        QCOMPARE(song->lengthText(), QStringLiteral("0:07"));
        QVERIFY(song->details().endsWith(QStringLiteral("Length: 0:07")));
    }

    void invalidTrackIsEmpty()
    {
        const auto song = track(QStringLiteral("no-artist.mp3"));
        QVERIFY(!song->isValid());
        QVERIFY(song->filePath().isEmpty());
        QVERIFY(song->searchKey().isEmpty());
        QVERIFY(song->details().isEmpty());
        QVERIFY(!song->tagInfo());
        QVERIFY(song->player());
    }

    void marksStartCleared()
    {
        const auto song = track(QStringLiteral("yesterday.mp3"));
        QVERIFY(!song->played() && !song->queued() && !song->playing() && !song->inGenreFilter());
        QVERIFY(!song->commentAsked() && song->photoFileName().isEmpty());
        song->setState(SongState::Queued);
        song->setPhotoFileName(QStringLiteral("001 photo.jpg"));
        QVERIFY(song->queued() && !song->played());
        QCOMPARE(song->photoFileName(), QStringLiteral("001 photo.jpg"));
    }

    void fileConstructor()
    {
        const int before = logMessages().size();
        const FileConstructor missing(fixture(QStringLiteral("gone.mp3")), nullptr, nullptr, nullptr);
        QVERIFY(!missing.exists);
        QVERIFY(!missing.createTrack());
        // A file that has gone is named in the log like every other file left out.
        QCOMPARE(logMessages().size(), before + 1);
        QCOMPARE(logMessages().constLast(), QStringLiteral("Reading ID3 tags of file: ") +
                                                fixture(QStringLiteral("gone.mp3")) +
                                                QStringLiteral(" ... the file could not be found."));

        const FileConstructor refused(fixture(QStringLiteral("no-artist.mp3")), nullptr, nullptr, nullptr);
        QVERIFY(refused.exists);
        QVERIFY(!refused.createTrack());
        QCOMPARE(logMessages().size(), before + 2);

        // A relative path becomes the track's absolute path.
        const QString relative = QDir::current().relativeFilePath(fixture(QStringLiteral("yesterday.mp3")));
        const FileConstructor good(relative, nullptr, nullptr, nullptr);
        QCOMPARE(good.absolutePath, fixture(QStringLiteral("yesterday.mp3")));
        std::unique_ptr<Track> song(good.createTrack());
        QVERIFY(song && song->isValid());
        QCOMPARE(song->filePath(), fixture(QStringLiteral("yesterday.mp3")));
    }

    void fuzzInputsAreRefusedOrRead()
    {
        // The fuzzers' committed inputs (damaged tags of every version, damaged files of every format): each
        // is read or refused with a line.
        const QStringList paths =
            vimotest::fuzzCorpus(QStringLiteral("tags")) + vimotest::fuzzCorpus(QStringLiteral("formats"));
        QVERIFY(!paths.isEmpty());
        for (const QString& path : paths) {
            const int before = logMessages().size();
            std::unique_ptr<TagInfo> tags(readTagInfo(path));
            QVERIFY2(!tags || (!tags->title.isEmpty() && !tags->artist.isEmpty()), qPrintable(path));
            QCOMPARE(logMessages().size(), before + (tags ? 0 : 1));
        }
    }

private:
    static double mp3LengthSecondsOf(const QString& name);
};

double TestTags::mp3LengthSecondsOf(const QString& name)
{
    return mp3LengthSeconds(fixture(name));
}

VIMO_TEST_MAIN(TestTags)
#include "tst_tags.moc"
