#include "AnalysisJob.h"

#include "BeatGrid.h"
#include "CBeatDetect.h"
#include "IF_audioFileMngr.h"
#include "IF_segmenter.h"
#include "KRMprotoSettings.h"
#include "ResultCode.h"
#include "TempFolder.h"
#include "base/WavSeekerSeq.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <new>

namespace {

constexpr uint32_t kFail = krm::kFailBit;

// The file's code for a failure of `step` with the inner code `e`.
uint32_t nested(uint32_t e, uint32_t step)
{
    return krm::nest(e, step);
}

// Beat times in seconds of the working audio by the offline beat tracker,
// empty when it finds none or cannot run. The import uses them when the
// section segmenter gives no beats, so the user still gets a beat grid.
std::vector<float> trackBeats(const QString& workPath)
{
    constexpr int kHop = 180;
    std::vector<float> times;
    try {
        WavSeekerSeq source(workPath);
        if (source.length() <= 0)
            return times;
        RuBeatO::CBeatDetect detector(1024, kHop, 44100.0f, 3, 60.0f, 200.0f, false);
        constexpr int kBlock = 4096;
        std::vector<float> stereo(2 * kBlock), mono(kBlock);
        for (;;) {
            const int got = source.read(stereo.data(), kBlock);
            if (got <= 0)
                break;
            const int even = got & ~1;
            for (int i = 0; i < even; ++i)
                mono[size_t(i)] = 0.5f * (stereo[2 * size_t(i)] + stereo[2 * size_t(i) + 1]);
            detector.addData(mono.data(), even);
            if (got < kBlock)
                break;
        }
        detector.infer();
        std::vector<int> frames;
        detector.getBeatFrames(frames, 1, 0);
        for (int f : frames)
            times.push_back(float(double(f) * kHop / 44100.0));
    } catch (const std::exception& e) {
        qDebug() << "beat tracker:" << e.what();
        times.clear();
    }
    return times;
}

}  // namespace

QString waveInfoPathOf(const QString& audioPath)
{
    const QFileInfo info(audioPath);
    return info.path() + "/" + info.completeBaseName() + ".awi";
}

// ---------------------------------------------------------------- worker

anaThreadObj::anaThreadObj()
{
    m_files = createAudioFileMngr();
    // Direct: the segmenter reports on the analysis thread, and the relay
    // must read the progress window of the step that is running.
    if (QObject* seg = m_core.segmenterObject())
        connect(seg, SIGNAL(signalProgress(const unsigned char)), this, SLOT(thruProgress(unsigned char)),
                Qt::DirectConnection);
}

anaThreadObj::~anaThreadObj()
{
    delete m_files;
}

void anaThreadObj::setOptions(uint32_t word, uint16_t half)
{
    m_fixSegmenterMeter = uint8_t(word);
    m_segmenterBeatsPerBar = uint8_t(word >> 8);
    m_segmenterBeatUnit = uint8_t(word >> 16);
    m_forceMeter = uint8_t(word >> 24);
    m_forcedBeatsPerBar = uint8_t(half);
    m_forcedBeatUnit = uint8_t(half >> 8);
}

void anaThreadObj::stop()
{
    m_stop.store(1);
    m_core.stopSegmenter();
}

QString anaThreadObj::errorText() const
{
    return m_core.errorText();
}

bool anaThreadObj::hasError()
{
    return m_core.hasError();
}

void anaThreadObj::progress(unsigned char percent)
{
    emit signalProgress(fileCount, fileIndex, percent);
}

void anaThreadObj::failText(const QString& text)
{
    if (m_core.errorText().isEmpty())
        m_core.setErrorText(text);
}

void anaThreadObj::thruProgress(unsigned char val)
{
    const unsigned span = unsigned(progressHigh) - unsigned(progressLow);
    progress(uint8_t(progressLow + (span * val) / 100));
}

uint32_t anaThreadObj::analyzeProcTh(const QStringList& folders, const QStringList& files)
{
    m_core.clearError();
    progressLow = 0;
    progressHigh = 100;
    QStringList folderFiles;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({"*.wav", "*.aif", "*.aiff"}))
            folderFiles << dir.absolutePath() + "/" + name;
    }
    fileCount = uint8_t(files.size() + folderFiles.size());
    fileIndex = 0;
    for (const QString& path : files + folderFiles) {
        if (path.isEmpty()) {
            failText("#0055 error at anaThreadObj <empty file>");
            emit signalErr();
            return kFail | 1;
        }
        ++fileIndex;
        if (const uint32_t r = analyzeFileTh(path.toStdWString())) {
            failText("#0056 error at analyzeProcTh()");
            emit signalErr();
            return nested(r, 2);
        }
    }
    qDebug() << "analyze finished";
    emit signalAnalyzed();
    return 0;
}

uint32_t anaThreadObj::fallback(const QString& workPath, uint32_t step, const QString& text)
{
    if (const uint32_t r = forceBeatAs1Bar(workPath)) {
        failText(text);
        return nested(r, step);
    }
    // The failure is mended: its text must not stand for a later one.
    m_core.clearError();
    return 0;
}

uint32_t anaThreadObj::analyzeFileTh(const std::wstring& path)
{
    if (!m_files)
        return kFail | 1;
    uint32_t frames = 0;
    if (const uint32_t e = m_files->checkAudioFile(path, &frames)) {
        m_core.setErrorText("#0057 audio file format error!");
        return nested(e, 2);
    }
    m_core.clearWavList();
    m_core.clearSecInfo();
    m_core.resetComnInfo();
    qDebug() << "create wavInfo started";
    progress(0);
    if (stopped())
        return 0;
    if (const uint32_t e = doCreateWavInfoTh(path)) {
        failText("#0058 error at doCreateWavInfoTh()");
        return nested(e, 3);
    }
    const QString workPath = krm::platform::privateTempFolder() + "/KRM_temp.wav";
    if (const uint32_t e = m_files->copyAudioFile(path, workPath)) {
        failText("#0059 error at analyzeProcTh() copyWorkWav");
        return nested(e, 3);
    }

    qDebug() << "segmenter started";
    progress(5);
    if (stopped())
        return 0;
    const bool segmented = doSegmenterTh(workPath) == 0;
    if (!segmented) {
        if (const uint32_t r =
                fallback(workPath, 4, "error at analyzeOnsetTh() doSegmenterTh - forceBeatAs1Bar"))
            return r;
    }

    std::vector<float> beats;
    uint32_t beatsPerBar = 4, beatUnit = 4;
    m_core.dumpSegmenter(beats, beatsPerBar, beatUnit);
    // Without the segmenter's beats (a build without it, or a failed run)
    // the beat tracker gives them; the one bar above stays when it finds
    // none. A stopped run does not track.
    if (!segmented && beats.empty() && !stopped())
        beats = trackBeats(workPath);
    if (const uint32_t e = m_core.setTimeSignature(uint8_t(beatsPerBar), uint8_t(beatUnit))) {
        failText("#0061 error at getBeatSecondList()");
        return nested(e, 4);
    }

    qDebug() << "onset analyser started";
    progress(85);
    if (stopped())
        return 0;
    std::vector<float> onsets;
    if (const uint32_t e = doAnalyzeOnsetTh(workPath, onsets)) {
        failText("#0062 error at doAnalyzeOnsetTh()");
        return nested(e, 5);
    }

    qDebug() << "compensatePoints started";
    progress(90);
    if (stopped())
        return 0;
    if (!beats.empty()) {
        compensatePoints(beats, onsets, 120);
        qDebug() << "divBeatDnUp started";
        progress(93);
        if (stopped())
            return 0;
        if (doUpdateBeat(beats) != 0) {
            if (const uint32_t r =
                    fallback(workPath, 7, "error at analyzeOnsetTh() doUpdateBeat - forceBeatAs1Bar"))
                return r;
        }
        if (m_core.addLastAdrsAsBeat(0) != 0) {
            if (const uint32_t r =
                    fallback(workPath, 7, "error at analyzeOnsetTh() addLastAdrsAsBeat - forceBeatAs1Bar"))
                return r;
        }
    }

    uint16_t beatStep = 1;
    QString message;
    m_core.setTempo(1, 0, 3, 0, beatStep, message);
    if (m_forceMeter == 1)
        m_core.setTimeSigAndFitSec(m_forcedBeatsPerBar, m_forcedBeatUnit);

    qDebug() << "segToSec started";
    progress(95);
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.makeInitSecAsgnBySegLbl(0)) {
        failText("#0064 error at makeInitSecAsgnBySegLbl()");
        return nested(e, 8);
    }
    if (const uint32_t e = m_core.updateSecInfoOfWav(0, 3, message))
        return nested(e, 9);

    qDebug() << "writer awi start";
    progress(98);
    if (stopped())
        return 0;
    const QString audioPath = QString::fromStdWString(path);
    if (const uint32_t e = m_core.saveAwi(waveInfoPathOf(audioPath).toStdWString(), 0)) {
        failText("#0065 error at saveAwi()");
        return nested(e, 9);
    }
    progress(100);
    KRMprotoSettings::setAudioFilePath(QFileInfo(audioPath).path());
    return 0;
}

uint32_t anaThreadObj::doCreateWavInfoTh(const std::wstring& path)
{
    if (stopped())
        return 0;
    if (path.empty()) {
        failText("#0066 error at doCreateWavInfoTh() <empty file path>");
        return kFail | 1;
    }
    if (stopped())
        return 0;
    WaveInfoRecord* record = new (std::nothrow) WaveInfoRecord;
    if (!record) {
        failText("#0067 error at doCreateWavInfoTh() <creation wavInfo>");
        return kFail | 3;
    }
    if (stopped()) {
        delete record;
        return 0;
    }
    record->path = path;
    if (const uint32_t e = m_core.addWavList(record)) {
        delete record;
        failText("#0068 error at doCreateWavInfoTh() addWavList");
        return nested(e, 4);
    }
    return 0;
}

uint32_t anaThreadObj::doSegmenterTh(const QString& workPath)
{
    if (stopped())
        return 0;
    progress(10);
    progressLow = 10;
    progressHigh = 80;
    SegmenterTimeSig ts;
    ts.given = m_fixSegmenterMeter;
    ts.numerator = m_segmenterBeatsPerBar;
    ts.denominator = m_segmenterBeatUnit;
    ts.reserved[0] = m_forceMeter;
    ts.reserved[1] = m_forcedBeatsPerBar;
    ts.reserved[2] = m_forcedBeatUnit;
    if (const uint32_t e = m_core.runSegmenter(workPath, ts))
        return nested(e, 7);
    qDebug() << "doSegmenterTh() segmenter";
    progress(80);
    progressLow = 0;
    progressHigh = 100;
    return 0;
}

uint32_t anaThreadObj::doAnalyzeOnsetTh(const QString& workPath, std::vector<float>& onsets)
{
    if (stopped())
        return 0;
    qDebug() << "onset analyzer path 1";
    if (stopped())
        return 0;
    uint32_t frames = 0;
    if (const uint32_t e = m_core.analyzeOnset(workPath, frames, onsets)) {
        failText(QString("#0069 error at doAnalyzeOnsetTh() analyzeOnset [%1]").arg(e, 0, 16));
        return nested(e, 2);
    }
    try {
        if (onsets.empty())
            onsets.push_back(0.0f);
    } catch (const std::bad_alloc&) {
        return kFail | 3;
    }
    if (onsets.front() != 0.0f)
        onsets.insert(onsets.begin(), 0.0f);
    const float end = float(frames) / 44100.0f;
    try {
        if (onsets.back() != end)
            onsets.push_back(end);
    } catch (const std::bad_alloc&) {
        return kFail | 4;
    }
    qDebug() << "onset analyzer path 2";
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.updateOnset(0, onsets)) {
        failText(QString("#0070 error at doAnalyzeOnsetTh() updateOnset [%1]").arg(e, 0, 16));
        return nested(e, 5);
    }
    return 0;
}

uint32_t anaThreadObj::doUpdateBeat(const std::vector<float>& beats)
{
    qDebug() << "divide Beat Dn/Up path 1";
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.updateBeat(0, beats)) {
        failText("#0071 error at doUpdateBeat() updateBeat");
        return nested(e, 1);
    }
    qDebug() << "divide Beat Dn/Up path 2";
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.estimateBarLen(0)) {
        failText("#0072 error at doUpdateBeat() estimateBarLen");
        return nested(e, 2);
    }
    qDebug() << "divide Beat Dn/Up path 3";
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        if (stopped())
            return 0;
        SectionRecord* record = nullptr;
        const uint32_t e = m_core.getSecInfo(i, &record);
        if (e != 0 || !record) {
            failText("#0073 error at doUpdateBeat() getSecInfo");
            return nested(e, 3);
        }
        const SectionRecord copy(*record);
        if (const uint32_t u = m_core.updateSecInfo(i, copy)) {
            failText("#0074 error at doUpdateBeat() updateSecInfo");
            return nested(u, 4);
        }
    }
    return 0;
}

uint32_t anaThreadObj::forceBeatAs1Bar(const QString& workPath)
{
    const WavSeekerSeq source(workPath);
    const uint32_t length = uint32_t(std::max(0, source.length()));
    uint8_t beatsPerBar = m_forcedBeatsPerBar, beatUnit = m_forcedBeatUnit;
    if (m_forceMeter != 1) {
        if (const uint32_t e = m_core.getTimeSig(&beatsPerBar, &beatUnit))
            return nested(e, 1);
    }
    std::vector<float> beats {0.0f};
    for (uint32_t i = 1; i < beatsPerBar; ++i)
        beats.push_back(float(uint32_t(uint64_t(i) * length / beatsPerBar)) / 44100.0f);
    beats.push_back(float(length) / 44100.0f);
    if (const uint32_t e = m_core.updateBeat(0, beats)) {
        failText("error at doUpdateBeat() updateBeat");
        return nested(e, 2);
    }
    return 0;
}

// ---------------------------------------------------------------- thread

anaThread::anaThread() : QThread(nullptr)
{
    try {
        m_worker = new anaThreadObj;
    } catch (...) {
        m_worker = nullptr;
    }
    // The segmenter reports from the analysis thread; living there, its
    // own relay is direct too.
    if (m_worker) {
        if (QObject* seg = m_worker->engine().segmenterObject())
            seg->moveToThread(this);
    }
}

anaThread::~anaThread()
{
    delete m_worker;
}

void anaThread::setOptions(uint32_t word, uint16_t half)
{
    m_optionWord = word;
    m_optionHalf = half;
}

void anaThread::setInputLists(const QStringList& folders, const QStringList& files)
{
    m_folders = folders;
    m_files = files;
}

void anaThread::requestStop()
{
    m_stop.store(1);
    if (m_worker)
        m_worker->stop();
}

QString anaThread::errorString()
{
    return m_worker ? m_worker->errorText() : QString("object creation error!");
}

bool anaThread::workerHasError()
{
    return m_worker ? m_worker->hasError() : false;
}

void anaThread::run()
{
    if (m_stop.load()) {
        m_stop.store(0);
        return;
    }
    if (m_worker) {
        m_worker->setOptions(m_optionWord, m_optionHalf);
        if (m_worker->analyzeProcTh(m_folders, m_files) != 0) {
            m_stop.store(1);
            m_worker->stop();
            return;
        }
    }
    while (!m_stop.load())
        msleep(5);
    m_stop.store(0);
}
