#pragma once
// The segmenter job: analyses one audio file into song segments and relays
// the analysis progress as a Qt signal.
#include <QObject>
#include <QString>
#include <cstdint>
#include <vector>

// One segment as the job keeps it.
struct SegmentEntry {
    uint8_t section = 15;  // 15: no section
    float start = 0.0f;    // seconds
    float end = 0.0f;      // seconds
    uint32_t label = 0;
};

// The caller's time signature for a run; only the first three bytes are read.
struct SegmenterTimeSig {
    uint8_t given = 0;  // 1: numerator and denominator are given
    uint8_t numerator = 4;
    uint8_t denominator = 4;
    uint8_t reserved[3] = {0, 0, 0};
};

class IF_segmenter : public QObject {
    Q_OBJECT
public:
    virtual ~IF_segmenter() { }
    virtual QObject* qobject() = 0;
    virtual uint32_t run(const QString& path, SegmenterTimeSig ts) = 0;
    virtual std::vector<SegmentEntry>& segments() = 0;
    virtual int setSegments(const std::vector<SegmentEntry>& entries) = 0;
    // The beat times in seconds of the latest run and the meter it ended
    // with (the detected one, else the run's argument).
    virtual void dump(std::vector<float>& out, uint32_t& numerator, uint32_t& denominator) = 0;
    virtual QString errorText() = 0;
    virtual void clearError() = 0;
    virtual bool hasError() = 0;
    // Asks a running analysis to end at its next progress report; may be
    // called from any thread.
    virtual void stop() = 0;

signals:
    void signalProgress(const unsigned char val);
    void signalStop();

public slots:
    virtual void thruProgress(const unsigned char val) = 0;
};

IF_segmenter* createSegmenter();
