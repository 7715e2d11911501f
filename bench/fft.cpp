// Speed of the real FFT (double and float) against FFTW's real-input plan
// (r2c, FFTW_MEASURE) on the same data,
// and of the frame feature maker per second of audio.
#include "fft/rdft.h"
#include "fft/rdftPath.h"
#include "RkMir/FrameFeatureMaker.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <time.h>

#ifdef KRM_HAVE_FFTW3
#include <fftw3.h>
#endif

namespace {

const double kRate = 44100.0;

// CPU time of this thread in nanoseconds: other processes on a loaded
// machine do not count against either side.
double threadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

template <typename T> std::vector<T> noise(int n)
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<T> x(n);
    for (T& v : x)
        v = static_cast<T>(d(rng));
    return x;
}

#ifdef KRM_HAVE_FFTW3
// FFTW's standard real-input plan (r2c, n reals in, n/2 + 1 complex out),
// measured for this machine, in either precision.
template <typename T> struct FftwApi;
template <> struct FftwApi<double> {
    using Plan = fftw_plan;
    using Complex = fftw_complex;
    static double* allocReal(int n) { return fftw_alloc_real(n); }
    static Complex* allocComplex(int n) { return fftw_alloc_complex(n); }
    static Plan plan(int n, double* in, Complex* out)
    {
        return fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    }
    static void execute(Plan p) { fftw_execute(p); }
    static void destroy(Plan p) { fftw_destroy_plan(p); }
    static void release(void* b) { fftw_free(b); }
};
template <> struct FftwApi<float> {
    using Plan = fftwf_plan;
    using Complex = fftwf_complex;
    static float* allocReal(int n) { return fftwf_alloc_real(n); }
    static Complex* allocComplex(int n) { return fftwf_alloc_complex(n); }
    static Plan plan(int n, float* in, Complex* out)
    {
        return fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    }
    static void execute(Plan p) { fftwf_execute(p); }
    static void destroy(Plan p) { fftwf_destroy_plan(p); }
    static void release(void* b) { fftwf_free(b); }
};

template <typename T> struct Fftw {
    using Api = FftwApi<T>;
    T* buf;
    typename Api::Complex* out;
    typename Api::Plan plan;
    explicit Fftw(int n)
        : buf(Api::allocReal(n)), out(Api::allocComplex(n / 2 + 1)), plan(Api::plan(n, buf, out))
    { }
    ~Fftw()
    {
        Api::destroy(plan);
        Api::release(out);
        Api::release(buf);
    }
    Fftw(const Fftw&) = delete;
    Fftw& operator=(const Fftw&) = delete;
    void run() { Api::execute(plan); }
};
#endif

void ours(int n, double* a, int* ip, double* w)
{
    rdft(n, 1, a, ip, w);
}
void ours(int n, float* a, int* ip, float* w)
{
    rdftf(n, 1, a, ip, w);
}

// Each timed round copies the same frame into the work buffer and transforms
// it, once with ours and once with FFTW, so both see identical data and the
// same copy cost. Reports the mean thread CPU time of each, the ratio
// ours/FFTW, the growth (our time per n log2 n, flat for an n log n cost)
// and the real-time factor of ours (n samples at 44.1 kHz per transform).
template <typename T, typename Peer> void benchRealFft(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<T> x = noise<T>(n);
    std::vector<T> a(n);
    std::vector<int> ip(2 + static_cast<int>(std::sqrt(n / 2.0)));
    std::vector<T> w(n / 2);
    ip[0] = 0;
    ours(n, a.data(), ip.data(), w.data());  // builds the tables
#ifdef KRM_HAVE_FFTW3
    Peer other(n);
#endif
    const int batch = 64;
    double oursNs = 0, fftwNs = 0;
    long rounds = 0;
    for (auto _ : state) {
        const double t0 = threadCpuNs();
        for (int b = 0; b < batch; ++b) {
            std::memcpy(a.data(), x.data(), n * sizeof(T));
            ours(n, a.data(), ip.data(), w.data());
            benchmark::DoNotOptimize(a.data());
        }
        const double t1 = threadCpuNs();
#ifdef KRM_HAVE_FFTW3
        for (int b = 0; b < batch; ++b) {
            std::memcpy(other.buf, x.data(), n * sizeof(T));
            other.run();
            benchmark::DoNotOptimize(other.out);
        }
#endif
        const double t2 = threadCpuNs();
        oursNs += t1 - t0;
        fftwNs += t2 - t1;
        rounds += batch;
    }
    const double oursMean = oursNs / rounds;
    state.counters["ours_ns"] = oursMean;
    state.counters["ns_per_nlogn"] = oursMean / (n * std::log2(static_cast<double>(n)));
    state.counters["rtf"] = (n / kRate) / (oursMean * 1e-9);
#ifdef KRM_HAVE_FFTW3
    const double fftwMean = fftwNs / rounds;
    state.counters["fftw_ns"] = fftwMean;
    state.counters["ours_per_fftw"] = oursMean / fftwMean;
#else
    (void)fftwNs;
#endif
}

#ifdef KRM_HAVE_FFTW3
using DoublePeer = Fftw<double>;
using FloatPeer = Fftw<float>;
#else
struct NoPeer { };
using DoublePeer = NoPeer;
using FloatPeer = NoPeer;
#endif

void BM_rdft(benchmark::State& s)
{
    benchRealFft<double, DoublePeer>(s);
}
void BM_rdftf(benchmark::State& s)
{
    benchRealFft<float, FloatPeer>(s);
}
BENCHMARK(BM_rdft)->RangeMultiplier(2)->Range(256, 16384);
BENCHMARK(BM_rdftf)->RangeMultiplier(2)->Range(256, 16384);

// The same with the SSE2 kernels that any x86-64 processor runs (the
// default picks AVX2 where the processor has it).
template <typename T, typename Peer> void benchBaseline(benchmark::State& s)
{
    setRdftKernels(RdftKernels::Baseline);
    benchRealFft<T, Peer>(s);
    setRdftKernels(RdftKernels::Auto);
}
void BM_rdft_sse2(benchmark::State& s)
{
    benchBaseline<double, DoublePeer>(s);
}
void BM_rdftf_sse2(benchmark::State& s)
{
    benchBaseline<float, FloatPeer>(s);
}
BENCHMARK(BM_rdft_sse2)->RangeMultiplier(4)->Range(1024, 16384);
BENCHMARK(BM_rdftf_sse2)->RangeMultiplier(4)->Range(1024, 16384);

// Frame features as the segmenter computes them: 8192-point frames advanced
// by 1024 samples. One iteration is one second of audio, so the rate counter
// is the real-time factor.
void BM_frameFeatureMaker(benchmark::State& state)
{
    const int n = 8192, hop = 1024;
    const int hopsPerSecond = static_cast<int>(std::ceil(kRate / hop));
    const std::vector<double> audio = noise<double>(hop * hopsPerSecond);
    RkMir::FrameFeatureMaker maker(n);
    maker.buildFilterBank(static_cast<float>(kRate));
    std::vector<double> block(hop);
    for (auto _ : state) {
        for (int h = 0; h < hopsPerSecond; ++h) {
            std::copy(audio.begin() + h * hop, audio.begin() + (h + 1) * hop, block.begin());
            benchmark::DoNotOptimize(maker.processFrame(block));
        }
    }
    state.counters["rtf"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * hopsPerSecond * hop / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_frameFeatureMaker)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
