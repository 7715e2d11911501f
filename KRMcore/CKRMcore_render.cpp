// Section audio rendering of the project engine: the play range of a
// section is read from the work file, completed to whole bars with
// silence where the section needs it, stretched to the project tempo,
// faded and written as the section's working file.
#include "CKRMcore.h"

#include "BeatGrid.h"
#include "IF_styMngr.h"
#include "IF_timeStretch.h"
#include "SectionAudio.h"
#include "base/AudioFormat.h"
#include "base/IF_audioFileMngr.h"
#include "base/ResultCode.h"
#include "base/SectionNames.h"
#include "base/WavFile.h"

#include <QDataStream>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;

namespace {

constexpr uint32_t kReadBlockFrames = 4096;
// A work file may end this many frames before the play range does (the
// last onset's address is rounded up); the gap is filled with silence.
constexpr uint32_t kToleratedShortfall = 2;

const char* nameOf(uint8_t i)
{
    return i < kSectionCount ? sectionNames[i] : "";
}

uint32_t playStart(const SectionRecord& rec)
{
    return rec.startAdrs + static_cast<uint32_t>(rec.startOffset);
}

uint32_t playEnd(const SectionRecord& rec)
{
    return rec.endAdrs + static_cast<uint32_t>(rec.endOffset);
}

uint32_t lastOnsetAddress(const WaveInfoRecord& wave)
{
    return wave.onsets.empty() ? 0 : secondsToSamples(wave.onsets.back());
}

void appendSilence(std::vector<uint8_t>& buffer, int64_t frames)
{
    if (frames > 0)
        buffer.insert(buffer.end(), static_cast<size_t>(frames) * krm::audio::kBytesPerFrame, 0);
}

// The ratio farthest from 1 (as max(x, 1/x)); 1.0 when every ratio is 1.
double worstRatio(const std::vector<double>& ratios)
{
    const auto distance = [](double x) { return std::max(x, 1.0 / x); };
    double worst = 1.0;
    for (double x : ratios) {
        if (worst == 1.0) {
            if (x != 1.0)
                worst = x;
        } else if (distance(x) > distance(worst)) {
            worst = x;
        }
    }
    return worst;
}

}  // namespace

// ---------------------------------------------------------------- free routines

uint32_t applyFade(std::vector<uint8_t>& buffer, uint32_t n, uint8_t mask)
{
    const size_t frames = buffer.size() / krm::audio::kBytesPerFrame;
    if (n == 0 || frames < n)
        return kOk;
    const auto scaleFrame = [&buffer](size_t frame, double g) {
        for (size_t c = 0; c < 2; ++c) {
            uint8_t* p = buffer.data() + frame * krm::audio::kBytesPerFrame + 2 * c;
            const int16_t v = static_cast<int16_t>(uint16_t(p[0]) | (uint16_t(p[1]) << 8));
            const auto out = static_cast<uint16_t>(static_cast<int32_t>((v * g) * g));
            p[0] = static_cast<uint8_t>(out);
            p[1] = static_cast<uint8_t>(out >> 8);
        }
    };
    if (mask & 1) {
        for (uint32_t k = 0; k < n; ++k)
            scaleFrame(k, double(k) / double(n));
    }
    if (mask & 2) {
        for (uint32_t k = 0; k < n; ++k)
            scaleFrame(frames - 1 - k, double(k) / double(n));
    }
    return kOk;
}

int32_t barSamplesAt(uint8_t beatsPerBar, uint8_t beatUnit, uint32_t tempo)
{
    if (beatUnit == 0 || tempo == 0)
        return 0;
    return static_cast<int32_t>(
        std::ceil(double(beatsPerBar) * krm::audio::kSamplesPerMinute * 4.0 / beatUnit / double(tempo)));
}

// ---------------------------------------------------------------- paths

QString CKRMcore::sectionWavePath(uint8_t i) const
{
    return tempFolder + "/KRM_temp_" + QString::fromLatin1(nameOf(i)) + ".wav";
}

// ---------------------------------------------------------------- one section

uint32_t CKRMcore::writeTempWave(uint8_t i, bool& skipped)
{
    skipped = false;
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t r = getSecAndWavInfo(i, &sec, &wave))
        return nest(r, 1);
    if (!sec || !wave)
        return fail(1);
    const std::unique_ptr<IF_audioFileMngr> files(createAudioFileMngr());
    if (!files)
        return fail(2);
    if (const uint32_t r = files->copyAudioFile(wave->path, tempFolder + "/KRM_temp.wav")) {
        // The manager's cause (a file gone, a refused kind, a full disk)
        // outlives the temporary manager.
        setErrorTextOnce(files->errorText());
        return nest(r, 2);
    }
    if (const uint32_t r = makeSectionAudio(i, skipped))
        return nest(r, 3);
    return kOk;
}

uint32_t CKRMcore::makeSectionAudio(uint8_t i, bool& skipped)
{
    skipped = false;
    try {
        SectionRecord* sec = nullptr;
        WaveInfoRecord* wave = nullptr;
        if (const uint32_t r = usedSectionForStyle(i, sec, wave))
            return r;
        const QString name = QString::fromLatin1(nameOf(i));
        const uint32_t last = lastOnsetAddress(*wave);
        const uint32_t s = playStart(*sec);
        const uint32_t e = playEnd(*sec);
        if (e <= s || s > last || e > last) {
            m_errorState.setText(QString("section area error! [%1 : %2 - %3]").arg(name).arg(s).arg(e));
            return fail(4);
        }
        if (sec->barCount == 0) {
            m_errorState.setText(QString("section area is too short! [%1]").arg(name));
            return fail(5);
        }

        uint32_t frames = 0;
        uint8_t ratioError = 0;
        const uint32_t r = sec->tempoFromBeats ? writeSectionWaveByBeats(i, frames, ratioError)
                                               : writeSectionWaveByBars(i, frames, ratioError);
        SectionRecord copy(*sec);
        if (ratioError) {
            // Out of the engine's range: nothing is written, the caller
            // reports the sections listed in the error text.
            skipped = true;
            copy.renderedFrames = 0;
            if (const uint32_t u = updateSecInfo(i, copy))
                return nest(u, 6);
            secWavReady[i] = 0;
            return kOk;
        }
        if (r != kOk) {
            const char* text = m_errorState.hasError() ? "Memory Full! [%1 : %2]"
                                                       : "Export sty process returns some error! [%1 : %2]";
            m_errorState.setText(QString(text).arg(name).arg(r, 0, 16));
            return nest(r, 7);
        }
        copy.renderedFrames = frames;
        if (const uint32_t u = updateSecInfo(i, copy))
            return nest(u, 8);
        secWavReady[i] = 1;
        return kOk;
    } catch (...) {
        m_errorState.raiseFlag();
        return fail(9);
    }
}

uint32_t CKRMcore::writeRenderedSection(uint8_t i, const std::vector<uint8_t>& output)
{
    return writeWavFile(sectionWavePath(i), output.data(), static_cast<uint32_t>(output.size()));
}

uint32_t CKRMcore::beginRendering(uint8_t i, uint32_t& frames, uint8_t& ratioError, SectionRecord*& sec,
                                  WaveInfoRecord*& wave)
{
    frames = 0;
    ratioError = 0;
    if (!timeStretch)
        return fail(1);
    return sectionAndWaveAt(i, sec, wave, 2);
}

uint32_t CKRMcore::writeSectionWaveByBars(uint8_t i, uint32_t& frames, uint8_t& ratioError)
{
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t r = beginRendering(i, frames, ratioError, sec, wave))
        return r;
    const uint32_t s = playStart(*sec);
    uint32_t e = playEnd(*sec);
    const uint32_t length = e - s;
    const uint32_t last = lastOnsetAddress(*wave);
    // An end on the last onset (or one frame past it) stays inside the audio.
    if (last <= e && uint64_t(e) <= uint64_t(last) + 1)
        e = last - 1;
    if (e <= s || e > last)
        return fail(3);
    if (length > last)
        return fail(4);

    std::vector<uint8_t> input;
    input.reserve(size_t(length) * krm::audio::kBytesPerFrame);
    if (const uint32_t r = readSectionAudio(i, input))
        return nest(r, 0xA);
    uint8_t beatsPerBar = 4, beatUnit = 4;
    if (const uint32_t r = projectInfo.getTimeSig(&beatsPerBar, &beatUnit))
        return nest(r, 5);
    if (beatsPerBar == 0 || beatUnit == 0)
        return fail(5);

    std::vector<uint8_t> output;
    const uint32_t r =
        stretchSectionWhole(beatsPerBar, beatUnit, i, sec->barCount, input, output, ratioError);
    if (ratioError)
        return kOk;
    if (r != kOk)
        return nest(r, 6);
    input = std::vector<uint8_t>();
    if (sec->fadeOn) {
        if (const uint32_t f = applyFade(output, fadeLength, 3))
            return nest(f, 7);
    }
    if (output.empty())
        return fail(8);
    if (writeRenderedSection(i, output) != kOk)
        return fail(9);
    frames = static_cast<uint32_t>(output.size() / krm::audio::kBytesPerFrame);
    return kOk;
}

uint32_t CKRMcore::writeSectionWaveByBeats(uint8_t i, uint32_t& frames, uint8_t& ratioError)
{
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t r = beginRendering(i, frames, ratioError, sec, wave))
        return r;
    uint8_t beatsPerBar = 4, beatUnit = 4;
    if (const uint32_t r = projectInfo.getTimeSig(&beatsPerBar, &beatUnit))
        return nest(r, 3);
    if (sec->barCount == 0 || beatsPerBar == 0 || beatUnit == 0)
        return fail(3);
    const uint32_t tempo = projectTempo();
    if (tempo == 0)
        return fail(0xC);  // no bar length exists at 0 beats per minute
    const uint32_t bars = sec->barCount;

    std::vector<uint32_t> positions;
    positions.reserve(size_t(bars) + 2);
    if (const uint32_t r = buildBarPositions(*sec, positions, lastOnsetAddress(*wave)))
        return nest(r, 4);
    const int32_t barSamples = barSamplesAt(beatsPerBar, beatUnit, tempo);

    int32_t leadFrames = 0;
    uint8_t extraBar = 0, leadFlag = 0, tailFlag = 0;
    uint32_t firstBarLength = 0;
    if (const uint32_t r = calcSectionPadding(beatsPerBar, i, *sec, leadFrames, extraBar, barSamples,
                                              firstBarLength, leadFlag, tailFlag, positions))
        return nest(r, 5);
    std::vector<uint8_t> input;
    // A pickup bar is put in front even when its pickup fills it (no
    // silence to add): the stretcher is told of one bar more and must get
    // its position.
    if (leadFlag || extraBar) {
        if (const uint32_t r =
                padSectionStart(bars, leadFrames, extraBar, barSamples, firstBarLength, positions, input))
            return nest(r, 6);
    }
    if (const uint32_t r = readSectionAudio(i, input))
        return nest(r, 7);
    if (tailFlag) {
        if (const uint32_t r = padSectionEnd(bars, barSamples, positions, input))
            return nest(r, 8);
    }

    std::vector<uint8_t> output;
    const uint32_t r =
        stretchSectionPerBar(beatsPerBar, beatUnit, i, bars, extraBar, positions, input, output, ratioError);
    if (ratioError)
        return kOk;
    if (r != kOk)
        return nest(r, 9);
    input = std::vector<uint8_t>();
    if (sec->fadeOn) {
        if (const uint32_t f = applyFade(output, fadeLength, 3))
            return nest(f, 0xA);
    }
    if (const uint32_t w = writeRenderedSection(i, output))
        return nest(w, 0xB);
    frames = static_cast<uint32_t>(output.size() / krm::audio::kBytesPerFrame);
    return kOk;
}

// ---------------------------------------------------------------- reading the play range

uint32_t CKRMcore::readSectionAudio(uint8_t i, std::vector<uint8_t>& buffer)
{
    int32_t start = 0, end = 0;
    if (const uint32_t r = checkPickup(i, start, end))
        return nest(r, 1);
    try {
        QFile file(tempFolder + "/KRM_temp.wav");
        QDataStream stream;
        uint32_t fileFrames = 0;
        // A work file that is missing or not ours would otherwise read as
        // an empty range and render silence.
        if (openWavStream(&file, stream, &fileFrames) != kOk)
            return fail(4);
        const uint32_t first = static_cast<uint32_t>(std::max(start, 0));
        if (first > fileFrames)
            return fail(2);
        // The frames before the range are skipped, not converted.
        for (qint64 skip = qint64(first) * krm::audio::kBytesPerFrame; skip > 0;) {
            const int n = int(std::min<qint64>(skip, 1 << 30));
            if (stream.skipRawData(n) != n)
                return fail(2);
            skip -= n;
        }
        uint32_t framesLeft = fileFrames - first;

        uint32_t wanted = end > start ? static_cast<uint32_t>(end - start) : 0;
        buffer.reserve(buffer.size() + size_t(wanted) * krm::audio::kBytesPerFrame);
        std::vector<float> block(2 * size_t(kReadBlockFrames));
        std::vector<char> work;
        while (wanted > 0) {
            const uint32_t n = std::min(kReadBlockFrames, wanted);
            uint32_t got = 0;
            bool outOfMemory = false;
            if (readWavFrames(stream, n, block.data(), &got, &outOfMemory, &framesLeft, work) != kOk) {
                if (outOfMemory)
                    throw std::bad_alloc();
                break;
            }
            for (size_t k = 0; k < 2 * size_t(got); ++k) {
                const auto v =
                    static_cast<uint16_t>(static_cast<int32_t>(block[k] * krm::audio::kFloatToShort));
                buffer.push_back(static_cast<uint8_t>(v));
                buffer.push_back(static_cast<uint8_t>(v >> 8));
            }
            wanted -= got;
            if (got < n)
                break;
        }
        if (wanted > kToleratedShortfall)
            return fail(5);
        appendSilence(buffer, wanted);
        return kOk;
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return fail(3);
    }
}

// ---------------------------------------------------------------- bar positions and silence

uint32_t CKRMcore::buildBarPositions(const SectionRecord& rec, std::vector<uint32_t>& positions,
                                     uint32_t last)
{
    const uint32_t bars = rec.barCount;
    uint32_t step = 1;
    try {
        positions.push_back(playStart(rec));
        step = 3;
        for (uint32_t k = 1; k < bars && k - 1 < rec.barPoints.size() && k - 1 < rec.barPointOffsets.size();
             ++k) {
            const uint32_t p = rec.barPoints[k - 1] + static_cast<uint32_t>(rec.barPointOffsets[k - 1]);
            if (p <= positions.back())
                return fail(2);
            positions.push_back(p);
        }
        step = 6;
        uint32_t e = playEnd(rec);
        if (last <= e && uint64_t(e) <= uint64_t(last) + 2) {
            if (last == 0)
                return fail(4);
            e = last - 1;
        } else if (uint64_t(e) > uint64_t(last) + 2) {
            return fail(4);
        }
        if (e <= positions.back())
            return fail(5);
        positions.push_back(e);
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return fail(step);
    }
    return positions.size() == size_t(bars) + 1 ? kOk : fail(7);
}

uint32_t CKRMcore::calcSectionPadding(uint8_t beatsPerBar, uint8_t i, const SectionRecord& rec,
                                      int32_t& leadFrames, uint8_t& extraBar, int32_t barLength,
                                      uint32_t& firstBarLength, uint8_t& leadFlag, uint8_t& tailFlag,
                                      const std::vector<uint32_t>& positions)
{
    leadFrames = 0;
    leadFlag = 0;
    tailFlag = 0;
    extraBar = 0;
    uint32_t sb = 0, eb = 0;
    if (const uint32_t r = beatIndexAtAddress(rec.waveIndex, rec.toggle, rec.startAdrs, sb))
        return nest(r, 1);
    if (const uint32_t r = beatIndexAtAddress(rec.waveIndex, rec.toggle, rec.endAdrs, eb))
        return nest(r, 2);
    if (beatsPerBar == 0)
        return fail(4);
    const int64_t span = int64_t(eb) - int64_t(sb);
    const int64_t rem = ((span % beatsPerBar) + beatsPerBar) % beatsPerBar;
    if (!rec.pickupOn)
        return kOk;
    const bool intro = krm::isIntro(i);
    if (krm::isEnding(i)) {
        tailFlag = rem != 0 ? 1 : 0;
        return kOk;
    }
    if (!intro)
        return kOk;

    int64_t lead = 0;
    if (rec.pickupHalfBeats > 0) {
        extraBar = 1;
        int32_t pickupStart = 0, end = 0;
        if (const uint32_t r = checkPickup(i, pickupStart, end))
            return nest(r, 3);
        firstBarLength = positions.size() >= 2 ? positions[1] - positions[0] : 0;
        lead = int64_t(firstBarLength) - (int64_t(playStart(rec)) - pickupStart);
    } else if (rem != 0) {
        const int64_t w = rec.barCount < 2 || positions.size() < 3 ? int64_t(barLength)
                                                                   : int64_t(positions[2]) - positions[1];
        lead = w * (beatsPerBar - rem) / beatsPerBar;
    }
    leadFrames = static_cast<int32_t>(
        std::clamp<int64_t>(lead, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    leadFlag = leadFrames > 0 ? 1 : 0;
    return kOk;
}

uint32_t CKRMcore::padSectionStart(uint32_t bars, int32_t leadFrames, uint8_t extraBar, int32_t /*barLength*/,
                                   uint32_t firstBarLength, std::vector<uint32_t>& positions,
                                   std::vector<uint8_t>& buffer)
{
    if (positions.size() < size_t(bars) + 1)
        return fail(2);
    try {
        appendSilence(buffer, leadFrames);
        const uint32_t origin = positions[0];
        if (extraBar) {
            // The pickup bar (silence and pickup audio) goes in front of
            // the section's first bar as one bar of the first bar's length;
            // a pickup longer than that bar makes the pickup bar as long as
            // the pickup, so that the section's bars keep their audio.
            const uint32_t pickupBar = firstBarLength + (leadFrames < 0 ? uint32_t(-int64_t(leadFrames)) : 0);
            positions.resize(size_t(bars) + 2);
            for (size_t j = size_t(bars) + 1; j >= 1; --j)
                positions[j] = positions[j - 1] - origin + pickupBar;
        } else {
            for (size_t j = bars; j >= 1; --j)
                positions[j] = positions[j] - origin + static_cast<uint32_t>(leadFrames);
        }
        positions[0] = 0;
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return fail(1);
    }
    return kOk;
}

uint32_t CKRMcore::padSectionEnd(uint32_t bars, int32_t barLength, std::vector<uint32_t>& positions,
                                 std::vector<uint8_t>& buffer)
{
    if (bars == 0 || positions.size() < size_t(bars) + 1)
        return fail(3);
    int64_t pad = 0;
    if (bars > 1) {
        const uint32_t before = positions[bars - 1] - positions[bars - 2];
        const uint32_t lastBar = positions[bars] - positions[bars - 1];
        if (before == 0)
            return fail(1);
        pad = before > lastBar ? int64_t(before - lastBar) : 0;
    } else {
        pad = int64_t(barLength) - int64_t(positions[1] - positions[0]);
    }
    try {
        appendSilence(buffer, pad);
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return fail(2);
    }
    // A negative pad ends the one bar at the bar length; the buffer keeps
    // its audio, the stretch reads only up to the last position.
    positions[bars] = static_cast<uint32_t>(int64_t(positions[bars]) + pad);
    return kOk;
}

// ---------------------------------------------------------------- stretching

uint8_t CKRMcore::noteStretchRatios(uint8_t i)
{
    uint8_t outOfRange = 0;
    std::vector<double> ratios;
    timeStretch->getEngineOutput(outOfRange, ratios);
    if (outOfRange) {
        m_errorState.setText(m_errorState.errorText() + QString("Stretch ratio error! [%1 : %2]\r\n")
                                                            .arg(QString::fromLatin1(nameOf(i)))
                                                            .arg(worstRatio(ratios), 0, 'g', 6));
    }
    if (i < kSectionCount)
        stretchRatios[i] = std::move(ratios);
    return outOfRange ? 1 : 0;
}

uint32_t CKRMcore::stretchSectionWhole(uint8_t beatsPerBar, uint8_t beatUnit, uint8_t i, uint32_t bars,
                                       const std::vector<uint8_t>& input, std::vector<uint8_t>& output,
                                       uint8_t& ratioError)
{
    const TimeStretchInfo info {projectTempo(), beatsPerBar, beatUnit, bars};
    if (const uint32_t r = timeStretch->setInfo(info))
        return nest(r, 1);
    const uint32_t r = timeStretch->stretch(input, output);
    ratioError = noteStretchRatios(i);
    if (r != kOk) {
        if (timeStretch->hasError())
            m_errorState.raiseFlag();
        if (!ratioError)
            return nest(r, 2);
    }
    return kOk;
}

uint32_t CKRMcore::stretchSectionPerBar(uint8_t beatsPerBar, uint8_t beatUnit, uint8_t i, uint32_t bars,
                                        uint8_t extraBar, const std::vector<uint32_t>& positions,
                                        const std::vector<uint8_t>& input, std::vector<uint8_t>& output,
                                        uint8_t& ratioError)
{
    const TimeStretchInfo info {projectTempo(), beatsPerBar, beatUnit, extraBar ? bars + 1 : bars};
    if (const uint32_t r = timeStretch->setInfo(info))
        return nest(r, 1);
    const uint32_t r = timeStretch->stretchRange(input, output, positions);
    ratioError = noteStretchRatios(i);
    if ((r != kOk || output.empty()) && !ratioError)
        return nest(r, 2);
    return kOk;
}
