#include "BeatTrackCore.h"

#include "DomainCheck.h"

#include "RkMir/Numeric/Hsmm.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace RuBeatO {

namespace {

// ln of the normal density's constant, as the observation scores use it.
constexpr float kLogNormConst = 0.9189385f;
// Score of a state the search may not start from.
constexpr float kImpossible = -1e30f;

}  // namespace

BeatTrackCore::BeatTrackCore(int w, int combDim, int hmmDecimation, float fpbMean, float fpbStdDev,
                             int FPB_MIN, int FPB_MAX)
    : m_window(w),
      m_fpbMin(FPB_MIN),
      m_fpbMax(FPB_MAX),
      m_tempoCount(0),
      m_decimation(hmmDecimation),
      m_fpbMean(fpbMean),
      m_fpbStdDev(fpbStdDev)
{
    requireDomain(fpbStdDev > 0.0f, "fpbStdDev should be positive.");
    requireDomain(w >= 1 && w <= 8191, "normalPdfLutSize should be positive.");
    requireDomain(combDim >= 1 && combDim <= 8191, "Comb Filter Dimension should be positive");
    requireDomain(hmmDecimation >= 1, "hmmDecimation should be positive");
    requireDomain(FPB_MAX > FPB_MIN, "FPB_MIN < FPB_MAX failed");
    requireDomain(FPB_MIN > 0, "FPB_MIN > 0 failed");
    requireDomain(2 * w + 1 < 512, "WINLEN too high (must be <256");
    // A mean of 0 or below would make every prior score NaN or -inf; a
    // period shorter than D would give its tempo no phase at all; periods
    // are kept as 16-bit back-pointers.
    requireDomain(fpbMean > 0.0f, "fpbMean should be positive.");
    requireDomain(FPB_MIN >= hmmDecimation, "FPB_MIN must be at least hmmDecimation");
    requireDomain(FPB_MAX <= 65535, "FPB_MAX must be below 65536");
    m_tempoCount = FPB_MAX - FPB_MIN + 1;
    buildTables();
}

int BeatTrackCore::sourceDistance(int t, int u) const
{
    const float d =
        std::fabs(m_tempi[static_cast<size_t>(t)].log2Period - m_tempi[static_cast<size_t>(u)].log2Period) *
        500.0f;
    return static_cast<int>(std::lround(d));
}

void BeatTrackCore::buildTables()
{
    const int w = m_window;
    m_gauss.resize(static_cast<size_t>(2 * w + 1));
    const float sigma = static_cast<float>(w) / 5.0f;
    for (int k = 0; k <= 2 * w; ++k)
        m_gauss[static_cast<size_t>(k)] = Numeric::logGaussian(static_cast<float>(k), 0.0f, sigma);

    const int T = m_tempoCount;
    m_tempi.assign(static_cast<size_t>(T), Tempo());
    int64_t states = 0;
    const float ln2 = std::log(2.0f);
    for (int t = 0; t < T; ++t) {
        Tempo& tempo = m_tempi[static_cast<size_t>(t)];
        const int period = m_fpbMin + t;
        tempo.phases = period / m_decimation;
        tempo.offset = static_cast<int>(states);
        tempo.log2Period = std::log(static_cast<float>(period)) / ln2;
        states += tempo.phases;
    }
    m_stateCount = static_cast<int>(states);

    // Each side of a tempo's source range ends before the first tempo that
    // is too far away in log2 period, or at w steps, or at the table's end.
    m_transitions.clear();
    for (int t = 0; t < T; ++t) {
        Tempo& tempo = m_tempi[static_cast<size_t>(t)];
        tempo.lo = t;
        for (int u = t - 1; u >= std::max(t - w, 0) && sourceDistance(t, u) <= 2 * w; --u)
            tempo.lo = u;
        tempo.hi = t + 1;
        for (int u = t + 1; u <= std::min(t + w, T - 1) && sourceDistance(t, u) <= 2 * w; ++u)
            tempo.hi = u + 1;
        tempo.scoreOffset = static_cast<int>(m_transitions.size());
        for (int u = tempo.lo; u < tempo.hi; ++u)
            m_transitions.push_back(m_gauss[static_cast<size_t>(sourceDistance(t, u))]);
    }
    m_beatScores.assign(static_cast<size_t>(T), 0.0f);
}

const BeatTrackCore::Tempo& BeatTrackCore::tempoAt(int t) const
{
    if (t < 0 || t >= m_tempoCount)
        throw std::domain_error("tempo index out of range");
    return m_tempi[static_cast<size_t>(t)];
}

float BeatTrackCore::transitionScore(int u, int t) const
{
    const Tempo& tempo = tempoAt(t);
    if (u < tempo.lo || u >= tempo.hi)
        throw std::domain_error("source tempo outside the range of the tempo");
    return m_transitions[static_cast<size_t>(tempo.scoreOffset + u - tempo.lo)];
}

void BeatTrackCore::addObservation(float onset)
{
    m_observations.push_back(onset);
}

void BeatTrackCore::setStartState(int period, int phase)
{
    const int p = std::min(std::max(period, m_fpbMin), m_fpbMax);
    // A countdown of a whole beat names the phase one past the top; it is
    // the same point of the beat as phase 0, so phases wrap by the phase
    // count of the tempo (not by its period, which would leave the tempo).
    const int phases = m_tempi[static_cast<size_t>(p - m_fpbMin)].phases;
    int j = phase % phases;
    if (j < 0)
        j += phases;
    m_startPeriod = p;
    m_startPhase = j;
    m_hasStartState = 1;
}

int BeatTrackCore::enterTempo(const float* beatScores, int t, float& score) const
{
    const Tempo& tempo = m_tempi[static_cast<size_t>(t)];
    int source = t;
    float best = beatScores[t] + m_gauss[0];
    const float* scores = m_transitions.data() + tempo.scoreOffset;
    for (int u = tempo.lo; u < tempo.hi; ++u) {
        const float candidate = beatScores[u] + scores[u - tempo.lo];
        if (candidate > best) {
            best = candidate;
            source = u;
        }
    }
    score = best;
    return source;
}

void BeatTrackCore::initialScores(std::vector<float>& scores) const
{
    if (m_hasStartState) {
        std::fill(scores.begin(), scores.end(), kImpossible);
        scores[static_cast<size_t>(stateOf(m_startPeriod, m_startPhase))] = 0.0f;
        return;
    }
    for (int t = 0; t < m_tempoCount; ++t) {
        const Tempo& tempo = m_tempi[static_cast<size_t>(t)];
        const float period = static_cast<float>(m_fpbMin + t);
        const float prior = Numeric::logGaussian(period / m_fpbMean, 1.0f, m_fpbStdDev);
        std::fill_n(scores.begin() + tempo.offset, tempo.phases, prior);
    }
}

void BeatTrackCore::step(const std::vector<float>& prev, std::vector<float>& cur, float x,
                         uint16_t* backPointers)
{
    const float onBeat = -0.5f * (x - 3.0f) * (x - 3.0f) - kLogNormConst;
    const float onHalf = -0.5f * (x - 1.5f) * (x - 1.5f) - kLogNormConst;
    const float elsewhere = -0.5f * x * x - kLogNormConst;

    const int T = m_tempoCount;
    for (int u = 0; u < T; ++u)
        m_beatScores[static_cast<size_t>(u)] =
            prev[static_cast<size_t>(m_tempi[static_cast<size_t>(u)].offset)];

    const float* from = prev.data();
    float* to = cur.data();
    for (int t = 0; t < T; ++t) {
        const Tempo& tempo = m_tempi[static_cast<size_t>(t)];
        float entry = 0.0f;
        const int source = enterTempo(m_beatScores.data(), t, entry);
        backPointers[t] = static_cast<uint16_t>(m_fpbMin + source);

        // The phase counts down; the top phase is entered from a beat.
        const int base = tempo.offset;
        const int n = tempo.phases;
        for (int j = 0; j < n - 1; ++j)
            to[base + j] = from[base + j + 1] + elsewhere;
        to[base + n - 1] = entry + elsewhere;
        to[base] = (n > 1 ? from[base + 1] : entry) + onBeat;
        const int half = n / 2;
        if (half != 0)
            to[base + half] = (half < n - 1 ? from[base + half + 1] : entry) + onHalf;
    }

    const auto best = std::max_element(cur.begin(), cur.end());
    const float top = *best;
    m_bestState = static_cast<int>(best - cur.begin());
    for (float& v : cur)
        v -= top;
}

void BeatTrackCore::infer()
{
    m_result.clear();
    m_backPointers.clear();
    m_bestState = -1;
    const size_t count = m_observations.size();
    if (count == 0)
        return;  // nothing to decode, nothing to trace back from

    const size_t T = static_cast<size_t>(m_tempoCount);
    m_backPointers.resize(count * T);
    std::vector<float> prev(static_cast<size_t>(m_stateCount));
    std::vector<float> cur(prev.size());
    initialScores(prev);
    for (size_t i = 0; i < count; ++i) {
        step(prev, cur, m_observations[i], m_backPointers.data() + i * T);
        std::swap(prev, cur);
    }
    backtrack(prev);
}

void BeatTrackCore::backtrack(const std::vector<float>& last)
{
    const size_t count = m_observations.size();
    const size_t T = static_cast<size_t>(m_tempoCount);
    m_result.resize(count);
    int s = static_cast<int>(std::max_element(last.begin(), last.end()) - last.begin());
    int period = 0;
    int phase = 0;
    decodeState(s, period, phase);
    int t = period - m_fpbMin;
    m_result[count - 1] = s;
    for (size_t i = count - 1; i > 0; --i) {
        const Tempo& tempo = m_tempi[static_cast<size_t>(t)];
        if (s - tempo.offset == tempo.phases - 1) {
            // The top phase was entered from the beat of the stored tempo.
            t = m_backPointers[i * T + static_cast<size_t>(t)] - m_fpbMin;
            s = m_tempi[static_cast<size_t>(t)].offset;
        } else {
            ++s;
        }
        m_result[i - 1] = s;
    }
}

int BeatTrackCore::stateAt(int idx) const
{
    if (idx < 0)
        throw std::domain_error("idx must not be negative");
    if (idx >= resultCount())
        throw std::domain_error("idx must be less than the number of times pushData() was called");
    return m_result[static_cast<size_t>(idx)];
}

void BeatTrackCore::decodeState(int s, int& period, int& phase) const
{
    if (s < 0 || s >= m_stateCount)
        throw std::domain_error("state index out of range");
    const auto next = std::upper_bound(m_tempi.begin(), m_tempi.end(), s,
                                       [](int state, const Tempo& tempo) { return state < tempo.offset; });
    const int t = static_cast<int>(next - m_tempi.begin()) - 1;
    period = m_fpbMin + t;
    phase = s - m_tempi[static_cast<size_t>(t)].offset;
}

int BeatTrackCore::stateOf(int period, int phase) const
{
    if (period < m_fpbMin || period > m_fpbMax)
        throw std::domain_error("period outside the tempo range");
    const Tempo& tempo = m_tempi[static_cast<size_t>(period - m_fpbMin)];
    if (phase < 0 || phase >= tempo.phases)
        throw std::domain_error("phase outside the phases of the period");
    return tempo.offset + phase;
}

int BeatTrackCore::backPointer(int t, int i) const
{
    const size_t T = static_cast<size_t>(m_tempoCount);
    if (t < 0 || t >= m_tempoCount || i < 0 || static_cast<size_t>(i) >= m_backPointers.size() / T)
        throw std::out_of_range("back-pointer index out of range");
    return m_backPointers[static_cast<size_t>(i) * T + static_cast<size_t>(t)];
}

}  // namespace RuBeatO
