#pragma once
// Combining several estimator runs over the same rows (one row per bar)
// into one labelling, and the relabelling the segment records get. Every
// routine is a free function over plain arrays and keeps no state.
//
// Vocabulary: a run gives, per row, a state number and a remaining length
// (how many further rows the row's segment runs; 0 on its last row). A
// rows-by-runs matrix holds entry [row][run]. A segment is a pair of row
// indices (start, end), end exclusive.
#include <cstdint>
#include <utility>
#include <vector>

using RunArrays = std::vector<std::vector<uint32_t>>;
using Segment = std::pair<int, int>;

// Boundaries the runs agree on, from the rows-by-runs matrix of remaining
// lengths (every row must have the same number of runs). Segments of 2, 4
// and 8 rows are favoured. The first segment is always the empty (0, 0);
// the others are at most 8 rows long except the last, which reaches the
// last row and is at most 9 rows long. No rows: no segments.
std::vector<Segment> findConsensusBoundaries(const RunArrays& remainingByRow);

// The most frequent value, the smallest among equally frequent ones; 0 for
// an empty array.
int majorityLabel(const std::vector<int>& values);

// One label per segment from its per-run labels (each array one entry per
// run, all arrays equally long). A segment takes the label of the earliest
// closest earlier segment when the share of runs that disagree with it is
// below `threshold`, else the next new label. Labels start at 0.
std::vector<uint32_t> clusterSegments(const std::vector<std::vector<int>>& runLabels, double threshold);

// One label per segment, walking the rows: row 0 and every row after a row
// whose remaining length is 0 start a segment.
std::vector<uint32_t> segmentLabelSequence(const std::vector<uint32_t>& labels,
                                           const std::vector<uint32_t>& remaining);

// Gives the most frequent recurring pair of neighbouring labels a label of
// its own, repeatedly (sequences of more than three labels only), then
// renumbers the labels by first appearance from 0.
std::vector<uint32_t> mergeRecurringPairs(std::vector<uint32_t> sequence);

// Spreads one label per segment back over the rows (same segment walk as
// segmentLabelSequence). Rows past the last segment label keep the last one.
std::vector<uint32_t> expandSegmentLabels(const std::vector<uint32_t>& segmentLabels,
                                          const std::vector<uint32_t>& remaining);

// segmentLabelSequence, mergeRecurringPairs, expandSegmentLabels: per-row
// labels numbered by first appearance. The two arrays are equally long.
std::vector<uint32_t> relabelSegments(const std::vector<uint32_t>& labels,
                                      const std::vector<uint32_t>& remaining);
