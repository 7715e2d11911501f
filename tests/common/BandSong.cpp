#include "BandSong.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace testsig {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A pitched note: partial k has amplitude partials[k-1]; attack, then an
// exponential decay towards `sustain` of the peak, a 20 ms release at the
// end. Partials above 18 kHz are left out.
std::vector<float> note(double freq, double seconds, const std::vector<double>& partials, double attack,
                        double decay, double sustain = 0.0)
{
    const int64_t n = std::max<int64_t>(1, toSample(seconds));
    std::vector<float> out(static_cast<size_t>(n), 0.0f);
    std::vector<double> c, s, x, y, a;
    for (size_t k = 0; k < partials.size(); ++k) {
        const double f = freq * static_cast<double>(k + 1);
        if (f > 18000.0)
            break;
        const double w = 2.0 * kPi * f / kRate;
        c.push_back(std::cos(w));
        s.push_back(std::sin(w));
        x.push_back(1.0);
        y.push_back(0.0);
        a.push_back(partials[k]);
    }
    const double release = 0.02;
    for (int64_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double env = t < attack ? t / attack : sustain + (1.0 - sustain) * std::exp(-(t - attack) / decay);
        const double left = seconds - t;
        if (left < release)
            env *= std::max(0.0, left / release);
        double v = 0.0;
        for (size_t k = 0; k < a.size(); ++k) {
            v += a[k] * y[k];
            const double nx = x[k] * c[k] - y[k] * s[k];
            y[k] = x[k] * s[k] + y[k] * c[k];
            x[k] = nx;
        }
        out[static_cast<size_t>(i)] = static_cast<float>(env * v);
    }
    return out;
}

std::vector<float> kick()
{
    const int64_t n = toSample(0.3);
    std::vector<float> out(static_cast<size_t>(n));
    double phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += 2.0 * kPi * (48.0 + 100.0 * std::exp(-t / 0.025)) / kRate;
        out[static_cast<size_t>(i)] = static_cast<float>(std::exp(-t / 0.11) * std::sin(phase));
    }
    return out;
}

// Noise through a first difference (`bright`) or as it is, under a decay;
// a decaying tone of `toneHz` adds the body of a snare or a tom.
std::vector<float> hit(double seconds, double decay, double bright, double toneHz, double toneAmp,
                       std::mt19937& rng)
{
    const int64_t n = toSample(seconds);
    std::vector<float> out(static_cast<size_t>(n));
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    double prev = 0.0, phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double w = u(rng);
        const double v = bright * (w - prev) * 0.5 + (1.0 - bright) * w;
        prev = w;
        phase += 2.0 * kPi * toneHz * (1.0 + 0.4 * std::exp(-t / 0.02)) / kRate;
        out[static_cast<size_t>(i)] =
            static_cast<float>(std::exp(-t / decay) * v + toneAmp * std::exp(-t / 0.06) * std::sin(phase));
    }
    return out;
}

struct Stereo {
    std::vector<float> l, r;
    void add(const std::vector<float>& x, int64_t at, double gain, double pan)
    {
        if (at < 0)
            return;
        const size_t end = static_cast<size_t>(at) + x.size();
        if (l.size() < end) {
            l.resize(end, 0.0f);
            r.resize(end, 0.0f);
        }
        const float gl = static_cast<float>(gain * std::sqrt(0.5 * (1.0 - pan)));
        const float gr = static_cast<float>(gain * std::sqrt(0.5 * (1.0 + pan)));
        for (size_t i = 0; i < x.size(); ++i) {
            l[static_cast<size_t>(at) + i] += gl * x[i];
            r[static_cast<size_t>(at) + i] += gr * x[i];
        }
    }
};

// A small room after the comb and all-pass design of the classic
// algorithmic reverbs: four damped combs and two all-passes per side.
void addRoom(Stereo& mix, double wet)
{
    if (wet <= 0.0)
        return;
    const size_t n = mix.l.size();
    std::vector<float> send(n);
    for (size_t i = 0; i < n; ++i)
        send[i] = 0.5f * (mix.l[i] + mix.r[i]);
    for (int side = 0; side < 2; ++side) {
        std::vector<float> out(n, 0.0f);
        for (size_t d : {size_t(1116), size_t(1188), size_t(1277), size_t(1356)}) {
            const size_t delay = d + static_cast<size_t>(side) * 23;
            std::vector<float> y(n, 0.0f);
            float damp = 0.0f;
            for (size_t i = delay; i < n; ++i) {
                damp = 0.8f * y[i - delay] + 0.2f * damp;
                y[i] = send[i - delay] + 0.78f * damp;
                out[i] += y[i];
            }
        }
        for (size_t d : {size_t(556), size_t(441)}) {
            const size_t delay = d + static_cast<size_t>(side) * 23;
            std::vector<float> y(n, 0.0f);
            for (size_t i = 0; i < n; ++i) {
                const float back = i >= delay ? y[i - delay] : 0.0f;
                const float in = i >= delay ? out[i - delay] : 0.0f;
                y[i] = -0.5f * out[i] + in + 0.5f * back;
            }
            out.swap(y);
        }
        std::vector<float>& ch = side == 0 ? mix.l : mix.r;
        for (size_t i = 0; i < n; ++i)
            ch[i] += static_cast<float>(wet * 0.25) * out[i];
    }
}

// A linked peak compressor (3:1 above a third of the peak, 3 ms attack,
// 120 ms release), then the mix brought to a peak of 0.9.
void compress(Stereo& mix)
{
    float peak = 1e-9f;
    for (size_t i = 0; i < mix.l.size(); ++i)
        peak = std::max({peak, std::fabs(mix.l[i]), std::fabs(mix.r[i])});
    const double threshold = peak / 3.0;
    const double attack = std::exp(-1.0 / (0.003 * kRate)), release = std::exp(-1.0 / (0.12 * kRate));
    double env = 0.0;
    float out = 1e-9f;
    for (size_t i = 0; i < mix.l.size(); ++i) {
        const double level = std::max(std::fabs(mix.l[i]), std::fabs(mix.r[i]));
        const double k = level > env ? attack : release;
        env = k * env + (1.0 - k) * level;
        const float gain =
            env > threshold ? static_cast<float>(std::pow(env / threshold, 1.0 / 3.0 - 1.0)) : 1.0f;
        mix.l[i] *= gain;
        mix.r[i] *= gain;
        out = std::max({out, std::fabs(mix.l[i]), std::fabs(mix.r[i])});
    }
    for (size_t i = 0; i < mix.l.size(); ++i) {
        mix.l[i] *= 0.9f / out;
        mix.r[i] *= 0.9f / out;
    }
}

// The players: each note is placed with the humanised timing and its
// start goes into the onset truth.
class Band {
public:
    Band(const BandSong& spec, std::vector<double> beatTime)
        : m_spec(spec),
          m_beatTime(std::move(beatTime)),
          m_rng(spec.seed),
          m_human(0.0, spec.humaniseMs / 1000.0)
    { }

    int pulses() const { return m_spec.compound ? 3 : 2; }
    double beatLength(int b) const
    {
        return m_beatTime[static_cast<size_t>(b) + 1] - m_beatTime[static_cast<size_t>(b)];
    }
    // Time of pulse k of beat b (k may be fractional); the off-beat eighth
    // of a simple meter swings.
    double at(int b, double k) const
    {
        double frac = k / pulses();
        if (!m_spec.compound && k == 1.0)
            frac += m_spec.swing;
        return m_beatTime[static_cast<size_t>(b)] + frac * beatLength(b);
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < p; }

    void play(const std::vector<float>& sound, double t, double gain, double pan)
    {
        const double spread = 2.5 * m_spec.humaniseMs / 1000.0;
        const double when = t + std::clamp(m_human(m_rng), -spread, spread);
        const int64_t start = toSample(std::max(0.0, when));
        mix.add(sound, start, gain, pan);
        onsets.push_back(start);
    }

    void kickAt(double t, double gain = 0.8) { play(m_kick, t, gain, 0.0); }
    void snareAt(double t, double gain = 0.45)
    {
        play(hit(0.25, 0.06, 0.3, 190.0, 0.5, m_rng), t, gain, -0.15);
    }
    void hatAt(double t, bool open, double gain = 0.12)
    {
        play(hit(open ? 0.3 : 0.06, open ? 0.12 : 0.015, 1.0, 0.0, 0.0, m_rng), t, gain, 0.4);
    }
    void tomAt(double t, double freq, double gain)
    {
        play(hit(0.35, 0.05, 0.2, freq, 1.0, m_rng), t, gain, -0.3);
    }
    void crashAt(double t) { play(hit(1.6, 0.7, 1.0, 0.0, 0.0, m_rng), t, 0.12, 0.3); }
    void bassAt(double t, int midi, double seconds, double gain = 0.55)
    {
        play(note(midiToHz(midi), seconds, {1.0, 0.5, 0.3, 0.15, 0.08}, 0.005, 0.35, 0.3), t, gain, 0.0);
    }
    // Keys (short comping), pad (held) or lead voice for a chord's notes.
    void keysAt(double t, const std::vector<int>& midi, double seconds, double gain = 0.13)
    {
        for (int m : midi)
            play(note(midiToHz(m), seconds, {1.0, 0.4, 0.2, 0.1, 0.05}, 0.003, 0.3, 0.1), t, gain, -0.35);
    }
    void padAt(double t, const std::vector<int>& midi, double seconds, double gain = 0.08)
    {
        for (int m : midi)
            play(note(midiToHz(m), seconds, {1.0, 0.5, 0.33, 0.25, 0.2, 0.16}, 0.08, 2.5, 0.5), t, gain, 0.1);
    }
    void leadAt(double t, int midi, double seconds)
    {
        play(note(midiToHz(midi), seconds, {1.0, 0.6, 0.3, 0.2}, 0.01, 0.5, 0.4), t, 0.12, 0.35);
    }

    Stereo mix;
    std::vector<int64_t> onsets;
    std::mt19937& rng() { return m_rng; }

private:
    const BandSong& m_spec;
    std::vector<double> m_beatTime;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_human;
    std::vector<float> m_kick = kick();
};

// Keys voicing of a chord around middle C; the bass root in the second
// octave.
std::vector<int> voicing(const BandChord& c)
{
    int root = 60 + c.root;
    if (root > 66)
        root -= 12;
    std::vector<int> notes {root, root + (c.minor ? 3 : 4), root + 7};
    if (c.seventh)
        notes.push_back(root + 10);
    return notes;
}

int bassRoot(const BandChord& c)
{
    return 36 + c.root;
}

// One bar of drums from beat `first`; a fill in place of its last beat(s).
void drumBar(Band& band, const BandSong& spec, int first, int energy, bool fill, bool lastBeatOnly)
{
    const int bpb = spec.beatsPerBar, p = band.pulses();
    // The fill takes the last beat (the last two in a chorus bar of three
    // or more beats).
    const int fillFrom = fill ? bpb - ((energy >= 2 && bpb >= 3 && !lastBeatOnly) ? 2 : 1) : bpb;
    for (int k = 0; k < bpb; ++k) {
        const int b = first + k;
        if (k >= fillFrom) {
            // Toms and snare on sixteenths (on eighths in compound time),
            // rising.
            const int hits = spec.compound ? 3 : 4;
            for (int j = 0; j < hits; ++j) {
                const double t = band.at(b, static_cast<double>(j) * p / hits);
                const double gain = 0.3 + 0.1 * j;
                if ((j + k) % 3 == 2)
                    band.snareAt(t, gain);
                else
                    band.tomAt(t, j % 2 == 0 ? 150.0 - 15.0 * (k - fillFrom) : 110.0, gain);
            }
            if (k == fillFrom)
                band.kickAt(band.at(b, 0));
            continue;
        }
        if (energy == 0) {
            band.hatAt(band.at(b, 0), false, 0.08);
            continue;
        }
        // Kick on the first beat and the middle of the bar, snare on the
        // others (the back beats); the chorus adds a kick on the last
        // eighth before the middle and open hats.
        const bool kick = k == 0 || (bpb == 4 && k == 2);
        if (kick)
            band.kickAt(band.at(b, 0));
        else
            band.snareAt(band.at(b, 0), bpb == 3 ? 0.3 : 0.45);
        if (energy >= 2 && ((bpb == 4 && k == 1) || (bpb == 2 && k == 0)))
            band.kickAt(band.at(b, p - 1), 0.6);
        if (spec.compound && energy >= 2 && k == 0)
            band.kickAt(band.at(b, 2), 0.6);
        for (int j = 0; j < p; ++j)
            band.hatAt(band.at(b, j), energy >= 2 && j == p - 1, j == 0 ? 0.12 : 0.08);
    }
}

// One bar of bass: a note on most beats, the root on the first.
void bassBar(Band& band, const BandSong& spec, int first, const BandChord& chord, const BandChord& next,
             int energy)
{
    const int bpb = spec.beatsPerBar;
    const int root = bassRoot(chord);
    for (int k = 0; k < bpb; ++k) {
        const int b = first + k;
        const double len = band.beatLength(b);
        if (k > 0 && energy < 2 && band.chance(0.12))
            continue;  // now and then a beat rests
        int midi = root;
        if (k == bpb - 1 && bpb >= 3)
            midi = bassRoot(next) + (next.root == chord.root ? 7 : -1);  // approach the next root
        else if (k == bpb / 2 && k > 0)
            midi = root + 7;
        else if (k > 0)
            midi = root + (energy >= 2 ? 12 : 0);
        if (spec.compound) {
            band.bassAt(band.at(b, 0), midi, 0.6 * len);
            if (energy >= 1)
                band.bassAt(band.at(b, 2), root + 7, 0.3 * len, 0.4);
        } else if (energy >= 2 && bpb != 3) {
            band.bassAt(band.at(b, 0), midi, 0.45 * len);
            band.bassAt(band.at(b, 1), k == 0 ? root + 12 : midi, 0.4 * len, 0.4);
        } else {
            band.bassAt(band.at(b, 0), midi, (energy == 0 ? 0.95 : 0.8) * len);
        }
    }
}

// One bar of keys and pad, and a lead line in the chorus.
void chordsBar(Band& band, const BandSong& spec, int first, const BandChord& chord, int energy, double barLen)
{
    const int bpb = spec.beatsPerBar, p = band.pulses();
    const std::vector<int> v = voicing(chord);
    if (energy == 0 || energy >= 2)
        band.padAt(band.at(first, 0), v, barLen, energy == 0 ? 0.09 : 0.05);
    if (energy >= 1) {
        for (int k = 0; k < bpb; ++k) {
            const int b = first + k;
            const double len = band.beatLength(b);
            if (spec.compound) {
                band.keysAt(band.at(b, 1), v, 0.25 * len);
                band.keysAt(band.at(b, 2), v, 0.25 * len);
            } else if (bpb == 3) {
                if (k > 0)
                    band.keysAt(band.at(b, 0), v, 0.45 * len);  // oom-pah-pah
            } else if (bpb == 2) {
                band.keysAt(band.at(b, 1), v, 0.35 * len);  // on the "and"
            } else if (energy >= 2 || k % 2 == 1) {
                band.keysAt(band.at(b, 0), v, 0.4 * len);
                if (k == 3)
                    band.keysAt(band.at(b, 1), v, 0.3 * len);
            } else {
                band.keysAt(band.at(b, 1), v, 0.3 * len);
            }
        }
    }
    if (energy >= 2) {
        for (int k = 0; k < bpb; ++k) {
            const int b = first + k;
            const size_t pick = static_cast<size_t>(std::uniform_int_distribution<int>(0, 2)(band.rng()));
            band.leadAt(band.at(b, 0), v[pick] + 12, 0.9 * band.beatLength(b));
            // Now and then a passing chord tone on the off-beat.
            if (!spec.compound && band.chance(0.3))
                band.leadAt(band.at(b, p - 1), v[(pick + 1) % 3] + 12, 0.4 * band.beatLength(b));
        }
    }
}

}  // namespace

Song makeBandSong(const BandSong& spec)
{
    Song song;
    const int bpb = std::max(1, spec.beatsPerBar);
    int totalBars = 0;
    for (const BandPart& p : spec.parts)
        totalBars += p.bars;
    const int lastBeat = spec.pickupBeats + totalBars * bpb;  // the held last chord

    // Beat times with the drift; two more than the last beat so that every
    // beat has a length.
    std::vector<double> beatTime;
    double t = spec.leadInSeconds;
    const int count = lastBeat + 2;
    for (int k = 0; k <= count; ++k) {
        beatTime.push_back(t);
        t += 60.0 / (spec.bpm * (1.0 + spec.driftPercent / 100.0 * k / count));
    }
    Band band(spec, beatTime);
    const auto addBeat = [&](int b, int root, bool minor) {
        song.beats.push_back(toSample(beatTime[static_cast<size_t>(b)]));
        song.beatChordRoot.push_back(root);
        song.beatChordMinor.push_back(minor);
    };

    // The pickup: a snare lead-in and the bass walking up to the first root.
    const BandChord firstChord = spec.parts.empty() ? BandChord {} : spec.parts.front().chords.front();
    for (int k = 0; k < spec.pickupBeats; ++k) {
        band.snareAt(band.at(k, 0), 0.25 + 0.1 * k);
        band.bassAt(band.at(k, 0), bassRoot(firstChord) - (spec.pickupBeats - k) * 2,
                    0.8 * band.beatLength(k));
        addBeat(k, -1, false);
    }

    int b = spec.pickupBeats;
    BandChord lastChord = firstChord;
    for (size_t pi = 0; pi < spec.parts.size(); ++pi) {
        const BandPart& part = spec.parts[pi];
        song.partStarts.push_back(toSample(beatTime[static_cast<size_t>(b)]));
        if (pi > 0 && part.energy > 0)
            band.crashAt(band.at(b, 0));
        for (int bar = 0; bar < part.bars; ++bar) {
            const BandChord& chord = part.chords[static_cast<size_t>(bar) % part.chords.size()];
            const bool lastBar = bar + 1 == part.bars;
            const BandChord& next =
                !lastBar ? part.chords[static_cast<size_t>(bar + 1) % part.chords.size()]
                         : (pi + 1 < spec.parts.size() ? spec.parts[pi + 1].chords.front() : chord);
            const double barLen = beatTime[static_cast<size_t>(b + bpb)] - beatTime[static_cast<size_t>(b)];
            song.downbeats.push_back(toSample(beatTime[static_cast<size_t>(b)]));
            for (int k = 0; k < bpb; ++k)
                addBeat(b + k, chord.root, chord.minor);
            const bool fill = part.fill && lastBar && pi + 1 < spec.parts.size();
            drumBar(band, spec, b, part.energy, fill, part.energy == 0);
            bassBar(band, spec, b, chord, next, part.energy);
            chordsBar(band, spec, b, chord, part.energy, barLen);
            lastChord = chord;
            b += bpb;
        }
    }

    // The held last chord.
    song.downbeats.push_back(toSample(beatTime[static_cast<size_t>(lastBeat)]));
    addBeat(lastBeat, lastChord.root, lastChord.minor);
    const double end = band.at(lastBeat, 0);
    band.kickAt(end);
    band.crashAt(end);
    band.bassAt(end, bassRoot(lastChord), spec.holdSeconds, 0.5);
    band.padAt(end, voicing(lastChord), spec.holdSeconds, 0.1);
    band.keysAt(end, voicing(lastChord), spec.holdSeconds);

    // Room, compressor, noise floor, with half a second of air at the end.
    band.mix.l.resize(static_cast<size_t>(toSample(end + spec.holdSeconds + 0.5)), 0.0f);
    band.mix.r.resize(band.mix.l.size(), 0.0f);
    addRoom(band.mix, spec.reverb);
    compress(band.mix);
    std::mt19937 noise(spec.seed + 1000);
    const float floorAmp = static_cast<float>(std::pow(10.0, spec.noiseDb / 20.0) * std::sqrt(3.0));
    std::uniform_real_distribution<float> u(-floorAmp, floorAmp);
    for (size_t i = 0; i < band.mix.l.size(); ++i) {
        band.mix.l[i] = std::clamp(band.mix.l[i] + u(noise), -0.99f, 0.99f);
        band.mix.r[i] = std::clamp(band.mix.r[i] + u(noise), -0.99f, 0.99f);
    }
    song.left = std::move(band.mix.l);
    song.right = std::move(band.mix.r);

    // Note starts within 30 ms of each other are heard as one onset.
    std::vector<int64_t> starts = std::move(band.onsets);
    std::sort(starts.begin(), starts.end());
    const int64_t merge = toSample(0.03);
    for (int64_t s : starts)
        if (song.onsets.empty() || s - song.onsets.back() > merge)
            song.onsets.push_back(s);
    return song;
}

}  // namespace testsig
