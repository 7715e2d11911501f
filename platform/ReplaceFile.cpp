#include "ReplaceFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krm::platform {

namespace {

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when `path` still names the file open on `fd`.
bool pathNamesDescriptor(const QByteArray& path, int fd)
{
    struct stat opened {
    }, named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 && sameFile(opened, named);
}

}  // namespace

int createLockedFile(const QString& path, unsigned mode)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    // flock locks belong to the open file description, so a second open in
    // this same process (another thread's clean-up) sees the lock as well.
    // Between the open and the lock a clean-up may take the file for stale:
    // it then holds the lock or has removed the name, and this name is given
    // up for another. A file system that keeps no locks gets the file
    // unlocked; the clean-up, which cannot lock it either, leaves it alone.
    const bool lockedByOther = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (lockedByOther || !pathNamesDescriptor(name, fd)) {
        ::close(fd);
        errno = EEXIST;
        return -1;
    }
    return fd;
}

void closeAndRemove(int fd, const QString& path)
{
    ::close(fd);
    ::unlink(QFile::encodeName(path).constData());
}

namespace {

bool keptAfter(int result)
{
    return result == 0 || (errno != EIO && errno != ENOSPC && errno != EDQUOT);
}

}  // namespace

bool syncToDisk(int fd)
{
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
    const int r = ::fdatasync(fd);
#else
    const int r = ::fsync(fd);
#endif
    return keptAfter(r);
}

bool syncFolderOf(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const int r = ::fsync(fd);
    const int cause = errno;
    ::close(fd);
    errno = cause;
    return keptAfter(r);
}

bool renameOver(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

QStringList namesEndingWith(const QString& folder, const QByteArray& suffix)
{
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    const size_t n = size_t(suffix.size());
    while (const dirent* entry = ::readdir(dir)) {
        const size_t length = std::strlen(entry->d_name);
        if (length > n && std::memcmp(entry->d_name + length - n, suffix.constData(), n) == 0)
            names << QFile::decodeName(QByteArray(entry->d_name, int(length)));
    }
    ::closedir(dir);
    return names;
}

bool removeUnlockedFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that a named pipe under such a name cannot hold the
    // caller; a file without read permission is opened for writing instead.
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(name.constData(), O_RDONLY | flags);
    if (fd < 0 && errno == EACCES)
        fd = ::open(name.constData(), O_WRONLY | flags);
    if (fd < 0)
        return false;
    struct stat st { };
    bool removed = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        pathNamesDescriptor(name, fd))
        removed = ::unlink(name.constData()) == 0;
    ::close(fd);
    return removed;
}

}  // namespace krm::platform
