#pragma once
// The time-stretch job of the main window: checks one section, has the
// engine write its working audio when the engine's copy is not current, and
// lists the beat points of the result window. One job per
// object: the window moves it to a thread of its own, invokes doTimeStretch
// once (queued) and receives `done` once.
#include "ResultCode.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

class CKRMcore;

class TimeStretcher : public QObject {
    Q_OBJECT
public:
    // `core` is the window's, not owned. `outputPath` is the section's
    // working-audio file; `waveIndex` is only handed back.
    TimeStretcher(CKRMcore* core, const QString& outputPath, uint32_t sectionIndex, uint32_t waveIndex);
    ~TimeStretcher() override;

    const QString& outputPath() const { return m_outputPath; }

    uint32_t sectionIndex;
    uint32_t waveIndex;
    // Results, readable after `done` until the object is destroyed: sample
    // frames of the working file (4 bytes each), the failure text, and the
    // beat positions in frames (each bar's beats evenly over the file, then
    // the last frame).
    uint32_t frameCount = 0;
    QString errorStr;
    std::vector<uint32_t> beatPoints;

    // Beat points of `frames` frames holding `beats` evenly spaced beats:
    // trunc(frames * i / beats) for each beat, then frames - 1 unless the
    // list is empty or already ends there.
    static std::vector<uint32_t> evenBeatPoints(uint32_t frames, uint32_t beats);

    // The job's failure codes, in the order of its checks.
    static constexpr uint32_t kNoSection = krm::fail(1);          // index outside 0 to 14
    static constexpr uint32_t kNoSectionRecord = krm::fail(2);    // the engine has no record
    static constexpr uint32_t kSectionNotTrimmed = krm::fail(3);  // the section is not in use
    static constexpr uint32_t kRangeTooShort = krm::fail(4);
    static constexpr uint32_t kStretchOutOfRange = krm::fail(5);
    static constexpr uint32_t kWorkingAudioFailed = krm::fail(6);   // the engine's writeTempWave failed
    static constexpr uint32_t kWorkingAudioSkipped = krm::fail(7);  // ... or skipped the section
    static constexpr uint32_t kUnreadableResult = krm::fail(8);
    static constexpr uint32_t kNoTimeSignature = krm::fail(9);

signals:
    // Success (0, empty text) and failure (one of the codes above and the
    // translated text) alike.
    void done(unsigned long lErr, QString errorStr);

public slots:
    void doTimeStretch();

private:
    uint32_t stretchJob();
    uint32_t failWith(uint32_t code, const QString& text);

    CKRMcore* m_core;
    QString m_outputPath;
};
