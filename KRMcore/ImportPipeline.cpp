#include "ImportPipeline.h"

#include "BeatGrid.h"
#include "CBeatDetect.h"
#include "CKRMcore.h"
#include "base/IF_audioFileMngr.h"
#include "base/ResultCode.h"
#include "base/WavSeekerSeq.h"
#include "base/AudioFormat.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <new>

namespace {

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
        RuBeatO::CBeatDetect detector(1024, kHop, float(krm::audio::kSampleRate), 3, 60.0f, 200.0f, false);
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
            times.push_back(float(double(f) * kHop / krm::audio::kSampleRate));
    } catch (const std::exception& e) {
        qDebug() << "beat tracker:" << e.what();
        times.clear();
    }
    return times;
}

}  // namespace

ImportPipeline::ImportPipeline(CKRMcore& core, IF_audioFileMngr* files, const AnalysisOptions& options,
                               ImportListener* listener)
    : m_core(core), m_files(files), m_options(options), m_listener(listener)
{ }

bool ImportPipeline::stopped()
{
    return m_listener && m_listener->stopRequested();
}

void ImportPipeline::progress(uint8_t percent)
{
    if (m_listener)
        m_listener->progress(percent);
}

void ImportPipeline::failText(const QString& text)
{
    if (m_core.errorText().isEmpty())
        m_core.setErrorText(text);
}

uint32_t ImportPipeline::fallback(const QString& workPath, uint32_t step, const QString& text)
{
    if (const uint32_t r = forceBeatAs1Bar(workPath)) {
        failText(text);
        return krm::nest(r, step);
    }
    // The failure is mended: its text must not stand for a later one.
    m_core.clearError();
    return 0;
}

bool ImportPipeline::audioUnchanged(const QString& audioPath) const
{
    return m_checked.exists && AudioStamp::of(audioPath) == m_checked;
}

uint32_t ImportPipeline::saveWaveInfo(const ImportPaths& paths)
{
    const uint32_t beside = m_core.saveAwi(paths.waveInfo.toStdWString(), 0);
    if (beside == 0) {
        if (!paths.cachedWaveInfo.isEmpty() && QFileInfo::exists(paths.cachedWaveInfo))
            QFile::remove(paths.cachedWaveInfo);
        return 0;
    }
    if (paths.cachedWaveInfo.isEmpty())
        return beside;
    // A folder that cannot be written (read-only media, a share, another
    // user's folder) keeps the audio importable: its analysis is kept in
    // the cache instead, and nothing is written beside the audio.
    qDebug().noquote() << QString("wave-info file not written beside the audio [%1], kept in %2")
                              .arg(beside, 0, 16)
                              .arg(paths.cachedWaveInfo);
    QDir().mkpath(QFileInfo(paths.cachedWaveInfo).path());
    return m_core.saveAwi(paths.cachedWaveInfo.toStdWString(), 0);
}

uint32_t ImportPipeline::run(const ImportPaths& paths, ImportDetails* details)
{
    ImportDetails local;
    ImportDetails& out = details ? *details : local;
    out = ImportDetails();
    if (!m_files) {
        failText("error at analyzeFileTh() <no audio file manager>");
        return krm::fail(1);
    }
    const std::wstring path = paths.audio.toStdWString();
    m_checked = AudioStamp::of(paths.audio);
    if (const uint32_t e = m_files->checkAudioFile(path, &out.frames)) {
        m_core.setErrorText("#0057 audio file format error!");
        return krm::nest(e, 2);
    }
    m_core.clearWavList();
    m_core.clearSecInfo();
    m_core.resetComnInfo();
    qDebug() << "create wavInfo started";
    progress(0);
    if (stopped())
        return 0;
    if (const uint32_t e = createWave(path)) {
        failText("#0058 error at doCreateWavInfoTh()");
        return krm::nest(e, 3);
    }
    if (const uint32_t e = m_files->copyAudioFile(path, paths.work)) {
        // The manager says why, for the log.
        failText("#0059 error at analyzeProcTh() copyWorkWav - " + m_files->errorText());
        return krm::nest(e, 3);
    }

    qDebug() << "segmenter started";
    progress(5);
    if (stopped())
        return 0;
    out.segmenterRan = segment(paths.work) == 0;
    if (!out.segmenterRan) {
        if (const uint32_t r =
                fallback(paths.work, 4, "error at analyzeOnsetTh() doSegmenterTh - forceBeatAs1Bar"))
            return r;
    }

    // Every file starts from an empty beat list: a failed run's beats are
    // never taken, whatever the job still holds.
    std::vector<float>& beats = out.trackedBeats;
    m_core.dumpSegmenter(beats, out.numerator, out.denominator);
    if (!out.segmenterRan) {
        beats.clear();
        // Without the segmenter's beats the beat tracker gives them; the
        // one bar above stays when it finds none. A stopped run does not
        // track.
        if (!stopped())
            beats = trackBeats(paths.work);
    }
    if (const uint32_t e = m_core.setTimeSignature(uint8_t(out.numerator), uint8_t(out.denominator))) {
        failText("#0061 error at getBeatSecondList()");
        return krm::nest(e, 4);
    }

    qDebug() << "onset analyser started";
    progress(85);
    if (stopped())
        return 0;
    if (const uint32_t e = analyzeOnsets(paths.work, out.onsets)) {
        failText("#0062 error at doAnalyzeOnsetTh()");
        return krm::nest(e, 5);
    }

    qDebug() << "compensatePoints started";
    progress(90);
    if (stopped())
        return 0;
    out.beats = beats;
    if (!out.beats.empty()) {
        CommonInfo* common = nullptr;
        m_core.getProjectInfo()->getCommonInfo(&common);
        compensatePoints(out.beats, out.onsets, common ? common->tempo : 120);
        qDebug() << "divBeatDnUp started";
        progress(93);
        if (stopped())
            return 0;
        if (updateBeats(out.beats) != 0) {
            if (const uint32_t r =
                    fallback(paths.work, 7, "error at analyzeOnsetTh() doUpdateBeat - forceBeatAs1Bar"))
                return r;
        }
        if (m_core.addLastAdrsAsBeat(0) != 0) {
            if (const uint32_t r =
                    fallback(paths.work, 7, "error at analyzeOnsetTh() addLastAdrsAsBeat - forceBeatAs1Bar"))
                return r;
        }
    }

    uint16_t beatStep = 1;
    QString message;
    m_core.setTempo(1, 0, 3, 0, beatStep, message);
    if (m_options.forceMeter == 1)
        m_core.setTimeSigAndFitSec(m_options.forcedBeatsPerBar, m_options.forcedBeatUnit);

    qDebug() << "segToSec started";
    progress(95);
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.makeInitSecAsgnBySegLbl(0)) {
        failText("#0064 error at makeInitSecAsgnBySegLbl()");
        return krm::nest(e, 8);
    }
    if (const uint32_t e = m_core.updateSecInfoOfWav(0, 3, message)) {
        // The engine's own text, else the step with its code (a file
        // without audio fails here: no beats, so no bar length).
        failText(QString("error at analyzeFileTh() updateSecInfoOfWav [%1]").arg(e, 0, 16));
        return krm::nest(e, 9);
    }

    qDebug() << "writer awi start";
    progress(98);
    if (stopped())
        return 0;
    if (!paths.waveInfo.isEmpty()) {
        // The analysis read the working copy: a file removed or replaced
        // meanwhile must not leave an analysis that a later import of
        // whatever then lies at that path would take for its own.
        if (!audioUnchanged(paths.audio)) {
            failText("The audio file was removed or changed during its analysis.");
            return krm::fail(9);
        }
        if (const uint32_t e = saveWaveInfo(paths)) {
            failText("#0065 error at saveAwi()");
            return krm::nest(e, 9);
        }
    }
    progress(100);
    out.completed = true;
    return 0;
}

uint32_t ImportPipeline::createWave(const std::wstring& path)
{
    if (stopped())
        return 0;
    if (path.empty()) {
        failText("#0066 error at doCreateWavInfoTh() <empty file path>");
        return krm::fail(1);
    }
    if (stopped())
        return 0;
    WaveInfoRecord* record = new (std::nothrow) WaveInfoRecord;
    if (!record) {
        failText("#0067 error at doCreateWavInfoTh() <creation wavInfo>");
        return krm::fail(3);
    }
    if (stopped()) {
        delete record;
        return 0;
    }
    record->path = path;
    if (const uint32_t e = m_core.addWavList(record)) {
        delete record;
        failText("#0068 error at doCreateWavInfoTh() addWavList");
        return krm::nest(e, 4);
    }
    return 0;
}

uint32_t ImportPipeline::segment(const QString& workPath)
{
    if (stopped())
        return 0;
    progress(10);
    if (m_listener)
        m_listener->segmenterSpan(10, 80);
    SegmenterTimeSig ts;
    ts.given = m_options.fixSegmenterMeter;
    ts.numerator = m_options.segmenterBeatsPerBar;
    ts.denominator = m_options.segmenterBeatUnit;
    ts.reserved[0] = m_options.forceMeter;
    ts.reserved[1] = m_options.forcedBeatsPerBar;
    ts.reserved[2] = m_options.forcedBeatUnit;
    if (const uint32_t e = m_core.runSegmenter(workPath, ts))
        return krm::nest(e, 7);
    qDebug() << "doSegmenterTh() segmenter";
    progress(80);
    if (m_listener)
        m_listener->segmenterSpan(0, 100);
    return 0;
}

uint32_t ImportPipeline::analyzeOnsets(const QString& workPath, std::vector<float>& onsets)
{
    if (stopped())
        return 0;
    qDebug() << "onset analyzer path 1";
    if (stopped())
        return 0;
    uint32_t frames = 0;
    if (const uint32_t e = m_core.analyzeOnset(workPath, frames, onsets)) {
        failText(QString("#0069 error at doAnalyzeOnsetTh() analyzeOnset [%1]").arg(e, 0, 16));
        return krm::nest(e, 2);
    }
    try {
        if (onsets.empty())
            onsets.push_back(0.0f);
    } catch (const std::bad_alloc&) {
        return krm::fail(3);
    }
    if (onsets.front() != 0.0f)
        onsets.insert(onsets.begin(), 0.0f);
    const float end = float(frames) / float(krm::audio::kSampleRate);
    try {
        if (onsets.back() != end)
            onsets.push_back(end);
    } catch (const std::bad_alloc&) {
        return krm::fail(4);
    }
    qDebug() << "onset analyzer path 2";
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.updateOnset(0, onsets)) {
        failText(QString("#0070 error at doAnalyzeOnsetTh() updateOnset [%1]").arg(e, 0, 16));
        return krm::nest(e, 5);
    }
    return 0;
}

uint32_t ImportPipeline::updateBeats(const std::vector<float>& beats)
{
    qDebug() << "divide Beat Dn/Up path 1";
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.updateBeat(0, beats)) {
        failText("#0071 error at doUpdateBeat() updateBeat");
        return krm::nest(e, 1);
    }
    qDebug() << "divide Beat Dn/Up path 2";
    if (stopped())
        return 0;
    if (const uint32_t e = m_core.estimateBarLen(0)) {
        failText("#0072 error at doUpdateBeat() estimateBarLen");
        return krm::nest(e, 2);
    }
    qDebug() << "divide Beat Dn/Up path 3";
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        if (stopped())
            return 0;
        SectionRecord* record = nullptr;
        const uint32_t e = m_core.getSecInfo(i, &record);
        if (e != 0 || !record) {
            failText("#0073 error at doUpdateBeat() getSecInfo");
            return krm::nest(e, 3);
        }
        const SectionRecord copy(*record);
        if (const uint32_t u = m_core.updateSecInfo(i, copy)) {
            failText("#0074 error at doUpdateBeat() updateSecInfo");
            return krm::nest(u, 4);
        }
    }
    return 0;
}

uint32_t ImportPipeline::forceBeatAs1Bar(const QString& workPath)
{
    const WavSeekerSeq source(workPath);
    const uint32_t length = uint32_t(std::max(0, source.length()));
    uint8_t beatsPerBar = m_options.forcedBeatsPerBar, beatUnit = m_options.forcedBeatUnit;
    if (m_options.forceMeter != 1) {
        if (const uint32_t e = m_core.getTimeSig(&beatsPerBar, &beatUnit))
            return krm::nest(e, 1);
    }
    std::vector<float> beats {0.0f};
    for (uint32_t i = 1; i < beatsPerBar; ++i)
        beats.push_back(float(uint32_t(uint64_t(i) * length / beatsPerBar)) / float(krm::audio::kSampleRate));
    beats.push_back(float(length) / float(krm::audio::kSampleRate));
    if (const uint32_t e = m_core.updateBeat(0, beats)) {
        failText("error at doUpdateBeat() updateBeat");
        return krm::nest(e, 2);
    }
    return 0;
}
