#include "SndFileOpen.h"

#include "RegularFile.h"

#include <QFile>
#include <QString>

SNDFILE* platformSfWcharOpen(const wchar_t* path, int mode, SF_INFO* info)
{
    if (path == nullptr || *path == L'\0')
        return nullptr;
    const QString name = QString::fromWCharArray(path);
    if (mode == SFM_READ) {
        // Only a regular file is read: a named pipe would block the open.
        const int fd = krm::platform::openRegularFileForReading(name);
        if (fd < 0)
            return nullptr;
        // libsndfile owns the descriptor from here on, also when it fails.
        return sf_open_fd(fd, mode, info, SF_TRUE);
    }
    return sf_open(QFile::encodeName(name).constData(), mode, info);
}
