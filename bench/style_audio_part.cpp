// Writing the audio part of an export, built whole in memory and streamed
// to a file as the export does: four sections, each with its own
// WAV file, the audio split evenly between them. The largest size is
// four minutes of audio in all; 15 s, 60 s and 240 s show how the cost
// grows (1x, 4x, 16x).
//
// Counters: x_realtime is seconds of audio written per second of work;
// audio_MiB the wave bytes embedded; peak_MiB the most heap memory live at
// once while writing (the output included), over what was live before;
// peak_per_audio their ratio.
#include "AllocationCounter.h"
#include "CAudioStyle.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSections = 4;
constexpr uint32_t kBytesPerSecond = 176400;

std::string waveInfo(uint32_t frames)
{
    return "$SFormatTag$,0x0001,\n$OriginalTempo$,500000,\n$OriginalTimeSignature$,4,2,24,8,\n$PPQ$,480,\n"
           "$SampleSize$," +
           std::to_string(frames) +
           ",\n$NumberOfBars$,8,\n$SyncroPoint$,0,\n$BeatPoint$,0,\n$OnsetPoint$,0,\n$AttackPoint$,0,\n"
           "$TempoInfo$,0,\n$Volume$,80,\n";
}

// A canonical 16-bit stereo WAV of `bytes` bytes of a slow ramp.
void writeWav(const QString& path, uint32_t bytes)
{
    std::vector<uint8_t> file(44 + size_t(bytes));
    auto le32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    std::memcpy(file.data(), "RIFF", 4);
    le32(4, bytes + 36);
    std::memcpy(file.data() + 8, "WAVEfmt ", 8);
    le32(16, 16);
    const uint8_t fmt[16] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
    std::memcpy(file.data() + 20, fmt, 16);
    std::memcpy(file.data() + 36, "data", 4);
    le32(40, bytes);
    for (uint32_t i = 0; i < bytes; ++i)
        file[44 + i] = uint8_t(i * 7 >> 3);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(file.data()), qint64(file.size()));
}

// The model of four sections, each with its own WAV file in `dir`; false
// when the model refuses a section.
bool makeModel(CAudioInfo& info, const QTemporaryDir& dir, uint32_t bytesPerSection)
{
    for (int s = 0; s < kSections; ++s) {
        const std::string path = dir.filePath(QString("section%1.wav").arg(s)).toStdString();
        writeWav(QString::fromStdString(path), bytesPerSection);
        const std::string text = waveInfo(bytesPerSection / 4);
        const std::string name = "section" + std::to_string(s);
        uint8_t volume = 80, pan = 64, reverb = 0;
        if (info.setSectionAudio(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                                 name.data(), uint32_t(name.size()), path.data(), uint32_t(path.size()), s,
                                 &volume, &pan, &reverb))
            return false;
    }
    return true;
}

void setCounters(benchmark::State& state, double seconds, double audio, int64_t peak, size_t written)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(written));
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["audio_MiB"] = audio / (1 << 20);
    state.counters["peak_MiB"] = double(peak) / (1 << 20);
    state.counters["peak_per_audio"] = double(peak) / audio;
}

// Writes the part of a fresh four-section model of `state.range(0)`
// seconds once per iteration with `write` (false: the write failed), which
// gives the bytes written.
template <typename Write> void runWriter(benchmark::State& state, Write&& write)
{
    const double seconds = double(state.range(0));
    const uint32_t bytesPerSection = uint32_t(seconds / kSections * kBytesPerSecond) & ~3u;
    QTemporaryDir dir;
    CAudioInfo info;
    if (!makeModel(info, dir, bytesPerSection)) {
        state.SkipWithError("setSectionAudio failed");
        return;
    }
    int64_t peak = 0;
    uint64_t written = 0;
    for (auto _ : state) {
        testalloc::Scope heap;
        CAudioStyleDecorator writer;
        if (!write(writer, info, dir, written)) {
            state.SkipWithError("write failed");
            return;
        }
        peak = std::max(peak, heap.peakBytes());
    }
    setCounters(state, seconds, double(bytesPerSection) * kSections, peak, size_t(written));
}

void BM_WriteAudioPart(benchmark::State& state)
{
    runWriter(state, [](CAudioStyleDecorator& writer, CAudioInfo& info, QTemporaryDir&, uint64_t& written) {
        std::vector<uint8_t> out;
        const bool ok = writer.writeAudioPart(&info, out) == 0;
        written = out.size();
        return ok;
    });
}

// The part as the export writes it: streamed to a file one chunk at a time.
void BM_StreamAudioPart(benchmark::State& state)
{
    runWriter(state,
              [](CAudioStyleDecorator& writer, CAudioInfo& info, QTemporaryDir& dir, uint64_t& written) {
                  QFile file(dir.filePath("part.bin"));
                  if (!file.open(QIODevice::WriteOnly))
                      return false;
                  CAudioStyle::FilePartSink sink(file);
                  return writer.writeAudioPart(&info, sink, written) == 0 && !sink.failed();
              });
}

}  // namespace

BENCHMARK(BM_WriteAudioPart)->Arg(15)->Arg(60)->Arg(240)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamAudioPart)->Arg(15)->Arg(60)->Arg(240)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
