#pragma once
// Builders of the project records the engine tests work on: a wave with its
// analysis results and a project section, each filled field by field.
//
//   records::Wave(L"a.wav").beats({0.5f, 1.0f}).onsets({0.25f}).make()
//   records::Section::of(0, 1000, 89200).points({45100}).rendered(88200)
#include "ProjectInfo.h"

#include <string>
#include <utility>
#include <vector>

namespace records {

class Wave {
public:
    explicit Wave(std::wstring path = L"wave.wav") { m_rec.path = std::move(path); }
    Wave& beats(std::vector<float> v)
    {
        m_rec.beats = std::move(v);
        return *this;
    }
    Wave& onsets(std::vector<float> v)
    {
        m_rec.onsets = std::move(v);
        return *this;
    }
    Wave& barLength(float v)
    {
        m_rec.barLength = v;
        return *this;
    }
    Wave& beatStep(uint16_t v)
    {
        m_rec.beatStep = v;
        return *this;
    }
    Wave& marks(std::vector<SegmentMark> detected, std::vector<SegmentMark> fitted)
    {
        m_rec.detectedMarks = std::move(detected);
        m_rec.fittedMarks = std::move(fitted);
        return *this;
    }
    Wave& tempo(uint32_t v)
    {
        m_rec.tempo = v;
        return *this;
    }
    const WaveInfoRecord& record() const { return m_rec; }
    // A new record on the heap, for the calls that take one over
    // (CKRMcore::addWavList, ProjectInfo::addWave).
    WaveInfoRecord* make() const { return new WaveInfoRecord(m_rec); }

private:
    WaveInfoRecord m_rec;
};

class Section {
public:
    // A used section of wave w from frame `start` to frame `end`.
    static Section of(uint8_t w, uint32_t start, uint32_t end)
    {
        Section s;
        s.m_rec.used = 1;
        s.m_rec.waveIndex = w;
        s.m_rec.startAdrs = start;
        s.m_rec.endAdrs = end;
        return s;
    }
    // The inner bar points; the bar count becomes their number + 1.
    Section& points(const std::vector<uint32_t>& barPoints)
    {
        m_rec.setPointCount(uint16_t(barPoints.size() + 1));
        m_rec.barPoints = barPoints;
        return *this;
    }
    Section& toggle(uint8_t t)
    {
        m_rec.toggle = t;
        return *this;
    }
    Section& rendered(uint32_t frames)
    {
        m_rec.renderedFrames = frames;
        return *this;
    }
    operator const SectionRecord&() const { return m_rec; }
    const SectionRecord& record() const { return m_rec; }

private:
    SectionRecord m_rec;
};

}  // namespace records
