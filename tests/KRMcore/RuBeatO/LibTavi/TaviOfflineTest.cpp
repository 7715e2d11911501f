#include "BeatSliceFeatureGenerator.h"
#include "ChordModelBuilder.h"
#include "OfflineHmm.h"
#include "TaviHmm.h"
#include "TaviOffline.h"
#include "TaviRecorder.h"
#include "TestUtil.h"
#include "../BeatTrack/ThrowText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace tavi;
using taviTest::TaviRecorder;

namespace {

// A few bars of a song at 120 beats per minute: drums with eighth notes,
// bass, a chord per bar.
std::vector<float> songOf(int beatsPerBar, int bars)
{
    testsig::SongSpec spec;
    spec.beatsPerBar = beatsPerBar;
    testsig::SongPart part;
    part.bars = bars;
    part.chords = {{0, false, false}, {9, true, false}, {5, false, false}, {7, false, true}};
    spec.parts = {part};
    spec.tailSeconds = 0.5;
    return testsig::makeSong(spec).mono();
}

const std::vector<float>& shortSong()
{
    static const std::vector<float> mono = songOf(4, 4);
    return mono;
}

void push(ITavi& t, const std::vector<float>& x)
{
    t.pushData(x.data(), static_cast<unsigned>(x.size()));
}

// Decodes nothing itself: records which hypotheses the search asks for and
// answers with given scores.
class ScriptedTavi : public TaviOffline {
public:
    std::array<double, 6> answers {};
    std::vector<int> asked;
    std::vector<int> hops;

protected:
    double decodeHypothesis(int k, int hop) override
    {
        asked.push_back(k);
        hops.push_back(hop);
        return answers[static_cast<size_t>(k)];
    }
};

// A decoder of another kind than the offline one.
class OtherDecoder : public ITaviHmm {
public:
    int setObservationPdf(int, boost::shared_ptr<JointHpcpPowPdf>) override { return 0; }
    int addTransition(int, int, int, int, double) override { return 0; }
    int clear() override { return 0; }
};

class OtherKindTavi : public TaviOffline {
protected:
    DecoderCreator decoderCreator() const override
    {
        return [](int, int, void*) { return boost::shared_ptr<ITaviHmm>(new OtherDecoder()); };
    }
};

}  // namespace

TEST(TaviOffline, SetParamsTakesOnlyKnownSettings)
{
    struct Case {
        int level, hypothesis, meterType;
        uint32_t status;
    };
    const Case cases[] = {
        {0, -1, -1, 0}, {-1, 5, 2, 0}, {1, 0, 3, 0},    {0, 3, 2, 0},
        {0, -1, 0, 6},  {0, -1, 1, 6}, {0, -1, 4, 6},   {0, -1, -2, 6},  // meter type
        {-2, -1, 2, 6}, {2, -1, 2, 6},                                   // level
        {0, -2, 2, 6},  {0, 6, 2, 6},  {0, 1000, 3, 6},                  // hypothesis
    };
    for (const Case& k : cases) {
        TaviOffline t;
        EXPECT_EQ(t.setParams(k.level, k.hypothesis, k.meterType), k.status)
            << k.level << ", " << k.hypothesis << ", " << k.meterType;
        if (k.status == 0) {
            EXPECT_EQ(t.level(), k.level);
            EXPECT_EQ(t.hypothesis(), k.hypothesis);
            EXPECT_EQ(t.meterType(), k.meterType);
        } else {
            EXPECT_EQ(t.level(), 0) << "nothing stored";
            EXPECT_EQ(t.hypothesis(), -1) << "nothing stored";
            EXPECT_EQ(t.meterType(), -1) << "nothing stored";
        }
    }
}

TEST(TaviOffline, HypothesisSearchDecodesCoarseToFineAndKeepsTheFirstBest)
{
    const double E = TaviOffline::kEmptyPathScore;
    struct Case {
        int level, hypothesis, meterType;
        std::array<double, 6> answers;
        std::vector<int> asked;
        int hop;
        int chosen;
    };
    const Case cases[] = {
        {1, -1, 2, {1, 9, 9, 9, 9, 9}, {0}, 1, 0},
        {1, 4, 3, {1, 9, 9, 9, 9, 9}, {0}, 1, 0},        // fixed at or above H: searched
        {0, -1, 2, {-5, -5, 0, 0, 0, 0}, {0, 1}, 2, 0},  // equal scores: the lower index
        {0, -1, 3, {1, 3, 3, 0, 0, 0}, {0, 1, 2}, 3, 1},
        {0, 1, 2, {1, 0, 0, 0, 0, 0}, {1}, 2, 1},
        {0, 2, 2, {1, 2, 0, 0, 0, 0}, {0, 1}, 2, 1},
        {-1, -1, 2, {1, 2, 5, 7, 0, 0}, {0, 1, 3}, 4, 3},
        {-1, -1, 2, {2, 1, 5, 1, 0, 0}, {0, 1, 2}, 4, 2},
        {-1, -1, 3, {4, 1, 2, 9, 8, 7}, {0, 1, 2, 3}, 6, 3},
        {-1, -1, 3, {1, 2, 5, 0, 0, 3}, {0, 1, 2, 5}, 6, 2},
        {-1, 5, 3, {0, 0, 0, 0, 0, 1}, {5}, 6, 5},
        {0, -1, 2, {E, -40, 0, 0, 0, 0}, {0, 1}, 2, 1},  // an empty path loses
        {0, -1, 2, {E, E, 0, 0, 0, 0}, {0, 1}, 2, 0},
    };
    for (const Case& k : cases) {
        ScriptedTavi t;
        ASSERT_EQ(t.initialize(0, L"", 180, 4), 0u);
        ASSERT_EQ(t.setParams(k.level, k.hypothesis, k.meterType), 0u);
        t.answers = k.answers;
        TaviRecorder rec;
        rec.attach(t);
        EXPECT_EQ(t.run(), 0u);
        const std::string row = "level " + std::to_string(k.level) + ", meter type " +
                                std::to_string(k.meterType) + ", hypothesis " + std::to_string(k.hypothesis);
        EXPECT_EQ(t.asked, k.asked) << row;
        for (int h : t.hops)
            EXPECT_EQ(h, k.hop) << row;
        EXPECT_EQ(t.chosenHypothesis(), k.chosen) << row;
        EXPECT_EQ(rec.count(5), 1) << row;
    }
}

TEST(TaviOffline, NothingPushedDecodesEmptyPathsWithoutNaN)
{
    TaviOffline t;
    ASSERT_EQ(t.initialize(0, L"", 180, 4), 0u);
    ASSERT_EQ(t.setParams(-1, -1, 3), 0u);
    TaviRecorder rec;
    rec.attach(t);
    EXPECT_EQ(t.run(), 0u);
    EXPECT_EQ(t.chosenHypothesis(), 0);
    EXPECT_EQ(t.chosenBeatCount(), 0);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(t.hypothesisScore(k), TaviOffline::kEmptyPathScore) << k;
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].entry, 5);
}

TEST(TaviOffline, InitializeChecksBeatsPerBarAndReportsFailedLoads)
{
    struct Case {
        int beatsPerBar;
        uint32_t status;
    };
    for (const Case& k : {Case {0, 6}, Case {5, 6}, Case {2, 0}, Case {3, 0}, Case {4, 0}, Case {-1, 0}}) {
        TaviOffline t;
        EXPECT_EQ(t.initialize(0, L"", 180, k.beatsPerBar), k.status) << k.beatsPerBar << " beats per bar";
        if (k.status == 0) {
            EXPECT_EQ(t.model()->beatsPerBar(), k.beatsPerBar < 0 ? 4 : k.beatsPerBar);
        }
    }

    TaviOffline t;
    EXPECT_EQ(t.initialize(0, L"", 179, 4), 6u) << "an odd block size";

    testing::internal::CaptureStdout();
    const uint32_t status = t.initialize(0, L"/nonexistent/chord/models", 180, 4);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 1u);
    // "OOPS! errorCode=<status> <source> <line> \n"
    char source[512] = {};
    int code = -1, line = -1, end = 0;
    EXPECT_EQ(std::sscanf(printed.c_str(), "OOPS! errorCode=%d %511s %d %n", &code, source, &line, &end), 3)
        << printed;
    EXPECT_EQ(code, 1);
    EXPECT_GT(line, 0);
    EXPECT_EQ(printed.substr(printed.size() - 2), " \n");
    EXPECT_EQ(static_cast<size_t>(end), printed.size()) << printed;
    EXPECT_EQ(messageOf<std::runtime_error>([&] { t.run(); }), "TAVI Cannot be initialized");
}

TEST(TaviOffline, MisuseThrowsNamedErrors)
{
    TaviOffline fresh;
    const float x[2] = {0.0f, 0.0f};
    EXPECT_EQ(messageOf<std::runtime_error>([&] { fresh.pushData(x, 2); }), "TAVI Cannot be initialized");

    TaviOffline noModel;
    ASSERT_EQ(noModel.initialize(0, L"", 180, 0), 6u);
    push(noModel, std::vector<float>(180 * 50, 0.0f));
    EXPECT_EQ(messageOf<std::runtime_error>([&] { noModel.decodePartial(); }), "TAVI Cannot be initialized");

    TaviOffline t;
    ASSERT_EQ(t.initialize(0, L"", 180, 4), 0u);
    EXPECT_THROW(t.pushData(nullptr, 4), std::invalid_argument);
    EXPECT_EQ(messageOf<std::domain_error>([&] { t.loadObservations(0, 0); }), "hop<1");

    OtherKindTavi other;
    ASSERT_EQ(other.initialize(0, L"", 180, 4), 0u);
    EXPECT_EQ(messageOf<std::domain_error>([&] { other.run(); }), "p_hmm null");
}

TEST(TaviOffline, ReportsEachBeatInOrderWithTheTimeSignatureOfTheMeter)
{
    struct Case {
        int meterType, beatsPerBar;
        int numerator, unit;
    };
    for (const Case& k : {Case {2, 3, 3, 4}, Case {3, 2, 6, 8}, Case {2, 4, 4, 4}}) {
        TaviOffline t;
        ASSERT_EQ(t.initialize(0, L"", 180, k.beatsPerBar), 0u);
        ASSERT_EQ(t.setParams(0, -1, k.meterType), 0u);
        TaviRecorder rec;
        rec.attach(t);
        push(t, shortSong());
        ASSERT_EQ(t.run(), 0u);
        const std::string row = "meter type " + std::to_string(k.meterType);

        // Per beat: position, beat, key (first beat), bar, feature, chord.
        const std::vector<taviTest::Event>& ev = rec.events;
        ASSERT_GE(ev.size(), 6u) << row;
        EXPECT_EQ(ev[0].entry, 2) << row;
        EXPECT_EQ(ev[1].entry, 3) << row;
        EXPECT_EQ(ev[2].entry, 4) << "the first beat reports a key; " << row;
        EXPECT_EQ(ev[2].ints[0], 0) << row;
        EXPECT_EQ(rec.of(0).at(0).ints[0], 0) << "the first beat reports its chord; " << row;
        EXPECT_EQ(ev.back().entry, 5) << row;

        const auto beats = rec.of(3);
        const auto positions = rec.of(2);
        const auto features = rec.of(6);
        ASSERT_EQ(positions.size(), beats.size()) << row;
        ASSERT_EQ(features.size(), beats.size()) << row;
        ASSERT_GE(beats.size(), 8u) << row;
        int previousPosition = -1;
        for (size_t i = 0; i < beats.size(); ++i) {
            EXPECT_EQ(beats[i].ints[0], static_cast<int>(i)) << row;
            EXPECT_EQ(beats[i].ints[1], static_cast<int>(i)) << row;
            const taviTest::Event& pos = positions[i];
            EXPECT_EQ(pos.ints[1], static_cast<int>(i)) << row;
            EXPECT_GT(pos.ints[0], previousPosition) << row;
            previousPosition = pos.ints[0];
            EXPECT_EQ(features[i].ints[1], 26) << row;
        }
        const auto bars = rec.of(1);
        ASSERT_FALSE(bars.empty()) << row;
        for (size_t i = 0; i < bars.size(); ++i) {
            EXPECT_EQ(bars[i].ints[1], static_cast<int>(i)) << row;
            EXPECT_EQ(bars[i].ints[2], k.numerator) << row;
            EXPECT_EQ(bars[i].ints[3], k.unit) << row;
            if (i > 0) {
                EXPECT_EQ(bars[i].ints[0] - bars[i - 1].ints[0], k.beatsPerBar) << row;
            }
        }
        EXPECT_EQ(t.sampleOffset(), static_cast<int64_t>(shortSong().size()));
        ASSERT_FALSE(t.chordHistory().entries().empty());

        // A new recording starts from nothing of the previous one.
        ASSERT_EQ(t.initialize(0, L"", 180, k.beatsPerBar), 0u);
        EXPECT_EQ(t.samplesPushed(), 0);
        EXPECT_EQ(t.sampleOffset(), 0);
        EXPECT_EQ(t.beatCounter(), 0);
        EXPECT_EQ(t.barCounter(), 0);
        EXPECT_TRUE(t.chordHistory().entries().empty());
        EXPECT_FALSE(t.chordHistory().anyReported());
    }
}

TEST(TaviOffline, AnEstimatedMeterWithoutItsModelsStopsTheRun)
{
    // A model folder with the texts of 4 beats per bar only.
    testutil::TempDir dir;
    ModelTextTable texts = builtinModelTexts();
    for (auto it = texts.transitions.begin(); it != texts.transitions.end();) {
        if (it->first.find(".4.") == std::string::npos)
            it = texts.transitions.erase(it);
        else
            ++it;
    }
    ASSERT_TRUE(chordmodels::writeModelFolder(texts, dir.path("m").toStdString()));

    TaviOffline t;
    ASSERT_EQ(t.initialize(0, dir.wpath("m"), 180, -1), 0u);
    ASSERT_EQ(t.setParams(0, -1, -1), 0u);
    push(t, songOf(3, 6));
    testing::internal::CaptureStdout();
    const std::string thrown = messageOf<std::runtime_error>([&] { t.run(); });
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(t.meterType(), 2);
    EXPECT_EQ(t.maxBeatsPerBar(), 3) << "estimated 3/4";
    EXPECT_EQ(thrown, "TAVI Cannot be initialized");
    EXPECT_EQ(printed.rfind("OOPS! errorCode=1 ", 0), 0u) << printed;
}
