// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/phonerequests.h"

#include "base/textfold.h"

#include <QCryptographicHash>
#include <QList>
#include <QRandomGenerator>
#include <QTextCodec>

#include <algorithm>

namespace phones {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Decodes UTF-8 strictly: a phone that sends broken bytes gets a refusal, not replacement characters.
std::optional<QString> strictUtf8(const QByteArray& bytes)
{
    QTextCodec* codec = QTextCodec::codecForName("UTF-8");
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    const QString text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0 || text.contains(QChar(0)))
        return std::nullopt;
    return text;
}

// Control characters (C0, DEL, C1) and the line and paragraph separators become blanks.
QString blankControls(QString text)
{
    for (QChar& c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

QByteArray newToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

bool isToken(const QByteArray& text)
{
    return text.size() == 32 && std::all_of(text.begin(), text.end(), isHexDigit);
}

QByteArray tokenFromCookie(const QByteArray& cookieHeader)
{
    if (cookieHeader.size() > 4096)
        return QByteArray();
    for (const QByteArray& part : cookieHeader.split(';')) {
        const QByteArray pair = part.trimmed();
        if (pair.startsWith("vimo_phone=")) {
            const QByteArray value = pair.mid(11);
            if (isToken(value))
                return value;
        }
    }
    return QByteArray();
}

QByteArray tokenCookie(const QByteArray& token)
{
    return "vimo_phone=" + token + "; Path=/; Max-Age=86400; HttpOnly; SameSite=Strict";
}

std::optional<int> songId(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > maxIdDigits || (text.size() > 1 && text.startsWith('0')))
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

QString guestTag(const QByteArray& token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token, QCryptographicHash::Sha256).toHex().left(6));
}

std::optional<QString> searchText(const QByteArray& text)
{
    if (text.size() > 4 * maxSearchLength)
        return std::nullopt;
    const std::optional<QString> decoded = strictUtf8(text);
    if (!decoded || decoded->size() > maxSearchLength)
        return std::nullopt;
    return foldedForSearch(blankControls(*decoded).trimmed());
}

std::optional<int> genreIndex(const QByteArray& text, int chips)
{
    if (text.isEmpty())
        return -1;
    if (text == "-1")
        return -1;
    const std::optional<int> index = songId(text);
    if (!index || *index >= chips)
        return std::nullopt;
    return index;
}

std::optional<QString> commentText(const QByteArray& text)
{
    if (text.size() > maxCommentBytes)
        return std::nullopt;
    const std::optional<QString> decoded = strictUtf8(text);
    if (!decoded || decoded->size() > maxCommentLength)
        return std::nullopt;
    return blankControls(*decoded);
}

bool pinMatches(const QByteArray& typed, const QString& pin)
{
    const QByteArray expected = pin.toUtf8();
    if (typed.size() > maxPinLength || expected.isEmpty())
        return false;
    // Every byte is looked at whatever the first difference, so the answer's time tells nothing.
    int difference = typed.size() ^ expected.size();
    for (int index = 0; index < maxPinLength; ++index) {
        const char a = index < typed.size() ? typed.at(index) : '\0';
        const char b = index < expected.size() ? expected.at(index) : '\0';
        difference |= a ^ b;
    }
    return difference == 0;
}

QString minutesAndSeconds(int seconds)
{
    seconds = std::max(0, seconds);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

RateLimiter::RateLimiter(int burstSize, qint64 refillMs, int keyLimit)
    : burst(std::max(1, burstSize)), intervalMs(std::max<qint64>(1, refillMs)), maxKeys(std::max(1, keyLimit))
{}

void RateLimiter::refill(Bucket& bucket, qint64 nowMs) const
{
    const qint64 passed = std::max<qint64>(0, nowMs - bucket.updatedMs);
    bucket.tokens = std::min<double>(burst, bucket.tokens + static_cast<double>(passed) /
                                                                static_cast<double>(intervalMs));
    bucket.updatedMs = nowMs;
}

bool RateLimiter::allow(const QByteArray& key, qint64 nowMs)
{
    auto found = buckets.find(key);
    if (found == buckets.end()) {
        if (buckets.size() >= maxKeys) {
            // Keys whose buckets have filled up again know nothing worth keeping.
            for (auto it = buckets.begin(); it != buckets.end();) {
                refill(it.value(), nowMs);
                it = it.value().tokens >= burst ? buckets.erase(it) : std::next(it);
            }
            if (buckets.size() >= maxKeys)
                return false;
        }
        found = buckets.insert(key, Bucket{double(burst), nowMs});
    }
    refill(found.value(), nowMs);
    if (found.value().tokens < 1)
        return false;
    found.value().tokens -= 1;
    return true;
}

} // namespace phones
