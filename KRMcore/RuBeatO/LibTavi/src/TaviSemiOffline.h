#pragma once
// The chord recogniser the analysis uses: takes a recording as mono blocks
// of 180 samples at 44100 Hz, feeds them to an inner TaviOffline, and
// every so often (the update interval) has it decode what has arrived, so
// results flow out before the recording ends. Results leave only through
// the callback table of ITavi (see ITavi.h for each entry's arguments).
//
// Use (one object per recording, one thread):
//   TaviSemiOffline t;
//   t.callbacks() = table;                 // or set single entries
//   t.initialize(0, L"", 180, w1);         // 0, else an error status
//   t.setUpdateInterval(15);
//   t.setParams(w2, w3, w4);               // 0, else 6
//   while (...) t.pushData(block, 180);    // may report (intermediate passes)
//   t.finish();                            // reports the rest, then entry 5
// The time-signature words (w1, w2, w3, w4) are maximum beats per bar,
// level, hypothesis and meter type: (x, 0, -1, 2) for x/4 with x from 2 to
// 4, (x, 0, -1, 3) for 3x/8, and (-1, 0, -1, -1) to have the meter
// estimated (it then settles on 3/4, 4/4, 6/8 or 9/8 from the first
// pass on). The client mixes its audio to mono; the beat positions count
// the mono samples pushed, at 44100 Hz, from 0.
//
// What the client sees:
// - Entries 2 and 3 fire once per beat, 2 first, in beat order, beat
//   indices 0, 1, 2, ... without gaps or repeats over the whole recording,
//   sample positions rising. Entry 1 fires on the first beat of every bar
//   with bar indices 0, 1, 2, ..., the beat index of that beat (the first
//   bar may start on any of the first beats-per-bar beats: the beats
//   before it are a pickup) and the time signature: n/4 for meter type 2,
//   3n/8 for type 3, the same for every bar of a recording. The bar phase,
//   the meter and the beat grid carry across intermediate passes. Entry 4
//   fires on the first beat and on key changes, entry 0 on the first chord
//   and on chord changes (one beat late; the last one or two beats of the
//   recording report no chord). Entry 6 fires per beat with the beat's
//   chord feature. Beats come in bursts: those of an intermediate pass
//   inside the pushData call that ran it, the rest inside finish.
// - Entry 5 (endCallback) fires exactly once per finish, after every other
//   report of the recording, never in an intermediate pass.
// - A callback may throw; the exception leaves through the pushData or
//   finish call that made the report, and the object should then be
//   discarded.
// - Intermediate passes run inside pushData, so a push may take as long as
//   decoding the audio since the previous pass.
#include "ITavi.h"

#include <boost/shared_ptr.hpp>

#include <array>
#include <cstdint>
#include <string>

namespace tavi {

class TaviOffline;

class TaviSemiOffline : public ITavi {
public:
    static constexpr int kBlock = 180;
    static constexpr int kMinUpdateInterval = 3000;
    static constexpr int kDefaultUpdateInterval = 22050;

    TaviSemiOffline();
    ~TaviSemiOffline() override;

    // Builds a fresh inner recogniser (replacing any earlier one) whose
    // reports are forwarded to this object's table, clears the block buffer
    // and the count since the previous pass, and initialises the inner one
    // with the same arguments (see TaviOffline::initialize): `first` has no
    // effect, an empty modelFolder selects the built-in chord models,
    // blockSize is the inner block (180), maxBeatsPerBar 2 to 4, or
    // negative to estimate the meter. Returns 0 and marks the object
    // initialised; 6 for a block size or maxBeatsPerBar out of range (0,
    // above 4) or the model loader's status, with the initialised flag as
    // it was.
    uint32_t initialize(int first, const std::wstring& modelFolder, int blockSize,
                        int maxBeatsPerBar) override;

    // The update interval, in 180-sample blocks, from a client setting x:
    // trunc((x - 1.09) / 0.4923 * 1000), at least 3000 (x = 15 gives 28255,
    // about 115 s). Takes effect at the next block; any time. Returns 0.
    uint32_t setUpdateInterval(int x);

    // 5 before initialize, else the inner setParams (0, or 6 with nothing
    // stored; see ITavi::setParams).
    uint32_t setParams(int level, int hypothesis, int meterType) override;

    // Appends `count` mono samples. Complete 180-sample blocks go straight
    // to the inner recogniser; a partial block waits in the buffer. After a
    // block taken from the caller's array, when the block count is a
    // multiple of 3 and more than the update interval's worth of samples
    // has arrived since the previous pass, an intermediate pass runs and
    // reports. Returns 5 before initialize, 6 for null samples with a
    // non-zero count (nothing taken), else 0. Throws what the pass throws
    // (std::runtime_error "TAVI Cannot be initialized" when the chord model
    // is unusable) and what a callback throws.
    uint32_t pushData(const float* samples, unsigned count) override;

    // Final pass over the blocks since the previous pass, then entry 5 with
    // 0. Samples still waiting in the block buffer (a partial block) are
    // not decoded. Returns 5 before initialize, else 0.
    uint32_t finish();
    uint32_t run() override { return finish(); }

    // Clears the count since the previous pass. When initialised, also
    // restarts the inner recogniser's stretch and its feature extraction
    // (beat tracker included) with the tracker's beat numbering from the
    // latest pass. The block buffer and the block count stay.
    void reset();

    bool isInitialized() const { return m_initialized != 0; }
    int updateInterval() const { return m_updateInterval; }
    int64_t samplesSincePass() const { return m_samplesSincePass; }
    int64_t blockCount() const { return m_blockCount; }
    int bufferFill() const { return m_fill; }
    // The inner recogniser (null before initialize).
    const boost::shared_ptr<TaviOffline>& inner() const { return m_inner; }

protected:
    // Makes the inner recogniser at each initialize: a plain TaviOffline
    // unless a derived recogniser supplies one of its own (to observe its
    // decoding, say). A null result makes initialize throw
    // std::logic_error.
    virtual boost::shared_ptr<TaviOffline> createInner() const;

private:
    void forwardBlock(const float* block);
    void connectInner();

    int64_t m_samplesSincePass = 0;
    int m_updateInterval = kDefaultUpdateInterval;
    uint8_t m_initialized = 0;
    int64_t m_blockCount = 0;
    int m_fill = 0;
    std::array<float, kBlock> m_buffer {};
    boost::shared_ptr<TaviOffline> m_inner;
};

}  // namespace tavi
