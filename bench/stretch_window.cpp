// Time-stretch result window cost (offscreen), for a 50-s stretched section
// (25 bars of 4/4 at 120 BPM): construction to the first finished paint at
// the form's size 666 x 328 and at 1280 x 1024, one zoom step with its
// repaint, and one play-position tick with its strip repaints. Each prints
// the mean (the benchmark's time) and the worst iteration in ms; a first
// paint over 100 ms is flagged as "slow_first_paint" = 1.
#include "WindowBenchMain.h"
#include "KRMAudition.h"
#include "StretchWindow.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

struct TimeStretchWindowTestAccess {
    static void zoomIn(TimeStretchWindow& w) { w.releasedBtnHorZoomIn(); }
    static void zoomOut(TimeStretchWindow& w) { w.releasedBtnHorZoomOut(); }
    static void play(TimeStretchWindow& w) { w.releasedBtnPlayLoop(); }
    static void location(TimeStretchWindow& w) { w.location(); }
    static bool playing(TimeStretchWindow& w) { return w.mPlaying; }
};
using A = TimeStretchWindowTestAccess;

namespace {

constexpr int kBeat = 22050;
constexpr int kBeats = 25 * 4;
constexpr uint32_t kFrames = uint32_t(kBeats) * kBeat;  // 50 s

struct Fixture {
    Fixture()
    {
        path = dir.filePath("KRM_temp_Main A.wav");
        SF_INFO info {};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
        std::vector<short> block(2 * 44100);
        for (uint32_t start = 0; f && start < kFrames; start += 44100) {
            const uint32_t n = std::min<uint32_t>(44100, kFrames - start);
            for (uint32_t i = 0; i < n; ++i) {
                const double t = double(start + i) / 44100;
                block[2 * i] = short(20000 * std::sin(2 * M_PI * 220 * t) * (0.5 + 0.5 * std::sin(t)));
                block[2 * i + 1] = short(20000 * std::sin(2 * M_PI * 330 * t));
            }
            sf_writef_short(f, block.data(), n);
        }
        if (f)
            sf_close(f);
        for (int i = 0; i < kBeats; ++i)
            beats.push_back(uint32_t(i * kBeat));
        beats.push_back(kFrames - 1);
    }
    std::unique_ptr<TimeStretchWindow> make(KRMAudition* player)
    {
        return std::make_unique<TimeStretchWindow>(path.toStdWString(), 3, 0, kFrames, 4, &beats, 1, 0.0,
                                                   player, false, &clickOn, &level, &second, nullptr,
                                                   nullptr);
    }
    static Fixture& instance()
    {
        static Fixture f;
        return f;
    }

    QTemporaryDir dir;
    QString path;
    std::vector<uint32_t> beats;
    uint8_t clickOn = 1;
    uint8_t level = 100;
    uint8_t second = 1;
};

void report(benchmark::State& state, double worst)
{
    state.counters["worst_ms"] = worst;
}

void BM_FirstPaint(benchmark::State& state)
{
    Fixture& fx = Fixture::instance();
    const QSize size(int(state.range(0)), int(state.range(1)));
    double worst = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        auto w = fx.make(nullptr);
        w->resize(size);
        // grab() lays the window out and runs every paint, the layers'
        // cache rebuilds included, before it returns.
        QPixmap shot = w->grab();
        shot = w->grab();
        const double ms = msSince(t0);
        benchmark::DoNotOptimize(shot);
        state.SetIterationTime(ms / 1000);
        worst = std::max(worst, ms);
        w.reset();
    }
    report(state, worst);
    state.counters["slow_first_paint"] = worst > 100 ? 1 : 0;
}
BENCHMARK(BM_FirstPaint)
    ->Args({666, 328})
    ->Args({1280, 1024})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

void BM_ZoomStep(benchmark::State& state)
{
    Fixture& fx = Fixture::instance();
    auto w = fx.make(nullptr);
    w->resize(1280, 1024);
    w->grab();
    double worst = 0;
    bool in = true;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        in ? A::zoomIn(*w) : A::zoomOut(*w);
        QPixmap shot = w->grab();
        const double ms = msSince(t0);
        benchmark::DoNotOptimize(shot);
        state.SetIterationTime(ms / 1000);
        worst = std::max(worst, ms);
        in = !in;
    }
    report(state, worst);
}
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_PlayPositionTick(benchmark::State& state)
{
    Fixture& fx = Fixture::instance();
    KRMAudition player(&fx.clickOn, &fx.level, &fx.second);
    if (player.openDevice(QString()) != 0) {
        state.SkipWithError("no output to play on");
        return;
    }
    auto w = fx.make(&player);
    w->resize(1280, 1024);
    w->show();
    QApplication::processEvents();
    A::play(*w);
    if (!A::playing(*w)) {
        state.SkipWithError("playback did not start");
        return;
    }
    double worst = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        A::location(*w);
        QApplication::processEvents();
        const double ms = msSince(t0);
        state.SetIterationTime(ms / 1000);
        worst = std::max(worst, ms);
    }
    report(state, worst);
    w.reset();
}
BENCHMARK(BM_PlayPositionTick)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv)
{
    return runWindowBenchmarks(argc, argv, "stretch_window");
}
