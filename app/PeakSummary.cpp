#include "PeakSummary.h"

#include "WavSeeker_libSndFile.h"

#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

namespace {

struct FileStamp {
    QString path;
    int64_t size = -1;
    int64_t modifiedNs = 0;
    uint64_t inode = 0;

    bool operator==(const FileStamp& o) const
    {
        return path == o.path && size == o.size && modifiedNs == o.modifiedNs && inode == o.inode;
    }
};

bool stampOf(const QString& path, FileStamp& stamp)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    stamp = {path, int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
             uint64_t(st.st_ino)};
    return true;
}

}  // namespace

std::shared_ptr<const PeakSummary> PeakSummary::build(WavSeeker_libSndFile& source)
{
    try {
        const int channels = source.channels();
        const int64_t length = source.length();
        if (channels < 1 || length < 1 || source.seek(0) != 0)
            return nullptr;
        auto summary = std::make_shared<PeakSummary>();
        summary->m_channels = channels;
        // Grown as blocks are read, not sized from the header's frame
        // count: a damaged header may name far more frames than the file
        // holds.
        std::vector<float> buffer(size_t(kBlock) * size_t(channels));
        for (;;) {
            const int got = std::max(0, std::min(source.read(buffer.data(), int(kBlock)), int(kBlock)));
            if (got == 0)
                break;
            for (int c = 0; c < channels; ++c) {
                float low = buffer[size_t(c)], high = low;
                for (int i = 1; i < got; ++i) {
                    const float v = buffer[size_t(i) * size_t(channels) + size_t(c)];
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
                summary->m_low.push_back(low);
                summary->m_high.push_back(high);
            }
            summary->m_frames += got;
            // A short read ends the file: later frames read as silence,
            // as they do for a direct read.
            if (got < kBlock)
                break;
        }
        if (summary->m_frames == 0)
            return nullptr;
        return summary;
    } catch (...) {
        return nullptr;
    }
}

std::shared_ptr<const PeakSummary> PeakSummary::forFile(const QString& path, WavSeeker_libSndFile& source)
{
    static std::mutex lock;
    static FileStamp lastStamp;
    static std::shared_ptr<const PeakSummary> last;

    FileStamp stamp;
    if (!stampOf(path, stamp))
        return nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (last && stamp == lastStamp && last->channels() == source.channels())
            return last;
    }
    std::shared_ptr<const PeakSummary> summary = build(source);
    FileStamp after;
    // A file that changed while it was read is not kept.
    if (!summary || !stampOf(path, after) || !(after == stamp))
        return summary;
    std::lock_guard<std::mutex> guard(lock);
    lastStamp = stamp;
    last = summary;
    return summary;
}

void PeakSummary::extremes(int channel, int64_t firstBlock, int64_t endBlock, double& low, double& high) const
{
    const int64_t blocks = int64_t(m_low.size()) / std::max(1, m_channels);
    firstBlock = std::max<int64_t>(firstBlock, 0);
    endBlock = std::min(endBlock, blocks);
    for (int64_t b = firstBlock; b < endBlock; ++b) {
        const size_t at = size_t(b) * size_t(m_channels) + size_t(channel);
        low = std::min(low, double(m_low[at]));
        high = std::max(high, double(m_high[at]));
    }
}
