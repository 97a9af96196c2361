// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// What a guest's phone may send, checked before anything else looks at it. Pure functions: a request that
// passes them is small, well-formed text; everything else is refused here.
namespace phones {

// Longest search text, song id, ticket and PIN a phone may send.
constexpr int maxSearchLength = 100;
constexpr int maxIdDigits = 7;
constexpr int maxPinLength = 16;
// The screen's comment line holds as many characters; a phone's comment gets the same room.
constexpr int maxCommentLength = 32767;
// A photo's bytes and the pixels its header may claim.
constexpr qint64 maxPhotoBytes = 15LL * 1024 * 1024;
constexpr qint64 maxPhotoPixels = 40'000'000;
// Every other body (a wish, a PIN) is tiny; the comment's bytes in UTF-8 at most four per character.
constexpr qint64 maxFormBytes = 4096;
constexpr qint64 maxCommentBytes = 4LL * maxCommentLength;

// A phone's token: 32 lower-case hexadecimal digits from the system's secure generator.
QByteArray newToken();
bool isToken(const QByteArray& text);
// The phone's token from a Cookie header ("" when it carries none that is well-formed).
QByteArray tokenFromCookie(const QByteArray& cookieHeader);
// The Set-Cookie value that gives a phone its token: not readable by scripts, never sent to other sites.
QByteArray tokenCookie(const QByteArray& token);

// A guest's short name in the log: six hexadecimal digits of a hash of its token, so the log tells one
// guest's doings apart without giving away the token.
QString guestTag(const QByteArray& token);

// A song id: decimal digits only, no sign, no leading zero but "0", at most maxIdDigits.
std::optional<int> songId(const QByteArray& text);
// Search text: valid UTF-8 of at most maxSearchLength characters; control characters become blanks and
// the text is trimmed and folded as the songs' keys are (foldedForSearch). Empty optional when refused.
std::optional<QString> searchText(const QByteArray& text);
// A genre chip's index: -1 (all genres) up to `chips` - 1; "" means all.
std::optional<int> genreIndex(const QByteArray& text, int chips);
// A comment: valid UTF-8 of at most maxCommentLength characters, line breaks and other control
// characters turned into blanks (the screen's line cannot hold them either).
std::optional<QString> commentText(const QByteArray& text);
// A PIN as typed: at most maxPinLength printable ASCII characters, compared in constant time.
bool pinMatches(const QByteArray& typed, const QString& pin);

// The time until the head song ends, as the page shows it: "m:ss".
QString minutesAndSeconds(int seconds);

// Allows each key (a phone's token, an address) `burstSize` events at once and one more every `refillMs`;
// remembers at most `keyLimit` keys, forgetting the fullest buckets first. Not thread-safe.
class RateLimiter
{
public:
    RateLimiter(int burstSize, qint64 refillMs, int keyLimit = 4096);
    bool allow(const QByteArray& key, qint64 nowMs);

private:
    struct Bucket
    {
        double tokens = 0;
        qint64 updatedMs = 0;
    };
    void refill(Bucket& bucket, qint64 nowMs) const;

    int burst;
    qint64 intervalMs;
    int maxKeys;
    QHash<QByteArray, Bucket> buckets;
};

} // namespace phones
