#pragma once
// The analysis job: turns imported audio files into wave-info files (".awi")
// off the GUI thread. `anaThread` is the thread the window creates, sets up
// and starts; `anaThreadObj` is the worker it owns and drives from `run`.
// The worker analyses each file as wave 0 of its own engine and writes the
// result beside the audio file: the ".awi" file is the only channel of the
// results, the window loads it into its own engine afterwards.
//
// Lifecycle: construct on the GUI thread, `setOptions`, `setInputLists`,
// connect the worker's signals, `start`. A successful run stays alive after
// `signalAnalyzed` until `requestStop`; a failed run ends after `signalErr`.
// The owner always ends it with `requestStop`, `wait` and delete.
#include "CKRMcore.h"
#include "ImportPipeline.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class IF_audioFileMngr;

// The steps of one file are the import pipeline's (ImportPipeline.h); the
// worker adds the run over the files, the progress signals, the stop flag
// and the audio folder in the settings.
class anaThreadObj : public QObject, private ImportListener {
    Q_OBJECT
public:
    anaThreadObj();
    ~anaThreadObj() override;

    void setOptions(const AnalysisOptions& options) { m_options = options; }
    // Stops the run at its next check; the segmenter too. Any thread.
    void stop();
    QString errorText() const;
    bool hasError();
    CKRMcore& engine() { return m_core; }

    // The whole run: the given files, then the audio files of the folders.
    // 0 (also when stopped), or the failure of the first failing file.
    uint32_t analyzeProcTh(const QStringList& folders, const QStringList& files);
    uint32_t analyzeFileTh(const std::wstring& path);
    // The pipeline's steps on the worker's engine and options.
    uint32_t doCreateWavInfoTh(const std::wstring& path) { return pipeline().createWave(path); }
    uint32_t doSegmenterTh(const QString& workPath) { return pipeline().segment(workPath); }
    uint32_t doAnalyzeOnsetTh(const QString& workPath, std::vector<float>& onsets)
    {
        return pipeline().analyzeOnsets(workPath, onsets);
    }
    uint32_t doUpdateBeat(const std::vector<float>& beats) { return pipeline().updateBeats(beats); }
    uint32_t forceBeatAs1Bar(const QString& workPath) { return pipeline().forceBeatAs1Bar(workPath); }

signals:
    void signalAnalyzed();
    void signalErr();
    // File count, 1-based file number, percent.
    void signalProgress(unsigned char all, unsigned char no, unsigned char val);

public slots:
    void thruProgress(unsigned char val);

private:
    friend struct AnalysisJobTestAccess;
    ImportPipeline pipeline() { return ImportPipeline(m_core, m_files, m_options, this); }
    // ImportListener: the step percentages as signalProgress, the window
    // of the relayed segmenter progress, the stop flag.
    void progress(uint8_t percent) override;
    void segmenterSpan(uint8_t low, uint8_t high) override;
    bool stopRequested() override { return m_stop.load() != 0; }
    void failText(const QString& text);

    CKRMcore m_core;
    IF_audioFileMngr* m_files = nullptr;
    std::atomic<uint8_t> m_stop {0};
    AnalysisOptions m_options;
    uint8_t fileIndex = 0;
    uint8_t fileCount = 0;
    uint8_t progressLow = 0;
    uint8_t progressHigh = 100;
};

class anaThread : public QThread {
    Q_OBJECT
public:
    anaThread();
    ~anaThread() override;

    // Handed to the worker when the thread starts.
    void setOptions(const AnalysisOptions& options) { m_options = options; }
    void setInputLists(const QStringList& folders, const QStringList& files);
    void requestStop();
    // The worker engine's error text; "object creation error!" without one.
    QString errorString();
    bool workerHasError();
    // Null when creating it failed.
    anaThreadObj* worker() const { return m_worker; }

protected:
    void run() override;

private:
    friend struct AnalysisJobTestAccess;
    // Sets or clears the stop flag and wakes a run that waits for it.
    void setStop(uint8_t value);

    std::atomic<uint8_t> m_stop {0};
    // A successful run sleeps on this until the stop request; the flag is
    // written under the mutex so that the wake-up cannot be missed.
    QMutex m_stopLock;
    QWaitCondition m_stopped;
    anaThreadObj* m_worker = nullptr;
    AnalysisOptions m_options;
    QStringList m_folders;
    QStringList m_files;
};
