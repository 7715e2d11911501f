// Reading the working WAV file as the analysis does (180-frame blocks and
// frame by frame) and making the working copy of an imported file, on five
// minutes of stereo audio. Counters: frames per second and the real-time
// factor (seconds of audio handled per second of work).
#include "IF_audioFileMngr.h"
#include "WavFile.h"
#include "WavSeekerSeq.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrames = 5 * 60 * kRate;

// One five-minute canonical file for every benchmark of the run.
struct Fixture {
    QTemporaryDir dir;
    QString wav;
    Fixture()
    {
        wav = dir.filePath("five_minutes.wav");
        std::vector<uint8_t> data(size_t(kFrames) * 4);
        uint32_t x = 1;
        for (size_t i = 0; i < data.size(); ++i) {
            x = x * 1664525u + 1013904223u;
            data[i] = uint8_t(x >> 24);
        }
        if (writeWavFile(wav, data.data(), uint32_t(data.size())) != 0)
            wav.clear();
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void setCounters(benchmark::State& state, int64_t framesPerIteration)
{
    const double frames = double(framesPerIteration) * double(state.iterations());
    state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["realtime_factor"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

void BM_WavSeekerSeqRead(benchmark::State& state)
{
    const int32_t block = int32_t(state.range(0));
    if (fixture().wav.isEmpty()) {
        state.SkipWithError("cannot write the test file");
        return;
    }
    WavSeekerSeq source(fixture().wav);
    std::vector<float> buffer(size_t(block) * 2);
    int64_t frames = 0;
    for (auto _ : state) {
        source.seek(0);
        frames = 0;
        int32_t n;
        while ((n = source.read(buffer.data(), block)) > 0)
            frames += n;
        benchmark::DoNotOptimize(buffer.data());
    }
    if (frames != kFrames)
        state.SkipWithError("short read");
    setCounters(state, frames);
}
BENCHMARK(BM_WavSeekerSeqRead)->Arg(180)->Arg(1)->ArgName("frames_per_read")->Unit(benchmark::kMillisecond);

void BM_CopyAudioFile(benchmark::State& state)
{
    if (fixture().wav.isEmpty()) {
        state.SkipWithError("cannot write the test file");
        return;
    }
    std::unique_ptr<IF_audioFileMngr> m(createAudioFileMngr());
    const std::wstring source = fixture().wav.toStdWString();
    const QString destination = fixture().dir.filePath("KRM_temp.wav");
    for (auto _ : state) {
        if (m->copyAudioFile(source, destination) != 0) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    setCounters(state, kFrames);
}
BENCHMARK(BM_CopyAudioFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
