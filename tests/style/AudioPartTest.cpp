#include "AudioFixtures.h"
#include "CAudioStyle.h"
#include "RecordingWarningSink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

using sb::Bytes;

namespace {

class AudioPart : public ::testing::Test {
protected:
    std::vector<testutil::RecordingWarningSink::Warning> warnings() const { return m_warnings.warnings(); }

    testutil::TempDir m_dir;
    testutil::RecordingWarningSink m_warnings;
    krm::WarningSinkScope m_warningScope {&m_warnings};
};

Bytes padded50(const std::string& s)
{
    Bytes b(50, 0);
    std::copy(s.begin(), s.end(), b.begin());
    return b;
}

// The whole audio part of one section "Main A" with one file, by hand.
Bytes expectedPart(const std::string& name, const Bytes& wavData)
{
    const Bytes range = {0, 0, 0, 0, 127, 0};
    const Bytes atab = sb::cat({{0},
                                sb::text("        "),
                                {0x29},
                                padded50(name),
                                {1, 0x0F, 0xFF},
                                {0x07, 0xFF, 0xFF, 0xFF, 0xFF},
                                {0, 0, 0, 127},
                                range,
                                range,
                                range,
                                Bytes(7, 0)});
    const Bytes amix = {0x01, 0xE0, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xB0,
                        0x07, 0x50, 0x00, 0x0A, 0x40, 0x00, 0x5B, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    const Bytes aseg =
        sb::cat({sb::chunk("Adec", sb::text("Main A")), sb::chunk("Atab", atab), sb::chunk("AMix", amix)});
    const Bytes afmt = {0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0xAC, 0x44,
                        0x00, 0x02, 0xB1, 0x10, 0x00, 0x04, 0x00, 0x10};
    const Bytes sfmtHead = sb::cat({{0x00, 0x01, 0x07, 0xA1, 0x20, 0x01, 0xD4, 0xC0, 0xB7, 0x1B, 0x00, 0x04,
                                     0x02, 0x18, 0x08, 0x00, 0x01, 0x00, 0x01},
                                    Bytes(8, 0),
                                    {0x00, 0x00, 0x56, 0x22, 0x00, 0x00, 0x56, 0x22}});
    const Bytes sfmt = sb::cat({sfmtHead, sb::chunk("SPnt", {}), sb::chunk("Sdec", sb::text("Main A"))});
    const Bytes ainf =
        sb::cat({sb::chunk("BPnt", {}), sb::chunk("OPnt", {}), sb::chunk("APnt", {}), sb::chunk("ATmp", {})});
    const Bytes awav = sb::cat({sb::text("WAVE"), sb::chunk("Afmt", afmt), sb::chunk("Sfmt", sfmt),
                                sb::chunk("Adat", wavData), sb::chunk("AInf", ainf)});
    const Bytes adsg = sb::cat({sb::chunk("ANdc", padded50(name)), sb::chunk("AWav", awav)});
    return sb::cat({sb::chunk("AASM", sb::chunk("ASEG", aseg)), sb::chunk("AFil", sb::chunk("ADSg", adsg))});
}

}  // namespace

TEST_F(AudioPart, OneSectionOneFileByHand)
{
    const QString wav = m_dir.path("take1.wav");
    const Bytes data = af::writeWav(wav, 4);
    CAudioInfo info;
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "take1", wav.toStdString(), 0), 0u);

    const Bytes expect = expectedPart("take1", data);
    CAudioStyleDecorator writer;
    Bytes out = {0xEE};
    ASSERT_EQ(writer.writeAudioPart(&info, out), 0u);
    EXPECT_EQ(out, expect);
    EXPECT_TRUE(warnings().empty());
    // Written twice, the part is the same (the mixer's end of track is not doubled).
    ASSERT_EQ(writer.writeAudioPart(&info, out), 0u);
    EXPECT_EQ(out, expect);
}

TEST_F(AudioPart, PointsNamesAndTheSecondAttackList)
{
    const QString wav = m_dir.path("take1.wav");
    af::writeWav(wav, 4);
    CAudioInfo info;
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "take1", wav.toStdString(), 0), 0u);
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "take1", wav.toStdString(), 1), 0u);
    CAudioWaveForm* form = info.files[0]->getWaveForm();
    form->getInfo()->addBeatPoint(new CAudioPoint(0x01020304, 5, 6));
    auto* sp = new CSyncroPoint;
    sp->setPosition(7);
    sp->setIndex(8);
    sp->setOffset(960);
    form->getStyleFormat()->addSyncroPoint(sp);
    auto* tempo = new CAudioTempo;
    tempo->setPosition(44100);
    const uint8_t t[3] = {0x07, 0xA1, 0x20};
    tempo->setTempo(t, 3);
    form->getInfo()->addTempo(tempo);

    CAudioStyleDecorator writer;
    Bytes adec, spnt, bpnt, atmp;
    ASSERT_EQ(writer.writeAdec(adec, info.sections[0].get()), 0u);
    EXPECT_EQ(adec, sb::chunk("Adec", sb::text("Main A,Main B")));
    EXPECT_EQ(adec.size() - 8, 13u);
    ASSERT_EQ(writer.writeSPnt(spnt, form->getStyleFormat()), 0u);
    EXPECT_EQ(spnt, sb::chunk("SPnt", {0, 0, 0, 7, 0, 8, 4, 4, 0x03, 0xC0}));
    ASSERT_EQ(writer.writeBPnt(bpnt, form->getInfo()), 0u);
    EXPECT_EQ(bpnt, sb::chunk("BPnt", {1, 2, 3, 4, 0, 5, 0, 6}));
    ASSERT_EQ(writer.writeATmp(atmp, form->getInfo()), 0u);
    EXPECT_EQ(atmp, sb::chunk("ATmp", {0, 0, 0xAC, 0x44, 0x07, 0xA1, 0x20}));

    // "APt2" closes "AInf" only at format flag 4.
    Bytes ainf;
    ASSERT_EQ(writer.writeAInf(ainf, form->getInfo()), 0u);
    EXPECT_EQ(ainf.size(), 8u + 16 + 8 + 8 + 15);
    writer.formatFlag = 4;
    ainf.clear();
    ASSERT_EQ(writer.writeAInf(ainf, form->getInfo()), 0u);
    EXPECT_EQ(Bytes(ainf.end() - 8, ainf.end()), sb::chunk("APt2", {}));
}

TEST_F(AudioPart, EmptyModelsAndNamelessSections)
{
    CAudioStyleDecorator writer;
    CAudioInfo empty;
    Bytes out = {1, 2};
    EXPECT_EQ(writer.writeAudioPart(&empty, out), 0u);
    EXPECT_TRUE(out.empty());
    out = {1, 2};
    EXPECT_EQ(writer.writeAudioPart(nullptr, out), 0x80000001u);
    EXPECT_EQ(out, (Bytes {1, 2}));

    // A section without names leaves an empty "AASM".
    CAudioInfo nameless;
    auto s = std::make_unique<CAudioSection>();
    s->resetDefaults();
    s->names.clear();
    nameless.sections.push_back(std::move(s));
    ASSERT_EQ(writer.writeAudioPart(&nameless, out), 0u);
    EXPECT_EQ(out, sb::chunk("AASM", {}));

    // A channel table that is not an "Atab" stops the section.
    nameless.sections[0]->names = {"Main A"};
    nameless.sections[0]->atabList[0]->setTag("Ctb2", 4);
    EXPECT_EQ(writer.writeAudioPart(&nameless, out), 0x80000852u);
    EXPECT_TRUE(out.empty());
}

TEST_F(AudioPart, MissingWaveFileWarnsAndFailsAtTheWaveData)
{
    const std::string missing = m_dir.path("gone.wav").toStdString();
    CAudioInfo info;
    ASSERT_EQ(af::assign(info, af::defaultWaveInfo(), "gone", missing, 0), 0u);
    CAudioStyleDecorator writer;
    Bytes out;
    EXPECT_EQ(writer.writeAudioPart(&info, out), 0x81647443u);
    EXPECT_TRUE(out.empty());
    const auto shown = warnings();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "save SFF");
    EXPECT_EQ(shown[0].text, "wave file read error!\r\n" + QString::fromStdString(missing));
    EXPECT_EQ(shown[0].level, krm::WarningLevel::Warning);
    uint32_t rate = 0;
    info.files[0]->getWaveForm()->getFormat()->getSampleRate(&rate);
    EXPECT_EQ(rate, 44100u);
}

TEST_F(AudioPart, WaveBytesComeFromTheFirstSourceThatHasThem)
{
    const QString wav = m_dir.path("t.wav");
    const Bytes fromWav = af::writeWav(wav, 3);
    CAudioWaveData d;
    d.setFileName(wav.toStdString());
    Bytes out = {0xAA};
    ASSERT_EQ(CAudioStyle::loadWaveData(out, &d), 0u);
    EXPECT_EQ(out, sb::cat({{0xAA}, fromWav}));

    const QString temp = m_dir.path("t.tmp");
    testutil::writeFile(temp, {5, 6, 7});
    d.setTempFilePath(temp.toStdString());
    out.clear();
    ASSERT_EQ(CAudioStyle::loadWaveData(out, &d), 0u);
    EXPECT_EQ(out, (Bytes {5, 6, 7}));

    const uint8_t held[2] = {1, 2};
    d.reset();  // deletes the temporary file
    EXPECT_FALSE(QFile::exists(temp));
    d.setData(held, 2);
    out.clear();
    ASSERT_EQ(CAudioStyle::loadWaveData(out, &d), 0u);
    EXPECT_EQ(out, (Bytes {1, 2}));
    EXPECT_EQ(CAudioStyle::loadWaveData(out, nullptr), 0x80000001u);
    EXPECT_TRUE(warnings().empty());
}

namespace {

// Collects a streamed part; refuses bytes once `limit` would be passed.
class CollectingSink : public CAudioStyle::PartSink {
public:
    explicit CollectingSink(size_t limit = SIZE_MAX) : m_limit(limit) { }
    bool append(const uint8_t* data, size_t size) override
    {
        ++appends;
        if (bytes.size() + size > m_limit)
            return false;
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    bool patchU32(uint64_t offset, uint32_t v) override
    {
        if (offset + 4 > bytes.size())
            return false;
        for (int i = 0; i < 4; ++i)
            bytes[size_t(offset) + size_t(i)] = uint8_t(v >> (24 - 8 * i));
        return true;
    }
    Bytes bytes;
    int appends = 0;

private:
    size_t m_limit;
};

}  // namespace

// The streamed part is byte for byte the part built whole, with the same
// result codes, for models with and without sections and files, several
// files, and a file whose WAV is gone; a sink that takes no more bytes
// fails the part.
TEST_F(AudioPart, StreamedPartEqualsThePartBuiltWhole)
{
    const QString wav1 = m_dir.path("take1.wav"), wav2 = m_dir.path("take2.wav");
    af::writeWav(wav1, 4);
    af::writeWav(wav2, 3000);
    const std::string gone = m_dir.path("gone.wav").toStdString();
    struct Row {
        const char* what;
        std::function<void(CAudioInfo&)> fill;
        int warnings;
    };
    const Row rows[] = {
        {"empty model", [](CAudioInfo&) {}, 0},
        {"one section, one file",
         [&](CAudioInfo& i) { af::assign(i, af::defaultWaveInfo(), "take1", wav1.toStdString(), 0); }, 0},
        {"three files",
         [&](CAudioInfo& i) {
             af::assign(i, af::defaultWaveInfo(), "take1", wav1.toStdString(), 0);
             af::assign(i, af::defaultWaveInfo(), "take2", wav2.toStdString(), 3);
             af::assign(i, af::defaultWaveInfo(), "take1b", wav1.toStdString(), 8);
         },
         0},
        {"files without sections",
         [&](CAudioInfo& i) {
             af::assign(i, af::defaultWaveInfo(), "take2", wav2.toStdString(), 1);
             i.sections.clear();
         },
         0},
        {"a missing WAV after a good one",
         [&](CAudioInfo& i) {
             af::assign(i, af::defaultWaveInfo(), "take2", wav2.toStdString(), 0);
             af::assign(i, af::defaultWaveInfo(), "gone", gone, 2);
         },
         2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const size_t warnedBefore = warnings().size();
        CAudioInfo whole, streamed;
        row.fill(whole);
        row.fill(streamed);
        CAudioStyleDecorator writer;
        Bytes out;
        const krm::Result expected = writer.writeAudioPart(&whole, out);
        CollectingSink sink;
        uint64_t written = 99;
        EXPECT_EQ(writer.writeAudioPart(&streamed, sink, written), expected);
        EXPECT_EQ(int(warnings().size() - warnedBefore), row.warnings);
        if (expected != 0)
            continue;
        EXPECT_EQ(sink.bytes, out);
        EXPECT_EQ(written, out.size());
        EXPECT_LE(sink.appends, 2 + int(streamed.files.size()));  // never a byte at a time
    }

    CAudioInfo info;
    af::assign(info, af::defaultWaveInfo(), "take2", wav2.toStdString(), 0);
    CAudioStyleDecorator writer;
    uint64_t written = 0;
    CollectingSink full(100);
    EXPECT_EQ(writer.writeAudioPart(&info, full, written), 0x80000004u);
    CollectingSink any;
    EXPECT_EQ(writer.writeAudioPart(nullptr, any, written), 0x80000001u);
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(any.bytes.empty());
}
