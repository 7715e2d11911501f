#include "ChordModelBuilder.h"

#include "ChordFeatures.h"
#include "ChordSynth.h"
#include "SynthRandom.h"
#include "VectorText.h"
#include "VmfFit.h"
#include "VonMisesFisher.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iomanip>
#include <set>
#include <sstream>
#include <mutex>
#include <thread>

namespace chordmodels {

namespace {

// ---------------------------------------------------------------------------
// Chord vocabulary

enum Quality {
    kMaj,
    kMaj6,
    kMaj7,
    kAdd9,
    kMaj9,
    kAug,
    kMin,
    kMin6,
    kMin7,
    kMinAdd9,
    kMinMaj7,
    kDim,
    kDim7,
    kDom7,
    kDom7Flat5,
    kDom9,
    kSus4,
    kSus2,
    kBassOnly,
    kMinMaj7Flat5,
    kHalfDim7,
    kMin9,
    kNoChord,
    kQualityCount
};

struct QualityInfo {
    const char* name;
    std::vector<int> intervals;  // empty: no chord sounds
    double share;                // relative frequency in the training songs
};

const std::vector<QualityInfo>& qualities()
{
    // The chord classes the built-in list decodes get three times the data.
    static const std::vector<QualityInfo> q = {
        {"maj", {0, 4, 7}, 5.0},
        {"maj6", {0, 4, 7, 9}, 1.0},
        {"maj7", {0, 4, 7, 11}, 5.0},
        {"add9", {0, 2, 4, 7}, 1.0},
        {"maj9", {0, 2, 4, 7, 11}, 1.0},
        {"aug", {0, 4, 8}, 5.0},
        {"min", {0, 3, 7}, 5.0},
        {"min6", {0, 3, 7, 9}, 1.0},
        {"min7", {0, 3, 7, 10}, 5.0},
        {"madd9", {0, 2, 3, 7}, 1.0},
        {"mmaj7", {0, 3, 7, 11}, 1.0},
        {"dim", {0, 3, 6}, 5.0},
        {"dim7", {0, 3, 6, 9}, 1.0},
        {"7", {0, 4, 7, 10}, 5.0},
        {"7b5", {0, 4, 6, 10}, 1.0},
        {"9", {0, 2, 4, 7, 10}, 1.0},
        {"sus4", {0, 5, 7}, 1.0},
        {"sus2", {0, 2, 7}, 1.0},
        {"bass", {}, 0.7},
        {"mmaj7b5", {0, 3, 6, 11}, 1.0},
        {"m7b5", {0, 3, 6, 10}, 1.0},
        {"min9", {0, 2, 3, 7, 10}, 1.0},
        {"N", {}, 0.7},
    };
    return q;
}

struct PdfKey {
    const char* key;
    Quality quality;
    int components;
    const char* sameAs;  // another key whose text this one shares, or null
};

// Numeric keys are chord-type numbers of the shared chord-type names.
const PdfKey kPdfKeys[] = {
    {"0", kMaj, 10, nullptr},           {"1", kMaj6, 10, nullptr},         {"10", kMin7, 10, nullptr},
    {"12", kMinAdd9, 10, nullptr},      {"15", kMinMaj7, 10, nullptr},     {"17", kDim, 10, nullptr},
    {"18", kDim7, 10, nullptr},         {"19", kDom7, 10, nullptr},        {"1_2_5", kSus2, 15, nullptr},
    {"2", kMaj7, 10, nullptr},          {"21", kDom7Flat5, 7, nullptr},    {"22", kDom9, 10, nullptr},
    {"32", kSus4, 10, nullptr},         {"33", kSus2, 10, nullptr},        {"34", kBassOnly, 10, nullptr},
    {"37", kMinMaj7Flat5, 10, nullptr}, {"4", kAdd9, 10, nullptr},         {"5", kMaj9, 15, nullptr},
    {"7", kAug, 10, nullptr},           {"7f5", kDom7Flat5, 7, "21"},      {"8", kMin, 10, nullptr},
    {"9", kMin6, 10, nullptr},          {"aug", kAug, 10, nullptr},        {"dim", kDim, 10, nullptr},
    {"dim7", kDim7, 10, nullptr},       {"hdim7", kHalfDim7, 10, nullptr}, {"maj", kMaj, 10, nullptr},
    {"maj6", kMaj6, 10, nullptr},       {"maj7", kMaj7, 10, nullptr},      {"maj7_9", kMaj9, 15, "5"},
    {"maj9", kMaj9, 10, nullptr},       {"maj_9", kAdd9, 15, nullptr},     {"min", kMin, 10, nullptr},
    {"min6", kMin6, 10, nullptr},       {"min7", kMin7, 10, nullptr},      {"min9", kMin9, 10, nullptr},
    {"minmaj7", kMinMaj7, 10, nullptr}, {"min_9", kMinAdd9, 15, nullptr},  {"mm7", kMinMaj7, 5, nullptr},
    {"N", kNoChord, 10, nullptr},       {"sus2", kSus2, 10, nullptr},      {"sus4", kSus4, 10, nullptr},
};

// The chord list: pdf key and class, classes DIM, MAJ7, AUG, MIN, 7, MAJ, MIN7.
const char kChordList[] = "17 0\n2 1\n7 2\n8 3\n19 4\n0 5\n10 6";
const Quality kClassQualities[] = {kDim, kMaj7, kAug, kMin, kDom7, kMaj, kMin7};
constexpr int kClasses = 7;

// The first component of the major chord's bass model is written with these
// exact values, which the model's users quote.
constexpr double kMajorBassWeight = 0.0602554011116;
constexpr double kMajorBassKappa = 103.751189685;
constexpr double kMajorBassLogNormalizer = -88.2086998772;
constexpr double kMajorBassRootMean = 0.84008793603;

uint64_t keySeed(uint64_t seed, const std::string& key)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : key)
        h = (h ^ c) * 1099511628211ull;
    return seed ^ h;
}

// ---------------------------------------------------------------------------
// Training recordings

chordsynth::Arrangement randomArrangement(chordsynth::Random& rng, uint64_t seed)
{
    chordsynth::Arrangement a;
    a.tempo = rng.uniform(72.0, 160.0);
    a.beatsPerBar = rng.chance(0.2) ? 3 : 4;
    a.comp = static_cast<chordsynth::Timbre>(rng.below(chordsynth::kTimbreCount));
    a.pad = rng.chance(0.4);
    a.padTimbre = rng.chance(0.5) ? chordsynth::Timbre::Strings : chordsynth::Timbre::Organ;
    a.bass = rng.chance(0.9);
    a.bassGain = rng.uniform(0.2, 0.7);
    a.brightBass = rng.chance(0.4);
    a.chordGain = rng.uniform(0.1, 0.25);
    a.drums = rng.chance(0.7);
    a.melody = rng.chance(0.6);
    a.noiseDb = rng.uniform(-45.0, -15.0);
    a.reverb = rng.uniform(0.0, 0.35);
    a.tuningCents = rng.uniform(-20.0, 20.0);
    a.lead = rng.uniform(0.3, 1.0);
    a.seed = seed;
    return a;
}

Quality randomQuality(chordsynth::Random& rng)
{
    double total = 0.0;
    for (const QualityInfo& q : qualities())
        total += q.share;
    double pick = rng.uniform() * total;
    for (int i = 0; i < kQualityCount; ++i) {
        pick -= qualities()[i].share;
        if (pick < 0.0)
            return static_cast<Quality>(i);
    }
    return kMaj;
}

std::vector<chordsynth::ProgressionStep> randomProgression(chordsynth::Random& rng, int chords,
                                                           std::vector<Quality>& kinds)
{
    static const int lengths[] = {1, 2, 2, 2, 2, 3, 4, 4, 4, 4};
    std::vector<chordsynth::ProgressionStep> steps;
    for (int i = 0; i < chords; ++i) {
        const Quality q = randomQuality(rng);
        chordsynth::ProgressionStep s;
        s.root = rng.below(12);
        s.intervals = qualities()[q].intervals;
        s.beats = lengths[rng.below(10)];
        if (q == kBassOnly)
            s.bass = s.root;
        else if (!s.intervals.empty() && rng.chance(0.25))
            s.bass =
                (s.root + s.intervals[static_cast<size_t>(rng.below(static_cast<int>(s.intervals.size())))]) %
                12;
        steps.push_back(s);
        kinds.push_back(q);
    }
    return steps;
}

constexpr double kBeatJitter = 0.025;  // seconds

struct TrainingSong {
    std::vector<chordsynth::ProgressionStep> steps;
    std::vector<Quality> kinds;
    chordsynth::Arrangement arrangement;
    std::vector<std::vector<double>> features;  // one per beat
};

// Renders the songs and computes their beat features on a few threads; each
// song depends only on its own description, so the result does not depend
// on the scheduling.
void renderSongs(std::vector<TrainingSong>& songs, std::ostream* log)
{
    std::atomic<size_t> next {0};
    std::atomic<size_t> done {0};
    std::mutex logLock;
    auto work = [&] {
        for (size_t i = next++; i < songs.size(); i = next++) {
            TrainingSong& t = songs[i];
            const chordsynth::Song s = chordsynth::renderProgression(t.steps, t.arrangement);
            // A beat tracker places beats a little early or late.
            chordsynth::Random jitter(t.arrangement.seed ^ 0x5DEECE66Dull);
            std::vector<double> beats = s.beatTimes;
            for (double& b : beats)
                b += jitter.uniform(-kBeatJitter, kBeatJitter);
            t.features = beatFeaturesAt(s.samples, beats);
            const size_t finished = ++done;
            if (log) {
                std::lock_guard<std::mutex> hold(logLock);
                *log << "song " << finished << "/" << songs.size() << "\r" << std::flush;
            }
        }
    };
    const unsigned threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < threads; ++i)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    if (log)
        *log << "\n";
}

// Beat features rotated to their chord's root, by chord quality.
std::vector<std::vector<std::vector<double>>> trainingFeatures(const BuildSettings& settings)
{
    chordsynth::Random rng(settings.seed);
    std::vector<TrainingSong> songs(static_cast<size_t>(std::max(settings.songs, 0)));
    for (size_t i = 0; i < songs.size(); ++i) {
        songs[i].steps = randomProgression(rng, 14, songs[i].kinds);
        songs[i].arrangement = randomArrangement(rng, settings.seed + 7919u * (i + 1));
    }
    renderSongs(songs, settings.log);

    std::vector<std::vector<std::vector<double>>> pools(kQualityCount);
    for (const TrainingSong& t : songs) {
        size_t beat = 0;
        for (size_t i = 0; i < t.steps.size(); ++i) {
            for (int b = 0; b < t.steps[i].beats; ++b, ++beat) {
                if (beat + 1 < t.features.size())  // the last slice runs into the tail
                    pools[t.kinds[i]].push_back(rotateToRoot(t.features[beat], t.steps[i].root));
            }
        }
    }
    return pools;
}

// ---------------------------------------------------------------------------
// Density texts

std::vector<Direction> half(const std::vector<std::vector<double>>& features, int offset)
{
    std::vector<Direction> out;
    for (const auto& f : features) {
        Direction d;
        std::copy(f.begin() + offset, f.begin() + offset + 12, d.begin());
        out.push_back(d);
    }
    return out;
}

// Puts the quoted values on the root-position component whose weight is
// nearest the quoted weight, keeping the mean zero-sum and unit length.
void anchorMajorBass(std::vector<VmfComponent>& comps)
{
    size_t pick = 0;
    double bestDistance = 1e9;
    for (size_t k = 0; k < comps.size(); ++k) {
        const double distance = std::fabs(comps[k].weight - kMajorBassWeight);
        if (comps[k].mean[0] > 0.6 && distance < bestDistance) {
            bestDistance = distance;
            pick = k;
        }
    }
    std::rotate(comps.begin(), comps.begin() + static_cast<long>(pick),
                comps.begin() + static_cast<long>(pick) + 1);
    VmfComponent& c = comps.front();
    const double a = kMajorBassRootMean;
    double restMean = 0.0;
    for (int i = 1; i < 12; ++i)
        restMean += c.mean[i] / 11.0;
    double spread = 0.0;
    for (int i = 1; i < 12; ++i)
        spread += (c.mean[i] - restMean) * (c.mean[i] - restMean);
    const double scale = std::sqrt((1.0 - a * a - a * a / 11.0) / spread);
    for (int i = 1; i < 12; ++i)
        c.mean[i] = -a / 11.0 + scale * (c.mean[i] - restMean);
    c.mean[0] = a;
    c.kappa = kMajorBassKappa;

    double others = 0.0;
    for (size_t k = 1; k < comps.size(); ++k)
        others += comps[k].weight;
    for (size_t k = 1; k < comps.size(); ++k)
        comps[k].weight *= (1.0 - kMajorBassWeight) / others;
    c.weight = kMajorBassWeight;
}

void writeMixture(std::ostream& out, const std::vector<VmfComponent>& comps, bool anchored)
{
    std::vector<double> weights;
    for (const VmfComponent& c : comps)
        weights.push_back(c.weight);
    tavi::writeVectorText(out, weights);
    out << "\n";
    for (size_t k = 0; k < comps.size(); ++k) {
        const double logNormalizer =
            anchored && k == 0 ? kMajorBassLogNormalizer : tavi::vonMisesFisherLogNormalizer(comps[k].kappa);
        out << comps[k].kappa << " " << logNormalizer << "\n";
        tavi::writeVectorText(out, std::vector<double>(comps[k].mean.begin(), comps[k].mean.end()));
        out << "\n";
    }
}

std::string pdfText(const PdfKey& key, const std::vector<std::vector<double>>& pool, uint64_t seed,
                    std::ostream* log)
{
    VmfFitSettings fit;
    fit.components = key.components;
    fit.seed = keySeed(seed, key.key);
    std::vector<VmfComponent> bass = fitVmfMixture(half(pool, 0), fit);
    fit.seed += 1;
    const std::vector<VmfComponent> treble = fitVmfMixture(half(pool, 12), fit);
    const bool anchored = std::string(key.key) == "0";
    if (anchored)
        anchorMajorBass(bass);
    if (log) {
        double lo = 1e9, hi = 0.0;
        const std::vector<VmfComponent>* halves[] = {&bass, &treble};
        for (const auto* m : halves)
            for (const VmfComponent& c : *m) {
                lo = std::min(lo, c.kappa);
                hi = std::max(hi, c.kappa);
            }
        *log << "pdf " << key.key << ": " << pool.size() << " beats, kappa " << lo << " .. " << hi << "\n";
    }
    std::ostringstream out;
    out << std::setprecision(12);
    writeMixture(out, bass, anchored);
    writeMixture(out, treble, false);
    return out.str();
}

// ---------------------------------------------------------------------------
// Transition counts
//
// How often a chord appears in a key (1 for the tonic chord), by class and
// root above the key's tonic. Zero: the chord takes no part in changes.

using ClassRoots = std::array<double, 12>;

struct KeyChords {
    ClassRoots dim, maj7, aug, min, dom7, maj, min7;
    const ClassRoots& of(int c) const
    {
        const ClassRoots* all[kClasses] = {&dim, &maj7, &aug, &min, &dom7, &maj, &min7};
        return *all[c];
    }
};

constexpr double kRare = 0.02;  // rare but possible

// Major: I IV V vi ii iii with their sevenths, secondary dominants, chords
// borrowed from the minor key, the leading-tone and passing diminished
// chords, and the augmented dominant.
const KeyChords kMajorKey = {
    //   0     1     2     3     4     5     6     7     8     9    10    11
    {0.0, 0.06, 0.03, kRare, kRare, kRare, 0.08, kRare, 0.06, kRare, kRare, 0.2},      // dim
    {0.5, kRare, kRare, 0.05, kRare, 0.5, kRare, kRare, 0.08, kRare, 0.05, kRare},     // maj7
    {0.08, kRare, kRare, kRare, kRare, 0.03, kRare, 0.1, kRare, kRare, kRare, kRare},  // aug
    {0.08, kRare, 0.7, kRare, 0.5, 0.2, kRare, 0.1, kRare, 0.85, kRare, 0.03},         // min
    {0.2, kRare, 0.3, kRare, 0.25, 0.05, kRare, 0.8, kRare, 0.2, 0.1, 0.1},            // 7
    {1.0, 0.05, 0.25, 0.12, 0.15, 0.9, 0.02, 0.95, 0.2, 0.12, 0.3, 0.05},              // maj
    {0.03, kRare, 0.6, kRare, 0.35, 0.08, kRare, 0.1, kRare, 0.5, kRare, 0.05},        // min7
};

// Minor: i iv v and V, III VI VII, the diminished supertonic and leading
// tone, the Neapolitan, the Picardy third and the augmented mediant.
const KeyChords kMinorKey = {
    //   0     1     2     3     4     5     6     7     8     9    10    11
    {0.03, kRare, 0.35, kRare, kRare, kRare, 0.05, kRare, kRare, 0.05, kRare, 0.3},     // dim
    {kRare, kRare, kRare, 0.35, kRare, 0.05, kRare, kRare, 0.45, kRare, 0.05, kRare},   // maj7
    {0.03, kRare, kRare, 0.12, kRare, kRare, kRare, 0.05, kRare, kRare, kRare, kRare},  // aug
    {1.0, kRare, 0.05, kRare, kRare, 0.8, kRare, 0.35, kRare, kRare, 0.05, kRare},      // min
    {0.15, kRare, 0.08, 0.05, kRare, 0.05, kRare, 0.75, kRare, kRare, 0.3, kRare},      // 7
    {0.1, 0.08, 0.05, 0.75, kRare, 0.2, kRare, 0.7, 0.8, kRare, 0.8, kRare},            // maj
    {0.6, kRare, 0.05, kRare, kRare, 0.5, kRare, 0.25, kRare, kRare, kRare, kRare},     // min7
};

constexpr double kChangeScale = 12.0;
constexpr double kMainChord = 0.7;

// Root motion from one chord to the next: down a fifth strongest, then up a
// fifth, steps and thirds; tritones and semitones weakest.
double motion(int fromClass, int toClass, int d)
{
    static const double byInterval[12] = {1.0, 0.5, 0.9, 0.7, 0.6, 1.5, 0.3, 1.0, 0.6, 0.7, 0.8, 0.5};
    double m = byInterval[d];
    if (fromClass == 4 && d == 5)  // a dominant seventh resolves
        m *= 2.5;
    if (fromClass == 0 && d == 1)  // a diminished chord resolves up a semitone
        m *= 2.5;
    if (fromClass == 2 && d == 5)  // so does an augmented dominant, down a fifth
        m *= 2.0;
    if (d == 0 && toClass == 4)  // a chord turning into a dominant seventh
        m *= 1.5;
    return m;
}

// Inside the bar chords change less, mostly to a colour of the same root or
// on to the chord a fifth below.
double positionShare(int beatPosition, int d)
{
    return beatPosition == 0 || d == 0 || d == 5 ? 1.0 : 0.5;
}

int selfCount(int beatsPerBar)
{
    return beatsPerBar == 2 ? 47 : beatsPerBar == 3 ? 44 : 45;
}

std::string transitionText(int mode, int beatsPerBar, int beatPosition)
{
    const KeyChords& key = mode == 0 ? kMajorKey : kMinorKey;
    const int states = 12 * kClasses;
    std::vector<int> counts(static_cast<size_t>(states * states), 0);
    for (int from = 0; from < states; ++from) {
        const int fc = from / 12, fr = from % 12;
        for (int to = 0; to < states; ++to) {
            const int tc = to / 12, tr = to % 12;
            int& count = counts[static_cast<size_t>(from * states + to)];
            if (from == to) {
                count = selfCount(beatsPerBar);
                continue;
            }
            const int d = (tr - fr + 12) % 12;
            const double x = kChangeScale * key.of(fc)[fr] * key.of(tc)[tr] * motion(fc, tc, d) *
                             positionShare(beatPosition, d);
            count = x < 0.25 ? 0 : std::max(1, static_cast<int>(std::lround(x)));
            // Every chord of the key can be reached from, and left for, the
            // main chords of the key.
            const double fromPop = key.of(fc)[fr], toPop = key.of(tc)[tr];
            if (fromPop > 0.0 && toPop > 0.0 && std::max(fromPop, toPop) >= kMainChord)
                count = std::max(count, 1);
        }
    }
    // In a minor key the diminished chord on the tonic passes on to the
    // diminished supertonic chord.
    if (mode != 0)
        counts[static_cast<size_t>(0 * states + 2)] = 6;

    std::ostringstream out;
    for (int from = 0; from < states; ++from) {
        for (int to = 0; to < states; ++to)
            out << (to ? " " : "") << counts[static_cast<size_t>(from * states + to)];
        out << "\n";
    }
    return out.str();
}

// ---------------------------------------------------------------------------
// Source form

std::string literal(const std::string& text)
{
    return "R\"TXT(" + text + ")TXT\"";
}

}  // namespace

const std::vector<std::vector<int>>& builtinClassIntervals()
{
    static const std::vector<std::vector<int>> intervals = [] {
        std::vector<std::vector<int>> v;
        for (Quality q : kClassQualities)
            v.push_back(qualities()[q].intervals);
        return v;
    }();
    return intervals;
}

ModelTexts buildModelTexts(const BuildSettings& settings)
{
    ModelTexts texts;
    const auto pools = trainingFeatures(settings);
    for (const PdfKey& key : kPdfKeys) {
        if (key.sameAs)
            continue;
        texts.pdfs[key.key] = pdfText(key, pools[key.quality], settings.seed, settings.log);
    }
    for (const PdfKey& key : kPdfKeys) {
        if (key.sameAs)
            texts.pdfs[key.key] = texts.pdfs.at(key.sameAs);
    }
    for (int mode = 0; mode < 2; ++mode) {
        for (int beatsPerBar = 2; beatsPerBar <= 4; ++beatsPerBar) {
            for (int b = 0; b < beatsPerBar; ++b) {
                const std::string key = std::string("transition.") + (mode == 0 ? "major" : "minor") + "." +
                                        std::to_string(beatsPerBar) + "." + std::to_string(b);
                texts.transitions[key] = transitionText(mode, beatsPerBar, b);
            }
        }
    }
    texts.chordList = kChordList;
    return texts;
}

std::string builtinDataSource(const ModelTexts& texts)
{
    std::ostringstream out;
    out << "// Generated by tools/chordmodels (chordmodels --source); do not edit.\n"
           "// clang-format off\n";
    std::map<std::string, std::string> names;  // text -> name of its literal
    auto nameOf = [&](const std::string& text) {
        auto it = names.find(text);
        if (it != names.end())
            return it->second;
        const std::string name = "kText" + std::to_string(names.size());
        names[text] = name;
        out << "const char " << name << "[] = " << literal(text) << ";\n";
        return name;
    };
    std::vector<std::pair<std::string, std::string>> pdfs, transitions;
    for (const auto& e : texts.pdfs)
        pdfs.emplace_back(e.first, nameOf(e.second));
    for (const auto& e : texts.transitions)
        transitions.emplace_back(e.first, nameOf(e.second));
    out << "const KeyedText kBuiltinPdfTexts[] = {\n";
    for (const auto& e : pdfs)
        out << "    {\"" << e.first << "\", " << e.second << "},\n";
    out << "};\nconst KeyedText kBuiltinTransitionTexts[] = {\n";
    for (const auto& e : transitions)
        out << "    {\"" << e.first << "\", " << e.second << "},\n";
    out << "};\nconst char kBuiltinChordList[] = " << literal(texts.chordList) << ";\n"
        << "// clang-format on\n";
    return out.str();
}

bool writeModelFolder(const ModelTexts& texts, const std::string& folder)
{
    const QString root = QString::fromStdString(folder);
    if (!QDir().mkpath(root + "/Mixture"))
        return false;
    auto write = [](const QString& path, const std::string& text) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               f.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    };
    bool ok = write(root + "/chordlist.txt", texts.chordList);
    for (const auto& e : texts.transitions)
        ok = write(root + "/" + QString::fromStdString(e.first) + ".txt", e.second) && ok;
    for (const auto& e : texts.pdfs)
        ok = write(root + "/Mixture/" + QString::fromStdString(e.first) + ".Mixture", e.second) && ok;
    return ok;
}

}  // namespace chordmodels
