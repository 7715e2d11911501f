// Edits of a wave's beat list as a whole: the final onset as the last
// beat, and the change of the beat division (thinning or subdividing the
// list and moving the new beats onto nearby onsets).
#include "CKRMcore.h"

#include "BeatGrid.h"
#include "base/ResultCode.h"

#include <algorithm>
#include <limits>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;
using krm::nestOnFail;

namespace {

const char* const kTempoError = "Tempo error!";
const char* const kTooSlow = "Error! too slow tempo!";
const char* const kTooFast = "Error! too fast tempo!";

}  // namespace

uint32_t CKRMcore::addLastAdrsAsBeat(uint8_t w)
{
    try {
        if (w >= projectInfo.waveCount())
            return fail(1);
        WaveInfoRecord* stored = nullptr;
        uint32_t r = waveAt(w, stored, 2);
        if (r != kOk)
            return r;
        WaveInfoRecord copy(*stored);
        if (const uint32_t nested = nestOnFail(appendLastOnsetAsBeat(copy, beatAppendThreshold), 3))
            return nested;
        if (const uint32_t nested = nestOnFail(projectInfo.setWave(w, copy), 4))
            return nested;
        const size_t n = copy.beats.size();
        if (n < 2)
            return kOk;
        const int64_t a = secondsToSamples(copy.beats[n - 2]);
        const int64_t b = secondsToSamples(copy.beats[n - 1]);

        // Anchors nearer the last beat than the one before move onto it;
        // the offset keeps the played position where it was.
        const auto reanchor = [a, b](uint32_t& adrs, int32_t& offset) {
            const int64_t e = static_cast<int64_t>(adrs) + offset;
            if (!(b - e < e - a))
                return false;
            const int64_t moved = e - b;
            if (moved < std::numeric_limits<int32_t>::min() || moved > std::numeric_limits<int32_t>::max())
                return false;
            adrs = static_cast<uint32_t>(b);
            offset = static_cast<int32_t>(moved);
            return true;
        };
        for (uint8_t s = 0; s < kSectionCount; ++s) {
            SectionRecord* sec = nullptr;
            r = sectionAt(s, sec, 5);
            if (r != kOk)
                return r;
            if (sec->waveIndex != w)
                continue;
            SectionRecord next(*sec);
            const bool startMoved = reanchor(next.startAdrs, next.startOffset);
            const bool endMoved = reanchor(next.endAdrs, next.endOffset);
            if (!startMoved && !endMoved)
                continue;
            if (const uint32_t nested = nestOnFail(setSecInfo(s, next), 6))
                return nested;
        }
        return kOk;
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(7);
    }
}

uint32_t CKRMcore::projectTempo()
{
    CommonInfo* common = nullptr;
    if (projectInfo.getCommonInfo(&common) != kOk || !common)
        return 120;
    return common->tempo;
}

uint32_t CKRMcore::thinBeats(WaveInfoRecord& wave, uint16_t factor, uint8_t& flag)
{
    uint32_t result = kOk;
    while (wave.beatStep >= factor && wave.beatStep % factor == 0) {
        std::vector<float> thinned;
        for (size_t j = 0; j < wave.beats.size(); j += factor)
            thinned.push_back(wave.beats[j]);
        const uint16_t step = static_cast<uint16_t>(wave.beatStep / factor);
        uint8_t verdict = 0;
        result = checkBeatRange(step, thinned, verdict);
        if (result != kOk)
            return nest(result, 1);
        if (verdict != 0) {
            flag = 1;
            return fail(2);
        }
        compensatePoints(thinned, wave.onsets, projectTempo());
        wave.beats.swap(thinned);
        wave.beatStep = step;
    }
    return result;
}

uint32_t CKRMcore::thinBeatsBy2(WaveInfoRecord& wave, uint8_t& flag)
{
    return thinBeats(wave, 2, flag);
}

uint32_t CKRMcore::thinBeatsBy3(WaveInfoRecord& wave, uint8_t& flag)
{
    return thinBeats(wave, 3, flag);
}

uint32_t CKRMcore::subdivideBeats(WaveInfoRecord& wave, uint16_t keepStep, uint8_t& flag, int parts)
{
    flag = 0;
    const std::vector<float>& b = wave.beats;
    const size_t n = b.size();
    if (n == 0)
        return kOk;
    if (wave.onsets.empty())
        return fail(1);
    const int64_t L = secondsToSamples(wave.onsets.back());
    const int64_t A = static_cast<int64_t>(static_cast<uint32_t>(L) / static_cast<uint32_t>(n));
    const int64_t F = secondsToSamples(b[0]);
    const auto seconds = [](int64_t adrs) {
        return adrs > 0 ? samplesToSeconds(static_cast<uint32_t>(
                              std::min<int64_t>(adrs, std::numeric_limits<uint32_t>::max())))
                        : 0.0f;
    };

    std::vector<float> out;
    out.reserve(n * static_cast<size_t>(parts) + 4);
    if (parts == 2) {
        if (F > A / 3)
            out.push_back(seconds(F - A / 2));
    } else {
        if (F > A / 4) {
            if (F > A / 2)
                out.push_back(seconds(F - 2 * A / 3));
            out.push_back(seconds(F - A / 3));
        }
    }
    for (size_t i = 0; i + 1 < n; ++i) {
        out.push_back(b[i]);
        if (parts == 2) {
            out.push_back((b[i] + b[i + 1]) * 0.5f);
        } else {
            out.push_back((2.0f * b[i] + b[i + 1]) / 3.0f);
            out.push_back((b[i] + 2.0f * b[i + 1]) / 3.0f);
        }
    }
    // A single beat stays in the list: dropping it would lose the only
    // anchor the wave has.
    out.push_back(b[n - 1]);
    const int64_t last = secondsToSamples(b[n - 1]);
    if (parts == 2) {
        if (last < L - A / 3)
            out.push_back(seconds(std::min(L, last + A / 2)));
    } else if (last < L - A / 2) {
        out.push_back(seconds(last + A / 3));
        if (last < L - 5 * A / 8)
            out.push_back(seconds(std::min(L, last + 2 * A / 3)));
    }

    uint8_t verdict = 0;
    const uint32_t r = checkBeatRange(keepStep, out, verdict);
    if (r != kOk)
        return nest(r, 4);
    if (verdict != 0) {
        flag = 1;
        return parts == 2 ? fail(3) : fail(2);
    }
    compensatePoints(out, wave.onsets, projectTempo());
    wave.beatStep = keepStep;
    wave.beats.swap(out);
    return r;
}

uint32_t CKRMcore::subdivideBeatsBy2(WaveInfoRecord& wave, uint16_t keepStep, uint8_t& flag)
{
    return subdivideBeats(wave, keepStep, flag, 2);
}

uint32_t CKRMcore::subdivideBeatsBy3(WaveInfoRecord& wave, uint16_t keepStep, uint8_t& flag)
{
    return subdivideBeats(wave, keepStep, flag, 3);
}

uint32_t CKRMcore::setTempo(uint8_t mode, uint8_t w, uint8_t sectionIndex, uint8_t update, uint16_t& beatStep,
                            QString& message)
{
    try {
        m_errorState.setText(QString());
        CKRMcore temp;
        uint32_t r = temp.setAllInfo(projectInfo);
        if (r != kOk)
            return nest(r, 1);
        WaveInfoRecord* stored = nullptr;
        r = temp.waveAt(w, stored, 1);
        if (r != kOk)
            return r;
        WaveInfoRecord copy(*stored);
        const uint16_t s = copy.beatStep ? copy.beatStep : 1;

        // Modes 0 and 2 only lengthen the beat: the same list, a larger step.
        const auto lengthen = [&](uint32_t factor, uint32_t step) -> uint32_t {
            const uint32_t longer = static_cast<uint32_t>(s) * factor;
            uint8_t verdict = 0;
            const uint32_t rc = longer <= std::numeric_limits<uint16_t>::max()
                                    ? temp.checkBeatRange(static_cast<uint16_t>(longer), copy.beats, verdict)
                                    : fail(1);
            if (rc != kOk || verdict != 0) {
                message = QString::fromLatin1(kTempoError);
                return rc != kOk ? nest(rc, step) : fail(step);
            }
            copy.beatStep = static_cast<uint16_t>(longer);
            const uint32_t rs = temp.projectInfo.setWave(w, copy);
            if (rs != kOk)
                return nest(rs, step);
            beatStep = copy.beatStep;
            return kOk;
        };
        // Modes 1 and 3 shorten it: thin the list down to step 1 where the
        // step allows it, then divide the step or subdivide the list.
        const auto shorten = [&](uint16_t factor, uint32_t thinStep, uint32_t divideStep,
                                 uint32_t subdivideStep, uint32_t readBackStep) -> uint32_t {
            uint8_t flag = 0;
            uint32_t rc = factor == 2 ? temp.thinBeatsBy3(copy, flag) : temp.thinBeatsBy2(copy, flag);
            if (rc != kOk && flag) {
                message = QString::fromLatin1(kTooSlow);
                return nest(rc, thinStep);
            }
            const uint16_t cur = copy.beatStep;
            if (cur > factor - 1 && cur % factor == 0) {
                copy.beatStep = static_cast<uint16_t>(cur / factor);
                rc = temp.projectInfo.setWave(w, copy);
                if (rc != kOk)
                    return nest(rc, divideStep);
            } else {
                uint8_t subFlag = 0;
                rc = factor == 2 ? temp.subdivideBeatsBy2(copy, cur, subFlag)
                                 : temp.subdivideBeatsBy3(copy, cur, subFlag);
                if (rc == kOk)
                    rc = temp.projectInfo.setWave(w, copy);
                if (rc != kOk) {
                    message = subFlag ? QString::fromLatin1(kTooFast) : temp.errorText();
                    return nest(rc, subdivideStep);
                }
            }
            WaveInfoRecord* back = nullptr;
            rc = temp.waveAt(w, back, readBackStep);
            if (rc != kOk)
                return rc;
            copy = *back;
            rc = temp.projectInfo.setWave(w, copy);
            if (rc != kOk)
                return nest(rc, readBackStep);
            beatStep = copy.beatStep;
            return kOk;
        };

        // Per mode: lengthen or shorten, the factor, and the failure steps
        // (range check or store; thinning, dividing the step, subdividing,
        // reading back). Any other mode leaves the beat list alone.
        static const struct {
            bool longer;
            uint16_t factor;
            uint32_t steps[4];
        } kModes[] = {{true, 2, {2}}, {false, 2, {3, 4, 5, 6}}, {true, 3, {7}}, {false, 3, {8, 9, 10, 11}}};
        if (mode < sizeof kModes / sizeof kModes[0]) {
            const auto& m = kModes[mode];
            r = m.longer ? lengthen(m.factor, m.steps[0])
                         : shorten(m.factor, m.steps[0], m.steps[1], m.steps[2], m.steps[3]);
            if (r != kOk)
                return r;
        }

        if (update) {
            if (const uint32_t nested = nestOnFail(temp.updateSecInfoOfWav(w, sectionIndex, message), 12))
                return nested;
        }
        if (const uint32_t nested = nestOnFail(temp.addLastAdrsAsBeat(w), 13))
            return nested;
        if (const uint32_t nested = nestOnFail(setAllInfo(temp.projectInfo), 14))
            return nested;
        clearSecWavReady();
        return kOk;
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(15);
    }
}
