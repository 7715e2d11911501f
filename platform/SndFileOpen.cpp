#include "SndFileOpen.h"

#include <QFile>
#include <QString>

SNDFILE* platformSfWcharOpen(const wchar_t* path, int mode, SF_INFO* info)
{
    if (path == nullptr || *path == L'\0')
        return nullptr;
    const QByteArray local = QFile::encodeName(QString::fromWCharArray(path));
    return sf_open(local.constData(), mode, info);
}
