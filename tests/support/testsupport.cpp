// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace vimotest {

namespace {
QString& home()
{
    static QString path;
    return path;
}
} // namespace

QString isolateUserDirectories()
{
    // A child process of a test shares its parent's folders.
    static QTemporaryDir directory(QDir::tempPath() + QStringLiteral("/vimo-test-XXXXXX"));
    const QByteArray inherited = qgetenv("VIMO_TEST_HOME");
    home() = inherited.isEmpty() ? directory.path() : QFile::decodeName(inherited);
    qputenv("VIMO_TEST_HOME", QFile::encodeName(home()));
    useHome(home());
    qunsetenv("XDG_PICTURES_DIR");
    return home();
}

void useHome(const QString& home)
{
    const QByteArray path = QFile::encodeName(home);
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString homeDirectory()
{
    return home();
}

QString fixturesDirectory()
{
    return QString::fromLocal8Bit(qgetenv("VIMO_FIXTURES"));
}

QString sourceDirectory()
{
    return QString::fromLocal8Bit(qgetenv("VIMO_SOURCE_DIR"));
}

QStringList fuzzCorpus(const QString& target)
{
    const QDir corpus(sourceDirectory() + QStringLiteral("/tests/fuzz/corpus/") + target);
    QStringList paths;
    for (const QString& name : corpus.entryList(QDir::Files))
        paths << corpus.filePath(name);
    return paths;
}

QString binaryDirectory()
{
    return QString::fromLocal8Bit(qgetenv("VIMO_BINARY_DIR"));
}

QString readTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

int runChild(const QStringList& arguments, QString* output, int timeoutMs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + arguments);
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromUtf8(child.readAllStandardOutput());
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

QString childValue(const QString& output, const QString& key)
{
    for (const QString& line : output.split(QLatin1Char('\n')))
        if (line.startsWith(key + QStringLiteral(": ")))
            return line.mid(key.size() + 2);
    return QString();
}

QWidget* modalOrPrompt()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    // The host PIN prompt leaves the window usable, but it still waits for an answer.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && qobject_cast<QInputDialog*>(window))
            return window;
    return nullptr;
}

void whenModalAppears(const std::function<void(QWidget*)>& answer, int timeoutMs)
{
    auto* timer = new QTimer(qApp);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, deadline]() {
        if (QWidget* modal = modalOrPrompt()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

int testMain(int argc, char** argv, QObject* test, const std::function<int(const QStringList&)>& child)
{
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("--child") && child)
        return child(arguments.mid(2));
    return QTest::qExec(test, argc, argv);
}

} // namespace vimotest
