// Export preparation of the project engine: every used section's rendered
// file goes to the style manager's audio model with a wave-info text, the
// levels are optionally normalised, and the style manager writes the file
// with the project's tempo, time signature, lengths and bar counts.
#include "CKRMcore.h"

#include "ExportText.h"
#include "IF_styMngr.h"
#include "SectionAudio.h"
#include "base/ResultCode.h"
#include "base/WavFile.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;

namespace {

int16_t sampleAt(const uint8_t* p)
{
    return static_cast<int16_t>(uint16_t(p[0]) | (uint16_t(p[1]) << 8));
}

float peakOf(const uint8_t* data, uint32_t bytes)
{
    int32_t peak = 0;
    for (uint32_t k = 0; k + 1 < bytes; k += 2)
        peak = std::max(peak, std::abs(int32_t(sampleAt(data + k))));
    return float(peak);
}

}  // namespace

const std::string& defaultWaveInfoText()
{
    static const std::string text = "$SFormatTag$,0x0001,\n"
                                    "$OriginalTempo$,500000,\n"
                                    "$OriginalTimeSignature$,4,2,24,8,\n"
                                    "$PPQ$,480,\n"
                                    "$SampleSize$,22050,\n"
                                    "$NumberOfBars$,1,\n"
                                    "$SyncroPoint$,0,\n"
                                    "$BeatPoint$,0,\n"
                                    "$OnsetPoint$,0,\n"
                                    "$AttackPoint$,0,\n"
                                    "$TempoInfo$,0,\n"
                                    "$Volume$,80,\n";
    return text;
}

void toUtf8String(const std::wstring& text, std::string& out)
{
    out = QString::fromStdWString(text).toUtf8().toStdString();
}

uint32_t CKRMcore::exportSty(const std::wstring& path, uint32_t& size, uint16_t& attackMask,
                             uint16_t& beatMask, uint16_t& syncMask)
{
    const uint32_t r = writeStyleFile(path, size, attackMask, beatMask, syncMask);
    if (r != kOk) {
        // Every failure leaves a text: the first of the chain (the step
        // that found the cause), else the style manager's, else the code.
        if (styMngr)
            m_errorState.setTextOnce(styMngr->errorText());
        m_errorState.setTextOnce(krm::exportErrorText(r));
    }
    return r;
}

uint32_t CKRMcore::writeStyleFile(const std::wstring& path, uint32_t& size, uint16_t& attackMask,
                                  uint16_t& beatMask, uint16_t& syncMask)
{
    size = 0;
    if (!styMngr)
        return fail(1);
    try {
        if (const uint32_t r = sendAllSectionAudio())
            return nest(r, 2);
        CommonInfo* common = nullptr;
        if (const uint32_t r = projectInfo.getCommonInfo(&common); r != kOk || !common)
            return nest(r, 3);
        if (common->normalizeOn) {
            if (const uint32_t r = normalizeSectionLevels())
                return nest(r, 3);
        }
        StyleInfo info;
        if (const uint32_t r = projectInfo.getTimeSig(&info.beatsPerBar, &info.beatUnit))
            return nest(r, 4);
        info.tempo = common->tempo;
        for (uint8_t i = 0; i < kSectionCount; ++i) {
            SectionRecord* sec = nullptr;
            if (const uint32_t r = sectionAt(i, sec, 5))
                return r;
            if (sec->used && sec->renderedFrames == 0)
                return fail(6);
            info.sectionLength[i] = sec->renderedFrames;
            // A pickup before the first bar plays as a bar of its own.
            info.sectionBars[i] = sec->barCount + (sec->pickupOn && sec->pickupHalfBeats > 0 ? 1 : 0);
        }
        if (const uint32_t r = styMngr->setStyleInfo(info))
            return nest(r, 7);
        const uint32_t r = styMngr->exportStyle(path, size, attackMask, beatMask, syncMask);
        // The export's own state decides the flag: what ran out of memory
        // before it (an audition, say) no longer stands against the file.
        if (styMngr->hasError()) {
            m_errorState.raiseFlag();
        } else if (m_errorState.hasError()) {
            const QString text = m_errorState.errorText();
            m_errorState.clearError();
            m_errorState.setText(text);
        }
        return r == kOk ? kOk : nest(r, 8);
    } catch (...) {
        m_errorState.setText(m_errorState.errorText() + styMngr->errorText());
        m_errorState.raiseFlag();
        return fail(9);
    }
}

uint32_t CKRMcore::sendAllSectionAudio()
{
    if (!styMngr)
        return fail(1);
    styMngr->clearAudio();
    for (uint8_t i = 0; i < kSectionCount; ++i) {
        SectionRecord* sec = nullptr;
        if (projectInfo.getSection(i, &sec) != kOk || !sec)
            return fail(1);
        if (sec->used && sendSectionAudio(i) != kOk)
            return fail(2);
    }
    return kOk;
}

uint32_t CKRMcore::usedSectionForStyle(uint8_t i, SectionRecord*& sec, WaveInfoRecord*& wave)
{
    if (!styMngr)
        return fail(1);
    if (projectInfo.getSecAndWave(i, &sec, &wave) != kOk || !sec || !wave)
        return fail(2);
    return sec->used ? kOk : fail(3);
}

uint32_t CKRMcore::sendSectionAudio(uint8_t i)
{
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t r = usedSectionForStyle(i, sec, wave))
        return r;
    const QString path = sectionWavePath(i);
    std::string text;
    try {
        text = defaultWaveInfoText();
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(4);
    }
    const QFileInfo file(path);
    if (!file.exists()) {
        m_errorState.setText(path + "\r\ndoes not exist.");
        return fail(6);
    }
    std::string base, full;
    toUtf8String(file.completeBaseName().toStdWString(), base);
    toUtf8String(path.toStdWString(), full);
    if (base.empty() || full.empty())
        return fail(7);
    CommonInfo* common = nullptr;
    if (const uint32_t r = projectInfo.getCommonInfo(&common); r != kOk || !common)
        return nest(r, 8);
    CommonInfo levels = *common;
    const uint8_t id = styMngr->sectionToStyleId(i);
    if (const uint32_t r = styMngr->setSectionAudio(text.data(), uint32_t(text.size()), base.data(),
                                                    uint32_t(base.size()), full.data(), uint32_t(full.size()),
                                                    id, &levels.volume, &levels.pan, &levels.reverb))
        return nest(r, 9);
    // What the audio model made of the levels is kept without an undo step:
    // this runs on the export's thread.
    if (const uint32_t r = projectInfo.setCommonInfo(levels))
        return nest(r, 0xA);
    return kOk;
}

uint32_t CKRMcore::normalizeSectionLevels()
{
    struct Present {
        uint8_t section;
        float peak;
    };
    std::vector<Present> present;
    float loudest = 0.0f;
    // Peaks first, one file in memory at a time.
    for (uint8_t i = 0; i < kSectionCount; ++i) {
        SectionRecord* sec = nullptr;
        if (projectInfo.getSection(i, &sec) != kOk || !sec)
            return fail(1);
        if (!sec->used)
            continue;
        std::unique_ptr<uint8_t[]> data;
        uint32_t bytes = 0;
        bool outOfMemory = false;
        if (loadWavFile(sectionWavePath(i), data, &bytes, &outOfMemory) != kOk) {
            if (outOfMemory)
                m_errorState.raiseFlag();
            m_errorState.setTextOnce(krm::waveReadErrorText(sectionWavePath(i)));
            return fail(3);
        }
        if (bytes == 0)
            continue;
        const float peak = peakOf(data.get(), bytes);
        present.push_back({i, peak});
        loudest = std::max(loudest, peak);
    }
    if (loudest == 0.0f)
        return kOk;

    CommonInfo* common = nullptr;
    const uint8_t blend = projectInfo.getCommonInfo(&common) == kOk && common ? common->normalizeBlend : 50;
    const float commonGain = 32767.0f / loudest;
    for (const Present& p : present) {
        if (p.peak == 0.0f)
            continue;
        // A blend of the gain that brings the loudest file to full scale
        // and the file's own gain to full scale, in percent.
        const float shared = float(100 - int(blend)) * commonGain;
        const float own = float(blend) * (32767.0f / p.peak);
        const float gain = float(double(shared) / 100.0 + double(own) / 100.0);
        if (!(gain > 1.0f))
            continue;
        const QString path = sectionWavePath(p.section);
        std::unique_ptr<uint8_t[]> data;
        uint32_t bytes = 0;
        bool outOfMemory = false;
        if (loadWavFile(path, data, &bytes, &outOfMemory) != kOk) {
            if (outOfMemory)
                m_errorState.raiseFlag();
            m_errorState.setTextOnce(krm::waveReadErrorText(path));
            return fail(3);
        }
        for (uint32_t k = 0; k + 1 < bytes; k += 2) {
            const float scaled = float(sampleAt(data.get() + k)) * gain;
            const auto v = static_cast<int16_t>(std::clamp(std::trunc(scaled), -32768.0f, 32767.0f));
            data[k] = static_cast<uint8_t>(uint16_t(v));
            data[k + 1] = static_cast<uint8_t>(uint16_t(v) >> 8);
        }
        if (writeWavFile(path, data.get(), bytes) != kOk) {
            m_errorState.setTextOnce(krm::writeErrorText(path));
            return fail(4);
        }
        secWavReady[p.section] = 0;
    }
    return kOk;
}
