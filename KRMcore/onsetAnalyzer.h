#pragma once
// The onset analyser job: finds the note onsets of a working WAV file with
// the analysis library's onset engine and hands them out in seconds.
#include "IF_onsetAnalyzer.h"
#include "Onset/OnsetEngine.h"
#include "base/ErrorState.h"

#include <functional>

// The three calls of the onset engine's lifecycle; the job uses the
// library's own unless a test puts stand-ins in.
struct OnsetEngineCalls {
    std::function<void(OnsetEngine::State&, const OnsetEngine::SourceInfo&)> init;
    std::function<void(ISeekable<float>&, OnsetEngine::State&, const OnsetEngine::SourceInfo&,
                       std::vector<int32_t>&, OnsetEngine::Range&, const OnsetEngine::Params&)>
        process;
    std::function<void(OnsetEngine::State&)> finish;

    static OnsetEngineCalls library();
};

class onsetAnalyzer : public IF_onsetAnalyzer {
public:
    explicit onsetAnalyzer(OnsetEngineCalls engine = OnsetEngineCalls::library());

    // Writes the file's frame count into `frames` and appends the onset
    // times (seconds, ascending) behind what `onsets` already holds.
    // 0x80000003 with an error text when the engine cannot start or the
    // list cannot grow; an exception of the engine's processing passes
    // through unchanged (the engine is ended first).
    uint32_t analyze(const QString& path, uint32_t& frames, std::vector<float>& onsets) override;
    QString errorText() override { return m_error.errorText(); }
    void clearError() override { m_error.clearError(); }
    bool hasError() override { return m_error.hasError(); }

private:
    uint32_t runOnsetProcess(ISeekable<float>& source, uint32_t frames, std::vector<float>& onsets);

    OnsetEngineCalls m_engine;
    krm::ErrorState m_error;
};
