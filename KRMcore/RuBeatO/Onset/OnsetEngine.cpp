#include "OnsetEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>

namespace OnsetEngine {

namespace {

constexpr int32_t kSubdivisions[7] = {1, 3, 2, 6, 4, 12, 8};
// Grid settings per p0; only the first column (the tolerance divisor) is
// read here.
constexpr int32_t kParameterTable[7][11] = {
    {12, 150, 100, 20, 128, 6, 1, -1, 90, 2, 16},    {12, 150, 100, 10, 3, 128, 1, -1, 90, 16, 16},
    {6, 150, 100, 20, 0, 128, 1, -1, 250, 500, 150}, {7, 150, 100, 250, 0, 128, 1, -1, 90, 80, 80},
    {7, 150, 100, 80, 0, 128, 1, -1, 90, 20, 20},    {12, 150, 100, 20, 0, 128, 1, 1, 0, 80, 80},
    {12, 150, 100, 80, 128, 0, 0, 1, 0, 2, 80},
};
constexpr int32_t kLongWindow = 256;
constexpr int32_t kShortWindow = 5;
constexpr int32_t kLongDelay = 128;  // frames between a raw value and the long mean
constexpr int32_t kReadBlock = 4096;

int16_t saturate16(int64_t v)
{
    return static_cast<int16_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

int16_t selectionThreshold(int16_t p)
{
    return p == 0 ? int16_t {128} : saturate16(100 - static_cast<int64_t>(p));
}

// Reads the source block by block and hands out one mono 16-bit value per
// frame; once the source falls short, the rest is silence.
class MonoReader {
public:
    explicit MonoReader(ISeekable<float>& source) : m_source(source), m_channels(source.channels())
    {
        if (m_channels < 1)
            throw std::invalid_argument("source has no channel");
        m_buffer.resize(static_cast<size_t>(kReadBlock) * static_cast<size_t>(m_channels));
        m_source.seek(0);
    }

    int32_t next()
    {
        if (m_pos == m_have) {
            if (m_ended)
                return 0;
            m_have = std::clamp(m_source.read(m_buffer.data(), kReadBlock), 0, kReadBlock);
            m_ended = m_have < kReadBlock;
            m_pos = 0;
            if (m_have == 0)
                return 0;
        }
        const float* f = m_buffer.data() + static_cast<size_t>(m_pos++) * static_cast<size_t>(m_channels);
        const float left = f[0];
        const float right = m_channels > 1 ? f[1] : f[0];
        const double v = left * 32768.0 * 0.5 + right * 32768.0 * 0.5;
        // A value outside 16 bits (or not a number) would overflow the
        // integer stages; full scale stays full scale.
        if (!(v == v))
            return 0;
        return static_cast<int32_t>(std::clamp(v, -32768.0, 32767.0));
    }

private:
    ISeekable<float>& m_source;
    int32_t m_channels;
    std::vector<float> m_buffer;
    int32_t m_have = 0;
    int32_t m_pos = 0;
    bool m_ended = false;
};

// Turns each finished frame's raw value into the detection function: the
// smoothed first difference, scaled by a long mean taken 128 frames later.
// Frames at or beyond the frame count are computed but not kept; reads
// there give 0.
class FrameStage {
public:
    FrameStage(int32_t* detection, int32_t frameCount) : m_det(detection), m_frames(frameCount) { }

    void endFrame(int64_t frame, int32_t raw)
    {
        if (frame < m_frames)
            m_det[frame] = raw;
        const int64_t delayed = frame - kLongDelay;
        const int32_t longIn = delayed >= 0 && delayed < m_frames ? m_det[delayed] / 2 : 0;
        m_longSum += longIn - m_long[m_longPos];
        m_long[m_longPos] = longIn;
        m_longPos = (m_longPos + 1) % kLongWindow;
        const int64_t longMean = m_longSum / kLongWindow;

        const int64_t k = frame - (kLongDelay + 2);
        if (k < 0 || k >= m_frames)
            return;
        const int32_t rawK = m_det[k];
        const int64_t diff = static_cast<int64_t>(rawK) - m_previousRaw;
        m_previousRaw = rawK;
        m_shortSum += diff - m_short[m_shortPos];
        m_short[m_shortPos] = diff;
        m_shortPos = (m_shortPos + 1) % kShortWindow;
        const int64_t shortMean = m_shortSum / kShortWindow;
        const int64_t v = longMean > 128 ? shortMean * 8192 / longMean : shortMean * 64;
        m_det[k] = static_cast<int32_t>(
            std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    }

private:
    int32_t* m_det;
    int64_t m_frames;
    int64_t m_long[kLongWindow] = {};
    int32_t m_longPos = 0;
    int64_t m_longSum = 0;
    int64_t m_short[kShortWindow] = {};
    int32_t m_shortPos = 0;
    int64_t m_shortSum = 0;
    int32_t m_previousRaw = 0;
};

void releaseArrays(State& s)
{
    delete[] s.detection;
    delete[] s.peakMap;
    delete[] s.selection;
    s.detection = nullptr;
    s.peakMap = nullptr;
    s.selection = nullptr;
}

void configure(State& s, Range& range, const Params& params)
{
    const int32_t n = s.paddedLength - kLeadIn;
    range.startSample = 0;
    range.endSample = n;
    range.endSample2 = n;
    s.strongThreshold = selectionThreshold(params.p1);
    s.weakThreshold = selectionThreshold(params.p5);
    s.beatsInRange = static_cast<double>(range.beatsPerBar) * range.bars + range.beat + range.tick / 960.0;
    s.subdivision = kSubdivisions[std::clamp<int>(params.p2, 0, 6)];
    s.toleranceDivisor = kParameterTable[std::clamp<int>(params.p0, 0, 6)][0];
}

// The grid pass on the work map `m` (kRise read as -1).
class Grid {
public:
    Grid(const State& s, std::vector<int16_t>& m) : m_s(s), m_m(m), m_frames(s.frameCount) { }

    void run()
    {
        const double B = m_s.framesPerBeat;
        const int32_t T = m_s.toleranceDivisor;
        const int64_t S = m_s.subdivision;
        const int64_t last = m_s.lastFrame;
        const int64_t h = static_cast<int64_t>(B / T + 0.5);
        int64_t anchor = m_s.firstFrame;
        int64_t c = 1;
        double x = m_s.firstFrame;
        int64_t spacing = std::max<int64_t>(static_cast<int64_t>(B / S), 1);
        while (anchor < last) {
            x += B;
            const int64_t q = static_cast<int64_t>(x);
            if (q - h > m_frames)
                break;
            int64_t beat = m_frames;
            if (q + h < m_frames) {
                const int64_t end = q + 2 * h;
                const int64_t found = findFirst(q - h, end, m_s.peakThreshold);
                if (found >= 0)
                    beat = found;
                else if (end <= m_frames) {
                    ++c;  // no beat here: the next interval spans one more
                    continue;
                }
            }
            const int64_t D = beat - anchor;
            const int64_t N = S * c;
            spacing = std::max<int64_t>(D / N, 1);
            for (int64_t s = 1; s < N; ++s)
                subPosition(anchor + (D * s) / N, spacing);
            anchor = beat;
            if (anchor < m_frames) {
                if (m_m[anchor] >= 1)
                    reinforce(anchor);
                else
                    m_m[anchor] = kReinforced + 1;
            }
            c = 1;
        }
        for (int64_t p = anchor + spacing; 2 * (last - p) > spacing; p += spacing)
            subPosition(p, spacing);
    }

private:
    // First frame in [from, to), within the map, whose value is >= v.
    int64_t findFirst(int64_t from, int64_t to, int32_t v) const
    {
        to = std::min<int64_t>(to, m_frames);
        for (int64_t i = std::max<int64_t>(from, 0); i < to; ++i)
            if (m_m[i] >= v)
                return i;
        return -1;
    }

    void reinforce(int64_t i) { m_m[i] = saturate16(static_cast<int64_t>(m_m[i]) + kReinforced); }

    void subPosition(int64_t p, int64_t spacing)
    {
        const int64_t w = spacing / (m_s.toleranceDivisor - 2);
        int64_t found = findFirst(p - w, p + 2 * w, m_s.subPeakThreshold);
        if (found < 0) {
            const int64_t w2 = w / 2 + 1;
            found = findFirst(p - w2, p + 2 * w2, 1);
        }
        if (found >= 0) {
            reinforce(found);
            return;
        }
        // No peak near the expected position: mark the position itself.
        if (p - 1 >= 0 && p - 1 < m_frames)
            m_m[p - 1] = 0;
        if (p >= 0 && p < m_frames)
            m_m[p] = kReinforced + 1;
    }

    const State& m_s;
    std::vector<int16_t>& m_m;
    int64_t m_frames;
};

// Moves every positive value of `m` before the last frame to the first frame
// of the rise that leads to it, never before the previously placed value.
void select(State& s, const std::vector<int16_t>& m)
{
    const int64_t frames = s.frameCount;
    std::fill(s.selection, s.selection + frames, 0);
    int64_t placed = -1;
    if (frames > 0 && m[0] > 0) {
        s.selection[0] = static_cast<uint16_t>(m[0]);
        placed = 0;
    }
    const int64_t end = std::min<int64_t>(s.lastFrame, frames);
    for (int64_t f = 1; f < end; ++f) {
        if (m[f] <= 0)
            continue;
        int64_t j = f;
        while (j - 1 > placed && m[j - 1] == -1)
            --j;
        s.selection[j] = static_cast<uint16_t>(m[f]);
        placed = j;
    }
}

}  // namespace

void SampleStage::setRate(double sampleRate)
{
    k = std::min(static_cast<int32_t>(451584.0 / sampleRate), 1024);
    attack = std::min(static_cast<int32_t>(14450688.0 / sampleRate), 8192);
    release = std::min(static_cast<int32_t>(505774.08 / sampleRate), 8192);
}

int32_t processSample(SampleStage& st, int32_t x)
{
    // Pre-emphasis, then removal of the low frequencies.
    const int64_t y = x - ((13 * static_cast<int64_t>(st.previous)) >> 4);
    st.previous = x;
    const int64_t h = y - (st.low >> 5);
    st.low += (((y * 32 - st.lowSlow) - st.low) * st.k) >> 10;
    st.lowSlow += (st.low * st.k) >> 10;
    // Rectified envelope with separate attack and release.
    const int64_t r = h < 0 ? -h : h;
    int64_t d = 8 * r - st.envelope;
    const int32_t c = d > 0 ? st.attack : st.release;
    if (c != 8192)
        d = (d * c) >> 13;
    st.envelope += d;
    const int32_t v = static_cast<int32_t>(st.envelope >> 3);
    st.windowSum += v - st.window[st.windowPos];
    st.window[st.windowPos] = v;
    st.windowPos = (st.windowPos + 1) % 5;
    return v < 1 ? v : static_cast<int32_t>(st.windowSum / 5);
}

void init(State& state, const SourceInfo& source)
{
    if (!(source.sampleRate >= 344))
        throw std::invalid_argument("sample rate must be at least 344 Hz");
    if (source.sampleCount < 0 || source.sampleCount > std::numeric_limits<int32_t>::max() - kLeadIn)
        throw std::invalid_argument("sample count out of range");
    const double rate = source.sampleRate;
    const int32_t hop = static_cast<int32_t>(rate / 344.0);
    const int32_t frames =
        static_cast<int32_t>(std::floor(static_cast<double>(source.sampleCount) / hop + 0.5));

    if (state.paddedLength > 0)
        finish(state);
    const size_t n = static_cast<size_t>(frames);
    int32_t* detection = new (std::nothrow) int32_t[n]();
    uint16_t* peakMap = new (std::nothrow) uint16_t[n]();
    uint16_t* selection = new (std::nothrow) uint16_t[n]();
    if (!detection || !peakMap || !selection) {
        delete[] detection;
        delete[] peakMap;
        delete[] selection;
        std::fputs("ERR_MEMORY_ALLOC\n", stderr);
        throw std::bad_alloc();
    }
    state = State {};
    state.sampleRate = rate;
    state.hop = hop;
    state.frameCount = frames;
    state.paddedLength = source.sampleCount + kLeadIn;
    state.peakThreshold = kPeakThreshold;
    state.subPeakThreshold = kSubPeakThreshold;
    state.detection = detection;
    state.peakMap = peakMap;
    state.selection = selection;
}

void finish(State& state)
{
    releaseArrays(state);
    state.paddedLength = 0;
    state.detectionDone = 0;
}

void analyse(ISeekable<float>& source, State& s)
{
    MonoReader reader(source);
    SampleStage stage {};
    stage.setRate(s.sampleRate);
    FrameStage frames(s.detection, s.frameCount);
    const int64_t hop = s.hop;
    const int64_t total = s.paddedLength + kTailHops * hop;
    int64_t hopSum = 0;
    for (int64_t i = 0; i < total; ++i) {
        int32_t x = 0;
        if (i < kLeadIn)
            x = i == 1 || i == 2 ? 4000 : 0;
        else if (i < s.paddedLength)
            x = reader.next();
        hopSum += processSample(stage, x);
        if (i % hop == hop - 1) {
            frames.endFrame(i / hop, static_cast<int32_t>(hopSum / hop));
            hopSum = 0;
        }
    }
    PeakList list;
    pickPeaks(s.detection, s.frameCount, s.peakMap, list);
    s.detectionDone = 1;
}

PeakSummary pickPeaks(const int32_t* d, int32_t n, uint16_t* peakMap, PeakList& list)
{
    list.count = 0;
    if (n <= 0)
        return {-1, -1};
    std::fill(peakMap, peakMap + n, 0);
    const int64_t m = *std::max_element(d, d + n);
    if (m <= 0)
        return {-1, -1};
    const int64_t floor = m / 128;
    int32_t i = 0;
    while (i < n) {
        if (d[i] <= floor) {
            ++i;
            continue;
        }
        int32_t p = i;
        while (p + 1 < n && d[p + 1] >= 1 && d[p + 1] > d[p])
            ++p;
        int64_t v = d[p];
        int32_t j = p + 1;
        for (; j < n; ++j) {
            if (d[j] < 1 || (d[j] <= kPeakThreshold && j + 1 < n && d[j + 1] > d[j]))
                break;
            v = std::max<int64_t>(v, d[j]);
        }
        const int64_t value = v * 128 / m;
        peakMap[p] = static_cast<uint16_t>(value);
        std::fill(peakMap + i, peakMap + p, kRise);
        if (value > kPeakThreshold) {
            if (list.count < kIntervalCapacity)
                list.frames[list.count++] = p;
            else
                std::fputs("interval buffer overflow!\n", stdout);
        }
        i = j;
    }
    return {list.count > 0 ? list.frames[0] : -1, list.count - 1};
}

void setRangeFrames(State& s, const Range& range)
{
    const double hop = s.hop;
    const int32_t frames = s.frameCount;
    s.lastFrame = std::clamp(static_cast<int32_t>(std::floor(range.endSample / hop + 0.5)), 0, frames);
    int32_t first = std::clamp(static_cast<int32_t>(std::floor(range.startSample / hop + 0.5)), 0, frames);
    while (first < s.lastFrame && s.peakMap[first] == kRise)
        ++first;
    if (first == 0) {
        for (int32_t f = 0; f < std::min(10, frames); ++f) {
            if (s.peakMap[f] > 0 && s.peakMap[f] != kRise) {
                first = f;
                break;
            }
        }
    }
    s.firstFrame = first;
    s.framesPerBeat = (s.lastFrame - first) / s.beatsInRange;
}

void reinforceGrid(State& s)
{
    std::vector<int16_t> m(static_cast<size_t>(s.frameCount));
    for (size_t f = 0; f < m.size(); ++f)
        m[f] = s.peakMap[f] == kRise ? int16_t {-1} : static_cast<int16_t>(s.peakMap[f]);
    // A grid with beats closer than a frame (or none) has nothing to mark.
    if (s.framesPerBeat >= 1.0 && std::isfinite(s.framesPerBeat))
        Grid(s, m).run();
    select(s, m);
}

int32_t minimumOnsetGap(double sampleRate, int32_t hop)
{
    if (hop < 1 || !(sampleRate > 0.0))
        return 1;
    return std::max<int32_t>(1,
                             static_cast<int32_t>(std::lround(kMinimumOnsetGapSeconds * sampleRate / hop)));
}

void collectOnsets(const State& s, std::vector<int32_t>& onsets)
{
    struct Candidate {
        int64_t frame;
        int32_t value;
    };
    std::vector<Candidate> candidates;
    const int64_t end = std::min<int64_t>(s.lastFrame - 2, s.frameCount - 1);
    for (int64_t f = s.firstFrame + 1; f <= end; ++f) {
        int32_t v = s.selection[f];
        bool reinforced = false;
        if (v > kReinforced - 1) {
            v -= kReinforced;
            reinforced = true;
        }
        if (v > s.weakThreshold || (reinforced && v > s.strongThreshold))
            candidates.push_back({f, v});
    }

    // A low note (below about 60 Hz) ripples the envelope, and every ripple
    // cycle would pass as an onset: bursts a few hops apart where one note
    // was played. Of candidates closer than the minimum gap only the
    // strongest stays (the earlier one on a tie); strongest first, each
    // candidate is kept unless a kept one lies within the gap.
    const int64_t gap = minimumOnsetGap(s.sampleRate, s.hop);
    std::vector<size_t> order(candidates.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return candidates[a].value > candidates[b].value; });
    std::vector<bool> kept(candidates.size(), false);
    for (size_t i : order) {
        bool free = true;
        for (size_t j = i; free && j-- > 0 && candidates[i].frame - candidates[j].frame < gap;)
            free = !kept[j];
        for (size_t j = i + 1;
             free && j < candidates.size() && candidates[j].frame - candidates[i].frame < gap; ++j)
            free = !kept[j];
        kept[i] = free;
    }
    for (size_t i = 0; i < candidates.size(); ++i)
        if (kept[i])
            onsets.push_back(
                static_cast<int32_t>(std::max<int64_t>(candidates[i].frame * s.hop - kLeadIn, 0)));
}

void process(ISeekable<float>& source, State& state, const SourceInfo& info, std::vector<int32_t>& onsets,
             Range& range, const Params& params)
{
    if (state.paddedLength <= 0 || (state.frameCount > 0 && !state.detection))
        throw std::logic_error("onset engine is not initialised");
    if (info.sampleCount != state.paddedLength - kLeadIn)
        throw std::invalid_argument("sample count differs from the one given to init");
    configure(state, range, params);
    if (!state.detectionDone)
        analyse(source, state);
    setRangeFrames(state, range);
    reinforceGrid(state);
    collectOnsets(state, onsets);
}

}  // namespace OnsetEngine
