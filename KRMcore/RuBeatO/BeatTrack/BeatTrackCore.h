#pragma once
// Tempo and beat-phase decoder: a Viterbi search over (beat period, phase)
// states driven by one onset observation per decimated frame.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace RuBeatO {

// The hidden Markov model of the beat tracker. Tempo t (0 .. T-1) has the
// period P_t = FPB_MIN + t frames per beat at the full frame rate and
// n_t = P_t / D phases (D the decimation), counting down n_t - 1 .. 0 one
// per decimated frame; phase 0 is the beat, phase n_t / 2 the half beat.
// States are numbered tempo by tempo, state offset_t + j being tempo t at
// phase j. After a beat the phase restarts at the top of the same or a
// nearby tempo; a change of tempo costs a Gaussian score of the change in
// log2 period.
//
// Lifecycle: construct, optionally setStartState, addObservation once per
// decimated frame, then infer; stateAt and decodeState read the result.
// More observations and another infer decode the whole sequence again.
class BeatTrackCore {
public:
    // w: half width of the tempo-change window (1 .. 8191; 2w + 1 < 512).
    // combDim: only checked (1 .. 8191). hmmDecimation: D >= 1.
    // fpbMean, fpbStdDev: the tempo prior (frames per beat); spread > 0.
    // FPB_MIN < FPB_MAX: the period range in frames per beat, FPB_MIN >= D
    // so that every tempo has a phase, FPB_MAX < 65536 so that a period
    // fits the 16-bit back-pointers. Throws std::domain_error.
    BeatTrackCore(int w, int combDim, int hmmDecimation, float fpbMean, float fpbStdDev, int FPB_MIN,
                  int FPB_MAX);

    // Appends one onset observation (one decimated frame).
    void addObservation(float onset);

    // Makes the search start from one state: the period clamped to
    // [FPB_MIN, FPB_MAX] and the phase wrapped into that tempo's phases.
    // The first decoded state is then one step after it.
    void setStartState(int period, int phase);

    // Decodes every observation so far into one state each. With no
    // observations the result is empty.
    void infer();

    // State of observation idx after infer; std::domain_error when idx is
    // outside the decoded observations.
    int stateAt(int idx) const;

    // Period (frames per beat) and phase of state s; std::domain_error for
    // a state outside 0 .. stateCount() - 1.
    void decodeState(int s, int& period, int& phase) const;
    // State number of (period, phase); std::domain_error outside the model.
    int stateOf(int period, int phase) const;

    // Best entry into the top phase of tempo t when the beat states score
    // beatScores[u] (one per tempo): starts from tempo t itself with g[0]
    // and takes a source u of t's range only when strictly better. Returns
    // the source tempo index and writes its score.
    int enterTempo(const float* beatScores, int t, float& score) const;

    // Tables.
    int window() const { return m_window; }
    int fpbMin() const { return m_fpbMin; }
    int fpbMax() const { return m_fpbMax; }
    int tempoCount() const { return m_tempoCount; }
    int stateCount() const { return m_stateCount; }
    int decimation() const { return m_decimation; }
    float fpbMean() const { return m_fpbMean; }
    float fpbStdDev() const { return m_fpbStdDev; }
    int phaseCount(int t) const { return tempoAt(t).phases; }
    int offset(int t) const { return tempoAt(t).offset; }
    float log2Period(int t) const { return tempoAt(t).log2Period; }
    // Source tempi [lo, hi) from which tempo t can be entered. The tempo
    // accessors throw std::domain_error for t outside 0 .. T - 1.
    int sourceLo(int t) const { return tempoAt(t).lo; }
    int sourceHi(int t) const { return tempoAt(t).hi; }
    // Score of entering tempo t from tempo u, u in [sourceLo(t), sourceHi(t)).
    float transitionScore(int u, int t) const;
    const std::vector<float>& gaussianTable() const { return m_gauss; }

    // Inputs and results.
    const std::vector<float>& observations() const { return m_observations; }
    int resultCount() const { return static_cast<int>(m_result.size()); }
    bool hasStartState() const { return m_hasStartState != 0; }
    int startPeriod() const { return m_startPeriod; }
    int startPhase() const { return m_startPhase; }
    // Best state after the latest decoding step (-1 before any).
    int bestState() const { return m_bestState; }
    // Period whose beat state entered tempo t at observation i in the
    // latest infer.
    int backPointer(int t, int i) const;
    // Bytes of back-pointers the latest infer kept.
    std::size_t backPointerBytes() const { return m_backPointers.size() * sizeof(uint16_t); }

private:
    struct Tempo {
        int phases = 0;
        int offset = 0;
        float log2Period = 0.0f;
        int lo = 0;
        int hi = 0;
        int scoreOffset = 0;  // first of its (hi - lo) scores in m_transitions
    };

    const Tempo& tempoAt(int t) const;
    void buildTables();
    int sourceDistance(int t, int u) const;
    void initialScores(std::vector<float>& scores) const;
    void step(const std::vector<float>& prev, std::vector<float>& cur, float x, uint16_t* backPointers);
    void backtrack(const std::vector<float>& last);

    int m_hasStartState = 0;
    int m_startPeriod = 0;
    int m_startPhase = 0;
    std::vector<int> m_result;
    int m_window;
    std::vector<float> m_gauss;
    int m_fpbMin;
    int m_fpbMax;
    int m_tempoCount;
    std::vector<float> m_observations;
    std::vector<Tempo> m_tempi;
    std::vector<float> m_transitions;
    int m_decimation;
    float m_fpbMean;
    float m_fpbStdDev;
    int m_bestState = -1;

    int m_stateCount = 0;
    std::vector<uint16_t> m_backPointers;  // T per observation
    std::vector<float> m_beatScores;       // per tempo, scratch of a step
};

}  // namespace RuBeatO
