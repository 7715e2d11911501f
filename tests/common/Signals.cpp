#include "Signals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace testsig {

double midiToHz(double m)
{
    return 440.0 * std::pow(2.0, (m - 69.0) / 12.0);
}

int64_t toSample(double seconds)
{
    return static_cast<int64_t>(std::llround(seconds * kRate));
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// Adds a note of `freq` with `harmonics` partials under an attack/decay
// envelope into a channel.
void addNote(std::vector<float>& ch, int64_t at, double seconds, double freq, int harmonics, float amp,
             double attack, double decay, double brightness = 1.0)
{
    const int64_t n = toSample(seconds);
    if (at < 0 || n <= 0)
        return;
    if (static_cast<int64_t>(ch.size()) < at + n)
        ch.resize(static_cast<size_t>(at + n), 0.0f);
    for (int64_t i = 0; i < n; ++i) {
        const double t = i / kRate;
        double env = t < attack ? t / attack : std::exp(-(t - attack) / decay);
        const double release = 0.01;
        const double left = seconds - t;
        if (left < release)
            env *= left / release;
        double v = 0.0;
        for (int k = 1; k <= harmonics; ++k) {
            const double f = freq * k;
            if (f > 0.45 * kRate)
                break;
            v += std::sin(2.0 * kPi * f * t) * std::pow(1.0 / k, 1.0 / brightness);
        }
        ch[static_cast<size_t>(at + i)] += static_cast<float>(amp * env * v / 1.6);
    }
}

void addKick(std::vector<float>& ch, int64_t at, float amp)
{
    const int64_t n = toSample(0.25);
    if (static_cast<int64_t>(ch.size()) < at + n)
        ch.resize(static_cast<size_t>(at + n), 0.0f);
    double phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double f = 50.0 + 90.0 * std::exp(-t / 0.03);
        phase += 2.0 * kPi * f / kRate;
        ch[static_cast<size_t>(at + i)] += static_cast<float>(amp * std::exp(-t / 0.09) * std::sin(phase));
    }
}

void addNoiseHit(std::vector<float>& ch, int64_t at, double seconds, double decay, float amp, double toneHz,
                 float toneAmp, bool highpass, std::mt19937& rng)
{
    const int64_t n = toSample(seconds);
    if (static_cast<int64_t>(ch.size()) < at + n)
        ch.resize(static_cast<size_t>(at + n), 0.0f);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    float prev = 0.0f;
    for (int64_t i = 0; i < n; ++i) {
        const double t = i / kRate;
        float w = u(rng);
        float v = highpass ? (w - prev) * 0.5f : w;
        prev = w;
        const double env = std::exp(-t / decay);
        const double tone = toneAmp * std::sin(2.0 * kPi * toneHz * t) * std::exp(-t / 0.05);
        ch[static_cast<size_t>(at + i)] += static_cast<float>(env * (amp * v) + tone);
    }
}

}  // namespace

Signal clickTrack(double bpm, double seconds, float amp, int clickLength, int64_t firstClick)
{
    Signal s;
    s.samples.assign(static_cast<size_t>(toSample(seconds)), 0.0f);
    const double period = 60.0 / bpm * kRate;
    for (int k = 0;; ++k) {
        const int64_t at = firstClick + static_cast<int64_t>(std::llround(k * period));
        if (at >= static_cast<int64_t>(s.samples.size()))
            break;
        s.events.push_back(at);
        for (int i = 0; i < clickLength && at + i < static_cast<int64_t>(s.samples.size()); ++i) {
            const double env = 1.0 - static_cast<double>(i) / clickLength;
            s.samples[static_cast<size_t>(at + i)] =
                static_cast<float>(amp * env * std::cos(2.0 * kPi * 1000.0 * i / kRate));
        }
    }
    return s;
}

std::vector<float> harmonicTone(double freq, double seconds, int harmonics, float amp)
{
    std::vector<float> out(static_cast<size_t>(toSample(seconds)), 0.0f);
    double norm = 0.0;
    for (int k = 1; k <= harmonics; ++k)
        norm += 1.0 / k;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = i / kRate;
        double v = 0.0;
        for (int k = 1; k <= harmonics; ++k)
            v += std::sin(2.0 * kPi * freq * k * t) / k;
        out[i] = static_cast<float>(amp * v / norm);
    }
    return out;
}

std::vector<float> triadWithBass(int rootMidi, bool minor, double seconds, float amp)
{
    const int third = minor ? 3 : 4;
    std::vector<float> out = harmonicTone(midiToHz(rootMidi - 12), seconds, 6, amp * 0.4f);
    for (int interval : {0, third, 7})
        mixInto(out, harmonicTone(midiToHz(rootMidi + interval), seconds, 5, amp * 0.25f));
    return out;
}

Signal noiseBursts(int count, double burstSeconds, double gapSeconds, float amp, unsigned seed)
{
    Signal s;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-amp, amp);
    const int64_t burst = toSample(burstSeconds);
    const int64_t gap = toSample(gapSeconds);
    for (int b = 0; b < count; ++b) {
        for (int64_t i = 0; i < burst; ++i)
            s.samples.push_back(u(rng));
        if (b + 1 < count) {
            s.events.push_back(static_cast<int64_t>(s.samples.size()));
            s.samples.insert(s.samples.end(), static_cast<size_t>(gap), 0.0f);
        }
    }
    return s;
}

void mixInto(std::vector<float>& a, const std::vector<float>& b, float gain, int64_t at)
{
    if (at < 0)
        return;
    if (a.size() < b.size() + static_cast<size_t>(at))
        a.resize(b.size() + static_cast<size_t>(at), 0.0f);
    for (size_t i = 0; i < b.size(); ++i)
        a[i + static_cast<size_t>(at)] += gain * b[i];
}

std::vector<float> interleave(const std::vector<float>& left, const std::vector<float>& right)
{
    const size_t n = std::max(left.size(), right.size());
    std::vector<float> out(2 * n, 0.0f);
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = i < left.size() ? left[i] : 0.0f;
        out[2 * i + 1] = i < right.size() ? right[i] : 0.0f;
    }
    return out;
}

float peak(const std::vector<float>& x)
{
    float p = 0.0f;
    for (float v : x)
        p = std::max(p, std::fabs(v));
    return p;
}

std::vector<float> Song::mono() const
{
    std::vector<float> m(std::max(left.size(), right.size()), 0.0f);
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = 0.5f * ((i < left.size() ? left[i] : 0.0f) + (i < right.size() ? right[i] : 0.0f));
    return m;
}

Song makeSong(const SongSpec& spec)
{
    Song song;
    std::mt19937 rng(spec.seed);
    int totalBars = 0;
    for (const SongPart& p : spec.parts)
        totalBars += p.bars;
    const int totalBeats = totalBars * spec.beatsPerBar;
    const int bpb = spec.beatsPerBar;

    // Beat times, with an optional linear tempo drift.
    std::vector<double> beatTime;
    double t = spec.leadInSeconds;
    for (int k = 0; k <= totalBeats; ++k) {
        beatTime.push_back(t);
        const double bpm = spec.bpm * (1.0 + spec.tempoDriftPercent / 100.0 * k / std::max(1, totalBeats));
        t += 60.0 / bpm;
    }
    const size_t length = static_cast<size_t>(toSample(t + spec.tailSeconds));
    song.left.assign(length, 0.0f);
    song.right.assign(length, 0.0f);
    std::vector<float> centre(length, 0.0f);

    int beat = 0;
    for (size_t partIndex = 0; partIndex < spec.parts.size(); ++partIndex) {
        const SongPart& part = spec.parts[partIndex];
        song.partStarts.push_back(toSample(beatTime[static_cast<size_t>(beat)]));
        // Each part gets its own timbre so that parts differ in colour too.
        const int padHarmonics = 3 + static_cast<int>(partIndex % 3) * 2;
        const double brightness = 0.8 + 0.4 * static_cast<double>(partIndex % 2);
        for (int bar = 0; bar < part.bars; ++bar) {
            const SongChord& c = part.chords[static_cast<size_t>(bar) % part.chords.size()];
            const int root = 48 + c.root;  // C3 upwards
            std::vector<int> notes {0, c.minor ? 3 : 4, 7};
            if (c.seventh)
                notes.push_back(10);
            const int b0 = beat;
            const double barStart = beatTime[static_cast<size_t>(b0)];
            const double barLen = beatTime[static_cast<size_t>(b0 + bpb)] - barStart;
            song.downbeats.push_back(toSample(barStart));
            for (int k = 0; k < bpb; ++k) {
                song.beats.push_back(toSample(beatTime[static_cast<size_t>(b0 + k)]));
                song.beatChordRoot.push_back(c.root);
                song.beatChordMinor.push_back(c.minor);
            }
            if (part.pad) {
                const int64_t at = toSample(barStart);
                for (int n : notes)
                    addNote(centre, at, barLen, midiToHz(root + 12 + n), padHarmonics, 0.10f, 0.03, 2.0,
                            brightness);
                song.onsets.push_back(at);
            }
            for (int k = 0; k < bpb; ++k) {
                const double bt = beatTime[static_cast<size_t>(b0 + k)];
                const double beatLen = beatTime[static_cast<size_t>(b0 + k + 1)] - bt;
                const int64_t at = toSample(bt);
                const int64_t half = toSample(bt + beatLen / 2);
                if (part.bass && (k == 0 || k == bpb / 2 + (bpb == 3 ? 0 : 0))) {
                    addNote(centre, at, beatLen * (k == 0 ? 1.5 : 0.9),
                            midiToHz(root - 12 + (k == 0 ? 0 : 7)), 6, 0.35f, 0.005, 0.35);
                    song.onsets.push_back(at);
                }
                if (part.stabs) {
                    for (int n : notes)
                        addNote(song.right, half, beatLen * 0.3, midiToHz(root + 12 + n), 8, 0.06f, 0.002,
                                0.08);
                    song.onsets.push_back(half);
                }
                if (part.drums) {
                    const bool kick = k == 0 || (bpb == 4 && k == 2);
                    const bool snare = bpb == 3 ? k != 0 : (k % 2 == 1);
                    if (kick) {
                        addKick(centre, at, 0.7f);
                    }
                    if (snare) {
                        std::vector<float> s;
                        addNoiseHit(s, 0, 0.18, 0.05, bpb == 3 ? 0.25f : 0.35f, 190.0, 0.15f, false, rng);
                        mixInto(song.left, s, 0.8f, at);
                        mixInto(song.right, s, 0.4f, at);
                    }
                    std::vector<float> h1, h2;
                    addNoiseHit(h1, 0, 0.05, 0.012, 0.18f, 0.0, 0.0f, true, rng);
                    addNoiseHit(h2, 0, 0.05, 0.012, 0.10f, 0.0, 0.0f, true, rng);
                    mixInto(song.right, h1, 1.0f, at);
                    mixInto(song.left, h1, 0.3f, at);
                    mixInto(song.right, h2, 1.0f, half);
                    mixInto(song.left, h2, 0.3f, half);
                    song.onsets.push_back(at);
                    song.onsets.push_back(half);
                }
            }
            beat += bpb;
        }
    }
    // A little room: two early reflections on each side.
    for (size_t i = length; i-- > 0;) {
        const float c = centre[i];
        song.left[i] += c;
        song.right[i] += c;
    }
    const size_t d1 = static_cast<size_t>(toSample(0.023)), d2 = static_cast<size_t>(toSample(0.037));
    for (size_t i = length; i-- > d2;) {
        song.left[i] += 0.18f * song.right[i - d1];
        song.right[i] += 0.15f * song.left[i - d2];
    }
    const float p = std::max(peak(song.left), peak(song.right));
    if (p > 0.95f) {
        for (float& v : song.left)
            v *= 0.95f / p;
        for (float& v : song.right)
            v *= 0.95f / p;
    }
    std::sort(song.onsets.begin(), song.onsets.end());
    song.onsets.erase(std::unique(song.onsets.begin(), song.onsets.end()), song.onsets.end());
    return song;
}

EventScore scoreEvents(std::vector<int64_t> detected, std::vector<int64_t> truth, int64_t tolerance)
{
    std::sort(detected.begin(), detected.end());
    EventScore s;
    s.detected = static_cast<int>(detected.size());
    s.truth = static_cast<int>(truth.size());
    std::vector<bool> used(detected.size(), false);
    for (int64_t t : truth) {
        // The nearest unused detection on either side of t.
        const auto at = std::lower_bound(detected.begin(), detected.end(), t) - detected.begin();
        int64_t best = -1;
        for (int64_t i = at; i < static_cast<int64_t>(detected.size()) && detected[i] - t <= tolerance; ++i)
            if (!used[i]) {
                best = i;
                break;
            }
        for (int64_t i = at - 1; i >= 0 && t - detected[i] <= tolerance; --i)
            if (!used[i]) {
                if (best < 0 || t - detected[i] < detected[best] - t)
                    best = i;
                break;
            }
        if (best >= 0) {
            used[static_cast<size_t>(best)] = true;
            ++s.matched;
        }
    }
    if (s.detected == 0 && s.truth == 0) {
        s.precision = s.recall = s.fMeasure = 1.0;
        return s;
    }
    s.precision = s.detected > 0 ? static_cast<double>(s.matched) / s.detected : 0.0;
    s.recall = s.truth > 0 ? static_cast<double>(s.matched) / s.truth : 0.0;
    const double sum = s.precision + s.recall;
    s.fMeasure = sum > 0.0 ? 2.0 * s.precision * s.recall / sum : 0.0;
    return s;
}

double fMeasure(const std::vector<int64_t>& detected, const std::vector<int64_t>& truth, int64_t tolerance)
{
    return scoreEvents(detected, truth, tolerance).fMeasure;
}

MemorySource::MemorySource(std::vector<float> interleaved, int32_t channels, float rate)
    : m_data(std::move(interleaved)), m_channels(channels > 0 ? channels : 1), m_rate(rate)
{ }

int32_t MemorySource::seek(int32_t position)
{
    ++seekCalls;
    const int64_t frames = static_cast<int64_t>(m_data.size()) / m_channels;
    m_pos = std::clamp<int64_t>(position, 0, frames);
    return static_cast<int32_t>(m_pos);
}

int32_t MemorySource::read(float* buffer, int32_t frames)
{
    ++readCalls;
    const int64_t total = static_cast<int64_t>(m_data.size()) / m_channels;
    const int64_t n = std::clamp<int64_t>(std::min<int64_t>(frames, total - m_pos), 0, total);
    std::copy_n(m_data.begin() + m_pos * m_channels, n * m_channels, buffer);
    m_pos += n;
    framesRead += n;
    return static_cast<int32_t>(n);
}

int32_t MemorySource::length() const
{
    if (m_lengthOverridden)
        return m_reportedLength;
    return static_cast<int32_t>(m_data.size() / static_cast<size_t>(m_channels));
}

void RecordingObserver::progress(unsigned char p)
{
    progressValues.push_back(p);
    if (abortAfterProgress > 0 && static_cast<int>(progressValues.size()) >= abortAfterProgress)
        abortRequest = 1;
}

}  // namespace testsig
