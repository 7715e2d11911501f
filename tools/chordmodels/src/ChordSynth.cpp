#include "ChordSynth.h"

#include "SynthRandom.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

namespace chordsynth {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kTableSize = 2048;
constexpr double kHighestPartial = 12000.0;  // Hz

// Harmonic spectra: the chord timbres, then the bass and the lead.
enum Profile { kPiano, kOrgan, kStrings, kGuitar, kElectricPiano, kBrass, kBass, kLead, kBrightBass };

double partialAmplitude(int profile, int h, double hz)
{
    const double corner = profile == kStrings  ? 3500.0
                          : profile == kGuitar ? 4500.0
                          : profile == kBrass  ? 2800.0
                                               : 6000.0;
    const double lowpass = 1.0 / (1.0 + (hz / corner) * (hz / corner));
    switch (profile) {
    case kPiano:
        return std::pow(h, -1.1) * (0.35 + std::fabs(std::sin(kPi * h / 7.3))) * lowpass;
    case kOrgan: {
        static const double drawbars[9] = {0.0, 1.0, 0.75, 0.5, 0.45, 0.0, 0.28, 0.0, 0.2};
        return h < 9 ? drawbars[h] : 0.0;
    }
    case kStrings:
        return lowpass / h;
    case kGuitar:
        return std::fabs(std::sin(kPi * h * 0.19)) / h * lowpass;
    case kElectricPiano: {
        static const double tines[5] = {0.0, 1.0, 0.3, 0.08, 0.04};
        return h < 5 ? tines[h] : (h == 7 ? 0.03 : 0.0);
    }
    case kBrass:
        return std::pow(h, -0.6) * lowpass;
    case kBass: {
        static const double b[8] = {0.0, 1.0, 0.55, 0.3, 0.18, 0.1, 0.05, 0.03};
        return h < 8 ? b[h] : 0.0;
    }
    case kBrightBass:
        return h <= 8 ? 1.0 / h : 0.0;
    default: {
        static const double l[5] = {0.0, 1.0, 0.22, 0.07, 0.03};
        return h < 5 ? l[h] : 0.0;
    }
    }
}

// Single-cycle tables, band-limited for each note, built on first use.
class TableCache {
public:
    const std::vector<float>& table(int profile, int note)
    {
        std::unique_ptr<std::vector<float>>& t = m_tables[profile * 256 + note];
        if (!t)
            t = build(profile, note);
        return *t;
    }

private:
    static std::unique_ptr<std::vector<float>> build(int profile, int note)
    {
        auto t = std::make_unique<std::vector<float>>(kTableSize + 1, 0.0f);
        const double f0 = 440.0 * std::pow(2.0, (note - 69) / 12.0);
        Random phases(static_cast<uint64_t>(profile * 1000 + note));
        std::vector<double> acc(kTableSize, 0.0);
        for (int h = 1; h * f0 < kHighestPartial && h < 64; ++h) {
            const double a = partialAmplitude(profile, h, h * f0);
            const double phase = phases.uniform(0.0, 2.0 * kPi);
            if (a <= 0.0)
                continue;
            for (int i = 0; i < kTableSize; ++i)
                acc[i] += a * std::sin(2.0 * kPi * h * i / kTableSize + phase);
        }
        double peak = 1e-9;
        for (double v : acc)
            peak = std::max(peak, std::fabs(v));
        for (int i = 0; i < kTableSize; ++i)
            (*t)[i] = static_cast<float>(acc[i] / peak);
        (*t)[kTableSize] = (*t)[0];
        return t;
    }

    std::map<int, std::unique_ptr<std::vector<float>>> m_tables;
};

struct Envelope {
    double attack;   // seconds
    double decay;    // time constant while held; 0 = sustained
    double release;  // time constant after the note ends
};

Envelope envelopeOf(int profile, double hz)
{
    // Low strings ring longer than high ones.
    const double ring = std::clamp(1.6 - std::log2(hz / 130.0) * 0.35, 0.4, 2.5);
    switch (profile) {
    case kPiano:
        return {0.003, 0.9 * ring, 0.08};
    case kOrgan:
        return {0.01, 0.0, 0.05};
    case kStrings:
        return {0.15, 0.0, 0.2};
    case kGuitar:
        return {0.002, 0.55 * ring, 0.06};
    case kElectricPiano:
        return {0.002, 1.2 * ring, 0.1};
    case kBrass:
        return {0.04, 0.0, 0.08};
    case kBass:
    case kBrightBass:
        return {0.004, 1.0, 0.05};
    default:
        return {0.03, 0.0, 0.06};
    }
}

struct Note {
    double start;  // seconds
    double length;
    int midi;
    int profile;
    double gain;
    double vibrato = 0.0;  // relative depth at 5.5 Hz
};

// Tables depend only on the profile and the note, so every rendering shares
// them; built under a lock the first time they are asked for.
const std::vector<float>& sharedTable(int profile, int note)
{
    static std::mutex lock;
    static TableCache cache;
    std::lock_guard<std::mutex> hold(lock);
    return cache.table(profile, note);
}

class Mixer {
public:
    Mixer(double seconds, double tuningCents)
        : m_out(static_cast<size_t>(seconds * kSampleRate) + 1, 0.0), m_tuning(tuningCents)
    { }

    void add(const Note& n)
    {
        const std::vector<float>& table = sharedTable(n.profile, n.midi);
        const double hz = 440.0 * std::pow(2.0, (n.midi - 69 + m_tuning / 100.0) / 12.0);
        const Envelope env = envelopeOf(n.profile, hz);
        const double step = hz * kTableSize / kSampleRate;
        const long first = static_cast<long>(n.start * kSampleRate);
        const long held = static_cast<long>(n.length * kSampleRate);
        const long tail = static_cast<long>(5.0 * env.release * kSampleRate);
        const long attack = std::max(1L, static_cast<long>(env.attack * kSampleRate));
        const double decayPerSample = env.decay > 0.0 ? std::exp(-1.0 / (env.decay * kSampleRate)) : 1.0;
        const double releasePerSample = std::exp(-1.0 / (env.release * kSampleRate));
        double phase = 0.0;
        double level = 1.0;
        // Vibrato as a rotating phasor instead of a sine per sample.
        const double lfoStep = 2.0 * kPi * 5.5 / kSampleRate;
        const double lfoCos = std::cos(lfoStep), lfoSin = std::sin(lfoStep);
        double lfoX = 1.0, lfoY = 0.0;
        for (long i = 0; i < held + tail; ++i) {
            const long at = first + i;
            if (at < 0)
                continue;
            if (at >= static_cast<long>(m_out.size()))
                break;
            const double vib = 1.0 + n.vibrato * lfoY;
            const double x = lfoX * lfoCos - lfoY * lfoSin;
            lfoY = lfoX * lfoSin + lfoY * lfoCos;
            lfoX = x;
            const int k = static_cast<int>(phase);
            const double frac = phase - k;
            const double v = table[k] + frac * (table[k + 1] - table[k]);
            const double shape = i < attack ? static_cast<double>(i) / attack : 1.0;
            m_out[at] += n.gain * shape * level * v;
            level *= i < held ? decayPerSample : releasePerSample;
            phase += step * vib;
            if (phase >= kTableSize)
                phase -= kTableSize;
        }
    }

    std::vector<double>& out() { return m_out; }

private:
    std::vector<double> m_out;
    double m_tuning;
};

// Voices a chord with its lowest voiced note in 48 .. 59, then inverts or
// opens it at random.
std::vector<int> voice(const ChordSpan& c, Random& rng, int low)
{
    std::vector<int> tones;
    for (int iv : c.intervals)
        tones.push_back(c.root + iv);
    // Five-note chords often leave the fifth out.
    if (tones.size() >= 5 && rng.chance(0.5))
        tones.erase(std::remove(tones.begin(), tones.end(), c.root + 7), tones.end());
    int base = low + ((c.root - low) % 12 + 12) % 12;
    if (base > low + 7)
        base -= 12;
    std::vector<int> notes;
    for (int t : tones)
        notes.push_back(base + (t - c.root));
    std::sort(notes.begin(), notes.end());
    const int inversions = rng.below(3);
    for (int i = 0; i < inversions && notes.size() > 1; ++i) {
        notes.push_back(notes.front() + 12);
        notes.erase(notes.begin());
    }
    if (notes.size() >= 3 && rng.chance(0.3))
        notes[1] += 12;  // open voicing
    if (rng.chance(0.3))
        notes.push_back(notes.front() + 12);  // doubled on top
    std::sort(notes.begin(), notes.end());
    return notes;
}

int bassNote(int pitchClass, Random& rng)
{
    const int low = 28 + rng.below(3);  // E1 to F#1 as the lowest
    return low + ((pitchClass - low) % 12 + 12) % 12;
}

int profileOf(Timbre t)
{
    return static_cast<int>(t);
}

bool percussive(Timbre t)
{
    return t == Timbre::Piano || t == Timbre::Guitar || t == Timbre::ElectricPiano;
}

// Beat index of the first beat at or after time s.
size_t beatAt(const std::vector<double>& beats, double s)
{
    return static_cast<size_t>(std::lower_bound(beats.begin(), beats.end(), s - 1e-6) - beats.begin());
}

void addChordLayer(Mixer& mix, const ChordSpan& c, const std::vector<double>& beats, Timbre timbre, int low,
                   int pattern, double gain, Random& rng)
{
    const std::vector<int> notes = voice(c, rng, low);
    const int profile = profileOf(timbre);
    // Strike times: percussive instruments restrike on a pattern; the rest
    // hold the chord for the whole stretch.
    std::vector<double> strikes {c.start};
    if (percussive(timbre)) {
        strikes.clear();
        for (size_t b = beatAt(beats, c.start); b < beats.size() && beats[b] < c.end - 1e-6; ++b) {
            const double period = b + 1 < beats.size() ? beats[b + 1] - beats[b] : 0.5;
            if (pattern == 0 || (pattern == 1 && b % 2 == 0) || pattern == 2)
                strikes.push_back(beats[b]);
            if (pattern == 2 && rng.chance(0.5))
                strikes.push_back(beats[b] + period / 2.0);
        }
        if (strikes.empty() || strikes.front() > c.start + 1e-6)
            strikes.insert(strikes.begin(), c.start);
    }
    for (size_t s = 0; s < strikes.size(); ++s) {
        const double end = s + 1 < strikes.size() ? strikes[s + 1] : c.end;
        const double strum = timbre == Timbre::Guitar ? rng.uniform(0.006, 0.02) : 0.0;
        for (size_t i = 0; i < notes.size(); ++i) {
            Note n;
            n.start = strikes[s] + strum * i + rng.uniform(0.0, 0.006);
            n.length = std::max(0.02, end - n.start);
            n.midi = notes[i];
            n.profile = profile;
            n.gain = gain * std::pow(10.0, rng.uniform(-3.0, 3.0) / 20.0);
            n.vibrato = timbre == Timbre::Strings ? 0.002 : 0.0;
            mix.add(n);
        }
    }
}

// Bass patterns: 0 one long note, 1 the bass note on every beat, 2 root
// and fifth (or octave) on alternate beats, 3 eighth notes, 4 root on the
// first half of the bar and the fifth on the second.
void addBass(Mixer& mix, const ChordSpan& c, const std::vector<double>& beats, int beatsPerBar, int pattern,
             double gain, bool bright, Random& rng)
{
    if (c.bass < 0)
        return;
    const int root = bassNote(c.bass, rng);
    const bool slash = c.bass != c.root;
    const bool hasFifth = std::find(c.intervals.begin(), c.intervals.end(), 7) != c.intervals.end();
    const int fifth = hasFifth ? root + 7 : root + 12;
    std::vector<std::pair<double, int>> hits;
    if (pattern == 0) {
        hits.emplace_back(c.start, root);
    } else {
        for (size_t b = beatAt(beats, c.start); b < beats.size() && beats[b] < c.end - 1e-6; ++b) {
            const int inBar = static_cast<int>(b) % std::max(1, beatsPerBar);
            int note = root;
            if (pattern == 2 && b % 2 == 1 && !slash)
                note = hasFifth && rng.chance(0.7) ? root + 7 : root + 12;
            if (pattern == 4) {
                if (inBar != 0 && inBar != beatsPerBar / 2)
                    continue;
                note = inBar == 0 || slash ? root : fifth;
            }
            hits.emplace_back(beats[b], note);
            if (pattern == 3 && b + 1 < beats.size())
                hits.emplace_back((beats[b] + beats[b + 1]) / 2.0, root);
        }
        if (hits.empty() || hits.front().first > c.start + 1e-6)
            hits.insert(hits.begin(), {c.start, root});
    }
    for (size_t i = 0; i < hits.size(); ++i) {
        const double end = i + 1 < hits.size() ? hits[i + 1].first : c.end;
        Note n;
        n.start = hits[i].first;
        n.length = std::max(0.02, end - n.start - 0.02);
        n.midi = hits[i].second;
        n.profile = bright ? kBrightBass : kBass;
        n.gain = gain * std::pow(10.0, rng.uniform(-2.0, 2.0) / 20.0);
        mix.add(n);
    }
}

// A lead line on the beats and half beats: mostly chord tones, some
// neighbouring notes, some rests.
void addMelody(Mixer& mix, const ChordSpan& c, const std::vector<double>& beats, Random& rng)
{
    if (c.intervals.empty())
        return;
    for (size_t b = beatAt(beats, c.start); b < beats.size() && beats[b] < c.end - 1e-6; ++b) {
        const double period = b + 1 < beats.size() ? beats[b + 1] - beats[b] : 0.5;
        const int pieces = rng.chance(0.5) ? 2 : 1;
        for (int p = 0; p < pieces; ++p) {
            if (rng.chance(0.2))
                continue;
            int pc =
                c.root + c.intervals[static_cast<size_t>(rng.below(static_cast<int>(c.intervals.size())))];
            if (rng.chance(0.3))
                pc += rng.chance(0.5) ? (rng.chance(0.5) ? 1 : 2) : (rng.chance(0.5) ? -1 : -2);
            Note n;
            n.midi = 67 + ((pc - 67) % 12 + 12) % 12 + (rng.chance(0.3) ? 12 : 0);
            n.start = beats[b] + p * period / pieces;
            n.length = period / pieces * 0.9;
            n.profile = kLead;
            n.gain = 0.14;
            n.vibrato = 0.003;
            mix.add(n);
        }
    }
}

void addDrums(std::vector<double>& out, const std::vector<double>& beats, int beatsPerBar, Random& rng)
{
    auto hit = [&](double t, int kind) {
        const long first = static_cast<long>(t * kSampleRate);
        const long n = static_cast<long>(0.35 * kSampleRate);
        double phase = 0.0;
        double lp = 0.0;
        double previousNoise = 0.0;
        for (long i = 0; i < n && first + i < static_cast<long>(out.size()); ++i) {
            if (first + i < 0)
                continue;
            const double s = i / kSampleRate;
            const double noise = rng.uniform(-1.0, 1.0);
            double v = 0.0;
            if (kind == 0) {  // kick: a falling sine
                const double hz = 45.0 + 110.0 * std::exp(-s / 0.03);
                phase += 2.0 * kPi * hz / kSampleRate;
                v = 0.55 * std::sin(phase) * std::exp(-s / 0.12);
            } else if (kind == 1) {  // snare: noise and a short tone
                lp += 0.5 * (noise - lp);
                v = 0.22 * lp * std::exp(-s / 0.09) +
                    0.12 * std::sin(2.0 * kPi * 190.0 * s) * std::exp(-s / 0.04);
            } else {  // hi-hat: differenced noise
                v = 0.05 * (noise - previousNoise) * std::exp(-s / 0.025);
            }
            previousNoise = noise;
            out[static_cast<size_t>(first + i)] += v;
        }
    };
    for (size_t b = 0; b < beats.size(); ++b) {
        const int inBar = static_cast<int>(b) % std::max(1, beatsPerBar);
        const double period = b + 1 < beats.size() ? beats[b + 1] - beats[b] : 0.5;
        if (inBar == 0 || (beatsPerBar == 4 && inBar == 2))
            hit(beats[b], 0);
        else
            hit(beats[b], 1);
        hit(beats[b], 2);
        hit(beats[b] + period / 2.0, 2);
    }
}

// A plain room: four parallel combs into two allpasses.
void addReverb(std::vector<double>& x, double wet)
{
    if (wet <= 0.0)
        return;
    static const int combDelays[4] = {1557, 1617, 1491, 1422};
    static const int allpassDelays[2] = {556, 225};
    std::vector<double> sum(x.size(), 0.0);
    for (int d : combDelays) {
        std::vector<double> line(static_cast<size_t>(d), 0.0);
        double damp = 0.0;
        size_t at = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            const double y = line[at];
            damp = 0.7 * y + 0.3 * damp;
            line[at] = x[i] + 0.82 * damp;
            sum[i] += y;
            at = (at + 1) % line.size();
        }
    }
    for (int d : allpassDelays) {
        std::vector<double> line(static_cast<size_t>(d), 0.0);
        size_t at = 0;
        for (double& v : sum) {
            const double delayed = line[at];
            line[at] = v + 0.5 * delayed;
            v = delayed - 0.5 * line[at];
            at = (at + 1) % line.size();
        }
    }
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = (1.0 - wet) * x[i] + wet * 0.25 * sum[i];
}

void addNoise(std::vector<double>& x, double relativeDb, Random& rng)
{
    double energy = 0.0;
    for (double v : x)
        energy += v * v;
    const double rms = std::sqrt(energy / std::max<size_t>(1, x.size()));
    const double level = std::max(rms, 1e-3) * std::pow(10.0, relativeDb / 20.0);
    double pink = 0.0;
    for (double& v : x) {
        // Sum of four uniforms: close enough to normal for background hiss.
        const double white = (rng.uniform() + rng.uniform() + rng.uniform() + rng.uniform() - 2.0) * 1.732;
        pink = 0.97 * pink + 0.03 * white * 5.0;
        v += level * 0.7 * (white * 0.5 + pink);
    }
}

}  // namespace

std::vector<float> render(const std::vector<ChordSpan>& chords, const std::vector<double>& beats,
                          double length, const Arrangement& a)
{
    Random rng(a.seed);
    Mixer mix(length, a.tuningCents);
    const int compPattern = rng.below(3);
    const int bassPattern = rng.below(5);
    for (const ChordSpan& c : chords) {
        if (!c.intervals.empty()) {
            addChordLayer(mix, c, beats, a.comp, 48 + rng.below(6), compPattern, a.chordGain, rng);
            if (a.pad)
                addChordLayer(mix, c, beats, a.padTimbre, 55 + rng.below(6), 0, 0.1, rng);
        }
        if (a.bass)
            addBass(mix, c, beats, a.beatsPerBar, bassPattern, a.bassGain, a.brightBass, rng);
        if (a.melody)
            addMelody(mix, c, beats, rng);
    }
    std::vector<double>& out = mix.out();
    if (a.drums)
        addDrums(out, beats, a.beatsPerBar, rng);
    addReverb(out, a.reverb);
    addNoise(out, a.noiseDb, rng);

    double peak = 1e-9;
    for (double v : out)
        peak = std::max(peak, std::fabs(v));
    std::vector<float> samples(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        samples[i] = static_cast<float>(0.8 * out[i] / peak);
    return samples;
}

Song renderProgression(const std::vector<ProgressionStep>& steps, const Arrangement& a)
{
    Song song;
    const double period = 60.0 / a.tempo;
    double t = a.lead;
    for (const ProgressionStep& s : steps) {
        ChordSpan c;
        c.start = t;
        for (int b = 0; b < s.beats; ++b)
            song.beatTimes.push_back(t + b * period);
        t += s.beats * period;
        c.end = t;
        c.root = s.root;
        c.intervals = s.intervals;
        c.bass = s.intervals.empty() && s.bass < 0 ? -1 : (s.bass < 0 ? s.root : s.bass);
        song.chords.push_back(c);
    }
    // The drums and the grid run on through the tail bar.
    std::vector<double> grid = song.beatTimes;
    for (int b = 0; b < a.beatsPerBar; ++b)
        grid.push_back(t + b * period);
    song.samples = render(song.chords, grid, t + a.beatsPerBar * period, a);
    return song;
}

}  // namespace chordsynth
