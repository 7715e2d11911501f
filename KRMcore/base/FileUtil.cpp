#include "FileUtil.h"

#include "ReplaceFile.h"
#include "ResultCode.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLatin1String>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstring>
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

namespace {

const QString kTemporarySuffix = QStringLiteral(".stelvano-tmp");
constexpr int kRandomLength = 6;
// The longest file name the file systems the program meets accept, in bytes.
constexpr int kNameMax = 255;
// Bytes a temporary adds to its stem: the two dots, the random part and the
// suffix.
constexpr int kTemporaryExtra = 2 + kRandomLength + 13;
// A stem cut short ends in this mark and a hash of the whole target name, so
// that two long targets sharing their first bytes keep temporaries apart.
constexpr int kHashLength = 16;

int encodedLength(const QString& name)
{
    return QFile::encodeName(name).size();
}

// The part of a temporary's name that names its target: the target's own
// name where the whole temporary name fits the file system, else as much of
// its beginning as fits, with a hash of the whole name.
QString temporaryStem(const QString& targetName)
{
    if (encodedLength(targetName) + kTemporaryExtra <= kNameMax)
        return targetName;
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(targetName), QCryptographicHash::Sha1)
                                .toHex()
                                .left(kHashLength);
    QString prefix = targetName;
    const int room = kNameMax - kTemporaryExtra - 1 - kHashLength;
    while (!prefix.isEmpty() && (encodedLength(prefix) > room || QChar(prefix.back()).isHighSurrogate()))
        prefix.chop(1);
    return prefix + QLatin1Char('~') + QString::fromLatin1(hash);
}

std::atomic<SaveStepHook> g_stepHook {nullptr};

void step(SaveStep s)
{
    if (const SaveStepHook hook = g_stepHook.load())
        hook(s);
}

QString randomPart()
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString out;
    for (int i = 0; i < kRandomLength; ++i)
        out += QLatin1Char(kAlphabet[QRandomGenerator::global()->bounded(int(sizeof kAlphabet - 1))]);
    return out;
}

// The file a save of `target` replaces: a link is followed to what it names,
// so that the link stays a link.
QString resolvedTarget(const QString& target)
{
    QFileInfo info(target);
    int depth = 128;
    while (--depth > 0 && info.isSymLink())
        info.setFile(info.symLinkTarget());
    return depth > 0 ? info.filePath() : target;
}

// Temporaries of earlier saves of the target that were never committed nor
// removed: their writer was killed (a live writer holds its file locked).
void removeStaleTemporaries(const QString& folder, const QString& targetName)
{
    for (const QString& name : platform::namesEndingWith(folder, QFile::encodeName(kTemporarySuffix))) {
        if (isSafeSaveTemporaryOf(name, targetName))
            platform::removeUnlockedFile(folder + QLatin1Char('/') + name);
    }
}

}  // namespace

bool isSafeSaveTemporaryOf(const QString& fileName, const QString& targetName)
{
    if (targetName.isEmpty())
        return false;
    const QString prefix = QLatin1Char('.') + temporaryStem(targetName) + QLatin1Char('.');
    if (fileName.size() != prefix.size() + kRandomLength + kTemporarySuffix.size() ||
        !fileName.startsWith(prefix) || !fileName.endsWith(kTemporarySuffix))
        return false;
    for (int i = prefix.size(); i < prefix.size() + kRandomLength; ++i) {
        const QChar c = fileName[i];
        if (!(c >= QLatin1Char('a') && c <= QLatin1Char('z')) &&
            !(c >= QLatin1Char('A') && c <= QLatin1Char('Z')) &&
            !(c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return false;
    }
    return true;
}

void setSaveStepHook(SaveStepHook hook)
{
    g_stepHook.store(hook);
}

SafeSaveFile::SafeSaveFile(const QString& target) : QFile(target), m_target(target)
{ }

SafeSaveFile::~SafeSaveFile()
{
    if (isOpen())
        discard();
}

bool SafeSaveFile::open(OpenMode mode)
{
    if (isOpen() || !(mode & WriteOnly) || (mode & (ReadOnly | Append)))
        return refuse(QStringLiteral("not a write-only open"));
    const QFileInfo existing(m_target);
    if (existing.isDir())
        return refuse(QStringLiteral("is a folder"));
    if (existing.exists() && !existing.isWritable())
        return refuse(QString::fromLocal8Bit(std::strerror(EACCES)));
    const QString replaced = resolvedTarget(m_target);
    const QFileInfo targetInfo(replaced);
    const QString folder = targetInfo.absolutePath();
    const QString name = targetInfo.fileName();
    if (name.isEmpty())
        return refuse(QStringLiteral("no file name"));
    removeStaleTemporaries(folder, name);

    // Kept from other users until it carries the old file's permissions.
    const bool replacing = targetInfo.exists();
    int fd = -1;
    QString temporary;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + QStringLiteral("/.") + temporaryStem(name) + QLatin1Char('.') + randomPart() +
                    kTemporarySuffix;
        fd = platform::createLockedFile(temporary, replacing ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (fd < 0)
        return refuse(QStringLiteral("no free temporary name"));
    if (replacing)
        QFile::setPermissions(temporary, targetInfo.permissions());
    if (!QFile::open(fd, mode, AutoCloseHandle)) {
        const QString why = errorString();
        platform::closeAndRemove(fd, temporary);
        return refuse(why);
    }
    m_temporary = temporary;
    m_target = replaced;
    step(SaveStep::Created);
    return true;
}

bool SafeSaveFile::refuse(const QString& why)
{
    setErrorString(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(m_target), why));
    return false;
}

bool SafeSaveFile::commit()
{
    if (!isOpen())
        return refuse(QStringLiteral("not open"));
    if (!flush() || error() != NoError) {
        const QString why = errorString();
        discard();
        return refuse(why);
    }
    step(SaveStep::Flushed);
    if (!platform::syncToDisk(handle())) {
        const int cause = errno;
        discard();
        return refuse(QString::fromLocal8Bit(std::strerror(cause)));
    }
    step(SaveStep::Synced);
    // Renamed while still open, so that the lock holds until the name is
    // gone and no clean-up can take the finished file for stale.
    if (!platform::renameOver(m_temporary, m_target)) {
        const int cause = errno;
        discard();
        return refuse(QString::fromLocal8Bit(std::strerror(cause)));
    }
    step(SaveStep::Renamed);
    QFile::close();
    m_temporary.clear();
    setFileName(m_target);
    // The rename lives in the folder: until the folder reaches the disk a
    // power loss can bring the old file back.
    if (!platform::syncFolderOf(m_target))
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

void SafeSaveFile::cancelWriting()
{
    if (isOpen())
        discard();
}

void SafeSaveFile::close()
{
    cancelWriting();
}

QString SafeSaveFile::fileName() const
{
    return m_target;
}

void SafeSaveFile::discard()
{
    // Removed while still locked, as a clean-up would.
    if (!m_temporary.isEmpty())
        QFile::remove(m_temporary);
    QFile::close();
    m_temporary.clear();
}

SaveOutcome saveFileReplacing(const QString& path, std::initializer_list<FilePart> parts, QString* why)
{
    SafeSaveFile f(path);
    const auto failed = [&](SaveOutcome outcome) {
        if (why)
            *why = f.errorString();
        return outcome;
    };
    if (!f.open(QIODevice::WriteOnly))
        return failed(SaveOutcome::CannotOpen);
    for (const FilePart& part : parts) {
        if (part.size > 0 &&
            f.write(static_cast<const char*>(part.data), qint64(part.size)) != qint64(part.size)) {
            const QString cause = f.errorString();
            f.cancelWriting();
            if (why)
                *why = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), cause);
            return SaveOutcome::WriteFailed;
        }
        step(SaveStep::PartWritten);
    }
    // commit() flushes first: a short write that only shows when the buffer
    // goes out is a failure too.
    return f.commit() ? SaveOutcome::Saved : failed(SaveOutcome::WriteFailed);
}

}  // namespace krm
