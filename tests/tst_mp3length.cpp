// SPDX-License-Identifier: GPL-3.0-or-later
// The length measurement against what a full decode of the same file yields.
#include "tags/mp3length.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <mpg123.h>

namespace {

QString fixture(const QString& name)
{
    return vimotest::fixturesDirectory() + QStringLiteral("/library/") + name;
}

// Seconds of audio that libmpg123 decodes from the file (gapless, as a player hears it); -1 on failure.
double decodedSeconds(const QString& path)
{
    int error = 0;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle)
        return -1;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    double seconds = -1;
    if (mpg123_open(handle, QFile::encodeName(path).constData()) == MPG123_OK) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        qint64 bytes = 0;
        unsigned char buffer[1 << 16];
        size_t done = 0;
        int result = MPG123_OK;
        do {
            result = mpg123_read(handle, buffer, sizeof buffer, &done);
            bytes += qint64(done);
        } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
        if (result == MPG123_DONE && mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK)
            seconds = double(bytes) / (channels * mpg123_encsize(encoding)) / rate;
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return seconds;
}

QString writeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QByteArray readFixture(const QString& name)
{
    QFile file(fixture(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestMp3Length : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(mpg123_init() == MPG123_OK); }

    void matchesDecodedLength_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("approximately");
        QTest::newRow("constant bit rate with Info header") << "cbr.mp3" << 3.0;
        QTest::newRow("constant bit rate without header") << "cbr-noinfo.mp3" << 3.0;
        QTest::newRow("variable bit rate with Xing header") << "vbr-xing.mp3" << 4.0;
        QTest::newRow("variable bit rate without header") << "vbr-noxing.mp3" << 4.0;
        QTest::newRow("without header, ID3v2 in front and ID3v1 behind") << "vbr-noxing-tagged.mp3" << 4.0;
        QTest::newRow("48 kHz") << "rate48k.mp3" << 3.0;
        QTest::newRow("mono 22.05 kHz") << "mono.mp3" << 3.0;
        QTest::newRow("MPEG-2.5 8 kHz") << "mpeg25.mp3" << 2.0;
        QTest::newRow("seven seconds") << "seven-seconds.mp3" << 7.0;
        QTest::newRow("exactly 25 minutes") << "length-1500.0.mp3" << 1500.0;
        QTest::newRow("a tenth over 25 minutes") << "length-1500.1.mp3" << 1500.1;
        QTest::newRow("cut short after its Xing header") << "vbr-xing-cut.mp3" << 0.6;
        QTest::newRow("Info header claiming no frames") << "info-zero-frames.mp3" << 3.0;
        QTest::newRow("constant bit rate, one odd frame in the middle") << "cbr-odd-frame.mp3" << 3.0;
        QTest::newRow("constant bit rate without header, APE and ID3v1 behind")
            << "cbr-noinfo-ape.mp3" << 3.0;
        QTest::newRow("free format") << "free-format.mp3" << 3.0;
        QTest::newRow("free format with Info header") << "free-format-info.mp3" << 3.0;
    }

    void matchesDecodedLength()
    {
        QFETCH(QString, name);
        QFETCH(double, approximately);
        const double decoded = decodedSeconds(fixture(name));
        QVERIFY2(decoded > 0, qPrintable(name));
        const double measured = mp3LengthSeconds(fixture(name));
        QVERIFY2(qAbs(measured - decoded) < 0.05,
                 qPrintable(QStringLiteral("measured %1 s, decoded %2 s").arg(measured).arg(decoded)));
        // The fixtures are what they claim to be, so the comparison above covers those kinds of stream.
        QVERIFY2(qAbs(decoded - approximately) < 0.3, qPrintable(QString::number(decoded)));
    }

    void limitFilesAreExactToTheSample()
    {
        QCOMPARE(mp3LengthSeconds(fixture(QStringLiteral("length-1500.0.mp3"))), 1500.0);
        QVERIFY(qAbs(mp3LengthSeconds(fixture(QStringLiteral("length-1500.1.mp3"))) - 1500.1) < 1e-9);
    }

    void fileWithoutAudioIsNegative_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("text named .mp3") << "not-audio.mp3";
        QTest::newRow("picture named .mp3") << "png.mp3";
        QTest::newRow("empty file") << "empty.mp3";
        QTest::newRow("tag without audio") << "tag-only.mp3";
        QTest::newRow("tag whose size swallows the audio") << "tag-size-past-end.mp3";
        QTest::newRow("no such file") << "no-such-file.mp3";
        QTest::newRow("a folder") << "ranking";
    }

    void fileWithoutAudioIsNegative()
    {
        QFETCH(QString, name);
        QVERIFY(mp3LengthSeconds(fixture(name)) < 0);
    }

    void headerFrameWithoutAudioIsZero()
    {
        QCOMPARE(mp3LengthSeconds(fixture(QStringLiteral("info-frame-only.mp3"))), 0.0);
    }

    void singleStraySyncIsNoFrame()
    {
        // A valid-looking header whose frame is not followed by another one is no audio.
        QTemporaryDir folder;
        QByteArray bytes(5000, 'x');
        bytes.replace(100, 4, QByteArray("\xFF\xFB\x90\x64", 4));
        QVERIFY(mp3LengthSeconds(writeFile(folder, QStringLiteral("stray.mp3"), bytes)) < 0);
    }

    void junkBetweenFramesIsSkipped()
    {
        // Frames after a stretch of junk still count; the junk itself does not.
        QTemporaryDir folder;
        const QByteArray audio = readFixture(QStringLiteral("cbr-noinfo.mp3"));
        QVERIFY(!audio.isEmpty());
        QByteArray damaged = audio;
        damaged.insert(audio.size() / 2, QByteArray(777, '\x01'));
        const double whole = mp3LengthSeconds(fixture(QStringLiteral("cbr-noinfo.mp3")));
        const double measured = mp3LengthSeconds(writeFile(folder, QStringLiteral("junk.mp3"), damaged));
        QVERIFY2(qAbs(measured - whole) < 0.03, qPrintable(QString::number(measured)));
    }

    void fuzzInputsMeasureAsTheyDecode()
    {
        // The fuzzers' committed inputs: a finite length, within reach of what libmpg123 decodes.
        const QStringList paths = vimotest::fuzzCorpus(QStringLiteral("mp3length"));
        QVERIFY(!paths.isEmpty());
        for (const QString& path : paths) {
            const double measured = mp3LengthSeconds(path);
            const double decoded = decodedSeconds(path);
            QVERIFY2(qIsFinite(measured) && measured >= -1 && measured < 1e9, qPrintable(path));
            if (decoded > 0)
                QVERIFY2(qAbs(measured - decoded) < 0.05,
                         qPrintable(QStringLiteral("%1: measured %2 s, decoded %3 s")
                                        .arg(path)
                                        .arg(measured)
                                        .arg(decoded)));
        }
    }

    void forgedHeadersAreNotBelieved()
    {
        QTemporaryDir folder;
        // Headers everywhere that chain into no frame; a Xing header claiming four billion frames in a file
        // of four seconds; an ID3v2 size at its maximum, which leaves no audio.
        QByteArray headers;
        for (int i = 0; i < 20000; ++i)
            headers += QByteArray("\xFF\xFB\x90\x64", 4);
        QVERIFY(mp3LengthSeconds(writeFile(folder, QStringLiteral("headers.mp3"), headers)) < 0);
        QByteArray xing = readFixture(QStringLiteral("vbr-xing.mp3"));
        const int tag = xing.indexOf("Xing");
        QVERIFY(tag > 0);
        xing.replace(tag + 8, 4, QByteArray("\xFF\xFF\xFF\xFF", 4));
        const double claimed = mp3LengthSeconds(writeFile(folder, QStringLiteral("xing.mp3"), xing));
        QVERIFY2(qAbs(claimed - decodedSeconds(fixture(QStringLiteral("vbr-xing.mp3")))) < 0.05,
                 qPrintable(QString::number(claimed)));
        QByteArray id3 =
            QByteArray("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + readFixture(QStringLiteral("cbr.mp3"));
        QVERIFY(mp3LengthSeconds(writeFile(folder, QStringLiteral("id3.mp3"), id3)) < 0);
    }
};

VIMO_TEST_MAIN(TestMp3Length)
#include "tst_mp3length.moc"
