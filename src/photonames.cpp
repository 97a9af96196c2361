#include "photonames.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

QString paddedNumber(int value, bool zeroFill)
{
    return QStringLiteral("%1").arg(value, 3, 10, zeroFill ? QLatin1Char('0') : QLatin1Char(' '));
}

void removeUnsafeFileNameCharacters(QString& name)
{
    static const QRegularExpression unsafe(QStringLiteral(R"([\\/:"*?<>|]+)"));
    name.remove(unsafe);
}

QString portraitFileName(const QDateTime& takenAt, int counter, const QString& artist, const QString& title,
                         bool random)
{
    const QString separator = QStringLiteral(" - ");
    QString name = QStringList{takenAt.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")),
                               paddedNumber(counter, false), artist, title}
                       .join(separator);
    if (random)
        name += separator + QStringLiteral("(random)");
    name += QStringLiteral(".jpg");
    removeUnsafeFileNameCharacters(name);
    return name;
}
