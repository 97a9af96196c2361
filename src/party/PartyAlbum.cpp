// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/PartyAlbum.h"

#include "base/runlog.h"
#include "camera/photocomment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace {

const QString pageName = QStringLiteral("index.html");
// A browser starts loading these at once; the photos further down wait until they are scrolled to,
// so a night of a few hundred full-size portraits still opens quickly.
const int eagerPhotos = 12;

// The page's texts, translated in the context "PartyAlbum" (pool threads may translate).
struct AlbumText
{
    Q_DECLARE_TR_FUNCTIONS(PartyAlbum)
};

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// A path relative to the page, each part percent-encoded, so blanks, '#', '?' and '%' in song names
// cannot end the link early.
QString encodedLink(const QString& folder, const QString& fileName)
{
    QStringList parts = QDir::fromNativeSeparators(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.append(fileName);
    QStringList encoded;
    for (const QString& part : parts)
        encoded.append(QString::fromLatin1(QUrl::toPercentEncoding(part)));
    return encoded.join(QLatin1Char('/'));
}

const char* const pageStyle = R"(
body { margin: 0; background: #101018; color: #f0f0f0; font-family: "DejaVu Sans", Arial, sans-serif; }
header { padding: 20px 32px; background: linear-gradient(90deg, #261e70, #4a38f9); }
h1 { margin: 0; font-size: 30px; }
header p { margin: 6px 0 0; font-size: 16px; }
main { display: flex; flex-wrap: wrap; gap: 24px; padding: 24px 32px; }
article { width: 340px; background: #ffffff; color: #000000; border-radius: 8px; overflow: hidden; }
.photo, .nophoto { display: block; width: 100%; aspect-ratio: 5 / 4; object-fit: contain; background: #000000; }
.nophoto { display: flex; align-items: center; justify-content: center; background: #3a3a48; color: #d8d8e0;
  font-size: 20px; }
.text { padding: 10px 14px 14px; }
.when { margin: 0; font-size: 14px; color: #505060; }
.pick { margin-left: 8px; padding: 1px 6px; border-radius: 4px; background: #e0e0ea; }
.song { margin: 6px 0 0; font-size: 18px; }
.artist { font-weight: bold; }
.comment { margin: 10px 0 0; padding: 8px 12px; border-radius: 6px; background: #ffe97a; color: #000000;
  font-size: 18px; font-style: italic; }
.empty { padding: 24px 32px; font-size: 20px; }
)";

QString entryHtml(const AlbumEntry& entry, const QString& photoFolder, bool eager)
{
    const QString song = escaped(entry.artist) + QStringLiteral(" – ") + escaped(entry.title);
    QString html = QStringLiteral("<article class=\"portrait\">\n");
    if (entry.photoExists)
        html += QStringLiteral("<img class=\"photo\" src=\"%1\" alt=\"%2\"%3>\n")
                    .arg(encodedLink(photoFolder, entry.fileName), song,
                         eager ? QString() : QStringLiteral(" loading=\"lazy\""));
    else
        html += QStringLiteral("<div class=\"nophoto\">%1</div>\n").arg(escaped(AlbumText::tr("No photo")));
    html += QStringLiteral("<div class=\"text\">\n<p class=\"when\"><time datetime=\"%1\">%2</time> %3")
                .arg(entry.takenAt.toString(Qt::ISODate), entry.takenAt.toString(QStringLiteral("hh:mm:ss")),
                     entry.takenAt.toString(QStringLiteral("yyyy-MM-dd")));
    if (entry.random)
        html += QStringLiteral("<span class=\"pick\">%1</span>").arg(escaped(AlbumText::tr("random pick")));
    html += QStringLiteral("</p>\n<p class=\"song\"><span class=\"artist\">%1</span> – "
                           "<span class=\"title\">%2</span></p>\n")
                .arg(escaped(entry.artist), escaped(entry.title));
    if (!entry.comment.isEmpty())
        html += QStringLiteral("<blockquote class=\"comment\">%1</blockquote>\n").arg(escaped(entry.comment));
    return html + QStringLiteral("</div>\n</article>\n");
}

bool newerFirst(const AlbumEntry& a, const AlbumEntry& b)
{
    if (a.takenAt != b.takenAt)
        return a.takenAt > b.takenAt;
    if (a.counter != b.counter)
        return a.counter > b.counter;
    return a.fileName > b.fileName;
}

} // namespace

QString partyAlbumHtml(const QList<AlbumEntry>& entries, const QString& photoFolder, const QString& heading)
{
    const QString title = AlbumText::tr("Vimo party album");
    QString html = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                                  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                                  // A browser left open on a second screen follows the party.
                                  "<meta http-equiv=\"refresh\" content=\"60\">\n");
    html += QStringLiteral("<title>%1 – %2</title>\n<style>%3</style>\n</head>\n<body>\n")
                .arg(escaped(title), escaped(heading), QString::fromLatin1(pageStyle));
    html += QStringLiteral("<header>\n<h1>%1</h1>\n<p>%2 · %3</p>\n</header>\n")
                .arg(escaped(title), escaped(heading),
                     escaped(AlbumText::tr("Portraits: %1").arg(entries.size())));
    if (entries.isEmpty())
        html += QStringLiteral("<p class=\"empty\">%1</p>\n")
                    .arg(escaped(AlbumText::tr("No portraits yet: every song the queue takes on is "
                                               "photographed and appears here.")));
    html += QStringLiteral("<main>\n");
    for (int index = 0; index < entries.size(); ++index)
        html += entryHtml(entries.at(index), photoFolder, index < eagerPhotos);
    return html + QStringLiteral("</main>\n</body>\n</html>\n");
}

PartyAlbum::PartyAlbum(const QString& run, const QString& portraits)
    : runFolder(run), portraitFolder(portraits)
{
    worker.setMaxThreadCount(1);
}

PartyAlbum::~PartyAlbum()
{
    worker.waitForDone();
}

QString PartyAlbum::pagePath() const
{
    return QDir(runFolder).filePath(pageName);
}

void PartyAlbum::portraitNamed(const AlbumEntry& portrait)
{
    if (portrait.fileName.isEmpty())
        return;
    AlbumEntry entry = portrait;
    entry.photoExists = false;
    entry.comment.clear();
    QMutexLocker lock(&mutex);
    named.insert(entry.fileName, entry);
}

QFuture<bool> PartyAlbum::update(const QFuture<void>& photoJob)
{
    return QtConcurrent::run(&worker, [this, photoJob]() {
        QFuture<void> job = photoJob;
        job.waitForFinished();
        return rebuild();
    });
}

QFuture<bool> PartyAlbum::portraitStarted(const AlbumEntry& portrait, const QFuture<void>& photoJob)
{
    portraitNamed(portrait);
    return update(photoJob);
}

QList<AlbumEntry> PartyAlbum::entries()
{
    QMutexLocker lock(&mutex);
    return collectEntries();
}

QList<AlbumEntry> PartyAlbum::collectEntries()
{
    QList<AlbumEntry> result;
    QSet<QString> onDisk;
    const QFileInfoList photos =
        QDir(portraitFolder).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files | QDir::Readable);
    for (const QFileInfo& photo : photos) {
        AlbumEntry entry = named.value(photo.fileName());
        if (entry.fileName.isEmpty()) {
            // Not named by this run (an earlier run of the same minute, a copy): shown as it is.
            entry.fileName = photo.fileName();
            entry.title = photo.fileName();
            entry.takenAt = photo.lastModified();
        }
        entry.photoExists = true;
        entry.comment = commentOf(photo);
        onDisk.insert(entry.fileName);
        result.append(entry);
    }
    for (const AlbumEntry& entry : qAsConst(named))
        if (!onDisk.contains(entry.fileName))
            result.append(entry);
    std::sort(result.begin(), result.end(), newerFirst);
    return result;
}

bool PartyAlbum::rebuild()
{
    // Held until the page is in place, so an older picture of the folder never replaces a newer one.
    QMutexLocker lock(&mutex);
    const QString html = partyAlbumHtml(collectEntries(), QDir(runFolder).relativeFilePath(portraitFolder),
                                        QDir(runFolder).dirName());
    QSaveFile page(pagePath());
    if (page.open(QIODevice::WriteOnly) && page.write(html.toUtf8()) >= 0 && page.commit())
        return true;
    logMessage(
        AlbumText::tr("The party album %1 could not be written.").arg(QDir::toNativeSeparators(pagePath())));
    return false;
}

QString PartyAlbum::commentOf(const QFileInfo& photo)
{
    CachedComment& cached = comments[photo.absoluteFilePath()];
    if (cached.size != photo.size() || cached.modified != photo.lastModified()) {
        cached.size = photo.size();
        cached.modified = photo.lastModified();
        cached.comment = QString::fromStdString(
            readPhotoCommentFromFile(QFile::encodeName(photo.absoluteFilePath()).toStdString()));
    }
    return cached.comment;
}
