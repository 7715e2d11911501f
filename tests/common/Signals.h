#pragma once
// Test signals made by the tests themselves, with their truth alongside:
// click tracks, harmonic tones, triads over a bass note, noise bursts with
// silent gaps, and short songs with drums, bass and chords. Also an
// in-memory sample source and an observer that records what the analysis
// reports. Samples are floats in [-1, 1] at 44100 Hz unless stated.
#include "IProgress.h"
#include "ISeekable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsig {

constexpr double kRate = 44100.0;

// Frequency of a MIDI note (69 is 440 Hz), fractional notes allowed.
double midiToHz(double midi);
// The nearest sample of a time in seconds.
int64_t toSample(double seconds);

// A mono signal and the sample positions of its events (clicks, onsets,
// bursts or beats, whatever the generator says).
struct Signal {
    std::vector<float> samples;
    std::vector<int64_t> events;
};

// Clicks of `clickLength` samples (a decaying 1 kHz burst of amplitude
// `amp`) every 60/bpm seconds, the first at `firstClick` samples.
Signal clickTrack(double bpm, double seconds, float amp = 0.8f, int clickLength = 64, int64_t firstClick = 0);

// A tone with `harmonics` partials (amplitude 1/k), peak about `amp`.
std::vector<float> harmonicTone(double freq, double seconds, int harmonics = 5, float amp = 0.5f);

// A major or minor triad on MIDI note `rootMidi` with the root one octave
// lower as bass; each note a harmonic tone.
std::vector<float> triadWithBass(int rootMidi, bool minor, double seconds, float amp = 0.5f);

// `count` bursts of white noise of `burstSeconds`, separated by
// `gapSeconds` of digital silence; events are the first sample of each gap.
Signal noiseBursts(int count, double burstSeconds, double gapSeconds, float amp = 0.5f, unsigned seed = 1);

// Adds `b` into `a` (a grows to fit), scaled by `gain`.
void mixInto(std::vector<float>& a, const std::vector<float>& b, float gain = 1.0f, int64_t at = 0);

// Interleaves two channels (the shorter padded with zeros).
std::vector<float> interleave(const std::vector<float>& left, const std::vector<float>& right);

// Peak absolute value.
float peak(const std::vector<float>& x);

// One chord of a song: root pitch class 0..11 and quality.
struct SongChord {
    int root = 0;
    bool minor = false;
    bool seventh = false;
};

// A song made of parts; each part has its own chords (one per bar, cycled)
// and instrumentation, so that a segmenter can tell the parts apart.
struct SongPart {
    std::string name;
    int bars = 8;
    std::vector<SongChord> chords {{0, false, false}};
    bool drums = true;
    bool bass = true;
    bool pad = true;     // sustained chord
    bool stabs = false;  // chord hits on the off-beats
};

struct SongSpec {
    double bpm = 120.0;
    int beatsPerBar = 4;
    double tempoDriftPercent = 0.0;  // linear drift over the song
    std::vector<SongPart> parts;
    unsigned seed = 7;
    double leadInSeconds = 0.0;  // silence before the first beat
    double tailSeconds = 1.0;    // ring-out after the last bar
};

struct Song {
    std::vector<float> left, right;   // stereo; mono() averages them
    std::vector<int64_t> beats;       // sample of every beat
    std::vector<int64_t> downbeats;   // sample of every bar's first beat
    std::vector<int64_t> onsets;      // every note or drum hit
    std::vector<int64_t> partStarts;  // sample where each part begins
    std::vector<int> beatChordRoot;   // per beat: chord root
    std::vector<bool> beatChordMinor;
    std::vector<float> mono() const;
};

Song makeSong(const SongSpec& spec);

// Detected events scored against the truth (positions in samples): each
// true event takes at most one detection within +-tolerance, the nearest
// still unused, as onset, beat and boundary evaluations count them.
struct EventScore {
    int matched = 0;
    int detected = 0;
    int truth = 0;
    double precision = 0.0;
    double recall = 0.0;
    double fMeasure = 0.0;  // 1 when both lists are empty
};
EventScore scoreEvents(std::vector<int64_t> detected, std::vector<int64_t> truth, int64_t tolerance);
// The F-measure alone.
double fMeasure(const std::vector<int64_t>& detected, const std::vector<int64_t>& truth, int64_t tolerance);

// An in-memory source of interleaved frames. Counts its calls so tests can
// check how it is read. `reportedLength` of -1 makes length() unknown;
// the default reports the real frame count.
class MemorySource : public ISeekable<float> {
public:
    MemorySource(std::vector<float> interleaved, int32_t channels, float rate = 44100.0f);
    int32_t seek(int32_t position) override;
    int32_t read(float* buffer, int32_t frames) override;
    int32_t length() const override;
    float sampleRate() const override { return m_rate; }
    int32_t channels() const override { return m_channels; }

    void setReportedLength(int32_t frames)
    {
        m_reportedLength = frames;
        m_lengthOverridden = true;
    }
    int readCalls = 0;
    int seekCalls = 0;
    int64_t framesRead = 0;

private:
    std::vector<float> m_data;
    int32_t m_channels;
    float m_rate;
    int64_t m_pos = 0;
    int32_t m_reportedLength = -1;
    bool m_lengthOverridden = false;
};

// Records every notification of the analysis. Setting `abortAfterProgress`
// to n > 0 raises the abort request at the n-th progress report.
class RecordingObserver : public RkMir::IProgress {
public:
    void notify() override { ++notifyCount; }
    void progress(unsigned char p) override;
    void chord(const RkMir::ChordEvent* e) override { chords.push_back(*e); }
    void timeSignature(const RkMir::BarEvent* e) override { bars.push_back(*e); }
    void beatPosition(const RkMir::BeatPositionEvent* e) override { beatPositions.push_back(*e); }
    void beatTime(const RkMir::BeatEvent* e) override { beats.push_back(*e); }
    void key(const RkMir::KeyEvent* e) override { keys.push_back(*e); }
    void segment(const RkMir::SegmentRecord* r) override { segments.push_back(*r); }

    int notifyCount = 0;
    int abortAfterProgress = 0;
    std::vector<int> progressValues;
    std::vector<RkMir::ChordEvent> chords;
    std::vector<RkMir::BarEvent> bars;
    std::vector<RkMir::BeatPositionEvent> beatPositions;
    std::vector<RkMir::BeatEvent> beats;
    std::vector<RkMir::KeyEvent> keys;
    std::vector<RkMir::SegmentRecord> segments;
};

}  // namespace testsig
