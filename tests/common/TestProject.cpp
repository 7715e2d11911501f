#include "TestProject.h"

#include "BeatGrid.h"
#include "CKRMcore.h"
#include "Signals.h"
#include "WavFile.h"

#include <QDir>

#include <algorithm>
#include <cmath>

namespace testproject {

namespace {

// Little-endian 16-bit stereo frames of `left` and `right`, `frames` long.
std::vector<uint8_t> pcmBytes(const std::vector<float>& left, const std::vector<float>& right,
                              uint32_t frames)
{
    std::vector<uint8_t> bytes(size_t(frames) * 4);
    const auto put = [&](size_t at, float v) {
        const int s = int(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
        bytes[at] = uint8_t(s & 0xFF);
        bytes[at + 1] = uint8_t((s >> 8) & 0xFF);
    };
    for (uint32_t i = 0; i < frames; ++i) {
        put(size_t(i) * 4, i < left.size() ? left[i] : 0.0f);
        put(size_t(i) * 4 + 2, i < right.size() ? right[i] : 0.0f);
    }
    return bytes;
}

float seconds(int64_t sample)
{
    return float(double(sample) / krm::kSampleRate);
}

}  // namespace

SectionRecord sectionOver(const std::vector<float>& halfBeats, int firstBeat, int lastBeat, int beatsPerBar)
{
    SectionRecord s;
    s.used = 1;
    s.waveIndex = 0;
    s.startAdrs = secondsToSamples(halfBeats[size_t(2 * firstBeat)]);
    s.endAdrs = secondsToSamples(halfBeats[size_t(2 * lastBeat)]);
    s.setPointCount(uint16_t((lastBeat - firstBeat) / beatsPerBar));
    for (size_t k = 0; k < s.barPoints.size(); ++k)
        s.barPoints[k] = secondsToSamples(halfBeats[size_t(2 * (firstBeat + int(k + 1) * beatsPerBar))]);
    return s;
}

namespace {

// Clicks on every beat in both channels, as a song whose beats and onsets
// are the clicks.
testsig::Song clickSong(double bpm, double seconds)
{
    const testsig::Signal clicks = testsig::clickTrack(bpm, seconds, 0.3f, 256);
    testsig::Song song;
    song.left = song.right = clicks.samples;
    song.beats = song.onsets = clicks.events;
    return song;
}

}  // namespace

QString writeProject(const QString& folder, const Options& options, Made& made)
{
    constexpr int kBeatsPerBar = 4;
    const double barSeconds = 60.0 / options.bpm * kBeatsPerBar;
    testsig::SongSpec spec;
    spec.bpm = options.bpm;
    spec.beatsPerBar = kBeatsPerBar;
    spec.tailSeconds = 1.0;
    const int bars = int(std::floor((options.seconds - spec.tailSeconds) / barSeconds));
    // Main A ends on the first beat of bar 7.
    if (bars < 7)
        return QString("a song of %1 s holds %2 bars; the sections need 7").arg(options.seconds).arg(bars);
    testsig::SongPart intro;
    intro.name = "intro";
    intro.bars = 2;
    intro.chords = {{9, true, false}, {4, false, false}};
    intro.drums = false;
    testsig::SongPart main;
    main.name = "main";
    main.bars = bars - 2;
    main.chords = {{0, false, false}, {5, false, false}, {7, false, true}, {0, false, false}};
    main.stabs = true;
    spec.parts = {intro, main};
    const testsig::Song song =
        options.clickSong ? clickSong(options.bpm, options.seconds) : testsig::makeSong(spec);

    made = Made();
    made.frames = uint32_t(std::lround(options.seconds * krm::kSampleRate));
    made.wavPath = QDir(folder).filePath("song.wav");
    made.projectPath = QDir(folder).filePath("song.svproj");
    const std::vector<uint8_t> pcm = pcmBytes(song.left, song.right, made.frames);
    if (writeWavFile(made.wavPath, pcm.data(), uint32_t(pcm.size())) != 0)
        return "cannot write " + made.wavPath;

    // The beat list holds half beats: each beat, then the point halfway to
    // the next.
    for (size_t k = 0; k < song.beats.size(); ++k) {
        made.beats.push_back(seconds(song.beats[k]));
        if (k + 1 < song.beats.size())
            made.beats.push_back(seconds((song.beats[k] + song.beats[k + 1]) / 2));
    }
    for (int64_t onset : song.onsets) {
        if (onset < int64_t(made.frames))
            made.onsets.push_back(seconds(onset));
    }
    std::sort(made.onsets.begin(), made.onsets.end());
    made.onsets.erase(std::unique(made.onsets.begin(), made.onsets.end()), made.onsets.end());

    CKRMcore core;
    auto* wave = new WaveInfoRecord;
    wave->path = made.wavPath.toStdWString();
    wave->beats = made.beats;
    wave->onsets = made.onsets;
    wave->beatStep = 1;
    wave->barLength = float(barSeconds);
    wave->tempo = uint32_t(std::lround(options.bpm));
    if (core.addWavList(wave) != 0) {
        delete wave;
        return "the engine refused the wave";
    }
    const double tempo = options.projectTempo > 0.0 ? options.projectTempo : options.bpm;
    if (core.setTimeSignature(kBeatsPerBar, 4) != 0 || core.updateTempo(uint32_t(std::lround(tempo))) != 0)
        return "the engine refused the meter or tempo";
    const SectionRecord introSection = sectionOver(made.beats, 0, 2 * kBeatsPerBar, kBeatsPerBar);
    const SectionRecord mainSection =
        sectionOver(made.beats, 2 * kBeatsPerBar, 6 * kBeatsPerBar, kBeatsPerBar);
    if (const uint32_t r = core.setSecInfo(0, introSection))
        return QString("Intro 1 refused [%1]").arg(r, 0, 16);
    if (const uint32_t r = core.setSecInfo(3, mainSection))
        return QString("Main A refused [%1]").arg(r, 0, 16);
    made.introStart = introSection.startAdrs;
    made.introEnd = introSection.endAdrs;
    made.mainStart = mainSection.startAdrs;
    made.mainEnd = mainSection.endAdrs;
    if (const uint32_t r = core.saveProject(made.projectPath.toStdWString()))
        return QString("cannot save %1 [%2]").arg(made.projectPath).arg(r, 0, 16);
    return QString();
}

}  // namespace testproject
