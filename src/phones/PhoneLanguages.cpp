// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/PhoneLanguages.h"

#include "base/appidentity.h"

#include <QCoreApplication>
#include <QList>
#include <QTranslator>

#include <algorithm>

PhoneLanguages::PhoneLanguages() : german(std::make_unique<QTranslator>())
{
    const QString fileName = QStringLiteral("vimo_de");
    bool loaded = german->load(fileName);
    for (const QString& folder : translationFolders()) {
        if (loaded)
            break;
        loaded = german->load(fileName, folder);
    }
    if (!loaded)
        german.reset();
}

PhoneLanguages::~PhoneLanguages() = default;

QString PhoneLanguages::choose(const QByteArray& acceptLanguage) const
{
    struct Choice
    {
        QString language;
        double weight = 1.0;
    };
    QList<Choice> choices;
    const QList<QByteArray> entries = acceptLanguage.split(',');
    for (const QByteArray& entry : entries) {
        const QList<QByteArray> parts = entry.split(';');
        const QString tag = QString::fromLatin1(parts.first().trimmed()).toLower();
        const QString primary = tag.section(QLatin1Char('-'), 0, 0);
        double weight = 1.0;
        for (int index = 1; index < parts.size(); ++index) {
            const QByteArray parameter = parts.at(index).trimmed();
            if (parameter.startsWith("q="))
                weight = parameter.mid(2).toDouble();
        }
        if (weight > 0 && (primary == QLatin1String("en") || (primary == QLatin1String("de") && german)))
            choices << Choice{primary, weight};
    }
    // The order of equal weights is the browser's order of preference.
    std::stable_sort(choices.begin(), choices.end(),
                     [](const Choice& a, const Choice& b) { return a.weight > b.weight; });
    return choices.isEmpty() ? QString() : choices.first().language;
}

QString PhoneLanguages::translate(const QString& language, const char* context, const char* source) const
{
    if (language == QLatin1String("en"))
        return QString::fromUtf8(source);
    if (language == QLatin1String("de") && german) {
        const QString translated = german->translate(context, source);
        return translated.isEmpty() ? QString::fromUtf8(source) : translated;
    }
    return QCoreApplication::translate(context, source);
}
