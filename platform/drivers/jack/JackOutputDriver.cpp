// "JACK Output Driver": plays through a running JACK server at 44100 Hz.
//
// It never starts a server: init fails when none runs or when it runs at
// another rate, so the driver is listed only where it can play. Two output
// ports are joined to the server's first two playback ports when the stream
// starts. The buffer size is the server's period and every channel carries
// 32-bit little-endian floats. Each process cycle asks the host to fill the
// next half and copies that half to the ports; a period change or a server
// shutdown asks the host for a reset. stop deactivates the client, which
// waits for a cycle in flight.
#include "IF_asioDriver.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr jack_nframes_t kRate = 44100;
constexpr int32_t kOutputs = 2;

// libjack's own messages would go to the terminal on every machine without
// a server; the driver's error message says what matters instead.
void quiet(const char*)
{ }

class JackOutputDriver final : public IF_asioDriver {
public:
    ~JackOutputDriver() override { closeClient(); }

    bool init(void*) override
    {
        if (m_client)
            return true;
        jack_status_t status {};
        m_client = jack_client_open("Stelvano", JackNoStartServer, &status);
        if (!m_client) {
            m_error = "no JACK server is running";
            return false;
        }
        const jack_nframes_t rate = jack_get_sample_rate(m_client);
        if (rate != kRate) {
            m_error = "the JACK server runs at " + std::to_string(rate) + " Hz, not 44100 Hz";
            closeClient();
            return false;
        }
        m_period = int32_t(jack_get_buffer_size(m_client));
        for (int i = 0; i < kOutputs; ++i) {
            const std::string name = "out_" + std::to_string(i + 1);
            m_ports[i] =
                jack_port_register(m_client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        }
        if (!m_ports[0] || !m_ports[1] ||
            jack_set_process_callback(m_client, &JackOutputDriver::process, this) ||
            jack_set_buffer_size_callback(m_client, &JackOutputDriver::periodChanged, this)) {
            m_error = "the JACK server refused the driver's ports";
            closeClient();
            return false;
        }
        jack_on_shutdown(m_client, &JackOutputDriver::shutdown, this);
        m_error.clear();
        return true;
    }
    int32_t getDriverName(char* name) override
    {
        asioCopyText(name, 32, "JACK Output Driver");
        return kAsioOk;
    }
    int32_t getDriverVersion(int32_t* version) override
    {
        *version = 1;
        return kAsioOk;
    }
    int32_t getErrorMessage(char* text) override
    {
        asioCopyText(text, 124, m_error.c_str());
        return kAsioOk;
    }
    int32_t start() override
    {
        if (!m_client || m_channels.empty() || m_active || m_gone)
            return kAsioInvalidMode;
        m_next = 0;
        m_resetAsked = false;
        m_streaming = true;
        if (jack_activate(m_client)) {
            m_streaming = false;
            return kAsioDeviceFailure;
        }
        m_active = true;
        connectToPlayback();
        return kAsioOk;
    }
    int32_t stop() override
    {
        if (m_active && !m_gone)
            jack_deactivate(m_client);
        m_active = false;
        m_streaming = false;
        return kAsioOk;
    }
    int32_t getChannels(int32_t* inputs, int32_t* outputs) override
    {
        if (!m_client)
            return kAsioNotPresent;
        *inputs = 0;
        *outputs = kOutputs;
        return kAsioOk;
    }
    int32_t getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                          int32_t* granularity) override
    {
        if (!m_client)
            return kAsioNotPresent;
        *minimum = *maximum = *preferred = m_period;
        *granularity = 0;
        return kAsioOk;
    }
    int32_t setSampleRate(double sampleRate) override
    {
        return m_client && sampleRate == double(kRate) ? kAsioOk : kAsioInvalidParameter;
    }
    int32_t getChannelInfo(ASIOChannelInfo* info) override
    {
        if (!info || info->isInput || info->channel < 0 || info->channel >= kOutputs)
            return kAsioInvalidParameter;
        info->type = AsioFloat32LSB;
        info->channelGroup = 0;
        info->isActive = std::any_of(m_channels.begin(), m_channels.end(),
                                     [&](const Channel& c) { return c.number == info->channel; });
        asioCopyText(info->name, 32, ("JACK out " + std::to_string(info->channel + 1)).c_str());
        return kAsioOk;
    }
    int32_t createBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames,
                          const ASIOCallbacks* callbacks) override
    {
        if (!m_client || !m_channels.empty())
            return kAsioInvalidMode;
        if (const int32_t bad = asioCheckBufferRequest(infos, count, frames, callbacks, kOutputs, m_period))
            return bad;
        m_channels.reserve(size_t(count));
        for (int32_t i = 0; i < count; ++i) {
            m_channels.push_back({infos[i].channelNum, std::vector<float>(2 * size_t(frames))});
            infos[i].buffers[0] = m_channels.back().halves.data();
            infos[i].buffers[1] = m_channels.back().halves.data() + frames;
        }
        m_callbacks = callbacks;
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
    int32_t controlPanel() override { return kAsioOk; }
    int32_t outputReady() override { return kAsioInvalidMode; }
    int32_t release() override
    {
        stop();
        delete this;
        return kAsioOk;
    }

private:
    struct Channel {
        int32_t number;
        std::vector<float> halves;
    };

    void connectToPlayback()
    {
        const char** playback =
            jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
        for (int i = 0; playback && i < kOutputs && playback[i]; ++i)
            jack_connect(m_client, jack_port_name(m_ports[i]), playback[i]);
        jack_free(playback);
    }

    void closeClient()
    {
        if (!m_client)
            return;
        stop();
        jack_client_close(m_client);
        m_client = nullptr;
    }

    // Once per stream: the host stops, reloads and restarts on its GUI thread.
    void askForReset()
    {
        if (m_callbacks && m_callbacks->message && !m_resetAsked.exchange(true))
            m_callbacks->message(AsioResetRequest, 0, nullptr, nullptr);
    }

    // JACK's process thread.
    static int process(jack_nframes_t frames, void* self)
    {
        auto* d = static_cast<JackOutputDriver*>(self);
        float* out[kOutputs];
        for (int i = 0; i < kOutputs; ++i) {
            out[i] = static_cast<float*>(jack_port_get_buffer(d->m_ports[i], frames));
            std::fill_n(out[i], frames, 0.0f);
        }
        if (!d->m_streaming)
            return 0;
        if (int32_t(frames) != d->m_period) {
            d->askForReset();
            return 0;
        }
        const int32_t half = d->m_next;
        d->m_callbacks->bufferSwitch(half, true);
        for (const Channel& c : d->m_channels)
            std::copy_n(c.halves.data() + size_t(half) * frames, frames, out[c.number]);
        d->m_next = 1 - half;
        return 0;
    }

    static int periodChanged(jack_nframes_t frames, void* self)
    {
        auto* d = static_cast<JackOutputDriver*>(self);
        if (int32_t(frames) != d->m_period && d->m_streaming)
            d->askForReset();
        return 0;
    }

    static void shutdown(void* self)
    {
        auto* d = static_cast<JackOutputDriver*>(self);
        d->m_gone = true;
        d->askForReset();
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_ports[kOutputs] {};
    int32_t m_period = 0;
    std::string m_error;
    std::vector<Channel> m_channels;
    const ASIOCallbacks* m_callbacks = nullptr;
    int32_t m_next = 0;
    bool m_active = false;
    std::atomic<bool> m_streaming {false};
    std::atomic<bool> m_resetAsked {false};
    std::atomic<bool> m_gone {false};
};

IF_asioDriver* create(const char*, const char*)
{
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
    return new JackOutputDriver;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const AsioDriverFactory stelvanoDriverFactory;
const AsioDriverFactory stelvanoDriverFactory = {kAsioDriverInterfaceVersion, &create};
