#include "windowsupport.h"

#include "mainwindowimpl.h"
#include "runlog.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

namespace vimotest {

std::unique_ptr<MainWindow> openMainWindow()
{
    whenModalAppears([](QWidget* modal) {
        if (auto* question = qobject_cast<QMessageBox*>(modal))
            question->button(QMessageBox::No)->click();
    });
    auto window = std::make_unique<MainWindow>();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("main window did not become active");
    return window;
}

std::unique_ptr<MainWindow> openMainWindowWithSongs(const QString& folder)
{
    auto window = openMainWindow();
    const LogMark mark;
    window->addFolder(QDir(folder));
    if (!mark.waitForJobEnds())
        qWarning("the songs of %s did not arrive", qPrintable(folder));
    // Lets the layout place the genre buttons and the pause button that the job's end has shown.
    QApplication::processEvents();
    return window;
}

namespace {
QByteArray logBytes()
{
    QFile log(logFilePath());
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}
} // namespace

LogMark::LogMark() : offset(logBytes().size()) {}

QString LogMark::text() const
{
    return QString::fromUtf8(logBytes().mid(offset));
}

QStringList LogMark::messages() const
{
    static const QString separator = QStringLiteral("\t::\t");
    QStringList found;
    for (const QString& line : text().split(QLatin1Char('\n'))) {
        const int at = line.indexOf(separator);
        if (at >= 0)
            found << line.mid(at + separator.size());
    }
    return found;
}

bool LogMark::waitForJobEnds(int count, int timeoutMs) const
{
    return QTest::qWaitFor(
        [this, count]() {
            return messages()
                       .filter(QRegularExpression(QStringLiteral("^Adding of files has (finished|been "
                                                                 "cancelled by the user)\\.$")))
                       .size() >= count;
        },
        timeoutMs);
}

PoolGate::PoolGate()
    : gate(std::make_shared<QSemaphore>()), threads(QThreadPool::globalInstance()->maxThreadCount())
{
    auto started = std::make_shared<QSemaphore>();
    for (int thread = 0; thread < threads; ++thread)
        QThreadPool::globalInstance()->start([gate = gate, started]() {
            started->release();
            gate->acquire();
        });
    started->acquire(threads);
}

PoolGate::~PoolGate()
{
    open();
}

void PoolGate::open()
{
    if (opened)
        return;
    opened = true;
    gate->release(threads);
}

} // namespace vimotest
