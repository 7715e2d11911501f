#include "OfflineHmm.h"

#include "JointHpcpPowPdf.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace tavi {

namespace {

constexpr int kRoots = OfflineHmm::kRoots;
constexpr double kNoSource = -1e60;
constexpr double kFloorScore = -1e30;
constexpr double kNoHypothesis = -1e100;

// Chords change on strong beats: a self transition counts 1000 times on the
// beat after the downbeat and 10 times on the middle beat.
double selfFactor(int beatsPerBar, int beatPosition)
{
    if (beatsPerBar == 3) {
        static const double f3[3] = {1.0, 1000.0, 10.0};
        return f3[beatPosition % 3];
    }
    static const double f4[4] = {1.0, 1000.0, 10.0, 1000.0};
    return f4[beatPosition % 4];
}

void checkRange(int value, int end, const char* what)
{
    if (value >= end)
        throw std::invalid_argument(std::string("OfflineHmm::setFixedHypothesis: ") + what + " " +
                                    std::to_string(value) + " out of range");
}

}  // namespace

void rotateBeatFeature(const std::vector<double>& feature, int root, std::vector<double>& out)
{
    out = feature;
    for (int i = 0; i < kRoots; ++i) {
        out[i] = feature[(root + i) % kRoots];
        out[kRoots + i] = feature[kRoots + (root + i) % kRoots];
    }
}

struct OfflineHmm::Scratch {
    std::vector<double> previous;
    std::vector<double> current;
    std::vector<uint8_t> back;  // beats x states
    std::vector<int> stateOf;   // position -> model state
    std::vector<int> positionOf;
    std::vector<int> path;
};

OfflineHmm::OfflineHmm(int classes, int beatsPerBar) : m_classes(classes), m_beatsPerBar(beatsPerBar)
{
    if (classes < 1 || classes > kMaxClasses)
        throw std::invalid_argument("OfflineHmm: " + std::to_string(classes) + " chord classes (1 to " +
                                    std::to_string(kMaxClasses) + " allowed)");
    if (beatsPerBar < 1)
        throw std::invalid_argument("OfflineHmm: " + std::to_string(beatsPerBar) + " beats per bar");
    m_pdfs.resize(static_cast<size_t>(classes));
    m_transitions.assign(kModes, std::vector<Table>(static_cast<size_t>(beatsPerBar),
                                                    Table(static_cast<size_t>(stateCount()))));
}

int OfflineHmm::setObservationPdf(int classIndex, boost::shared_ptr<JointHpcpPowPdf> pdf)
{
    if (classIndex >= static_cast<int>(m_pdfs.size()))
        return -1;
    m_pdfs.at(static_cast<size_t>(classIndex)) = std::move(pdf);
    return 0;
}

int OfflineHmm::addTransition(int mode, int beatPosition, int from, int to, double count)
{
    if (!(count > 0.0))
        return -1;
    if (mode < 0 || mode >= kModes || beatPosition < 0 || beatPosition >= m_beatsPerBar || from < 0 ||
        from >= stateCount() || to < 0 || to >= stateCount())
        return -1;
    if (from == to)
        count *= selfFactor(m_beatsPerBar, beatPosition);
    m_transitions[mode][beatPosition][to].emplace_back(from, std::log(count));
    return 0;
}

int OfflineHmm::clear()
{
    m_observations.clear();
    return 0;
}

void OfflineHmm::addObservation(const std::vector<double>& feature)
{
    if (feature.size() < static_cast<size_t>(2 * kRoots))
        throw std::invalid_argument("OfflineHmm::addObservation: a beat feature needs 24 values, got " +
                                    std::to_string(feature.size()));
    m_observations.push_back(feature);
}

void OfflineHmm::setFixedHypothesis(int mode, int phase, int key)
{
    checkRange(mode, kModes, "mode");
    checkRange(phase, m_beatsPerBar, "phase");
    checkRange(key, kKeys, "key");
    m_fixedMode = mode;
    m_fixedPhase = phase;
    m_fixedKey = key;
}

void OfflineHmm::chosenHypothesis(int& mode, int& phase, int& key) const
{
    mode = m_mode;
    phase = m_phase;
    key = m_key;
}

const std::vector<std::pair<int, double>>& OfflineHmm::transitionsInto(int mode, int beatPosition,
                                                                       int to) const
{
    return m_transitions.at(static_cast<size_t>(mode))
        .at(static_cast<size_t>(beatPosition))
        .at(static_cast<size_t>(to));
}

// obs[t * S + 12 c + r]: class c's density of beat t rotated so that root r
// sits at pitch class 0.
void OfflineHmm::scoreObservations(std::vector<double>& obs)
{
    const int S = stateCount();
    const int T = observationCount();
    for (int c = 0; c < m_classes && T > 0; ++c) {
        if (!m_pdfs[static_cast<size_t>(c)])
            throw std::logic_error("OfflineHmm::decode: chord class " + std::to_string(c) +
                                   " has no observation model");
    }
    obs.assign(static_cast<size_t>(T) * S, 0.0);
    m_winning.assign(static_cast<size_t>(T) * S, 0);
    std::vector<double> rotated;
    for (int t = 0; t < T; ++t) {
        const std::vector<double>& f = m_observations[static_cast<size_t>(t)];
        for (int r = 0; r < kRoots; ++r) {
            rotateBeatFeature(f, r, rotated);
            for (int c = 0; c < m_classes; ++c) {
                JointHpcpPowPdf& pdf = *m_pdfs[static_cast<size_t>(c)];
                const size_t at = static_cast<size_t>(t) * S + kRoots * c + r;
                obs[at] = pdf.logDensity(rotated);
                m_winning[at] = pdf.bass().lastMaxIndex();
            }
        }
    }
}

double OfflineHmm::decodeHypothesis(const std::vector<double>& obs, int mode, int phase, int key,
                                    Scratch& s) const
{
    const int S = stateCount();
    const int T = observationCount();
    s.path.assign(static_cast<size_t>(T), 0);
    if (T == 0)
        return 0.0;

    // Position j = 12 c + r holds absolute root r; the model sees it relative
    // to the key.
    s.stateOf.resize(static_cast<size_t>(S));
    s.positionOf.resize(static_cast<size_t>(S));
    for (int j = 0; j < S; ++j) {
        const int c = j / kRoots;
        const int r = j % kRoots;
        const int state = kRoots * c + (kRoots - key + r) % kRoots;
        s.stateOf[j] = state;
        s.positionOf[state] = j;
    }

    s.previous.assign(obs.begin(), obs.begin() + S);
    s.current.assign(static_cast<size_t>(S), 0.0);
    s.back.assign(static_cast<size_t>(T) * S, 0);
    int b = phase;
    for (int t = 1; t < T; ++t) {
        const auto& table = m_transitions[mode][b];
        const double* o = obs.data() + static_cast<size_t>(t) * S;
        uint8_t* back = s.back.data() + static_cast<size_t>(t) * S;
        for (int j = 0; j < S; ++j) {
            double best = kNoSource;
            int from = 0;
            for (const auto& e : table[s.stateOf[j]]) {
                const int p = s.positionOf[e.first];
                const double candidate = s.previous[p] + e.second;
                if (candidate > best) {
                    best = candidate;
                    from = p;
                }
            }
            s.current[j] = std::max(o[j] + best, kFloorScore);
            back[j] = static_cast<uint8_t>(from);
        }
        s.previous.swap(s.current);
        b = (b + 1) % m_beatsPerBar;
    }

    int last = 0;
    for (int j = 1; j < S; ++j) {
        if (s.previous[j] > s.previous[last])
            last = j;
    }
    const double score = s.previous[last];
    s.path[T - 1] = last;
    for (int t = T - 1; t > 0; --t)
        s.path[t - 1] = s.back[static_cast<size_t>(t) * S + s.path[t]];
    return score;
}

double OfflineHmm::decode()
{
    std::vector<double> obs;
    scoreObservations(obs);

    const int modeFirst = m_fixedMode >= 0 ? m_fixedMode : 0;
    const int modeEnd = m_fixedMode >= 0 ? m_fixedMode + 1 : kModes;
    const int phaseFirst = m_fixedPhase >= 0 ? m_fixedPhase : 0;
    const int phaseEnd = m_fixedPhase >= 0 ? m_fixedPhase + 1 : m_beatsPerBar;
    const int keyFirst = m_fixedKey >= 0 ? m_fixedKey : 0;
    const int keyEnd = m_fixedKey >= 0 ? m_fixedKey + 1 : kKeys;

    Scratch s;
    std::vector<int> bestPath;
    double best = kNoHypothesis;
    bool chosen = false;  // the first hypothesis stands even when nothing scores
    for (int m = modeFirst; m < modeEnd; ++m) {
        for (int p = phaseFirst; p < phaseEnd; ++p) {
            for (int k = keyFirst; k < keyEnd; ++k) {
                const double score = decodeHypothesis(obs, m, p, k, s);
                if (score > best || !chosen) {
                    chosen = true;
                    best = score;
                    m_mode = m;
                    m_phase = p;
                    m_key = k;
                    bestPath.swap(s.path);
                }
            }
        }
    }

    const int S = stateCount();
    const int T = observationCount();
    const int B = m_beatsPerBar;
    m_path.assign(static_cast<size_t>(T), 0);
    m_pathWinning.assign(static_cast<size_t>(T), 0);
    for (int t = 0; t < T; ++t) {
        const int position = bestPath[static_cast<size_t>(t)];
        m_pathWinning[t] = m_winning[static_cast<size_t>(t) * S + position];
        const int barPosition = (m_phase - 1 + B + t) % B;
        m_path[t] = position + S * (barPosition + B * (m_mode + kModes * m_key));
    }
    return T == 0 ? 0.0 : best;
}

}  // namespace tavi
