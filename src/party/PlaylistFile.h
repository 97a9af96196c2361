// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>

class QFile;

// The run's playlist protocol: a header when the playback starts, a numbered line for each song that
// starts, and notices between them. Written as a plain file only, and opened anew whenever something else
// has taken its name, so that nothing else is ever written to. Lives on the GUI thread.
class PlaylistFile
{
public:
    // "Vimo Playlist yyyy_MM_dd--hh_mm.txt" in the run's folder: two runs in the same minute share one.
    static QString pathForRun();

    explicit PlaylistFile(QString path);
    ~PlaylistFile();
    PlaylistFile(const PlaylistFile&) = delete;
    PlaylistFile& operator=(const PlaylistFile&) = delete;

    const QString& path() const { return name; }
    int lineCount() const { return lineCounter; }

    void writeHeader();
    // The next numbered line: "  7: " + marker + "Artist - Title", each text on one line.
    void writeLine(const QString& marker, const QString& artist, const QString& title);
    // A line "\n < text > \n\n".
    void writeNotice(const QString& text);

private:
    void write(const QString& text);

    QString name;
    std::unique_ptr<QFile> file;
    // Written again at the top of a file made afresh, when the run folder was deleted during the party.
    QString header;
    int lineCounter = 0;
};
