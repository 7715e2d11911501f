#pragma once
// The sample container of the time-scale engine: a growable array of float
// samples in 16-bit units (-32768.0 .. 32767.0) whose reads beyond its ends
// give zeros or a fade to zero.
//
// Two uses:
//  - input: `Attach` lends the stream the caller's array (not owned, never
//    freed by the stream); the engine reads blocks from it;
//  - output: `Allocate` (or the first write) gives the stream its own
//    buffer; a band writes its synthesis into it by overlap-add (`MixAt`);
//    `ReleaseBuffer` hands the buffer to the caller at the end.
//
// Positions and counts are samples of one channel, signed 32-bit. Owned
// buffers grow in multiples of 1,000,000 samples, and by at least half their
// size, so a long stretch reallocates rarely and growth stays linear overall.
// Arrays the stream hands out (`ReleaseBuffer`, copies made by `Read`) are
// freed with `FreeSamples`. Allocation failures throw the integer -1 (see
// StretchAlloc.h). A disabled stream ignores every write.
#include <cstdint>

class SoundFileStream {
public:
    static constexpr int32_t kGrowthStep = 1000000;
    enum ReadMode { Copy = 1, View = 2 };

    SoundFileStream() = default;
    ~SoundFileStream();
    SoundFileStream(const SoundFileStream&) = delete;
    SoundFileStream& operator=(const SoundFileStream&) = delete;

    // Lends the stream `length` samples of the caller's array (an input
    // stream). A buffer the stream owned is freed first. A later write that
    // needs more room moves the content into a buffer of the stream's own;
    // a write that fits changes the caller's samples.
    void Attach(float* samples, int32_t length);

    // Gives the stream its own zeroed buffer of `capacity` samples and
    // empties it (length 0). Returns 0, or 1 when the buffer cannot be had
    // (the stream is left as it was). Does not throw.
    int Allocate(int32_t capacity);

    // Hands the buffer over and leaves the stream without one (length and
    // capacity 0). An owned buffer becomes the caller's, to be freed with
    // FreeSamples; a lent buffer is the caller's own array. Null when the
    // stream has no buffer. Everything from the length up to the capacity
    // is 0.0 unless the stream was emptied and written again.
    float* ReleaseBuffer();

    // Frees an array handed out by ReleaseBuffer or a copying Read (null is
    // fine).
    static void FreeSamples(float* samples);

    // Length 0 and nothing written yet; the buffer stays.
    void Empty();

    // Reads n samples starting at `position` (may be negative or past the
    // end).
    // Copy (mode 1): copies the samples that exist into destination and
    // zeros elsewhere. Returns 0.
    // View (mode 2): *destination points into the buffer when the block lies
    // inside it (position >= 0 and position + n < length): result 0.
    // Otherwise *destination is a new array of n floats that the caller
    // frees with FreeSamples (result 1): zeros before index 0 and
    // after the end, except that a block starting at 0 .. length runs the
    // missing m samples as a fade of the last sample s: s * (m - 1 - i) / m.
    // n <= 0 gives a null view and result 0. A null destination or a mode
    // that does not match the overload returns -1.
    int Read(float* destination, int32_t n, int32_t position, int mode = Copy);
    int Read(float** destination, int32_t n, int32_t position, int mode = View);

    // Places n samples at `position`; samples between the old end and the
    // position are zeros; length = max(length, position + n). Without a
    // buffer one of capacity ((position + n) / 1000000 + 1) * 1000000 is
    // made; a buffer too small grows to the larger of that and 1.5 times its
    // capacity, rounded up to a multiple of 1000000. Returns 0, or 1 for a negative position or a block ending past
    // 2^31 - 1 (nothing written).
    int WriteBlock(const float* samples, int32_t n, int32_t position);

    // Appends n samples at the end. Without a buffer nothing is written,
    // "Error in WriteToSoundFile()\n" goes to the standard error stream and
    // the result is 1; otherwise 0 (1 as WriteBlock for a block too long).
    int WriteToSoundFile(const float* samples, int32_t n);

    // Overlap-adds n samples at `position`: the part up to the last index
    // written so far by MixAt is added to what the stream holds, each sum
    // clamped to [-32768, 32767]; the rest is written after it. A position
    // beyond the last written index + 1 first writes zeros into the gap.
    // Returns 0, or 1 when the write fails (no buffer: the message of
    // WriteToSoundFile; negative position or too long: nothing written).
    int MixAt(const float* samples, int32_t n, int32_t position);

    int32_t Length() const { return m_length; }
    int32_t Capacity() const { return m_capacity; }
    const float* Buffer() const { return m_buffer; }
    bool OwnsBuffer() const { return m_owns; }
    int32_t LastWritten() const { return m_lastWritten; }
    int32_t SampleRate() const { return m_sampleRate; }
    void SetSampleRate(int32_t rate) { m_sampleRate = rate; }
    int32_t Channels() const { return m_channels; }
    void SetChannels(int32_t channels) { m_channels = channels; }
    int32_t BitsPerSample() const { return m_bitsPerSample; }
    void SetBitsPerSample(int32_t bits) { m_bitsPerSample = bits; }
    int32_t Enabled() const { return m_enabled; }
    void SetEnabled(int32_t enabled) { m_enabled = enabled; }

private:
    // Makes room for `needed` samples by the growth rule; throws -1.
    void Grow(int64_t needed);
    void FreeOwned();
    bool m_owns = false;

    int32_t m_length = 0;
    int32_t m_sampleRate = 44100;
    int32_t m_channels = 1;
    int32_t m_bitsPerSample = 16;
    float* m_buffer = nullptr;  // owned (m_owns) or lent
    int32_t m_capacity = 0;
    int32_t m_lastWritten = -1;
    int32_t m_enabled = 1;
};
