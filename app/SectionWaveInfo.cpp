#include "SectionWaveInfo.h"

#include "BeatGrid.h"
#include "CKRMcore.h"
#include "base/TempoUtil.h"

#include <cmath>

SectionWaveInfo::SectionWaveInfo(CKRMcore* core, int section) : m_core(core)
{
    clear();
    m_section = section;
    SectionRecord* record = nullptr;
    WaveInfoRecord* wave = nullptr;
    CommonInfo* common = nullptr;
    if (!core || section < 0 || section >= krm::kSectionCount ||
        core->getSecInfo(uint8_t(section), &record) != 0 || !record ||
        core->getWavInfoOfSec(uint8_t(section), &wave) != 0 || !wave ||
        core->getProjectInfo()->getCommonInfo(&common) != 0 || !common) {
        clear();
        return;
    }
    m_bars = record->barCount;
    m_tempo = double(common->tempo);
    uint8_t beatsPerBar = 4;
    uint8_t beatUnit = 4;
    if (core->getTimeSig(&beatsPerBar, &beatUnit) != 0) {
        clear();
        return;
    }
    m_beatsPerBar = beatsPerBar;
    m_beatUnit = beatUnit;
    m_startSample = record->startAdrs;
    m_endSample = record->endAdrs;
    m_startTime = samplesToSeconds(m_startSample);
    m_endTime = samplesToSeconds(m_endSample);
    m_manual = record->manualBars != 0;
}

void SectionWaveInfo::clear()
{
    m_section = -1;
    m_bars = 0;
    m_tempo = 0.0;
    m_beatsPerBar = 4;
    m_beatUnit = 4;
    m_startSample = 0;
    m_endSample = 0;
    m_startTime = 0.0;
    m_endTime = 0.0;
    m_manual = false;
}

bool SectionWaveInfo::getSection(SectionRecord*& record) const
{
    record = nullptr;
    if (!m_core || m_section < 0 || m_section >= krm::kSectionCount)
        return false;
    return m_core->getSecInfo(uint8_t(m_section), &record) == 0 && record;
}

bool SectionWaveInfo::isStretchOutOfRange() const
{
    const double sectionLength = secondsOfBars(m_tempo, m_beatsPerBar, m_beatUnit, m_bars);
    const double waveLength = std::fabs(m_endTime - m_startTime);
    return ::isStretchOutOfRange(ratioOrZero(sectionLength, waveLength) * 100.0);
}
