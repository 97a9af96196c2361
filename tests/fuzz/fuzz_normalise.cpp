// SPDX-License-Identifier: GPL-3.0-or-later
// Genre and track-number normalisation on arbitrary text: a genre with a number is the table's label for
// it (empty for numbers the table lacks, however long), and a track number is always a decimal integer.
//
// Input: one byte that picks how the rest becomes text (UTF-8, Latin-1 or UTF-16), then the text's bytes.
#include "fuzzsupport.h"
#include "tags/genres.h"

#include <QRegularExpression>

namespace {

QString textOf(const uint8_t* data, size_t size)
{
    if (size == 0)
        return QString();
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const int length = int(size - 1);
    switch (data[0] % 3) {
    case 0:
        return QString::fromUtf8(bytes, length);
    case 1:
        return QString::fromLatin1(bytes, length);
    default: {
        const QByteArray aligned(bytes, length); // the bytes behind the selector are not 2-aligned
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(aligned.constData()), length / 2);
    }
    }
}

// The genre number the text names: its first run of ASCII digits, or -1 without one, or a number past
// the table (1000) for any longer run.
int namedGenreNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    const QRegularExpressionMatch match = digits.match(text);
    if (!match.hasMatch())
        return -1;
    const QString number = match.captured(0);
    QString significant = number;
    significant.remove(QRegularExpression(QStringLiteral("^0+")));
    return significant.size() > 3 ? 1000 : number.toInt();
}

// Whether every letter of `genre` comes from `text`, apart from the n of the "'n'" that replaces "&".
bool lettersFrom(const QString& genre, const QString& text)
{
    for (const QChar c : genre) {
        if (c.isLetter() && c != QLatin1Char('n') && !text.contains(c))
            return false;
    }
    return !genre.isEmpty() || text.isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    vimofuzz::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = textOf(data, size);

    const QString genre = normalisedGenre(text);
    const int number = namedGenreNumber(text);
    if (number >= 0)
        vimofuzz::check(genre == genreName(number), "a number names its label");
    else
        vimofuzz::check(lettersFrom(genre, text), "a text without a number keeps its own letters");

    static const QRegularExpression integer(QStringLiteral("^-?[0-9]+$"));
    const QString track = normalisedTrackNumber(text);
    vimofuzz::check(integer.match(track).hasMatch(), "a decimal track number");
    vimofuzz::check(track == QString::number(track.toInt()), "a track number without leading zeros");
    return 0;
}
