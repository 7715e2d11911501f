#include "ImportRun.h"

#include "BeatGrid.h"
#include "CKRMcore.h"
#include "IF_audioFileMngr.h"

#include <memory>

namespace importrun {

namespace {

constexpr uint32_t kFail = 0x80000000u;

// One bar of beats spanning the whole file: 0, i * frames / B, the end.
std::vector<float> oneBar(uint32_t frames, uint32_t beatsPerBar)
{
    std::vector<float> beats {0.0f};
    for (uint32_t i = 1; i < beatsPerBar; ++i)
        beats.push_back(samplesToSeconds(static_cast<uint32_t>(uint64_t(i) * frames / beatsPerBar)));
    beats.push_back(samplesToSeconds(frames));
    return beats;
}

uint32_t projectBeatsPerBar(CKRMcore& core)
{
    uint8_t bpb = 4, unit = 4;
    core.getTimeSig(&bpb, &unit);
    return bpb ? bpb : 4;
}

uint32_t projectTempo(CKRMcore& core)
{
    CommonInfo* c = nullptr;
    core.getProjectInfo()->getCommonInfo(&c);
    return c ? c->tempo : 120;
}

// updateBeat, bar length, every section again, then the last onset as a
// beat when it continues the rhythm.
bool storeBeats(CKRMcore& core, const std::vector<float>& beats)
{
    if (core.updateBeat(0, beats) != 0 || core.estimateBarLen(0) != 0)
        return false;
    for (uint8_t i = 0; i < 15; ++i) {
        SectionRecord* s = nullptr;
        if (core.getSecInfo(i, &s) != 0 || !s)
            return false;
        const SectionRecord copy(*s);
        if (core.updateSecInfo(i, copy) != 0)
            return false;
    }
    return core.addLastAdrsAsBeat(0) == 0;
}

}  // namespace

ImportResult importAudio(CKRMcore& core, const QString& audioPath, const QString& workPath,
                         const QString& awiPath, SegmenterTimeSig ts)
{
    ImportResult out;
    const std::unique_ptr<IF_audioFileMngr> files(createAudioFileMngr());
    if (!files) {
        out.code = kFail | 1;
        return out;
    }
    const uint32_t checked = files->checkAudioFile(audioPath.toStdWString(), &out.frames);
    if (checked != 0) {
        out.code = (checked << 4) | kFail | 2;
        return out;
    }
    core.clearWavList();
    core.clearSecInfo();
    core.resetComnInfo();

    auto* wave = new WaveInfoRecord;
    wave->path = audioPath.toStdWString();
    if (core.addWavList(wave) != 0) {
        delete wave;
        out.code = kFail | 3;
        return out;
    }
    if (files->copyAudioFile(audioPath.toStdWString(), workPath) != 0) {
        out.code = kFail | 3;
        return out;
    }

    // Segmenter: beats, meter and segment marks.
    out.segmenterRan = core.runSegmenter(workPath, ts) == 0;
    if (!out.segmenterRan && core.updateBeat(0, oneBar(out.frames, projectBeatsPerBar(core))) != 0) {
        out.code = kFail | 4;
        return out;
    }
    core.dumpSegmenter(out.trackedBeats, out.numerator, out.denominator);
    if (core.setTimeSignature(static_cast<uint8_t>(out.numerator), static_cast<uint8_t>(out.denominator)) !=
        0) {
        out.code = kFail | 4;
        return out;
    }

    // Onsets, framed by the start and the end of the audio.
    uint32_t frames = 0;
    if (core.analyzeOnset(workPath, frames, out.onsets) != 0) {
        out.code = kFail | 5;
        return out;
    }
    if (out.onsets.empty() || out.onsets.front() != 0.0f)
        out.onsets.insert(out.onsets.begin(), 0.0f);
    const float end = samplesToSeconds(out.frames);
    if (out.onsets.back() != end)
        out.onsets.push_back(end);
    if (core.updateOnset(0, out.onsets) != 0) {
        out.code = kFail | 5;
        return out;
    }

    // Beats moved onto nearby onsets.
    out.beats = out.trackedBeats;
    if (!out.beats.empty()) {
        compensatePoints(out.beats, out.onsets, projectTempo(core));
        if (!storeBeats(core, out.beats) &&
            core.updateBeat(0, oneBar(out.frames, projectBeatsPerBar(core))) != 0) {
            out.code = kFail | 7;
            return out;
        }
    }

    // Half-beat list, first sections, tempo.
    uint16_t step = 1;
    QString message;
    core.setTempo(1, 0, 3, 0, step, message);
    if (ts.given == 1)
        core.setTimeSigAndFitSec(ts.numerator, ts.denominator);
    if (core.makeInitSecAsgnBySegLbl(0) != 0) {
        out.code = kFail | 8;
        return out;
    }
    if (core.updateSecInfoOfWav(0, 3, message) != 0) {
        out.code = kFail | 9;
        return out;
    }
    if (!awiPath.isEmpty() && core.saveAwi(awiPath.toStdWString(), 0) != 0)
        out.code = kFail | 9;
    return out;
}

}  // namespace importrun
