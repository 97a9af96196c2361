// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>
#include <vector>

// What the phone server may know of the party: copies the GUI thread makes and never changes after
// publishing them, so the server's threads read them without touching a song or the queue.

enum class PhoneSongState : quint8 { Free, Waiting, Playing, Played };

struct PhoneSong
{
    QString artist;
    QString title;
    QString key;    // the library's search key: lower-case artist, line break, lower-case title
    QString folded; // the key as a search compares it (foldedForSearch), made once per song
    int genre = -1; // the index of its genre chip; -1 when no chip but "All genres" shows it
};

// The songs by id (ids never change during a run; new songs get the next ones), their order by search key
// and the labels of the genre chips.
struct PhoneLibrary
{
    std::vector<PhoneSong> songs;
    std::vector<int> byKey;
    QStringList chips;
};

struct PhoneSnapshot
{
    std::shared_ptr<const PhoneLibrary> library = std::make_shared<PhoneLibrary>();
    std::vector<PhoneSongState> states; // by song id
    QByteArray queueJson = "{}";        // the queue as the page shows it
    QByteArray coverJpeg;               // the playing song's cover, our own JPEG; empty: none
    quint64 version = 0;                // counts the publications
};
