#include "AlsaPlayback.h"

#include "PlaybackThread.h"

#include <QDebug>
#include <alsa/asoundlib.h>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace krm::platform {

namespace {

// ALSA prints its own errors to stderr (every probe of a missing card would
// do so); they go to the debug output instead.
void alsaErrorToDebug(const char* file, int line, const char* function, int err, const char* fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    qDebug().nospace() << "ALSA: " << text << " (" << function << ", " << file << ":" << line << ", " << err
                       << ")";
}

void routeAlsaErrors()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&alsaErrorToDebug); });
}

bool probePlayback(const QString& name)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, name.toLocal8Bit().constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    snd_pcm_close(pcm);
    return true;
}

QStringList playbackHintNames()
{
    QStringList names;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints)
        return names;
    for (void** h = hints; *h; ++h) {
        char* name = snd_device_name_get_hint(*h, "NAME");
        char* io = snd_device_name_get_hint(*h, "IOID");
        // No IOID means the PCM plays and records.
        if (name && (!io || qstrcmp(io, "Output") == 0))
            names << QString::fromLocal8Bit(name);
        std::free(name);
        std::free(io);
    }
    snd_device_name_free_hint(hints);
    return names;
}

class AlsaPlayback final : public PcmPlayback {
public:
    explicit AlsaPlayback(const QString& name) : m_name(name.toLocal8Bit()) { }
    ~AlsaPlayback() override { close(); }

    bool open(int& frames, double sampleRate) override
    {
        if (m_pcm || frames <= 0 || !(sampleRate >= 1.0 && sampleRate <= 1e6))
            return false;
        routeAlsaErrors();
        // Non-blocking throughout: a busy device is refused at once instead of
        // holding the GUI thread, and writes wait with a time-out so that a
        // close never waits on a stalled device.
        if (snd_pcm_open(&m_pcm, m_name.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            m_pcm = nullptr;
            return false;
        }
        snd_pcm_uframes_t period = snd_pcm_uframes_t(frames);
        if (!configure(unsigned(sampleRate), period)) {
            snd_pcm_close(m_pcm);
            m_pcm = nullptr;
            return false;
        }
        m_frames = int(period);
        m_periodTime = std::chrono::microseconds(int64_t(1e6 * double(period) / sampleRate));
        frames = m_frames;
        return true;
    }

    bool start(Pull pull) override
    {
        return m_pcm && pull && m_thread.start([this, pull = std::move(pull)] { run(pull); });
    }

    void close() override
    {
        m_thread.stop();  // a waiting write gives up within 100 ms
        if (m_pcm) {
            snd_pcm_drop(m_pcm);
            snd_pcm_close(m_pcm);
            m_pcm = nullptr;
        }
    }

private:
    bool configure(unsigned rate, snd_pcm_uframes_t& period)
    {
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        unsigned granted = rate;
        unsigned periods = 2;
        int dir = 0;
        if (snd_pcm_hw_params_any(m_pcm, hw) < 0 ||
            snd_pcm_hw_params_set_access(m_pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
            snd_pcm_hw_params_set_format(m_pcm, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
            snd_pcm_hw_params_set_channels(m_pcm, hw, 2) < 0 ||
            snd_pcm_hw_params_set_rate_resample(m_pcm, hw, 1) < 0 ||
            snd_pcm_hw_params_set_rate_near(m_pcm, hw, &granted, &dir) < 0 || granted != rate ||
            snd_pcm_hw_params_set_period_size_near(m_pcm, hw, &period, &dir) < 0 ||
            snd_pcm_hw_params_set_periods_near(m_pcm, hw, &periods, &dir) < 0 ||
            snd_pcm_hw_params(m_pcm, hw) < 0)
            return false;
        snd_pcm_hw_params_get_period_size(hw, &period, &dir);
        snd_pcm_uframes_t buffer = 0;
        snd_pcm_hw_params_get_buffer_size(hw, &buffer);
        m_bufferFrames = buffer;

        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        return period > 0 && snd_pcm_sw_params_current(m_pcm, sw) >= 0 &&
               snd_pcm_sw_params_set_start_threshold(m_pcm, sw, buffer) >= 0 &&
               snd_pcm_sw_params_set_avail_min(m_pcm, sw, period) >= 0 && snd_pcm_sw_params(m_pcm, sw) >= 0 &&
               snd_pcm_prepare(m_pcm) >= 0;
    }

    // Writes one whole block; false when the PCM cannot be recovered.
    bool write(const int16_t* block, int frames)
    {
        while (frames > 0 && !m_thread.stopping()) {
            const snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, block, snd_pcm_uframes_t(frames));
            if (n == -EAGAIN) {
                snd_pcm_wait(m_pcm, 100);
                continue;
            }
            if (n < 0) {
                if (snd_pcm_recover(m_pcm, int(n), 1) < 0)
                    return false;
                continue;
            }
            block += n * 2;
            frames -= int(n);
        }
        return true;
    }

    void run(const Pull& pull)
    {
        std::vector<int16_t> block(size_t(m_frames) * 2, 0);
        // Two silent periods fill the buffer and start the stream.
        for (snd_pcm_uframes_t filled = 0; filled < m_bufferFrames && !m_thread.stopping();
             filled += snd_pcm_uframes_t(m_frames))
            write(block.data(), m_frames);
        while (!m_thread.stopping()) {
            pull(block.data(), m_frames);
            if (!write(block.data(), m_frames)) {
                // The device went away: keep the client paced instead of spinning.
                if (!m_thread.sleepUntil(std::chrono::steady_clock::now() + m_periodTime))
                    break;
                snd_pcm_prepare(m_pcm);
            }
        }
    }

    const QByteArray m_name;
    snd_pcm_t* m_pcm = nullptr;
    int m_frames = 0;
    snd_pcm_uframes_t m_bufferFrames = 0;
    std::chrono::microseconds m_periodTime {};
    PlaybackThread m_thread;
};

}  // namespace

std::unique_ptr<PcmPlayback> makeAlsaPlayback(const QString& pcmName)
{
    return std::make_unique<AlsaPlayback>(pcmName);
}

QStringList orderPlaybackPcmNames(const QStringList& hintNames,
                                  const std::function<bool(const QString&)>& opens)
{
    QStringList out;
    QStringList seen;
    for (const QString& name : QStringList {QStringLiteral("default")} + hintNames) {
        if (name.isEmpty() || name == QLatin1String("null") || seen.contains(name))
            continue;
        seen << name;
        if (opens(name))
            out << name;
    }
    return out;
}

QStringList alsaPlaybackPcmNames()
{
    routeAlsaErrors();
    return orderPlaybackPcmNames(playbackHintNames(), &probePlayback);
}

}  // namespace krm::platform
