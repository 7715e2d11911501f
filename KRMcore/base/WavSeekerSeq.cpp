#include "WavSeekerSeq.h"

#include "WavFile.h"

#include <algorithm>
#include <climits>

WavSeekerSeq::WavSeekerSeq(const QString& path) : m_path(path), m_file(path)
{
    open();
}

WavSeekerSeq::~WavSeekerSeq()
{
    m_file.close();
}

bool WavSeekerSeq::open()
{
    uint32_t frames = 0;
    const uint32_t r = openWavStream(&m_file, m_stream, &frames);
    // The interface counts frames in a signed 32-bit value.
    frames = std::min<uint32_t>(frames, INT32_MAX);
    m_length = r == 0 ? int32_t(frames) : 0;
    m_framesLeft = uint32_t(m_length);
    return r == 0;
}

int32_t WavSeekerSeq::seek(int32_t position)
{
    if (position != 0)
        return -1;
    m_file.close();
    return open() ? 0 : -1;
}

int32_t WavSeekerSeq::read(float* buffer, int32_t frames)
{
    if (frames <= 0)
        return 0;
    uint32_t got = 0;
    bool outOfMemory = false;
    if (readWavFrames(m_stream, uint32_t(frames), buffer, &got, &outOfMemory, &m_framesLeft, m_work) != 0)
        return 0;
    return int32_t(got);
}
