// SPDX-License-Identifier: GPL-3.0-or-later
// What a guest's tags or a planted file can make the program write: photos land in their folder and
// nowhere else whatever the artist and title say, no photo is taken without its folder, and the comment
// rewrite writes the one photo it was given, never a link's target, a FIFO or a folder.
#include "base/runlog.h"
#include "camera/Snapshot.h"
#include "camera/photocomment.h"
#include "camera/photonames.h"
#include "camerasupport.h"
#include "testsupport.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <sys/stat.h>

using vimotest::fileBytes;

namespace {

// Every entry below `folder` with its content, so that any change shows.
QMap<QString, QByteArray> snapshotOf(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator walk(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        const QFileInfo entry(path);
        entries.insert(path, entry.isSymLink() ? entry.symLinkTarget().toUtf8()
                             : entry.isFile()  ? fileBytes(path)
                                               : QByteArray("<not a file>"));
    }
    return entries;
}

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

class TestSecurity : public QObject
{
    Q_OBJECT

    QTemporaryDir place;
    QString video;
    std::unique_ptr<opencv::Snapshot> webcam;

    // A photo written by the webcam job into `folder`, as the queue takes it for a wish.
    bool photograph(const QString& folder, const QString& name)
    {
        QFuture<void> job;
        opencv::startSnapshotJob(webcam.get(), job, true, folder, name);
        return QFileInfo(folder + name).isFile();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(place.isValid());
        QVERIFY(!runFolder().isEmpty());
        video = place.filePath(QStringLiteral("camera.avi"));
        QVERIFY(vimotest::makeCameraVideo(video, 200));
        webcam = std::make_unique<opencv::Snapshot>(video, 64, 48, 90);
        QVERIFY(webcam->isOpened());
    }

    void cleanupTestCase() { webcam.reset(); }

    void photoNamesStayInTheirFolder_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::newRow("parent folders") << "../../../../tmp"
                                        << "../../etc/passwd";
        QTest::newRow("absolute path") << "/etc"
                                       << "/root/.bashrc";
        QTest::newRow("backslashes") << "..\\..\\Windows"
                                     << "C:\\evil";
        QTest::newRow("dots only") << ".."
                                   << ".";
        QTest::newRow("zero character") << QStringLiteral("Null") + QChar(0) + QStringLiteral("/../../x")
                                        << QStringLiteral("Title") + QChar(0) + QStringLiteral(".sh");
        QTest::newRow("line breaks") << "Line\nBreak"
                                     << "Carriage\rReturn";
        QTest::newRow("long ASCII") << QString(300, QLatin1Char('A')) << QString(300, QLatin1Char('T'));
        QTest::newRow("long umlauts") << QString(200, QChar(0x00FC)) << QString(90, QChar(0x00E4));
        QTest::newRow("long emoji") << QString::fromUtf8("\xF0\x9F\x8E\xB8").repeated(120)
                                    << QString::fromUtf8("\xF0\x9F\x8E\xA4").repeated(120);
    }

    void photoNamesStayInTheirFolder()
    {
        QFETCH(QString, artist);
        QFETCH(QString, title);
        for (const bool random : {false, true}) {
            const QString name =
                portraitFileName(QDateTime(QDate(2013, 2, 20), QTime(20, 15, 33)), 7, artist, title, random);
            QVERIFY2(!name.contains(QLatin1Char('/')) && !name.contains(QChar(0)), qPrintable(name));
            QVERIFY2(std::none_of(name.cbegin(), name.cend(),
                                  [](QChar c) { return c.category() == QChar::Other_Control; }),
                     qPrintable(name));
            QVERIFY2(QFile::encodeName(name).size() <= 255, qPrintable(name));
            QVERIFY(name.startsWith(QStringLiteral("2013-02-20 20-15-33 -   7 - ")));
            QVERIFY(name.endsWith(random ? QStringLiteral(" - (random).jpg") : QStringLiteral(".jpg")));
            // A character is either kept whole or left out: no half of a surrogate pair.
            QCOMPARE(QString::fromUtf8(name.toUtf8()), name);
        }

        // The webcam job writes the photo into the folder and touches nothing beside it.
        QTemporaryDir party;
        const QString portraits = party.filePath(QStringLiteral("DJ portraits")) + QLatin1Char('/');
        QVERIFY(QDir().mkpath(portraits));
        int counter = 0;
        const QString name = opencv::nameNextPortrait(webcam.get(), counter, artist, title, false);
        QVERIFY(photograph(portraits, name));
        const QMap<QString, QByteArray> after = snapshotOf(party.path());
        QCOMPARE(after.keys(), (QStringList{QDir::cleanPath(portraits), portraits + name}));
        QVERIFY(after.value(portraits + name).startsWith("\xFF\xD8"));
    }

    void withoutItsFolderNoPhotoIsTaken_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("logged");
        QTest::newRow("plain name") << "stray.jpg"
                                    << "stray.jpg";
        // A tag's control characters become blanks: the line cannot end early or forge another.
        QTest::newRow("forged line") << "Line\n2013-02-20 20-15-33\t::\tForged\r\x1b[2K\a.jpg"
                                     << "Line 2013-02-20 20-15-33 :: Forged  [2K .jpg";
    }
    void withoutItsFolderNoPhotoIsTaken()
    {
        QFETCH(QString, name);
        QFETCH(QString, logged);
        // When "DJ portraits" cannot be made the folder is empty: the photo would land in the working
        // folder. It is not taken, and the log says so in one line.
        const QStringList before = QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const qint64 logStart = QFileInfo(logFilePath()).size();
        QFuture<void> job;
        QVERIFY(opencv::startSnapshotJob(webcam.get(), job, true, QString(), name));
        job.waitForFinished();
        QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        const QString added = QString::fromUtf8(fileBytes(logFilePath()).mid(logStart));
        QVERIFY2(added.endsWith(QStringLiteral("\t::\tThe photo \"") + logged +
                                QStringLiteral("\" was not taken: there is no folder for the photos.\n")),
                 qPrintable(added));
        QCOMPARE(added.count(QLatin1Char('\n')), 1);
    }

    void theCommentRewriteWritesOnlyThePhotoItWasGiven()
    {
        QTemporaryDir party;
        const QString portraits = party.filePath(QStringLiteral("DJ portraits")) + QLatin1Char('/');
        QVERIFY(QDir().mkpath(portraits));
        QVERIFY(photograph(portraits, QStringLiteral("one.jpg")));
        QVERIFY(photograph(portraits, QStringLiteral("two.jpg")));
        QFile notes(portraits + QStringLiteral("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("keep me\n") == 8);
        notes.close();
        const QMap<QString, QByteArray> before = snapshotOf(party.path());

        QVERIFY(writePhotoComment(local(portraits + QStringLiteral("one.jpg")), "What a night!"));
        QMap<QString, QByteArray> after = snapshotOf(party.path());
        QCOMPARE(after.keys(), before.keys());
        QVERIFY(after.value(portraits + QStringLiteral("one.jpg")) !=
                before.value(portraits + QStringLiteral("one.jpg")));
        after.remove(portraits + QStringLiteral("one.jpg"));
        QMap<QString, QByteArray> untouched = before;
        untouched.remove(portraits + QStringLiteral("one.jpg"));
        QCOMPARE(after, untouched);
        QCOMPARE(readPhotoCommentFromFile(local(portraits + QStringLiteral("one.jpg"))),
                 std::string("What a night!"));
    }

    void aLinkFifoOrFolderNamedLikeAPhotoIsNeverWritten()
    {
        QTemporaryDir party;
        const QString portraits = party.filePath(QStringLiteral("DJ portraits")) + QLatin1Char('/');
        const QString elsewhere = party.filePath(QStringLiteral("elsewhere")) + QLatin1Char('/');
        QVERIFY(QDir().mkpath(portraits) && QDir().mkpath(elsewhere));
        QVERIFY(photograph(elsewhere, QStringLiteral("target.jpg")));
        QVERIFY(
            QFile::link(elsewhere + QStringLiteral("target.jpg"), portraits + QStringLiteral("link.jpg")));
        QCOMPARE(::mkfifo(QFile::encodeName(portraits + QStringLiteral("fifo.jpg")).constData(), 0644), 0);
        QVERIFY(QDir().mkdir(portraits + QStringLiteral("folder.jpg")));
        const QMap<QString, QByteArray> before = snapshotOf(party.path());
        const qint64 logStart = QFileInfo(logFilePath()).size();

        // Opening the FIFO would wait for a writer forever; none of the three is touched.
        for (const char* name : {"link.jpg", "fifo.jpg", "folder.jpg"}) {
            const QString path = portraits + QLatin1String(name);
            QVERIFY2(!writePhotoComment(local(path), "Gotcha"), name);
            QCOMPARE(readPhotoCommentFromFile(local(path)), std::string());
            QVERIFY(fileBytes(logFilePath())
                        .mid(logStart)
                        .contains(QFile::encodeName(
                            QStringLiteral("The photo \"%1\" is no plain file").arg(path))));
        }
        QCOMPARE(snapshotOf(party.path()), before);
    }
};

VIMO_TEST_MAIN(TestSecurity)
#include "tst_security.moc"
