#pragma once
// The render callback of the audition: on the device's thread it reads the
// song, scales it by the song level, mixes in two click sounds at trigger
// frames, converts to 16-bit samples, loops or ends, and reports the play
// position (signalLocation, once per buffer while playing) and the end of a
// pass without loop (signalStop) through the holder's signals.
//
// Programming (sources, range, triggers) happens on the GUI thread while no
// device renders; the flags and frame positions the GUI thread touches
// during play are atomics, and the three state bytes are read atomically.
#include "CaudioOutIF.h"

#include <atomic>
#include <cstdint>
#include <vector>

class AudioDeviceASFF;
class WavSeeker_libSndFile;

class AudioOutDeviceCallbackSeq : public Tessaro::CaudioOutCallbackIF {
public:
    // Pointers are not owned. `clickFlag`: clicks sound when non-zero;
    // `songLevel`: percent (100 unscaled, above 100 amplifies);
    // `secondClickFlag`: the second click also needs this non-zero.
    AudioOutDeviceCallbackSeq(AudioDeviceASFF* holder, WavSeeker_libSndFile* song,
                              WavSeeker_libSndFile* click1, WavSeeker_libSndFile* click2, uint8_t* clickFlag,
                              uint8_t* songLevel, uint8_t* secondClickFlag);

    // Any block size is fine: the render works with whatever it is asked for.
    bool notify(int frames) override;
    // Always fills and returns the whole count; silence while not playing.
    int render(int16_t left[], int16_t right[], int frames) override;

    // Trigger lists: frame offsets from the loop start at which the first
    // and the second click sound start.
    void setTriggers(const std::vector<int32_t>& triggers1, const std::vector<int32_t>& triggers2);
    void setSources(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1, WavSeeker_libSndFile* click2,
                    uint8_t* clickFlag, uint8_t* songLevel, uint8_t* secondClickFlag);
    // Loop range [loopStart, loopEnd) in song frames and the frame that the
    // next rendered frame comes from (the song reader is sought there).
    void setRange(int loopStart, int loopEnd, int startFrame);
    void setLoop(bool loop) { m_loop = loop; }
    void setPlaying(bool playing) { m_playing = playing; }
    bool isPlaying() const { return m_playing; }
    int currentFrame() const { return m_currentFrame; }
    const std::vector<int32_t>& triggers1() const { return m_click1.triggers; }
    const std::vector<int32_t>& triggers2() const { return m_click2.triggers; }

private:
    // One click sound: its reader, trigger list and playing state.
    struct Voice {
        WavSeeker_libSndFile* reader = nullptr;
        std::vector<int32_t> triggers;
        std::vector<float> buffer;  // stereo frames of the current buffer
        int counter = 0;            // frames of the sound already played
        bool sounding = false;
        int startSlot = 0;  // slot of the current buffer where it started
        bool startedHere = false;

        void beginBuffer(int frames);
        // Starts the sound at slot `i` when a trigger equals `offset`; a
        // sound still playing restarts from its first frame.
        void trigger(int64_t offset, int i, int frames);
        void addTo(int i, double& left, double& right) const;
        void advance(int length);
        void reset();
    };

    // Mixes one playing buffer; true when the pass ended in it.
    bool mix(int16_t* left, int16_t* right, int frames);
    // Loops back before slot `k`; false when the pass ends there instead.
    bool wrapBefore(int k, int frames, int& p, int& songEnd);

    AudioDeviceASFF* m_holder;
    WavSeeker_libSndFile* m_songReader;
    uint8_t* m_clickFlag;
    uint8_t* m_songLevel;
    uint8_t* m_secondClickFlag;
    std::atomic<int32_t> m_currentFrame {0};
    std::atomic<bool> m_playing {false};
    std::atomic<bool> m_loop {false};
    std::atomic<int32_t> m_loopStart {0};
    std::atomic<int32_t> m_loopEnd {0};
    std::vector<float> m_song;  // stereo frames of the current buffer
    Voice m_click1;
    Voice m_click2;
};
