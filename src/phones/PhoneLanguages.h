// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QTranslator;

// The languages the phones' page speaks: each phone its own, from its browser's Accept-Language, through
// the program's own translation files; the host's language for a phone that asks for none of them.
// Read-only after construction, so the server's threads share it.
class PhoneLanguages
{
public:
    // Loads the German translation as the program's start-up does (the working folder, then the
    // program's translation folders).
    PhoneLanguages();
    ~PhoneLanguages();

    // "de", "en", or "" for the host's language, the first of the header's choices by weight that the page
    // speaks.
    QString choose(const QByteArray& acceptLanguage) const;
    // `source` of `context` in `language` (as choose() names it).
    QString translate(const QString& language, const char* context, const char* source) const;

private:
    std::unique_ptr<QTranslator> german;
};
