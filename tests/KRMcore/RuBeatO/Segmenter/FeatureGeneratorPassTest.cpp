#include "ITavi.h"
#include "RkMir/FeatureGenerator.h"
#include "RkMir/FrameFeatureMaker.h"
#include "Segmenter/TaviCollector.h"
#include "Signals.h"

#include <gtest/gtest.h>

#include <Eigen/SVD>
#include <cmath>
#include <random>
#include <stdexcept>

namespace {

using RkMir::FeatureGenerator;

template <typename E, typename F> void expectThrowText(F&& f, const std::string& text)
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << text;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), text);
    }
}

// A collector with beats every `span` samples and a bar event on every
// `beatsPerBar`-th beat from `firstBar`.
TaviCollector collectorWithBars(int num, int unit, int beats, int firstBar, int span, int barEvery)
{
    TaviCollector c(44100.0f, nullptr);
    for (int b = 0; b < beats; ++b) {
        c.onBeatPosition(1000 + b * span, b);
        if (b >= firstBar && (b - firstBar) % barEvery == 0)
            c.onTimeSignature(b, (b - firstBar) / barEvery, num, unit);
    }
    return c;
}

TEST(FeatureGrid, PointsPerBarAndGridExtentPerMeter)
{
    const struct {
        int num, unit, pointsPerBeat, pointsPerBar, beatsPerBarEvent;
    } cases[] = {
        {6, 8, 6, 12, 2}, {3, 4, 4, 12, 3}, {5, 8, 2, 10, 5}, {4, 4, 4, 16, 4}, {9, 8, 6, 18, 3},
    };
    const int span = 22051;  // not a multiple of any point count
    for (const auto& c : cases) {
        TaviCollector col = collectorWithBars(c.num, c.unit, 20, 1, span, c.beatsPerBarEvent);
        col.buildSixteenthGrid();
        const std::string row = std::to_string(c.num) + "/" + std::to_string(c.unit);
        EXPECT_EQ(col.gridPointsPerBeat() * col.beatsPerBar(), c.pointsPerBar) << row;
        const std::vector<int>& bars = col.getEventPositions();
        // From the first bar event's beat to one beat before the last one.
        const int gridBeats = bars.back() - 1 - bars.front();
        const std::vector<float>& grid = col.getGridTimes();
        ASSERT_EQ(grid.size(), static_cast<size_t>(gridBeats * c.pointsPerBeat)) << row;
        for (int b = 0; b < gridBeats; ++b)
            for (int k = 0; k < c.pointsPerBeat; ++k) {
                const int64_t at = 1000 + int64_t(bars.front() + b) * span;
                const float expected = static_cast<float>(at + k * span / c.pointsPerBeat) / 44100.0f;
                ASSERT_EQ(grid[size_t(b * c.pointsPerBeat + k)], expected)
                    << row << " beat " << b << " k " << k;
            }
    }

    TaviCollector none(44100.0f, nullptr);
    none.onBeatPosition(0, 0);
    none.onBeatPosition(22050, 1);
    none.buildSixteenthGrid();
    EXPECT_TRUE(none.getGridTimes().empty());

    TaviCollector half(44100.0f, nullptr);
    expectThrowText<std::domain_error>([&] { half.onTimeSignature(0, 0, 2, 2); }, "Unsupported meter");
}

TEST(FeatureGrid, CallbacksReachCollectorAndObserver)
{
    testsig::RecordingObserver seen;
    TaviCollector col(44100.0f, &seen);
    tavi::TaviCallbacks table;
    installAnalysisCallbacks(table, col);
    EXPECT_EQ(table.beatFeatureCallback, nullptr);
    table.beatPositionCallback(441, 0, table.beatPositionUser);
    table.beatCallback(0, 0, 1.0, table.beatUser);
    table.beatCallback(5, 5, 1.0, table.beatUser);  // no position known: no time
    table.keyCallback(0, 7, 1, 1.0, table.keyUser);
    table.barCallback(0, 0, 3, 4, 1.0, table.barUser);
    table.chordCallback(0, 2, 8, 2, 0, 1.0, table.chordUser);
    // A meter the grid cannot take leaves through the reporting call.
    expectThrowText<std::domain_error>([&] { table.barCallback(1, 1, 2, 2, 1.0, table.barUser); },
                                       "Unsupported meter");

    EXPECT_EQ(col.beatTimes(), std::vector<float> {441 / 44100.0f});
    ASSERT_EQ(seen.beatPositions.size(), 1u);
    EXPECT_EQ(seen.beatPositions[0].samplePosition, 441);
    ASSERT_EQ(seen.beats.size(), 2u);
    EXPECT_EQ(seen.beats[1].beatIndex, 5);
    ASSERT_EQ(seen.keys.size(), 1u);
    EXPECT_EQ(seen.keys[0].key, 7);
    EXPECT_EQ(seen.keys[0].mode, 1);
    ASSERT_EQ(seen.bars.size(), 1u);
    EXPECT_EQ(seen.bars[0].beatsPerBar, 3);
    EXPECT_EQ(seen.bars[0].beatUnit, 4);
    ASSERT_EQ(seen.chords.size(), 1u);
    EXPECT_EQ(seen.chords[0].root, 2);
    EXPECT_EQ(seen.chords[0].chordType, 8);
}

TEST(FeatureSummary, CepstrumOfLogMeansWithCosineTable)
{
    RkMir::FrameFeatureMaker maker(8192);
    std::vector<double> sums(34);
    for (int i = 0; i < 34; ++i)
        sums[size_t(i)] = 0.5 + 0.25 * i;
    const std::vector<double> out = FeatureGenerator::summarizeGroup(sums, 4, maker.cosineTable());
    ASSERT_EQ(out.size(), 34u);
    for (int r = 0; r < 22; ++r) {
        double expected = 0.0;
        for (int c = 0; c < 22; ++c)
            expected +=
                2.0 * std::cos(M_PI * r * (2 * c + 1) / 44.0) * std::log(sums[size_t(c)] / 4 + 0.0001);
        // The maker's table is built with pi to five decimals.
        EXPECT_NEAR(out[size_t(r)], expected, 1e-4) << r;
    }
    for (int i = 22; i < 34; ++i)
        EXPECT_DOUBLE_EQ(out[size_t(i)], sums[size_t(i)] / 4) << i;
    // An empty group: every mean 0.
    const std::vector<double> empty = FeatureGenerator::summarizeGroup(sums, 0, maker.cosineTable());
    EXPECT_NEAR(empty[0], 22 * 2.0 * std::log(0.0001), 1e-6);
    EXPECT_EQ(empty[30], 0.0);
}

// Column standardisation written out: zero mean, unit population variance.
Eigen::MatrixXd standardized(Eigen::MatrixXd m)
{
    for (Eigen::Index c = 0; c < m.cols(); ++c) {
        const double mean = m.col(c).mean();
        const double var = (m.col(c).array() - mean).square().mean();
        m.col(c) = (m.col(c).array() - mean) / std::sqrt(var);
    }
    return m;
}

TEST(FeatureSummary, ReductionToBars)
{
    std::mt19937 rng(3);
    std::normal_distribution<double> normal;
    const int points = 2, bars = 7;
    Numeric::Matrix summaries(bars * points, 34);
    for (Eigen::Index i = 0; i < summaries.size(); ++i)
        summaries.data()[i] = normal(rng);
    Eigen::MatrixXd barMatrix(bars, points * 34);
    for (int b = 0; b < bars; ++b)
        for (int p = 0; p < points; ++p)
            barMatrix.block(b, p * 34, 1, 34) = summaries.row(b * points + p);
    const Eigen::MatrixXd z = standardized(barMatrix);

    // Fewer dimensions than bars: the right singular vectors of the
    // transposed bar matrix, unscaled, then standardised (up to sign).
    const Eigen::BDCSVD<Eigen::MatrixXd> ref(z.transpose(), Eigen::ComputeThinV);
    const Eigen::MatrixXd expected = standardized(ref.matrixV().leftCols(3));
    const Numeric::Matrix got = FeatureGenerator::reduceToBars(summaries, points, 3);
    ASSERT_EQ(got.rows(), bars);
    ASSERT_EQ(got.cols(), 3);
    for (int c = 0; c < 3; ++c) {
        const double sign = got.col(c).dot(expected.col(c)) < 0 ? -1.0 : 1.0;
        EXPECT_LT((sign * got.col(c) - expected.col(c)).cwiseAbs().maxCoeff(), 1e-8) << "column " << c;
    }

    // As many dimensions as bars or more: the first standardised columns.
    const Numeric::Matrix wide = FeatureGenerator::reduceToBars(summaries, points, bars);
    EXPECT_LT((Eigen::MatrixXd(wide) - z.leftCols(bars)).cwiseAbs().maxCoeff(), 1e-9);

    // Fewer summaries than a bar: no rows, ndim columns.
    const Numeric::Matrix none = FeatureGenerator::reduceToBars(summaries.topRows(1), points, 5);
    EXPECT_EQ(none.rows(), 0);
    EXPECT_EQ(none.cols(), 5);
}

testsig::Song shortSong(int bars)
{
    testsig::SongSpec spec;
    spec.bpm = 120.0;
    spec.parts = {
        {"verse", bars, {{0, false, false}, {7, false, false}, {9, true, false}, {5, false, false}}}};
    spec.tailSeconds = 0.3;
    return testsig::makeSong(spec);
}

TEST(FeaturePasses, SongGivesRowsBarTimesAndGrid)
{
    const testsig::Song song = shortSong(12);
    // A frame count that is no multiple of the 180-frame block.
    std::vector<float> stereo = testsig::interleave(song.left, song.right);
    stereo.resize(stereo.size() - 2 * 77);
    const int64_t frames = static_cast<int64_t>(stereo.size() / 2);
    ASSERT_NE(frames % 180, 0);
    testsig::MemorySource source(stereo, 2);
    testsig::RecordingObserver seen;
    FeatureGenerator gen(1024, 8192);
    gen.setProgress(&seen);
    Numeric::Matrix features;
    std::vector<double> barTimes;
    std::vector<uint32_t> barBeats;
    gen.computeFeatures(features, barTimes, barBeats, source, 4, 0, -1, 2);

    ASSERT_GE(barTimes.size(), 6u);
    EXPECT_EQ(static_cast<size_t>(features.rows()), barTimes.size() - 1);
    EXPECT_EQ(features.cols(), 5);
    EXPECT_EQ(barBeats.size(), barTimes.size() - 1);
    EXPECT_EQ(gen.gridStep(), 16);
    EXPECT_DOUBLE_EQ(barTimes.back(), static_cast<double>(frames / 180 * 180) / 44100.0);
    for (size_t i = 1; i < barBeats.size(); ++i)
        EXPECT_EQ(barBeats[i] - barBeats[i - 1], 4u) << i;
    // Bars start on the grid, and the grid's frames follow the formula.
    const std::vector<int>& gridFrames = gen.gridFrameIndices();
    for (size_t i = 0; i + 1 < barTimes.size(); ++i)
        EXPECT_EQ(gridFrames[i * 16],
                  static_cast<int>(static_cast<double>(static_cast<float>(barTimes[i])) * 44100.0) / 1024)
            << i;
    // Output columns are standardised.
    for (Eigen::Index c = 0; c < features.cols(); ++c)
        EXPECT_NEAR(features.col(c).mean(), 0.0, 1e-9) << c;
    EXPECT_FALSE(gen.getIndexVector().empty());
    EXPECT_EQ(gen.getIndexVector().size(), seen.beats.size());

    // Progress: the first pass rises to at most 25, then the frame pass's 25 once.
    ASSERT_GE(seen.progressValues.size(), 3u);
    for (size_t i = 1; i + 1 < seen.progressValues.size(); ++i)
        EXPECT_GT(seen.progressValues[i], seen.progressValues[i - 1]);
    EXPECT_LE(seen.progressValues[seen.progressValues.size() - 2], 25);
    EXPECT_EQ(seen.progressValues.back(), 25);
    EXPECT_FALSE(seen.bars.empty());
}

TEST(FeaturePasses, ProgressOfUnknownOrEmptyLengthIsSkipped)
{
    const testsig::Song song = shortSong(3);
    for (int32_t reported : {-1, 0}) {
        testsig::MemorySource source(song.mono(), 1);
        source.setReportedLength(reported);
        testsig::RecordingObserver seen;
        FeatureGenerator gen(1024, 8192);
        gen.setProgress(&seen);
        std::vector<double> barTimes;
        std::vector<uint32_t> barBeats;
        gen.runTaviPass(source, barTimes, barBeats, 4, 0, -1, 2);
        EXPECT_TRUE(seen.progressValues.empty()) << reported;
        EXPECT_FALSE(barTimes.empty()) << reported;
    }
}

TEST(FeaturePasses, Refusals)
{
    Numeric::Matrix features;
    std::vector<double> barTimes;
    std::vector<uint32_t> barBeats;
    testsig::MemorySource three(std::vector<float>(3 * 44100, 0.0f), 3);
    FeatureGenerator gen(1024, 8192);
    expectThrowText<std::runtime_error>(
        [&] { gen.computeFeatures(features, barTimes, barBeats, three, 4, 0, -1, 2); },
        "Unsupported number of channels");
    expectThrowText<std::domain_error>([&] { gen.setNdim(0); }, "ndim must be positive");
    EXPECT_EQ(gen.ndim(), 5);
    const int words[][4] = {{5, 0, -1, 2}, {4, 0, -1, 1}};
    for (const auto& w : words) {
        testsig::MemorySource mono(std::vector<float>(44100, 0.0f), 1);
        expectThrowText<std::runtime_error>(
            [&] { gen.computeFeatures(features, barTimes, barBeats, mono, w[0], w[1], w[2], w[3]); },
            "TAVI Cannot be initialized");
        EXPECT_EQ(mono.readCalls, 0);
    }

    // Silence gives no bar events: no grid, no rows.
    testsig::MemorySource silence(std::vector<float>(4 * 44100, 0.0f), 1);
    gen.computeFeatures(features, barTimes, barBeats, silence, 4, 0, -1, 2);
    EXPECT_EQ(features.rows(), 0);
    EXPECT_TRUE(barBeats.empty());
    EXPECT_TRUE(gen.gridFrameIndices().empty());
}

}  // namespace
