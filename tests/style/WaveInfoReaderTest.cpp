#include "AudioFixtures.h"
#include "CAudioInfo.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

// A fresh section and file as setSectionAudio builds them.
struct Target {
    CAudioSection section;
    CAudioFile file;
    Target()
    {
        section.resetDefaults();
        file.reset();
    }
    CAudioStyleWaveFormat& sf() { return *file.getWaveForm()->getStyleFormat(); }
    CAudioWaveInfo& info() { return *file.getWaveForm()->getInfo(); }
    uint32_t parse(const std::string& text, uint8_t* volume = nullptr, uint8_t pan = 64, uint8_t reverb = 0)
    {
        CAudioInfo model;
        return model.parseWaveInfo(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                                   &section, &file, volume, &pan, &reverb);
    }
};

std::string replaceLine(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    return text.replace(at, from.size(), to);
}

}  // namespace

TEST(WaveInfoReader, DefaultText)
{
    const std::string text = af::defaultWaveInfo();
    EXPECT_EQ(text.size(), 221u);
    Target t;
    uint8_t volume = 0;
    ASSERT_EQ(t.parse(text, &volume), 0u);
    uint16_t tag = 9, bars = 0, ppq = 0;
    uint32_t size = 0, size2 = 0;
    t.sf().getFormatTag(&tag);
    t.sf().getNumberOfBars(&bars);
    t.sf().getSampleSize(&size);
    t.sf().getSampleSize2(&size2);
    t.section.getPpq(&ppq);
    EXPECT_EQ(tag, 1);
    EXPECT_EQ(bars, 1);
    EXPECT_EQ(size, 22050u);
    EXPECT_EQ(size2, 22050u);
    EXPECT_EQ(ppq, 480);
    uint8_t b[4] = {};
    uint32_t n = 4;
    t.sf().getSourceTempo(b, &n);
    EXPECT_EQ(Bytes(b, b + n), (Bytes {0x07, 0xA1, 0x20}));
    n = 4;
    t.sf().getShortestQuarter(b, &n);
    EXPECT_EQ(Bytes(b, b + n), (Bytes {0x01, 0xD4, 0xC0}));
    n = 4;
    t.sf().getLongestQuarter(b, &n);
    EXPECT_EQ(Bytes(b, b + n), (Bytes {0xB7, 0x1B, 0x00}));
    n = 4;
    t.sf().getTimeSignature(b, &n);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes {4, 2, 24, 8}));
    EXPECT_TRUE(t.sf().getSyncroPoints().empty());
    EXPECT_TRUE(t.info().getBeatPoints().empty());
    EXPECT_TRUE(t.info().getTempoList().empty());
    EXPECT_EQ(volume, 80);

    // The mixer: time signature, volume, pan, reverb send, end of track.
    Bytes events;
    CSmf smf;
    ASSERT_EQ(smf.writeTrackEvents(events, t.section.getMixer()->getTrack()), 0u);
    EXPECT_EQ(events, (Bytes {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xB0, 0x07,
                              0x50, 0x00, 0x0A, 0x40, 0x00, 0x5B, 0x00, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(WaveInfoReader, TextVariants)
{
    const std::string full = af::defaultWaveInfo();
    const std::string toTempo = full.substr(0, full.find("$Volume$"));
    const struct {
        const char* what;
        std::string text;
        uint32_t result;
        uint16_t formatTag;
        uint8_t volume;
    } cases[] = {
        {"ends after the tempo list", toTempo, 0, 1, 80},
        {"volume 100", replaceLine(full, "$Volume$,80,", "$Volume$,100,"), 0, 1, 100},
        {"volume without a line end", toTempo + "$Volume$,90,", 0, 1, 90},
        {"another key for the volume", toTempo + "$PPQ$,1,\n", 0, 1, 80},
        {"tag without 0x", replaceLine(full, "0x0001", "1"), 0, 0, 80},
        {"tag 0X", replaceLine(full, "0x0001", "0X0001"), 0, 0, 80},
        {"tag 0x2A", replaceLine(full, "0x0001", "0x2A"), 0, 0x2A, 80},
        {"carriage returns", replaceLine(replaceLine(full, ",\n$PPQ", ",\r\n$PPQ"), "80,\n", "80,\r\n"), 0, 1,
         80},
        {"PPQ and SampleSize swapped",
         replaceLine(full, "$PPQ$,480,\n$SampleSize$,22050,\n", "$SampleSize$,22050,\n$PPQ$,480,\n"),
         0x80000046, 1, 0},
        {"no number", replaceLine(full, "500000", "5x"), 0x80000454, 1, 0},
        {"hex not a number", replaceLine(full, "0x0001", "0xZZ"), 0x80000453, 0, 0},
        {"unknown key first", "$Tempo$,1,\n" + full, 0x80000043, 0, 0},
        {"not a key", " " + full, 0x80000333, 0, 0},
        {"garbage after the tempo list", toTempo + "Volume,80,\n", 0x8000033E, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Target t;
        uint8_t volume = 0;
        EXPECT_EQ(t.parse(c.text, &volume), c.result);
        uint16_t tag = 99;
        t.sf().getFormatTag(&tag);
        EXPECT_EQ(tag, c.formatTag);
        if (c.result == 0) {
            EXPECT_EQ(volume, c.volume);
        }
    }
}

TEST(WaveInfoReader, PointLists)
{
    const std::string full = af::defaultWaveInfo();
    std::string text =
        replaceLine(full, "$SyncroPoint$,0,\n", "$SyncroPoint$,2,\n\t\t,100,1,67436550,\n,200,2,0,\n");
    text = replaceLine(text, "$BeatPoint$,0,\n", "$BeatPoint$,1,\n\t,0,7,9,\n");
    text = replaceLine(text, "$AttackPoint$,0,\n", "$AttackPoint$,2,\n,5,0,960,\n\t\t,6,1,0,\n");
    text = replaceLine(text, "$TempoInfo$,0,\n", "$TempoInfo$,1,\n,44100,500000,\n");
    Target t;
    ASSERT_EQ(t.parse(text), 0u);

    const auto& sync = t.sf().getSyncroPoints();
    ASSERT_EQ(sync.size(), 2u);
    uint32_t pos = 0;
    uint16_t index = 0, offset = 0;
    uint8_t a = 0, b = 0;
    sync[0]->getPosition(&pos);
    sync[0]->getIndex(&index);
    sync[0]->getFlagA(&a);
    sync[0]->getFlagB(&b);
    sync[0]->getOffset(&offset);
    EXPECT_EQ(pos, 100u);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(a, 0x04);  // 67436550 = 0x04050006
    EXPECT_EQ(b, 0x05);
    EXPECT_EQ(offset, 6);

    // Two leading tabs read like one, or none.
    const auto& attacks = t.info().getAttackPoints();
    ASSERT_EQ(attacks.size(), 2u);
    uint16_t v1 = 0, v2 = 0;
    attacks[0]->getValue2(&v2);
    attacks[1]->getPosition(&pos);
    attacks[1]->getValue1(&v1);
    EXPECT_EQ(v2, 960);
    EXPECT_EQ(pos, 6u);
    EXPECT_EQ(v1, 1);
    ASSERT_EQ(t.info().getBeatPoints().size(), 1u);
    EXPECT_TRUE(t.info().getOnsetPoints().empty());

    ASSERT_EQ(t.info().getTempoList().size(), 1u);
    uint8_t tempo[3];
    uint32_t n = 3;
    t.info().getTempoList()[0]->getTempo(tempo, &n);
    EXPECT_EQ(Bytes(tempo, tempo + 3), (Bytes {0x07, 0xA1, 0x20}));

    // A count of 2 with one record line: the second record fails at its
    // first field, the first stays.
    Target shortList;
    const std::string cut = replaceLine(full, "$BeatPoint$,0,\n", "$BeatPoint$,2,\n,0,0,0,\n");
    EXPECT_EQ(shortList.parse(cut), 0x8000348Au);
    EXPECT_EQ(shortList.info().getBeatPoints().size(), 1u);

    // A huge count reserves nothing and ends where the text does.
    Target huge;
    const std::string toTempo = full.substr(0, full.find("$Volume$"));
    EXPECT_EQ(huge.parse(replaceLine(toTempo, "$TempoInfo$,0,", "$TempoInfo$,4294967295,")), 0x8000248Du);
}

TEST(WaveInfoReader, FieldReaders)
{
    const struct {
        std::string text;
        uint32_t start;
        bool hex;
        uint32_t result;
        uint32_t value;
        uint32_t posAfter;
    } cases[] = {
        {",42,", 0, false, 0, 42, 3},      {",,", 0, false, 0, 0, 1},
        {",42", 0, false, 0, 0, 3},        {"42,", 0, false, 0x80000003, 0, 0},
        {",", 1, false, 0x80000002, 0, 1}, {",4 2,", 0, false, 0x80000004, 0, 4},
        {",0x1f,", 0, true, 0, 0x1F, 5},   {",0x,", 0, true, 0, 0, 3},
        {",1f,", 0, true, 0, 0, 3},        {",0xg,", 0, true, 0x80000004, 0, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const uint8_t* p = reinterpret_cast<const uint8_t*>(c.text.data());
        uint32_t pos = c.start, value = 7;
        const uint32_t r = c.hex ? CAudioInfo::readHexCsvField(p, uint32_t(c.text.size()), &pos, &value)
                                 : CAudioInfo::readCsvField(p, uint32_t(c.text.size()), &pos, &value);
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(pos, c.posAfter);
    }

    const std::string keys = "$PPQ$$Volume$$Nope$$Open";
    const uint8_t* p = reinterpret_cast<const uint8_t*>(keys.data());
    uint32_t pos = 0;
    uint8_t id = 0;
    ASSERT_EQ(CAudioInfo::lookupWaveInfoKeyword(p, uint32_t(keys.size()), &pos, &id), 0u);
    EXPECT_EQ(id, 3);
    ASSERT_EQ(CAudioInfo::lookupWaveInfoKeyword(p, uint32_t(keys.size()), &pos, &id), 0u);
    EXPECT_EQ(id, 11);
    ASSERT_EQ(CAudioInfo::lookupWaveInfoKeyword(p, uint32_t(keys.size()), &pos, &id), 0u);
    EXPECT_EQ(id, 255);
    ASSERT_EQ(CAudioInfo::lookupWaveInfoKeyword(p, uint32_t(keys.size()), &pos, &id), 0u);
    EXPECT_EQ(id, 255);
    EXPECT_EQ(pos, keys.size());
    EXPECT_EQ(CAudioInfo::lookupWaveInfoKeyword(p, uint32_t(keys.size()), &pos, &id), 0x80000002u);

    const std::string lines = "ab\ncd";
    p = reinterpret_cast<const uint8_t*>(lines.data());
    pos = 0;
    ASSERT_EQ(CAudioInfo::skipLineEnd(p, 5, &pos), 0u);
    EXPECT_EQ(pos, 3u);
    ASSERT_EQ(CAudioInfo::skipLineEnd(p, 5, &pos), 0u);
    EXPECT_EQ(pos, 5u);
    EXPECT_EQ(CAudioInfo::skipLineEnd(p, 5, &pos), 0x80000002u);
}
