#include "TempFolder.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace krm::platform {

namespace {

// True when `path` is a directory (not a link) owned by this user; tightens
// its mode to 0700.
bool usableOwnFolder(const QByteArray& path)
{
    struct stat st { };
    if (::lstat(path.constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return false;
    return true;
}

}  // namespace

QString makePrivateTempFolder(const QString& base)
{
    const QString clean = QDir::cleanPath(base.isEmpty() ? QDir::tempPath() : base);
    const QString named = clean + "/Stelvano-" + QString::number(::getuid());
    const QByteArray namedPath = QFile::encodeName(named);

    if (::mkdir(namedPath.constData(), 0700) == 0 || errno == EEXIST) {
        if (usableOwnFolder(namedPath))
            return named;
        qWarning() << "temporary folder" << named
                   << "is not a private folder of this user; using a fresh one";
    }

    QByteArray templ = QFile::encodeName(clean + "/Stelvano-XXXXXX");
    if (::mkdtemp(templ.data()))
        return QFile::decodeName(templ);

    qWarning() << "cannot create a private temporary folder under" << clean << ":" << std::strerror(errno);
    return clean;
}

QString privateTempFolder()
{
    static const QString folder =
        makePrivateTempFolder(QStandardPaths::writableLocation(QStandardPaths::TempLocation));
    return folder;
}

}  // namespace krm::platform
