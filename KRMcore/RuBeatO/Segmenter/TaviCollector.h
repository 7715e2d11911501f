#pragma once
// Collects what the chord recogniser reports during the segmenter's chord
// and beat pass: beat positions and times, the beat index of every bar and,
// at the end, a grid of equally spaced points inside each beat (one per
// sixteenth note in simple meters). Forwards every report to the observer.
#include "IProgress.h"

#include <cstdint>
#include <vector>

namespace tavi {
struct TaviCallbacks;
}

class TaviCollector {
public:
    // sampleRate: the source's rate, for turning positions into seconds;
    // observer: may be null (then nothing is forwarded), not owned.
    TaviCollector(float sampleRate, RkMir::IProgress* observer, int beatsPerBar = 4,
                  int gridPointsPerBeat = 4);

    // One bar event (on the first beat of every bar). Beat unit 4: one grid
    // point per sixteenth; beat unit 8: compound meters (numerator divisible
    // by 3) group three eighths per beat with 6 points, others take 2 points
    // per eighth. Any other beat unit throws std::domain_error
    // "Unsupported meter".
    void onTimeSignature(int beatIndex, int barIndex, int beatsPerBar, int beatUnit);
    // Appends the sample position of the next beat.
    void onBeatPosition(int samplePosition, int beatIndex);
    // Appends the time of a beat whose position is known.
    void onBeat(int beatIndex, int sameBeat, double confidence);
    // Builds the grid from the first bar event's beat up to one beat before
    // the last bar event; empty without bar events.
    void buildSixteenthGrid();

    const std::vector<float>& getGridTimes() const { return m_gridTimes; }
    const std::vector<int>& getEventPositions() const { return m_barBeatIndices; }
    const std::vector<float>& beatTimes() const { return m_beatTimes; }
    const std::vector<int>& beatPositions() const { return m_beatPositions; }
    int beatsPerBar() const { return m_beatsPerBar; }
    int gridPointsPerBeat() const { return m_gridPointsPerBeat; }
    RkMir::IProgress* observer() const { return m_observer; }

private:
    std::vector<int> m_beatPositions;
    std::vector<int> m_barBeatIndices;
    std::vector<float> m_gridTimes;
    std::vector<float> m_beatTimes;
    float m_sampleRate;
    RkMir::IProgress* m_observer;
    int m_beatsPerBar;
    int m_gridPointsPerBeat;
};

// Points entries 0 to 5 of the recogniser's table at the collector (entry
// 6, the beat features, stays unset).
void installAnalysisCallbacks(tavi::TaviCallbacks& table, TaviCollector& collector);
