#include "BandStretcher.h"

#include "AttackMarks.h"
#include "SMSFrame.h"
#include "SoundFileStream.h"
#include "StretchAlloc.h"
#include "StretchBuffer.h"
#include "StretchMath.h"
#include "TimeScaleParameterBlock.h"
#include "VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using P = TimeScaleParameterBlock;
using stretch::kTwoPi;

constexpr double kTolerance = 1e-8;
constexpr double kDbToNeper = 0.1151292546497;  // ln(10) / 20
constexpr double kFullScale = 32768.0;
constexpr float kSilent = SMSFrame::kSilentDb;
// The lowest pair governs bins this far below it (but not below half its
// frequency).
constexpr double kLowestReachBins = 20.0;
// Strong attacks reset phases from this frequency up.
constexpr double kStrongResetFrequency = 100.0;
// The stereo link takes two channels' pairs for one partial when their
// frequencies lie this many bins apart or less. A partial of one sound
// reads the same in both channels (to a small fraction of a bin, however
// loud each is); had two sounds that close been linked, each would move by
// at most half of that.
constexpr double kSamePartialBins = 0.1;
// The channels' level difference (nepers) at which the link's shares are
// held: the weaker channel then takes all of the correction but 1e-17.
constexpr float kShareLimit = 40.0f;
// A channel this much weaker in a bin than the other (dB) follows the other
// there even when its own nearest pair is another partial: what it holds
// of the stronger one's partial (a quieter copy panned across) would
// otherwise lose its phase course to the other partial's advance, and the
// stronger channel is never moved for it.
constexpr float kFollowerDb = 6.0f;

// A float phase less than a turn outside [0, 2 pi) brought into it.
float wrapTurn(float phase)
{
    const float twoPi = static_cast<float>(kTwoPi);
    if (phase < 0.0f)
        phase += twoPi;
    else if (phase >= twoPi)
        phase -= twoPi;
    return (phase >= 0.0f && phase < twoPi) ? phase : static_cast<float>(stretch::wrapPhase(phase));
}

void sineAndCosine(float x, float& sine, float& cosine)
{
#if defined(__GLIBC__)
    ::sincosf(x, &sine, &cosine);
#else
    sine = std::sin(x);
    cosine = std::cos(x);
#endif
}

// The per-bin loops below run over blocks: a block goes through a loop of
// arithmetic and selects that the compiler vectorises, and one holding any
// unusual value (a phase or dB value outside the range of the fast functions,
// not-a-number, a phase more than a turn out) is done again bin by bin by the
// library's functions, so such values come out as they always did.
constexpr int32_t kBlock = 64;

// wrapTurn's first step, without its check: a phase less than a turn
// outside [0, 2 pi) moved by one turn.
float oneTurnIn(float phase)
{
    const float twoPi = static_cast<float>(kTwoPi);
    return phase < 0.0f ? phase + twoPi : (phase >= twoPi ? phase - twoPi : phase);
}

bool inTurn(float phase)
{
    return (phase >= 0.0f) & (phase < static_cast<float>(kTwoPi));
}

// One bin of the packed real spectrum from its dB magnitude and phase by the
// library's functions; false for a silent or unusable bin, which adds
// nothing.
bool binByLibrary(float db, float phase, float& re, float& im)
{
    if (db == kSilent || !std::isfinite(db))
        return false;
    const float m = static_cast<float>(kFullScale) * std::exp(db * static_cast<float>(kDbToNeper));
    float sine = 0.0f, cosine = 0.0f;
    sineAndCosine(phase, sine, cosine);
    re = m * cosine;
    im = m * sine;
    return true;
}

// Bins [from, to) of the packed real spectrum (0 < from, to <= n / 2):
// bin k's real and imaginary parts at 2k and 2k + 1 of a zeroed buffer.
void spectrumBins(const float* db, const float* phase, int32_t from, int32_t to, float* buffer)
{
    // A range's frame is silent outside its own domain: those bins add
    // nothing.
    while (from < to && db[from] == kSilent)
        ++from;
    while (to > from && db[to - 1] == kSilent)
        --to;
    float re[kBlock], im[kBlock];
    const float toNeper = static_cast<float>(kDbToNeper);
    const float fullScale = static_cast<float>(kFullScale);
    for (int32_t at = from; at < to; at += kBlock) {
        const int32_t count = std::min(kBlock, to - at);
        const float* d = db + at;
        const float* p = phase + at;
        int32_t unusual = 0;
        for (int32_t i = 0; i < count; ++i) {
            const float x = d[i] * toNeper;
            const bool plain = (x >= stretch::kFastExpLow) & (x <= stretch::kFastExpHigh) &
                               (std::fabs(p[i]) <= stretch::kFastSinCosLimit);
            unusual |= static_cast<int32_t>(!plain & (d[i] != kSilent));
            float sine, cosine;
            stretch::fastSinCos(plain ? p[i] : 0.0f, sine, cosine);
            const float m = plain ? fullScale * stretch::fastExp(plain ? x : 0.0f) : 0.0f;
            re[i] = m * cosine;
            im[i] = m * sine;
        }
        float* out = buffer + 2 * at;
        if (unusual) {
            for (int32_t i = 0; i < count; ++i) {
                if (!binByLibrary(d[i], p[i], out[2 * i], out[2 * i + 1]))
                    out[2 * i] = out[2 * i + 1] = 0.0f;
            }
            continue;
        }
        for (int32_t i = 0; i < count; ++i) {
            out[2 * i] = re[i];
            out[2 * i + 1] = im[i];
        }
    }
}

double binWidth(const SMSFrame& frame, double lastBinFrequency)
{
    return frame.Count() > 1 ? lastBinFrequency / (frame.Count() - 1) : lastBinFrequency;
}

// The first bin k in [from, to] (to when none before it) at whose
// frequency k * width `reached` turns true, for a test that once true stays
// true as k grows (as k * width never falls): the bin a scan from `from`
// stops at, found from the guess `threshold / width` with a step or two
// of the test itself, so that it is that bin exactly.
template <typename Reached>
int32_t firstBinWhere(double threshold, double width, int32_t from, int32_t to, Reached reached)
{
    if (from >= to)
        return to;
    const double guess = threshold / width;
    int32_t k = from;
    if (guess >= to)
        k = to;
    else if (guess > from)
        k = static_cast<int32_t>(guess);
    while (k > from && reached((k - 1) * width))
        --k;
    while (k < to && !reached(k * width))
        ++k;
    return k;
}

// The row of a channel's history whose time is the first at or after t.
int32_t rowAtOrAfter(const AttackMarks& marks, double t, double hopDuration)
{
    const auto rows = static_cast<int32_t>(marks.history ? marks.history->size() : 0);
    for (int32_t r = 0; r < rows; ++r) {
        if (r * hopDuration + marks.firstRowTime + kTolerance >= t)
            return r;
    }
    return -1;
}

// The share of a bin's link correction that the left channel takes, from
// the two channels' levels (dB): the weaker channel takes the larger share,
// so that where one channel carries a partial and the other only a trace of
// it the partial keeps its own phase course; equal levels share it evenly.
float leftShare(float leftDb, float rightDb)
{
    const float x =
        std::min(std::max((leftDb - rightDb) * static_cast<float>(kDbToNeper), -kShareLimit), kShareLimit);
    return 1.0f / (1.0f + stretch::fastExp(x));
}

}  // namespace

BandStretcher::BandStretcher(SharedFft& fft, TimeScaleParameterBlock& block,
                             std::unique_ptr<SoundFileStream>* outputSlot)
    : CSpectrum(fft, &block),
      m_block(block),
      m_rangeCount(static_cast<int32_t>(block.GetParameter(P::RangeCount))),
      m_sampleRate(static_cast<int32_t>(block.GetParameter(P::SampleRate))),
      m_hopDuration(static_cast<double>(Hop()) / std::max(1, m_sampleRate)),
      m_synthesisFlags(static_cast<uint8_t>(block.GetParameter(P::BandFlags, 0.0))),
      m_stereoLink(static_cast<int32_t>(block.GetParameter(P::StereoLink, 0.0))),
      m_stereoLinkWeight(static_cast<float>(block.GetParameter(P::StereoLinkWeight, 0.0))),
      m_writeToStream(static_cast<uint8_t>(static_cast<int32_t>(block.GetParameter(P::OutputFlags)) & 1))
{
    m_rangeCount = std::min(m_rangeCount, kMaxRanges);
    stretch::resizeOrThrow(m_frameBuffer, static_cast<size_t>(std::max(FftSize(), 2 * Hop())));
    stretch::resizeOrThrow(m_overlapAdd, static_cast<size_t>(2 * Hop()));
    stretch::resizeOrThrow(m_outputBlock, static_cast<size_t>(std::max(Hop(), FftSize() / 2)));
    if (m_writeToStream && outputSlot) {
        SoundFileStream* stream = new (std::nothrow) SoundFileStream;
        if (!stream)
            throw stretch::kAllocFailure;
        stream->SetSampleRate(m_sampleRate);
        outputSlot->reset(stream);
        m_stream = stream;
    } else {
        m_writeToStream = 0;
    }
}

BandStretcher::~BandStretcher() = default;

BandStretcher::AttackChoice BandStretcher::PreparePeaks(AttackMarks& marks, double t, double s, double h)
{
    AttackChoice choice;
    choice.sourceTime = t;
    // Only the marks inside the frame history count.
    const double from = marks.firstRowTime - kTolerance;
    const double to = marks.firstRowTime + marks.historyLength * h + kTolerance;
    const auto inHistory = [&](int32_t i) {
        const double a = marks.times[static_cast<size_t>(i)];
        return a >= from && a <= to;
    };
    int32_t nearest = -1;
    double distance = 10000.0;
    // Mark times rise: only those from the history's first row on are read.
    const auto first = std::lower_bound(marks.times.begin(), marks.times.begin() + marks.count, from);
    for (auto i = static_cast<int32_t>(first - marks.times.begin()); i < marks.count && inHistory(i); ++i) {
        const double d = std::fabs(marks.times[static_cast<size_t>(i)] - marks.centreTime);
        if (d < distance) {
            distance = d;
            nearest = i;
        }
    }
    if (nearest < 0)
        return choice;
    choice.kind = marks.types[static_cast<size_t>(nearest)];

    for (int32_t i = nearest - 1; i <= nearest; ++i) {
        if (i < 0 || !inHistory(i))
            continue;
        const size_t at = static_cast<size_t>(i);
        const double a = marks.times[at];
        const double d = t - a;
        const double spanBefore = std::max(marks.spanBefore[at] - 1.0, 0.0);
        const double rampBefore = std::trunc(marks.rampBefore[at]);
        const double spanAfter = std::max(marks.spanAfter[at] - 1.0, 0.0);
        const double rampAfter = std::trunc(marks.rampAfter[at]);
        bool ramp = false;
        bool applies = true;
        // The output step around the mark that t falls in: steps are
        // half-open [j - 0.5, j + 0.5) on both sides, so that output times
        // landing on half steps (a ratio of 0.5) never take a frame twice.
        const double j = std::floor(d / s + 0.5 + 1e-9);
        if (j >= -1.0 && j <= 1.0) {
            choice.sourceTime = a + j * h;
        } else if (j < -1.0 && j >= -(spanBefore + 1.0)) {
            choice.sourceTime = a + j * h;
            if (choice.kind == AttackMarks::kStrongAttack && -j - 1.0 > 1.0)
                choice.kind = AttackMarks::kAttack;
        } else if (j < -1.0 && h > s) {
            const double K = std::trunc((rampBefore * h + (h - s) * (spanBefore + 1.0)) / s + 0.5);
            const double k = std::trunc((a - (spanBefore + 1.5) * s - t) / s + 1.0);
            applies = k < K;
            ramp = true;
            if (applies)
                choice.sourceTime = a - (spanBefore + 1.0) * h - k * rampBefore * h / K;
        } else if (j > 1.0 && j <= spanAfter + 1.0) {
            choice.sourceTime = a + j * h;
        } else if (j > 1.0 && h > s) {
            const double K = std::trunc((rampAfter * h + (h - s) * (spanAfter + 1.0)) / s + 0.5);
            const double k = std::trunc((t - a - (spanAfter + 1.5) * s) / s + 1.0);
            applies = k < K;
            ramp = true;
            if (applies)
                choice.sourceTime = a + (spanAfter + 1.0) * h + k * rampAfter * h / K;
        } else {
            applies = false;
        }
        if (!applies)
            continue;
        choice.applied = 1;
        if (!ramp && marks.classes[at] != 0)
            choice.reset = 1;
        if (std::fabs(marks.lastMarkTime - a) > kTolerance)
            marks.lastMarkTime = a;
        return choice;
    }
    return choice;
}

int BandStretcher::ProcessFrame(AttackMarks& left, AttackMarks* right, double t, double step,
                                SMSFrame* const* leftWork, SMSFrame* const* rightWork, double hopDuration,
                                const float* bandEdges, int mono)
{
    if (!leftWork || !bandEdges || m_rangeCount < 1)
        return -2;
    const bool stereo = !mono && right && rightWork;
    const int channels = stereo ? 2 : 1;
    AttackMarks* marks[2] = {&left, stereo ? right : nullptr};
    SMSFrame* const* work[2] = {leftWork, stereo ? rightWork : nullptr};

    AttackChoice attacks[2];
    attacks[0].sourceTime = attacks[1].sourceTime = t;
    const bool handleAttacks =
        m_block.GetParameter(P::AttackMarksOn, t) != 0.0 || m_block.GetParameter(P::AttackHandling, t) != 0.0;
    if (handleAttacks && step > 0.0) {
        for (int c = 0; c < channels; ++c)
            attacks[c] = PreparePeaks(*marks[c], t, step, hopDuration);
    }
    // Both channels of a stereo pair read one source time: the one of the
    // channel that meets an attack, else the left one.
    if (stereo) {
        if (attacks[1].reset && !attacks[0].reset)
            attacks[0].sourceTime = attacks[1].sourceTime;
        else
            attacks[1].sourceTime = attacks[0].sourceTime;
    }
    for (AttackChoice& a : attacks)
        a.sourceTime = std::min(a.sourceTime, m_latestSourceTime);

    Frames frames[2];
    for (int c = 0; c < channels; ++c) {
        const AttackMarks& m = *marks[c];
        const int32_t r = rowAtOrAfter(m, attacks[c].sourceTime, hopDuration);
        if (r < 0)
            return -2;
        const auto& rows = *m.history;
        const auto& later = rows[static_cast<size_t>(r)];
        const auto& earlier = rows[static_cast<size_t>(std::max(r - 1, 0))];
        if (static_cast<int32_t>(later.size()) < m_rangeCount ||
            static_cast<int32_t>(earlier.size()) < m_rangeCount)
            return -2;
        for (int32_t b = 0; b < m_rangeCount; ++b) {
            if (!later[static_cast<size_t>(b)] || !earlier[static_cast<size_t>(b)] || !work[c][b])
                return -2;
            // The engine has most often put this very frame there already.
            const SMSFrame& source = *later[static_cast<size_t>(b)];
            SMSFrame& target = *work[c][b];
            if (!(target.Has(SMSFrame::kSpectrum) && target.Time() == source.Time() &&
                  target.Count() == source.Count()))
                source.CopyTo(target, SMSFrame::kSpectrum, true);
        }
        frames[c].earlier = earlier.data();
        frames[c].later = later.data();
        frames[c].work = work[c];
    }
    StretchBandStereoSpec(frames, channels, t, hopDuration, bandEdges, attacks);
    return 0;
}

void BandStretcher::AllocateWork(const Frames* frames, int channels)
{
    const auto ranges = static_cast<size_t>(m_rangeCount);
    stretch::resizeOrThrow(m_nominalEdges, ranges);
    for (int c = 0; c < 2; ++c) {
        Channel& ch = m_channels[static_cast<size_t>(c)];
        if (!ch.pairs) {
            ch.pairs.reset(new (std::nothrow) PeakPairTable);
            if (!ch.pairs)
                throw stretch::kAllocFailure;
        }
        stretch::resizeOrThrow(ch.earlierPeaks, ranges);
        stretch::resizeOrThrow(ch.laterPeaks, ranges);
        for (size_t r = 0; r < ranges; ++r) {
            stretch::resizeOrThrow(ch.earlierPeaks[r], static_cast<size_t>(kMaxPeaks));
            stretch::resizeOrThrow(ch.laterPeaks[r], static_cast<size_t>(kMaxPeaks));
        }
        stretch::resizeOrThrow(ch.earlierCounts, ranges);
        stretch::resizeOrThrow(ch.laterCounts, ranges);
        stretch::resizeOrThrow(ch.earlierLists, ranges);
        stretch::resizeOrThrow(ch.laterLists, ranges);
        for (size_t r = 0; r < ranges; ++r) {
            ch.earlierLists[r] = ch.earlierPeaks[r].data();
            ch.laterLists[r] = ch.laterPeaks[r].data();
        }
        stretch::resizeOrThrow(ch.cache, ranges);
        for (PeakCache& cache : ch.cache) {
            for (PeakCache::Entry& e : cache.entries)
                stretch::resizeOrThrow(e.peaks, static_cast<size_t>(kMaxPeaks));
        }
        stretch::resizeOrThrow(ch.earlierEdges, ranges);
        stretch::resizeOrThrow(ch.laterEdges, ranges);
        stretch::resizeOrThrow(ch.previousPhases, ranges);
        stretch::resizeOrThrow(ch.governing, ranges);
        if (c < channels) {
            for (size_t r = 0; r < ranges; ++r) {
                const int32_t n = frames[c].later[r]->Count();
                stretch::resizeOrThrow(ch.previousPhases[r], static_cast<size_t>(n));
            }
        }
        ch.resetRegions.reserve(static_cast<size_t>(kMaxPeaks));
    }
}

int32_t BandStretcher::RangeOf(double frequency, const std::vector<double>& edges) const
{
    for (int32_t r = 0; r + 1 < m_rangeCount; ++r) {
        if (frequency < edges[static_cast<size_t>(r)] - kTolerance)
            return r;
    }
    return m_rangeCount - 1;
}

double BandStretcher::DomainLow(const Channel& channel, int32_t range) const
{
    return range == 0 ? -1.0 : channel.laterEdges[static_cast<size_t>(range - 1)];
}

double BandStretcher::DomainHigh(const Channel& channel, int32_t range) const
{
    return channel.laterEdges[static_cast<size_t>(range)];
}

void BandStretcher::DomainBins(const Channel& channel, int32_t range, double width, int32_t bins,
                               int32_t& from, int32_t& to) const
{
    // Bins k with low <= k width < high (<= high for the top range).
    const double low = DomainLow(channel, range);
    const double high = DomainHigh(channel, range);
    from = 0;
    while (from < bins && !(from * width >= low))
        ++from;
    to = from;
    const bool top = range == m_rangeCount - 1;
    while (to < bins && (top ? to * width <= high : to * width < high))
        ++to;
}

void BandStretcher::StretchBandStereoSpec(const Frames* frames, int channels, double time, double hopDuration,
                                          const float* bandEdges, const AttackChoice* attacks)
{
    if (m_framesBuilt == 0)
        AllocateWork(frames, channels);
    for (int32_t r = 0; r < m_rangeCount; ++r)
        m_nominalEdges[static_cast<size_t>(r)] = m_block.GetParameter(P::BandUpperEdge, r);

    if (m_framesBuilt == 0) {
        for (int c = 0; c < channels; ++c)
            FirstFrame(frames[c], m_channels[static_cast<size_t>(c)], bandEdges);
        ++m_framesBuilt;
        return;
    }

    // A strong attack resets phases nearly from the bottom when the ranges
    // reach above the usual limit (in both channels of a pair).
    bool strong = false;
    for (int c = 0; c < channels; ++c)
        strong = strong || (attacks[c].reset && attacks[c].kind == AttackMarks::kStrongAttack);
    for (int c = 0; c < channels; ++c) {
        Channel& ch = m_channels[static_cast<size_t>(c)];
        FindPeaks(frames[c], ch, time, bandEdges);
        TSBandContinuePeaks(ch.earlierLists.data(), ch.earlierCounts.data(), ch.laterLists.data(),
                            ch.laterCounts.data(), ch.earlierEdges.data(), ch.laterEdges.data(),
                            m_block.GetParameter(P::MaxDeviation, time), m_rangeCount, *ch.pairs, bandEdges);
        CarryPhases(frames[c], ch, time, hopDuration, bandEdges);
        if (attacks[c].reset)
            ResetPhases(ch, time, bandEdges, strong);
        else
            ch.resetRegions.clear();
        BuildSpectrum(frames[c], ch, bandEdges);
    }
    if (channels == 2)
        LinkChannels(frames, bandEdges);
    for (int c = 0; c < channels; ++c)
        KeepPhases(frames[c], m_channels[static_cast<size_t>(c)]);
    ++m_framesBuilt;
}

void BandStretcher::FirstFrame(const Frames& frames, Channel& ch, const float* bandEdges)
{
    for (int32_t r = 0; r < m_rangeCount; ++r) {
        ch.earlierEdges[static_cast<size_t>(r)] = m_nominalEdges[static_cast<size_t>(r)];
        ch.laterEdges[static_cast<size_t>(r)] = m_nominalEdges[static_cast<size_t>(r)];
    }
    ch.pairs->count = 0;
    ch.previousInputTime = frames.later[0]->Time();
    ch.resetFrom = std::numeric_limits<double>::infinity();
    // The analysed spectrum passes, each range limited to its own domain.
    for (int32_t r = 0; r < m_rangeCount; ++r) {
        SMSFrame& out = *frames.work[r];
        const double width = binWidth(out, bandEdges[r]);
        float* magnitude = out.MagnitudeData();
        int32_t from = 0, to = 0;
        DomainBins(ch, r, width, out.Count(), from, to);
        std::fill(magnitude, magnitude + from, kSilent);
        std::fill(magnitude + to, magnitude + out.Count(), kSilent);
    }
    KeepPhases(frames, ch);
}

void BandStretcher::FindPeaks(const Frames& frames, Channel& ch, double time, const float* bandEdges)
{
    const double threshold = m_block.GetParameter(P::PeakThreshold, time);
    const auto halfWidth = static_cast<int32_t>(0.5 * m_block.GetParameter(P::PeakWidth, time));
    for (int32_t r = 0; r < m_rangeCount; ++r) {
        const size_t at = static_cast<size_t>(r);
        // A frame served before (the earlier frame is most often the last
        // later one) keeps the peaks found then.
        PeakCache& cache = ch.cache[at];
        const auto find = [&](const SMSFrame& frame, double* list, int32_t& count) {
            count = 0;
            for (const PeakCache::Entry& e : cache.entries) {
                if (e.frame == &frame && e.time == frame.Time() && e.threshold == threshold &&
                    e.halfWidth == halfWidth) {
                    std::copy(e.peaks.begin(), e.peaks.begin() + e.count, list);
                    count = e.count;
                    return;
                }
            }
            FindSpectralPeaks(frame.MagnitudeData(), frame.Count(), bandEdges[r], threshold, halfWidth, count,
                              list);
        };
        find(*frames.earlier[r], ch.earlierLists[at], ch.earlierCounts[at]);
        find(*frames.later[r], ch.laterLists[at], ch.laterCounts[at]);
        const auto keep = [&](PeakCache::Entry& e, const SMSFrame& frame, const double* list, int32_t count) {
            e.frame = &frame;
            e.time = frame.Time();
            e.threshold = threshold;
            e.halfWidth = halfWidth;
            e.count = count;
            std::copy(list, list + count, e.peaks.begin());
        };
        keep(cache.entries[0], *frames.earlier[r], ch.earlierLists[at], ch.earlierCounts[at]);
        keep(cache.entries[1], *frames.later[r], ch.laterLists[at], ch.laterCounts[at]);
        ch.earlierEdges[at] = m_nominalEdges[at];
        ch.laterEdges[at] = m_nominalEdges[at];
    }
}

void BandStretcher::CarryPhases(const Frames& frames, Channel& ch, double time, double T,
                                const float* bandEdges)
{
    PeakPairTable& p = *ch.pairs;
    const double laterTime = frames.later[0]->Time();
    const bool sameSource = std::fabs(laterTime - ch.previousInputTime) <= kTolerance;
    ch.previousInputTime = laterTime;
    const bool continuityTest = m_block.GetParameter(P::ContinuityTest, time) != 0.0;
    const ContinuityTolerances tolerances = ContinuityTolerances::At(&m_block, frames.later[0]->Time());
    const auto n = static_cast<int32_t>(p.count);
    const int32_t top = m_rangeCount - 1;
    for (int32_t i = 0; i < n; ++i) {
        const double fE = p.earlier[i];
        const double fL = p.later[i];
        const int32_t rE = RangeOf(fE, ch.earlierEdges);
        const int32_t rL = RangeOf(fL, ch.laterEdges);
        // The pair is carried in its later peak's range: each band's phases
        // refer to its own frame centre (the low band's decimation delays
        // it), so the earlier phase and the previous output are read from
        // the same band as the later phase. Only an earlier peak beyond that
        // band's spectrum is read from its own band, without a correction.
        const int32_t rP = fE <= bandEdges[rL] ? rL : rE;
        const SMSFrame& E = *frames.earlier[rP];
        const SMSFrame& L = *frames.later[rL];
        const std::vector<float>& previousE = ch.previousPhases[static_cast<size_t>(rP)];
        const std::vector<float>& previousL = ch.previousPhases[static_cast<size_t>(rL)];
        double offset = 0.0;
        const double measured = InterpolatePhase(L.PhaseData(), L.Count(), fL, bandEdges[rL], &offset);
        double output;
        if (sameSource) {
            const double previous =
                InterpolatePhase(previousL.data(), static_cast<int32_t>(previousL.size()), fL, bandEdges[rL]);
            output = previous + kTwoPi * fL * T + offset;
        } else {
            const double f = 0.5 * (fE + fL);
            const double predicted =
                InterpolatePhase(E.PhaseData(), E.Count(), fE, bandEdges[rP]) + kTwoPi * f * T;
            const double correction = rP == rL ? stretch::phaseNear(measured - predicted, 0.0) : 0.0;
            const double previous =
                InterpolatePhase(previousE.data(), static_cast<int32_t>(previousE.size()), fE, bandEdges[rP]);
            output = previous + kTwoPi * f * T + correction + offset;
        }
        output = stretch::wrapPhase(output);
        const int32_t b = stretch::nearestBin(fL, bandEdges[rL], L.Count());
        p.laterRange[i] = rL;
        p.earlierRange[i] = rE;
        p.bin[i] = b;
        p.advance[i] = stretch::phaseNear(output - L.PhaseData()[b], 0.0);
        p.reset[i] = 0;
        if (continuityTest && !IsPeakContinuous(fE, *frames.earlier[rL], fL, L, bandEdges[rL], T, tolerances))
            p.reset[i] = 1;
        // The frequencies the pair governs: halfway to its neighbours.
        p.regionLow[i] = i > 0 ? 0.5 * (p.later[i - 1] + fL)
                               : std::max(fL - kLowestReachBins * binWidth(L, bandEdges[rL]), 0.5 * fL);
        p.regionHigh[i] = i + 1 < n ? 0.5 * (fL + p.later[i + 1]) : static_cast<double>(bandEdges[top]);
    }
}

void BandStretcher::ResetPhases(Channel& ch, double time, const float* bandEdges, bool strong)
{
    PeakPairTable& p = *ch.pairs;
    double limit = m_block.GetParameter(P::PhaseResetFrequency, time);
    if (strong && bandEdges[m_rangeCount - 1] > limit)
        limit = kStrongResetFrequency;
    auto n = static_cast<int32_t>(p.count);
    for (int32_t i = 0; i < n; ++i) {
        for (const Region& region : ch.resetRegions) {
            if (p.later[i] >= region.low && p.later[i] <= region.high) {
                p.reset[i] = 1;
                break;
            }
        }
    }
    // Pairs above the limit are dropped; the first at or above it stays,
    // marked, and its region bounds the measured phases from below.
    int32_t cut = 0;
    while (cut < n && p.later[cut] < limit)
        ++cut;
    if (cut < n) {
        p.reset[cut] = 1;
        n = cut + 1;
        p.count = static_cast<uint32_t>(n);
        p.regionHigh[cut] = bandEdges[m_rangeCount - 1];
    }
    ch.resetRegions.clear();
    for (int32_t i = 0; i < n; ++i) {
        if (p.reset[i])
            ch.resetRegions.push_back({p.regionLow[i], p.regionHigh[i]});
    }
    ch.resetFrom = limit;
    if (n > 0 && p.later[n - 1] > limit)
        ch.resetFrom = std::max(limit, p.regionLow[n - 1]);
}

void BandStretcher::BuildSpectrum(const Frames& frames, Channel& ch, const float* bandEdges)
{
    const PeakPairTable& p = *ch.pairs;
    const auto n = static_cast<int32_t>(p.count);
    for (int32_t i = 0; i + 1 < n; ++i) {
        if (p.laterRange[i + 1] < p.laterRange[i]) {
            LogError(stderr, "ERROR in StretchBandStereoSpec()\n");
            break;
        }
    }
    const double top = bandEdges[m_rangeCount - 1];
    for (int32_t r = 0; r < m_rangeCount; ++r) {
        SMSFrame& out = *frames.work[r];
        const SMSFrame& source = *frames.later[r];
        const int32_t bins = std::min(out.Count(), source.Count());
        const double edge = bandEdges[r];
        const double width = binWidth(source, edge);
        const float* measured = source.PhaseData();
        const float* magnitude = source.MagnitudeData();
        float* phase = out.PhaseData();
        float* outMagnitude = out.MagnitudeData();
        // Every bin (of every range, so that the kept output phases hold
        // each partial wherever it lies next frame) takes the advance of the
        // pair nearest in frequency: below the lowest pair only from half
        // its frequency up, above the highest only half way to the top. A
        // pair taking its measured phase (phase reset) advances nothing.
        if (ch.binAdvance.size() < static_cast<size_t>(bins))
            stretch::resizeOrThrow(ch.binAdvance, static_cast<size_t>(bins));
        std::vector<float>& governingOfRange = ch.governing[static_cast<size_t>(r)];
        if (governingOfRange.size() < static_cast<size_t>(bins))
            stretch::resizeOrThrow(governingOfRange, static_cast<size_t>(bins));
        float* advance = ch.binAdvance.data();
        float* governing = governingOfRange.data();
        // A pair's bins run from where the one before it ends up to half way
        // to the next pair; of them those below the reset frequency are
        // carried (the lowest pair's only from half its frequency up, the
        // highest's only half way to the top). The bounds are found, not
        // scanned for, and each stretch of bins filled at once.
        const double resetFrom = ch.resetFrom;
        const int32_t resetBin =
            firstBinWhere(resetFrom, width, 0, bins, [resetFrom](double f) { return !(f < resetFrom); });
        const auto fill = [&](int32_t from, int32_t to, float a, float g) {
            std::fill(advance + from, advance + to, a);
            std::fill(governing + from, governing + to, g);
        };
        int32_t k = 0;
        for (int32_t i = 0; i < n && k < bins; ++i) {
            const bool last = i + 1 == n;
            int32_t end = bins;
            if (!last) {
                const double nearestUpTo = 0.5 * (p.later[i] + p.later[i + 1]);
                end = firstBinWhere(nearestUpTo, width, k, bins,
                                    [nearestUpTo](double f) { return f > nearestUpTo; });
            }
            int32_t from = k, to = end;
            if (i == 0) {
                const double lowest = 0.5 * p.later[0];
                from = firstBinWhere(lowest, width, k, end, [lowest](double f) { return !(f < lowest); });
            }
            if (last) {
                const double highest = 0.5 * (p.later[i] + top);
                to = firstBinWhere(highest, width, k, end, [highest](double f) { return f > highest; });
            }
            to = std::max(from, std::min(to, std::max(resetBin, k)));
            const float a = p.reset[i] ? 0.0f : static_cast<float>(p.advance[i]);
            const float g = p.reset[i] ? -1.0f : static_cast<float>(p.later[i]);
            fill(k, from, 0.0f, -1.0f);
            fill(from, to, a, g);
            fill(to, end, 0.0f, -1.0f);
            k = end;
        }
        fill(k, bins, 0.0f, -1.0f);
        int32_t unusual = 0;
        for (int32_t b = 0; b < bins; ++b) {
            const float v = oneTurnIn(measured[b] + advance[b]);
            unusual |= static_cast<int32_t>(!inTurn(v));
            phase[b] = v;
        }
        if (unusual) {
            for (int32_t b = 0; b < bins; ++b)
                phase[b] = wrapTurn(measured[b] + advance[b]);
        }
        int32_t from = 0, to = 0;
        DomainBins(ch, r, width, bins, from, to);
        std::fill(outMagnitude, outMagnitude + from, kSilent);
        std::copy(magnitude + from, magnitude + to, outMagnitude + from);
        std::fill(outMagnitude + to, outMagnitude + bins, kSilent);
    }
    ch.resetFrom = std::numeric_limits<double>::infinity();
}

void BandStretcher::LinkChannels(const Frames* frames, const float* bandEdges)
{
    if (!m_stereoLink || !(m_stereoLinkWeight > 1e-8))
        return;
    const float weight = m_stereoLinkWeight;
    const float twoPi = static_cast<float>(kTwoPi);
    for (int32_t r = 0; r < m_rangeCount; ++r) {
        SMSFrame& left = *frames[0].work[r];
        SMSFrame& right = *frames[1].work[r];
        const float* inLeft = frames[0].later[r]->PhaseData();
        const float* inRight = frames[1].later[r]->PhaseData();
        int32_t bins = std::min(left.Count(), right.Count());
        float* l = left.PhaseData();
        float* rp = right.PhaseData();
        const float* lm = left.MagnitudeData();
        const float* rm = right.MagnitudeData();
        // A bin is linked when the same partial governs it in both
        // channels: their pairs' frequencies agree. Where the channels hold
        // different sounds, the input's difference turns at their frequency
        // difference, and following it would shift each partial's pitch;
        // only a much weaker channel then follows the stronger one.
        const std::vector<float>& governingLeft = m_channels[0].governing[static_cast<size_t>(r)];
        const std::vector<float>& governingRight = m_channels[1].governing[static_cast<size_t>(r)];
        bins = std::min(
            {bins, static_cast<int32_t>(governingLeft.size()), static_cast<int32_t>(governingRight.size())});
        const float* gl = governingLeft.data();
        const float* gr = governingRight.data();
        const float tolerance =
            static_cast<float>(kSamePartialBins * binWidth(*frames[0].later[r], bandEdges[r]));
        const auto samePartial = [&](int32_t k) {
            return (gl[k] >= 0.0f) & (gr[k] >= 0.0f) & (std::fabs(gl[k] - gr[k]) <= tolerance);
        };
        for (int32_t at = 0; at < bins; at += kBlock) {
            const int32_t count = std::min(kBlock, bins - at);
            // Which bins move, and the left channel's share of each, once: of
            // a partial both carry the weaker channel takes the larger share,
            // a follower all of it. A block where no bin moves (silence, or
            // channels of like level holding different sounds) stays as it is.
            float share[kBlock];
            int32_t link[kBlock], same[kBlock];
            int32_t any = 0, anySame = 0;
            for (int32_t i = 0; i < count; ++i) {
                const int32_t k = at + i;
                const bool audible = (lm[k] != kSilent) & (rm[k] != kSilent);
                same[i] = static_cast<int32_t>(audible & samePartial(k));
                link[i] = static_cast<int32_t>(audible &
                                               ((same[i] != 0) | (std::fabs(lm[k] - rm[k]) >= kFollowerDb)));
                any |= link[i];
                anySame |= same[i];
                share[i] = lm[k] < rm[k] ? 1.0f : 0.0f;
            }
            if (!any)
                continue;
            // The shares of partials both carry only where there are any:
            // most blocks of a song's frame hold none.
            if (anySame) {
                for (int32_t i = 0; i < count; ++i) {
                    const int32_t k = at + i;
                    const float both = leftShare(lm[k], rm[k]);
                    share[i] = same[i] ? both : share[i];
                }
            }
            float newLeft[kBlock], newRight[kBlock];
            int32_t unusual = 0;
            for (int32_t i = 0; i < count; ++i) {
                const int32_t k = at + i;
                // The output's right-minus-left difference against the
                // input's, within pi: the channels move back by it between
                // them.
                float drift = (rp[k] - l[k]) - (inRight[k] - inLeft[k]);
                drift -= twoPi * stretch::floorBySelect(drift * (1.0f / twoPi) + 0.5f);
                const bool moves = (link[i] != 0) & (drift != 0.0f);
                const float c = drift * weight;
                const float movedLeft = oneTurnIn(l[k] + c * share[i]);
                const float movedRight = oneTurnIn(rp[k] - c * (1.0f - share[i]));
                unusual |= static_cast<int32_t>(moves & !(inTurn(movedLeft) & inTurn(movedRight)));
                newLeft[i] = moves ? movedLeft : l[k];
                newRight[i] = moves ? movedRight : rp[k];
            }
            if (unusual) {
                for (int32_t i = 0; i < count; ++i) {
                    const int32_t k = at + i;
                    if (!link[i])
                        continue;
                    float drift = (rp[k] - l[k]) - (inRight[k] - inLeft[k]);
                    drift -= twoPi * std::floor(drift * (1.0f / twoPi) + 0.5f);
                    if (drift == 0.0f)
                        continue;
                    const float c = drift * weight;
                    l[k] = wrapTurn(l[k] + c * share[i]);
                    rp[k] = wrapTurn(rp[k] - c * (1.0f - share[i]));
                }
                continue;
            }
            std::copy(newLeft, newLeft + count, l + at);
            std::copy(newRight, newRight + count, rp + at);
        }
    }
}

void BandStretcher::KeepPhases(const Frames& frames, Channel& ch)
{
    for (int32_t r = 0; r < m_rangeCount; ++r) {
        const SMSFrame& out = *frames.work[r];
        std::vector<float>& kept = ch.previousPhases[static_cast<size_t>(r)];
        const auto n = std::min(static_cast<size_t>(out.Count()), kept.size());
        std::copy(out.PhaseData(), out.PhaseData() + n, kept.begin());
    }
}

int64_t BandStretcher::StreamLengthAfter(int32_t frames) const
{
    if (!m_stream)
        return 0;
    const int64_t length = m_stream->Length();
    if (!m_writeToStream || frames < 1 || static_cast<int64_t>(m_frameCounter) + frames < 2)
        return length;
    // The last of those frames writes the hop that ends one hop before the
    // output position it leaves.
    const int64_t end = static_cast<int64_t>(m_outputPosition) + static_cast<int64_t>(frames - 1) * Hop();
    return std::max(length, end);
}

int BandStretcher::SynthesizeFrame(SMSFrame& frame, float bandEdge, int release)
{
    const int32_t hop = Hop();
    const int32_t n = FftSize();
    float* ola = m_overlapAdd.data();
    std::copy(ola + hop, ola + 2 * hop, ola);
    std::fill(ola + hop, ola + 2 * hop, 0.0f);
    float* buffer = m_frameBuffer.data();
    std::fill(m_frameBuffer.begin(), m_frameBuffer.end(), 0.0f);

    if ((m_synthesisFlags & 2) && frame.Has(SMSFrame::kSpectrum)) {
        const int32_t half = n / 2;
        const int32_t bins = std::min(frame.Count(), half + 1);
        const double top = std::trunc(static_cast<double>(bandEdge));
        const double width = static_cast<double>(m_sampleRate) / n;
        // Bins up to the band's top edge sound: [0, end).
        const double reach = (top + kTolerance) / width;
        int32_t end = reach >= 0.0 ? (reach < bins ? static_cast<int32_t>(reach) + 1 : bins) : 0;
        while (end > 0 && (end - 1) * width > top + kTolerance)
            --end;
        while (end < bins && !(end * width > top + kTolerance))
            ++end;
        const float* magnitude = frame.MagnitudeData();
        const float* phase = frame.PhaseData();
        float re = 0.0f, im = 0.0f;
        if (end > 0 && binByLibrary(magnitude[0], phase[0], re, im))
            buffer[0] = re;
        spectrumBins(magnitude, phase, 1, std::min(end, half), buffer);
        if (end > half && binByLibrary(magnitude[half], phase[half], re, im))
            buffer[1] = re;
        m_lastFrameTime = frame.Time();
        const int rc = InverseSpectrum(buffer, buffer);
        if (rc != 0)
            return rc;
    }

    const int32_t centre = CrossFade() == 0.0f ? n / 4 : n / 2;
    for (int32_t i = 0; i < hop; ++i) {
        const int32_t before = centre - hop + i;
        const int32_t after = centre + i;
        if (before >= 0 && before < n)
            ola[i] += buffer[before];
        if (after >= 0 && after < n)
            ola[hop + i] += buffer[after];
    }
    std::copy(ola, ola + hop, m_outputBlock.begin());
    if (m_frameCounter >= 1 && m_writeToStream && m_stream)
        m_stream->MixAt(m_outputBlock.data(), hop, m_outputPosition - hop);
    if (release)
        frame.Release(SMSFrame::kSpectrum, true);
    m_outputPosition += hop;
    ++m_frameCounter;
    return 0;
}
