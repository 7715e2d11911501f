#include "AttackMarks.h"

#include "CSMSAnalysis.h"
#include "ChannelThreads.h"
#include "SMSAnalysisParams.h"
#include "SMSRegion.h"
#include "StretchAlloc.h"
#include "TimeScaleParameterBlock.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr double kPreAnalysisHop = 256.0 / 44100.0;
constexpr double kSlopeThreshold = 40.0;
constexpr double kStrongSlope = 100.0;
constexpr int32_t kMarkOffset = 5;
constexpr int32_t kMergeDistance = 8;
constexpr double kQuietBandRatio = 1e-4;  // 40 dB in energy

enum Detector : uint8_t { TotalEnergy = 1, UpperBand = 2, LowerBand = 3 };

struct Candidate {
    int32_t position;
    uint8_t kind;
    uint8_t detector;
    double strength;
};

// v[k] is strictly greater than v[k - 4 .. k + 4] other than k.
bool peaks(const std::vector<double>& v, size_t k)
{
    for (size_t i = k - 4; i <= k + 4; ++i) {
        if (i != k && !(v[k] > v[i]))
            return false;
    }
    return true;
}

// The band lies more than 40 dB under the total in every frame that the
// slope of frame k reads.
bool quietBand(const std::vector<uint8_t>& quiet, size_t k)
{
    if (quiet.empty())
        return false;
    for (const int offset : {-2, -1, 1, 2, 7, 8}) {
        const size_t j = k + static_cast<size_t>(offset);
        if (j < quiet.size() && !quiet[j])
            return false;
    }
    return true;
}

bool quietTotal(const std::vector<double>& total, size_t k)
{
    for (size_t i = k - 4; i <= k + 4; ++i) {
        if (total[i] > kSlopeThreshold)
            return false;
    }
    return true;
}

// A weak winner loses to a clearly stronger loser.
bool weakAgainst(double weak, double strong)
{
    return (weak < 150.0 && strong > 600.0) || (weak < 300.0 && strong > 5000.0);
}

// True when candidate a (earlier) is removed in favour of b.
bool earlierLoses(const Candidate& a, const Candidate& b)
{
    if (a.detector == b.detector)
        return a.strength < b.strength;
    if (a.detector < b.detector)
        return weakAgainst(a.strength, b.strength);
    return !weakAgainst(b.strength, a.strength);
}

void mergeCandidates(std::vector<Candidate>& c)
{
    size_t i = 0;
    while (i < c.size()) {
        bool removedI = false;
        size_t j = i + 1;
        while (j < c.size() && c[j].position <= c[i].position + kMergeDistance) {
            if (earlierLoses(c[i], c[j])) {
                if (c[i].kind == AttackMarks::kStrongAttack)
                    c[j].kind = AttackMarks::kStrongAttack;
                c.erase(c.begin() + static_cast<std::ptrdiff_t>(i));
                removedI = true;
                break;
            }
            if (c[j].kind == AttackMarks::kStrongAttack)
                c[i].kind = AttackMarks::kStrongAttack;
            c.erase(c.begin() + static_cast<std::ptrdiff_t>(j));
        }
        if (!removedI)
            ++i;
    }
}

template <typename T> void sizeTo(std::vector<T>& v, int32_t n)
{
    if (static_cast<size_t>(n) > v.capacity()) {
        const size_t capacity = static_cast<size_t>((n + AttackMarks::kGrowthStep - 1) /
                                                    AttackMarks::kGrowthStep * AttackMarks::kGrowthStep);
        try {
            v.reserve(capacity);
        } catch (const std::exception&) {
            throw stretch::kAllocFailure;
        }
    }
    stretch::resizeOrThrow(v, static_cast<size_t>(n));
}

template <typename T> void insertAt(std::vector<T>& v, int32_t at, T value)
{
    sizeTo(v, static_cast<int32_t>(v.size()) + 1);
    std::move_backward(v.begin() + at, v.end() - 1, v.end());
    v[static_cast<size_t>(at)] = value;
}

template <typename T> void removeAt(std::vector<T>& v, int32_t at)
{
    v.erase(v.begin() + at);
}

}  // namespace

void AttackMarks::ResizeMarks(int32_t n)
{
    n = std::max(0, n);
    sizeTo(positions, n);
    sizeTo(times, n);
    sizeTo(spanBefore, n);
    sizeTo(rampBefore, n);
    sizeTo(spanAfter, n);
    sizeTo(rampAfter, n);
    sizeTo(classes, n);
    sizeTo(types, n);
    count = n;
}

void AttackMarks::InsertMark(int32_t at, int32_t position, uint32_t markClass, uint8_t type)
{
    ResizeMarks(count);
    insertAt(positions, at, position);
    insertAt(times, at, 0.0);
    insertAt(spanBefore, at, 0.0);
    insertAt(rampBefore, at, 0.0);
    insertAt(spanAfter, at, 0.0);
    insertAt(rampAfter, at, 0.0);
    insertAt(classes, at, markClass);
    insertAt(types, at, type);
    ++count;
}

void AttackMarks::RemoveMark(int32_t at)
{
    ResizeMarks(count);
    removeAt(positions, at);
    removeAt(times, at);
    removeAt(spanBefore, at);
    removeAt(rampBefore, at);
    removeAt(spanAfter, at);
    removeAt(rampAfter, at);
    removeAt(classes, at);
    removeAt(types, at);
    --count;
}

void SetAttackAnalysisParams(SMSAnalysisParams& params, double sampleRate, double band0UpperEdge)
{
    const double whole = CEnvelope::kWholeEnvelope;
    params.SetSampleRate(static_cast<float>(sampleRate));
    params.SetAnalysisParameter(23, 0.0f, whole);
    params.SetAnalysisParameter(2, static_cast<float>(band0UpperEdge), whole);
    params.SetAnalysisParameter(0, 0.0f, whole);
    params.SetAnalysisParameter(4, 0.0f, whole);
    params.SetAnalysisParameter(20, 0.0f, whole);
    params.SetAnalysisParameter(SMSAnalysisParams::SpectrumMethod, 0.0f, whole);
    params.SetAnalysisParameter(SMSAnalysisParams::FramesPerSecond, 172.0f, whole);
    params.SetAnalysisParameter(SMSAnalysisParams::BandFeatures, 1.0f, whole);
    params.SetAnalysisParameter(3, -100.0f, whole);
}

int AnalyzeChannels(CSMSAnalysis& analyser, SMSAnalysisData& data, SoundFileStream& left,
                    SoundFileStream* right, SMSFrameList& leftFrames, SMSFrameList& rightFrames)
{
    analyser.SetHopDuration(kPreAnalysisHop);
    SoundFileStream* streams[2] = {&left, right};
    SMSFrameList* lists[2] = {&leftFrames, &rightFrames};
    for (int c = 0; c < 2; ++c) {
        *lists[c] = SMSFrameList {};
        if (!streams[c])
            continue;
        if (analyser.AnalyzeStream(streams[c], data) != 0)
            return -1;
        const CSMSRegion* region = data.At(-1)->At(0)->Region(0);
        *lists[c] = region->Frames();
        for (int32_t i = 0; i < region->Count(); ++i)
            region->Frame(i)->SetTime(i * kPreAnalysisHop);
    }
    return 0;
}

int AllocAttackMarks(AttackMarks& left, AttackMarks* right, int32_t leftFrameCount, int32_t rightFrameCount)
{
    AttackMarks* marks[2] = {&left, right};
    const int32_t frames[2] = {leftFrameCount, rightFrameCount};
    for (int c = 0; c < 2; ++c) {
        if (!marks[c])
            continue;
        AttackMarks& m = *marks[c];
        m.ResizeMarks(AttackMarks::kGrowthStep);  // room for the first 100 marks
        m.ResizeMarks(0);
        const auto n = static_cast<size_t>(std::max(0, frames[c]));
        stretch::resizeOrThrow(m.totalSlope, n);
        stretch::resizeOrThrow(m.upperSlope, n);
        stretch::resizeOrThrow(m.lowerSlope, n);
    }
    return 0;
}

int DetectAttacks(AttackMarks& marks, const SMSFrameList& frames, int detect)
{
    const auto n = static_cast<size_t>(std::max(0, frames.count));
    stretch::resizeOrThrow(marks.totalSlope, n);
    stretch::resizeOrThrow(marks.upperSlope, n);
    stretch::resizeOrThrow(marks.lowerSlope, n);
    stretch::resizeOrThrow(marks.upperQuiet, n);
    stretch::resizeOrThrow(marks.lowerQuiet, n);
    for (size_t i = 0; i < n; ++i) {
        const SMSFrame* f = frames.frames[i];
        const bool has = f && f->Has(SMSFrame::Features);
        const float* x = has ? f->FeatureData() : nullptr;
        const float* slope = has ? x + SMSFrame::kSlopes : nullptr;
        marks.totalSlope[i] = has ? slope[SMSFrame::kTotalEnergy] : 0.0;
        marks.upperSlope[i] = has ? slope[SMSFrame::kUpperEnergy] : 0.0;
        marks.lowerSlope[i] = has ? slope[SMSFrame::kLowerEnergy] : 0.0;
        const double floor = has ? x[SMSFrame::kTotalEnergy] * kQuietBandRatio : 0.0;
        marks.upperQuiet[i] = has && x[SMSFrame::kUpperEnergy] < floor;
        marks.lowerQuiet[i] = has && x[SMSFrame::kLowerEnergy] < floor;
    }
    if (detect)
        FindAttacks(marks);
    return 0;
}

void FindAttacks(AttackMarks& marks)
{
    const std::vector<double>& total = marks.totalSlope;
    const std::vector<double>& upper = marks.upperSlope;
    const std::vector<double>& lower = marks.lowerSlope;
    const size_t n = std::min({total.size(), upper.size(), lower.size()});
    std::vector<Candidate> found;
    for (size_t k = 4; k + 5 <= n; ++k) {
        const auto at = static_cast<int32_t>(k) + kMarkOffset;
        bool any = false;
        Candidate c {};
        if (upper[k] > kSlopeThreshold && peaks(upper, k) && !quietBand(marks.upperQuiet, k)) {
            c = {at, AttackMarks::kAttack, UpperBand, upper[k]};
            any = true;
        }
        if (lower[k] > kSlopeThreshold && quietTotal(total, k) && peaks(lower, k) &&
            !quietBand(marks.lowerQuiet, k)) {
            const uint8_t kind = lower[k] > kStrongSlope ? AttackMarks::kStrongAttack : AttackMarks::kAttack;
            c = {at, kind, LowerBand, lower[k]};
            any = true;
        }
        if (total[k] > kSlopeThreshold && peaks(total, k)) {
            const uint8_t kind = total[k] > kStrongSlope ? AttackMarks::kStrongAttack : AttackMarks::kAttack;
            c = {at, kind, TotalEnergy, total[k]};
            any = true;
        }
        if (any)
            found.push_back(c);
    }
    mergeCandidates(found);
    marks.ResizeMarks(static_cast<int32_t>(found.size()));
    for (size_t i = 0; i < found.size(); ++i) {
        marks.positions[i] = found[i].position;
        marks.classes[i] = 1;
        marks.types[i] = found[i].kind;
    }
}

namespace {

struct Pairing {
    AttackMarks& l;
    AttackMarks& r;
    AttackFlags& lf;
    AttackFlags& rf;

    int32_t L(int32_t i) const { return l.positions[static_cast<size_t>(i)]; }
    int32_t R(int32_t j) const { return r.positions[static_cast<size_t>(j)]; }
    bool sameClass(int32_t i, int32_t j) const
    {
        return l.classes[static_cast<size_t>(i)] == r.classes[static_cast<size_t>(j)];
    }
    // R[j] is not the right partner of L[i] when its successor already lies
    // before L[i] (or, for the near passes, its predecessor after L[i]).
    bool skip(int32_t i, int32_t j, bool near) const
    {
        if (j < r.count - 1 && R(j + 1) < L(i))
            return true;
        return near && j >= 2 && R(j - 1) > L(i);
    }
    void pair(int32_t i, int32_t j, int32_t moveLeft, int32_t moveRight)
    {
        l.positions[static_cast<size_t>(i)] += moveLeft;
        r.positions[static_cast<size_t>(j)] += moveRight;
        lf[static_cast<size_t>(i)] = 1;
        rf[static_cast<size_t>(j)] = 1;
    }
    // Runs `tryPair(i, j)` over the unpaired marks; it returns true when it
    // paired them (the scan moves to the next left mark), and `stop(i, j)`
    // ends the scan of the right marks early.
    template <typename Try, typename Stop> void pass(Try tryPair, Stop stop)
    {
        for (int32_t i = 0; i < l.count; ++i) {
            if (lf[static_cast<size_t>(i)])
                continue;
            for (int32_t j = 0; j < r.count; ++j) {
                if (rf[static_cast<size_t>(j)])
                    continue;
                if (stop(i, j))
                    break;
                if (sameClass(i, j) && tryPair(i, j))
                    break;
            }
        }
    }
};

// Moves of the left and right mark that bring marks d = right - left frames
// apart together: the near pass (|d| <= 3) and the far pass by distance.
struct Move {
    int32_t d, left, right;
};
const Move kNearMoves[] = {{1, 0, -1}, {-1, -1, 0}, {2, 1, -1}, {-2, -1, 1}, {3, 1, -2}, {-3, -2, 1}};
const Move kFarMoves[] = {{4, 1, -3},  {-4, -3, 1}, {5, 2, -3},  {-5, -3, 2}, {6, 2, -4},
                          {-6, -4, 2}, {7, 3, -4},  {-7, -4, 3}, {-8, -4, 4}};

template <size_t N> const Move* findMove(const Move (&table)[N], int32_t d)
{
    for (const Move& m : table) {
        if (m.d == d)
            return &m;
    }
    return nullptr;
}

}  // namespace

void PairStereoAttacks(AttackMarks& left, AttackMarks& right, AttackFlags& leftFlags, AttackFlags& rightFlags)
{
    leftFlags.resize(static_cast<size_t>(left.count), 0);
    rightFlags.resize(static_cast<size_t>(right.count), 0);
    Pairing p {left, right, leftFlags, rightFlags};
    const auto never = [](int32_t, int32_t) { return false; };

    p.pass(
        [&](int32_t i, int32_t j) {
            if (p.R(j) != p.L(i))
                return false;
            p.pair(i, j, 0, 0);
            return true;
        },
        never);

    p.pass(
        [&](int32_t i, int32_t j) {
            const int32_t d = p.R(j) - p.L(i);
            if (std::abs(d) > 2 || p.skip(i, j, true))
                return false;
            if (left.IsStrong(i) && !right.IsStrong(j)) {
                p.pair(i, j, 0, -d);
                return true;
            }
            if (!left.IsStrong(i) && right.IsStrong(j)) {
                p.pair(i, j, d, 0);
                return true;
            }
            return false;
        },
        never);

    p.pass(
        [&](int32_t i, int32_t j) {
            const Move* m = p.skip(i, j, true) ? nullptr : findMove(kNearMoves, p.R(j) - p.L(i));
            if (!m)
                return false;
            p.pair(i, j, m->left, m->right);
            return true;
        },
        never);

    p.pass(
        [&](int32_t i, int32_t j) {
            const int32_t d = p.R(j) - p.L(i);
            if (p.skip(i, j, false) || std::abs(d) >= 8)
                return false;
            if (left.IsStrong(i)) {
                if (right.IsStrong(j))
                    p.pair(i, j, d / 4, -d + d / 4);
                else
                    p.pair(i, j, 0, -d);
                return true;
            }
            if (right.IsStrong(j)) {
                p.pair(i, j, d, 0);
                return true;
            }
            const Move* m = findMove(kFarMoves, d);
            if (!m)
                return false;
            p.pair(i, j, m->left, m->right);
            return true;
        },
        [&](int32_t i, int32_t j) { return p.R(j) > p.L(i) + 7; });
}

void MergeStereoAttacks(AttackMarks& left, AttackMarks& right, AttackFlags& leftFlags,
                        AttackFlags& rightFlags)
{
    left.ResizeMarks(left.count);
    right.ResizeMarks(right.count);
    leftFlags.resize(static_cast<size_t>(left.count), 0);
    rightFlags.resize(static_cast<size_t>(right.count), 0);
    int32_t k = 0;
    while (k < left.count && k < right.count) {
        const size_t at = static_cast<size_t>(k);
        if (right.positions[at] < left.positions[at]) {
            left.InsertMark(k, right.positions[at], right.classes[at], AttackMarks::kAttack);
            insertAt(leftFlags, k, 1u);
            rightFlags[at] = 1;
        } else if (right.positions[at] > left.positions[at]) {
            right.InsertMark(k, left.positions[at], left.classes[at], AttackMarks::kAttack);
            insertAt(rightFlags, k, 1u);
            leftFlags[at] = 1;
        }
        ++k;
    }
    if (k == left.count)
        right.ResizeMarks(std::min(right.count, k));
    if (k == right.count)
        left.ResizeMarks(std::min(left.count, k));
    leftFlags.clear();
    leftFlags.shrink_to_fit();
    rightFlags.clear();
    rightFlags.shrink_to_fit();
}

int ComputeAttackSpans(AttackMarks& marks, const SMSFrameList& frames, const TimeScaleParameterBlock& block,
                       double sampleRate, int32_t hop)
{
    marks.ResizeMarks(marks.count);
    const double hopDuration = hop / sampleRate;
    const auto frameTime = [&](int32_t position) {
        if (frames.count < 1)
            return std::max(0, position) * kPreAnalysisHop;
        return frames.frames[std::min(frames.count - 1, std::max(0, position))]->Time();
    };
    for (int32_t i = 0; i < marks.count; ++i) {
        marks.spanBefore[static_cast<size_t>(i)] = 8.0;
        marks.spanAfter[static_cast<size_t>(i)] = 8.0;
        marks.rampBefore[static_cast<size_t>(i)] = 5.0;
        marks.rampAfter[static_cast<size_t>(i)] = 5.0;
    }
    for (int32_t i = 0; i < marks.count; ++i) {
        const size_t at = static_cast<size_t>(i);
        const double t = frameTime(marks.positions[at]);
        if (i >= 1) {
            int32_t gap = marks.positions[at] - marks.positions[at - 1];
            const double factor = block.GetParameter(TimeScaleParameterBlock::StretchFactor, t);
            if (factor < 1.0)
                gap = static_cast<int32_t>(gap * factor);
            double span = 2.0, ramp = 2.0;
            if (gap >= 6) {
                const int32_t s = std::min((gap - 2) / 2, 8);
                span = s;
                ramp = std::min(8.0, std::max(2.0, (gap - 2.0 * s) * 0.5));
            }
            marks.spanAfter[at - 1] = span;
            marks.spanBefore[at] = span;
            marks.rampAfter[at - 1] = ramp;
            marks.rampBefore[at] = ramp;
        }
        marks.times[at] = static_cast<int64_t>(t / hopDuration + 0.5 + 1e-8) * hopDuration;
    }
    const double k = (sampleRate / 44100.0 * 256.0) / hop;
    for (std::vector<double>* values :
         {&marks.spanBefore, &marks.rampBefore, &marks.spanAfter, &marks.rampAfter}) {
        for (int32_t i = 0; i < marks.count; ++i) {
            double& v = (*values)[static_cast<size_t>(i)];
            v = static_cast<int64_t>(v * k + 1e-8);
        }
    }
    return 0;
}

int MarkAttacks(SharedFft& fft, double sampleRate, double band0UpperEdge,
                const TimeScaleParameterBlock& block, int32_t hop, SoundFileStream& left,
                SoundFileStream* right, AttackMarks& leftMarks, AttackMarks* rightMarks,
                SMSAnalysisData& data, SharedFft* rightFft)
{
    if (!rightMarks)
        right = nullptr;
    SMSFrameList leftFrames, rightFrames;
    if (right && rightFft) {
        // Each channel on its own thread with its own analyser, parameters
        // and transform; the right channel's entry joins `data` after the
        // left one's, as one analyser taking both in turn leaves them.
        SMSAnalysisData rightData;
        const int rc = stretch::RunPerChannel(2, [&](int c) {
            SMSAnalysisParams params;
            SetAttackAnalysisParams(params, sampleRate, band0UpperEdge);
            CSMSAnalysis analyser(c == 0 ? fft : *rightFft, static_cast<int32_t>(sampleRate), params);
            SMSFrameList unused;
            return c == 0 ? AnalyzeChannels(analyser, data, left, nullptr, leftFrames, unused)
                          : AnalyzeChannels(analyser, rightData, *right, nullptr, rightFrames, unused);
        });
        if (rc != 0 || data.Insert(-1, rightData.Take(0)) != 0)
            return -1;
    } else {
        SMSAnalysisParams params;
        SetAttackAnalysisParams(params, sampleRate, band0UpperEdge);
        CSMSAnalysis analyser(fft, static_cast<int32_t>(sampleRate), params);
        if (AnalyzeChannels(analyser, data, left, right, leftFrames, rightFrames) != 0)
            return -1;
    }
    AllocAttackMarks(leftMarks, right ? rightMarks : nullptr, leftFrames.count, rightFrames.count);
    DetectAttacks(leftMarks, leftFrames, 1);
    if (right) {
        DetectAttacks(*rightMarks, rightFrames, 1);
        AttackFlags leftFlags(static_cast<size_t>(leftMarks.count), 0);
        AttackFlags rightFlags(static_cast<size_t>(rightMarks->count), 0);
        PairStereoAttacks(leftMarks, *rightMarks, leftFlags, rightFlags);
        MergeStereoAttacks(leftMarks, *rightMarks, leftFlags, rightFlags);
    }
    ComputeAttackSpans(leftMarks, leftFrames, block, sampleRate, hop);
    if (right)
        ComputeAttackSpans(*rightMarks, rightFrames, block, sampleRate, hop);
    return 0;
}
