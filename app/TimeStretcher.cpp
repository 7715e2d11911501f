#include "TimeStretcher.h"

#include "BeatGrid.h"
#include "CKRMcore.h"
#include "SectionWaveInfo.h"
#include "base/WavFile.h"

#include <QFile>

TimeStretcher::TimeStretcher(CKRMcore* core, const QString& outputPath, uint32_t sectionIndex,
                             uint32_t waveIndex)
    : sectionIndex(sectionIndex), waveIndex(waveIndex), m_core(core), m_outputPath(outputPath)
{ }

TimeStretcher::~TimeStretcher() = default;

std::vector<uint32_t> TimeStretcher::evenBeatPoints(uint32_t frames, uint32_t beats)
{
    std::vector<uint32_t> points;
    points.reserve(beats + 1);
    for (uint32_t i = 0; i < beats; ++i)
        points.push_back(uint32_t(double(frames) * double(i) / double(beats)));
    if (!points.empty() && points.back() != frames)
        points.push_back(frames - 1);
    return points;
}

uint32_t TimeStretcher::failWith(uint32_t code, const QString& text)
{
    errorStr = text;
    return code;
}

uint32_t TimeStretcher::stretchJob()
{
    if (sectionIndex > 14)
        return failWith(kNoSection, tr("no section is specified!"));
    const uint8_t s = uint8_t(sectionIndex);
    const SectionWaveInfo info(m_core, int(s));
    SectionRecord* record = nullptr;
    if (m_core->getSecInfo(s, &record) != 0 || !record)
        return failWith(kNoSectionRecord, tr("no section is specified!"));
    if (!record->used)
        return failWith(kSectionNotTrimmed, tr("trimming on is required!"));
    const float length = samplesToSeconds(record->endAdrs) - samplesToSeconds(record->startAdrs);
    if (length * 10000.0 < 1.0)
        return failWith(kRangeTooShort, tr("Selected range of waveform is too short."));
    if (info.isStretchOutOfRange())
        return failWith(kStretchOutOfRange, tr("stretch ratio error!"));
    if (!m_core->isSecWavReady(s)) {
        bool warning = false;
        if (m_core->writeTempWave(s, warning) != 0)
            return failWith(kWorkingAudioFailed, tr("stretch erro ") + m_core->errorText());
        if (warning)
            return failWith(kWorkingAudioSkipped, tr("stretch ratio error!"));
    }
    QFile file(m_outputPath);
    if (readWavHeaderFromDevice(&file, &frameCount) != 0)
        return failWith(kUnreadableResult, tr("stretch ratio error!"));
    uint8_t beatsPerBar = 4;
    uint8_t beatUnit = 4;
    if (m_core->getTimeSig(&beatsPerBar, &beatUnit) != 0)
        return failWith(kNoTimeSignature, tr("stretch ratio error!"));
    uint32_t bars = record->barCount;
    // An intro's pickup plays as a bar of its own before the first bar.
    if (krm::isIntro(s) && record->pickupOn && record->pickupHalfBeats)
        ++bars;
    beatPoints = evenBeatPoints(frameCount, uint32_t(beatsPerBar) * bars);
    return 0;
}

void TimeStretcher::doTimeStretch()
{
    const uint32_t r = stretchJob();
    emit done(r, errorStr);
}
