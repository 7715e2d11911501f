#include "NullOutputDriver.h"

#include "AudioFormat.h"
#include "ByteCodec.h"
#include "DriverRegistry.h"
#include "audio/NullPlayback.h"
#include "audio/PlaybackThread.h"

#include <QDebug>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace krm::drivers {

namespace {

std::atomic<int> g_objects {0};

constexpr uint32_t kHeaderBytes = 44;

// The WAV format of a capture: the standard one when all channels carry one
// type from 16 to 20, else format tag 0 with the bytes as they are.
struct CaptureFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;

    static CaptureFormat of(const std::vector<int32_t>& types, uint32_t rate)
    {
        CaptureFormat f;
        f.channels = uint16_t(types.size());
        f.rate = rate;
        for (int32_t t : types)
            f.blockAlign = uint16_t(f.blockAlign + asioSampleBytes(t));
        const int32_t first = types.empty() ? -1 : types.front();
        f.bits = uint16_t(8 * asioSampleBytes(first));
        const bool oneType = std::all_of(types.begin(), types.end(), [&](int32_t t) { return t == first; });
        if (oneType && first >= AsioInt16LSB && first <= AsioInt32LSB)
            f.tag = 1;  // integer PCM
        else if (oneType && (first == AsioFloat32LSB || first == AsioFloat64LSB))
            f.tag = 3;  // IEEE float
        return f;
    }

    std::vector<uint8_t> header(uint32_t dataBytes) const
    {
        std::vector<uint8_t> bytes;
        krm::ByteWriter w(bytes, krm::Endian::Little);
        w.tag("RIFF");
        w.u32(kHeaderBytes - 8 + dataBytes);
        w.tag("WAVE");
        w.tag("fmt ");
        w.u32(16);
        w.u16(tag);
        w.u16(channels);
        w.u32(rate);
        w.u32(rate * blockAlign);
        w.u16(blockAlign);
        w.u16(bits);
        w.tag("data");
        w.u32(dataBytes);
        return bytes;
    }
};

// The capture file of one stream.
class Capture {
public:
    // Starts the file, or appends to it when this process started it
    // already in the same format.
    Capture(const QString& path, const CaptureFormat& format) : m_file(path), m_format(format)
    {
        if (!krm::platform::firstUseOfCapture(path) && m_file.open(QIODevice::ReadWrite)) {
            const QByteArray old = m_file.read(kHeaderBytes);
            const std::vector<uint8_t> want = format.header(0);
            krm::ByteReader r(reinterpret_cast<const uint8_t*>(old.constData()), size_t(old.size()),
                              krm::Endian::Little);
            uint32_t dataBytes = 0;
            if (old.size() == int(kHeaderBytes) &&
                std::memcmp(want.data() + 8, old.constData() + 8, 32) == 0 && r.seek(40) &&
                r.u32(dataBytes) && m_file.seek(kHeaderBytes + qint64(dataBytes))) {
                m_dataBytes = dataBytes;
                return;
            }
            qDebug() << "Null Output Driver: the capture file" << path << "is started afresh";
            m_file.close();
        }
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
            qDebug() << "Null Output Driver: cannot write the capture file" << path;
            return;
        }
        writeHeader();
    }
    ~Capture()
    {
        if (m_file.isOpen()) {
            writeHeader();
            m_file.close();
        }
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    void append(const std::vector<uint8_t>& bytes)
    {
        if (m_file.isOpen() &&
            m_file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) > 0)
            m_dataBytes += uint32_t(bytes.size());
    }

private:
    void writeHeader()
    {
        const std::vector<uint8_t> h = m_format.header(m_dataBytes);
        const qint64 end = m_file.pos();
        m_file.seek(0);
        m_file.write(reinterpret_cast<const char*>(h.data()), qint64(h.size()));
        m_file.seek(std::max<qint64>(end, kHeaderBytes));
        m_file.flush();
    }

    QFile m_file;
    CaptureFormat m_format;
    uint32_t m_dataBytes = 0;
};

bool flag(const QString& v)
{
    return v == "1" || v.compare("true", Qt::CaseInsensitive) == 0 ||
           v.compare("yes", Qt::CaseInsensitive) == 0;
}

class NullOutputDriver final : public IF_asioDriver {
public:
    NullOutputDriver(const QString& registryPath, const QString& group)
    {
        ++g_objects;
        const IniGroup keys = driverKeys(registryPath, group);
        m_frames = std::max(0, keys.value("buffer_frames", "2048").toInt());
        m_outputs = std::max(0, keys.value("outputs", "2").toInt());
        for (const QString& t : keys.value("sample_types", "16").split(',', Qt::SkipEmptyParts))
            m_types.push_back(t.trimmed().toInt());
        if (m_types.empty())
            m_types.push_back(AsioInt16LSB);
        m_failInit = flag(keys.value("fail_init"));
        m_resetAfter = std::max(0, keys.value("reset_after", "0").toInt());
        m_capturePath = keys.value("capture");
    }
    ~NullOutputDriver() override { --g_objects; }

    bool init(void*) override
    {
        if (m_failInit) {
            m_error = "Null Output Driver: initialisation refused (fail_init is set)";
            return false;
        }
        m_error.clear();
        return true;
    }
    int32_t getDriverName(char* name) override
    {
        asioCopyText(name, 32, kNullDriverName);
        return kAsioOk;
    }
    int32_t getDriverVersion(int32_t* version) override
    {
        *version = 1;
        return kAsioOk;
    }
    int32_t getErrorMessage(char* text) override
    {
        asioCopyText(text, 124, m_error.toUtf8().constData());
        return kAsioOk;
    }
    int32_t start() override
    {
        if (m_channels.empty() || m_running)
            return kAsioInvalidMode;
        if (!m_capturePath.isEmpty())
            m_capture =
                std::make_unique<Capture>(m_capturePath, CaptureFormat::of(channelTypes(), uint32_t(m_rate)));
        m_running = m_thread.start([this] { run(); });
        return m_running ? kAsioOk : kAsioDeviceFailure;
    }
    int32_t stop() override
    {
        m_thread.stop();
        m_running = false;
        m_capture.reset();  // completes the file
        return kAsioOk;
    }
    int32_t getChannels(int32_t* inputs, int32_t* outputs) override
    {
        *inputs = 0;
        *outputs = m_outputs;
        return kAsioOk;
    }
    int32_t getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                          int32_t* granularity) override
    {
        *minimum = *maximum = *preferred = m_frames;
        *granularity = 0;
        return kAsioOk;
    }
    int32_t setSampleRate(double sampleRate) override
    {
        if (!(sampleRate >= 8000.0 && sampleRate <= 384000.0))
            return kAsioInvalidParameter;
        m_rate = sampleRate;
        return kAsioOk;
    }
    int32_t getChannelInfo(ASIOChannelInfo* info) override
    {
        if (!info || info->isInput || info->channel < 0 || info->channel >= m_outputs)
            return kAsioInvalidParameter;
        info->type = typeOf(info->channel);
        info->channelGroup = 0;
        info->isActive = std::any_of(m_channels.begin(), m_channels.end(),
                                     [&](const Channel& c) { return c.number == info->channel; });
        asioCopyText(info->name, 32, QString("Null Out %1").arg(info->channel + 1).toLatin1().constData());
        return kAsioOk;
    }
    int32_t createBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames,
                          const ASIOCallbacks* callbacks) override
    {
        if (!m_channels.empty())
            return kAsioInvalidMode;
        if (const int32_t bad = asioCheckBufferRequest(infos, count, frames, callbacks, m_outputs, m_frames))
            return bad;
        m_callbacks = callbacks;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t type = typeOf(infos[i].channelNum);
            const size_t half = size_t(frames) * size_t(asioSampleBytes(type));
            m_channels.push_back(
                {infos[i].channelNum, asioSampleBytes(type), half, std::vector<uint8_t>(2 * half)});
            infos[i].buffers[0] = m_channels.back().memory.data();
            infos[i].buffers[1] = m_channels.back().memory.data() + half;
        }
        m_played.assign(size_t(frames) * blockBytes(), 0);
        m_timeInfo = callbacks->message &&
                     callbacks->message(AsioSelectorSupported, AsioSupportsTimeInfo, nullptr, nullptr) == 1 &&
                     callbacks->message(AsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
        return kAsioOk;
    }
    int32_t disposeBuffers() override
    {
        if (m_channels.empty())
            return kAsioInvalidMode;
        stop();
        m_channels.clear();
        m_callbacks = nullptr;
        return kAsioOk;
    }
    int32_t controlPanel() override
    {
        qDebug() << "Null Output Driver: nothing to set; its keys are in the driver registry";
        return kAsioOk;
    }
    int32_t outputReady() override { return kAsioOk; }
    int32_t release() override
    {
        stop();
        delete this;
        return kAsioOk;
    }

private:
    struct Channel {
        int32_t number;
        int sampleBytes;
        size_t halfBytes;
        std::vector<uint8_t> memory;  // two halves
    };

    int32_t typeOf(int32_t channel) const { return m_types[std::min(size_t(channel), m_types.size() - 1)]; }
    size_t blockBytes() const
    {
        size_t n = 0;
        for (const Channel& c : m_channels)
            n += size_t(c.sampleBytes);
        return n;
    }
    std::vector<int32_t> channelTypes() const
    {
        std::vector<int32_t> t;
        for (const Channel& c : m_channels)
            t.push_back(typeOf(c.number));
        return t;
    }

    // The driver's thread: one half per period, from a steady clock.
    void run()
    {
        const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(double(m_frames) / m_rate));
        auto due = std::chrono::steady_clock::now();
        int64_t switches = 0;
        do {
            const int32_t half = int32_t(switches & 1);
            for (Channel& c : m_channels)
                std::memset(c.memory.data() + size_t(half) * c.halfBytes, 0xA5, c.halfBytes);
            if (m_timeInfo)
                m_callbacks->bufferSwitchTimeInfo(nullptr, half, false);
            else
                m_callbacks->bufferSwitch(half, false);
            play(half);
            if (++switches == m_resetAfter && m_callbacks->message)
                m_callbacks->message(AsioResetRequest, 0, nullptr, nullptr);
            due += period;
        } while (m_thread.sleepUntil(due));
    }

    // Interleaves the half as the host left it into the capture.
    void play(int32_t half)
    {
        if (!m_capture)
            return;
        uint8_t* out = m_played.data();
        for (int32_t f = 0; f < m_frames; ++f) {
            for (const Channel& c : m_channels) {
                const uint8_t* in =
                    c.memory.data() + size_t(half) * c.halfBytes + size_t(f) * size_t(c.sampleBytes);
                out = std::copy_n(in, c.sampleBytes, out);
            }
        }
        m_capture->append(m_played);
    }

    int32_t m_frames = 2048;
    int32_t m_outputs = 2;
    std::vector<int32_t> m_types;
    bool m_failInit = false;
    int64_t m_resetAfter = 0;
    QString m_capturePath;
    QString m_error;
    double m_rate = krm::audio::kSampleRate;

    const ASIOCallbacks* m_callbacks = nullptr;
    bool m_timeInfo = false;
    std::vector<Channel> m_channels;
    std::vector<uint8_t> m_played;
    std::unique_ptr<Capture> m_capture;
    bool m_running = false;
    krm::platform::PlaybackThread m_thread;
};

}  // namespace

IF_asioDriver* createNullOutputDriver(const char* registryPath, const char* group)
{
    return new NullOutputDriver(QString::fromUtf8(registryPath ? registryPath : ""),
                                QString::fromUtf8(group ? group : ""));
}

int nullOutputDriverObjects()
{
    return g_objects;
}

}  // namespace krm::drivers
