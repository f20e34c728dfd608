// SPDX-License-Identifier: MIT
#pragma once

// The FILE of `discover --output` and of the window's list export. A regular file (or a new
// name) is replaced only once the whole list is on the disk: the list goes into a temporary
// file beside it, which is written, synced and closed, each step checked, and only then
// renamed over FILE, with FILE's mode and (where the system allows) owner. Whatever fails on
// the way leaves FILE as it was. A file with other hard links is refused, since a new file in
// its place would leave the other names with the old list. A device, a named pipe or a
// terminal is written as it is: a temporary file in its place would replace it. The reasons
// are in English, as the command line gives them.

#include <QByteArray>
#include <QString>

#include <memory>

class QSaveFile;

class OutputFile
{
public:
    OutputFile();
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Checks FILE and prepares the temporary file, before the search, so that a name that
    // cannot be written is told at once; false with `error` set.
    bool open(const QString &name, QString &error);
    // Writes the list and makes it FILE; false with the system's reason in `error`.
    bool write(const QByteArray &bytes, QString &error);
    // After a failed write: FILE holds what it held before (a device or a pipe may have
    // taken part of the list, and a list that took FILE's name may not be on the disk yet).
    bool keptAsItWas() const;

private:
#ifdef Q_OS_UNIX
    bool openDirect(int type, QString &error);
    bool openTemporary(const QByteArray &path, bool exists, unsigned mode, unsigned owner,
                       unsigned group, QString &error);
    bool fail(int error, QString &text);

    QByteArray target;
    QByteArray temporary; // empty once it became FILE, or when FILE is written as it is
    int fd = -1;
    bool direct = false;
    bool syncs = true; // a regular file or a block device, where fsync() means something
    bool renamed = false;
#else
    std::unique_ptr<QSaveFile> file;
#endif
};
