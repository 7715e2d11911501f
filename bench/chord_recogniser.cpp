// The semi-offline chord recogniser as the analysis runs it (180-sample
// blocks, update interval 15, words (4, 0, -1, 2)) over 1, 4 and 16
// minutes of a synthesised song: real-time factor (wall time / audio
// time), the time spent in the decoding passes and, within them, in chord
// decoding (observations, chord model search, bass). Then the bars as
// musicians judge them: beat and downbeat F-measures (+-70 ms) and the
// meter decision on synthesised songs in 4/4 and 3/4 at several tempi,
// with the meter given and estimated (words (-1, 0, -1, -1)).
#include "ChordModelBuilder.h"
#include "ChordSynth.h"
#include "Signals.h"
#include "TaviOffline.h"
#include "TaviSemiOffline.h"

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlock = 180;

double secondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Times every hypothesis decode of the inner recogniser.
class TimedOffline : public tavi::TaviOffline {
public:
    double decodeSeconds = 0.0;

protected:
    double decodeHypothesis(int k, int hop) override
    {
        const Clock::time_point t = Clock::now();
        const double score = tavi::TaviOffline::decodeHypothesis(k, hop);
        decodeSeconds += secondsSince(t);
        return score;
    }
};

class TimedSemiOffline : public tavi::TaviSemiOffline {
public:
    TimedOffline& timed() const { return static_cast<TimedOffline&>(*inner()); }

protected:
    boost::shared_ptr<tavi::TaviOffline> createInner() const override
    {
        return boost::make_shared<TimedOffline>();
    }
};

struct Counts {
    int beats = 0;
    std::vector<int64_t> positions;
    std::vector<int> barBeats;
    int numerator = 0, unit = 0;
};

void install(tavi::ITavi& t, Counts& c)
{
    t.beatPositionCallback = [](int pos, int, void* u) { static_cast<Counts*>(u)->positions.push_back(pos); };
    t.beatCallback = [](int, int, double, void* u) { ++static_cast<Counts*>(u)->beats; };
    t.barCallback = [](int beat, int, int n, int d, double, void* u) {
        Counts& c = *static_cast<Counts*>(u);
        c.barBeats.push_back(beat);
        c.numerator = n;
        c.unit = d;
    };
    t.beatPositionUser = t.beatUser = t.barUser = &c;
}

// A song of the test signals' synthesiser with three parts, as long as
// asked for.
std::vector<float> longSong(double minutes)
{
    testsig::SongSpec spec;
    spec.bpm = 112.0;
    spec.tempoDriftPercent = 1.0;
    const int bars = static_cast<int>(minutes * 60.0 / (4 * 60.0 / spec.bpm));
    spec.parts = {
        {"verse", bars / 3, {{0, false, false}, {9, true, false}, {5, false, false}, {7, false, true}}},
        {"chorus", bars / 3, {{5, false, false}, {7, false, false}, {4, true, true}, {9, true, false}}},
        {"bridge", bars - 2 * (bars / 3), {{2, true, true}, {7, false, true}}, true, true, true, true}};
    return testsig::makeSong(spec).mono();
}

void BM_SemiOfflineClient(benchmark::State& state)
{
    static std::map<int64_t, std::vector<float>> songs;
    std::vector<float>& x = songs[state.range(0)];
    if (x.empty())
        x = longSong(static_cast<double>(state.range(0)));
    const double audio = static_cast<double>(x.size()) / 44100.0;
    double wall = 0.0, passes = 0.0, decode = 0.0;
    int passCount = 0;
    for (auto _ : state) {
        TimedSemiOffline t;
        Counts c;
        install(t, c);
        const Clock::time_point begin = Clock::now();
        t.initialize(0, L"", kBlock, 4);
        t.setUpdateInterval(15);
        t.setParams(0, -1, 2);
        for (size_t at = 0; at + kBlock <= x.size(); at += kBlock) {
            const int before = c.beats;
            const Clock::time_point p = Clock::now();
            t.pushData(x.data() + at, kBlock);
            if (c.beats != before) {
                passes += secondsSince(p);
                ++passCount;
            }
        }
        const Clock::time_point f = Clock::now();
        t.finish();
        passes += secondsSince(f);
        ++passCount;
        wall += secondsSince(begin);
        decode += t.timed().decodeSeconds;
        benchmark::DoNotOptimize(c.beats);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["audio_s"] = audio;
    state.counters["rtf"] = wall / (audio * n);
    state.counters["passes"] = passCount / n;
    state.counters["pass_s"] = passes / n;
    state.counters["chord_decode_s"] = decode / n;
    state.counters["chord_decode_rtf"] = decode / (audio * n);
    state.SetComplexityN(static_cast<int64_t>(x.size()));
}
BENCHMARK(BM_SemiOfflineClient)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Complexity(benchmark::oN);

struct SongCase {
    std::string name;
    std::vector<float> samples;
    std::vector<int64_t> beats, downbeats;
    int beatsPerBar;
};

SongCase signalsSong(double bpm, int beatsPerBar)
{
    testsig::SongSpec spec;
    spec.bpm = bpm;
    spec.beatsPerBar = beatsPerBar;
    spec.leadInSeconds = 0.3;
    spec.parts = {{"a",
                   static_cast<int>(45.0 / (beatsPerBar * 60.0 / bpm)),
                   {{0, false, false}, {9, true, false}, {5, false, false}, {7, false, true}}}};
    const testsig::Song s = testsig::makeSong(spec);
    char name[64];
    std::snprintf(name, sizeof name, "signals %d/4 %3.0f bpm", beatsPerBar, bpm);
    return {name, s.mono(), s.beats, s.downbeats, beatsPerBar};
}

SongCase toolSong(double bpm, int beatsPerBar, uint64_t seed)
{
    chordsynth::Arrangement a;
    a.tempo = bpm;
    a.beatsPerBar = beatsPerBar;
    a.seed = seed;
    a.comp = static_cast<chordsynth::Timbre>(seed % chordsynth::kTimbreCount);
    const auto& classes = chordmodels::builtinClassIntervals();
    const int progression[4][2] = {{0, 5}, {9, 3}, {2, 6}, {7, 4}};  // C Am Dm7 G7
    std::vector<chordsynth::ProgressionStep> steps;
    const int bars = static_cast<int>(45.0 / (beatsPerBar * 60.0 / bpm));
    for (int i = 0; i < bars; ++i) {
        chordsynth::ProgressionStep s;
        s.root = (progression[i % 4][0] + static_cast<int>(seed)) % 12;
        const auto& tones = classes[static_cast<size_t>(progression[i % 4][1])];
        s.intervals.assign(tones.begin(), tones.end());
        s.beats = beatsPerBar;
        steps.push_back(s);
    }
    const chordsynth::Song song = chordsynth::renderProgression(steps, a);
    SongCase c;
    char name[64];
    std::snprintf(name, sizeof name, "tool    %d/4 %3.0f bpm", beatsPerBar, bpm);
    c.name = name;
    c.samples = song.samples;
    c.beatsPerBar = beatsPerBar;
    for (size_t i = 0; i < song.beatTimes.size(); ++i) {
        c.beats.push_back(static_cast<int64_t>(song.beatTimes[i] * 44100.0));
        if (i % static_cast<size_t>(beatsPerBar) == 0)
            c.downbeats.push_back(c.beats.back());
    }
    return c;
}

struct Outcome {
    double beatF, downbeatF;
    int numerator, unit;
};

Outcome recognise(const SongCase& s, int w1, int w2, int w3, int w4)
{
    tavi::TaviSemiOffline t;
    Counts c;
    install(t, c);
    t.initialize(0, L"", kBlock, w1);
    t.setUpdateInterval(15);
    t.setParams(w2, w3, w4);
    for (size_t at = 0; at + kBlock <= s.samples.size(); at += kBlock)
        t.pushData(s.samples.data() + at, kBlock);
    t.finish();
    std::vector<int64_t> downbeats;
    for (int b : c.barBeats)
        if (b >= 0 && b < static_cast<int>(c.positions.size()))
            downbeats.push_back(c.positions[static_cast<size_t>(b)]);
    const int64_t tolerance = static_cast<int64_t>(0.07 * 44100.0);
    return {testsig::fMeasure(c.positions, s.beats, tolerance),
            testsig::fMeasure(downbeats, s.downbeats, tolerance), c.numerator, c.unit};
}

void BM_BarsAndMeter(benchmark::State& state)
{
    std::vector<SongCase> songs;
    for (int bpb : {4, 3}) {
        for (double bpm : {90.0, 120.0, 150.0})
            songs.push_back(signalsSong(bpm, bpb));
        for (double bpm : {90.0, 120.0, 150.0})
            songs.push_back(toolSong(bpm, bpb, static_cast<uint64_t>(bpm) / 10));
    }
    double sumBeat = 0, sumDown = 0, sumBeatEst = 0, sumDownEst = 0;
    int meterRight = 0;
    for (auto _ : state) {
        std::printf("%-22s | given meter: beat F  downbeat F | estimated: beat F  downbeat F  meter\n",
                    "song");
        for (const SongCase& s : songs) {
            const Outcome given = recognise(s, s.beatsPerBar, 0, -1, 2);
            const Outcome est = recognise(s, -1, 0, -1, -1);
            std::printf("%-22s |              %5.3f       %5.3f |            %5.3f       %5.3f  %d/%d\n",
                        s.name.c_str(), given.beatF, given.downbeatF, est.beatF, est.downbeatF, est.numerator,
                        est.unit);
            sumBeat += given.beatF;
            sumDown += given.downbeatF;
            sumBeatEst += est.beatF;
            sumDownEst += est.downbeatF;
            meterRight += est.numerator == s.beatsPerBar && est.unit == 4;
        }
    }
    const double n = static_cast<double>(songs.size() * state.iterations());
    state.counters["beat_F"] = sumBeat / n;
    state.counters["downbeat_F"] = sumDown / n;
    state.counters["est_beat_F"] = sumBeatEst / n;
    state.counters["est_downbeat_F"] = sumDownEst / n;
    state.counters["meter_right"] = meterRight / n;
}
BENCHMARK(BM_BarsAndMeter)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
