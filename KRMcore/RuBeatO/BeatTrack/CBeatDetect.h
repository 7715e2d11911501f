#pragma once
// Offline beat tracker of a mono recording.
#include "RKBeatTrackOffline.h"

#include <cstdint>
#include <memory>
#include <vector>

class CFft;

namespace RuBeatO {

// Tracks the beats of a mono recording offline. Audio arrives in blocks
// through addData; every `hopsize` values become one spectral frame (the
// values are summed in pairs first, halving the rate, so a frame of
// `framelen` values is a transform of framelen / 2 points). After the last
// block, infer decodes tempo and beat phase once; the detector then gives
// each frame's beat period and countdown to the next beat, and lists the
// beat frames.
//
// Frames are counted from 0 in the order the hops arrive; with the usual
// hop of 180 values at 44100 Hz that is 245 frames per second, one per
// 180-value block. Frame f stands for the time f * hopsize / fs; its
// window ends with value (f + 1) * hopsize - 1.
//
// Lifecycle: construct; addData per block; infer; then getInfoAtFrame and
// getBeatFrames. reset starts a new recording (a pass of its own):
// setInitialState after it carries the tempo and phase of the previous
// pass into the next infer.
class CBeatDetect {
public:
    // framelen >= hopsize >= 1 (framelen / 2 a power of two for the
    // transform), fs > 0, decimation >= 1 (frames per decoder step),
    // 30 < bpm_min < bpm_max (beats per minute). doubleRate reports beats
    // at twice the decoded rate. Throws std::domain_error.
    CBeatDetect(int framelen, int hopsize, float fs, int decimation, float bpm_min, float bpm_max,
                bool doubleRate);
    ~CBeatDetect();

    CBeatDetect(const CBeatDetect&) = delete;
    CBeatDetect& operator=(const CBeatDetect&) = delete;

    // Forgets everything pushed and decoded, as after construction.
    void reset();

    // Appends lenData mono values (an even count; 0 or a null pointer only
    // counts them). Throws std::invalid_argument for an odd or negative
    // length and std::out_of_range once the values received reach 36000
    // seconds' worth (that block has already been counted).
    // Clears the inferred state.
    void addData(const float* data, int lenData);

    // Decodes every frame so far.
    void infer();

    // State at `frame` in the form the next pass takes back through
    // setInitialState: period = P * D (P frames per beat, D the
    // decimation), countdown = frames to the next beat. With doubleRate
    // both refer to the doubled beat rate. Throws std::domain_error for a
    // frame outside 0 .. getNumFrames() - 1 and std::logic_error before
    // infer.
    void getInfoAtFrame(int frame, int& period, int& countdown) const;

    // Beat-listing view of one frame, with the same checks: the decoded
    // period P (frames per beat), the phase in decimated frames to the next
    // reported beat (folded onto the doubled rate when doubleRate is set;
    // 1 instead of 0 between decimated frames) and whether a reported beat
    // falls on the frame.
    struct BeatFrameInfo {
        int period = 0;
        int phase = 0;
        bool beat = false;
    };
    BeatFrameInfo getInfoAtFrame(int frame) const;

    // Start state of the next infer, as read by getInfoAtFrame from the
    // previous pass. Call it after reset.
    void setInitialState(int period, int countdown);

    // Replaces `list` with the frames of every `every`-th beat, the first
    // being beat `offset` (beats numbered from 0). every >= 1, else
    // std::invalid_argument.
    void getBeatFrames(std::vector<int>& list, int every, int offset) const;

    // Frames analysed so far.
    int getNumFrames() const;
    // Band energies of the latest frame; count receives their number.
    const float* getBandEnergies(int& count) const;

    bool isInferred() const { return m_inferred != 0; }
    // Pair sums waiting for the next frame.
    int pendingPairs() const { return m_fill; }
    // Input values received since construction or reset.
    int64_t valuesReceived() const { return m_received; }
    int hopsize() const { return m_hopsize; }
    int framelen() const { return m_framelen; }
    int decimation() const { return m_decimation; }
    bool doubleRate() const { return m_doubleRate != 0; }
    const RKBeatTrackOffline& frontEnd() const { return *m_tracker; }

    // The carried form of decoded period P and phase j at `frame`:
    // countdown = (j + 1) D - frame mod D and period = P D; with doubleRate
    // the period is halved and the countdown reduced below it; a countdown
    // of 0 between decimated frames reads 1.
    static void carriedState(int frame, int P, int j, int D, bool doubleRate, int& period, int& countdown);
    // The beat-listing fold of (P, j) at `frame`: returns the phase to the
    // next reported beat, a beat being where it is 0.
    static int listedPhase(int frame, int P, int j, int D, bool doubleRate);

private:
    void initialize();
    void analyseFrame();
    void decodedAt(int frame, int& P, int& j) const;

    int m_fill = 0;
    int m_hopsize;
    int m_framelen;
    std::vector<float> m_window;
    uint8_t m_doubleRate;
    std::vector<float> m_spectrum;
    float m_fs;
    int m_decimation;
    float m_bpmMin;
    float m_bpmMax;
    int64_t m_received = 0;
    std::shared_ptr<CFft> m_fft;
    std::shared_ptr<RKBeatTrackOffline> m_tracker;
    uint8_t m_inferred = 0;
};

}  // namespace RuBeatO
