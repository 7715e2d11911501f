#pragma once
// The import of one audio file into an engine, in one place: format check,
// new wave, working copy, section segmenter (or the beat tracker, or one
// bar, when it fails), meter, onsets, beats moved onto onsets, bar length
// and sections, the last onset as a beat, beat division, forced meter,
// first section assignment and the wave-info file (".awi"). The analysis
// worker of the window runs it on its thread; the tests and the analysis
// benchmark run the very same steps on theirs, no Qt thread needed.
//
// Failures end the file with the worker's result code (0x80000000 plus the
// step: 1 no audio-file manager, 2 format, 3 wave or working copy,
// 4 segmenter fallback or meter, 5 onsets, 7 beat steps, 8 first sections,
// 9 section refresh or wave-info file; an inner code is nested as
// (inner << 4) | code) and leave the first message of the chain as the
// engine's error text. The wave-info file is written only for a completed
// analysis of a file that is still there, unchanged, when the analysis
// ends: a failed or stopped import leaves an existing file as it was and
// writes no new one. It goes beside the audio, or, where it cannot be
// written there, to the cache place (WaveInfoStore.h).
#include "IF_segmenter.h"
#include "WaveInfoStore.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class CKRMcore;
class IF_audioFileMngr;

// How the segmenter is run and which meter the project gets afterwards.
// The window always uses the defaults.
struct AnalysisOptions {
    // 1: the segmenter uses the meter below; else it detects one.
    uint8_t fixSegmenterMeter = 0;
    // Given to the segmenter; also the meter reported when none is found.
    uint8_t segmenterBeatsPerBar = 4;
    uint8_t segmenterBeatUnit = 4;
    // 1: after the beat steps the project gets the meter below, and the
    // one-bar fallback uses it; else neither.
    uint8_t forceMeter = 1;
    uint8_t forcedBeatsPerBar = 4;
    uint8_t forcedBeatUnit = 4;
};

// What an import reports while it runs, and how it is stopped. Called on
// the thread that runs the import.
class ImportListener {
public:
    virtual ~ImportListener() = default;
    // Percent of the file at a step boundary: 0, 5, 10, 80, 85, 90, 93,
    // 95, 98, 100.
    virtual void progress(uint8_t percent) { (void)percent; }
    // From now until the next call, the segmenter's own 0..100 stands for
    // `low`..`high` percent of the file.
    virtual void segmenterSpan(uint8_t low, uint8_t high)
    {
        (void)low;
        (void)high;
    }
    // Polled between the steps: true ends the file at once with 0 and
    // without its wave-info file.
    virtual bool stopRequested() { return false; }
};

struct ImportPaths {
    QString audio;     // the file imported
    QString work;      // its working copy, which every analysis step reads
    QString waveInfo;  // the ".awi" written at the end; empty: none
    // Where the ".awi" goes when it cannot be written at `waveInfo`; empty:
    // nowhere else. Once one is written at `waveInfo`, a file here goes.
    QString cachedWaveInfo;
};

// What the import found on the way, for measurements and tests.
struct ImportDetails {
    bool segmenterRan = false;                // the section segmenter succeeded
    bool completed = false;                   // every step ran (not stopped, no failure)
    std::vector<float> trackedBeats;          // beats of the segmenter (or the tracker), seconds
    std::vector<float> beats;                 // the same after the move onto onsets
    uint32_t numerator = 4, denominator = 4;  // the meter the segmenter ended with
    std::vector<float> onsets;                // as stored: 0 and the end added
    uint32_t frames = 0;                      // length of the audio
};

// One import at a time on one engine. The engine, the audio-file manager
// (may be null: every file then fails with code 1) and the listener (may
// be null) must outlive the pipeline.
class ImportPipeline {
public:
    ImportPipeline(CKRMcore& core, IF_audioFileMngr* files, const AnalysisOptions& options,
                   ImportListener* listener = nullptr);

    // The whole import of one file into wave 0 of the engine, whose
    // project is cleared first. 0 on success and when stopped.
    uint32_t run(const ImportPaths& paths, ImportDetails* details = nullptr);

    // The steps on their own (the engine's wave 0 must exist for all but
    // `createWave`).
    // A new wave for `path` as the engine's only wave.
    uint32_t createWave(const std::wstring& path);
    // The section segmenter over the working copy; its progress is shown
    // within 10..80 percent.
    uint32_t segment(const QString& workPath);
    // Onsets of the working copy, framed by 0 and the end of the audio,
    // stored in wave 0 and returned in `onsets`.
    uint32_t analyzeOnsets(const QString& workPath, std::vector<float>& onsets);
    // Beats into wave 0, its bar length, every section refreshed.
    uint32_t updateBeats(const std::vector<float>& beats);
    // The whole working audio as one bar of the forced (or the project's)
    // meter.
    uint32_t forceBeatAs1Bar(const QString& workPath);

private:
    bool stopped();
    void progress(uint8_t percent);
    // The step's message unless an inner failure already left one.
    void failText(const QString& text);
    // The one-bar fallback after a failed step: 0, or its code nested into
    // `step` with `text` as the message.
    uint32_t fallback(const QString& workPath, uint32_t step, const QString& text);
    // The file is where it was at the format check, with the same size,
    // modification and status-change time.
    bool audioUnchanged(const QString& audioPath) const;
    // The ".awi" at the first of the two places that takes it.
    uint32_t saveWaveInfo(const ImportPaths& paths);

    CKRMcore& m_core;
    IF_audioFileMngr* m_files;
    AnalysisOptions m_options;
    ImportListener* m_listener;
    AudioStamp m_checked;
};
