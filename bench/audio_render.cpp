// The audition's render and its start and stop latency.
//  - BM_Render: one 2048-frame buffer (46.4 ms of audio) with 500 click
//    triggers in the lists and both click sounds playing through it, read
//    from files as on the device thread. Counters: mean and worst buffer
//    time in ms and the worst as a share of the buffer's own duration (the
//    render must stay far below 1).
//  - BM_PlayToFirstBlock / BM_StopToClosedOutput: on the null output (paced
//    like a sound card), the time from `play` to the first rendered playing
//    block, and from `stop` to a closed output with its thread joined.
#include "AudioDeviceASFF.h"
#include "AudioOutDeviceCallbackSeq.h"
#include "CKRMcore.h"
#include "KRMAudition.h"
#include "WavFile.h"
#include "WavSeeker_libSndFile.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBuffer = 2048;
constexpr double kBufferMs = 1000.0 * kBuffer / 44100.0;

// A stereo file of `frames` frames of a quiet tone.
QString writeTone(const QTemporaryDir& dir, const char* name, int frames, double hz, double amplitude)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i) {
        const auto v = int16_t(amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * i / 44100.0));
        for (int c = 0; c < 2; ++c) {
            bytes.push_back(uint8_t(uint16_t(v) & 0xFF));
            bytes.push_back(uint8_t(uint16_t(v) >> 8));
        }
    }
    const QString path = dir.filePath(name);
    return writeWavFile(path, bytes.data(), uint32_t(bytes.size())) == 0 ? path : QString();
}

struct Files {
    QTemporaryDir dir;
    QString song = writeTone(dir, "song.wav", 60 * 44100, 220.0, 0.3);
    // Longer than a buffer, so that once triggered a click sounds through
    // every buffer measured.
    QString click1 = writeTone(dir, "click1.wav", 3 * kBuffer, 1760.0, 0.3);
    QString click2 = writeTone(dir, "click2.wav", 3 * kBuffer, 1320.0, 0.3);
    bool ok() const { return !song.isEmpty() && !click1.isEmpty() && !click2.isEmpty(); }
};

Files& files()
{
    static Files f;
    return f;
}

void BM_Render(benchmark::State& state)
{
    if (!files().ok()) {
        state.SkipWithError("cannot write the sound files");
        return;
    }
    WavSeeker_libSndFile song(files().song.toStdWString());
    WavSeeker_libSndFile click1(files().click1.toStdWString());
    WavSeeker_libSndFile click2(files().click2.toStdWString());
    uint8_t on = 1;
    uint8_t level = 100;
    AudioDeviceASFF holder(&song, &click1, &click2, &on, &level, &on);
    // 250 triggers per list, one per buffer for each click, offset by half
    // a buffer; the loop covers all of them.
    std::vector<int32_t> t1;
    std::vector<int32_t> t2;
    for (int b = 0; b < 250; ++b) {
        t1.push_back(b * kBuffer);
        t2.push_back(b * kBuffer + kBuffer / 2);
    }
    holder.prepareCallback(0, 250 * kBuffer, 0, t1, t2);
    holder.setLoop(true);
    holder.play();
    std::vector<int16_t> left(kBuffer);
    std::vector<int16_t> right(kBuffer);
    holder.callback()->render(left.data(), right.data(), kBuffer);  // both clicks now sound

    double worst = 0.0;
    double total = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        holder.callback()->render(left.data(), right.data(), kBuffer);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        worst = std::max(worst, ms);
        total += ms;
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["mean_ms"] = total / double(state.iterations());
    state.counters["worst_ms"] = worst;
    state.counters["buffer_ms"] = kBufferMs;
    state.counters["worst_share"] = worst / kBufferMs;
}
BENCHMARK(BM_Render)->Unit(benchmark::kMicrosecond);

// A player on the null output with a song that never ends while measured.
struct NullPlayer {
    uint8_t click = 1;
    uint8_t level = 100;
    uint8_t second = 1;
    CKRMcore core;
    KRMAudition player {&click, &level, &second};
    std::atomic<bool> rendered {false};
    bool ok = false;

    NullPlayer()
    {
        auto* wave = new WaveInfoRecord;
        wave->path = files().song.toStdWString();
        for (int j = 0; j <= 240; ++j)
            wave->beats.push_back(float(j) * 0.25f);
        ok = files().ok() && core.addWavList(wave) == 0 && player.openDevice(QString()) == 0;
        player.setClickSounds(files().click1, files().click2);
        if (ok)
            QObject::connect(player.audioDevice().data(), &AudioDeviceASFF::signalLocation,
                             [this] { rendered = true; });  // on the device thread
    }

    // Starts play and returns the seconds until the first playing block.
    double playToFirstBlock()
    {
        rendered = false;
        const auto t0 = Clock::now();
        player.play(&core, 0, 3, 0, 50 * 44100, false, 0, 0, 0, 0);
        while (!rendered)
            QThread::usleep(50);
        return std::chrono::duration<double>(Clock::now() - t0).count();
    }
};

void BM_PlayToFirstBlock(benchmark::State& state)
{
    NullPlayer p;
    if (!p.ok) {
        state.SkipWithError("no null output");
        return;
    }
    for (auto _ : state) {
        state.SetIterationTime(p.playToFirstBlock());
        p.player.stop();
    }
    p.player.closeDevice();
}
BENCHMARK(BM_PlayToFirstBlock)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_StopToClosedOutput(benchmark::State& state)
{
    NullPlayer p;
    if (!p.ok) {
        state.SkipWithError("no null output");
        return;
    }
    for (auto _ : state) {
        p.playToFirstBlock();
        const auto t0 = Clock::now();
        p.player.stop();
        p.player.closeDevice();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}
BENCHMARK(BM_StopToClosedOutput)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv)
{
    // Only the paced null output, so the figures do not depend on a card.
    qputenv("STELVANO_AUDIO_NULL", "1");
    qputenv("STELVANO_AUDIO_ALSA", "0");
    qputenv("STELVANO_DRIVER_REGISTRY", "/nonexistent/stelvano-bench/drivers.ini");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
