// The snapshot of a section and its audio, against a project built here.
#include "CKRMcore.h"
#include "SectionWaveInfo.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Main A (3) on wave 0: 4 bars from 1 s to 10 s, manual bars; 100 BPM, 3/4.
// Intro 1 (0) has no wave.
void buildProject(CKRMcore& core)
{
    auto wave = std::make_unique<WaveInfoRecord>();
    wave->path = L"/music/song.wav";
    ASSERT_EQ(core.getProjectInfo()->addWave(wave.release()), 0u);
    SectionRecord* main = nullptr;
    ASSERT_EQ(core.getSecInfo(3, &main), 0u);
    main->used = 1;
    main->waveIndex = 0;
    main->startAdrs = 44100;
    main->endAdrs = 441000;
    main->setPointCount(4);
    main->manualBars = 1;
    CommonInfo* common = nullptr;
    ASSERT_EQ(core.getProjectInfo()->getCommonInfo(&common), 0u);
    common->tempo = 100;
    common->beatsPerBar = 3;
    common->beatUnit = 4;
}

TEST(SectionWaveInfo, TakesTheSectionOrClearsItself)
{
    CKRMcore core;
    buildProject(core);

    const SectionWaveInfo main(&core, 3);
    EXPECT_EQ(main.m_core, &core);
    EXPECT_EQ(main.m_section, 3);
    EXPECT_EQ(main.m_bars, 4u);
    EXPECT_EQ(main.m_tempo, 100.0);
    EXPECT_EQ(main.m_beatsPerBar, 3u);
    EXPECT_EQ(main.m_beatUnit, 4u);
    EXPECT_EQ(main.m_startSample, 44100u);
    EXPECT_EQ(main.m_endSample, 441000u);
    EXPECT_DOUBLE_EQ(main.m_startTime, 1.0);
    EXPECT_DOUBLE_EQ(main.m_endTime, 10.0);
    EXPECT_TRUE(main.m_manual);

    struct Case {
        const char* name;
        CKRMcore* core;
        int section;
    };
    for (const Case& c :
         {Case {"a section without audio", &core, 0}, Case {"an index past the sections", &core, 15},
          Case {"a negative index", &core, -1}, Case {"no engine", nullptr, 3}}) {
        SCOPED_TRACE(c.name);
        const SectionWaveInfo info(c.core, c.section);
        EXPECT_EQ(info.m_section, -1);
        EXPECT_EQ(info.m_bars, 0u);
        EXPECT_EQ(info.m_tempo, 0.0);
        EXPECT_EQ(info.m_beatsPerBar, 4u);
        EXPECT_EQ(info.m_beatUnit, 4u);
        EXPECT_EQ(info.m_endSample, 0u);
        EXPECT_FALSE(info.m_manual);
    }

    SectionWaveInfo cleared(&core, 3);
    cleared.clear();
    EXPECT_EQ(cleared.m_section, -1);
    EXPECT_EQ(cleared.m_core, &core);
}

}  // namespace
