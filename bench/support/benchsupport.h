// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class QTextStream;

// What the benchmark programs share: their command lines, their figures line, and the measurements of
// the process and of MP3 files that do not belong to the program itself.
namespace vimobench {

QTextStream& out();
QTextStream& err();

// A command line of positional arguments and options; an option named in `valued` takes the next
// argument as its value, one named in `switches` stands alone. Anything else makes it invalid.
class Options
{
public:
    Options(const QStringList& arguments, const QStringList& valued, const QStringList& switches);

    bool isValid() const { return valid; }
    const QStringList& positional() const { return free; }
    bool has(const QString& name) const { return given.contains(name); }
    QString value(const QString& name) const { return given.value(name); }
    // The option's value as a number of at least `minimum`; `fallback` when the option is missing.
    // Clears `ok` when the value is not such a number.
    int number(const QString& name, int fallback, int minimum, bool& ok) const;
    double decimal(const QString& name, double fallback, bool& ok) const;

private:
    bool valid = true;
    QStringList free;
    QMap<QString, QString> given;
};

// Applies "--threads N" to the global thread pool; false for a value that is no positive number.
bool applyThreadOption(const Options& options);

// The figures of a run, printed as name=value pairs on one line, the program's last.
class Figures
{
public:
    void add(const QString& name, const QString& value);
    void add(const QString& name, qint64 value);
    void add(const QString& name, double value, int decimals);
    void print() const;

private:
    QStringList pairs;
};

// Resident memory of this process in bytes, and the CPU time it has used on all threads in seconds.
qint64 residentBytes();
double processCpuSeconds();
// The CPU time of each living thread of this process in seconds, by thread name (names that several
// threads share are summed).
QMap<QString, double> threadCpuSeconds();

double median(QVector<double> values);

// Playing time of the file as libmpg123 decodes it sample by sample (gapless: with the encoder's delay and
// padding removed where a LAME header names them), or FFmpeg a file of another format (judged by its
// content); negative when it cannot be decoded.
double decodedSeconds(const QString& path);

// How far the lengths a reader reported are from the decoded lengths, over the files of `reported`
// (path, seconds), decoded in parallel on the global thread pool.
struct LengthCheck
{
    int checked = 0;
    int undecodable = 0;
    int beyondTolerance = 0; // further off than 0.05 s
    double largestError = 0;
    double meanError = 0;
    QString worstFile;
    QMap<QString, double> largestErrorByFormat; // by the format's key ("mp3", "flac", …)
    void addTo(Figures& figures) const;
};
LengthCheck checkLengths(const QList<QPair<QString, double>>& reported);

// Points HOME and the XDG folders at a new temporary folder that lives as long as the process, so a run of
// the real window leaves the user's settings and pictures untouched. Call before the application exists.
QString isolateUserFolders();

// Answers every message box that opens modally from now on by pressing the button with `buttonText`, or
// its default button when it has none such, until stopAnsweringQuestions().
void answerQuestions(const QString& buttonText);
void stopAnsweringQuestions();

} // namespace vimobench
