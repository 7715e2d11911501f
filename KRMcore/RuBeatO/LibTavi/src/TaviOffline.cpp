#include "TaviOffline.h"

#include "AudioFormat.h"
#include "BeatPeriodicityScorer.h"
#include "BeatSliceFeatureGenerator.h"
#include "CBeatDetect.h"
#include "ModelTextReaders.h"
#include "OfflineHmm.h"
#include "TaviHmm.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace tavi {

namespace {

constexpr double kSampleRate = krm::audio::kSampleRate;
constexpr size_t kStrengthIndex = 25;  // the treble energy of a beat feature
constexpr double kForbiddenMeter = -10000.0;
constexpr int kSimpleMeter = 2;
constexpr int kCompoundMeter = 3;

int hypothesisHop(int level, int meterType)
{
    if (level == 1)
        return 1;
    if (level == 0)
        return meterType;
    return 2 * meterType;
}

// The first strictly greatest of scores[0 .. count - 1].
int firstBest(const std::array<double, TaviOffline::kMaxHypotheses>& scores, int count)
{
    int best = 0;
    for (int k = 1; k < count; ++k) {
        if (scores[static_cast<size_t>(k)] > scores[static_cast<size_t>(best)])
            best = k;
    }
    return best;
}

}  // namespace

TaviOffline::TaviOffline()
{
    m_scores.fill(kEmptyPathScore);
}

TaviOffline::~TaviOffline() = default;

Eigen::MatrixXd TaviOffline::meterPrior()
{
    Eigen::MatrixXd prior = Eigen::MatrixXd::Constant(4, 5, kForbiddenMeter);
    prior(2, 3) = 0.0;
    prior(2, 4) = 0.0;
    prior(3, 2) = 0.0;
    prior(3, 3) = 0.0;
    return prior;
}

uint32_t TaviOffline::initialize(int, const std::wstring& modelFolder, int hop, int maxBeatsPerBar)
{
    if (hop < 2 || hop % 2 != 0 || hop > m_frameLength)
        return kTaviInvalidParameter;
    m_maxBeatsPerBar = maxBeatsPerBar;
    m_modelFolder = modelFolder;
    m_hop = hop;
    m_generator = boost::make_shared<BeatSliceFeatureGenerator>(m_frameLength, hop);
    m_beatFeatures.clear();
    m_samplesPushed = 0;
    if (maxBeatsPerBar == 0 || maxBeatsPerBar > kMaxBeatsPerBar)
        return kTaviInvalidParameter;
    loadModels(maxBeatsPerBar < 0 ? kMaxBeatsPerBar : maxBeatsPerBar);
    if (m_loadStatus != 0)
        return static_cast<uint32_t>(m_loadStatus);

    m_previous = BeatRecord();
    m_chosen = 0;
    m_chosenBeats = 0;
    m_beatCounter = 0;
    m_barCounter = 0;
    m_history = ChordHistory();
    m_sampleOffset = 0;
    return kTaviOk;
}

uint32_t TaviOffline::setParams(int level, int hypothesis, int meterType)
{
    if (meterType != -1 && meterType != kSimpleMeter && meterType != kCompoundMeter)
        return kTaviInvalidParameter;
    if (level < -1 || level > 1)
        return kTaviInvalidParameter;
    if (hypothesis < -1 || hypothesis >= kMaxHypotheses)
        return kTaviInvalidParameter;
    m_level = level;
    m_hypothesis = hypothesis;
    m_meterType = meterType;
    return kTaviOk;
}

uint32_t TaviOffline::pushData(const float* samples, unsigned count)
{
    BeatSliceFeatureGenerator& generator = requireGenerator();
    if (count > 0 && samples == nullptr)
        throw std::invalid_argument("TaviOffline::pushData: no samples for a count of " +
                                    std::to_string(count));
    // The generator takes int counts; a huge count goes in pieces.
    constexpr unsigned kPiece = 1u << 30;
    for (unsigned done = 0; done < count;) {
        const unsigned n = std::min(kPiece, count - done);
        generator.pushData(samples + done, static_cast<int>(n));
        done += n;
    }
    m_samplesPushed += count;
    return kTaviOk;
}

void TaviOffline::loadModels(int beatsPerBar)
{
    std::unique_ptr<ITaviPlainTextStreamReader> reader;
    if (m_modelFolder.empty())
        reader.reset(new TaviPlainTextResourceStreamReader());
    else
        reader.reset(new TaviPlainTextFileStreamReader(m_modelFolder, L"Mixture"));
    TaviHmmPlainTextFactory factory(*reader, decoderCreator());
    m_model.reset(factory.create(m_featureCode, true, 0, beatsPerBar));
    m_loadStatus = factory.status();
    if (m_loadStatus != 0) {
        std::printf("OOPS! errorCode=%d %s %d \n", m_loadStatus, __FILE__, __LINE__);
        std::fflush(stdout);
    }
}

DecoderCreator TaviOffline::decoderCreator() const
{
    return createOfflineHmm;
}

BeatSliceFeatureGenerator& TaviOffline::requireGenerator() const
{
    if (!m_generator)
        throw std::runtime_error("TAVI Cannot be initialized");
    return *m_generator;
}

const TaviHmm& TaviOffline::requireModel() const
{
    if (!m_model || m_loadStatus != 0 || !m_model->decoder())
        throw std::runtime_error("TAVI Cannot be initialized");
    return *m_model;
}

OfflineHmm& TaviOffline::offlineDecoder() const
{
    const boost::shared_ptr<OfflineHmm> hmm =
        boost::dynamic_pointer_cast<OfflineHmm>(requireModel().decoder());
    if (!hmm)
        throw std::domain_error("p_hmm null");
    return *hmm;
}

void TaviOffline::loadObservations(int hypothesis, int hop)
{
    if (hop < 1)
        throw std::domain_error("hop<1");
    OfflineHmm& hmm = offlineDecoder();
    requireGenerator().selectChordFeatures(m_beatFeatures, m_featureCode, hypothesis, hop, kMedian);
    hmm.clear();
    for (const std::vector<double>& feature : m_beatFeatures)
        hmm.addObservation(feature);
}

double TaviOffline::decodeHypothesis(int k, int hop)
{
    loadObservations(k, hop);
    OfflineHmm& hmm = offlineDecoder();
    const TaviHmm& model = requireModel();
    const BeatSliceFeatureGenerator& generator = requireGenerator();
    const double logLikelihood = hmm.decode();
    const int n = hmm.pathLength();

    HypothesisPath& path = m_paths.at(static_cast<size_t>(k));
    path = HypothesisPath();
    std::vector<BassBeat> bassBeats(static_cast<size_t>(n));
    int mode = 0, key = 0;
    for (int j = 0; j < n; ++j) {
        const std::vector<double>& feature = m_beatFeatures[static_cast<size_t>(j)];
        const int state = hmm.pathState(j);
        BassBeat& b = bassBeats[static_cast<size_t>(j)];
        model.decomposeState(state, b.root, b.chordClass, mode, b.barPosition, key);
        std::copy(feature.begin(), feature.begin() + 12, b.chroma.begin());
        path.states.push_back(state);
        path.times.push_back(static_cast<float>(generator.beatTime(j)));
        path.strengths.push_back(feature.size() > kStrengthIndex ? static_cast<float>(feature[kStrengthIndex])
                                                                 : 0.0f);
    }
    path.bass = trackBass(bassBeats, model.beatsPerBar());
    int phase = 0;
    hmm.chosenHypothesis(mode, phase, key);
    path.startBarPosition = phase;
    return n > 0 ? logLikelihood / n : kEmptyPathScore;
}

void TaviOffline::estimateMeter()
{
    std::vector<std::vector<double>> powers;
    requireGenerator().selectChordFeatures(powers, kOctavePowers, 0, 1, kMedian);
    BeatPeriodicityScorer scorer(kMeterScorerSize);
    scorer.setPrior(meterPrior());
    scorer.score(powers);
    int meterType = m_meterType;
    int beatsPerBar = m_maxBeatsPerBar;
    scorer.bestCell(meterType, beatsPerBar);
    m_meterType = meterType;
    m_maxBeatsPerBar = beatsPerBar;
    loadModels(beatsPerBar);
}

// Level 1 has one hypothesis; level 0 decodes each of the meter type's
// tracked beats; level -1 (2m hypotheses) first finds the best of the
// first m, then tries only the hypotheses m apart from it.
void TaviOffline::decodeHypotheses()
{
    if (m_meterType < 0 || m_maxBeatsPerBar < 0)
        estimateMeter();
    requireModel();
    const int hop = hypothesisHop(m_level, m_meterType);
    m_scores.fill(kEmptyPathScore);
    for (HypothesisPath& p : m_paths)
        p = HypothesisPath();

    if (m_hypothesis >= 0 && m_hypothesis < hop) {
        m_scores[static_cast<size_t>(m_hypothesis)] = decodeHypothesis(m_hypothesis, hop);
        m_chosen = m_hypothesis;
    } else {
        if (hop <= 3) {
            for (int k = 0; k < hop; ++k)
                m_scores[static_cast<size_t>(k)] = decodeHypothesis(k, hop);
        } else {
            const int m = m_meterType;
            for (int k = 0; k < m; ++k)
                m_scores[static_cast<size_t>(k)] = decodeHypothesis(k, hop);
            const int best = firstBest(m_scores, m);
            for (int k = 0; k < m; ++k) {
                if (k != best)
                    m_scores[static_cast<size_t>(k)] = kEmptyPathScore;
            }
            for (int k = best + m; k < hop; k += m)
                m_scores[static_cast<size_t>(k)] = decodeHypothesis(k, hop);
        }
        m_chosen = firstBest(m_scores, hop);
    }
    const HypothesisPath& chosen = m_paths[static_cast<size_t>(m_chosen)];
    m_chosenBeats = static_cast<int>(chosen.states.size());
    m_startBarPosition = chosen.startBarPosition;
    loadObservations(m_chosen, hop);
}

void TaviOffline::timeSignature(int& beatsPerBar, int& beatUnit) const
{
    if (m_meterType == kSimpleMeter) {
        beatsPerBar = m_maxBeatsPerBar;
        beatUnit = 4;
    } else if (m_meterType == kCompoundMeter) {
        beatsPerBar = 3 * m_maxBeatsPerBar;
        beatUnit = 8;
    } else {
        beatsPerBar = 4;
        beatUnit = 4;
    }
}

void TaviOffline::reportBeats()
{
    const TaviHmm& model = requireModel();
    const std::vector<int32_t>& types = model.classTable();
    int beatsPerBar = 4, beatUnit = 4;
    timeSignature(beatsPerBar, beatUnit);
    const HypothesisPath& path = m_paths[static_cast<size_t>(m_chosen)];
    std::vector<float> values;
    for (size_t i = 0; i < path.states.size(); ++i) {
        int root = 0, chordClass = 0, mode = 0, barPosition = 0, key = 0;
        model.decomposeState(path.states[i], root, chordClass, mode, barPosition, key);
        const int bass = path.bass[i];
        const int b = m_beatCounter;
        const int64_t position = m_sampleOffset + static_cast<int64_t>(path.times[i] * kSampleRate);

        if (beatPositionCallback)
            beatPositionCallback(static_cast<int>(position), b, beatPositionUser);
        if (beatCallback)
            beatCallback(b, b, 1.0, beatUser);
        if ((key != m_previous.key || mode != m_previous.mode) && keyCallback)
            keyCallback(b, key, mode, 1.0, keyUser);
        if (barPosition == 0) {
            if (barCallback)
                barCallback(b, m_barCounter, beatsPerBar, beatUnit, 1.0, barUser);
            ++m_barCounter;
        }
        if (beatFeatureCallback && i < m_beatFeatures.size()) {
            const std::vector<double>& feature = m_beatFeatures[i];
            values.assign(feature.begin(), feature.end());
            beatFeatureCallback(b, values.data(), static_cast<int>(values.size()), beatFeatureUser);
        }

        const int classType =
            chordClass < static_cast<int>(types.size()) ? types[static_cast<size_t>(chordClass)] : -1;
        const int chordType = keptChordType(m_previous.root, m_previous.chordType, root, classType);
        ChordReport report;
        if (m_history.push(ChordReport {b, root, chordType, bass, 0}, path.strengths[i], report) &&
            chordCallback)
            chordCallback(report.beat, report.root, report.chordType, report.bass, report.reserved, 1.0,
                          chordUser);

        m_previous = BeatRecord {root, chordType, mode, barPosition, key, bass, beatsPerBar, beatUnit};
        ++m_beatCounter;
    }
}

uint32_t TaviOffline::run()
{
    BeatSliceFeatureGenerator& generator = requireGenerator();
    requireModel();
    generator.finish();
    decodeHypotheses();
    reportBeats();
    if (endCallback)
        endCallback(0, endUser);
    m_sampleOffset = m_samplesPushed;
    return kTaviOk;
}

void TaviOffline::reset()
{
    if (!m_generator)
        return;
    m_beatFeatures.clear();
    m_generator->reset(true);
    if (m_model && m_model->decoder())
        m_model->decoder()->clear();
}

void TaviOffline::decodePartial()
{
    run();
    BeatSliceFeatureGenerator& generator = requireGenerator();
    int period = 0, countdown = 0;
    const bool tracked = generator.beatDetector()->getNumFrames() > 0;
    if (tracked)
        generator.getInfoAtLatestFrame(period, countdown);
    const TaviHmm& model = requireModel();
    const int next = (m_startBarPosition + m_chosenBeats) % model.beatsPerBar();

    reset();
    if (tracked)
        generator.setInitialState(period, countdown);
    if (setParams(m_level, m_chosen, m_meterType) != kTaviOk) {
        std::printf("OOPS! %s %d \n", __FILE__, __LINE__);
        std::fflush(stdout);
    }
    offlineDecoder().setFixedHypothesis(-1, next, -1);
}

}  // namespace tavi
