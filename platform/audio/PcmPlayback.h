#pragma once
// A stereo 16-bit output stream that pulls its samples block by block on a
// thread of its own. Implementations: an ALSA PCM, and a paced null output
// that plays nothing (optionally writing what it was given to a WAV file).
//
// Lifecycle: open (once), start (once, after a successful open), close (any
// time; also by the destructor). Nothing is reused after close.
#include <cstdint>
#include <functional>

namespace krm::platform {

class PcmPlayback {
public:
    // Fills `frames` interleaved stereo frames (left, right, left, ...) at
    // `interleaved`. Called on the stream's own thread, one block at a time.
    using Pull = std::function<void(int16_t* interleaved, int frames)>;

    virtual ~PcmPlayback() = default;

    // Prepares the output for blocks of `frames` frames at `sampleRate` Hz.
    // On success `frames` holds the block size the output really uses (it
    // may differ from the one asked for). False leaves nothing open.
    virtual bool open(int& frames, double sampleRate) = 0;

    // Starts the thread that calls `pull` for every block. False when the
    // stream is not open or already started.
    virtual bool start(Pull pull) = 0;

    // Stops the thread and waits for it: once close returns no pull is in
    // flight and none follows. Closes the output. Safe to call repeatedly.
    virtual void close() = 0;
};

}  // namespace krm::platform
