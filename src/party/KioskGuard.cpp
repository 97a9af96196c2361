// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/KioskGuard.h"

#include "base/runlog.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QList>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSettings>

namespace {
const QString pinKey = QStringLiteral("Party/PIN");
const QByteArray scheme = QByteArrayLiteral("pbkdf2-sha256");
// Enough to make a copied settings file slow to guess from, little enough for a prompt to answer at once.
const int iterations = 20000;
const int hashBytes = 32;
const int saltBytes = 16;

QByteArray derive(const QString& pin, const QByteArray& salt, int rounds)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, pin.toUtf8(), salt, rounds,
                                              hashBytes);
}

// Compares every byte whatever the first difference, so the time taken tells nothing of the hash.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (int i = 0; i < a.size(); ++i)
        difference = static_cast<unsigned char>(difference | (a.at(i) ^ b.at(i)));
    return difference == 0;
}

QString guardText(const char* text)
{
    return QCoreApplication::translate("KioskGuard", text);
}
} // namespace

KioskGuard::KioskGuard(QSettings* store) : settings(store)
{
    if (settings)
        pinRecord = settings->value(pinKey).toByteArray();
}

QByteArray KioskGuard::pinRecordFor(const QString& pin, const QByteArray& salt)
{
    return scheme + '$' + QByteArray::number(iterations) + '$' + salt.toBase64() + '$' +
           derive(pin, salt, iterations).toBase64();
}

bool KioskGuard::setPin(const QString& pin)
{
    if (pin.size() < shortestPin)
        return false;
    QByteArray salt(saltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), saltBytes / 4);
    pinRecord = pinRecordFor(pin, salt);
    if (settings) {
        settings->setValue(pinKey, pinRecord);
        settings->sync();
    }
    logMessage(guardText(QT_TRANSLATE_NOOP("KioskGuard", "A new host PIN was set.")));
    return true;
}

bool KioskGuard::matches(const QString& pin) const
{
    const QList<QByteArray> parts = pinRecord.split('$');
    if (parts.size() != 4 || parts.at(0) != scheme)
        return false;
    const int rounds = parts.at(1).toInt();
    const QByteArray expected = QByteArray::fromBase64(parts.at(3));
    if (rounds <= 0 || expected.size() != hashBytes)
        return false;
    return sameBytes(derive(pin, QByteArray::fromBase64(parts.at(2)), rounds), expected);
}

KioskGuard::Answer KioskGuard::check(const QString& pin, qint64 nowMs)
{
    if (locked(nowMs))
        return Answer::Locked;
    if (matches(pin))
        return Answer::Accepted;
    wrongTimes.push_back(nowMs);
    while (!wrongTimes.empty() && nowMs - wrongTimes.front() >= lockMilliseconds)
        wrongTimes.pop_front();
    logMessage(guardText(QT_TRANSLATE_NOOP("KioskGuard", "A wrong host PIN was entered.")));
    if (int(wrongTimes.size()) >= wrongPinsBeforeLock) {
        wrongTimes.clear();
        lockedUntil = nowMs + lockMilliseconds;
        logMessage(guardText(QT_TRANSLATE_NOOP(
            "KioskGuard", "Five wrong host PINs within a minute: the PIN prompt is locked for a minute.")));
    }
    return Answer::Wrong;
}
