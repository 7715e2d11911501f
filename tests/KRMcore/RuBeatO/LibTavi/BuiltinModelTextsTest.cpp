#include "BuiltinModelTexts.h"
#include "ChordFeatures.h"
#include "ChordModelBuilder.h"
#include "ChordSynth.h"
#include "JointHpcpPowPdf.h"
#include "ModelTextReaders.h"
#include "OfflineHmm.h"
#include "TaviHmmFactory.h"
#include "TaviTestUtil.h"
#include "VonMisesFisher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

using namespace tavi;

namespace {

std::vector<std::string> keysOf(const std::map<std::string, std::string>& m)
{
    std::vector<std::string> keys;
    for (const auto& e : m)
        keys.push_back(e.first);
    return keys;
}

JointHpcpPowPdf parse(const std::string& text, bool& ok)
{
    JointHpcpPowPdf pdf;
    std::istringstream in(text);
    pdf.read(in);
    in >> std::ws;
    ok = !in.fail() && in.eof();
    return pdf;
}

}  // namespace

TEST(BuiltinModelTexts, KeysAndSharedTexts)
{
    const ModelTextTable& t = builtinModelTexts();
    const std::vector<std::string> pdfKeys = {
        "0",   "1",    "10",   "12",   "15",    "17",      "18",   "19",   "1_2_5",  "2",    "21",
        "22",  "32",   "33",   "34",   "37",    "4",       "5",    "7",    "7f5",    "8",    "9",
        "N",   "aug",  "dim",  "dim7", "hdim7", "maj",     "maj6", "maj7", "maj7_9", "maj9", "maj_9",
        "min", "min6", "min7", "min9", "min_9", "minmaj7", "mm7",  "sus2", "sus4"};
    EXPECT_EQ(keysOf(t.pdfs), pdfKeys);
    std::vector<std::string> transitionKeys;
    for (const char* mode : {"major", "minor"})
        for (int beats = 2; beats <= 4; ++beats)
            for (int b = 0; b < beats; ++b)
                transitionKeys.push_back(std::string("transition.") + mode + "." + std::to_string(beats) +
                                         "." + std::to_string(b));
    EXPECT_EQ(keysOf(t.transitions), transitionKeys);
    EXPECT_EQ(t.chordList, "17 0\n2 1\n7 2\n8 3\n19 4\n0 5\n10 6");

    EXPECT_EQ(t.pdfs.at("21"), t.pdfs.at("7f5"));
    EXPECT_EQ(t.pdfs.at("5"), t.pdfs.at("maj7_9"));
    EXPECT_NE(t.pdfs.at("0"), t.pdfs.at("maj")) << "only the named pairs share a text";
}

TEST(BuiltinModelTexts, DensityTextsAreWellFormed)
{
    const std::map<std::string, size_t> special = {{"1_2_5", 15}, {"5", 15}, {"maj7_9", 15}, {"maj_9", 15},
                                                   {"min_9", 15}, {"21", 7}, {"7f5", 7},     {"mm7", 5}};
    for (const auto& e : builtinModelTexts().pdfs) {
        bool ok = false;
        const JointHpcpPowPdf pdf = parse(e.second, ok);
        ASSERT_TRUE(ok) << e.first;
        const size_t n = special.count(e.first) ? special.at(e.first) : 10;
        EXPECT_EQ(pdf.bass().components().size(), n) << e.first;
        EXPECT_EQ(pdf.treble().components().size(), n) << e.first;
        for (const VonMisesFisherMixture* m : {&pdf.bass(), &pdf.treble()}) {
            double total = 0.0;
            for (double w : m->weights())
                total += w;
            EXPECT_NEAR(total, 1.0, 1e-9) << e.first;
            for (const VonMisesFisherComponent& c : m->components()) {
                EXPECT_NEAR(c.logNormalizer(), vonMisesFisherLogNormalizer(c.kappa()), 1e-5) << e.first;
                double length = 0.0;
                for (double v : c.mean())
                    length += v * v;
                EXPECT_NEAR(length, 1.0, 1e-9) << e.first;
            }
        }
    }
    // The values the major chord's text is known by.
    const std::string& major = builtinModelTexts().pdfs.at("0");
    EXPECT_EQ(major.rfind("[10](0.0602554011116,", 0), 0u);
    EXPECT_NE(major.find("\n103.751189685 -88.2086998772\n[12](0.84008793603,"), std::string::npos);
    bool ok = false;
    const JointHpcpPowPdf pdf = parse(major, ok);
    EXPECT_EQ(pdf.bass().components()[0].maxIndex(), 0) << "a root-position bass component";
}

TEST(BuiltinModelTexts, TransitionTexts)
{
    for (const auto& e : builtinModelTexts().transitions) {
        std::istringstream in(e.second);
        std::string line;
        int rows = 0;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            int count = 0, columns = 0;
            while (fields >> count) {
                EXPECT_GE(count, 0) << e.first;
                if (columns == rows) {
                    EXPECT_GT(count, 0) << e.first << ": every chord may last";
                }
                ++columns;
            }
            EXPECT_TRUE(fields.eof()) << e.first;
            EXPECT_EQ(columns, 84) << e.first << " row " << rows;
            ++rows;
        }
        EXPECT_EQ(rows, 84) << e.first;
    }
    auto firstRow = [](const char* key) {
        std::istringstream in(builtinModelTexts().transitions.at(key));
        std::vector<int> row(84);
        for (int& v : row)
            in >> v;
        return row;
    };
    std::vector<int> expected(84, 0);
    expected[0] = 44;
    EXPECT_EQ(firstRow("transition.major.3.0"), expected);
    const std::vector<int> minor = firstRow("transition.minor.2.0");
    EXPECT_EQ(std::vector<int>(minor.begin(), minor.begin() + 3), (std::vector<int> {47, 0, 6}));
}

// Chords of a known key played by the synthesiser with seeds and timbres the
// models were not fitted on, read at the true beats: the model names root
// and class of nearly every beat.
TEST(BuiltinModelTexts, ModelsRecogniseChordsAtKnownBeats)
{
    taviTest::BuiltinModel model;
    ASSERT_EQ(model.status, 0);
    OfflineHmm& decoder = model.decoder();
    const auto& classes = chordmodels::builtinClassIntervals();
    // (root above the key, class): DIM 0, MAJ7 1, AUG 2, MIN 3, 7 4, MAJ 5, MIN7 6
    const std::vector<std::vector<std::pair<int, int>>> progressions = {
        {{0, 5}, {9, 3}, {5, 5}, {7, 4}, {0, 5}, {4, 3}, {5, 1}, {7, 4}},
        {{2, 6}, {7, 4}, {0, 1}, {9, 6}, {2, 6}, {7, 4}, {0, 5}, {7, 2}},
        {{9, 3}, {5, 5}, {0, 5}, {7, 5}, {11, 0}, {4, 4}, {9, 3}, {9, 3}},
    };
    const chordsynth::Timbre timbres[] = {chordsynth::Timbre::Piano, chordsynth::Timbre::Organ,
                                          chordsynth::Timbre::Guitar};
    int right = 0, total = 0;
    for (size_t s = 0; s < progressions.size(); ++s) {
        chordsynth::Arrangement a;
        a.tempo = 100.0 + 15.0 * s;
        a.comp = timbres[s];
        a.pad = s == 1;
        a.seed = 777000 + s;
        a.tuningCents = -10.0 + 10.0 * s;
        const int key = static_cast<int>(5 * s + 2) % 12;
        std::vector<chordsynth::ProgressionStep> steps;
        std::vector<std::pair<int, int>> truth;
        for (const auto& c : progressions[s]) {
            chordsynth::ProgressionStep step;
            step.root = (key + c.first) % 12;
            step.intervals = classes[static_cast<size_t>(c.second)];
            step.beats = 4;
            steps.push_back(step);
            for (int b = 0; b < step.beats; ++b)
                truth.emplace_back(step.root, c.second);
        }
        const chordsynth::Song song = chordsynth::renderProgression(steps, a);
        decoder.clear();
        for (const auto& f : chordmodels::beatFeaturesAt(song.samples, song.beatTimes))
            decoder.addObservation(f);
        decoder.decode();
        for (size_t t = 0; t < truth.size(); ++t) {
            int r, c, m, b, k;
            model.hmm->decomposeState(decoder.pathState(static_cast<int>(t)), r, c, m, b, k);
            right += r == truth[t].first && c == truth[t].second;
            ++total;
        }
    }
    std::cout << "chord accuracy at known beats: " << right << "/" << total << "\n";
    EXPECT_GE(right, 0.9 * total);
}

// The tool that writes the built-in texts gives exactly the compiled-in
// copy when run again.
TEST(BuiltinModelTexts, GeneratorReproducesTheCompiledInTexts)
{
    const chordmodels::ModelTexts texts = chordmodels::buildModelTexts();
    const ModelTextTable& builtin = builtinModelTexts();
    EXPECT_EQ(texts.chordList, builtin.chordList);
    ASSERT_EQ(keysOf(texts.pdfs), keysOf(builtin.pdfs));
    ASSERT_EQ(keysOf(texts.transitions), keysOf(builtin.transitions));
    for (const auto& e : builtin.pdfs)
        EXPECT_EQ(texts.pdfs.at(e.first), e.second) << "pdf " << e.first;
    for (const auto& e : builtin.transitions)
        EXPECT_EQ(texts.transitions.at(e.first), e.second) << e.first;
}
