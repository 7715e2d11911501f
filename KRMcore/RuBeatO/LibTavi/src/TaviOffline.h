#pragma once
// The offline chord recogniser: collects mono audio at 44100 Hz, tracks
// its beats, cuts beat-synchronous chord features, decides the meter
// (when asked to), decodes key, bar position and chord per beat with the
// chord model, follows the bass, and reports every beat through the
// callback table (ITavi.h).
//
// The beat tracker reports beats at twice its decoded rate. A counted beat
// is every H-th tracked beat (H from the level and the meter type, see
// setParams); which of the H tracked beats starts the grid is the
// hypothesis. Each run decodes the candidate hypotheses and reports the
// best one by its chord model score per beat.
//
// Lifecycle: initialize; setParams (optional: level 0, search, estimate);
// pushData any number of times; then run once, or decodePartial after each
// stretch and run at the end (the semi-offline recogniser does this). Beat
// and bar counts, the previous beat's key and chord, and the chord history
// carry over from one pass to the next. Single-threaded.
#include "ChordSteps.h"
#include "ITavi.h"
#include "TaviHmmFactory.h"

#include <Eigen/Dense>
#include <boost/shared_ptr.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavi {

class BeatSliceFeatureGenerator;
class OfflineHmm;
class TaviHmm;

class TaviOffline : public ITavi {
public:
    static constexpr int kMaxHypotheses = 6;
    static constexpr int kFrameLength = 16384;
    static constexpr int kMeterScorerSize = 1024;
    // The most beats per bar the chord model texts and the bass search
    // cover.
    static constexpr int kMaxBeatsPerBar = 4;
    // Score of a hypothesis whose path is empty: below any decoded path.
    static constexpr double kEmptyPathScore = -1e10;

    TaviOffline();
    ~TaviOffline() override;

    // Builds the feature generator (16384-sample semitone frames, `hop`
    // samples per block: even, 2 to 16384; std::invalid_argument
    // otherwise) and loads the chord models for maxBeatsPerBar (4 when it
    // is negative: the meter is then estimated at the first run). Returns
    // 6 for maxBeatsPerBar 0 or above 4 (the generator is built, no model
    // is loaded), the model loader's status when loading fails (the failure
    // is printed as "OOPS! errorCode=..."), else 0 with the counters, the
    // previous beat and the sample offset cleared.
    uint32_t initialize(int first, const std::wstring& modelFolder, int hop, int maxBeatsPerBar) override;

    // level -1..1; hypothesis -1..5 (a fixed hypothesis at or above the
    // level's hypothesis count H is searched instead); meterType -1, 2 or
    // 3. H is 1 for level 1, meterType for level 0, 2 x meterType for
    // level -1. Returns 6 with nothing stored for any other value.
    uint32_t setParams(int level, int hypothesis, int meterType) override;

    // Decodes everything pushed since the previous pass, reports it (entry
    // 5 at the end) and returns 0. Throws std::runtime_error "TAVI Cannot
    // be initialized" without a usable chord model (initialize failed or was
    // not called, or the models for an estimated meter failed to load),
    // std::domain_error "p_hmm null" when the model's decoder is not the
    // offline decoder, and what the beat tracker throws.
    uint32_t run() override;

    // Hands the samples to the feature generator and counts them. Returns
    // 0; throws std::runtime_error "TAVI Cannot be initialized" before
    // initialize has built the generator, and
    // std::invalid_argument for null samples with a non-zero count.
    uint32_t pushData(const float* samples, unsigned count) override;

    // Intermediate pass: run, then start the next stretch from where this
    // one ended: the beat tracker's tempo and phase, the chosen hypothesis
    // (fixed from now on) and the bar position of the next beat. The
    // meter, once estimated, stays. Throws as run does.
    void decodePartial();

    // Forgets the features of the current stretch and starts the next
    // stretch afresh (feature extraction and the beat tracker restart, the
    // beat numbering of the tracker runs on); forgets the chord model's
    // observations. Does nothing before initialize.
    void reset();

    // Selects the chord features of every `hop`-th tracked beat from beat
    // `hypothesis` into the beat feature list and gives them to the chord
    // model as its observations. Throws std::domain_error "hop<1" for hop
    // below 1, "p_hmm null" for a model whose decoder is not the offline
    // decoder, and std::runtime_error "TAVI Cannot be initialized" without
    // a model. Call it after the generator has listed its beats (run).
    void loadObservations(int hypothesis, int hop);

    // The time signature reported with each bar: meter type 2 gives
    // maxBeatsPerBar / 4, type 3 gives 3 x maxBeatsPerBar / 8, anything
    // else 4 / 4.
    void timeSignature(int& beatsPerBar, int& beatUnit) const;

    // The meter grid the recogniser may choose from: only (2, 3), (2, 4),
    // (3, 2) and (3, 3) have log prior 0, every other cell -10000.
    static Eigen::MatrixXd meterPrior();

    int level() const { return m_level; }
    int hypothesis() const { return m_hypothesis; }
    int meterType() const { return m_meterType; }
    int maxBeatsPerBar() const { return m_maxBeatsPerBar; }
    int hop() const { return m_hop; }
    int beatCounter() const { return m_beatCounter; }
    int barCounter() const { return m_barCounter; }
    int64_t samplesPushed() const { return m_samplesPushed; }
    int64_t sampleOffset() const { return m_sampleOffset; }
    int loadStatus() const { return m_loadStatus; }
    // After a run: the chosen hypothesis, its beat count and each
    // hypothesis's score (kEmptyPathScore when not decoded or empty).
    int chosenHypothesis() const { return m_chosen; }
    int chosenBeatCount() const { return m_chosenBeats; }
    double hypothesisScore(int k) const { return m_scores.at(static_cast<size_t>(k)); }
    int startBarPosition() const { return m_startBarPosition; }
    const std::vector<std::vector<double>>& beatFeatures() const { return m_beatFeatures; }
    const boost::shared_ptr<BeatSliceFeatureGenerator>& featureGenerator() const { return m_generator; }
    const boost::shared_ptr<TaviHmm>& model() const { return m_model; }
    const ChordHistory& chordHistory() const { return m_history; }

protected:
    // Decodes hypothesis k with H = hop: loads its observations, decodes
    // them, follows the bass and keeps the path; returns the path's score
    // per beat (kEmptyPathScore for an empty path).
    virtual double decodeHypothesis(int k, int hop);

    // Makes the chord model's decoder; the offline decoder unless a
    // derived recogniser says otherwise.
    virtual DecoderCreator decoderCreator() const;

private:
    struct HypothesisPath {
        std::vector<int> states;
        std::vector<int> bass;
        std::vector<float> times;
        std::vector<float> strengths;
        int startBarPosition = 0;
    };
    // What the previous reported beat decided.
    struct BeatRecord {
        int root = -1;
        int chordType = -1;
        int mode = -1;
        int barPosition = -1;
        int key = -1;
        int bass = -1;
        int beatsPerBar = 4;
        int beatUnit = 4;
    };

    void loadModels(int beatsPerBar);
    void estimateMeter();
    void decodeHypotheses();
    void reportBeats();
    OfflineHmm& offlineDecoder() const;
    const TaviHmm& requireModel() const;
    BeatSliceFeatureGenerator& requireGenerator() const;

    std::wstring m_modelFolder;
    int m_maxBeatsPerBar = 0;
    int m_meterType = -1;
    int m_beatCounter = 0;
    int m_barCounter = 0;
    int64_t m_samplesPushed = 0;
    int m_level = 0;
    int m_hypothesis = -1;
    int m_loadStatus = 0;
    std::vector<std::vector<double>> m_beatFeatures;
    boost::shared_ptr<BeatSliceFeatureGenerator> m_generator;
    boost::shared_ptr<TaviHmm> m_model;
    int m_featureCode = TaviHmmPlainTextFactory::kFeatureType;
    int m_frameLength = kFrameLength;
    int m_hop = 0;
    ChordHistory m_history;
    int m_chosen = 0;
    std::array<double, kMaxHypotheses> m_scores;
    std::array<HypothesisPath, kMaxHypotheses> m_paths;
    int64_t m_sampleOffset = 0;
    int m_chosenBeats = 0;
    BeatRecord m_previous;
    int m_startBarPosition = 0;
};

}  // namespace tavi
