#include "Segmenter/SectionSegmenter.h"
#include "Segmenter/SegmentConsensus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

// Rows-by-runs remaining lengths from per-run segment lengths.
RunArrays byRow(const std::vector<std::vector<int>>& segmentLengthsPerRun)
{
    RunArrays runs;
    for (const auto& lengths : segmentLengthsPerRun) {
        std::vector<uint32_t> run;
        for (int len : lengths)
            for (int k = len - 1; k >= 0; --k)
                run.push_back(static_cast<uint32_t>(k));
        runs.push_back(run);
    }
    RunArrays rows(runs[0].size(), std::vector<uint32_t>(runs.size()));
    for (size_t r = 0; r < runs.size(); ++r)
        for (size_t i = 0; i < runs[r].size(); ++i)
            rows[i][r] = runs[r][i];
    return rows;
}

// Brute force over every chain of segment starts 0 = a0 < a1 < ... < am =
// N-1 (gaps of 1 to 8 rows), scored as the consensus defines it; returns
// the segments of the best chain and whether it won by a clear margin.
std::vector<Segment> bruteForce(const RunArrays& rows, bool& clear)
{
    const int n = static_cast<int>(rows.size());
    const double runs = static_cast<double>(rows[0].size());
    std::vector<double> p(n, 0.0);
    for (int i = 1; i < n; ++i) {
        int ends = 0;
        for (uint32_t v : rows[i - 1])
            ends += v == 0;
        p[i] = ends / runs;
    }
    const double w[8] = {1.0, 1.5, 1.0, 1.5, 1.0, 1.0, 1.0, 1.5};
    const auto on = [&](int i) { return p[i] * std::log(0.7) + (1 - p[i]) * std::log(0.3); };
    const auto off = [&](int i) { return p[i] * std::log(0.05) + (1 - p[i]) * std::log(0.95); };
    double best = -1e300, second = -1e300;
    std::vector<int> bestChain;
    std::vector<int> chain {0};
    std::function<void(int)> walk = [&](int at) {
        if (at == n - 1 || n == 1) {
            double score = 0.0;
            for (size_t j = 1; j < chain.size(); ++j) {
                score += on(chain[j]) + std::log(w[chain[j] - chain[j - 1] - 1] / 9.5);
                for (int t = chain[j - 1] + 1; t < chain[j]; ++t)
                    score += off(t);
            }
            if (score > best) {
                second = best;
                best = score;
                bestChain = chain;
            } else if (score > second) {
                second = score;
            }
            return;
        }
        for (int next = at + 1; next <= std::min(n - 1, at + 8); ++next) {
            chain.push_back(next);
            walk(next);
            chain.pop_back();
        }
    };
    walk(0);
    clear = best - second > 1e-9;
    std::vector<int> points {0, 0};
    points.insert(points.end(), bestChain.begin() + 1, bestChain.end() - (n > 1 ? 1 : 0));
    points.push_back(n);
    std::vector<Segment> segments;
    for (size_t j = 0; j + 1 < points.size(); ++j)
        segments.emplace_back(points[j], points[j + 1]);
    return segments;
}

TEST(SegmentConsensus, BoundariesMatchAnExhaustiveSearch)
{
    std::mt19937 rng(5);
    int compared = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 2 + trial % 11;
        std::vector<std::vector<int>> runs;
        for (int r = 0; r < 10; ++r) {
            std::vector<int> lengths;
            for (int left = n; left > 0;) {
                const int len = std::min(left, 1 + static_cast<int>(rng() % 5));
                lengths.push_back(len);
                left -= len;
            }
            runs.push_back(lengths);
        }
        const RunArrays rows = byRow(runs);
        bool clear = false;
        const std::vector<Segment> expected = bruteForce(rows, clear);
        if (!clear)
            continue;
        ++compared;
        EXPECT_EQ(findConsensusBoundaries(rows), expected) << "trial " << trial;
    }
    EXPECT_GT(compared, 30);
}

TEST(SegmentConsensus, BoundaryShapes)
{
    EXPECT_TRUE(findConsensusBoundaries({}).empty());
    // One row: the empty first segment and one segment over the row.
    EXPECT_EQ(findConsensusBoundaries(byRow({{1}})), (std::vector<Segment> {{0, 0}, {0, 1}}));

    // Every run sees one long segment: the consensus still cuts it into
    // pieces of at most 8 rows (9 for the last), contiguous from row 0.
    for (int n : {9, 20, 37}) {
        const std::vector<Segment> s = findConsensusBoundaries(byRow(std::vector<std::vector<int>>(10, {n})));
        ASSERT_GE(s.size(), 2u);
        EXPECT_EQ(s[0], Segment(0, 0)) << n;
        for (size_t k = 1; k < s.size(); ++k) {
            EXPECT_EQ(s[k].first, s[k - 1].second) << n;
            EXPECT_LE(s[k].second - s[k].first, k + 1 == s.size() ? 9 : 8) << n << " segment " << k;
            EXPECT_GT(s[k].second, s[k].first) << n;
        }
        EXPECT_EQ(s.back().second, n);
    }

    // All runs agree on segments of 4 rows: the consensus follows them.
    const auto agreed = findConsensusBoundaries(byRow(std::vector<std::vector<int>>(10, {4, 4, 4})));
    EXPECT_EQ(agreed, (std::vector<Segment> {{0, 0}, {0, 4}, {4, 8}, {8, 12}}));
}

TEST(SegmentConsensus, MajorityLabel)
{
    const struct {
        std::vector<int> values;
        int expected;
    } cases[] = {{{}, 0}, {{7}, 7}, {{3, 1, 3, 1}, 1}, {{2, 5, 5}, 5}, {{9, 4, 9, 4, 2}, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(majorityLabel(c.values), c.expected) << ::testing::PrintToString(c.values);
}

TEST(SegmentConsensus, ClusterSharesALabelOnlyWhenAllTenRunsAgree)
{
    const std::vector<int> a(10, 0);
    std::vector<int> b = a;
    b[9] = 3;  // one run in ten differs
    std::vector<int> c(10, 1);
    EXPECT_EQ(clusterSegments({a, b, a, b, c, a}, 0.1), (std::vector<uint32_t> {0, 1, 0, 1, 2, 0}));
    EXPECT_TRUE(clusterSegments({}, 0.1).empty());
    // A looser threshold lets the one-run difference through.
    EXPECT_EQ(clusterSegments({a, b}, 0.2), (std::vector<uint32_t> {0, 0}));
}

TEST(SegmentConsensus, MergeRecurringPairsAndRenumber)
{
    const struct {
        std::vector<uint32_t> in, out;
    } cases[] = {
        {{0, 1, 0, 1, 2, 0, 1}, {0, 0, 0, 0, 1, 0, 0}},  // A B A B C A B
        {{1, 0}, {0, 1}},
        {{2, 1, 2}, {0, 1, 0}},  // three or fewer: no merging, still renumbered
        {{5, 5, 3}, {0, 0, 1}},
        {{1, 2, 1, 2}, {0, 0, 0, 0}},
        {{4, 4, 4, 4}, {0, 0, 0, 0}},
        {{3, 1, 2, 0}, {0, 1, 2, 3}},
        {{}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mergeRecurringPairs(c.in), c.out) << ::testing::PrintToString(c.in);

    // Long alternations end numbered by first appearance.
    for (size_t n : {9u, 16u, 31u}) {
        std::vector<uint32_t> in;
        for (size_t i = 0; i < n; ++i)
            in.push_back(static_cast<uint32_t>(7 + (i % 3 == 2 ? 2 : i % 2)));
        const std::vector<uint32_t> out = mergeRecurringPairs(in);
        ASSERT_EQ(out.size(), n);
        uint32_t next = 0;
        for (uint32_t v : out) {
            EXPECT_LE(v, next) << n;
            if (v == next)
                ++next;
        }
    }
}

TEST(SegmentConsensus, RelabelWalksSegmentsOverRows)
{
    // The first segment carries label 1: labels still start at 0.
    EXPECT_EQ(relabelSegments({1, 1, 0, 0}, {1, 0, 1, 0}), (std::vector<uint32_t> {0, 0, 1, 1}));
    EXPECT_EQ(relabelSegments({4, 4, 2, 2, 4, 4}, {1, 0, 1, 0, 1, 0}),
              (std::vector<uint32_t> {0, 0, 1, 1, 0, 0}));
    // A B A B C A B over rows of two each.
    std::vector<uint32_t> labels, remaining;
    for (uint32_t l : {0u, 1u, 0u, 1u, 2u, 0u, 1u})
        for (uint32_t k : {1u, 0u}) {
            labels.push_back(l);
            remaining.push_back(k);
        }
    EXPECT_EQ(relabelSegments(labels, remaining),
              (std::vector<uint32_t> {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}));
}

TEST(SegmentConsensus, StateModelOfAgreeingRuns)
{
    std::vector<uint32_t> remaining {9}, labels {9};
    SectionSegmenter::buildStateModel(remaining, labels, {}, {}, 0.9);
    EXPECT_TRUE(remaining.empty());
    EXPECT_TRUE(labels.empty());

    const RunArrays remainingRuns(10, {3, 2, 1, 0, 3, 2, 1, 0, 3, 2, 1, 0});
    const RunArrays stateRuns(10, {4, 4, 4, 4, 2, 2, 2, 2, 4, 4, 4, 4});
    SectionSegmenter::buildStateModel(remaining, labels, remainingRuns, stateRuns, 0.9);
    EXPECT_EQ(remaining, remainingRuns[0]);
    // The empty first segment takes label 0 with the runs' labels all 0,
    // so the first real segment (state 4 in every run) gets a new label.
    EXPECT_EQ(labels, (std::vector<uint32_t> {1, 1, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1}));
}

}  // namespace
