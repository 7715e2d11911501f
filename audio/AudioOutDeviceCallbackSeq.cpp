#include "AudioOutDeviceCallbackSeq.h"

#include "AudioDeviceASFF.h"
#include "WavSeeker_libSndFile.h"

#include <algorithm>
#include <cmath>

namespace {

// The GUI thread's controls write the state bytes while the render reads them.
uint8_t loadByte(const uint8_t* p)
{
    return p ? __atomic_load_n(p, __ATOMIC_RELAXED) : 0;
}

// Frames read into `buffer`; a missing reader or one that is not stereo
// reads nothing, so a buffer of 2 x frames floats always suffices.
int readStereo(WavSeeker_libSndFile* reader, float* buffer, int frames)
{
    if (!reader || frames <= 0 || reader->channels() != 2)
        return 0;
    return std::clamp(reader->read(buffer, frames), 0, frames);
}

int lengthOf(const WavSeeker_libSndFile* reader)
{
    return reader ? reader->length() : 0;
}

void rewind(WavSeeker_libSndFile* reader)
{
    if (reader)
        reader->seek(0);
}

// Scaled to 16 bits through a single-precision value, truncated toward zero
// and held inside -31130..31129.
int16_t toSample(double sum)
{
    const float v = float(sum * 32768.0);
    if (std::isnan(v))
        return 0;
    if (v <= -31130.0f)
        return -31130;
    if (v >= 31129.0f)
        return 31129;
    return int16_t(v);
}

}  // namespace

void AudioOutDeviceCallbackSeq::Voice::beginBuffer(int frames)
{
    buffer.assign(size_t(frames) * 2, 0.0f);
    if (sounding)
        readStereo(reader, buffer.data(), frames);
}

void AudioOutDeviceCallbackSeq::Voice::trigger(int64_t offset, int i, int frames)
{
    if (std::find(triggers.begin(), triggers.end(), offset) == triggers.end())
        return;
    startSlot = i;
    counter = 0;
    startedHere = true;
    // From the first frame of the sound, also when it was still sounding.
    rewind(reader);
    std::fill(buffer.begin(), buffer.end(), 0.0f);
    readStereo(reader, buffer.data(), frames - i);
    sounding = true;
}

void AudioOutDeviceCallbackSeq::Voice::addTo(int i, double& left, double& right) const
{
    if (!sounding)
        return;
    const size_t j = size_t(startedHere && i >= startSlot ? i - startSlot : i);
    left += buffer[2 * j];
    right += buffer[2 * j + 1];
}

void AudioOutDeviceCallbackSeq::Voice::advance(int length)
{
    if (sounding && ++counter >= length)
        reset();
}

void AudioOutDeviceCallbackSeq::Voice::reset()
{
    counter = 0;
    sounding = false;
    rewind(reader);
}

AudioOutDeviceCallbackSeq::AudioOutDeviceCallbackSeq(AudioDeviceASFF* holder, WavSeeker_libSndFile* song,
                                                     WavSeeker_libSndFile* click1,
                                                     WavSeeker_libSndFile* click2, uint8_t* clickFlag,
                                                     uint8_t* songLevel, uint8_t* secondClickFlag)
    : m_holder(holder)
{
    setSources(song, click1, click2, clickFlag, songLevel, secondClickFlag);
}

void AudioOutDeviceCallbackSeq::setSources(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1,
                                           WavSeeker_libSndFile* click2, uint8_t* clickFlag,
                                           uint8_t* songLevel, uint8_t* secondClickFlag)
{
    m_songReader = song;
    m_click1.reader = click1;
    m_click2.reader = click2;
    m_clickFlag = clickFlag;
    m_songLevel = songLevel;
    m_secondClickFlag = secondClickFlag;
}

bool AudioOutDeviceCallbackSeq::notify(int)
{
    return true;
}

void AudioOutDeviceCallbackSeq::setTriggers(const std::vector<int32_t>& triggers1,
                                            const std::vector<int32_t>& triggers2)
{
    m_click1.triggers = triggers1;
    m_click2.triggers = triggers2;
}

void AudioOutDeviceCallbackSeq::setRange(int loopStart, int loopEnd, int startFrame)
{
    m_loopStart = loopStart;
    m_loopEnd = loopEnd;
    if (m_songReader)
        m_songReader->seek(startFrame);
    m_currentFrame = startFrame;
    m_click1.reset();
    m_click2.reset();
}

int AudioOutDeviceCallbackSeq::render(int16_t left[], int16_t right[], int frames)
{
    if (frames <= 0 || !left || !right)
        return 0;
    std::fill_n(left, frames, int16_t(0));
    std::fill_n(right, frames, int16_t(0));
    if (!m_playing)
        return frames;
    const bool ended = mix(left, right, frames);
    // A stop from the GUI thread meanwhile wins: then no signalStop.
    if (ended && m_playing.exchange(false) && m_holder) {
        m_holder->m_playing = false;
        emit m_holder->signalStop();
    }
    return frames;
}

bool AudioOutDeviceCallbackSeq::wrapBefore(int k, int frames, int& p, int& songEnd)
{
    const int loopStart = m_loopStart;
    if (!m_loop || m_loopEnd <= loopStart || !m_songReader || m_songReader->seek(loopStart) < 0)
        return false;
    std::fill(m_song.begin() + 2 * k, m_song.end(), 0.0f);
    const int m = readStereo(m_songReader, m_song.data() + 2 * k, frames - k);
    if (k < frames && m == 0)
        return false;  // nothing to play from the loop start: no endless wrapping
    songEnd = m < frames - k ? k + m : -1;
    p = loopStart;
    m_click1.reset();
    m_click2.reset();
    return true;
}

bool AudioOutDeviceCallbackSeq::mix(int16_t* left, int16_t* right, int frames)
{
    int p = m_currentFrame;
    m_song.assign(size_t(frames) * 2, 0.0f);
    const double level = loadByte(m_songLevel) / 100.0;
    const int n = readStereo(m_songReader, m_song.data(), frames);
    // Slot where the song's data runs out (its file ended), -1 for none:
    // the pass ends or wraps there just as at the loop end.
    int songEnd = n < frames ? n : -1;
    const int length1 = lengthOf(m_click1.reader);
    const int length2 = lengthOf(m_click2.reader);
    m_click1.beginBuffer(frames);
    m_click2.beginBuffer(frames);

    const auto goesOn = [&](int k) {
        if (p < m_loopEnd && k != songEnd)
            return true;
        return wrapBefore(k, frames, p, songEnd);
    };
    bool ended = !goesOn(0);
    for (int i = 0; !ended && i < frames; ++i) {
        double sumL = m_song[2 * size_t(i)] * level;
        double sumR = m_song[2 * size_t(i) + 1] * level;
        if (loadByte(m_clickFlag)) {
            const int64_t offset = int64_t(p) - m_loopStart;
            m_click1.trigger(offset, i, frames);
            m_click1.addTo(i, sumL, sumR);
            if (loadByte(m_secondClickFlag)) {
                m_click2.trigger(offset, i, frames);
                m_click2.addTo(i, sumL, sumR);
            }
        }
        left[i] = toSample(sumL);
        right[i] = toSample(sumR);
        ++p;
        m_click1.advance(length1);
        m_click2.advance(length2);
        ended = !goesOn(i + 1);
    }
    m_click1.startedHere = false;
    m_click2.startedHere = false;
    m_currentFrame = p;
    if (m_holder && m_holder->m_playing)
        emit m_holder->signalLocation();
    return ended;
}
