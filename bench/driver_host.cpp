// The driver host's render step for one half-buffer: the client renders
// into the staging buffers, which are converted into the driver's sample
// type, as on the driver's thread (here on the benchmark's thread, against
// Null Output Driver buffers that are created but not started).
//  - BM_RenderStep: the audition's render as the client (a song read from
//    a file, both click sounds sounding, through the output device's weak
//    client pointer), the whole step as the driver's thread runs it.
//  - BM_HostShare: a client that only writes constants, so the figure is
//    the host's own share (clamping, silence, conversion).
// Arguments: frames per half (64, 512, 2048) and sample type (16 Int16LSB,
// 19 Float32LSB, 0 Int16MSB, 20 Float64LSB). Counters: mean and worst step
// in ms, the half's duration at 44100 Hz (1.45, 11.6, 46.4 ms) and the
// worst as a share of it (must stay far below 1).
#include "AudioDeviceASFF.h"
#include "AudioOutDeviceCallbackSeq.h"
#include "CasioHostEngine.h"
#include "CaudioOut_host.h"
#include "DriverRegistry.h"
#include "Signals.h"
#include "WavFile.h"
#include "WavSeeker_libSndFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <benchmark/benchmark.h>
#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<int> kFrames = {64, 512, 2048};
const std::vector<int> kTypes = {16, 19, 0, 20};

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

// One Null Output Driver per (frames, type), in that order.
int driverIndex(int frames, int type)
{
    const int f = int(std::find(kFrames.begin(), kFrames.end(), frames) - kFrames.begin());
    const int t = int(std::find(kTypes.begin(), kTypes.end(), type) - kTypes.begin());
    return f * int(kTypes.size()) + t;
}

bool writeRegistry()
{
    QFile f(folder().filePath("drivers.ini"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&f);
    for (int frames : kFrames) {
        for (int type : kTypes) {
            out << "[driver:Null " << frames << " " << type << "]\n"
                << "clsid=" << krm::drivers::kNullDriverClassId << "\n"
                << "buffer_frames=" << frames << "\nsample_types=" << type << "\n\n";
        }
    }
    return true;
}

// A stereo 16-bit file of a quiet tone, the same in both channels.
QString writeTone(const char* name, double seconds, double hz)
{
    const std::vector<float> tone = testsig::harmonicTone(hz, seconds, 3, 0.3f);
    const std::vector<float> stereo = testsig::interleave(tone, tone);
    std::vector<uint8_t> bytes;
    for (float x : stereo) {
        const auto v = uint16_t(int16_t(std::lround(x * 32767.0f)));
        bytes.push_back(uint8_t(v & 0xFF));
        bytes.push_back(uint8_t(v >> 8));
    }
    const QString path = folder().filePath(name);
    return writeWavFile(path, bytes.data(), uint32_t(bytes.size())) == 0 ? path : QString();
}

// Only writes constants.
class ConstantClient : public Tessaro::CaudioOutCallbackIF {
public:
    bool notify(int) override { return true; }
    int render(int16_t left[], int16_t right[], int frames) override
    {
        std::fill_n(left, frames, int16_t(1234));
        std::fill_n(right, frames, int16_t(-2));
        return frames;
    }
};

void callbackNoop(int32_t, bool)
{ }
void rateNoop(double)
{ }
int32_t messageNoop(int32_t, int32_t, void*, double*)
{
    return 0;
}
void* timeInfoNoop(void*, int32_t, bool)
{
    return nullptr;
}
const ASIOCallbacks kCallbacks {&callbackNoop, &rateNoop, &messageNoop, &timeInfoNoop};

// Times the step for the benchmark's (frames, type) with `client`.
void measure(benchmark::State& state, QSharedPointer<Tessaro::CaudioOutCallbackIF> client)
{
    const int frames = int(state.range(0));
    const int type = int(state.range(1));
    const int index = driverIndex(frames, type);
    CasioHostEngine& engine = CasioHostEngine::instance();
    if (!engine.loadDriver(index, 44100.0)) {
        state.SkipWithError("the Null Output Driver did not load");
        return;
    }
    double worst = 0.0;
    double total = 0.0;
    {
        CasioBufferSet set(0, 1, frames, &kCallbacks);
        if (set.createResult() != 0 || set.channelInfo(0).type != type) {
            state.SkipWithError("no buffers of that type");
            return;
        }
        Tessaro::CaudioOutDevice_host device(index, client);
        int32_t half = 0;
        set.render(&device, half);  // first touch of every buffer
        for (auto _ : state) {
            half = 1 - half;
            const auto t0 = Clock::now();
            set.render(&device, half);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            worst = std::max(worst, ms);
            total += ms;
        }
    }
    engine.unloadDriver(index);
    const double halfMs = 1000.0 * frames / 44100.0;
    state.counters["mean_ms"] = total / double(state.iterations());
    state.counters["worst_ms"] = worst;
    state.counters["half_ms"] = halfMs;
    state.counters["worst_share"] = worst / halfMs;
}

void BM_RenderStep(benchmark::State& state)
{
    static const QString song = writeTone("song.wav", 120.0, 220.0);
    static const QString click = writeTone("click.wav", 3 * 2048 / 44100.0, 1760.0);
    if (song.isEmpty() || click.isEmpty()) {
        state.SkipWithError("cannot write the sound files");
        return;
    }
    WavSeeker_libSndFile songReader(song.toStdWString());
    WavSeeker_libSndFile click1(click.toStdWString());
    WavSeeker_libSndFile click2(click.toStdWString());
    uint8_t on = 1;
    uint8_t level = 100;
    AudioDeviceASFF holder(&songReader, &click1, &click2, &on, &level, &on);
    // A click in each list every 2048 frames, offset by half of that, so
    // both sound through every half measured.
    std::vector<int32_t> t1;
    std::vector<int32_t> t2;
    for (int b = 0; b < 2500; ++b) {
        t1.push_back(b * 2048);
        t2.push_back(b * 2048 + 1024);
    }
    holder.prepareCallback(0, 2500 * 2048, 0, t1, t2);
    holder.setLoop(true);
    holder.play();
    measure(state, holder.callback());
}

void BM_HostShare(benchmark::State& state)
{
    measure(state, QSharedPointer<ConstantClient>::create());
}

void sizesAndTypes(benchmark::internal::Benchmark* b)
{
    for (int frames : kFrames)
        for (int type : kTypes)
            b->Args({frames, type});
}

BENCHMARK(BM_RenderStep)->Apply(sizesAndTypes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostShare)->Apply(sizesAndTypes)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (!writeRegistry())
        return 1;
    qputenv("STELVANO_DRIVER_REGISTRY", QFile::encodeName(folder().filePath("drivers.ini")));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
