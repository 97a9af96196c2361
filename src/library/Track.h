// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Foreigner.h"
#include "tags/TagInfo.h"

#include <QString>

// Where a song stands in the party: free to be wished, waiting in the queue, playing, or played.
enum class SongState { Free, Queued, Playing, Played };

// One MP3 file accepted by the library: its tags, the strings derived from them, its playback marks
// and its player. Made on a worker thread, then owned by the library on the GUI thread.
class Track
{
public:
    // Creates the player and reads the tags through it; isValid() tells whether the file is usable.
    Track(const QString& path, SyncProc endSyncProc, void* endSyncReceiver);
    // A song whose tags are known already (the song cache): takes ownership of `knownTags`.
    Track(const QString& path, TagInfo* knownTags, SyncProc endSyncProc, void* endSyncReceiver);
    ~Track();
    Track(const Track&) = delete;
    Track& operator=(const Track&) = delete;

    bool isValid() const { return valid; }
    QString filePath() const { return path; }
    Foreigner* player() const { return audio; }
    const TagInfo* tagInfo() const { return tags; }

    // Tag values; only meaningful on a valid track.
    QString title() const { return tags->title; }
    QString artist() const { return tags->artist; }
    QString album() const { return tags->album; }
    QString year() const { return tags->year; }
    QString comment() const { return tags->comment; }
    QString trackNumber() const { return tags->trackNumber; }
    const QString& genre() const { return tags->genre; }
    double seconds() const { return tags->seconds; }

    // The genre on one line, for tool tips.
    QString genreOneLine() const;
    // Artist, line break, title: the text of the song's cells, which share it.
    QString displayText() const { return display; }
    // Lower case of displayText(): the song's identity in the library.
    const QString& searchKey() const { return key; }
    // Genre, year, album, track and length, one per line: the cell's tool tip.
    QString details() const { return detailsText; }
    // "m:ss" of the whole seconds.
    QString lengthText() const;

    SongState state() const { return songState; }
    void setState(SongState newState) { songState = newState; }
    bool played() const { return songState == SongState::Played; }
    bool queued() const { return songState == SongState::Queued; }
    bool playing() const { return songState == SongState::Playing; }
    // The genreNumber() of the song's genre.
    int genreIndex() const { return genreNumbered; }
    bool inGenreFilter() const { return inGenreFilterMark; }
    void setInGenreFilter(bool on) { inGenreFilterMark = on; }
    // The song's place in the library grid at its last rebuild (SongCellIndex); -1 before any.
    int gridPlace() const { return place; }
    void setGridPlace(int newPlace) { place = newPlace; }

    QString photoFileName() const { return photo; }
    void setPhotoFileName(const QString& name) { photo = name; }
    bool commentAsked() const { return commentAskedMark; }
    void setCommentAsked(bool on) { commentAskedMark = on; }

private:
    void takeTags(TagInfo* read, const QString& filePath);
    QString detailsFromTags() const;

    QString path;
    QString photo;
    bool commentAskedMark = false;
    Foreigner* audio = nullptr;
    TagInfo* tags = nullptr;
    QString display;
    QString key;
    QString detailsText;
    SongState songState = SongState::Free;
    bool valid = false;
    bool inGenreFilterMark = false;
    int place = -1;
    int genreNumbered = -1;
};
