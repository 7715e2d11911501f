#include "AudioFixtures.h"
#include "CAudioInfo.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

using Names = std::vector<std::string>;

// The joined names of each section or file, in order.
template <typename Item> Names joinedNames(const std::vector<std::unique_ptr<Item>>& items)
{
    Names out;
    for (const auto& item : items) {
        std::vector<uint8_t> joined;
        item->joinNames(joined);
        out.emplace_back(joined.begin(), joined.end());
    }
    return out;
}

Names sectionNamesOf(const CAudioInfo& info)
{
    return joinedNames(info.sections);
}

Names fileNamesOf(const CAudioInfo& info)
{
    return joinedNames(info.files);
}

}  // namespace

TEST(AudioInfo, SameFileForTwoSectionsIsStoredOnce)
{
    CAudioInfo info;
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "take1", "/a/take1.wav", 0), 0u);
    // The second text is not read: a broken one still succeeds.
    ASSERT_EQ(af::assign(info, "not a wave-info text", "take1", "/a/take1.wav", 1), 0u);
    EXPECT_EQ(sectionNamesOf(info), Names {"Main A,Main B"});
    EXPECT_EQ(fileNamesOf(info), Names {"Main A,Main B"});
    EXPECT_EQ(info.findSectionById(1), info.sections[0].get());
    EXPECT_EQ(info.findFileForSection(0), info.files[0].get());
    EXPECT_EQ(info.findFileForSection(2), nullptr);

    // Another file for "Main B": it leaves the shared audio, which stays for "Main A".
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "take2", "/a/take2.wav", 1), 0u);
    EXPECT_EQ(sectionNamesOf(info), (Names {"Main A", "Main B"}));
    EXPECT_EQ(fileNamesOf(info), (Names {"Main A", "Main B"}));

    // Another file for "Main A", its sole user: the old section and file go.
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "take3", "/a/take3.wav", 0), 0u);
    EXPECT_EQ(sectionNamesOf(info), (Names {"Main B", "Main A"}));
    EXPECT_EQ(fileNamesOf(info), (Names {"Main B", "Main A"}));
    std::string path;
    info.findFileForSection(0)->getWaveForm()->getData()->getFileName(path);
    EXPECT_EQ(path, "/a/take3.wav");

    EXPECT_EQ(info.clear(), 0u);
    EXPECT_TRUE(info.sections.empty());
    EXPECT_TRUE(info.files.empty());
    EXPECT_EQ(info.clear(), 0u);
}

TEST(AudioInfo, LongNamesCountWithTheirFirst50Bytes)
{
    const std::string sixty(60, 'n');
    std::string other = sixty;
    other[55] = 'x';
    CAudioInfo info;
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), sixty, "/a/n.wav", 3), 0u);
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), other, "/a/n.wav", 4), 0u);
    EXPECT_EQ(info.files.size(), 1u);
    EXPECT_EQ(fileNamesOf(info), Names {"Main D,Fill In AA"});
    uint8_t name[60];
    uint32_t n = 60;
    ASSERT_EQ(info.files[0]->getName(name, &n), 0u);
    EXPECT_EQ(n, 50u);
    EXPECT_EQ(std::string(name, name + 50), std::string(50, 'n'));
    uint8_t text50[50];
    n = 50;
    info.sections[0]->atabList[0]->getText50(text50, &n);
    EXPECT_EQ(std::string(text50, text50 + 50), std::string(50, 'n'));
}

TEST(AudioInfo, RefusedArgumentsChangeNothing)
{
    CAudioInfo info;
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "take1", "/a/take1.wav", 0), 0u);
    const std::string text = af::defaultWaveInfo();
    const struct {
        const char* what;
        std::string text, name, path;
        int id;
        uint32_t result;
    } cases[] = {
        {"no text", "", "t", "/p", 0, 0x80000001},  {"no name", text, "", "/p", 0, 0x80000002},
        {"no path", text, "t", "", 0, 0x80000003},  {"id -1", text, "t", "/p", -1, 0x80000004},
        {"id 20", text, "t", "/p", 20, 0x80000004},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(af::assign(info, c.text, c.name, c.path, c.id), c.result);
        EXPECT_EQ(sectionNamesOf(info), Names {"Main A"});
        EXPECT_EQ(fileNamesOf(info), Names {"Main A"});
    }
}

TEST(AudioInfo, VolumeComesBackAndAFailedParseKeepsWhatWasBuilt)
{
    CAudioInfo info;
    uint8_t volume = 0;
    std::string text = af::defaultWaveInfo();
    text.replace(text.find("$Volume$,80,"), 12, "$Volume$,99,");
    ASSERT_EQ(af::assign(info, text, "take1", "/a/take1.wav", 8, &volume, 10, 20), 0u);
    EXPECT_EQ(volume, 99);

    const std::string broken = af::defaultWaveInfo().substr(0, 60);
    EXPECT_EQ(af::assign(info, broken, "take2", "/a/take2.wav", 9), 0x80000459u);
    EXPECT_EQ(sectionNamesOf(info), (Names {"Intro A", "Intro B"}));
}

TEST(AudioInfo, NameListFamily)
{
    CSection s;
    ASSERT_EQ(s.setNamesFromText(",,Main A,,Main B,", 17), 0u);
    EXPECT_EQ(s.names, (Names {"Main A", "Main B"}));
    EXPECT_EQ(s.getNameCount(), 2u);
    ASSERT_EQ(s.addSectionName(17), 0u);
    EXPECT_EQ(s.names, (Names {"Main A", "Main B", "Fill In BA"}));
    EXPECT_TRUE(s.holdsSectionId(17));
    ASSERT_EQ(s.removeSectionName(1), 0u);
    ASSERT_EQ(s.removeSectionName(-1), 0u);
    ASSERT_EQ(s.removeSectionName(5), 0u);
    EXPECT_EQ(s.names, (Names {"Main A", "Fill In BA"}));
    EXPECT_EQ(s.setNamesFromText(nullptr, 3), 0x80000001u);
    EXPECT_TRUE(s.hasNoNames());

    std::vector<uint8_t> joined = {'>'};
    ASSERT_EQ(joinNamesWithCommas({"", "", "A", "", "B"}, joined), 0u);
    EXPECT_EQ(std::string(joined.begin(), joined.end()), ">A,,B");

    CAudioFile bare;  // no wave form yet: no list
    std::vector<std::string> names;
    EXPECT_EQ(bare.getNames(names), 0x80000001u);
    EXPECT_TRUE(bare.hasNoNames());
    EXPECT_EQ(bare.addSectionName(0), 0x80000001u);
}

TEST(AudioInfo, RecordsAndTheirDefaults)
{
    CAudioFile file;
    ASSERT_EQ(file.reset(), 0u);
    CAudioWaveForm* form = file.getWaveForm();
    uint8_t id[4];
    form->getId(id);
    EXPECT_EQ(std::string(id, id + 4), "WAVE");
    uint16_t tag = 0, channels = 0, align = 0, bits = 0;
    uint32_t rate = 0, bps = 0;
    form->getFormat()->getFormatTag(&tag);
    form->getFormat()->getChannels(&channels);
    form->getFormat()->getSampleRate(&rate);
    form->getFormat()->getAvgBytesPerSec(&bps);
    form->getFormat()->getBlockAlign(&align);
    form->getFormat()->getBitsPerSample(&bits);
    EXPECT_EQ(std::vector<uint32_t>({tag, channels, rate, bps, align, bits}),
              std::vector<uint32_t>({1, 2, 44100, 176400, 4, 16}));
    uint8_t volume = 0;
    form->getInfo()->getVolume(&volume);
    EXPECT_EQ(volume, 80);
    ASSERT_NE(form->getStyleFormat()->getSection(), nullptr);
    EXPECT_EQ(form->getStyleFormat()->getSection()->names, Names {"Dummy"});

    CAudioStyleWaveFormat& sf = *form->getStyleFormat();
    auto* a = new CSyncroPoint;
    auto* b = new CSyncroPoint;
    ASSERT_EQ(sf.addSyncroPoint(a), 0u);
    ASSERT_EQ(sf.addSyncroPoint(b), 0u);
    EXPECT_EQ(sf.addSyncroPoint(nullptr), 0x80000001u);
    std::unique_ptr<CSyncroPoint> taken = sf.dropFinalSyncroPoint();
    EXPECT_EQ(taken.get(), b);
    EXPECT_EQ(sf.getSyncroPoints().size(), 1u);
    uint8_t flag = 0;
    a->getFlagA(&flag);
    EXPECT_EQ(flag, 4);
    sf.clearSyncroPoints();
    EXPECT_EQ(sf.dropFinalSyncroPoint(), nullptr);

    // Time signature: the count copied comes back.
    const uint8_t ts[4] = {3, 3, 24, 8};
    ASSERT_EQ(sf.setTimeSignature(ts, 4), 0u);
    uint8_t out[4] = {};
    uint32_t n = 2;
    ASSERT_EQ(sf.getTimeSignature(out, &n), 0u);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(Bytes(out, out + 2), (Bytes {3, 3}));
    ASSERT_EQ(sf.setOriginalTempo(ts, 2), 0u);
    n = 8;
    sf.getSourceTempo(out, &n);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes {3, 3, 0}));

    CAudioWaveInfo& info = *form->getInfo();
    ASSERT_EQ(info.addAttackPoint(new CAudioPoint(150, 1, 960)), 0u);
    ASSERT_EQ(info.addBeatPoint(new CAudioPoint(0, 0, 0)), 0u);
    EXPECT_EQ(info.addBeatPoint(nullptr), 0x80000001u);
    ASSERT_EQ(info.clearBeatPoints(), 0u);
    EXPECT_TRUE(info.getBeatPoints().empty());
    EXPECT_EQ(info.getAttackPoints().size(), 1u);
}

TEST(AudioInfo, WaveDataSources)
{
    testutil::TempDir dir;
    CAudioWaveData d;
    uint32_t size = 9;
    ASSERT_EQ(d.getDataSize(&size), 0u);
    EXPECT_EQ(size, 0u);
    uint8_t buf[8];
    EXPECT_EQ(d.getData(buf, 8), 0x80000003u);
    EXPECT_EQ(d.getData(nullptr, 8), 0x80000002u);
    const uint8_t bytes[3] = {1, 2, 3};
    ASSERT_EQ(d.setData(bytes, 3), 0u);
    ASSERT_EQ(d.getData(buf, 8), 0u);
    EXPECT_EQ(Bytes(buf, buf + 8), (Bytes {1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.getTempFileSize(&size), 0x80000001u);
    EXPECT_EQ(d.readTempFile(buf, 8), 0x80000001u);

    // A temporary file is read, and deleted with the record.
    const QString temp = dir.path("wave.tmp");
    ASSERT_TRUE(testutil::writeFile(temp, {9, 8, 7, 6}));
    {
        CAudioWaveData withTemp;
        ASSERT_EQ(withTemp.setTempFilePath(temp.toStdString()), 0u);
        ASSERT_EQ(withTemp.getTempFileSize(&size), 0u);
        EXPECT_EQ(size, 4u);
        EXPECT_EQ(withTemp.getData(buf, 8), 0x80000001u);
        ASSERT_EQ(withTemp.readTempFile(buf, 2), 0u);
        EXPECT_EQ(Bytes(buf, buf + 2), (Bytes {9, 8}));
    }
    EXPECT_FALSE(QFile::exists(temp));
}
