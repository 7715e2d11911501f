#include "TaviCollector.h"

#include "ITavi.h"

#include <stdexcept>

TaviCollector::TaviCollector(float sampleRate, RkMir::IProgress* observer, int beatsPerBar,
                             int gridPointsPerBeat)
    : m_sampleRate(sampleRate),
      m_observer(observer),
      m_beatsPerBar(beatsPerBar),
      m_gridPointsPerBeat(gridPointsPerBeat)
{ }

void TaviCollector::onTimeSignature(int beatIndex, int barIndex, int beatsPerBar, int beatUnit)
{
    m_barBeatIndices.push_back(beatIndex);
    if (beatUnit == 4) {
        m_gridPointsPerBeat = 4;
        m_beatsPerBar = beatsPerBar;
    } else if (beatUnit == 8) {
        if (beatsPerBar % 3 == 0) {
            m_gridPointsPerBeat = 6;
            m_beatsPerBar = beatsPerBar / 3;
        } else {
            m_gridPointsPerBeat = 2;
            m_beatsPerBar = beatsPerBar;
        }
    } else {
        throw std::domain_error("Unsupported meter");
    }
    if (m_observer) {
        const RkMir::BarEvent event {beatIndex, barIndex, beatsPerBar, beatUnit};
        m_observer->timeSignature(&event);
    }
}

void TaviCollector::onBeatPosition(int samplePosition, int beatIndex)
{
    m_beatPositions.push_back(samplePosition);
    if (m_observer) {
        const RkMir::BeatPositionEvent event {samplePosition, beatIndex};
        m_observer->beatPosition(&event);
    }
}

void TaviCollector::onBeat(int beatIndex, int sameBeat, double confidence)
{
    if (beatIndex >= 0 && static_cast<size_t>(beatIndex) < m_beatPositions.size())
        m_beatTimes.push_back(
            static_cast<float>(m_beatPositions[static_cast<size_t>(beatIndex)] / m_sampleRate));
    if (m_observer) {
        const RkMir::BeatEvent event {beatIndex, sameBeat, confidence};
        m_observer->beatTime(&event);
    }
}

void TaviCollector::buildSixteenthGrid()
{
    m_gridTimes.clear();
    if (m_barBeatIndices.empty())
        return;
    const int64_t n = m_gridPointsPerBeat;
    const int64_t known = static_cast<int64_t>(m_beatPositions.size());
    for (int64_t b = m_barBeatIndices.front(); b < m_barBeatIndices.back() - 1; ++b) {
        // Beats the recogniser never placed give no grid points.
        if (b < 0 || b + 1 >= known)
            continue;
        const int64_t at = m_beatPositions[static_cast<size_t>(b)];
        const int64_t span = m_beatPositions[static_cast<size_t>(b + 1)] - at;
        if (span <= 0)
            continue;
        for (int64_t k = 0; k < n; ++k)
            m_gridTimes.push_back(static_cast<float>(at + k * span / n) / m_sampleRate);
    }
}

namespace {

TaviCollector& collectorOf(void* user)
{
    return *static_cast<TaviCollector*>(user);
}

void chordCallback(int beat, int root, int chordType, int bass, int reserved, double, void* user)
{
    if (RkMir::IProgress* o = collectorOf(user).observer()) {
        const RkMir::ChordEvent event {beat, root, chordType, bass, reserved};
        o->chord(&event);
    }
}

void barCallback(int beat, int bar, int beatsPerBar, int beatUnit, double, void* user)
{
    collectorOf(user).onTimeSignature(beat, bar, beatsPerBar, beatUnit);
}

void beatPositionCallback(int samplePosition, int beat, void* user)
{
    collectorOf(user).onBeatPosition(samplePosition, beat);
}

void beatCallback(int beat, int sameBeat, double confidence, void* user)
{
    collectorOf(user).onBeat(beat, sameBeat, confidence);
}

void keyCallback(int beat, int key, int mode, double, void* user)
{
    if (RkMir::IProgress* o = collectorOf(user).observer()) {
        const RkMir::KeyEvent event {beat, key, mode};
        o->key(&event);
    }
}

void endCallback(int, void* user)
{
    collectorOf(user).buildSixteenthGrid();
}

}  // namespace

void installAnalysisCallbacks(tavi::TaviCallbacks& table, TaviCollector& collector)
{
    table.chordCallback = chordCallback;
    table.barCallback = barCallback;
    table.beatPositionCallback = beatPositionCallback;
    table.beatCallback = beatCallback;
    table.keyCallback = keyCallback;
    table.endCallback = endCallback;
    table.chordUser = table.barUser = table.beatPositionUser = &collector;
    table.beatUser = table.keyUser = table.endUser = &collector;
}
