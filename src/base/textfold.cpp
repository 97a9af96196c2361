// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/textfold.h"

namespace {

// Letters whose decomposition keeps them whole, spelled as they are typed without them.
const char* plainSpelling(char16_t letter)
{
    switch (letter) {
    case u'ø':
        return "o";
    case u'æ':
        return "ae";
    case u'œ':
        return "oe";
    case u'ß':
        return "ss";
    case u'ł':
        return "l";
    case u'đ':
    case u'ð':
        return "d";
    case u'þ':
        return "th";
    case u'ı':
        return "i";
    case u'ħ':
        return "h";
    default:
        return nullptr;
    }
}

} // namespace

QString foldedForSearch(const QString& text)
{
    // Case is folded first, so the table above needs only the small letters; folding once more at the end
    // catches capitals that the decomposition itself brought out.
    const QString decomposed = text.toCaseFolded().normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar character : decomposed) {
        const QChar::Category category = character.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
            category == QChar::Mark_Enclosing)
            continue;
        if (const char* spelling = plainSpelling(character.unicode()))
            folded += QLatin1String(spelling);
        else
            folded += character;
    }
    return folded.toCaseFolded();
}
