#include "RegularFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krm::platform {

int openRegularFileForReading(const QString& path)
{
    if (path.isEmpty())
        return -1;
    // Non-blocking so that opening a pipe returns at once; the mode is
    // checked on the descriptor, then reading is made blocking again.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st { };
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool openRegularFile(QFile& file)
{
    const int fd = openRegularFileForReading(file.fileName());
    if (fd < 0)
        return false;
    struct stat checked { };
    const bool statted = ::fstat(fd, &checked) == 0;
    ::close(fd);
    // Opened by name so that the file keeps its name (opening a QFile on a
    // descriptor forgets it); then confirmed to be the file just checked.
    if (!statted || !file.open(QIODevice::ReadOnly))
        return false;
    struct stat opened { };
    if (::fstat(file.handle(), &opened) != 0 || opened.st_dev != checked.st_dev ||
        opened.st_ino != checked.st_ino) {
        file.close();
        return false;
    }
    return true;
}

}  // namespace krm::platform
