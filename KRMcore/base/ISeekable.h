#pragma once
// A seekable source of sample frames, read block by block by the analysis.
#include <cstdint>

template <typename T> class ISeekable {
public:
    virtual ~ISeekable() { }
    // Moves the read position to `position` frames. Sources may honour only
    // some positions; the analysis seeks to 0 once before its read loop.
    virtual int32_t seek(int32_t position) = 0;
    // Fills `buffer` with up to `frames` frames, interleaved by channel, and
    // returns the number of frames read (fewer than asked at the end).
    virtual int32_t read(T* buffer, int32_t frames) = 0;
    // Number of frames, -1 when the source does not know it.
    virtual int32_t length() const { return -1; }
    virtual float sampleRate() const = 0;
    virtual int32_t channels() const = 0;
};
