#pragma once
// Shared by the audio test programs: sound files written and read through
// libsndfile directly, an in-memory reader, the generated 120 BPM song with
// its beat list, and the reference mix a capture is compared with.
#include "ProjectInfo.h"
#include "WavSeeker_libSndFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <sndfile.h>
#include <vector>

namespace audiotest {

// Chooses the output families the process lists (read when the outputs are
// enumerated): the test programs play on the null output only, the sound
// test on ALSA only. No driver-host output is listed: the driver registry
// is a file that does not exist.
inline bool listOutputs(bool null, bool alsa)
{
    qputenv("STELVANO_AUDIO_NULL", null ? "1" : "0");
    qputenv("STELVANO_AUDIO_ALSA", alsa ? "1" : "0");
    qputenv("STELVANO_DRIVER_REGISTRY", "/nonexistent/stelvano-test/drivers.ini");
    return true;
}

// Interleaved 16-bit samples.
using Samples = std::vector<int16_t>;

inline bool writeSound(const QString& path, const Samples& samples, int channels = 2, int rate = 44100)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const sf_count_t frames = sf_count_t(samples.size()) / channels;
    const bool ok = sf_writef_short(f, samples.data(), frames) == frames;
    sf_close(f);
    return ok;
}

// Stereo samples of a file; empty when it cannot be read or is not stereo.
inline Samples readStereo(const QString& path)
{
    SF_INFO info {};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return {};
    Samples s(size_t(info.frames) * 2);
    const sf_count_t n = info.channels == 2 ? sf_readf_short(f, s.data(), info.frames) : 0;
    sf_close(f);
    s.resize(size_t(n) * 2);
    return s;
}

// A reader over samples in memory (float frames as the file reader gives).
class MemoryReader : public WavSeeker_libSndFile {
public:
    explicit MemoryReader(const Samples& interleaved, int channels = 2) : m_channels(channels)
    {
        for (int16_t v : interleaved)
            m_data.push_back(v / 32768.0f);
    }
    int seek(int frame) override
    {
        if (frame < 0 || frame > length())
            return -1;
        m_pos = frame;
        return frame;
    }
    int read(float* buffer, int frames) override
    {
        const int n = std::max(0, std::min(frames, length() - m_pos));
        std::copy_n(m_data.begin() + size_t(m_pos) * m_channels, size_t(n) * m_channels, buffer);
        m_pos += n;
        return n;
    }
    int length() const override { return int(m_data.size()) / m_channels; }
    int channels() const override { return m_channels; }
    float sampleRate() const override { return 44100.0f; }

private:
    std::vector<float> m_data;
    int m_channels;
    int m_pos = 0;
};

constexpr int kBeatFrames = 22050;  // a beat at 120 BPM
constexpr int kBarFrames = 4 * kBeatFrames;

// A song whose every sample is non-zero, so the first frame it plays is
// found in a capture: left 200..296, right -300..-388.
inline Samples makeSong(int frames)
{
    Samples s(size_t(frames) * 2);
    for (int k = 0; k < frames; ++k) {
        s[2 * size_t(k)] = int16_t(200 + k % 97);
        s[2 * size_t(k) + 1] = int16_t(-300 - k % 89);
    }
    return s;
}

// A wave record at 120 BPM: half-beat pulses every 0.25 s from 0, with
// `step` list entries per half beat.
inline WaveInfoRecord* makeWave(const QString& path, int beats, uint16_t step = 1)
{
    auto* w = new WaveInfoRecord;
    w->path = path.toStdWString();
    w->beatStep = step;
    for (int j = 0; j <= 2 * beats * step; ++j)
        w->beats.push_back(float(j) * 0.25f / float(step));
    return w;
}

// Adds `sound` at frame `at` of `mix` (stereo), where it fits.
inline void addAt(Samples& mix, const Samples& sound, int64_t at)
{
    for (size_t i = 0; i < sound.size(); ++i) {
        const int64_t j = at * 2 + int64_t(i);
        if (j >= 0 && j < int64_t(mix.size()))
            mix[size_t(j)] = int16_t(mix[size_t(j)] + sound[i]);
    }
}

// Frames [from, from + frames) of `song` with `first` added at each offset
// of `at1` and `second` at each of `at2` (offsets from `from`).
inline Samples referenceMix(const Samples& song, int from, int frames, const Samples& first,
                            const std::vector<int>& at1, const Samples& second, const std::vector<int>& at2)
{
    Samples mix(song.begin() + 2 * from, song.begin() + 2 * (from + frames));
    for (int a : at1)
        addAt(mix, first, a);
    for (int a : at2)
        addAt(mix, second, a);
    return mix;
}

// The frame where play began in a capture: its first non-silent frame.
inline int firstSoundingFrame(const Samples& capture)
{
    for (size_t i = 0; i < capture.size(); ++i) {
        if (capture[i] != 0)
            return int(i / 2);
    }
    return -1;
}

// Index of the first differing sample, -1 when equal.
inline int64_t firstDifference(const Samples& a, const Samples& b)
{
    const auto m = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (m.first == a.end() && m.second == b.end())
        return -1;
    return int64_t(m.first - a.begin());
}

}  // namespace audiotest
