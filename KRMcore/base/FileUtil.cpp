#include "FileUtil.h"

#include "ResultCode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLatin1String>
#include <QSaveFile>
#include <fstream>

namespace {

QString latin1(const std::string& s)
{
    return QString(QLatin1String(s.c_str()));
}

}  // namespace

uint32_t removeFile(const std::string& path)
{
    if (path.empty())
        return krm::fail(1);
    QDir().remove(latin1(path));
    return krm::kOk;
}

uint32_t fileSize(const std::string& path)
{
    return uint32_t(QFileInfo(latin1(path)).size());
}

uint32_t readWholeFile(const std::string& path, void* buffer, uint32_t size)
{
    if (path.empty() || buffer == nullptr || size == 0)
        return krm::fail(1);
    // The same Latin-1 reading of the path as fileSize, which callers ask
    // first for the size of the buffer.
    std::ifstream in(QFile::encodeName(latin1(path)).constData(), std::ios::in | std::ios::binary);
    if (in)
        in.read(static_cast<char*>(buffer), std::streamsize(size));
    return krm::kOk;
}

namespace krm {

SaveOutcome saveFileReplacing(const QString& path, std::initializer_list<FilePart> parts)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return SaveOutcome::CannotOpen;
    for (const FilePart& part : parts) {
        if (part.size > 0 &&
            f.write(static_cast<const char*>(part.data), qint64(part.size)) != qint64(part.size)) {
            f.cancelWriting();
            return SaveOutcome::WriteFailed;
        }
    }
    // Flush here: a short write that only shows when the buffer goes out at
    // commit time would otherwise pass unnoticed.
    if (!f.flush()) {
        f.cancelWriting();
        return SaveOutcome::WriteFailed;
    }
    return f.commit() ? SaveOutcome::Saved : SaveOutcome::WriteFailed;
}

}  // namespace krm
