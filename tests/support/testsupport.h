// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace vimotest {

// Points HOME and the XDG folders at a fresh temporary folder, so settings, the pictures location and
// the run folder of a test never touch the user's own. Must run before the application object exists.
QString isolateUserDirectories();
QString homeDirectory();
// Points HOME and the XDG config, data and cache folders below `home` (a child process's own home).
void useHome(const QString& home);

// All bytes of a file ("" when missing).
QByteArray fileBytes(const QString& path);

// The folder with the generated MP3 fixtures, and the source tree.
QString fixturesDirectory();
QString sourceDirectory();
QString binaryDirectory();
// The committed inputs of the fuzzer `target` (tests/fuzz/corpus/<target>), as full paths.
QStringList fuzzCorpus(const QString& target);

// Whole text of a file, read as UTF-8 ("" when missing).
QString readTextFile(const QString& path);

// Runs this test binary again with "--child" and `arguments`, so a scenario that needs a fresh process
// (first log call, a second run in the same minute) gets one. Returns the child's exit code; its standard
// output goes to `output` when given.
int runChild(const QStringList& arguments, QString* output = nullptr, int timeoutMs = 60000);

// The value of the line "key: value" that a child wrote to its standard output, or "".
QString childValue(const QString& output, const QString& key);

// The active modal widget, or else the host PIN prompt while it is shown (it is not modal), or null.
QWidget* modalOrPrompt();

// Answers the next modal dialog (or the host PIN prompt) when it appears: `answer` receives it.
// Polls from a timer on the GUI thread, so it works for dialogs opened by exec() inside the code under test.
void whenModalAppears(const std::function<void(QWidget*)>& answer, int timeoutMs = 10000);

// Counts a signal that may be emitted on any thread (a song's end comes from an audio thread). It is
// counted on the thread that made the counter, and after the receivers connected before it have had
// theirs: a spy would record on the emitting thread while the test reads it.
class SignalCounter : public QObject
{
public:
    template <typename Sender, typename Signal> SignalCounter(const Sender* sender, Signal signal)
    {
        QObject::connect(
            sender, signal, this, [this] { ++counted; }, Qt::QueuedConnection);
    }
    int count() const { return counted; }

private:
    int counted = 0;
};

// Runs QtTest on `test`, or `child` when the first argument is "--child".
int testMain(int argc, char** argv, QObject* test, const std::function<int(const QStringList&)>& child);

} // namespace vimotest

// A QtTest main with isolated user folders and an application object.
#define VIMO_TEST_MAIN_WITH_CHILD(TestClass, childFunction)                                                  \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        vimotest::isolateUserDirectories();                                                                  \
        QApplication application(argc, argv);                                                                \
        TestClass test;                                                                                      \
        return vimotest::testMain(argc, argv, &test, childFunction);                                         \
    }
#define VIMO_TEST_MAIN(TestClass) VIMO_TEST_MAIN_WITH_CHILD(TestClass, nullptr)
