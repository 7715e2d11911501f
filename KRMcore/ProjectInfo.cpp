#include "ProjectInfo.h"

#include "base/ResultCode.h"

#include <algorithm>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;

bool CommonInfo::operator==(const CommonInfo& o) const
{
    return volume == o.volume && pan == o.pan && reverb == o.reverb && tempo == o.tempo &&
           beatsPerBar == o.beatsPerBar && beatUnit == o.beatUnit && normalizeBlend == o.normalizeBlend &&
           normalizeOn == o.normalizeOn;
}

// ---------------------------------------------------------------- SectionRecord

SectionRecord::SectionRecord(const SectionRecord& o)
{
    *this = o;
}

SectionRecord& SectionRecord::operator=(const SectionRecord& o)
{
    if (this == &o)
        return *this;
    used = o.used;
    waveIndex = o.waveIndex;
    startAdrs = o.startAdrs;
    startOffset = o.startOffset;
    endAdrs = o.endAdrs;
    endOffset = o.endOffset;
    tempoFromBeats = o.tempoFromBeats;
    manualBars = o.manualBars;
    fadeOn = o.fadeOn;
    pickupOn = o.pickupOn;
    pickupHalfBeats = o.pickupHalfBeats;
    pickupOffset = o.pickupOffset;
    toggle = o.toggle;
    renderedFrames = o.renderedFrames;
    setPointCount(o.barCount);
    // Copy only the entries the source actually holds, so a source whose
    // arrays are short never makes this record read past them.
    std::copy_n(o.barPoints.begin(), std::min(barPoints.size(), o.barPoints.size()), barPoints.begin());
    std::copy_n(o.barPointOffsets.begin(), std::min(barPointOffsets.size(), o.barPointOffsets.size()),
                barPointOffsets.begin());
    return *this;
}

void SectionRecord::clear()
{
    *this = SectionRecord();
}

void SectionRecord::setPointCount(uint16_t n)
{
    barCount = n;
    const size_t points = n > 1 ? size_t(n) - 1 : 0;
    // Fresh arrays: the leading old values survive, the rest is zero.
    std::vector<uint32_t> newPoints(points, 0u);
    std::vector<int32_t> newOffsets(points, 0);
    std::copy_n(barPoints.begin(), std::min(points, barPoints.size()), newPoints.begin());
    std::copy_n(barPointOffsets.begin(), std::min(points, barPointOffsets.size()), newOffsets.begin());
    barPoints.swap(newPoints);
    barPointOffsets.swap(newOffsets);
}

bool SectionRecord::equals(const SectionRecord& o) const
{
    if (used != o.used || waveIndex != o.waveIndex || startAdrs != o.startAdrs ||
        startOffset != o.startOffset || endAdrs != o.endAdrs || endOffset != o.endOffset ||
        barCount != o.barCount || tempoFromBeats != o.tempoFromBeats || manualBars != o.manualBars ||
        fadeOn != o.fadeOn || pickupOn != o.pickupOn || pickupHalfBeats != o.pickupHalfBeats ||
        pickupOffset != o.pickupOffset || toggle != o.toggle)
        return false;
    if (barCount < 2)
        return true;
    return barPoints == o.barPoints && barPointOffsets == o.barPointOffsets;
}

// ---------------------------------------------------------------- ProjectInfo

ProjectInfo::ProjectInfo() = default;
ProjectInfo::~ProjectInfo() = default;

uint32_t ProjectInfo::getCommonInfo(CommonInfo** out)
{
    if (out)
        *out = &common;
    return kOk;
}

uint32_t ProjectInfo::setCommonInfo(const CommonInfo& info)
{
    common = info;
    return kOk;
}

uint32_t ProjectInfo::resetCommonInfo()
{
    common = CommonInfo();
    return kOk;
}

uint32_t ProjectInfo::getTimeSig(uint8_t* beatsPerBar, uint8_t* beatUnit) const
{
    if (beatsPerBar)
        *beatsPerBar = common.beatsPerBar;
    if (beatUnit)
        *beatUnit = common.beatUnit;
    return kOk;
}

uint32_t ProjectInfo::setTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit)
{
    if (beatsPerBar < 1 || beatsPerBar > 12)
        return fail(1);
    common.beatsPerBar = beatsPerBar;
    if (beatUnit != 2 && beatUnit != 4 && beatUnit != 8)
        return fail(2);
    common.beatUnit = beatUnit;
    return kOk;
}

uint32_t ProjectInfo::getSection(uint8_t i, SectionRecord** out)
{
    if (i >= kSectionCount || !out)
        return fail(1);
    *out = &sections[i];
    return kOk;
}

uint32_t ProjectInfo::setSectionInfo(uint8_t i, const SectionRecord& rec)
{
    if (i >= kSectionCount)
        return fail(1);
    sections[i] = rec;
    return kOk;
}

uint32_t ProjectInfo::clearSections()
{
    for (SectionRecord& s : sections)
        s.clear();
    return kOk;
}

uint32_t ProjectInfo::getWave(uint8_t w, WaveInfoRecord** out)
{
    if (out)
        *out = nullptr;
    if (w >= waves.size() || !out)
        return fail(1);
    *out = waves[w].get();
    return kOk;
}

uint32_t ProjectInfo::getSecAndWave(uint8_t i, SectionRecord** sec, WaveInfoRecord** wave)
{
    if (i >= kSectionCount || !wave)
        return fail(1);
    if (sec)
        *sec = &sections[i];
    *wave = nullptr;
    const uint8_t w = sections[i].waveIndex;
    if (w >= waves.size())
        return 0x80000012u;
    *wave = waves[w].get();
    return kOk;
}

uint32_t ProjectInfo::getWaveOfSection(uint8_t i, WaveInfoRecord** wave)
{
    return getSecAndWave(i, nullptr, wave);
}

uint32_t ProjectInfo::addWave(WaveInfoRecord* rec)
{
    // A null entry would later be handed out as a wave that "exists".
    if (!rec)
        return fail(1);
    waves.emplace_back(rec);
    return kOk;
}

uint32_t ProjectInfo::detachWave(uint8_t w)
{
    if (w >= waves.size())
        return fail(1);
    waves[w].release();
    waves.erase(waves.begin() + w);
    return kOk;
}

uint32_t ProjectInfo::removeWave(uint8_t w)
{
    if (w >= waves.size())
        return fail(1);
    waves.erase(waves.begin() + w);
    return kOk;
}

uint32_t ProjectInfo::clearWaves()
{
    waves.clear();
    return kOk;
}

uint32_t ProjectInfo::isWaveUsed(uint8_t w, uint8_t* flag) const
{
    uint8_t found = 0;
    for (const SectionRecord& s : sections) {
        if (s.used == 1 && s.waveIndex == w) {
            found = 1;
            break;
        }
    }
    if (flag)
        *flag = found;
    return kOk;
}

uint32_t ProjectInfo::setWave(uint8_t w, const WaveInfoRecord& rec)
{
    if (w >= waves.size())
        return fail(1);
    *waves[w] = rec;
    return kOk;
}

uint32_t ProjectInfo::setWavePath(uint8_t w, const std::wstring& path)
{
    if (w >= waves.size())
        return fail(1);
    if (&waves[w]->path != &path)
        waves[w]->path = path;
    return kOk;
}

uint32_t ProjectInfo::setBeats(uint8_t w, const std::vector<float>& beats)
{
    if (w >= waves.size())
        return fail(1);
    if (&waves[w]->beats != &beats)
        waves[w]->beats.assign(beats.begin(), beats.end());
    return kOk;
}

uint32_t ProjectInfo::setOnsets(uint8_t w, const std::vector<float>& onsets)
{
    if (w >= waves.size())
        return fail(1);
    if (&waves[w]->onsets != &onsets)
        waves[w]->onsets.assign(onsets.begin(), onsets.end());
    return kOk;
}

uint32_t ProjectInfo::setBarLength(uint8_t w, float barLength)
{
    if (w >= waves.size())
        return fail(1);
    waves[w]->barLength = barLength;
    return kOk;
}

uint32_t ProjectInfo::setWaveTempo(uint8_t w, uint32_t tempo)
{
    if (w >= waves.size())
        return fail(1);
    waves[w]->tempo = tempo;
    return kOk;
}

uint32_t ProjectInfo::assign(const ProjectInfo& src)
{
    // Assigning a project to itself must not delete the waves it is about
    // to copy.
    if (&src == this)
        return kOk;
    waves.clear();
    waves.reserve(src.waves.size());
    for (const auto& w : src.waves)
        waves.push_back(std::make_unique<WaveInfoRecord>(*w));
    for (uint8_t i = 0; i < kSectionCount; ++i)
        sections[i] = src.sections[i];
    common = src.common;
    return kOk;
}

void ProjectInfo::swap(ProjectInfo& other) noexcept
{
    waves.swap(other.waves);
    for (uint8_t i = 0; i < kSectionCount; ++i)
        std::swap(sections[i], other.sections[i]);
    std::swap(common, other.common);
}
