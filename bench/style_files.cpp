// Loading and saving style documents of 16 tracks with many events: notes
// (with running status), controllers, program changes and markers, behind
// a style part of 15 sections of 16 channel tables each. The middle size
// is 100,000 events in all; the 1x / 4x / 16x sizes and the complexity fit
// show how the cost grows.
//
// Counters: bytes_per_second is style bytes read or written per second;
// events the events in the style.
#include "CSmfStyle.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int kTracks = 16;
constexpr int kSections = 15;

std::unique_ptr<CEvnt> channelEvent(uint8_t status, uint8_t channel, uint32_t time, uint8_t a, uint8_t b)
{
    auto e = std::make_unique<CEvnt>();
    e->setStatus(status);
    e->setChannel(channel);
    e->setTime(time);
    const uint8_t bytes[4] = {a, b, 0, 0};
    e->setBytes(bytes);
    return e;
}

std::vector<uint8_t> makeStyle(int events)
{
    CSmfStyleDecorator doc;
    doc.head.format = 1;
    doc.head.trackCount = kTracks;
    doc.head.division = 960;
    const int perTrack = events / kTracks;
    for (int t = 0; t < kTracks; ++t) {
        auto track = std::make_unique<CTrk>();
        const uint8_t ch = uint8_t(t);
        if (t == 0) {
            const uint8_t sff2[] = {'S', 'F', 'F', '2'};
            track->addEvent(makeDataEvent(kStatusMeta, kMetaMarker, 0, sff2, 4));
        }
        for (int i = 0; i < perTrack - 1; ++i) {
            const uint32_t time = uint32_t(i / 2) * 120;
            if (i % 50 == 0) {
                const uint8_t text[] = {'M', 'a', 'i', 'n', ' ', 'A'};
                track->addEvent(makeDataEvent(kStatusMeta, kMetaMarker, time, text, 6));
            } else if (i % 10 == 0) {
                track->addEvent(channelEvent(kStatusController, ch, time, 7, uint8_t(i % 128)));
            } else if (i % 25 == 0) {
                track->addEvent(channelEvent(kStatusProgram, ch, time, uint8_t(i % 128), 0));
            } else {
                track->addEvent(channelEvent(kStatusNoteOn, ch, time, uint8_t(36 + i % 48), i % 2 ? 0 : 100));
            }
        }
        track->addEvent(
            makeDataEvent(kStatusMeta, kMetaEndOfTrack, uint32_t(perTrack / 2) * 120, nullptr, 0));
        doc.tracks.push_back(std::move(track));
    }
    for (int s = 0; s < kSections; ++s) {
        auto section = std::make_unique<CSection>();
        section->initDefault();
        section->setNames({"Main A"});
        doc.sections.push_back(std::move(section));
    }
    std::vector<uint8_t> out;
    doc.save(out);
    return out;
}

void setCounters(benchmark::State& state, size_t bytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.SetComplexityN(state.range(0));
    state.counters["events"] = double(state.range(0));
    state.counters["style_KiB"] = double(bytes) / 1024.0;
}

void BM_LoadStyle(benchmark::State& state)
{
    const std::vector<uint8_t> bytes = makeStyle(int(state.range(0)));
    for (auto _ : state) {
        CSmfStyleDecorator doc;
        if (doc.load(bytes) != 0) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(doc.tracks.data());
    }
    setCounters(state, bytes.size());
}

void BM_SaveStyle(benchmark::State& state)
{
    const std::vector<uint8_t> bytes = makeStyle(int(state.range(0)));
    CSmfStyleDecorator doc;
    if (doc.load(bytes) != 0) {
        state.SkipWithError("load failed");
        return;
    }
    std::vector<uint8_t> out;
    for (auto _ : state) {
        if (doc.save(out) != 0 || out != bytes) {
            state.SkipWithError("save failed");
            return;
        }
    }
    setCounters(state, bytes.size());
}

}  // namespace

BENCHMARK(BM_LoadStyle)
    ->Arg(25000)
    ->Arg(100000)
    ->Arg(400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity();
BENCHMARK(BM_SaveStyle)
    ->Arg(25000)
    ->Arg(100000)
    ->Arg(400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity();

BENCHMARK_MAIN();
