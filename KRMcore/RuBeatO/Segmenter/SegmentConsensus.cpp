#include "SegmentConsensus.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

constexpr int kMaxSegmentRows = 8;

// Log prior over segment lengths 1..8; 2, 4 and 8 rows are favoured.
std::vector<double> lengthPrior()
{
    const double weights[kMaxSegmentRows] = {1.0, 1.5, 1.0, 1.5, 1.0, 1.0, 1.0, 1.5};
    double sum = 0.0;
    for (double w : weights)
        sum += w;
    std::vector<double> prior;
    for (double w : weights)
        prior.push_back(std::log(w / sum));
    return prior;
}

}  // namespace

std::vector<Segment> findConsensusBoundaries(const RunArrays& remainingByRow)
{
    const int n = static_cast<int>(remainingByRow.size());
    if (n == 0)
        return {};
    const double runs = static_cast<double>(remainingByRow[0].size());

    // Share of runs that start a segment at each row, and the scores of
    // starting one there or running on through it.
    const double startAgree = std::log(0.7), startDisagree = std::log(1.0 - 0.7);
    const double onAgree = std::log(0.05), onDisagree = std::log(0.95);
    std::vector<double> on(n), offPrefix(n + 1, 0.0);
    for (int i = 0; i < n; ++i) {
        double p = 0.0;
        if (i > 0 && runs > 0) {
            int ends = 0;
            for (uint32_t v : remainingByRow[i - 1])
                ends += v == 0 ? 1 : 0;
            p = ends / runs;
        }
        on[i] = p * startAgree + (1.0 - p) * startDisagree;
        offPrefix[i + 1] = offPrefix[i] + p * onAgree + (1.0 - p) * onDisagree;
    }

    const std::vector<double> prior = lengthPrior();
    std::vector<double> best(n, 0.0);
    std::vector<int> back(n, 0);
    for (int i = 1; i < n; ++i) {
        const int limit = std::min(i, kMaxSegmentRows);
        double top = -std::numeric_limits<double>::infinity();
        int topK = 0;
        for (int k = 0; k < limit; ++k) {
            const double candidate = prior[k] + best[i - 1 - k] + (offPrefix[i] - offPrefix[i - k]);
            if (candidate > top) {
                top = candidate;
                topK = k;
            }
        }
        best[i] = on[i] + top;
        back[i] = i - topK - 1;
    }

    std::vector<int> bounds {n, back[n - 1]};
    while (bounds.back() > 0)
        bounds.push_back(back[bounds.back()]);
    bounds.push_back(0);
    std::vector<Segment> segments;
    for (size_t j = bounds.size() - 1; j > 0; --j)
        segments.emplace_back(bounds[j], bounds[j - 1]);
    return segments;
}

int majorityLabel(const std::vector<int>& values)
{
    std::map<int, int> counts;
    for (int v : values)
        ++counts[v];
    int best = 0, bestCount = 0;
    for (const auto& c : counts)  // ascending, so the smallest value wins ties
        if (c.second > bestCount) {
            best = c.first;
            bestCount = c.second;
        }
    return best;
}

std::vector<uint32_t> clusterSegments(const std::vector<std::vector<int>>& runLabels, double threshold)
{
    std::vector<uint32_t> labels;
    if (runLabels.empty())
        return labels;
    labels.push_back(0);
    uint32_t lastNew = 0;
    for (size_t s = 1; s < runLabels.size(); ++s) {
        const std::vector<int>& mine = runLabels[s];
        double nearest = 1e20;
        size_t nearestAt = 0;
        for (size_t u = 0; u < s; ++u) {
            int differ = 0;
            for (size_t r = 0; r < mine.size(); ++r)
                differ += runLabels[u][r] != mine[r] ? 1 : 0;
            const double d =
                mine.empty() ? 0.0 : static_cast<double>(differ) / static_cast<double>(mine.size());
            if (d < nearest) {
                nearest = d;
                nearestAt = u;
            }
        }
        if (threshold > nearest)
            labels.push_back(labels[nearestAt]);
        else
            labels.push_back(++lastNew);
    }
    return labels;
}

std::vector<uint32_t> segmentLabelSequence(const std::vector<uint32_t>& labels,
                                           const std::vector<uint32_t>& remaining)
{
    std::vector<uint32_t> sequence;
    for (size_t i = 0; i < labels.size(); ++i)
        if (i == 0 || (i - 1 < remaining.size() && remaining[i - 1] == 0))
            sequence.push_back(labels[i]);
    return sequence;
}

namespace {

// Positions of the neighbouring pairs that stand alone (neither label
// repeats its neighbour outside the pair), grouped by the pair.
std::map<std::pair<uint32_t, uint32_t>, std::vector<size_t>> pairPositions(const std::vector<uint32_t>& s)
{
    std::map<std::pair<uint32_t, uint32_t>, std::vector<size_t>> pairs;
    const size_t n = s.size();
    for (size_t i = 0; i + 1 < n; ++i) {
        if (s[i] == s[i + 1])
            continue;
        if (i > 0 && s[i - 1] == s[i])
            continue;
        if (i + 2 < n && s[i + 2] == s[i + 1])
            continue;
        pairs[{s[i], s[i + 1]}].push_back(i);
    }
    return pairs;
}

void renumberByFirstAppearance(std::vector<uint32_t>& s)
{
    std::map<uint32_t, uint32_t> mapping;
    for (uint32_t& v : s) {
        const auto found = mapping.find(v);
        if (found == mapping.end())
            v = mapping.emplace(v, static_cast<uint32_t>(mapping.size())).first->second;
        else
            v = found->second;
    }
}

}  // namespace

std::vector<uint32_t> mergeRecurringPairs(std::vector<uint32_t> s)
{
    // Short sequences keep their labels as they are, but the records
    // promise numbering by first appearance, so they are still renumbered.
    if (s.size() > 3) {
        uint32_t top = *std::max_element(s.begin(), s.end());
        for (;;) {
            const auto pairs = pairPositions(s);
            size_t most = 0;
            for (const auto& p : pairs)
                most = std::max(most, p.second.size());
            if (most < 2)
                break;
            for (const auto& p : pairs) {
                if (p.second.size() != most)
                    continue;
                ++top;
                for (size_t i : p.second)
                    s[i] = s[i + 1] = top;
            }
        }
    }
    renumberByFirstAppearance(s);
    return s;
}

std::vector<uint32_t> expandSegmentLabels(const std::vector<uint32_t>& segmentLabels,
                                          const std::vector<uint32_t>& remaining)
{
    std::vector<uint32_t> rows;
    if (segmentLabels.empty())
        return rows;
    size_t segment = 0;
    for (size_t i = 0; i < remaining.size(); ++i) {
        rows.push_back(segmentLabels[std::min(segment, segmentLabels.size() - 1)]);
        if (remaining[i] == 0)
            ++segment;
    }
    return rows;
}

std::vector<uint32_t> relabelSegments(const std::vector<uint32_t>& labels,
                                      const std::vector<uint32_t>& remaining)
{
    return expandSegmentLabels(mergeRecurringPairs(segmentLabelSequence(labels, remaining)), remaining);
}
