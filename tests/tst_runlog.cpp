// SPDX-License-Identifier: GPL-3.0-or-later
// The run folder and the event log, as the files on disk show them.
#include "base/plainfile.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "library/Track.h"
#include "party/PlayQueue.h"
#include "queuesupport.h"
#include "testsupport.h"
#include "ui/QueueView.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace {

const QString timeStamp = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d-\d\d-\d\d)");

// Scenarios that need a process of their own.
int child(const QStringList& arguments)
{
    const QString scenario = arguments.value(0);
    if (scenario == QLatin1String("first-call-empty-folder")) {
        QDir::setCurrent(arguments.value(1));
        logMessage(QStringLiteral("first line"));
        logMessage(QStringLiteral("second line"));
        return 0;
    }
    if (scenario == QLatin1String("one-run")) {
        qputenv("HOME", QFile::encodeName(arguments.value(1)));
        const QString folder = runFolder();
        logMessage(arguments.value(2));
        QTextStream(stdout) << folder;
        return 0;
    }
    if (scenario == QLatin1String("planted")) {
        // A run that writes its first lines, then finds something else at the name of one record.
        const QString home = arguments.value(1);
        const QString record = arguments.value(2);
        const QString plant = arguments.value(3);
        qputenv("HOME", QFile::encodeName(home));
        if (!std::freopen(QFile::encodeName(home + "/stderr.txt").constData(), "w", stderr))
            return 3;
        if (record == QLatin1String("settings")) {
            // Planted before the first start reads its settings.
            qunsetenv("XDG_CONFIG_HOME");
            const QString path = home + QStringLiteral("/.config/Talvoren/Vimo.conf");
            if (!QDir().mkpath(home + QStringLiteral("/.config/Talvoren")) ||
                (plant == QLatin1String("link") ? !QFile::link(home + "/outside.txt", path)
                                                : ::mkfifo(QFile::encodeName(path).constData(), 0644) != 0))
                return 4;
            QSettings* settings = settingsStore();
            settings->setValue(QStringLiteral("UI/Fullscreen"), 1);
            settings->sync();
            QTextStream(stdout) << "settings: " << path
                                << "\nvalue: " << settings->value(QStringLiteral("UI/Fullscreen")).toInt()
                                << '\n';
            return 0;
        }
        const QString folder = runFolder();
        QTableWidget queueTable(1, 5);
        PlayQueue queue(std::make_unique<QueueView>(&queueTable, nullptr));
        Track song(vimotest::queueFixture(QStringLiteral("dash/dash.mp3")), nullptr, nullptr);
        if (!song.isValid())
            return 5;
        queue.writePlaylistHeader();
        queue.writePlaylistLine(QStringLiteral("  "), &song);
        logMessage(QStringLiteral("before"));
        const QString target = record == QLatin1String("log") ? logFilePath() : queue.playlistPath();
        if (plant == QLatin1String("deleted folder")) {
            QDir(folder).removeRecursively();
        } else {
            QFile::remove(target);
            const QByteArray name = QFile::encodeName(target);
            if (plant == QLatin1String("link") ? !QFile::link(home + "/outside.txt", target)
                                               : ::mkfifo(name.constData(), 0644) != 0)
                return 4;
        }
        logMessage(QStringLiteral("after"));
        queue.writePlaylistLine(QStringLiteral("  "), &song);
        QTextStream(stdout) << "log: " << logFilePath() << "\nplaylist: " << queue.playlistPath() << '\n';
        return 0;
    }
    return 2;
}

void waitUntilMinuteHasRoom(int seconds)
{
    while (QTime::currentTime().second() > 59 - seconds)
        QThread::msleep(200);
}

} // namespace

class TestRunLog : public QObject
{
    Q_OBJECT

private slots:
    void runFolderHeaderAndLineFormat()
    {
        waitUntilMinuteHasRoom(3);
        const QDateTime started = QDateTime::currentDateTime();
        const QString folder = runFolder();
        const QString expected =
            QDir::toNativeSeparators(vimotest::homeDirectory() + "/Pictures/Vimo output") + "/" +
            started.toString("yyyy-MM-dd hh-mm") + "/";
        QCOMPARE(folder, expected);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(runFolder(), folder);
        QCOMPARE(logFilePath(), folder + "Vimo log file.txt");

        logMessage(QStringLiteral("tabs\tand::colons"));
        logMessage(QStringLiteral("first\nsecond\nthird"));
        logMessage(QStringLiteral("Grüße aus Köln – ♫"));

        const QString log = vimotest::readTextFile(logFilePath());
        const QString header =
            "\nVimo log file\nCreated: " + started.toString("yyyy-MM-dd hh-mm-ss") + "\n\n";
        QVERIFY2(log.startsWith(header), qPrintable(log.left(80)));
        const QStringList lines = log.mid(header.size()).split('\n');
        QVERIFY(QRegularExpression("^" + timeStamp + "\t::\tDirectory \"" +
                                   QRegularExpression::escape(QDir::toNativeSeparators(folder)) +
                                   "\" was created\\.$")
                    .match(lines.value(0))
                    .hasMatch());
        QVERIFY(QRegularExpression("^" + timeStamp + "\t::\ttabs\tand::colons$")
                    .match(lines.value(1))
                    .hasMatch());
        // A message with line breaks is written as it is, behind one time prefix only.
        QVERIFY(QRegularExpression("^" + timeStamp + "\t::\tfirst$").match(lines.value(2)).hasMatch());
        QCOMPARE(lines.value(3), QStringLiteral("second"));
        QCOMPARE(lines.value(4), QStringLiteral("third"));
        // The log is UTF-8, so names from any language survive.
        QVERIFY(lines.value(5).endsWith(QStringLiteral("\t::\tGrüße aus Köln – ♫")));
        QCOMPARE(lines.value(6), QString());
        QCOMPARE(lines.size(), 7);
    }

    void subfolders()
    {
        const QString folder = runFolder();
        const QString before = vimotest::readTextFile(logFilePath());
        const QString first = outputSubfolder(QStringLiteral("DJ portraits"));
        const QString second = outputSubfolder(QStringLiteral("DJ portraits"));
        QCOMPARE(first, folder + "DJ portraits/");
        QCOMPARE(second, first);
        QVERIFY(QFileInfo(first).isDir());
        QCOMPARE(outputSubfolder(QString()), QString());

        const QString added = vimotest::readTextFile(logFilePath()).mid(before.size());
        const QString message = "Directory \"" + QDir::toNativeSeparators(first) + "\" was created.";
        QCOMPARE(added.count(message), 2);
        QCOMPARE(added.count('\n'), 2);
    }

    void subfolderThatCannotBeCreated()
    {
        const QString folder = runFolder();
        QFile blocker(folder + "blocked");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(outputSubfolder(QStringLiteral("blocked")), QString());
        QVERIFY(vimotest::readTextFile(logFilePath())
                    .contains("Directory \"" + QDir::toNativeSeparators(folder + "blocked/") +
                              "\" could not be created."));
    }

    void firstCallWithEmptyFolderWritesToWorkingDirectory()
    {
        QTemporaryDir workingDirectory;
        QCOMPARE(vimotest::runChild({"first-call-empty-folder", workingDirectory.path()}), 0);
        const QString log = vimotest::readTextFile(workingDirectory.filePath("Vimo log file.txt"));
        QVERIFY(log.startsWith("\nVimo log file\nCreated: "));
        QVERIFY(
            QRegularExpression("\n" + timeStamp + "\t::\tfirst line\n" + timeStamp + "\t::\tsecond line\n$")
                .match(log)
                .hasMatch());
    }

    void secondRunInTheSameMinuteAppends()
    {
        waitUntilMinuteHasRoom(10);
        QTemporaryDir home;
        QString firstFolder;
        QString secondFolder;
        QCOMPARE(vimotest::runChild({"one-run", home.path(), "line of the first run"}, &firstFolder), 0);
        QCOMPARE(vimotest::runChild({"one-run", home.path(), "line of the second run"}, &secondFolder), 0);
        QVERIFY(firstFolder.startsWith(home.path()));
        QCOMPARE(secondFolder, firstFolder);
        const QString log = vimotest::readTextFile(firstFolder + "Vimo log file.txt");
        QCOMPARE(log.count("\nVimo log file\nCreated: "), 2);
        const int first = log.indexOf("line of the first run");
        const int secondHeader = log.lastIndexOf("\nVimo log file\n");
        QVERIFY(first > 0);
        QVERIFY(secondHeader > first);
        QVERIFY(log.indexOf("line of the second run") > secondHeader);
    }

    void recordsOnlyGoIntoPlainFilesOfTheirOwn_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("plant");
        for (const char* record : {"log", "playlist", "settings"})
            for (const char* plant : {"link", "fifo"})
                QTest::addRow("%s %s", plant, record) << record << plant;
        QTest::newRow("run folder deleted") << "log"
                                            << "deleted folder";
    }
    void recordsOnlyGoIntoPlainFilesOfTheirOwn()
    {
        QFETCH(QString, record);
        QFETCH(QString, plant);
        waitUntilMinuteHasRoom(10);
        QTemporaryDir home;
        const QString outside = home.filePath("outside.txt");
        QFile planted(outside);
        QVERIFY(planted.open(QIODevice::WriteOnly) && planted.write("not the log\n") > 0);
        planted.close();
        // A FIFO that was waited for would hold the child until the time-out.
        QString output;
        QCOMPARE(vimotest::runChild({"planted", home.path(), record, plant}, &output, 30000), 0);
        // Only plain files are read: the test would wait at a FIFO as the program must not.
        const auto plainText = [&](const char* key) {
            const QString path = vimotest::childValue(output, QLatin1String(key));
            return isPlainFile(path) ? vimotest::readTextFile(path) : QString();
        };
        const QString log = plainText("log");
        const QString playlist = plainText("playlist");
        const QString errors = vimotest::readTextFile(home.filePath("stderr.txt"));
        QCOMPARE(vimotest::readTextFile(outside), QStringLiteral("not the log\n"));
        if (record == QLatin1String("settings")) {
            // Refused with a line on standard error; the run keeps what it sets, and writes nothing at all.
            const QString target = vimotest::childValue(output, record);
            QCOMPARE(QFileInfo(target).isSymLink(), plant == QLatin1String("link"));
            QVERIFY(!isPlainFile(target));
            QVERIFY2(
                errors.contains(QStringLiteral("Vimo: the settings file \"%1\" is not used: ").arg(target)),
                qPrintable(errors));
            QCOMPARE(vimotest::childValue(output, QStringLiteral("value")), QStringLiteral("1"));
            QCOMPARE(QFileInfo(target).dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                       QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("Vimo.conf")});
            return;
        }
        const QString secondLine = QStringLiteral("  2:   Up - Down - Left - Right\n");
        if (plant == QLatin1String("deleted folder")) {
            // The next line made the folder again, with a fresh file that starts with its header.
            QVERIFY2(log.startsWith(QStringLiteral("\nVimo log file\nCreated: ")), qPrintable(log));
            QVERIFY(log.endsWith(QStringLiteral("\t::\tafter\n")));
            QVERIFY(!log.contains(QStringLiteral("before")));
            // So does the playlist, with its header again.
            QVERIFY2(playlist.startsWith(QStringLiteral("The playback started at ")), qPrintable(playlist));
            QVERIFY(playlist.endsWith(
                QStringLiteral("Songs that were selected randomly are marked with *\n\n") + secondLine));
            return;
        }
        const QString target = vimotest::childValue(output, record);
        QVERIFY(!target.isEmpty() && !isPlainFile(target));
        if (record == QLatin1String("log")) {
            QVERIFY2(
                errors.contains(QStringLiteral("Vimo: the log file \"%1\" is not written: ").arg(target)),
                qPrintable(errors));
            // The party goes on.
            QVERIFY(playlist.endsWith(secondLine));
        } else {
            QVERIFY2(log.contains(QStringLiteral("\t::\tThe playlist \"%1\" is not written: ").arg(target)),
                     qPrintable(log));
            QVERIFY(log.contains(QStringLiteral("\t::\tafter\n")));
            QVERIFY(errors.isEmpty());
        }
    }

    void linesFromManyThreadsStayWhole()
    {
        runFolder();
        const int threads = 8;
        const int linesPerThread = 1000;
        std::vector<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers.push_back(QThread::create([t]() {
                for (int i = 0; i < linesPerThread; ++i)
                    logMessage(QStringLiteral("worker %1 line %2 ").arg(t).arg(i) +
                               QString(40, QChar('x' + t)));
            }));
            workers.back()->start();
        }
        for (QThread* worker : workers) {
            QVERIFY(worker->wait(120000));
            delete worker;
        }
        const QStringList lines = vimotest::readTextFile(logFilePath()).split('\n');
        const QRegularExpression whole("^" + timeStamp + "\t::\tworker (\\d) line (\\d+) ([x-\\x7f]{40})$");
        std::vector<int> next(threads, 0);
        int matched = 0;
        for (const QString& line : lines) {
            if (!line.contains(QLatin1String("worker ")))
                continue;
            const QRegularExpressionMatch match = whole.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            const int t = match.captured(1).toInt();
            QCOMPARE(match.captured(3), QString(40, QChar('x' + t)));
            // Each thread's lines arrive in the order it wrote them.
            QCOMPARE(match.captured(2).toInt(), next[t]++);
            ++matched;
        }
        QCOMPARE(matched, threads * linesPerThread);
    }
};

VIMO_TEST_MAIN_WITH_CHILD(TestRunLog, child)
#include "tst_runlog.moc"
