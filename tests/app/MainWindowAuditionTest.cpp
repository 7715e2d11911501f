// Audition and time stretch from the main window over the null output: the
// play toggle, what a failed or empty start does, the song level, and the
// stretch job with the outcomes it hands over.
#include "JobTestSupport.h"
#include "WindowJobFixture.h"
#include "MessageDialog.h"
#include "BeatGrid.h"
#include "TimeStretcher.h"
#include "WindowDrop.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

using Access = MainWindowTestAccess;

namespace {

bool showsIcon(QAbstractButton* button, const char* resource)
{
    return button->icon().pixmap(32).toImage() == QIcon(resource).pixmap(32).toImage();
}

using AuditionTest = WindowJobTest;

}  // namespace

TEST_F(AuditionTest, PlayTogglesTheButtonAndTheStretchBox)
{
    ASSERT_EQ(w().mCmbTrimSec->currentIndex(), 3);
    Access::setSelection(w(), int32_t(song.mainEnd), int32_t(song.mainStart));
    Access::playLoop(w());
    ASSERT_TRUE(boxes.shown().isEmpty()) << boxes.shown()[0].text.toStdString();
    EXPECT_TRUE(Access::playing(w()));
    EXPECT_TRUE(showsIcon(w().mPushButtonPlay, ":/img/btn_stop.png"));
    EXPECT_FALSE(w().mChkTimeStretch->isEnabled());
    EXPECT_TRUE(Access::layers(w()).back()->drawLayerEnabled);
    QTest::qWait(100);
    Access::playLoop(w());
    EXPECT_FALSE(Access::playing(w()));
    EXPECT_TRUE(showsIcon(w().mPushButtonPlay, ":/img/btn_play.png"));
    EXPECT_TRUE(w().mChkTimeStretch->isEnabled());
    EXPECT_FALSE(Access::layers(w()).back()->drawLayerEnabled);
}

TEST_F(AuditionTest, EqualSelectionEndsDoNothing)
{
    Access::setSelection(w(), int32_t(song.mainStart), int32_t(song.mainStart));
    Access::playLoop(w());
    EXPECT_FALSE(Access::playing(w()));
    EXPECT_TRUE(boxes.shown().isEmpty()) << boxes.shown()[0].text.toStdString();
    EXPECT_TRUE(w().mChkTimeStretch->isEnabled());
}

TEST_F(AuditionTest, SectionOutOfStretchRangeDoesNotPlay)
{
    SectionRecord* record = nullptr;
    ASSERT_EQ(core().getSecInfo(3, &record), 0u);
    SectionRecord copy(*record);
    copy.endAdrs = copy.startAdrs + 20 * 44100;
    ASSERT_EQ(core().updateSecInfo(3, copy), 0u);
    Access::setSelection(w(), int32_t(song.mainStart), int32_t(song.mainEnd));
    Access::playLoop(w());
    EXPECT_FALSE(Access::playing(w()));
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text, "stretch ratio error!");
}

TEST_F(AuditionTest, LevelSliderSetsTheSongLevelUnlessTheWindowUpdates)
{
    w().mSliderMetro->setValue(0);
    EXPECT_EQ(Access::clickLevel(w()), 0);
    w().mSliderMetro->setValue(55);
    EXPECT_EQ(Access::clickLevel(w()), 55);
}

TEST_F(AuditionTest, StretchRunsTheJobOnTheSectionsWorkingFile)
{
    w().mChkTimeStretch->setChecked(true);
    Access::setSelection(w(), int32_t(song.mainStart), int32_t(song.mainEnd));
    Access::playLoop(w());
    auto* job = static_cast<TimeStretcher*>(Access::stretchWorker(w()));
    ASSERT_NE(job, nullptr);
    QString temp;
    core().getResourcePath(0, temp);
    EXPECT_EQ(job->outputPath(), temp + "/KRM_temp_Main A.wav");
    EXPECT_EQ(job->sectionIndex, 3u);
    EXPECT_TRUE(job->errorStr.isEmpty()) << job->errorStr.toStdString();
    EXPECT_TRUE(QFileInfo::exists(job->outputPath()));
    EXPECT_EQ(job->beatPoints.size(), 17u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(Access::playing(w()));
}

TEST_F(AuditionTest, StretchOutcomes)
{
    w().mChkTimeStretch->setChecked(true);
    Access::playLoop(w());
    const int before = boxes.shown().size();
    const struct {
        ulong code;
        QString text;
        QString shown;
    } cases[] = {
        {5, "", "time stretch error!"},
        {0, "x", "x"},
    };
    for (const auto& c : cases) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Access::timeStretchDone(w(), c.code, c.text);
        EXPECT_EQ(boxes.shown().back().text, c.shown);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(boxes.shown().size(), before + 2);
    // A stretch without failure shows its result in the result window.
    const int windowsBefore = resultWindows;
    Access::timeStretchDone(w(), 0, "");
    EXPECT_EQ(resultWindows, windowsBefore + 1);
    EXPECT_EQ(boxes.shown().size(), before + 2);
    EXPECT_EQ(Access::stretchWindow(w()), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

namespace {

// Interleaved 16-bit stereo samples of a WAV file's data chunk.
std::vector<int16_t> pcmOf(const QString& path)
{
    const std::vector<uint8_t> bytes = testutil::readFile(path);
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint32_t size =
            bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | uint32_t(bytes[at + 7]) << 24;
        if (std::string(bytes.begin() + long(at), bytes.begin() + long(at) + 4) == "data") {
            std::vector<int16_t> pcm;
            for (size_t i = at + 8; i + 1 < bytes.size() && i < at + 8 + size; i += 2)
                pcm.push_back(int16_t(bytes[i] | bytes[i + 1] << 8));
            return pcm;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

}  // namespace

// At song level 0 the output holds the clicks alone: the first click sound on
// each bar line and the second on the other beats, at the frames of the
// project's beats, and silence everywhere else.
TEST_F(AuditionTest, AtLevelZeroOnlyTheClicksSoundOnTheBeats)
{
    QTemporaryDir captureDir;
    const QString capture = captureDir.filePath("capture.wav");
    qputenv("STELVANO_AUDIO_CAPTURE", QFile::encodeName(capture));
    const QString metro1 = QString(KRM_ASSETS_DIR) + "/Metro1.wav";
    const QString metro2 = QString(KRM_ASSETS_DIR) + "/Metro2.wav";
    Access::audition(w()).setClickSounds(metro1, metro2);
    w().mSliderMetro->setValue(0);
    Access::setSelection(w(), int32_t(song.mainStart), int32_t(song.mainEnd));
    Access::playLoop(w());
    ASSERT_TRUE(Access::playing(w()));
    // Stopped half way between two beats (2.0 s and 2.5 s after the first),
    // away from any click.
    QTest::qWait(2250);
    Access::playLoop(w());
    // The capture is complete once the output is closed.
    Access::audition(w()).closeDevice();
    qunsetenv("STELVANO_AUDIO_CAPTURE");

    const std::vector<int16_t> click[2] = {pcmOf(metro1), pcmOf(metro2)};
    // The output runs before play starts: the audition begins where the
    // first click sounds (its sound's own leading silence taken off).
    const auto firstSounding = [](const std::vector<int16_t>& pcm) {
        return size_t(std::find_if(pcm.begin(), pcm.end(), [](int16_t v) { return v != 0; }) - pcm.begin()) /
               2;
    };
    std::vector<int16_t> out = pcmOf(capture);
    const size_t start = firstSounding(out) - firstSounding(click[0]);
    ASSERT_LT(start * 2, out.size());
    out.erase(out.begin(), out.begin() + long(start * 2));
    ASSERT_GT(out.size(), size_t(2 * 44100)) << "two seconds at least";
    // Beat k of the song is half-beat entry 2k; Main A starts on beat 8, a
    // bar line, in 4/4.
    std::vector<bool> covered(out.size(), false);
    // The last click may be cut off by the stop (on a loaded machine the
    // stop comes late): from there on the output is the end of the capture
    // or silence.
    const auto silentFrom = [&out](size_t at) {
        return std::all_of(out.begin() + long(at), out.end(), [](int16_t v) { return v == 0; });
    };
    int heard = 0;
    bool cut = false;
    for (size_t k = 8; 2 * k < song.beats.size() && !cut; ++k) {
        const int64_t offset = int64_t(secondsToSamples(song.beats[2 * k])) - int64_t(song.mainStart);
        const std::vector<int16_t>& sound = click[(k - 8) % 4 == 0 ? 0 : 1];
        if (offset < 0 || size_t(offset) * 2 >= out.size())
            continue;
        ++heard;
        const size_t n = std::min(sound.size(), out.size() - size_t(offset) * 2);
        for (size_t i = 0; i < n; ++i) {
            const size_t at = size_t(offset) * 2 + i;
            const int expected = std::clamp<int>(sound[i], -31130, 31129);
            if (out[at] != expected && out[at] == 0 && silentFrom(at)) {
                cut = true;
                break;
            }
            ASSERT_EQ(out[at], expected) << "beat " << k << " sample " << i;
            covered[at] = true;
        }
    }
    EXPECT_GE(heard, 4);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_TRUE(covered[i] || out[i] == 0) << "sound off the beats at frame " << i / 2;
}

namespace {

// Frames of `out` from frame `at` on that equal the song's frames from
// `from` on, as the output writes them at song level 100 without clicks.
size_t matchLength(const std::vector<int16_t>& out, const std::vector<int16_t>& song, size_t at, size_t from)
{
    size_t n = 0;
    while (2 * (at + n) + 1 < out.size() && 2 * (from + n) + 1 < song.size() &&
           out[2 * (at + n)] == std::clamp<int>(song[2 * (from + n)], -31130, 31129) &&
           out[2 * (at + n) + 1] == std::clamp<int>(song[2 * (from + n) + 1], -31130, 31129))
        ++n;
    return n;
}

// The first frame of `out` at or after `searchFrom` where a tenth of a
// second of the song from frame `from` on sounds, or npos.
size_t findSongAt(const std::vector<int16_t>& out, const std::vector<int16_t>& song, size_t from,
                  size_t searchFrom)
{
    for (size_t p = searchFrom; 2 * p < out.size(); ++p)
        if (matchLength(out, song, p, from) >= 4410)
            return p;
    return std::string::npos;
}

}  // namespace

// Undo, redo and a change of the section's audio file while the section
// plays each start the audition again from the start of the selection: the
// capture holds the song from there once per start, each pass cut short by
// the next start.
TEST_F(AuditionTest, UndoRedoAndAFileChangeRestartThePlay)
{
    // A second take of the song with its wave-info file, dropped while an
    // empty section shows, gives the project a second audio file.
    const QString take = QFileInfo(song.wavPath).absolutePath() + "/take2.wav";
    ASSERT_TRUE(QFile::copy(song.wavPath, take));
    {
        CKRMcore c;
        ASSERT_EQ(c.loadProject(song.projectPath.toStdWString()), 0u);
        ASSERT_EQ(c.setWavPath(0, take.toStdWString()), 0u);
        ASSERT_EQ(c.saveAwi(QString(take).replace(".wav", ".awi").toStdWString(), 0), 0u);
    }
    Access::showSection(w(), 7);
    testutil::dropFile(w(), take);
    ASSERT_EQ(w().mCmbWav->count(), 2);
    Access::showSection(w(), 3);
    ASSERT_EQ(w().mCmbWav->currentIndex(), 0);
    ASSERT_EQ(Access::updateTempo(w(), 110), 0u);
    ASSERT_TRUE(core().canUndo());
    // The song alone, unscaled.
    if (Access::clickOn(w()))
        w().mChkClick->click();
    ASSERT_EQ(Access::clickOn(w()), 0);
    ASSERT_EQ(Access::clickLevel(w()), 100);

    QTemporaryDir captureDir;
    const QString capture = captureDir.filePath("capture.wav");
    qputenv("STELVANO_AUDIO_CAPTURE", QFile::encodeName(capture));
    const std::vector<std::function<void()>> restarts = {
        [this] { QMetaObject::invokeMethod(&w(), "undo"); },
        [this] { QMetaObject::invokeMethod(&w(), "redo"); },
        [this] {
            boxes.answer(QMessageBox::Ok);  // "already has a waveform assignment"
            w().mCmbWav->setCurrentIndex(1);
        },
    };
    std::vector<size_t> starts;  // where each pass begins in the song
    const auto selectionStart = [this] {
        return size_t(std::min(Access::selectionStart(w()), Access::selectionEnd(w())));
    };
    Access::playLoop(w());
    ASSERT_TRUE(Access::playing(w()));
    starts.push_back(selectionStart());
    for (size_t i = 0; i < restarts.size(); ++i) {
        QTest::qWait(1200);
        restarts[i]();
        EXPECT_TRUE(Access::playing(w())) << "restart " << i;
        starts.push_back(selectionStart());
    }
    QTest::qWait(1200);
    Access::playLoop(w());
    Access::audition(w()).closeDevice();
    qunsetenv("STELVANO_AUDIO_CAPTURE");
    SectionRecord* main = nullptr;
    ASSERT_EQ(core().getSecInfo(3, &main), 0u);
    EXPECT_EQ(main->waveIndex, 1) << "the section plays the other file now";
    for (const MessageDialogScript::Shown& s : boxes.shown())
        EXPECT_EQ(s.text,
                  "This section already has a waveform assignment. Are you sure you want to change it?");

    const std::vector<int16_t> out = pcmOf(capture);
    const std::vector<int16_t> pcm = pcmOf(song.wavPath);
    size_t at = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t p = findSongAt(out, pcm, starts[i], at);
        ASSERT_NE(p, std::string::npos) << "pass " << i << " from frame " << starts[i];
        const size_t played = matchLength(out, pcm, p, starts[i]);
        // Each pass plays on for about 1.2 s, until the next start (before
        // the loop's end) takes it back to the start.
        EXPECT_GE(played, size_t(44100 / 2)) << "pass " << i;
        EXPECT_LT(played, size_t(main->endAdrs - main->startAdrs)) << "pass " << i;
        if (i > 0) {
            EXPECT_LT(p - at, size_t(44100)) << "pass " << i << " follows the cut within a second";
        }
        at = p + played;
    }
}
