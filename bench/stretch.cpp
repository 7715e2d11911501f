// The time-stretch engine against the `rubberband` command (Debian's
// rubberband-cli, its default engine, `-t` with the same time ratio), on the
// same input and machine.
//
// BM_SongSection/<ratio x 100>: a 60 s stereo section of a song made here
// (drums, bass, chords at 120 BPM) stretched through the stretch plan as the
// time-stretch job drives it (1.00 is the plan's copy path). Counters:
//   rtf_wall, rtf_cpu    wall and CPU time / 60 s (ours; rb_ the peer's)
//   cpu_vs_rb            our CPU time over the peer's (goal: at most 1)
//   length_error         output frames - round(input frames x ratio)
//   onset_f              onset F-measure (20 ms) against the song's true
//                        onsets scaled by the ratio (same detector), and
//                        onset_f_input, the input's own
//   onset_lag_ms         median distance of the detections from the truth
// Each side runs three times; the fastest wall and CPU times count.
// BM_Figures/<ratio x 100>: the sound figures of the tests on their signals,
// ours and the peer's:
//   tone_level_db        worst |level change| of tones 100 Hz .. 8 kHz
//   tone_spread_db       worst level spread in 50 ms windows
//   chord_spread_db      worst partial level spread over 93 ms frames
//                        (partials 53 Hz apart and more)
//   chord_hz             worst partial frequency error
//   chord_away_db        energy further than 15 Hz from every partial
//   tight_*              the same for a chord with partials 25 Hz apart
//   drums_level_db       level change of a drum-and-bass loop
// BM_Stereo/<ratio x 100>: a 16 s stereo song whose instruments sit in
// different places (bass and a pad left, chords right, drums centre, a
// chord held to the end; stereoSong), ours and the peer's:
//   stereo_cents_l, _r   worst pitch error (cents) of the notes' partials,
//                        read in each channel in each note's steady middle
//   stereo_cents_p90     the 90th percentile of those errors (both channels)
//   stereo_phase_deg     worst change of the phase between the channels of
//                        a partial that both carry (left against right, as
//                        in the input at the same place in the song), and
//                        stereo_phase_p90 its 90th percentile
//   stereo_balance_db    worst change of such a partial's level between
//                        the channels
//   stereo_cents_input   the reading's own floor: the input read the same
//   stereo_readings      partial readings taken in our output
// BM_Growth/<seconds>: our real-time factor at 1.25 over 3.75, 15 and 60 s.
// BM_WholeSong/<minutes>/<ratio x 100>: whole songs made here (4 minutes at
// 0.5, 0.8, 1.25 and 2.0; 1, 4 and 16 minutes at 1.25 for the growth), ours
// through the plan and the peer side by side in interleaved rounds (three,
// or STRETCH_BENCH_ROUNDS), medians counted. Counters:
//   rtf_cpu, rtf_wall    CPU and wall time / song length (rb_ the peer's)
//   cpu_vs_rb            our CPU time over the peer's (goal: at most 1)
//   wall_vs_rb           our wall time over the peer's
//   peak_mb              our peak memory over what the process held before
//                        the stretch, up to the end of the render (the
//                        bench's own copy of the output afterwards is not
//                        counted; rb_peak_mb: the peer's whole peak)
//   engine_mb            peak_mb less the whole-song buffers the plan holds
//                        by design (its float input and output, both
//                        channels): the engine's own working memory, the
//                        figure to hold against the peer's, which streams
//                        file to file
//   growth_cpu           CPU time over that of the 1-minute song at 1.25
//                        (rb_growth_cpu the peer's): 4 and 16 for linear
//   length_error         output frames - round(input frames x ratio)
#include "Signals.h"
#include "StretchPlan.h"
#include "TempFolder.h"
#include "WavFile.h"

#include "../tests/timestretch/StretchSound.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace stretchsound;
constexpr double kRate = 44100.0;

struct Audio {
    std::vector<float> left, right;  // 16-bit units
    size_t frames() const { return left.size(); }
};

struct Timed {
    Audio out;
    double wall = 0.0, cpu = 0.0, peakMb = 0.0, engineMb = 0.0;
    bool ok = false;
};

double cpuSeconds(int who)
{
    rusage u {};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// A child process run to its end: its own CPU time and peak memory (from
// wait4, so nothing else of this process counts).
struct Child {
    int rc = -1;
    double cpu = 0.0, peakMb = 0.0;
};

Child spawnAndWait(const std::vector<std::string>& args)
{
    Child c;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stdout) && std::freopen("/dev/null", "w", stderr))
            execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return c;
    int status = 0;
    rusage u {};
    if (wait4(pid, &status, 0, &u) != pid)
        return c;
    c.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    c.cpu = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
            1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    c.peakMb = static_cast<double>(u.ru_maxrss) / 1024.0;
    return c;
}

// A forked child starts with its parent's resident pages as its own peak,
// so the peer is started by a small launcher process forked before the
// benchmark holds any audio; requests and replies go through two pipes.
struct Launcher {
    int request = -1, reply = -1;
};
Launcher g_launcher;

bool readAll(int fd, void* data, size_t n)
{
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t got = read(fd, p, n);
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t n)
{
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = write(fd, p, n);
        if (put <= 0)
            return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

void serveLaunches(int requests, int replies)
{
    for (;;) {
        uint32_t count = 0;
        if (!readAll(requests, &count, sizeof count))
            _exit(0);
        std::vector<std::string> args(count);
        for (std::string& a : args) {
            uint32_t length = 0;
            if (!readAll(requests, &length, sizeof length))
                _exit(0);
            a.resize(length);
            if (length > 0 && !readAll(requests, &a[0], length))
                _exit(0);
        }
        const Child c = spawnAndWait(args);
        if (!writeAll(replies, &c, sizeof c))
            _exit(0);
    }
}

void startLauncher()
{
    int toLauncher[2], fromLauncher[2];
    if (pipe(toLauncher) != 0)
        return;
    if (pipe(fromLauncher) != 0) {
        close(toLauncher[0]);
        close(toLauncher[1]);
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(toLauncher[1]);
        close(fromLauncher[0]);
        serveLaunches(toLauncher[0], fromLauncher[1]);
    }
    close(toLauncher[0]);
    close(fromLauncher[1]);
    if (pid < 0) {
        close(toLauncher[1]);
        close(fromLauncher[0]);
        return;
    }
    g_launcher.request = toLauncher[1];
    g_launcher.reply = fromLauncher[0];
}

Child runChild(const std::vector<std::string>& args)
{
    if (g_launcher.request < 0)
        return spawnAndWait(args);
    bool sent = true;
    const auto count = static_cast<uint32_t>(args.size());
    sent = sent && writeAll(g_launcher.request, &count, sizeof count);
    for (const std::string& a : args) {
        const auto length = static_cast<uint32_t>(a.size());
        sent = sent && writeAll(g_launcher.request, &length, sizeof length) &&
               writeAll(g_launcher.request, a.data(), a.size());
    }
    Child c;
    if (!sent || !readAll(g_launcher.reply, &c, sizeof c))
        return Child {};
    return c;
}

// This process's resident memory now and its peak, in kB (0 when unknown).
long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    }
    return 0;
}

// Starts a peak-memory measurement: the kernel's peak is set back to what
// the process holds now, which is returned (kB).
long startPeakMemory()
{
    malloc_trim(0);  // what earlier runs freed is not counted as held
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKb("VmRSS:");
}

int16_t toSample(float v)
{
    return static_cast<int16_t>(std::lround(std::min(32767.0f, std::max(-32768.0f, v))));
}

// The section: 30 bars at 120 BPM, four parts with drums, bass and chords.
struct Song {
    Audio audio;
    std::vector<int64_t> onsets;
};

const Song& song()
{
    static const Song s = [] {
        testsig::SongSpec spec;
        spec.bpm = 120.0;
        spec.tailSeconds = 0.0;
        const std::vector<testsig::SongChord> verse {
            {9, true, false}, {5, false, false}, {0, false, false}, {7, false, true}};
        const std::vector<testsig::SongChord> chorus {
            {0, false, false}, {7, false, false}, {9, true, false}, {5, false, true}};
        testsig::SongPart intro {"intro", 6, verse, true, true, true, false};
        testsig::SongPart a {"verse", 8, verse, true, true, true, false};
        testsig::SongPart b {"chorus", 8, chorus, true, true, true, true};
        testsig::SongPart c {"outro", 8, verse, true, true, true, false};
        spec.parts = {intro, a, b, c};
        const testsig::Song made = testsig::makeSong(spec);
        // Exactly 30 bars of 88200 frames: at 120 BPM the plan keeps it.
        const size_t frames = 30 * 88200;
        Song out;
        for (size_t i = 0; i < frames && i < made.left.size(); ++i) {
            out.audio.left.push_back(static_cast<float>(toSample(made.left[i] * 30000.0f)));
            out.audio.right.push_back(static_cast<float>(toSample(made.right[i] * 30000.0f)));
        }
        for (int64_t t : made.onsets) {
            if (t < static_cast<int64_t>(frames))
                out.onsets.push_back(t);
        }
        return out;
    }();
    return s;
}

// Through the plan as the job drives it: one span of `bars` bars at the
// target tempo; 4/4 at 120 BPM keeps the length, 150 gives 0.8, 96 1.25.
Timed ourPlan(const Audio& in, double tempo, int32_t bars)
{
    Timed t;
    const long before = startPeakMemory();
    const Clock::time_point start = Clock::now();
    const double cpu = cpuSeconds(RUSAGE_SELF);
    StretchPlan plan;
    const auto frames = static_cast<uint32_t>(in.frames());
    plan.m_inputFrames = plan.m_framesForRatios = plan.m_framesCopy = frames;
    plan.m_sourceTempo = plan.m_targetTempo = tempo;
    plan.ClearSamples();
    for (size_t i = 0; i < in.frames(); ++i) {
        const auto l = static_cast<uint16_t>(toSample(in.left[i]));
        const auto r = static_cast<uint16_t>(toSample(in.right[i]));
        const uint8_t frame[4] = {static_cast<uint8_t>(l & 0xFF), static_cast<uint8_t>(l >> 8),
                                  static_cast<uint8_t>(r & 0xFF), static_cast<uint8_t>(r >> 8)};
        plan.AppendFrame(frame);
    }
    StretchInputView view;
    plan.GetInputView(&view);
    const std::vector<int32_t> positions {0, static_cast<int32_t>(frames)};
    std::vector<StretchSegment*> segments;
    plan.ComputeSegments(&segments, &positions, bars);
    plan.Render(view, &segments);
    t.peakMb = static_cast<double>(statusKb("VmHWM:") - before) / 1024.0;
    const size_t held = (plan.m_inputLeft.capacity() + plan.m_inputRight.capacity()) * sizeof(float) +
                        2 * static_cast<size_t>(plan.OutputFrames()) * sizeof(float);
    t.engineMb = t.peakMb - static_cast<double>(held) / (1024.0 * 1024.0);
    for (StretchSegment* s : segments)
        delete s;
    t.out.left.reserve(static_cast<size_t>(plan.OutputFrames()));
    t.out.right.reserve(static_cast<size_t>(plan.OutputFrames()));
    for (int32_t i = 0; i < plan.OutputFrames(); ++i) {
        t.out.left.push_back(static_cast<float>(plan.GetOutputSample(0, i)));
        t.out.right.push_back(static_cast<float>(plan.GetOutputSample(1, i)));
    }
    t.cpu = cpuSeconds(RUSAGE_SELF) - cpu;
    t.wall = std::chrono::duration<double>(Clock::now() - start).count();
    t.ok = plan.OutputFrames() > 0;
    return t;
}

// Through the front door at a ratio (one segment).
Audio ours(const Audio& in, double ratio)
{
    StretchInputView view;
    Audio copy = in;
    view.left = copy.left.data();
    view.right = copy.right.empty() ? nullptr : copy.right.data();
    view.frames = static_cast<uint32_t>(copy.frames());
    view.sampleRate = 44100;
    view.bitsPerSample = 16;
    StretchSegment segment;
    segment.ratio = ratio;
    segment.length = segment.end = static_cast<int32_t>(copy.frames());
    segment.outputLength = static_cast<int32_t>(std::ceil(segment.length * ratio));
    std::vector<StretchSegment*> list {&segment};
    StretchFormat format;
    format.tag = 2;
    StretchOutput out;
    Audio result;
    const int n = StretchSegments(&view, &list, &format, &out);
    if (n > 0) {
        result.left.assign(out.left, out.left + n);
        if (out.right)
            result.right.assign(out.right, out.right + n);
    }
    FreeStretchOutput(&out);
    return result;
}

bool havePeer()
{
    static const bool have = runChild({"rubberband", "--version"}).rc == 0;
    return have;
}

// The peer on the same input, through WAV files in the private folder.
Timed peer(const Audio& in, double ratio)
{
    Timed t;
    const QString folder = krm::platform::privateTempFolder();
    // Named by the process: the folder is shared by every run of this user.
    const QString tag = QString::number(static_cast<qint64>(getpid()));
    const QString input = QDir(folder).filePath("bench_stretch_in_" + tag + ".wav");
    const QString output = QDir(folder).filePath("bench_stretch_out_" + tag + ".wav");
    std::vector<uint8_t> bytes;
    bytes.reserve(in.frames() * 4);
    for (size_t i = 0; i < in.frames(); ++i) {
        for (float v : {in.left[i], in.right.empty() ? in.left[i] : in.right[i]}) {
            const auto s = static_cast<uint16_t>(toSample(v));
            bytes.push_back(static_cast<uint8_t>(s & 0xFF));
            bytes.push_back(static_cast<uint8_t>(s >> 8));
        }
    }
    if (writeWavFile(input, bytes.data(), static_cast<uint32_t>(bytes.size())) != 0)
        return t;
    char ratioText[32];
    std::snprintf(ratioText, sizeof ratioText, "%.6f", ratio);
    const std::string inPath = input.toStdString(), outPath = output.toStdString();
    const Clock::time_point start = Clock::now();
    const Child child = runChild({"rubberband", "-q", "-t", ratioText, inPath, outPath});
    t.cpu = child.cpu;
    t.peakMb = child.peakMb;
    t.wall = std::chrono::duration<double>(Clock::now() - start).count();
    const int rc = child.rc;
    SF_INFO info {};
    SNDFILE* f = rc == 0 ? sf_open(output.toLocal8Bit().constData(), SFM_READ, &info) : nullptr;
    if (f) {
        std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
        sf_readf_float(f, interleaved.data(), info.frames);
        sf_close(f);
        for (sf_count_t i = 0; i < info.frames; ++i) {
            t.out.left.push_back(32768.0f * interleaved[static_cast<size_t>(i * info.channels)]);
            t.out.right.push_back(32768.0f *
                                  interleaved[static_cast<size_t>(i * info.channels + info.channels - 1)]);
        }
        t.ok = true;
    }
    QFile::remove(input);
    QFile::remove(output);
    return t;
}

std::vector<float> mixDown(const Audio& a)
{
    std::vector<float> m(a.frames());
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = 0.5f * (a.left[i] + (a.right.empty() ? a.left[i] : a.right[i]));
    return m;
}

double onsetF(const Audio& a, const std::vector<int64_t>& onsets, double ratio)
{
    std::vector<int64_t> truth;
    for (int64_t t : onsets)
        truth.push_back(std::llround(static_cast<double>(t) * ratio));
    return testsig::fMeasure(detectOnsets(mixDown(a), kRate), truth, static_cast<int64_t>(0.02 * kRate));
}

// The median distance (ms) from each true onset to the nearest detection
// within 50 ms: a steady lag shows as a low F-measure at 20 ms.
double onsetLagMs(const Audio& a, const std::vector<int64_t>& onsets, double ratio)
{
    const std::vector<int64_t> found = detectOnsets(mixDown(a), kRate);
    std::vector<double> lags;
    for (int64_t t : onsets) {
        const auto truth = static_cast<double>(t) * ratio;
        double best = 1e9;
        for (int64_t f : found) {
            if (std::fabs(static_cast<double>(f) - truth) < std::fabs(best))
                best = static_cast<double>(f) - truth;
        }
        if (std::fabs(best) < 0.05 * kRate)
            lags.push_back(best / kRate * 1000.0);
    }
    if (lags.empty())
        return 0.0;
    std::nth_element(lags.begin(), lags.begin() + static_cast<std::ptrdiff_t>(lags.size() / 2), lags.end());
    return lags[lags.size() / 2];
}

// Runs a stretch `rounds` times and keeps the fastest wall and CPU times (the
// machine may be shared).
template <typename Run> Timed fastest(int rounds, Run run)
{
    Timed best = run();
    for (int i = 1; i < rounds; ++i) {
        const Timed t = run();
        best.wall = std::min(best.wall, t.wall);
        best.cpu = std::min(best.cpu, t.cpu);
    }
    return best;
}

void BM_SongSection(benchmark::State& state)
{
    const double ratio = static_cast<double>(state.range(0)) / 100.0;
    const double tempo = 120.0 / ratio;  // bars of 88200 frames at 120 become ratio x as long
    const Song& s = song();
    const double seconds = static_cast<double>(s.audio.frames()) / kRate;
    const auto expected = static_cast<double>(std::llround(static_cast<double>(s.audio.frames()) * ratio));
    const int rounds = 3;
    Timed mine;
    for (auto _ : state)
        mine = fastest(rounds, [&] { return ourPlan(s.audio, tempo, 30); });
    state.counters["rtf_wall"] = mine.wall / seconds;
    state.counters["rtf_cpu"] = mine.cpu / seconds;
    state.counters["length_error"] = static_cast<double>(mine.out.frames()) - expected;
    state.counters["onset_f"] = onsetF(mine.out, s.onsets, ratio);
    state.counters["onset_lag_ms"] = onsetLagMs(mine.out, s.onsets, ratio);
    state.counters["onset_f_input"] = onsetF(s.audio, s.onsets, 1.0);
    if (!havePeer()) {
        state.SetLabel("rubberband not installed: peer figures left out");
        return;
    }
    const Timed rb = fastest(rounds, [&] { return peer(s.audio, ratio); });
    if (!rb.ok) {
        state.SetLabel("rubberband failed");
        return;
    }
    state.counters["rb_rtf_wall"] = rb.wall / seconds;
    state.counters["rb_rtf_cpu"] = rb.cpu / seconds;
    state.counters["rb_length_error"] = static_cast<double>(rb.out.frames()) - expected;
    state.counters["rb_onset_f"] = onsetF(rb.out, s.onsets, ratio);
    state.counters["rb_onset_lag_ms"] = onsetLagMs(rb.out, s.onsets, ratio);
    state.counters["cpu_vs_rb"] = rb.cpu > 0.0 ? mine.cpu / rb.cpu : 0.0;
}
BENCHMARK(BM_SongSection)
    ->Arg(80)
    ->Arg(100)
    ->Arg(125)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

struct Figures {
    double toneLevel = 0.0, toneSpread = 0.0;
    double chordSpread = 0.0, chordHz = 0.0, chordAway = -600.0;
    double tightSpread = 0.0, tightHz = 0.0, tightAway = -600.0;
    double drumsLevel = 0.0;
};

void chordFigures(const std::vector<float>& y, const std::vector<double>& partials, double& spreadDb,
                  double& hz, double& away)
{
    const auto guard = static_cast<int64_t>(0.3 * kRate);
    const auto to = static_cast<int64_t>(y.size()) - guard;
    for (const PartialTrack& t : trackPartials(y, guard, to, 4096, partials, kRate)) {
        spreadDb = std::max(spreadDb, t.levelSpreadDb);
        hz = std::max(hz, t.worstFrequencyError);
    }
    away = energyAwayFromPartials(y, guard, to, partials, 15.0, kRate);
}

template <typename Stretcher> Figures figures(double ratio, Stretcher stretcher)
{
    Figures f;
    const std::vector<double> tones {100, 250, 500, 1000, 1400, 1500, 1600, 3000, 5400, 5500, 5600, 8000};
    const double each = 0.4;
    Audio tonesIn;
    tonesIn.left = toneSequence(tones, each, 8000.0, kRate);
    const Audio tonesOut = stretcher(tonesIn, ratio);
    const auto n = static_cast<int64_t>(each * kRate), guard = static_cast<int64_t>(0.08 * kRate);
    for (size_t t = 0; t < tones.size() && !tonesOut.left.empty(); ++t) {
        const auto from = static_cast<int64_t>(t) * n;
        const auto a = static_cast<int64_t>(static_cast<double>(from) * ratio);
        const auto b = static_cast<int64_t>(static_cast<double>(from + n) * ratio);
        const double change = db(rms(tonesOut.left, a + guard, b - guard)) -
                              db(rms(tonesIn.left, from + guard, from + n - guard));
        f.toneLevel = std::max(f.toneLevel, std::fabs(change));
        f.toneSpread = std::max(f.toneSpread, spread(windowLevels(tonesOut.left, a + guard, b - guard,
                                                                  static_cast<int64_t>(0.05 * kRate))));
    }
    std::vector<double> partials;
    Audio chordIn;
    chordIn.left = chord({54, 63, 69, 71}, 4, 2.5, 2500.0, kRate, partials);
    chordFigures(stretcher(chordIn, ratio).left, partials, f.chordSpread, f.chordHz, f.chordAway);
    chordIn.left = chord({50, 53, 56, 59}, 4, 2.5, 2500.0, kRate, partials);
    chordFigures(stretcher(chordIn, ratio).left, partials, f.tightSpread, f.tightHz, f.tightAway);

    testsig::SongSpec spec;
    spec.tailSeconds = 0.5;
    testsig::SongPart part;
    part.bars = 4;
    part.pad = false;
    part.chords = {{9, true, false}, {5, false, false}};
    spec.parts = {part};
    const testsig::Song loop = testsig::makeSong(spec);
    Audio drums;
    for (size_t i = 0; i < loop.left.size(); ++i) {
        drums.left.push_back(loop.left[i] * 32767.0f);
        drums.right.push_back(loop.right[i] * 32767.0f);
    }
    const Audio drumsOut = stretcher(drums, ratio);
    const std::vector<float> in = mixDown(drums), out = mixDown(drumsOut);
    f.drumsLevel =
        db(rms(out, 0, static_cast<int64_t>(out.size()))) - db(rms(in, 0, static_cast<int64_t>(in.size())));
    return f;
}

void report(benchmark::State& state, const std::string& prefix, const Figures& f)
{
    state.counters[prefix + "tone_level_db"] = f.toneLevel;
    state.counters[prefix + "tone_spread_db"] = f.toneSpread;
    state.counters[prefix + "chord_spread_db"] = f.chordSpread;
    state.counters[prefix + "chord_hz"] = f.chordHz;
    state.counters[prefix + "chord_away_db"] = f.chordAway;
    state.counters[prefix + "tight_spread_db"] = f.tightSpread;
    state.counters[prefix + "tight_hz"] = f.tightHz;
    state.counters[prefix + "tight_away_db"] = f.tightAway;
    state.counters[prefix + "drums_level_db"] = f.drumsLevel;
}

void BM_Figures(benchmark::State& state)
{
    const double ratio = static_cast<double>(state.range(0)) / 100.0;
    Figures mine;
    for (auto _ : state)
        mine = figures(ratio, ours);
    report(state, "", mine);
    if (havePeer())
        report(state, "rb_", figures(ratio, [](const Audio& in, double r) { return peer(in, r).out; }));
}
BENCHMARK(BM_Figures)
    ->Arg(50)
    ->Arg(80)
    ->Arg(125)
    ->Arg(200)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A stereo song whose instruments sit in different places: a bass panned
// left (the right channel has it 8 dB down), a pad hard left, a second
// chord instrument panned right (the left channel has it 9 dB down and
// 0.4 ms late, as a spaced pair of microphones hears it), drums in the
// centre. Six bars of 120 BPM (Am F C G Am F; the bass on most beats, the
// right-hand chords on the half bars), then C held for two bars to the end
// of the input. Every note's partials are known: the figures read them in
// each note's steady middle (and for the held chord also over its last
// 0.3 s) at the stretched time.
struct StereoNote {
    int64_t start = 0, length = 0;  // input samples
    double frequency = 0.0;         // fundamental, Hz
    int harmonics = 1;
    double amplitude = 0.0;  // the fundamental's, 16-bit units
    double rolloff = 0.5;    // each harmonic's amplitude over the one below
    double left = 1.0, right = 1.0;
    double leftDelay = 0.0;  // samples
    double decay = 0.0;      // seconds of the exponential fall; 0: steady
    bool toEnd = false;      // lasts to the input's end, cut there, not released
};

struct StereoSong {
    Audio audio;
    std::vector<StereoNote> notes;
};

double noteEnvelope(const StereoNote& n, double t)
{
    const double attack = 0.01 * kRate, release = 0.03 * kRate;
    const auto length = static_cast<double>(n.length);
    if (t < 0.0 || t >= length)
        return 0.0;
    double g = std::min(1.0, t / attack);
    if (n.decay > 0.0)
        g *= std::exp(-t / (n.decay * kRate));
    if (!n.toEnd)
        g *= std::min(1.0, (length - t) / release);
    return g;
}

const StereoSong& stereoSong()
{
    static const StereoSong s = [] {
        StereoSong song;
        const auto beat = static_cast<int64_t>(0.5 * kRate), bar = 4 * beat;
        const auto frames = static_cast<size_t>(8 * bar);
        const auto hz = [](int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); };
        struct Bar {
            int bass;
            std::vector<int> pad, high;
        };
        const std::vector<Bar> bars {{45, {57, 60, 64}, {72, 76, 81}}, {41, {53, 57, 60}, {72, 77, 81}},
                                     {36, {55, 60, 64}, {76, 79, 84}}, {43, {55, 59, 62}, {74, 79, 83}},
                                     {45, {57, 60, 64}, {72, 76, 81}}, {41, {53, 57, 60}, {72, 77, 81}},
                                     {36, {55, 60, 64}, {76, 79, 84}}};
        for (size_t b = 0; b < bars.size(); ++b) {
            const int64_t at = static_cast<int64_t>(b) * bar;
            const bool held = b + 1 == bars.size();
            const int64_t length = held ? static_cast<int64_t>(frames) - at : bar;
            for (int m : bars[b].pad)
                song.notes.push_back({at, length, hz(m), 3, 2500.0, 0.4, 0.9, 0.0, 0.0, 0.0, held});
            for (int half = 0; half < (held ? 1 : 2); ++half) {
                for (int m : bars[b].high)
                    song.notes.push_back({at + half * 2 * beat, held ? length : 2 * beat - 2205, hz(m), 2,
                                          2000.0, 0.5, 0.35, 1.0, 0.0004 * kRate, 0.0, held});
            }
            for (int k = 0; k < (held ? 1 : 4); ++k) {
                if (k == 3 && b % 2 == 1)
                    continue;  // a rest now and then
                const int m = bars[b].bass + (k == 2 ? 7 : 0);
                song.notes.push_back({at + k * beat, held ? length : beat - 2205, hz(m), 4, 6000.0, 0.6, 1.0,
                                      0.4, 0.0, held ? 3.0 : 1.0, held});
            }
        }
        std::vector<double> left(frames, 0.0), right(frames, 0.0);
        for (size_t n = 0; n < song.notes.size(); ++n) {
            const StereoNote& note = song.notes[n];
            for (int k = 1; k <= note.harmonics; ++k) {
                const double f = note.frequency * k, a = note.amplitude * std::pow(note.rolloff, k - 1);
                const double phase = std::fmod(0.37 * static_cast<double>(n + 1) * k, 2.0 * kPi);
                for (int64_t i = note.start; i < note.start + note.length + 32; ++i) {
                    if (i >= static_cast<int64_t>(frames))
                        break;
                    for (int c = 0; c < 2; ++c) {
                        const double t =
                            static_cast<double>(i - note.start) - (c == 0 ? note.leftDelay : 0.0);
                        const double v =
                            a * noteEnvelope(note, t) * std::sin(2.0 * kPi * f * t / kRate + phase);
                        (c == 0 ? left : right)[static_cast<size_t>(i)] +=
                            (c == 0 ? note.left : note.right) * v;
                    }
                }
            }
        }
        // Drums in the centre: a kick on one and three, a snare of noise on
        // two and four, a hi-hat on the eighths; one kick starts the held
        // chord.
        uint32_t seed = 12345;
        const auto noise = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
        };
        for (int64_t b = 0; b < 7; ++b) {
            for (int64_t e = 0; e < (b == 6 ? 1 : 8); ++e) {
                const int64_t at = b * bar + e * beat / 2;
                if (e % 4 == 0) {
                    double phase = 0.0;
                    for (int64_t i = 0; i < static_cast<int64_t>(0.3 * kRate); ++i) {
                        const double t = static_cast<double>(i) / kRate;
                        phase += 2.0 * kPi * (40.0 + 80.0 * std::exp(-t / 0.03)) / kRate;
                        const double v = 9000.0 * std::exp(-t / 0.04) * std::sin(phase);
                        left[static_cast<size_t>(at + i)] += v;
                        right[static_cast<size_t>(at + i)] += v;
                    }
                }
                if (b == 6)
                    continue;
                const bool snare = e % 4 == 2;
                const double level = snare ? 5000.0 : 1500.0, fall = snare ? 0.05 : 0.012;
                double previous = 0.0;
                for (int64_t i = 0; i < static_cast<int64_t>((snare ? 0.25 : 0.06) * kRate); ++i) {
                    const double w = noise();
                    // The hi-hat is the noise's first difference: its energy
                    // lies high, away from the notes.
                    const double v = level * std::exp(-static_cast<double>(i) / (fall * kRate)) *
                                     (snare ? w : w - previous);
                    previous = w;
                    left[static_cast<size_t>(at + i)] += v;
                    right[static_cast<size_t>(at + i)] += v;
                }
            }
        }
        // Room to spare below full scale; the notes' amplitudes follow.
        double top = 0.0;
        for (size_t i = 0; i < frames; ++i)
            top = std::max({top, std::fabs(left[i]), std::fabs(right[i])});
        const double scale = std::min(1.0, 28000.0 / top);
        for (StereoNote& note : song.notes)
            note.amplitude *= scale;
        for (size_t i = 0; i < frames; ++i) {
            song.audio.left.push_back(static_cast<float>(toSample(static_cast<float>(scale * left[i]))));
            song.audio.right.push_back(static_cast<float>(toSample(static_cast<float>(scale * right[i]))));
        }
        return song;
    }();
    return s;
}

struct StereoFigures {
    double cents[2] = {0.0, 0.0};  // worst |pitch error| per channel
    double centsP90 = 0.0;         // the 90th percentile of |pitch error|, both channels
    double phaseDeg = 0.0;         // worst change of a partial's phase between the channels
    double phaseP90 = 0.0;         // its 90th percentile
    double balanceDb = 0.0;        // worst change of a partial's level between the channels
    int partials = 0;              // partial readings taken (both channels)
};

double percentile90(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    const auto at = v.begin() + static_cast<std::ptrdiff_t>(9 * (v.size() - 1) / 10);
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

// The stretches of input where a note is read: its steady middle, from 30 %
// into it (past its attack, the kick on its beat and the stretch's smear of
// the note before) to 15 % before its end; a note held for seconds is read
// in its middle and over its last 0.3 s.
std::vector<std::pair<int64_t, int64_t>> readSpans(const StereoNote& n)
{
    const auto length = static_cast<double>(n.length);
    if (length > 2.0 * kRate) {
        const auto middle = n.start + n.length / 2, half = static_cast<int64_t>(0.25 * kRate);
        return {{middle - half, 2 * half},
                {n.start + n.length - static_cast<int64_t>(0.35 * kRate), static_cast<int64_t>(0.3 * kRate)}};
    }
    const auto from = n.start + static_cast<int64_t>(0.3 * length);
    const auto to = n.start + n.length - static_cast<int64_t>(0.15 * length);
    return {{from, to - from}};
}

// Every partial of every note is read in each channel where it is loud
// enough (150 16-bit units) and no other partial sounding then lies within
// five bins of the reading's window, unless at the same pitch (within half
// a cent: an octave of another note, which keeps the reading's pitch but
// mixes two sources, so the channels' relation is not read there). The
// pitch is the highest peak within a semitone and a half, short of the
// halfway points to the neighbouring partials. The channels' relation, a
// partial's left-over-right value, is held against the input's in the same
// stretch of the song.
StereoFigures stereoFigures(const StereoSong& song, const Audio& out, double ratio)
{
    StereoFigures f;
    std::vector<double> cents, phases;
    const std::vector<float>* channels[2] = {&out.left, &out.right};
    const std::vector<float>* inputs[2] = {&song.audio.left, &song.audio.right};
    struct Sounding {
        double frequency, level[2];
        size_t note;
    };
    for (size_t n = 0; n < song.notes.size(); ++n) {
        const StereoNote& note = song.notes[n];
        for (const auto& span : readSpans(note)) {
            auto from = static_cast<int64_t>(std::llround(static_cast<double>(span.first) * ratio));
            auto length = static_cast<int64_t>(std::llround(static_cast<double>(span.second) * ratio));
            if (length > 16384) {
                from += (length - 16384) / 2;
                length = 16384;
            }
            if (from + length > static_cast<int64_t>(out.frames()))
                continue;
            const double middle = static_cast<double>(span.first) + 0.5 * static_cast<double>(span.second);
            std::vector<Sounding> sounding;
            for (size_t m = 0; m < song.notes.size(); ++m) {
                const StereoNote& other = song.notes[m];
                if (other.start >= span.first + span.second || other.start + other.length <= span.first)
                    continue;
                const double g =
                    std::max(noteEnvelope(other, middle - static_cast<double>(other.start)), 0.1);
                for (int k = 1; k <= other.harmonics; ++k) {
                    const double a = g * other.amplitude * std::pow(other.rolloff, k - 1);
                    sounding.push_back({other.frequency * k, {a * other.left, a * other.right}, m});
                }
            }
            const WindowedSpan windows[2] = {WindowedSpan(*channels[0], from, length),
                                             WindowedSpan(*channels[1], from, length)};
            // The input over the same stretch of the song, for the channels'
            // relation (none is read unstretched).
            std::vector<WindowedSpan> in;
            if (ratio != 1.0) {
                in.emplace_back(*inputs[0], span.first, span.second);
                in.emplace_back(*inputs[1], span.first, span.second);
            }
            const double close = 5.0 * kRate / static_cast<double>(length);
            for (const Sounding& p : sounding) {
                if (p.note != n)
                    continue;
                bool readable[2] = {false, false};
                for (int c = 0; c < 2; ++c) {
                    if (p.level[c] < 150.0)
                        continue;
                    double low = p.frequency / std::pow(2.0, 1.5 / 12.0);
                    double high = p.frequency * std::pow(2.0, 1.5 / 12.0);
                    bool alone = true;
                    for (const Sounding& q : sounding) {
                        if (&q == &p || q.level[c] < 30.0)
                            continue;
                        alone = alone && std::fabs(q.frequency - p.frequency) >= close;
                        if (q.frequency < p.frequency)
                            low = std::max(low, 0.5 * (p.frequency + q.frequency));
                        else
                            high = std::min(high, 0.5 * (p.frequency + q.frequency));
                    }
                    if (!alone)
                        continue;
                    readable[c] = true;
                    const double found = windows[c].peak(low, high);
                    cents.push_back(std::fabs(1200.0 * std::log2(found / p.frequency)));
                    f.cents[c] = std::max(f.cents[c], cents.back());
                    ++f.partials;
                }
                if (!readable[0] || !readable[1] || in.empty())
                    continue;
                const std::complex<double> was = in[0].at(p.frequency) / in[1].at(p.frequency);
                const std::complex<double> is = windows[0].at(p.frequency) / windows[1].at(p.frequency);
                phases.push_back(std::fabs(std::arg(is / was)) * 180.0 / kPi);
                f.phaseDeg = std::max(f.phaseDeg, phases.back());
                f.balanceDb = std::max(f.balanceDb, std::fabs(db(std::abs(is) / std::abs(was))));
            }
        }
    }
    f.centsP90 = percentile90(cents);
    f.phaseP90 = percentile90(phases);
    return f;
}

void reportStereo(benchmark::State& state, const std::string& prefix, const StereoFigures& f)
{
    state.counters[prefix + "stereo_cents_l"] = f.cents[0];
    state.counters[prefix + "stereo_cents_r"] = f.cents[1];
    state.counters[prefix + "stereo_cents_p90"] = f.centsP90;
    state.counters[prefix + "stereo_phase_deg"] = f.phaseDeg;
    state.counters[prefix + "stereo_phase_p90"] = f.phaseP90;
    state.counters[prefix + "stereo_balance_db"] = f.balanceDb;
}

void BM_Stereo(benchmark::State& state)
{
    const double ratio = static_cast<double>(state.range(0)) / 100.0;
    const StereoSong& song = stereoSong();
    StereoFigures mine;
    for (auto _ : state)
        mine = stereoFigures(song, ours(song.audio, ratio), ratio);
    reportStereo(state, "", mine);
    const StereoFigures input = stereoFigures(song, song.audio, 1.0);
    state.counters["stereo_cents_input"] = std::max(input.cents[0], input.cents[1]);
    state.counters["stereo_readings"] = mine.partials;
    if (havePeer()) {
        const Timed rb = peer(song.audio, ratio);
        if (rb.ok)
            reportStereo(state, "rb_", stereoFigures(song, rb.out, ratio));
    }
}
BENCHMARK(BM_Stereo)
    ->Arg(50)
    ->Arg(80)
    ->Arg(125)
    ->Arg(200)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Growth(benchmark::State& state)
{
    const auto frames = static_cast<size_t>(static_cast<double>(state.range(0)) / 100.0 * kRate);
    const Song& s = song();
    Audio in;
    in.left.assign(s.audio.left.begin(), s.audio.left.begin() + static_cast<std::ptrdiff_t>(frames));
    in.right.assign(s.audio.right.begin(), s.audio.right.begin() + static_cast<std::ptrdiff_t>(frames));
    double wall = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(ours(in, 1.25));
        wall += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["rtf"] =
        wall / (static_cast<double>(frames) / kRate * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Growth)
    ->Arg(375)
    ->Arg(1500)
    ->Arg(6000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A whole song of `minutes` at 120 BPM (two-second bars): intro, verses and
// choruses in turn, with the drums, bass, chords and stabs of the section
// above.
const Audio& wholeSong(int minutes)
{
    static std::map<int, Audio> made;
    auto found = made.find(minutes);
    if (found != made.end())
        return found->second;
    const std::vector<testsig::SongChord> verse {
        {9, true, false}, {5, false, false}, {0, false, false}, {7, false, true}};
    const std::vector<testsig::SongChord> chorus {
        {0, false, false}, {7, false, false}, {9, true, false}, {5, false, true}};
    testsig::SongSpec spec;
    spec.bpm = 120.0;
    spec.tailSeconds = 0.0;
    const int bars = minutes * 30;
    spec.parts.push_back({"intro", 6, verse, true, true, true, false});
    for (int at = 6, i = 0; at < bars; ++i) {
        const int n = std::min(8, bars - at);
        spec.parts.push_back(i % 2 == 0 ? testsig::SongPart {"verse", n, verse, true, true, true, false}
                                        : testsig::SongPart {"chorus", n, chorus, true, true, true, true});
        at += n;
    }
    const testsig::Song song = testsig::makeSong(spec);
    const size_t frames = static_cast<size_t>(bars) * 88200;
    Audio& out = made[minutes];
    for (size_t i = 0; i < frames && i < song.left.size(); ++i) {
        out.left.push_back(static_cast<float>(toSample(song.left[i] * 30000.0f)));
        out.right.push_back(static_cast<float>(toSample(song.right[i] * 30000.0f)));
    }
    return out;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int benchRounds()
{
    const char* text = std::getenv("STRETCH_BENCH_ROUNDS");
    const int n = text ? std::atoi(text) : 3;
    return std::max(1, n);
}

void BM_WholeSong(benchmark::State& state)
{
    const auto minutes = static_cast<int>(state.range(0));
    const double ratio = static_cast<double>(state.range(1)) / 100.0;
    const Audio& song = wholeSong(minutes);
    const double seconds = static_cast<double>(song.frames()) / kRate;
    const auto bars = static_cast<int32_t>(song.frames() / 88200);
    const bool peerToo = havePeer();
    std::vector<double> cpu, wall, peak, engine, rbCpu, rbWall, rbPeak;
    double lengthError = 0.0;
    for (auto _ : state) {
        for (int round = 0; round < benchRounds(); ++round) {
            {
                const Timed t = ourPlan(song, 120.0 / ratio, bars);
                cpu.push_back(t.cpu);
                wall.push_back(t.wall);
                peak.push_back(t.peakMb);
                engine.push_back(t.engineMb);
                lengthError = static_cast<double>(t.out.frames()) -
                              static_cast<double>(std::llround(static_cast<double>(song.frames()) * ratio));
            }
            if (peerToo) {
                const Timed rb = peer(song, ratio);
                if (rb.ok) {
                    rbCpu.push_back(rb.cpu);
                    rbWall.push_back(rb.wall);
                    rbPeak.push_back(rb.peakMb);
                }
            }
        }
    }
    const double myCpu = median(cpu), myWall = median(wall);
    state.counters["rtf_cpu"] = myCpu / seconds;
    state.counters["rtf_wall"] = myWall / seconds;
    state.counters["peak_mb"] = median(peak);
    state.counters["engine_mb"] = median(engine);
    state.counters["length_error"] = lengthError;
    static std::map<int, double> oneMinute;  // 0: ours, 1: the peer's, at 1.25
    if (minutes == 1 && state.range(1) == 125) {
        oneMinute[0] = myCpu;
        oneMinute[1] = median(rbCpu);
    }
    if (state.range(1) == 125 && oneMinute.count(0) && oneMinute[0] > 0.0)
        state.counters["growth_cpu"] = myCpu / oneMinute[0];
    if (rbCpu.empty()) {
        state.SetLabel(peerToo ? "rubberband failed" : "rubberband not installed: peer figures left out");
        return;
    }
    const double peerCpu = median(rbCpu), peerWall = median(rbWall);
    state.counters["rb_rtf_cpu"] = peerCpu / seconds;
    state.counters["rb_rtf_wall"] = peerWall / seconds;
    state.counters["rb_peak_mb"] = median(rbPeak);
    state.counters["cpu_vs_rb"] = peerCpu > 0.0 ? myCpu / peerCpu : 0.0;
    state.counters["wall_vs_rb"] = peerWall > 0.0 ? myWall / peerWall : 0.0;
    if (state.range(1) == 125 && oneMinute.count(1) && oneMinute[1] > 0.0)
        state.counters["rb_growth_cpu"] = peerCpu / oneMinute[1];
}
BENCHMARK(BM_WholeSong)
    ->Args({1, 125})
    ->Args({4, 50})
    ->Args({4, 80})
    ->Args({4, 125})
    ->Args({4, 200})
    ->Args({16, 125})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    startLauncher();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
