#include "NullPlayback.h"

#include "PlaybackThread.h"
#include "SndFileOpen.h"

#include <QDebug>
#include <QMutex>
#include <QSet>
#include <chrono>
#include <vector>

namespace krm::platform {

bool firstUseOfCapture(const QString& path)
{
    static QMutex mutex;
    static QSet<QString> started;
    QMutexLocker lock(&mutex);
    if (started.contains(path))
        return false;
    started.insert(path);
    return true;
}

namespace {

// A 16-bit stereo WAV file that blocks are appended to.
class CaptureFile {
public:
    CaptureFile(const QString& path, int sampleRate)
    {
        const std::wstring w = path.toStdWString();
        SF_INFO info {};
        if (!firstUseOfCapture(path)) {
            m_file = platformSfWcharOpen(w.c_str(), SFM_RDWR, &info);
            if (m_file && (info.channels != 2 || sf_seek(m_file, 0, SEEK_END) < 0)) {
                sf_close(m_file);
                m_file = nullptr;
            }
        }
        if (!m_file) {
            info = SF_INFO {};
            info.samplerate = sampleRate;
            info.channels = 2;
            info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
            m_file = platformSfWcharOpen(w.c_str(), SFM_WRITE, &info);
        }
        if (!m_file)
            qDebug() << "null output: cannot write the capture file" << path;
    }
    ~CaptureFile()
    {
        if (m_file)
            sf_close(m_file);
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    void append(const int16_t* interleaved, int frames)
    {
        if (m_file)
            sf_writef_short(m_file, interleaved, frames);
    }

private:
    SNDFILE* m_file = nullptr;
};

class NullPlayback final : public PcmPlayback {
public:
    explicit NullPlayback(const QString& capturePath) : m_capturePath(capturePath) { }
    ~NullPlayback() override { close(); }

    bool open(int& frames, double sampleRate) override
    {
        if (m_opened || frames <= 0 || !(sampleRate >= 1.0 && sampleRate <= 1e6))
            return false;
        m_frames = frames;
        m_period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(double(frames) / sampleRate));
        if (!m_capturePath.isEmpty())
            m_capture = std::make_unique<CaptureFile>(m_capturePath, int(sampleRate));
        m_opened = true;
        return true;
    }

    bool start(Pull pull) override
    {
        return m_opened && pull && m_thread.start([this, pull = std::move(pull)] { run(pull); });
    }

    void close() override
    {
        m_thread.stop();
        m_capture.reset();  // completes the file
        m_opened = false;
    }

private:
    void run(const Pull& pull)
    {
        std::vector<int16_t> block(size_t(m_frames) * 2);
        auto due = std::chrono::steady_clock::now();
        do {
            pull(block.data(), m_frames);
            if (m_capture)
                m_capture->append(block.data(), m_frames);
            due += m_period;
        } while (m_thread.sleepUntil(due));
    }

    const QString m_capturePath;
    int m_frames = 0;
    std::chrono::steady_clock::duration m_period {};
    std::unique_ptr<CaptureFile> m_capture;
    bool m_opened = false;
    PlaybackThread m_thread;
};

}  // namespace

std::unique_ptr<PcmPlayback> makeNullPlayback(const QString& capturePath)
{
    return std::make_unique<NullPlayback>(capturePath);
}

}  // namespace krm::platform
