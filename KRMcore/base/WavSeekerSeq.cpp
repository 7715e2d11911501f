#include "WavSeekerSeq.h"

#include "WavFile.h"

#include <algorithm>
#include <climits>

WavSeekerSeq::WavSeekerSeq(const QString& path) : path_(path), file_(path)
{
    open();
}

WavSeekerSeq::~WavSeekerSeq()
{
    file_.close();
}

bool WavSeekerSeq::open()
{
    uint32_t frames = 0;
    const uint32_t r = openWavStream(&file_, stream_, &frames);
    // The interface counts frames in a signed 32-bit value.
    frames = std::min<uint32_t>(frames, INT32_MAX);
    length_ = r == 0 ? int32_t(frames) : 0;
    framesLeft_ = uint32_t(length_);
    return r == 0;
}

int32_t WavSeekerSeq::seek(int32_t position)
{
    if (position != 0)
        return -1;
    file_.close();
    return open() ? 0 : -1;
}

int32_t WavSeekerSeq::read(float* buffer, int32_t frames)
{
    if (frames <= 0)
        return 0;
    uint32_t got = 0;
    bool outOfMemory = false;
    if (readWavFrames(stream_, uint32_t(frames), buffer, &got, &outOfMemory, &framesLeft_, work_) != 0)
        return 0;
    return int32_t(got);
}
