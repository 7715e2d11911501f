#pragma once
// Small project fixtures for the beat-grid and editing tests: waves whose
// beat entries sit on exact frame addresses, and an engine that can count
// its undo steps.
#include "BeatGrid.h"
#include "CKRMcore.h"
#include "KRMundo.h"
#include "../ProjectRecords.h"

#include <QtGlobal>
#include <cmath>
#include <cstdint>
#include <vector>

namespace edit_test {

// A time in seconds whose frame address is exactly `a`.
inline float secAt(uint32_t a)
{
    float t = samplesToSeconds(a);
    while (t > 0.0f && secondsToSamples(t) > a)
        t = std::nextafter(t, 0.0f);
    while (secondsToSamples(t) < a)
        t = std::nextafter(t, 1e9f);
    return t;
}

inline std::vector<float> timesAt(const std::vector<uint32_t>& adrs)
{
    std::vector<float> out;
    for (uint32_t a : adrs)
        out.push_back(secAt(a));
    return out;
}

// n entries `gap` frames apart starting at `first`.
inline std::vector<uint32_t> evenAdrs(size_t n, uint32_t first, uint32_t gap)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back(first + static_cast<uint32_t>(i) * gap);
    return out;
}

inline WaveInfoRecord* makeWave(const std::vector<uint32_t>& beatAdrs, uint16_t step = 1,
                                const std::vector<uint32_t>& onsetAdrs = {})
{
    return records::Wave().beats(timesAt(beatAdrs)).onsets(timesAt(onsetAdrs)).beatStep(step).make();
}

class TestCore : public CKRMcore {
public:
    int undoIndex() const { return undoStack ? undoStack->index() : -1; }
    int undoCount() const { return undoStack ? undoStack->count() : -1; }
    QString undoText(int i) const { return undoStack ? undoStack->text(i) : QString(); }
    uint8_t readyFlag(uint8_t i) const { return secWavReady[i]; }
    void setReady(uint8_t i) { secWavReady[i] = 1; }

    // Appends a wave and forgets the step, so that tests count from zero.
    void addWave(WaveInfoRecord* w)
    {
        if (addWavList(w) != 0)
            delete w;
        clearUndoStack();
    }
    SectionRecord& sec(uint8_t i)
    {
        SectionRecord* s = nullptr;
        getSecInfo(i, &s);
        return *s;
    }
    WaveInfoRecord& wave(uint8_t w)
    {
        WaveInfoRecord* r = nullptr;
        getWavInfo(w, &r);
        return *r;
    }
};

// A used section of wave w from frame `start` to frame `end`.
inline SectionRecord section(uint8_t w, uint32_t start, uint32_t end, uint8_t toggle = 0)
{
    return records::Section::of(w, start, end).toggle(toggle);
}

// Silences Qt's message output for the lifetime of the object (the undo
// stack logs every push) and keeps the warnings for inspection.
class QuietMessages {
public:
    QuietMessages() { m_previous = qInstallMessageHandler(&QuietMessages::handler); }
    ~QuietMessages() { qInstallMessageHandler(m_previous); }
    static QStringList& warnings()
    {
        static QStringList w;
        return w;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& msg)
    {
        if (type == QtWarningMsg)
            warnings().append(msg);
    }
    QtMessageHandler m_previous;
};

}  // namespace edit_test
