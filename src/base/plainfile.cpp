// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/plainfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct PlainFileText
{
    Q_DECLARE_TR_FUNCTIONS(PlainFile)
};
} // namespace

bool isPlainFile(const QString& path)
{
    struct stat entry = {};
    return ::lstat(QFile::encodeName(path).constData(), &entry) == 0 && S_ISREG(entry.st_mode);
}

QString plainFileRefusal(const QString& path)
{
    struct stat entry = {};
    if (::lstat(QFile::encodeName(path).constData(), &entry) != 0)
        return errno == ENOENT ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISLNK(entry.st_mode))
        return PlainFileText::tr("it is a symbolic link");
    return S_ISREG(entry.st_mode) ? QString() : PlainFileText::tr("it is no plain file");
}

namespace {
int openAppending(const QString& path)
{
    // Not following a link, and not waiting for a reader at a FIFO: what is there is looked at first.
    return ::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
}
} // namespace

bool openPlainFileForAppending(QFile& file, const QString& path, QString* error)
{
    int handle = openAppending(path);
    // The run folder deleted during the party comes back, with a fresh file instead of the lost one.
    if (handle < 0 && errno == ENOENT && QDir().mkpath(QFileInfo(path).absolutePath()))
        handle = openAppending(path);
    if (handle < 0) {
        const int reason = errno;
        if (error)
            *error = reason == ELOOP ? PlainFileText::tr("it is a symbolic link")
                                     : QString::fromLocal8Bit(std::strerror(reason));
        return false;
    }
    struct stat opened = {};
    if (::fstat(handle, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(handle);
        if (error)
            *error = PlainFileText::tr("it is no plain file");
        return false;
    }
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(handle, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text,
                   QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool stillAt(const QFile& file, const QString& path)
{
    struct stat opened = {};
    struct stat named = {};
    return file.isOpen() && ::fstat(file.handle(), &opened) == 0 &&
           ::lstat(QFile::encodeName(path).constData(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}
