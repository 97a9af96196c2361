// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/genres.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringList>

namespace {

const char* const genreLabels[] = {"Blues",
                                   "Classic\nRock",
                                   "Country",
                                   "Dance",
                                   "Disco",
                                   "Funk",
                                   "Grunge",
                                   "Hip-Hop",
                                   "Jazz",
                                   "Metal",
                                   "New Age",
                                   "Oldies",
                                   "Other",
                                   "Pop",
                                   "R'n'B",
                                   "Rap",
                                   "Reggae",
                                   "Rock",
                                   "Techno",
                                   "Industrial",
                                   "Alternative",
                                   "Ska",
                                   "Death Metal",
                                   "Pranks",
                                   "Soundtrack",
                                   "Euro-Techno",
                                   "Ambient",
                                   "Trip-Hop",
                                   "Vocal",
                                   "Jazz+Funk",
                                   "Fusion",
                                   "Trance",
                                   "Classical",
                                   "Instrumental",
                                   "Acid",
                                   "House",
                                   "Game",
                                   "Sound Clip",
                                   "Gospel",
                                   "Noise",
                                   "AlternRock",
                                   "Bass",
                                   "Soul",
                                   "Punk",
                                   "Space",
                                   "Meditative",
                                   "Instrumental\nPop",
                                   "Instrumental\nRock",
                                   "Ethnic",
                                   "Gothic",
                                   "Darkwave",
                                   "Techno-\nIndustrial",
                                   "Electronic",
                                   "Pop-Folk",
                                   "Eurodance",
                                   "Dream",
                                   "Southern\nRock",
                                   "Comedy",
                                   "Cult",
                                   "Gangsta",
                                   "Top 40",
                                   "Christian\nRap",
                                   "Pop/Funk",
                                   "Jungle",
                                   "Native\nAmerican",
                                   "Cabaret",
                                   "New Wave",
                                   "Psychadelic",
                                   "Rave",
                                   "Showtunes",
                                   "Trailer",
                                   "Lo-Fi",
                                   "Tribal",
                                   "Acid Punk",
                                   "Acid Jazz",
                                   "Polka",
                                   "Retro",
                                   "Musical",
                                   "Rock\n'n'\nRoll",
                                   "Hard Rock",
                                   "Folk",
                                   "Folk-Rock",
                                   "National Folk",
                                   "Swing",
                                   "Fast Fusion",
                                   "Bebob",
                                   "Latin",
                                   "Revival",
                                   "Celtic",
                                   "Bluegrass",
                                   "Avantgarde",
                                   "Gothic Rock",
                                   "Progressive\nRock",
                                   "Psychedelic\nRock",
                                   "Symphonic Rock",
                                   "Slow Rock",
                                   "Big Band",
                                   "Chorus",
                                   "Easy\nListening",
                                   "Acoustic",
                                   "Humour",
                                   "Speech",
                                   "Chanson",
                                   "Opera",
                                   "Chamber\nMusic",
                                   "Sonata",
                                   "Symphony",
                                   "Booty Bass",
                                   "Primus",
                                   "Porn Groove",
                                   "Satire",
                                   "Slow Jam",
                                   "Club",
                                   "Tango",
                                   "Samba",
                                   "Folklore",
                                   "Ballad",
                                   "Power\nBallad",
                                   "Rhythmic\nSoul",
                                   "Freestyle",
                                   "Duet",
                                   "Punk Rock",
                                   "Drum Solo",
                                   "A capella",
                                   "Euro-House",
                                   "Dance Hall",
                                   "Goa",
                                   "Drum\n'n'\nBass",
                                   "Club-House",
                                   "Hardcore",
                                   "Terror",
                                   "Indie",
                                   "Britpop",
                                   "",
                                   "",
                                   "Beat",
                                   "Christian\nGangsta\nRap",
                                   "Heavy Metal",
                                   "Black Metal",
                                   "Crossover",
                                   "Contemporary\nChristian",
                                   "Christian Rock",
                                   "Merengue",
                                   "Salsa",
                                   "Trash Metal",
                                   "Anime",
                                   "JPop",
                                   "Synthpop"};

constexpr int genreCount = int(sizeof(genreLabels) / sizeof(genreLabels[0]));
static_assert(genreCount == 148, "ID3v1 genres run from 0 to 147");

// Genre texts without a number become button labels: long names break into lines, "&" reads "'n'".
const char* const genreReplacements[][2] = {{"Classic Rock", "Classic\nRock"},
                                            {"Instrumental Pop", "Instrumental\nPop"},
                                            {"Instrumental Rock", "Instrumental\nRock"},
                                            {"Techno-Industrial", "Techno-\nIndustrial"},
                                            {"Southern Rock", "Southern\nRock"},
                                            {"Christian Rap", "Christian\nRap"},
                                            {"Native American", "Native\nAmerican"},
                                            {"Rock 'n' Roll", "Rock\n'n'\nRoll"},
                                            {"Progressive Rock", "Progressive\nRock"},
                                            {"Psychedelic Rock", "Psychedelic\nRock"},
                                            {"Power Ballad", "Power\nBallad"},
                                            {"Rhythmic Soul", "Rhythmic\nSoul"},
                                            {"Drum 'n' Bass", "Drum\n'n'\nBass"},
                                            {"Christian Gangsta Rap", "Christian\nGangsta\nRap"},
                                            {"Contemporary Christian", "Contemporary\nChristian"},
                                            {"Alternative 'n' Punk", "Alternative\n'n'\nPunk"},
                                            {"Books 'n' Spoken", "Books\n'n'\nSpoken"},
                                            {"Hip Hop/Rap", "Hip-Hop"},
                                            {"Hip Hop", "Hip-Hop"}};

} // namespace

QString genreName(int number)
{
    return number >= 0 && number < genreCount ? QString::fromLatin1(genreLabels[number]) : QString();
}

QString normalisedGenre(const QString& text)
{
    // Only ASCII digits make a number, and one too long for an int names no genre: either would
    // otherwise read as 0, "Blues".
    static const QRegularExpression digits(QStringLiteral("([0-9]+)"));
    const QRegularExpressionMatch match = digits.match(text);
    if (match.hasMatch()) {
        bool isNumber = false;
        const int number = match.captured(1).toInt(&isNumber);
        return isNumber ? genreName(number) : QString();
    }
    QString genre = text;
    genre.replace(QLatin1Char('&'), QStringLiteral("'n'"));
    if (genre.size() > 12)
        genre.replace(QLatin1Char('/'), QStringLiteral("/\n"));
    for (const auto& replacement : genreReplacements)
        genre.replace(QLatin1String(replacement[0]), QLatin1String(replacement[1]));
    return genre;
}

QString normalisedTrackNumber(const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return QString::number(parts.isEmpty() ? 0 : parts.first().toInt());
}

int genreNumber(const QString& genre)
{
    static QMutex mutex;
    static QHash<QString, int> numbers;
    QMutexLocker lock(&mutex);
    const auto found = numbers.constFind(genre);
    if (found != numbers.constEnd())
        return found.value();
    const int number = numbers.size();
    numbers.insert(genre, number);
    return number;
}
