#pragma once
// The segmenter job: runs the section segmenter over one WAV file, keeps
// the segments and the beat times it found, takes over the meter it
// detected and relays its progress as a Qt signal.
#include "IF_segmenter.h"
#include "IProgress.h"
#include "SegmenterEngine.h"
#include "base/ErrorState.h"

#include <atomic>
#include <cstdint>

// The observer the job hands to the analysis for one run. It lives on the
// stack of `run`, on the thread that runs the analysis. Progress is
// re-emitted as `signalProgress`; a reported meter is written into the
// job's meter words; at each progress report the abort request follows the
// job's stop flag, so a stop ends the analysis at its next report. Every
// notification also reaches the job's listener, when it has one.
class SegmenterWriter : public QObject, public RkMir::IProgress {
    Q_OBJECT
public:
    SegmenterWriter(uint32_t* numerator, uint32_t* denominator, const std::atomic<uint8_t>* stop,
                    RkMir::IProgress* listener = nullptr);

    void notify() override;
    void progress(unsigned char percent) override;
    void chord(const RkMir::ChordEvent* event) override;
    void timeSignature(const RkMir::BarEvent* event) override;
    void beatPosition(const RkMir::BeatPositionEvent* event) override;
    void beatTime(const RkMir::BeatEvent* event) override;
    void key(const RkMir::KeyEvent* event) override;
    void segment(const RkMir::SegmentRecord* record) override;

signals:
    void signalProgress(const unsigned char val);

private:
    uint32_t* m_numerator;
    uint32_t* m_denominator;
    const std::atomic<uint8_t>* m_stop;
    RkMir::IProgress* m_listener;
    uint32_t m_latest = 0;  // latest progress value received
};

class segmenter : public IF_segmenter {
    Q_OBJECT
public:
    // `makeEngine` gives the section segmenter of each run; without one
    // every run is refused with an error.
    explicit segmenter(SectionSegmenterFactory makeEngine);

    QObject* qobject() override { return this; }
    // Analyses the file; returns 0. Exceptions of the analysis (among them
    // "Aborted" after `stop`) leave unchanged. Each run starts from empty
    // segment and beat lists and the caller's meter, so a failed run
    // leaves nothing of an earlier file's analysis behind.
    uint32_t run(const QString& path, SegmenterTimeSig ts) override;
    std::vector<SegmentEntry>& segments() override { return m_segments; }
    int setSegments(const std::vector<SegmentEntry>& entries) override;
    void dump(std::vector<float>& out, uint32_t& numerator, uint32_t& denominator) override;
    QString errorText() override { return m_error.errorText(); }
    void clearError() override { m_error.clearError(); }
    bool hasError() override { return m_error.hasError(); }
    void stop() override { m_stop.store(1); }
    // Also receives every notification of the analysis during the next
    // runs (for measuring what the import sees: chords, bars, beats), on
    // the thread that runs them. Not owned; null for none; must outlive
    // the runs.
    void setListener(RkMir::IProgress* listener) { m_listener = listener; }

public slots:
    void thruProgress(const unsigned char val) override { emit signalProgress(val); }

private:
    SectionSegmenterFactory m_makeEngine;
    std::vector<SegmentEntry> m_segments;
    std::vector<float> m_beatTimes;  // the generator's index list
    // Information, beat and feature entries: nothing fills them; dump
    // reports their counts.
    std::vector<uint32_t> m_information, m_beats, m_features;
    uint32_t m_numerator = 4;
    uint32_t m_denominator = 4;
    std::atomic<uint8_t> m_stop {0};
    RkMir::IProgress* m_listener = nullptr;
    krm::ErrorState m_error;
};

// The four words of the section segmenter's meter hint for the caller's
// time signature: (x, 0, -1, 2) for x/4 with x from 2 to 4, (x/3, 0, -1, 3)
// for 6/8, 9/8 and 12/8, and (-1, 0, -1, -1), leaving the meter to the
// analysis, for no time signature or any other one.
struct MeterHint {
    int w1, w2, w3, w4;
};
MeterHint meterHintFor(const SegmenterTimeSig& ts);
