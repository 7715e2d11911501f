// The time-stretch job on a generated project: the failure of each check
// with its code and text, and the beat points handed to the result window.
#include "JobTestSupport.h"
#include "TimeStretcher.h"
#include "WavFile.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <functional>

using jobtest::Project;

namespace {

struct Result {
    unsigned long code = 0xFFFFFFFF;
    QString text;
    int emitted = 0;
};

Result run(TimeStretcher& job)
{
    QSignalSpy spy(&job, &TimeStretcher::done);
    job.doTimeStretch();
    Result r;
    r.emitted = spy.size();
    if (!spy.isEmpty()) {
        r.code = spy[0][0].toULongLong();
        r.text = spy[0][1].toString();
    }
    EXPECT_EQ(r.text, job.errorStr);
    return r;
}

constexpr uint8_t kMainA = 3;

}  // namespace

TEST(TimeStretcher, SectionIndexAboveFourteenFailsBeforeAnyEngineCall)
{
    // Null engine and player: touching either would crash.
    TimeStretcher job(nullptr, "unused.wav", 15, 0);
    const Result r = run(job);
    EXPECT_EQ(r.emitted, 1);
    EXPECT_EQ(r.code, 0x80000001u);
    EXPECT_EQ(r.text, "no section is specified!");
}

TEST(TimeStretcher, EachCheckFailsWithItsCodeAndText)
{
    struct Case {
        const char* name;
        uint8_t section;
        std::function<void(Project&)> setUp;
        unsigned long code;
        QString text;  // a prefix of the text
    };
    const Case cases[] = {
        {"unused section", 1, [](Project&) {}, 0x80000003, "trimming on is required!"},
        {"equal positions", kMainA,
         [](Project& p) { p.editSection(kMainA, [](SectionRecord& s) { s.endAdrs = s.startAdrs; }); },
         0x80000004, "Selected range of waveform is too short."},
        {"20 s for 4 bars at 120", kMainA,
         [](Project& p) {
             p.editSection(kMainA, [](SectionRecord& s) { s.endAdrs = s.startAdrs + 20 * 44100; });
         },
         0x80000005, "stretch ratio error!"},
        {"working audio fails", kMainA, [](Project& p) { p.stretch->failWith = 0x80000003; }, 0x80000006,
         "stretch erro "},
        {"working audio warns", kMainA, [](Project& p) { p.stretch->outOfRange = 1; }, 0x80000007,
         "stretch ratio error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p(20.0);
        c.setUp(p);
        TimeStretcher job(&p.core, p.core.sectionWavePath(c.section), c.section, 0);
        const Result r = run(job);
        EXPECT_EQ(r.emitted, 1);
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.text.startsWith(c.text)) << r.text.toStdString();
        EXPECT_TRUE(job.beatPoints.empty());
    }
}

TEST(TimeStretcher, EngineTextFollowsTheWorkingAudioFailure)
{
    Project p;
    p.stretch->failWith = 0x80000003;
    TimeStretcher job(&p.core, p.core.sectionWavePath(kMainA), kMainA, 0);
    const Result r = run(job);
    ASSERT_EQ(r.code, 0x80000006u);
    EXPECT_FALSE(p.core.errorText().isEmpty());
    EXPECT_EQ(r.text, "stretch erro " + p.core.errorText());
}

TEST(TimeStretcher, EvenBeatPoints)
{
    EXPECT_EQ(TimeStretcher::evenBeatPoints(176400, 8),
              (std::vector<uint32_t> {0, 22050, 44100, 66150, 88200, 110250, 132300, 154350, 176399}));
    EXPECT_EQ(TimeStretcher::evenBeatPoints(10, 3), (std::vector<uint32_t> {0, 3, 6, 9}));
    EXPECT_TRUE(TimeStretcher::evenBeatPoints(176400, 0).empty());
}

// The job's own points: one per beat of the section's bars over the file it
// wrote; an intro's blank pickup adds a bar, a main section's does not.
TEST(TimeStretcher, BeatPointsCoverTheSectionsBars)
{
    struct Case {
        const char* name;
        uint8_t section;
        bool pickup;
        uint32_t beats;
    };
    const Case cases[] = {
        {"Main A", kMainA, false, 16},
        {"Main A with blank pickup", kMainA, true, 16},
        {"Intro 1", 0, false, 8},
        // Over Main A's bars, so that the pickup lies on the audio.
        {"Intro 1 with blank pickup", 0, true, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p;
        if (c.pickup && c.section == 0) {
            SectionRecord* mainA = nullptr;
            ASSERT_EQ(p.core.getSecInfo(kMainA, &mainA), 0u);
            const SectionRecord copy(*mainA);
            p.editSection(0, [&copy](SectionRecord& s) { s = copy; });
        }
        if (c.pickup)
            p.editSection(c.section, [](SectionRecord& s) {
                s.pickupOn = 1;
                s.pickupHalfBeats = 2;
            });
        const QString path = p.core.sectionWavePath(c.section);
        TimeStretcher job(&p.core, path, c.section, 7);
        const Result r = run(job);
        ASSERT_EQ(r.code, 0u) << r.text.toStdString() << " " << p.core.errorText().toStdString();
        EXPECT_TRUE(r.text.isEmpty());
        QFile file(path);
        uint32_t frames = 0;
        ASSERT_EQ(readWavHeaderFromDevice(&file, &frames), 0u);
        EXPECT_EQ(job.frameCount, frames);
        EXPECT_EQ(job.beatPoints, TimeStretcher::evenBeatPoints(frames, c.beats));
        EXPECT_EQ(job.waveIndex, 7u);
        EXPECT_EQ(job.outputPath(), path);
    }
}
