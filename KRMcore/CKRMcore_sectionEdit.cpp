// Section editing of the project engine: the validated section edit, the
// pickup and bar-point rules, the play range, the toggle search, the
// section tempo, the time-signature changes and the removal and relinking
// of waves.
#include "CKRMcore.h"

#include "BeatGrid.h"
#include "base/ResultCode.h"
#include "base/SectionNames.h"

#include <QDebug>
#include <algorithm>
#include <limits>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;
using krm::nestOnFail;

namespace {

const char* const kMinusPickupText = "can't set pickup to minus address of audio file!";
const char* const kOddBeatText =
    "confirm beat number and pickup setting!\r\nodd beat with pickup is not allowed!";

// Frame address of beat-list entry `entry`; false when the entry lies
// outside the list.
bool entryAddress(const WaveInfoRecord& wave, int64_t entry, int64_t& address)
{
    if (entry < 0 || static_cast<uint64_t>(entry) >= wave.beats.size())
        return false;
    address = secondsToSamples(wave.beats[static_cast<size_t>(entry)]);
    return true;
}

}  // namespace

uint32_t CKRMcore::setSecInfo(uint8_t i, const SectionRecord& rec)
{
    if (!undoStack)
        return fail(1);
    m_errorState.setText(QString());
    SectionRecord* stored = nullptr;
    uint32_t r = sectionAt(i, stored, 2);
    if (r != kOk)
        return r;
    if (rec.equals(*stored)) {
        if (rec.renderedFrames == stored->renderedFrames)
            return kOk;
        return projectInfo.setSectionInfo(i, rec);
    }
    SectionRecord copy(rec);
    if (const uint32_t nested = nestOnFail(setPickup(i, copy), 7))
        return nested;
    if (const uint32_t nested = nestOnFail(updateSecInfo(i, copy), 7))
        return nested;
    return kOk;
}

uint32_t CKRMcore::setPickup(uint8_t i, SectionRecord& rec)
{
    if (i >= kSectionCount)
        return fail(1);
    if (rec.waveIndex == krm::kNoWave)
        return kOk;
    WaveInfoRecord* wave = nullptr;
    uint32_t r = waveAt(rec.waveIndex, wave, 2);
    if (r != kOk)
        return r;
    if (rec.startAdrs > rec.endAdrs)
        return fail(3);

    const bool strict = rec.pickupOn && rec.pickupHalfBeats > 0;
    int64_t e = 0;
    if (const uint32_t nested = nestOnFail(pickupEntry(rec, *wave, rec.pickupHalfBeats, e), 4))
        return nested;
    if (e < 0) {
        if (strict) {
            m_errorState.setText(QString::fromLatin1(kMinusPickupText));
            return fail(5);
        }
        rec.pickupHalfBeats = 0;
        rec.pickupOffset = 0;
        e = 0;
    }
    int64_t pickupAt = 0;
    if (!entryAddress(*wave, e, pickupAt))
        return fail(4);  // only an empty list gets here; the index came from it
    if (pickupAt + rec.pickupOffset < 0) {
        if (strict) {
            m_errorState.setText(QString::fromLatin1(kMinusPickupText));
            return fail(6);
        }
        rec.pickupHalfBeats = 0;
        rec.pickupOffset = 0;
    }
    if (rec.manualBars) {
        rec.tempoFromBeats = 0;
        return kOk;
    }
    uint8_t bpb = 4, unit = 4;
    if (const uint32_t nested = nestOnFail(projectInfo.getTimeSig(&bpb, &unit), 7))
        return nested;
    if (bpb == 0)
        return fail(7);
    uint32_t sb = 0, eb = 0;
    if (const uint32_t nested =
            nestOnFail(beatIndexAtAddress(rec.waveIndex, rec.toggle, rec.startAdrs, sb), 8))
        return nested;
    if (const uint32_t nested = nestOnFail(beatIndexAtAddress(rec.waveIndex, rec.toggle, rec.endAdrs, eb), 9))
        return nested;
    if (eb <= sb) {
        if (!rec.used && rec.startAdrs == 0 && rec.endAdrs == 0)
            return kOk;
        return fail(10);
    }
    const uint32_t span = eb - sb;
    const uint32_t bars = span / bpb;
    const uint32_t rem = span % bpb;
    uint32_t n = bars ? bars : 1;
    if (rec.pickupOn) {
        if (rem != 0 && rec.pickupHalfBeats > 0) {
            m_errorState.setText(QString::fromLatin1(kOddBeatText));
            return fail(11);
        }
        rec.tempoFromBeats = 1;
        if (rem != 0)
            n = bars + 1;  // the incomplete bar counts as a bar
    } else {
        rec.tempoFromBeats = rem == 0 ? 1 : 0;
    }
    if (n > std::numeric_limits<uint16_t>::max())
        return fail(10);  // more bars than a section can count
    rec.setPointCount(static_cast<uint16_t>(n));
    // In an intro with a pickup the incomplete bar stands at the start,
    // everywhere else at the end.
    const int64_t d = (rec.pickupOn && krm::isIntro(i) && rem != 0) ? static_cast<int64_t>(rem) - bpb : 0;
    for (uint32_t k = 1; k < n; ++k) {
        const int64_t beat = static_cast<int64_t>(sb) + static_cast<int64_t>(k) * bpb + d;
        uint32_t adrs = 0;
        if (const uint32_t nested =
                nestOnFail(getBeatAdrs(rec.waveIndex, rec.toggle, static_cast<uint32_t>(beat), adrs), 11))
            return nested;
        rec.barPoints[k - 1] = adrs;
        rec.barPointOffsets[k - 1] = 0;
    }
    return kOk;
}

uint32_t CKRMcore::checkPickup(uint8_t i, int32_t& start, int32_t& end)
{
    start = 0;
    end = 0;
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    uint32_t r = sectionAndWaveAt(i, sec, wave, 1);
    if (r != kOk)
        return r;
    if (wave->onsets.empty())
        return fail(2);
    // Every address of the wave lies at or before its last onset.
    const int64_t last = secondsToSamples(wave->onsets.back());
    const int64_t top = std::min<int64_t>(last, std::numeric_limits<int32_t>::max());
    const auto clampPlay = [top](int64_t v) {
        return static_cast<int32_t>(std::max<int64_t>(0, std::min(v, top)));
    };
    int32_t s = clampPlay(static_cast<int64_t>(sec->startAdrs) + sec->startOffset);
    const int32_t e = clampPlay(static_cast<int64_t>(sec->endAdrs) + sec->endOffset);
    if (sec->pickupOn && sec->pickupHalfBeats > 0) {
        int64_t entry = 0;
        if (const uint32_t nested = nestOnFail(pickupEntry(*sec, *wave, sec->pickupHalfBeats, entry), 3))
            return nested;
        int64_t p = 0;
        if (!entryAddress(*wave, entry, p))
            return fail(4);
        p += sec->pickupOffset;
        // This runs on the rendering and export threads too, where no
        // widget may be made: the clamp is logged instead of shown.
        if (p > top) {
            qWarning().noquote() << QStringLiteral("KRMproto debug: pickup address error. [%1]").arg(p);
            p = top;
        }
        if (p < 0) {
            qWarning().noquote() << QStringLiteral("KRMproto debug: pickup address error [%1]").arg(p);
            p = 0;
        }
        s = static_cast<int32_t>(p);
    }
    start = s;
    end = e;
    return kOk;
}

uint32_t CKRMcore::getSecStartAdrs(uint8_t i, uint32_t& address)
{
    address = 0;
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    uint32_t r = sectionAndWaveAt(i, sec, wave, 1);
    if (r != kOk)
        return r;
    int64_t entry = 0;
    if (const uint32_t nested =
            nestOnFail(pickupEntry(*sec, *wave, sec->pickupOn ? sec->pickupHalfBeats : 0, entry), 2))
        return nested;
    int64_t at = 0;
    if (!entryAddress(*wave, entry, at))
        return fail(3);
    address = static_cast<uint32_t>(at);
    return kOk;
}

uint32_t CKRMcore::findToggleBeat(uint8_t w, QString& message)
{
    bool reported = false;
    for (uint8_t s = 0; s < kSectionCount; ++s) {
        SectionRecord* sec = nullptr;
        uint32_t r = sectionAt(s, sec, 1);
        if (r != kOk)
            return r;
        WaveInfoRecord* wave = nullptr;
        r = projectInfo.getWaveOfSection(s, &wave);
        if (!wave)
            continue;
        if (r != kOk)
            return nest(r, 2);
        if (sec->waveIndex != w)
            continue;
        uint8_t ts = 0, te = 0;
        const uint32_t rs = beatToggleAtAddress(sec->startAdrs, *wave, ts);
        const uint32_t re = beatToggleAtAddress(sec->endAdrs, *wave, te);
        if (rs == kOk && re == kOk && ts == te) {
            SectionRecord copy(*sec);
            copy.toggle = ts;
            if (const uint32_t nested = nestOnFail(updateSecInfo(s, copy), 3))
                return nested;
            continue;
        }
        if (!reported)
            message = QStringLiteral("can't find suitable toggle beat setting :\r\n");
        reported = true;
        message += QStringLiteral("[%1]\r\n").arg(QString::fromLatin1(sectionNames[s]));
    }
    if (!message.isEmpty())
        message += QStringLiteral("edit start and end points again!");
    return kOk;
}

uint32_t CKRMcore::calcSecTempo(uint8_t i, uint32_t& tempo)
{
    SectionRecord* sec = nullptr;
    uint32_t r = sectionAt(i, sec, 1);
    if (r != kOk)
        return r;
    if (sec->endAdrs <= sec->startAdrs)
        return fail(2);
    const double length = static_cast<double>(sec->endAdrs - sec->startAdrs);
    uint8_t bpb = 4, unit = 4;
    if (const uint32_t nested = nestOnFail(projectInfo.getTimeSig(&bpb, &unit), 6))
        return nested;
    if (unit == 0)
        return fail(6);
    double value;
    if (sec->tempoFromBeats) {
        uint32_t sb = 0, eb = 0;
        if (const uint32_t nested =
                nestOnFail(beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->startAdrs, sb), 3))
            return nested;
        if (const uint32_t nested =
                nestOnFail(beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->endAdrs, eb), 4))
            return nested;
        if (eb <= sb)
            return fail(5);
        value = static_cast<double>(eb - sb) * double(krm::audio::kSamplesPerMinute) * 4.0 / unit / length;
    } else {
        value = sec->barCount * (bpb * double(krm::audio::kSamplesPerMinute) * 4.0 / unit) / length;
    }
    // A tempo that truncates to 0 (or past 32 bits) is no tempo at all.
    if (!(value >= 1.0 && value < 4294967296.0))
        return fail(7);
    tempo = static_cast<uint32_t>(value);
    return projectInfo.setWaveTempo(sec->waveIndex, tempo);
}

uint32_t CKRMcore::updateSecInfoOfWav(uint8_t w, uint8_t ref, QString& message)
{
    m_errorState.setText(QString());
    WaveInfoRecord* wave = nullptr;
    uint32_t r = waveAt(w, wave, 1);
    if (r != kOk)
        return r;
    if (const uint32_t nested = nestOnFail(estimateBarLen(w), 6))
        return nested;

    bool tempoFound = false;
    for (uint8_t s = 0; s < kSectionCount; ++s) {
        SectionRecord* sec = nullptr;
        r = sectionAt(s, sec, 7);
        if (r != kOk)
            return r;
        if (sec->waveIndex != w)
            continue;
        SectionRecord copy(*sec);
        r = setPickup(s, copy);
        if (r != kOk) {
            message = errorText();
            return nest(r, 8);
        }
        if (const uint32_t nested = nestOnFail(updateSecInfo(s, copy), 9))
            return nested;
        if (s == ref) {
            uint32_t tempo = 120;
            if (calcSecTempo(s, tempo) == kOk) {
                if (const uint32_t nested = nestOnFail(updateTempo(tempo), 10))
                    return nested;
                tempoFound = true;
            }
        }
    }
    if (const uint32_t nested = nestOnFail(findToggleBeat(w, message), 9))
        return nested;
    if (tempoFound)
        return kOk;

    // The project tempo then comes from the first used section that gives
    // one, the mains, fills, break and endings before the intros.
    const struct {
        uint8_t from, to, fetchStep, commitStep;
    } searches[2] = {{3, 14, 11, 12}, {0, 2, 13, 13}};
    for (const auto& search : searches) {
        for (uint8_t s = search.from; s <= search.to; ++s) {
            SectionRecord* sec = nullptr;
            r = sectionAt(s, sec, search.fetchStep);
            if (r != kOk)
                return r;
            if (!sec->used)
                continue;
            uint32_t tempo = 120;
            if (calcSecTempo(s, tempo) != kOk)
                continue;
            r = updateTempo(tempo);
            if (r != kOk)
                return nest(r, search.commitStep);
            return kOk;
        }
    }
    if (const uint32_t nested = nestOnFail(updateTempo(120), 14))
        return nested;
    return kOk;
}

uint32_t CKRMcore::setTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit)
{
    CKRMcore temp;
    uint32_t r = temp.setAllInfo(projectInfo);
    if (r != kOk)
        return nest(r, 1);
    if (const uint32_t nested = nestOnFail(temp.projectInfo.setTimeSignature(beatsPerBar, beatUnit), 2))
        return nested;
    if (const uint32_t nested = nestOnFail(setAllInfo(temp.projectInfo), 3))
        return nested;
    return kOk;
}

uint32_t CKRMcore::setTimeSigAndFitSec(uint8_t beatsPerBar, uint8_t beatUnit)
{
    uint32_t result = kOk;
    // The steps run until the first failure; the flags are cleared at the
    // end whatever happened.
    [&] {
        if (!undoStack) {
            result = fail(1);
            return;
        }
        CKRMcore temp;
        uint32_t r = temp.setAllInfo(projectInfo);
        if (r != kOk) {
            result = nest(r, 2);
            return;
        }
        r = temp.projectInfo.setTimeSignature(beatsPerBar, beatUnit);
        if (r != kOk) {
            result = nest(r, 3);
            return;
        }
        for (size_t w = 0; w < temp.projectInfo.waveCount(); ++w) {
            r = temp.estimateBarLen(static_cast<uint8_t>(w));
            if (r != kOk) {
                result = nest(r, 4);
                return;
            }
        }
        for (uint8_t s = 0; s < kSectionCount; ++s) {
            SectionRecord* sec = nullptr;
            r = temp.projectInfo.getSection(s, &sec);
            if (r != kOk) {
                result = nest(r, 5);
                return;
            }
            if (!sec) {
                result = fail(6);
                return;
            }
            SectionRecord copy(*sec);
            copy.used = 0;
            copy.pickupOn = 0;
            copy.pickupHalfBeats = 0;
            copy.pickupOffset = 0;
            r = temp.setPickup(s, copy);
            if (r != kOk) {
                m_errorState.setText(temp.errorText());
                result = nest(r, 7);
                return;
            }
            r = temp.updateSecInfo(s, copy);
            if (r != kOk) {
                result = nest(r, 8);
                return;
            }
        }
        r = setAllInfo(temp.projectInfo);
        if (r != kOk) {
            result = nest(r, 9);
            return;
        }
        for (uint8_t s = 0; s < kSectionCount; ++s) {
            SectionRecord* sec = nullptr;
            r = sectionAt(s, sec, 10);
            if (r != kOk) {
                result = r;
                return;
            }
        }
    }();
    clearSecWavReady();
    return result;
}

uint32_t CKRMcore::removeWav(uint8_t w)
{
    CKRMcore temp;
    uint32_t r = temp.setAllInfo(projectInfo);
    if (r != kOk)
        return nest(r, 1);
    if (const uint32_t nested = nestOnFail(temp.projectInfo.removeWave(w), 2))
        return nested;
    const bool wavesRemain = temp.projectInfo.waveCount() > 0;
    for (uint8_t s = 0; s < kSectionCount; ++s) {
        SectionRecord* sec = nullptr;
        r = temp.sectionAt(s, sec, 3);
        if (r != kOk)
            return r;
        if (sec->waveIndex == w) {
            SectionRecord copy;
            copy.waveIndex = wavesRemain ? 0 : krm::kNoWave;
            if (const uint32_t nested = nestOnFail(temp.updateSecInfo(s, copy), 4))
                return nested;
        } else if (sec->waveIndex > w && sec->waveIndex != krm::kNoWave) {
            SectionRecord copy(*sec);
            copy.waveIndex = static_cast<uint8_t>(copy.waveIndex - 1);
            if (const uint32_t nested = nestOnFail(temp.updateSecInfo(s, copy), 5))
                return nested;
        }
    }
    if (const uint32_t nested = nestOnFail(setAllInfo(temp.projectInfo), 6))
        return nested;
    return kOk;
}

uint32_t CKRMcore::setWavPath(uint8_t w, const std::wstring& path)
{
    try {
        return projectInfo.setWavePath(w, path);
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(1);
    }
}

uint32_t CKRMcore::hasAssignedSec(bool& assigned)
{
    assigned = false;
    for (uint8_t s = 0; s < kSectionCount; ++s) {
        SectionRecord* sec = nullptr;
        const uint32_t r = sectionAt(s, sec, 1);
        if (r != kOk)
            return r;
        if (sec->used) {
            assigned = true;
            return kOk;
        }
    }
    return kOk;
}
