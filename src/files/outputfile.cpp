// SPDX-License-Identifier: MIT
#include "outputfile.h"

#include "filewrite.h"
#include "tooltext.h"

#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#endif

OutputFile::OutputFile() = default;

#ifdef Q_OS_UNIX

namespace {

// The folder of a path, for the temporary file and for the sync that makes the rename last.
QByteArray folderOf(const QByteArray &path)
{
    const int slash = int(path.lastIndexOf('/'));
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

OutputFile::~OutputFile()
{
    if (fd >= 0)
        ::close(fd);
    if (!temporary.isEmpty())
        ::unlink(temporary.constData());
}

bool OutputFile::open(const QString &name, QString &error)
{
    target = systemBytes(name);
    struct stat info = {};
    if (::stat(target.constData(), &info) != 0) {
        if (errno != ENOENT)
            return fail(errno, error);
        return openTemporary(target, false, 0, 0, 0, error);
    }
    if (S_ISDIR(info.st_mode)) {
        error = QStringLiteral("a directory, not a file");
        return false;
    }
    if (!S_ISREG(info.st_mode))
        return openDirect(int(info.st_mode & S_IFMT), error);
    // A file the user may not write stays as it is, as it would with the shell's ">".
    if (::access(target.constData(), W_OK) != 0)
        return fail(errno, error);
    if (info.st_nlink > 1) {
        error =
            QStringLiteral("the file has %1 (hard links), which would keep the old "
                           "content: give another name")
                .arg(info.st_nlink == 2 ? QStringLiteral("another name")
                                        : QStringLiteral("%1 other names").arg(info.st_nlink - 1));
        return false;
    }
    // Through a symbolic link, the file it points to is replaced, not the link.
    char resolved[PATH_MAX];
    if (::realpath(target.constData(), resolved) == nullptr)
        return fail(errno, error);
    return openTemporary(QByteArray(resolved), true, info.st_mode & 07777, info.st_uid, info.st_gid,
                         error);
}

bool OutputFile::openDirect(int type, QString &error)
{
    direct = true;
    syncs = type == S_IFBLK;
    // Not blocking: a named pipe that nobody reads yet would hold open() until someone does.
    // It is opened again when the list is written, by which time its reader may have come.
    fd = ::open(target.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return type == S_IFIFO && errno == ENXIO ? true : fail(errno, error);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

bool OutputFile::openTemporary(const QByteArray &path, bool exists, unsigned mode, unsigned owner,
                               unsigned group, QString &error)
{
    target = path;
    const int slash = int(path.lastIndexOf('/'));
    // Hidden, and beside FILE: a rename within one file system is what makes the switch
    // atomic.
    QByteArray pattern = folderOf(path) + "/." + path.mid(slash + 1) + ".XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(errno, error);
    temporary = pattern;
    if (!exists) {
        // mkostemp() makes the file private; a new FILE gets what any program would give it.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    } else if (::fchown(fd, owner, group) != 0 && errno != EPERM) {
        // Another owner is the privilege of root: anyone else gets FILE as their own.
        return fail(errno, error);
    }
    if (::fchmod(fd, mode) != 0)
        return fail(errno, error);
    return true;
}

bool OutputFile::fail(int error, QString &text)
{
    text = error == EINTR && interruption() != 0
               ? QStringLiteral("interrupted by %1").arg(interruptionName())
               : systemErrorText(error);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (!temporary.isEmpty())
        ::unlink(temporary.constData());
    temporary.clear();
    return false;
}

bool OutputFile::write(const QByteArray &bytes, QString &error)
{
    // A named pipe without a reader at the start: this waits for one, as a shell's
    // redirection would, until a signal ends the command.
    while (fd < 0) {
        fd = ::open(target.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 && (errno != EINTR || interruption() != 0))
            return fail(errno, error);
    }
    int problem = 0;
    if (!writeAll(fd, bytes, problem))
        return fail(problem, error);
    if (syncs && ::fsync(fd) != 0)
        return fail(errno, error);
    const int closing = ::close(fd);
    fd = -1;
    if (closing != 0 && errno != EINTR)
        return fail(errno, error);
    if (direct)
        return true;
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(errno, error);
    temporary.clear();
    renamed = true;
    // The rename itself is on the disk only once the folder is synced; a file system that
    // cannot sync a folder says EINVAL, and then there is nothing more to do.
    const int folder = ::open(folderOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        const bool synced = ::fsync(folder) == 0 || errno == EINVAL;
        const int reason = errno;
        ::close(folder);
        if (!synced) {
            error = QStringLiteral("%1 after the new list took the name: it may not outlast a "
                                   "power cut")
                        .arg(systemErrorText(reason));
            return false;
        }
    }
    return true;
}

bool OutputFile::keptAsItWas() const
{
    return !renamed && !direct;
}

#else

OutputFile::~OutputFile() = default;

bool OutputFile::keptAsItWas() const
{
    return true;
}

// Windows takes the name as Unicode, whatever the code page: there is no byte form to check.
bool OutputFile::open(const QString &name, QString &error)
{
    file = std::make_unique<QSaveFile>(name);
    if (!file->open(QIODevice::WriteOnly)) {
        error = file->errorString();
        return false;
    }
    return true;
}

bool OutputFile::write(const QByteArray &bytes, QString &error)
{
    // Unbuffered would not help: QSaveFile writes what it holds at commit(), whose result
    // is the one that counts, and flush() before it shows a full disk early.
    if (file->write(bytes) != bytes.size() || !file->flush() || !file->commit()) {
        error = file->errorString();
        return false;
    }
    return true;
}

#endif
