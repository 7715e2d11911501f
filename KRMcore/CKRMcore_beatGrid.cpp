// Beat grid of the project engine: beat indices and addresses of a wave's
// beat list, bar lines of a section, bar length, tempo range and the
// buffers of a rendered section.
#include "CKRMcore.h"

#include "BeatGrid.h"
#include "base/ResultCode.h"

#include <cmath>
#include <limits>

using krm::fail;
using krm::kOk;
using krm::nest;
using krm::nestOnFail;

uint32_t CKRMcore::waveAt(uint8_t w, WaveInfoRecord*& wave, uint32_t step)
{
    wave = nullptr;
    const uint32_t r = projectInfo.getWave(w, &wave);
    if (r != kOk)
        return nest(r, step);
    return wave ? kOk : fail(step);
}

uint32_t CKRMcore::sectionAt(uint8_t i, SectionRecord*& sec, uint32_t step)
{
    sec = nullptr;
    const uint32_t r = projectInfo.getSection(i, &sec);
    if (r != kOk)
        return nest(r, step);
    return sec ? kOk : fail(step);
}

uint32_t CKRMcore::sectionAndWaveAt(uint8_t i, SectionRecord*& sec, WaveInfoRecord*& wave, uint32_t step)
{
    sec = nullptr;
    wave = nullptr;
    const uint32_t r = projectInfo.getSecAndWave(i, &sec, &wave);
    if (r != kOk)
        return nest(r, step);
    return sec && wave ? kOk : fail(step);
}

uint32_t CKRMcore::pickupEntry(const SectionRecord& sec, const WaveInfoRecord& wave, uint8_t halfBeats,
                               int64_t& entry)
{
    entry = 0;
    uint32_t b = 0;
    const uint32_t r = beatIndexAtAddress(sec.waveIndex, sec.toggle, sec.startAdrs, b);
    if (r != kOk)
        return r;
    entry = BeatGridLayout(wave.beats.size(), wave.beatStep, sec.toggle).pickupEntry(b, halfBeats);
    return kOk;
}

namespace {

uint32_t entryAddress(const WaveInfoRecord& wave, uint64_t entry)
{
    return secondsToSamples(wave.beats[static_cast<size_t>(entry)]);
}

int32_t clampToI32(int64_t v)
{
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

}  // namespace

uint32_t CKRMcore::beatIndexAtAddress(uint8_t w, uint8_t toggle, uint32_t address, uint32_t& beatIndex)
{
    beatIndex = 0xFFFFFFFFu;
    WaveInfoRecord* wave = nullptr;
    const uint32_t r = waveAt(w, wave, 1);
    if (r != kOk)
        return r;
    const BeatGridLayout g(wave->beats.size(), wave->beatStep, toggle);

    uint32_t prev = 0;
    for (uint64_t j = g.first, m = 0; g.holds(j); j += g.stride, ++m) {
        const uint32_t v = entryAddress(*wave, j);
        if (v == address) {
            beatIndex = static_cast<uint32_t>(m);
            return kOk;
        }
        if (v > address) {
            if (m == 0) {
                beatIndex = 0;
            } else {
                // Nearer beat wins; on a tie the later one.
                const int64_t back = static_cast<int64_t>(address) - prev;
                const int64_t ahead = static_cast<int64_t>(v) - address;
                beatIndex = static_cast<uint32_t>(back < ahead ? m - 1 : m);
            }
            return kOk;
        }
        prev = v;
    }
    const uint64_t count = g.beatCount();
    if (count == 0)
        return fail(2);
    const uint64_t last = count - 1;
    const uint64_t e = g.entryOf(last);
    const uint32_t v = g.holds(e) ? entryAddress(*wave, e) : 0;
    if (address < v)
        return fail(3);
    beatIndex = static_cast<uint32_t>(last);
    return kOk;
}

uint32_t CKRMcore::getBeatAdrs(uint8_t w, uint8_t toggle, uint32_t beatIndex, uint32_t& address)
{
    address = 0;
    WaveInfoRecord* wave = nullptr;
    const uint32_t r = waveAt(w, wave, 1);
    if (r != kOk)
        return r;
    const BeatGridLayout g(wave->beats.size(), wave->beatStep, toggle);
    const uint64_t count = g.beatCount();
    uint64_t j = g.entryOf(beatIndex);
    if (count == 0 || beatIndex != count - 1) {
        if (!g.holds(j))
            return fail(3);
    } else if (!g.holds(j)) {
        j -= g.stride;  // the last beat falls back onto the one before it
        if (!g.holds(j))
            return fail(2);
    }
    address = entryAddress(*wave, j);
    return kOk;
}

uint32_t CKRMcore::snapToBeat(uint8_t w, uint8_t toggle, uint32_t address, uint32_t& snapped)
{
    snapped = 0;
    uint32_t k = 0;
    uint32_t r = beatIndexAtAddress(w, toggle, address, k);
    if (r != kOk)
        return nest(r, 1);
    if (const uint32_t nested = nestOnFail(getBeatAdrs(w, toggle, k, snapped), 2))
        return nested;
    return kOk;
}

uint32_t CKRMcore::snapSegMarksToBeats(std::vector<SegmentMark>& marks, uint8_t w, uint8_t toggle)
{
    // The first mark that cannot be placed stops the walk; the marks
    // before it stay moved.
    for (SegmentMark& mark : marks) {
        uint32_t k = 0;
        uint32_t r = beatIndexAtAddress(w, toggle, secondsToSamples(mark.time), k);
        if (r != kOk)
            return nest(r, 2);
        uint32_t snapped = 0;
        if (const uint32_t nested = nestOnFail(getBeatAdrs(w, toggle, k, snapped), 3))
            return nested;
        mark.time = samplesToSeconds(snapped);
    }
    return kOk;
}

struct CKRMcore::BarGridOfSection {
    WaveInfoRecord* wave = nullptr;
    BeatGridLayout grid {0, 1, 0};  // the section's own toggle grid
    int64_t beatsPerBar = 4;
    int64_t firstBeat = 0;  // beat index of the section's start: the first bar line
    uint32_t target = 0;    // address of the beat asked about

    bool holds(int64_t beat) const { return grid.holds(grid.entryOf(static_cast<uint64_t>(beat))); }
    uint32_t address(int64_t beat) const
    {
        return entryAddress(*wave, grid.entryOf(static_cast<uint64_t>(beat)));
    }
};

uint32_t CKRMcore::barGridOfSection(uint8_t i, uint32_t k, BarGridOfSection& out)
{
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    uint32_t r = sectionAndWaveAt(i, sec, wave, 1);
    if (r != kOk)
        return r;
    uint8_t bpb = 4, unit = 4;
    if (const uint32_t nested = nestOnFail(projectInfo.getTimeSig(&bpb, &unit), 2))
        return nested;
    if (bpb == 0)
        return fail(2);  // a bar of no beats would never advance
    uint32_t b0 = 0;
    if (const uint32_t nested =
            nestOnFail(beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->startAdrs, b0), 3))
        return nested;
    uint32_t a = 0;
    if (const uint32_t nested = nestOnFail(getBeatAdrs(sec->waveIndex, sec->toggle, k, a), 4))
        return nested;
    out.wave = wave;
    out.grid = BeatGridLayout(wave->beats.size(), wave->beatStep, sec->toggle);
    out.beatsPerBar = bpb;
    out.firstBeat = b0;
    out.target = a;
    return kOk;
}

uint32_t CKRMcore::prevBarBeat(uint8_t i, uint32_t k, uint32_t& barBeat)
{
    barBeat = k;
    BarGridOfSection bg;
    const uint32_t r = barGridOfSection(i, k, bg);
    if (r != kOk)
        return r;
    const int64_t bpb = bg.beatsPerBar;
    int64_t p = 0;
    for (int64_t c = bg.firstBeat;; c += bpb) {
        if (!bg.holds(c)) {
            p = c - bpb;
            if (p < 0)
                return fail(5);
            break;
        }
        if (bg.address(c) >= bg.target) {
            if (c < bpb)
                return kOk;  // no bar line before the first one
            p = c - bpb;
            break;
        }
    }
    if (!bg.holds(p))
        return fail(6);
    if (bg.address(p) >= bg.target)
        return fail(7);
    barBeat = static_cast<uint32_t>(p);
    return kOk;
}

uint32_t CKRMcore::nextBarBeat(uint8_t i, uint32_t k, uint32_t& barBeat)
{
    barBeat = k;
    BarGridOfSection bg;
    const uint32_t r = barGridOfSection(i, k, bg);
    if (r != kOk)
        return r;
    for (int64_t c = bg.firstBeat; bg.holds(c); c += bg.beatsPerBar) {
        if (bg.address(c) > bg.target) {
            barBeat = static_cast<uint32_t>(c);
            return kOk;
        }
    }
    return bg.grid.holds(bg.grid.first) ? kOk : fail(5);
}

uint32_t CKRMcore::nearestBeatOffset(uint8_t w, uint8_t toggle, uint32_t k, uint32_t address,
                                     uint8_t& halfBeatsBack, int32_t& distance)
{
    halfBeatsBack = 0;
    distance = 0;
    WaveInfoRecord* wave = nullptr;
    const uint32_t r = waveAt(w, wave, 1);
    if (r != kOk)
        return r;
    const BeatGridLayout g(wave->beats.size(), wave->beatStep, toggle);
    // Walk back from beat k's entry one half beat at a time.
    const uint64_t e0 = g.stride * k;  // entries above the grid's first one
    if (!g.holds(g.first + e0))
        return fail(2);
    const int64_t target = address;
    if (k == 0) {
        distance = clampToI32(static_cast<int64_t>(entryAddress(*wave, g.first)) - target);
        return kOk;
    }
    const int64_t s = static_cast<int64_t>(g.step);
    bool haveHi = false;
    int64_t hi = 0;
    for (int64_t e = static_cast<int64_t>(e0); e >= 0; e -= s) {
        const int64_t v = entryAddress(*wave, g.first + static_cast<uint64_t>(e));
        const int64_t halves = (static_cast<int64_t>(e0) - e) / s;
        if (v == target) {
            halfBeatsBack = static_cast<uint8_t>(halves);
            return kOk;
        }
        if (v > target) {
            haveHi = true;
            hi = v;
            continue;
        }
        if (!haveHi) {
            // Beat k itself lies before the address, outside the callers'
            // use: one half beat forward (-1 as a byte), no distance.
            halfBeatsBack = static_cast<uint8_t>(-1);
            return kOk;
        }
        // First entry below the target: it or the one above it, the
        // nearer one, on a tie the one below.
        if (target - v <= hi - target) {
            halfBeatsBack = static_cast<uint8_t>(halves);
            distance = clampToI32(v - target);
        } else {
            halfBeatsBack = static_cast<uint8_t>(halves - 1);
            distance = clampToI32(hi - target);
        }
        return kOk;
    }
    // Every entry down to the grid's first lies above the target.
    halfBeatsBack = static_cast<uint8_t>(e0 / g.step);
    distance = clampToI32(hi - target);
    return kOk;
}

uint32_t CKRMcore::estimateBarLen(uint8_t w)
{
    WaveInfoRecord* wave = nullptr;
    uint32_t r = waveAt(w, wave, 1);
    if (r != kOk)
        return r;
    const BeatGridLayout g(wave->beats.size(), wave->beatStep, 0);
    std::vector<float> d;
    for (uint64_t j = g.stride; g.holds(j); j += g.stride)
        d.push_back(wave->beats[j] - wave->beats[j - g.stride]);
    if (d.empty())
        return fail(2);
    double sum = 0.0;
    for (float x : d)
        sum += x;
    const double mean = sum / static_cast<double>(d.size());
    double var = 0.0;
    for (float x : d)
        var += (x - mean) * (x - mean);
    const double sigma = std::sqrt(var / static_cast<double>(d.size()));
    double inSum = 0.0;
    size_t inCount = 0;
    for (float x : d) {
        if (mean - sigma < x && x < mean + sigma) {
            inSum += x;
            ++inCount;
        }
    }
    const float refined = static_cast<float>(inCount ? inSum / static_cast<double>(inCount) : mean);
    uint8_t bpb = 4, unit = 4;
    if (const uint32_t nested = nestOnFail(projectInfo.getTimeSig(&bpb, &unit), 3))
        return nested;
    if (const uint32_t nested = nestOnFail(projectInfo.setBarLength(w, static_cast<float>(bpb) * refined), 4))
        return nested;
    return kOk;
}

uint32_t CKRMcore::checkBeatRange(uint16_t beatStep, const std::vector<float>& beats, uint8_t& verdict)
{
    verdict = 0;
    uint8_t bpb = 4, unit = 4;
    const uint32_t r = projectInfo.getTimeSig(&bpb, &unit);
    if (r != kOk)
        return nest(r, 1);
    if (unit == 0)
        return fail(1);
    // The samples per beat divide by the list length: an empty list has no
    // tempo to check.
    if (beats.empty())
        return fail(2);
    const int64_t perEntry =
        static_cast<int64_t>(secondsToSamples(beats.back())) / static_cast<int64_t>(beats.size());
    const int64_t v = perEntry * beatStep * 2;
    if (v < 21168 / unit)
        verdict = 1;
    else if (v > 2116800 / unit)
        verdict = 2;
    return kOk;
}

uint32_t CKRMcore::updateBeat(uint8_t w, const std::vector<float>& beats)
{
    try {
        return projectInfo.setBeats(w, beats);
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(1);
    }
}

uint32_t CKRMcore::updateOnset(uint8_t w, const std::vector<float>& onsets)
{
    try {
        return projectInfo.setOnsets(w, onsets);
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(1);
    }
}

namespace {

void appendSilence(std::vector<uint8_t>& buffer, uint64_t frames)
{
    buffer.insert(buffer.end(), static_cast<size_t>(frames) * krm::audio::kBytesPerFrame, uint8_t(0));
}

bool fitsU32(int64_t v)
{
    return v >= 0 && v <= static_cast<int64_t>(std::numeric_limits<uint32_t>::max());
}

}  // namespace

uint32_t CKRMcore::padLastBeat(uint32_t k, uint32_t x, std::vector<uint32_t>& a, std::vector<uint8_t>& buffer)
{
    try {
        if (k >= a.size())
            return fail(3);
        int64_t pad = 0;
        if (k > 1) {
            const int64_t d1 = static_cast<int64_t>(a[k - 1]) - a[k - 2];
            const int64_t d2 = static_cast<int64_t>(a[k]) - a[k - 1];
            if (d1 == 0)
                return fail(1);
            pad = d1 > d2 ? d1 - d2 : 0;
        } else if (k == 1) {
            pad = static_cast<int64_t>(a[0]) - a[1] + x;
            if (pad < 0)
                pad = 0;  // the beat already lies past the wanted length
        }
        const int64_t moved = static_cast<int64_t>(a[k]) + pad;
        if (!fitsU32(moved))
            return fail(3);
        appendSilence(buffer, static_cast<uint64_t>(pad));
        a[k] = static_cast<uint32_t>(moved);
        return kOk;
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(2);
    }
}

uint32_t CKRMcore::rebaseBeatAdrs(uint32_t k, uint32_t count, bool insert, uint32_t x, uint32_t y,
                                  std::vector<uint32_t>& a, std::vector<uint8_t>& buffer)
{
    try {
        // Every index the rebase touches must lie inside the list.
        if (k >= a.size())
            return fail(2);
        std::vector<uint32_t> out(a);
        if (insert) {
            const int64_t appended = static_cast<int64_t>(k) * x;
            if (!fitsU32(appended))
                return fail(2);
            out.push_back(static_cast<uint32_t>(appended));
            for (uint64_t i = static_cast<uint64_t>(k) + 1; i >= 1; --i) {
                const int64_t v = static_cast<int64_t>(out[i - 1]) - out[0] + y;
                if (!fitsU32(v))
                    return fail(2);
                out[i] = static_cast<uint32_t>(v);
            }
        } else {
            for (uint64_t i = k; i >= 1; --i) {
                const int64_t v = static_cast<int64_t>(out[i]) + count - out[0];
                if (!fitsU32(v))
                    return fail(2);
                out[i] = static_cast<uint32_t>(v);
            }
        }
        if (!out.empty())
            out[0] = 0;
        appendSilence(buffer, count);
        a.swap(out);
        return kOk;
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(1);
    }
}
