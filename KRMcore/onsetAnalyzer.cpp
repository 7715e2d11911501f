#include "onsetAnalyzer.h"

#include "base/ResultCode.h"
#include "base/WavSeekerSeq.h"
#include "base/AudioFormat.h"

#include <algorithm>

namespace {

constexpr int32_t kRate = int32_t(krm::audio::kSampleRate);

}  // namespace

OnsetEngineCalls OnsetEngineCalls::library()
{
    return {&OnsetEngine::init, &OnsetEngine::process, &OnsetEngine::finish};
}

onsetAnalyzer::onsetAnalyzer(OnsetEngineCalls engine) : m_engine(std::move(engine))
{ }

uint32_t onsetAnalyzer::analyze(const QString& path, uint32_t& frames, std::vector<float>& onsets)
{
    WavSeekerSeq source(path);
    frames = static_cast<uint32_t>(std::max<int32_t>(0, source.length()));
    if (runOnsetProcess(source, frames, onsets) != krm::kOk) {
        m_error.setError("onset analyze process returens some error!");
        return krm::fail(3);
    }
    return krm::kOk;
}

uint32_t onsetAnalyzer::runOnsetProcess(ISeekable<float>& source, uint32_t frames, std::vector<float>& onsets)
{
    OnsetEngine::State state {};
    std::vector<int32_t> positions;
    const int32_t n = static_cast<int32_t>(frames);
    const OnsetEngine::SourceInfo info {0, 0, n, kRate, 16, 0, n};
    OnsetEngine::Range grid {0, 0, 0, 4, 0, 0, 4};
    const OnsetEngine::Params params {0, 0, 2, 150, 0, 94};

    try {
        m_engine.init(state, info);
    } catch (...) {
        m_engine.finish(state);
        return krm::fail(3);
    }
    // The engine is ended on every way out, also when processing throws.
    struct Finish {
        OnsetEngineCalls& engine;
        OnsetEngine::State& state;
        ~Finish() { engine.finish(state); }
    } finish {m_engine, state};

    m_engine.process(source, state, info, positions, grid, params);
    try {
        onsets.reserve(onsets.size() + positions.size());
        for (int32_t p : positions)
            onsets.push_back(static_cast<float>(p / static_cast<double>(kRate)));
    } catch (...) {
        return krm::fail(4);
    }
    return krm::kOk;
}

IF_onsetAnalyzer* createOnsetAnalyzer()
{
    return new onsetAnalyzer();
}
