// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every fuzz program needs: the input as a file on disk (the code under test reads files by name),
// and a log that goes nowhere, so millions of refusals neither fill the disk nor slow the run.

#include "base/runlog.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vimofuzz {

// Call once from LLVMFuzzerInitialize.
inline void initialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    // Qt's warnings about broken images would drown the fuzzer's own output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // The first line places the log; a folder that cannot exist makes every later line a cheap failure.
    logMessage(QStringLiteral("fuzzing"), QStringLiteral("/nonexistent-vimo-fuzz-log-folder/"));
}

inline QTemporaryDir& scratchFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/vimo-fuzz-XXXXXX"));
    return folder;
}

// Writes `data` to the scratch file `name` (truncating it) and returns its path.
inline QString inputFile(const uint8_t* data, size_t size, const char* name)
{
    const QString path = scratchFolder().filePath(QLatin1String(name));
    const QByteArray encoded = QFile::encodeName(path);
    std::FILE* file = std::fopen(encoded.constData(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write the fuzz input to %s\n", encoded.constData());
        std::abort();
    }
    return path;
}

// A broken promise of the code under test: the fuzzer keeps the input that showed it.
inline void check(bool promise, const char* what)
{
    if (!promise) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

} // namespace vimofuzz
