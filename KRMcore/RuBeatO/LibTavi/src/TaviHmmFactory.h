#pragma once
// Builds chord models from plain texts.
#include "ITaviHmm.h"
#include "TaviHmm.h"

#include <boost/shared_ptr.hpp>

#include <functional>

namespace tavi {

class ITaviPlainTextStreamReader;

class ITaviHmmFactory {
public:
    // A new model (the caller owns it); see the implementation for how the
    // load is reported.
    virtual TaviHmm* create(int& featureType, bool keyAndMeter, int unused, int beatsPerBar) = 0;
    virtual ~ITaviHmmFactory() = default;
    // Status of the latest load: 0 success, 1 failure.
    virtual int status() const = 0;
};

// Makes the decoder of a model from (classes, beats per bar, user value).
using DecoderCreator = std::function<boost::shared_ptr<ITaviHmm>(int classes, int beatsPerBar, void* user)>;

// The offline decoder (OfflineHmm) for the given shape.
boost::shared_ptr<ITaviHmm> createOfflineHmm(int classes, int beatsPerBar, void* user);

class TaviHmmPlainTextFactory : public ITaviHmmFactory {
public:
    // The feature code the loaded models decode: the 26-value beat feature.
    static constexpr int kFeatureType = 4;

    // reader: owned by the caller and kept alive while the factory loads.
    explicit TaviHmmPlainTextFactory(ITaviPlainTextStreamReader& reader,
                                     DecoderCreator creator = createOfflineHmm, void* user = nullptr);

    // Builds a TaviHmm (two modes, beatsPerBar beats and twelve keys when
    // keyAndMeter, else one of each) and loads it from the reader: the chord
    // list, one density per class and the transition counts of every mode
    // and beat position. featureType becomes kFeatureType once the chord
    // list has loaded. The model is returned even when loading fails;
    // status() then gives 1. A load fails when the chord list or a needed
    // text cannot be opened or is malformed or truncated, when a class index
    // is outside 0 .. lines - 1 or a class has no line or no density, or when
    // there are no classes or more than OfflineHmm::kMaxClasses.
    // Throws std::invalid_argument for beatsPerBar < 1 with keyAndMeter.
    TaviHmm* create(int& featureType, bool keyAndMeter, int unused, int beatsPerBar) override;
    int status() const override { return m_status; }

private:
    bool loadChordList(TaviHmm& hmm);
    bool loadPdfs(const TaviHmm& hmm, std::vector<boost::shared_ptr<JointHpcpPowPdf>>& pdfs);
    bool loadTransitions(const TaviHmm& hmm);

    DecoderCreator m_creator;
    void* m_user;
    int m_status = 0;
    ITaviPlainTextStreamReader& m_reader;
};

}  // namespace tavi
