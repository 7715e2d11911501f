#include "CaudioOutStreamDevice.h"

#include "audio/PcmPlayback.h"

#include <algorithm>

namespace Tessaro {

void fillInterleavedBlock(int16_t* out, int frames, const int16_t* left, const int16_t* right, int rendered,
                          int leftSlot, int rightSlot)
{
    if (frames <= 0)
        return;
    std::fill_n(out, size_t(frames) * 2, int16_t(0));
    const int n = std::clamp(rendered, 0, frames);
    const auto put = [&](const int16_t* channel, int slot) {
        if (slot < 0 || slot > 1)
            return;
        for (int i = 0; i < n; ++i)
            out[2 * i + slot] = channel[i];
    };
    put(left, leftSlot);
    put(right, rightSlot);
}

CaudioOutStreamDevice::CaudioOutStreamDevice(QWeakPointer<CaudioOutCallbackIF> callback)
    : m_client(std::move(callback))
{ }

CaudioOutStreamDevice::~CaudioOutStreamDevice()
{
    CaudioOutStreamDevice::close();
}

bool CaudioOutStreamDevice::open(int leftChannel, int rightChannel, int frames, double sampleRate)
{
    if (m_stream || frames <= 0 || frames > maxFrames)
        return false;
    std::unique_ptr<krm::platform::PcmPlayback> stream = makePlayback();
    int granted = frames;
    if (!stream || !stream->open(granted, sampleRate))
        return false;
    if (granted <= 0 || granted > maxFrames)
        return false;
    if (granted != frames) {
        if (const QSharedPointer<CaudioOutCallbackIF> client = m_client.toStrongRef())
            client->notify(granted);
    }
    m_left.assign(size_t(granted), 0);
    m_right.assign(size_t(granted), 0);
    m_leftSlot = leftChannel;
    m_rightSlot = rightChannel;
    if (!stream->start([this](int16_t* block, int n) { fillBlock(block, n); }))
        return false;
    m_stream = std::move(stream);
    return true;
}

bool CaudioOutStreamDevice::close()
{
    if (!m_stream)
        return false;
    m_stream->close();
    m_stream.reset();
    return true;
}

void CaudioOutStreamDevice::fillBlock(int16_t* interleaved, int frames)
{
    frames = std::min(frames, int(m_left.size()));
    int rendered = 0;
    // Holding the client for the whole render keeps it alive meanwhile.
    if (const QSharedPointer<CaudioOutCallbackIF> client = m_client.toStrongRef())
        rendered = client->render(m_left.data(), m_right.data(), frames);
    fillInterleavedBlock(interleaved, frames, m_left.data(), m_right.data(), rendered, m_leftSlot,
                         m_rightSlot);
}

}  // namespace Tessaro
