#include "WaveInfoStore.h"

#include "CKRMcore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

#include <memory>
#include <new>

QString waveInfoPathOf(const QString& audioPath)
{
    const QFileInfo info(audioPath);
    return info.path() + "/" + info.completeBaseName() + ".awi";
}

QString cachedWaveInfoPathOf(const QString& audioPath)
{
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    while (cache.endsWith('/'))
        cache.chop(1);
    // The hash keeps every path, however long or odd, one short legal name.
    const QByteArray key = QFileInfo(audioPath).absoluteFilePath().toUtf8();
    const QString name = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex());
    return cache + "/Tanvek/Stelvano/analysis/" + name + ".awi";
}

QStringList waveInfoPlacesOf(const QString& audioPath)
{
    return {waveInfoPathOf(audioPath), cachedWaveInfoPathOf(audioPath)};
}

AudioStamp AudioStamp::of(const QString& path)
{
    AudioStamp s;
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.size = int64_t(st.st_size);
    s.device = uint64_t(st.st_dev);
    s.inode = uint64_t(st.st_ino);
    s.modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.changed = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

bool AudioStamp::operator==(const AudioStamp& other) const
{
    return exists == other.exists && size == other.size && device == other.device && inode == other.inode &&
           modified == other.modified && changed == other.changed;
}

bool waveInfoIsFresh(const QString& audioPath, const QString& waveInfoPath)
{
    if (!QFileInfo(waveInfoPath).isFile())
        return false;
    const AudioStamp audio = AudioStamp::of(audioPath), waveInfo = AudioStamp::of(waveInfoPath);
    if (!audio.exists || !waveInfo.exists)
        return false;
    return audio.modified <= waveInfo.modified && audio.changed <= waveInfo.modified;
}

QString servingWaveInfoOf(const QString& audioPath, uint32_t frames)
{
    for (const QString& place : waveInfoPlacesOf(audioPath)) {
        if (!waveInfoIsFresh(audioPath, place))
            continue;
        try {
            CKRMcore probe;
            probe.resetComnInfo();
            probe.clearWavList();
            auto record = std::make_unique<WaveInfoRecord>();
            record->path = audioPath.toStdWString();
            if (probe.applyWaveInfo(record.get(), place, frames) != 0)
                continue;
            record.release();  // the engine took it over
            return place;
        } catch (const std::bad_alloc&) {
            return place;
        }
    }
    return QString();
}
