#pragma once
// Fixtures of the rendering and export tests: an engine whose time-stretch
// manager can be replaced, a stand-in stretcher that resamples each segment
// to its bar length at the target tempo, click recordings written as the
// work file, and readers of the exported chunks.
#include "../edit/EditFixture.h"

#include "IF_styMngr.h"
#include "IF_timeStretch.h"
#include "SectionAudio.h"
#include "Signals.h"
#include "TestUtil.h"
#include "WavFile.h"
#include "styMngr.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace export_test {

constexpr uint32_t kBeat120 = 22050;  // frames of a beat at 120 per minute

// Stereo 16-bit frames of a mono signal (both channels the same, or the
// right one scaled).
inline std::vector<uint8_t> toFrames(const std::vector<float>& mono, float rightGain = 1.0f)
{
    std::vector<uint8_t> out;
    out.reserve(mono.size() * 4);
    for (float v : mono) {
        for (float g : {1.0f, rightGain}) {
            const auto s =
                static_cast<int16_t>(std::lround(std::max(-1.0f, std::min(1.0f, v * g)) * 32767.0f));
            out.push_back(static_cast<uint8_t>(uint16_t(s)));
            out.push_back(static_cast<uint8_t>(uint16_t(s) >> 8));
        }
    }
    return out;
}

inline int16_t sampleAt(const std::vector<uint8_t>& b, size_t frame, int channel)
{
    const size_t o = frame * 4 + 2 * size_t(channel);
    return static_cast<int16_t>(uint16_t(b[o]) | (uint16_t(b[o + 1]) << 8));
}

// The data chunk of one of the program's WAV files.
inline std::vector<uint8_t> wavData(const QString& path)
{
    std::vector<uint8_t> bytes = testutil::readFile(path);
    if (bytes.size() < kWavHeaderBytes)
        return {};
    return std::vector<uint8_t>(bytes.begin() + kWavHeaderBytes, bytes.end());
}

// Stands in for the time-stretch manager: cuts the input at the positions
// as the stretch plan does, gives each segment the length of its bars at
// the target tempo (nearest-frame resampling) and reports the ratios.
// Every call is recorded.
class FakeStretch : public IF_timeStretch {
public:
    uint32_t setInfo(const TimeStretchInfo& i) override
    {
        info = i;
        return 0;
    }
    uint32_t stretch(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) override
    {
        return stretchRange(in, out, {0, static_cast<uint32_t>(in.size() / 4)});
    }
    uint32_t stretchRange(const std::vector<uint8_t>& in, std::vector<uint8_t>& out,
                          const std::vector<uint32_t>& positions) override
    {
        lastInput = in;
        lastPositions = positions;
        lastInfo = info;
        ++calls;
        if (failWith)
            return failWith;
        const size_t n = positions.size();
        if (n < 2 || (n != info.barCount + 1 && n != 2))
            return 0x80000003;
        const double barsPerSegment = n == info.barCount + 1 ? 1.0 : double(info.barCount);
        const double bar = barSamplesAt(info.numerator, info.denominator, info.tempo);
        ratios.clear();
        outOfRange = 0;
        out.clear();
        for (size_t i = 1; i < n; ++i) {
            const uint32_t start = positions[i - 1] - positions[0];
            const uint32_t length = positions[i] - positions[i - 1];
            const double ratio = bar * barsPerSegment / length;
            ratios.push_back(ratio);
            if (ratio < 0.5 || ratio > 2.0)
                outOfRange = 1;
            const auto outLength = static_cast<uint32_t>(std::ceil(length * ratio));
            for (uint32_t k = 0; k < outLength; ++k) {
                const size_t src = start + std::min<uint64_t>(length - 1, uint64_t(k) * length / outLength);
                for (int b = 0; b < 4; ++b)
                    out.push_back(4 * src + b < in.size() ? in[4 * src + b] : 0);
            }
        }
        return 0;
    }
    uint32_t getEngineOutput(uint8_t& flag, std::vector<double>& r) override
    {
        flag = outOfRange;
        r = ratios;
        return 0;
    }
    QString errorText() override { return {}; }
    void clearError() override { }
    bool hasError() override { return false; }

    TimeStretchInfo info;
    TimeStretchInfo lastInfo;
    std::vector<uint8_t> lastInput;
    std::vector<uint32_t> lastPositions;
    int calls = 0;
    uint32_t failWith = 0;
    uint8_t outOfRange = 0;
    std::vector<double> ratios;
};

// An engine with its temporary folder in a test folder and the stand-in
// stretcher in place of its own (unless told to keep its own).
class ExportCore : public edit_test::TestCore {
public:
    explicit ExportCore(const QString& folder, bool fakeStretch = true)
    {
        setResourcePath(0, 255, folder);
        if (fakeStretch) {
            delete timeStretch;
            fake = new FakeStretch;
            timeStretch = fake;
        }
    }
    ::styMngr* style() { return static_cast<::styMngr*>(styMngr); }
    using CKRMcore::raiseErrorFlag;
    const std::vector<double>& ratios(uint8_t i) const { return stretchRatios[i]; }
    CommonInfo& commonInfo()
    {
        getProjectInfo()->getCommonInfo(&common);
        return *common;
    }
    // Stores a record as it is, without the checks of an edit.
    void putSection(uint8_t i, const SectionRecord& rec) { getProjectInfo()->setSectionInfo(i, rec); }

    FakeStretch* fake = nullptr;

private:
    CommonInfo* common = nullptr;
};

// A wave with half-beat entries every `beat / 2` frames from 0 over
// `beats` beats, and an onset on every beat.
inline WaveInfoRecord* beatWave(uint32_t beat, uint32_t beats)
{
    std::vector<uint32_t> halfBeats, onsets;
    for (uint32_t k = 0; k <= 2 * beats; ++k)
        halfBeats.push_back(k * beat / 2);
    for (uint32_t k = 0; k <= beats; ++k)
        onsets.push_back(k * beat);
    return edit_test::makeWave(halfBeats, 1, onsets);
}

// A click recording at `bpm` (clicks on the beats, the right channel at
// half level) of `frames` frames, written as the work file.
inline std::vector<uint8_t> writeClickWorkFile(const QString& folder, double bpm, uint32_t frames)
{
    const testsig::Signal clicks = testsig::clickTrack(bpm, frames / 44100.0 + 0.1, 0.8f, 256);
    std::vector<uint8_t> bytes = toFrames(clicks.samples, 0.5f);
    bytes.resize(size_t(frames) * 4);
    writeWavFile(folder + "/KRM_temp.wav", bytes.data(), uint32_t(bytes.size()));
    return bytes;
}

// A project over a recording: one wave with a beat grid of `beats` beats
// of `beat` frames and an onset on each, the recording as the work file,
// and the engine's temporary folder in a test folder.
struct RecordedProject {
    testutil::TempDir dir;
    edit_test::QuietMessages quiet;
    QString folder;
    uint32_t beat;
    std::unique_ptr<ExportCore> core;
    std::vector<uint8_t> work;

    RecordedProject(uint32_t beatFrames, uint32_t beats, bool fakeStretch)
        : folder(QFileInfo(dir.path("x")).absolutePath()),
          beat(beatFrames),
          core(std::make_unique<ExportCore>(folder, fakeStretch))
    {
        core->addWave(beatWave(beat, beats));
    }
    // Writes 16-bit stereo frames as the work file.
    void record(std::vector<uint8_t> frames)
    {
        work = std::move(frames);
        writeWavFile(folder + "/KRM_temp.wav", work.data(), uint32_t(work.size()));
    }
    // Section i over beats [from, to), set as the user's edit would set it
    // (bar count and bar lines from the grid).
    uint32_t setSection(uint8_t i, uint32_t from, uint32_t to, uint8_t pickupOn = 0, uint8_t halfBeats = 0)
    {
        SectionRecord rec = edit_test::section(0, from * beat, to * beat);
        rec.pickupOn = pickupOn;
        rec.pickupHalfBeats = halfBeats;
        return core->setSecInfo(i, rec);
    }
    // Frames [from, to) of the recording.
    std::vector<uint8_t> workFrames(uint32_t from, uint32_t to) const
    {
        return std::vector<uint8_t>(work.begin() + 4 * size_t(from), work.begin() + 4 * size_t(to));
    }
    uint32_t render(uint8_t i, bool& skipped) { return core->makeSectionAudio(i, skipped); }
};

// A project over a click recording at `bpm` (see writeClickWorkFile).
struct ClickProject : RecordedProject {
    explicit ClickProject(double bpm = 120.0, uint32_t beats = 24, bool fakeStretch = true)
        : RecordedProject(uint32_t(std::lround(44100.0 * 60.0 / bpm)), beats, fakeStretch)
    {
        work = writeClickWorkFile(folder, bpm, beats * beat);
    }
};

// Renders Main A as one bar of 30000 frames by hand, which would have to
// become 88200 frames at 120: the section is skipped and listed with its
// ratio, nothing is written and what was recorded of it is cleared.
inline void expectOneShortBarSkipped(ClickProject& p)
{
    SectionRecord rec = edit_test::section(0, 0, 30000);
    rec.barCount = 1;
    rec.manualBars = 1;
    rec.renderedFrames = 5;
    p.core->putSection(3, rec);
    p.core->setReady(3);
    bool skipped = false;
    EXPECT_EQ(p.render(3, skipped), 0u);
    EXPECT_TRUE(skipped);
    EXPECT_FALSE(QFile::exists(p.core->sectionWavePath(3)));
    EXPECT_EQ(p.core->sec(3).renderedFrames, 0u);
    EXPECT_FALSE(p.core->isSecWavReady(3));
    EXPECT_EQ(p.core->errorText(), "Stretch ratio error! [Main A : 2.94]\r\n");
}

// One chunk of an exported file: tag and body.
struct Chunk {
    std::string tag;
    size_t offset = 0;  // of the body
    uint32_t length = 0;
};

// The chunks of a container body (or of the whole file) in order; stops at
// the first chunk that does not fit.
inline std::vector<Chunk> chunksOf(const std::vector<uint8_t>& b, size_t from, size_t to)
{
    std::vector<Chunk> out;
    size_t p = from;
    while (p + 8 <= to) {
        Chunk c;
        c.tag.assign(reinterpret_cast<const char*>(&b[p]), 4);
        c.length =
            (uint32_t(b[p + 4]) << 24) | (uint32_t(b[p + 5]) << 16) | (uint32_t(b[p + 6]) << 8) | b[p + 7];
        c.offset = p + 8;
        if (c.offset + c.length > to)
            break;
        out.push_back(c);
        p = c.offset + c.length;
    }
    return out;
}

// The files in a folder, sorted.
inline QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace export_test
