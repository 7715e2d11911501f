// The style manager: its numberings, the settings it writes into the audio
// model, and the attack, beat and cut points of one section.
#include "ExportFixture.h"

#include "CAudioInfo.h"
#include "ResultCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>

using namespace export_test;

namespace {

// Files the audio `name` (a file that need not exist) under style section
// id `id`, described by the default wave-info text.
uint32_t addAudio(styMngr& m, int id, const std::string& name)
{
    const std::string& text = defaultWaveInfoText();
    const std::string path = "/nowhere/" + name + ".wav";
    uint8_t volume = 80, pan = 64, reverb = 0;
    return m.setSectionAudio(text.data(), uint32_t(text.size()), name.data(), uint32_t(name.size()),
                             path.data(), uint32_t(path.size()), id, &volume, &pan, &reverb);
}

CAudioStyleWaveFormat* formatOf(styMngr& m, int id)
{
    CAudioFile* f = m.audioInfo()->findFileForSection(id);
    return f ? f->getWaveForm()->getStyleFormat() : nullptr;
}

std::vector<uint8_t> bytesOf(uint32_t (CAudioStyleWaveFormat::*get)(uint8_t*, uint32_t*) const,
                             const CAudioStyleWaveFormat* f, uint32_t width)
{
    std::vector<uint8_t> out(width, 0);
    uint32_t n = width;
    (f->*get)(out.data(), &n);
    return out;
}

uint16_t barsOf(const CAudioStyleWaveFormat* f)
{
    uint16_t bars = 0;
    f->getNumberOfBars(&bars);
    return bars;
}

StyleInfo infoWith(uint32_t tempo, uint8_t bpb, uint8_t unit, uint32_t bars, uint32_t length)
{
    StyleInfo info;
    info.tempo = tempo;
    info.beatsPerBar = bpb;
    info.beatUnit = unit;
    for (int s = 0; s < 15; ++s) {
        info.sectionBars[s] = bars + uint32_t(s);
        info.sectionLength[s] = length + uint32_t(s);
    }
    return info;
}

// Records the blocks the attack search feeds and reports detections in
// chosen blocks.
class RecordingSink : public TransientSink {
public:
    int processBlock(const int16_t* samples, int n) override
    {
        sizes.push_back(n);
        blocks.emplace_back(samples, samples + n);
        return 0;
    }
    bool hasDetection() override
    {
        return std::find(detectAt.begin(), detectAt.end(), int(sizes.size()) - 1) != detectAt.end();
    }
    std::vector<int> sizes;
    std::vector<std::vector<int16_t>> blocks;
    std::vector<int> detectAt;  // block numbers
};

// Positions of a list of beat, attack or sync points.
template <typename List> std::vector<uint32_t> positionsOf(const List& list)
{
    std::vector<uint32_t> out;
    for (const auto& p : list) {
        uint32_t v = 0;
        p->getPosition(&v);
        out.push_back(v);
    }
    return out;
}

}  // namespace

TEST(StyMngr, SectionNumberingsAndSettings)
{
    std::unique_ptr<IF_styMngr> m(createStyMngr());
    const uint8_t ids[15] = {8, 9, 10, 0, 1, 2, 3, 4, 5, 6, 7, 17, 12, 13, 14};
    const uint8_t slotNumbers[15] = {3, 9, 15, 0, 6, 12, 18, 1, 7, 13, 19, 8, 4, 10, 16};
    for (uint8_t i = 0; i < 15; ++i) {
        EXPECT_EQ(m->sectionToStyleId(i), ids[i]) << int(i);
        EXPECT_EQ(m->sectionToStyleSlot(i), slotNumbers[i]) << int(i);
        // The template section a project section maps to carries the name
        // of the style section its audio is filed under.
        EXPECT_STREQ(styMngr::slotName(slotNumbers[i]), sectionNameFromIndex(ids[i])) << int(i);
    }
    EXPECT_EQ(m->sectionToStyleId(15), 0);
    EXPECT_EQ(m->sectionToStyleSlot(15), 0);
    EXPECT_EQ(m->sectionToStyleId(200), 0);
    EXPECT_EQ(m->sectionToStyleSlot(200), 0);

    EXPECT_EQ(m->maxPoints(), 1024);
    EXPECT_EQ(m->limitB(), 256);
    EXPECT_EQ(m->limitC(), 256);
    EXPECT_EQ(m->setMaxPoints(12), 12);
    EXPECT_EQ(m->setLimitB(13), 13);
    EXPECT_EQ(m->setLimitC(14), 14);
    EXPECT_EQ(m->maxPoints(), 12);
    EXPECT_EQ(m->limitB(), 13);
    EXPECT_EQ(m->limitC(), 14);
    EXPECT_EQ(m->clearAudio(), 0u);
    EXPECT_FALSE(m->hasError());
    EXPECT_TRUE(m->errorText().isEmpty());
}

TEST(StyMngr, SetStyleInfoWritesTheMatchedFiles)
{
    styMngr m;
    // Without audio files nothing is written and nothing fails.
    EXPECT_EQ(m.setStyleInfo(infoWith(120, 4, 4, 2, 1000)), 0u);
    EXPECT_EQ(m.styleInfo().sectionBars[14], 16u);

    ASSERT_EQ(addAudio(m, 8, "KRM_temp_Intro 1"), 0u);  // project section 0
    ASSERT_EQ(addAudio(m, 0, "KRM_temp_Main A"), 0u);   // project section 3
    ASSERT_EQ(addAudio(m, 17, "KRM_temp_Break"), 0u);   // project section 11
    struct Row {
        uint32_t tempo;
        uint8_t bpb, unit;
        std::vector<uint8_t> tempoBytes, timeSig;
    };
    const Row rows[] = {
        {120, 4, 4, {0x07, 0xA1, 0x20}, {4, 2, 24, 8}},
        {100, 3, 8, {0x09, 0x27, 0xC0}, {3, 3, 24, 8}},
        {90, 6, 16, {0x0A, 0x2C, 0x2A}, {6, 4, 24, 8}},
    };
    for (const Row& r : rows) {
        ASSERT_EQ(m.setStyleInfo(infoWith(r.tempo, r.bpb, r.unit, 2, 1000)), 0u) << r.tempo;
        for (auto [id, section] : {std::pair {8, 0}, {0, 3}, {17, 11}}) {
            const CAudioStyleWaveFormat* f = formatOf(m, id);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(bytesOf(&CAudioStyleWaveFormat::getSourceTempo, f, 3), r.tempoBytes) << r.tempo;
            EXPECT_EQ(bytesOf(&CAudioStyleWaveFormat::getTimeSignature, f, 4), r.timeSig) << r.tempo;
            EXPECT_EQ(barsOf(f), 2 + section) << r.tempo << " section " << section;
        }
    }

    // A beat unit that is no power of two up to 16 stops at the first
    // section, after its bar count and tempo are written.
    StyleInfo bad = infoWith(60, 5, 3, 7, 5000);
    EXPECT_EQ(m.setStyleInfo(bad), 0x80000007u);
    EXPECT_EQ(m.styleInfo().sectionBars[0], 7u);
    EXPECT_EQ(m.styleInfo().sectionLength[0], 5000u);
    EXPECT_EQ(m.styleInfo().sectionBars[1], 3u);  // from the 90 row
    EXPECT_EQ(m.styleInfo().sectionLength[3], 1003u);
    EXPECT_EQ(barsOf(formatOf(m, 8)), 7);
    EXPECT_EQ(bytesOf(&CAudioStyleWaveFormat::getSourceTempo, formatOf(m, 8), 3),
              (std::vector<uint8_t> {0x0F, 0x42, 0x40}));
    EXPECT_EQ(bytesOf(&CAudioStyleWaveFormat::getTimeSignature, formatOf(m, 8), 4),
              (std::vector<uint8_t> {6, 4, 24, 8}));
    EXPECT_EQ(barsOf(formatOf(m, 0)), 5);

    // A tempo of 0 has no style tempo: refused before anything changes.
    EXPECT_EQ(m.setStyleInfo(infoWith(0, 4, 4, 9, 9)), 0x80000008u);
    EXPECT_EQ(m.styleInfo().tempo, 60u);
    EXPECT_EQ(m.styleInfo().sectionBars[0], 7u);
    EXPECT_EQ(barsOf(formatOf(m, 8)), 7);
    EXPECT_FALSE(m.hasError());
}

TEST(StyMngr, LookupMatchesTheNamesOfTheFile)
{
    styMngr m;
    // One file playing "Main A" and "Main B".
    ASSERT_EQ(addAudio(m, 0, "KRM_temp_Main A"), 0u);
    ASSERT_EQ(addAudio(m, 1, "KRM_temp_Main A"), 0u);
    ASSERT_EQ(m.audioInfo()->files.size(), 1u);
    ASSERT_EQ(m.setSlotBarCount(0, 7), 0u);
    for (uint8_t slot = 0; slot < 24; ++slot) {
        uint16_t bars = 99;
        EXPECT_EQ(m.getSlotBarCount(slot, bars), 0u) << int(slot);
        EXPECT_EQ(bars, slot == 0 || slot == 6 ? 7 : 0) << int(slot);
    }

    // The failures of a walk over a damaged model, for the bar-count
    // setter and for the other lookups.
    struct Case {
        const char* name;
        void (*damage)(CAudioInfo&);
        uint32_t setterCode, otherCode;
    };
    const Case cases[] = {
        {"empty entry", [](CAudioInfo& a) { a.files.front().reset(); }, 0x80000002, 0x80000001},
        {"no style format", [](CAudioInfo& a) { a.files.front()->getWaveForm()->reset(); }, 0x80000004,
         0x80000003},
        {"no names", [](CAudioInfo& a) { a.files.front()->getWaveForm()->getStyleFormat()->reset(); },
         0x80000005, 0x80000004},
    };
    for (const Case& c : cases) {
        styMngr d;
        ASSERT_EQ(addAudio(d, 0, "KRM_temp_Main A"), 0u);
        c.damage(*d.audioInfo());
        uint16_t bars = 0;
        EXPECT_EQ(d.setSlotBarCount(0, 1), c.setterCode) << c.name;
        EXPECT_EQ(d.setSlotTempo(0, 500000), c.otherCode) << c.name;
        EXPECT_EQ(d.setSlotTimeSignature(0, 0x04021808), c.otherCode) << c.name;
        EXPECT_EQ(d.getSlotBarCount(0, bars), c.otherCode) << c.name;
        EXPECT_EQ(d.setStyleInfo(StyleInfo()), krm::nest(c.setterCode, 1)) << c.name;
    }
}

TEST(StyMngr, AttackSearchFeedsBlocksOfMonoSamples)
{
    // 100 frames: blocks of 32, 32, 32 and 4, each sample (left + right) / 2
    // truncated toward zero.
    std::vector<int16_t> left(100), right(100);
    for (int i = 0; i < 100; ++i) {
        left[i] = int16_t(i % 2 ? 3 : -7 * i);
        right[i] = int16_t(i % 2 ? -4 : 5 * i);
    }
    RecordingSink sink;
    sink.detectAt = {0, 1, 2, 3};
    std::vector<uint32_t> onsets;
    ASSERT_EQ(detectTransients(left.data(), right.data(), 100, onsets, nullptr, &sink), 0u);
    EXPECT_EQ(sink.sizes, (std::vector<int> {32, 32, 32, 4}));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(sink.blocks[i / 32][i % 32], (left[i] + right[i]) / 2) << i;
    EXPECT_EQ(sink.blocks[0][1], 0);  // 3 and -4
    // An attack is placed 80 samples before its block, not before 0.
    EXPECT_EQ(onsets, (std::vector<uint32_t> {0, 0, 0, 16}));

    EXPECT_EQ(detectTransients(nullptr, right.data(), 100, onsets, nullptr, &sink), 0x80000001u);
}

TEST(StyMngr, AttackSearchFindsClicks)
{
    // The real detector over a click track: one attack per click, close
    // before it.
    const testsig::Signal clicks = testsig::clickTrack(120.0, 4.0, 0.8f, 256, 1000);
    const std::vector<uint8_t> frames = toFrames(clicks.samples);
    const size_t n = frames.size() / 4;
    std::vector<int16_t> left(n), right(n);
    for (size_t i = 0; i < n; ++i) {
        left[i] = sampleAt(frames, i, 0);
        right[i] = sampleAt(frames, i, 1);
    }
    std::vector<uint32_t> onsets;
    ASSERT_EQ(detectTransients(left.data(), right.data(), uint32_t(n), onsets, nullptr), 0u);
    ASSERT_EQ(onsets.size(), clicks.events.size());
    for (size_t k = 0; k < onsets.size(); ++k)
        EXPECT_NEAR(double(onsets[k]), double(clicks.events[k]), 200.0) << k;
}

TEST(StyMngr, AttackPointsCarryBeatAndTick)
{
    styMngr m;
    CAudioWaveInfo info;
    uint16_t mask = 0;
    // 2 bars of 4/4 in 800 frames: 100 frames a beat.
    const uint32_t spb = samplesPerBeat(800, 2, 4);
    ASSERT_EQ(spb, 100u);
    ASSERT_EQ(m.addAttackPoints(3, {0, 150, 799}, spb, &info, mask), 0u);
    const auto& points = info.getAttackPoints();
    ASSERT_EQ(points.size(), 3u);
    const uint16_t beats[] = {0, 1, 7}, ticks[] = {0, 960, 1900};
    for (size_t k = 0; k < 3; ++k) {
        uint16_t beat = 0, tick = 0;
        points[k]->getValue1(&beat);
        points[k]->getValue2(&tick);
        EXPECT_EQ(beat, beats[k]) << k;
        EXPECT_EQ(tick, ticks[k]) << k;
    }
    EXPECT_EQ(mask, 0);
    EXPECT_EQ(m.addAttackPoints(3, {1}, 0, &info, mask), 0x8000000Bu);
    EXPECT_EQ(samplesPerBeat(800, 0, 4), 0u);
    EXPECT_EQ(samplesPerBeat(800, 2, 0), 0u);

    // The list is cut at maxPoints, and only a cut list sets the bit.
    for (uint32_t count : {1024u, 1025u}) {
        CAudioWaveInfo many;
        uint16_t bits = 0x0001;
        std::vector<uint32_t> onsets(count);
        for (uint32_t k = 0; k < count; ++k)
            onsets[k] = k * 10;
        ASSERT_EQ(m.addAttackPoints(5, onsets, 100, &many, bits), 0u);
        EXPECT_EQ(many.getAttackPoints().size(), 1024u) << count;
        EXPECT_EQ(bits, count > 1024 ? 0x0021 : 0x0001) << count;
    }
}

TEST(StyMngr, BeatPointsLieOnTheBarGrid)
{
    styMngr m;
    StyleInfo info;
    info.sectionBars[6] = 4;
    info.sectionLength[6] = 352801;
    ASSERT_EQ(m.setStyleInfo(info), 0u);
    CAudioWaveForm form;
    ASSERT_EQ(form.buildDefaults(), 0u);
    for (int limit : {256, 10}) {
        m.setLimitB(limit);
        uint16_t mask = 0;
        ASSERT_EQ(m.makeBeatPoints(6, &form, mask), 0u);
        const std::vector<uint32_t> got = positionsOf(form.getInfo()->getBeatPoints());
        std::vector<uint32_t> want;
        for (uint32_t i = 0; i <= 16 && int(i) < limit; ++i)
            want.push_back(i == 16 ? 352801u : uint32_t(352801.0 / 16 * i));
        EXPECT_EQ(got, want) << limit;
        EXPECT_EQ(mask, limit == 10 ? 0x0040 : 0) << limit;
        uint16_t beat = 0;
        form.getInfo()->getBeatPoints().back()->getValue1(&beat);
        EXPECT_EQ(beat, want.size() - 1) << limit;
    }
    // No wave information: nothing to do.
    uint16_t mask = 0;
    EXPECT_EQ(m.makeBeatPoints(6, nullptr, mask), 0u);
}

namespace {

// A section of clicks on every beat (120 per minute) filed under Main A,
// with its wave bytes held in memory.
struct ClickSection {
    styMngr m;
    CAudioWaveForm* form = nullptr;
    std::vector<uint8_t> frames;

    // `announced`: the length the settings give (the audio's by default).
    ClickSection(uint32_t bars, uint32_t lengthFrames, uint32_t announced = 0)
    {
        addAudio(m, 0, "KRM_temp_Main A");
        form = m.audioInfo()->findFileForSection(0)->getWaveForm();
        const testsig::Signal clicks = testsig::clickTrack(120.0, lengthFrames / 44100.0 + 0.1, 0.8f, 256);
        frames = toFrames(clicks.samples);
        frames.resize(size_t(lengthFrames) * 4);
        form->getData()->setData(frames.data(), uint32_t(frames.size()));
        StyleInfo info;
        info.sectionBars[3] = bars;
        info.sectionLength[3] = announced ? announced : lengthFrames;
        m.setStyleInfo(info);
    }
};

std::vector<uint32_t> syncPositions(const CAudioStyleWaveFormat& f)
{
    return positionsOf(f.getSyncroPoints());
}

}  // namespace

TEST(StyMngr, CutPointsFallBetweenTheClicks)
{
    ClickSection c(2, 8 * kBeat120);
    uint16_t mask = 0x0008;
    ASSERT_EQ(c.m.makeSyncPoints(3, c.form, mask), 0u);
    EXPECT_EQ(mask, 0);
    const CAudioStyleWaveFormat& f = *c.form->getStyleFormat();
    const std::vector<uint32_t> cuts = syncPositions(f);
    ASSERT_EQ(cuts.size(), 8u);  // one per beat interval
    for (size_t k = 0; k < cuts.size(); ++k) {
        const auto& p = f.getSyncroPoints()[k];
        uint16_t number = 0, tick = 0;
        uint8_t a = 0, b = 0;
        p->getIndex(&number);
        p->getOffset(&tick);
        p->getFlagA(&a);
        p->getFlagB(&b);
        EXPECT_EQ(number, k);
        EXPECT_EQ(a, 4);
        EXPECT_EQ(b, 4);
        // Inside beat k, away from its click (256 samples long).
        EXPECT_EQ(cuts[k] / kBeat120, k) << k;
        EXPECT_GT(cuts[k] % kBeat120, 256u) << k;
        EXPECT_EQ(tick, uint16_t(double(cuts[k] % kBeat120) / kBeat120 * 1920.0)) << k;
    }

    // At the limit the list stops and the bit is set.
    c.m.setLimitC(3);
    mask = 0;
    ASSERT_EQ(c.m.makeSyncPoints(3, c.form, mask), 0u);
    EXPECT_EQ(syncPositions(f), std::vector<uint32_t>(cuts.begin(), cuts.begin() + 3));
    EXPECT_EQ(mask, 0x0008);
}

TEST(StyMngr, CutPointsOfCrowdedBeatsStayOnePerBeat)
{
    // 32 beats in 16000 frames: markers 500 frames apart, closer than the
    // analysis can separate. They are merged, and a cut in the beat of the
    // one before replaces it.
    ClickSection c(8, 16000);
    uint16_t mask = 0;
    ASSERT_EQ(c.m.makeSyncPoints(3, c.form, mask), 0u);
    const CAudioStyleWaveFormat& f = *c.form->getStyleFormat();
    const std::vector<uint32_t> cuts = syncPositions(f);
    ASSERT_FALSE(cuts.empty());
    for (size_t k = 0; k < cuts.size(); ++k) {
        uint16_t number = 0;
        f.getSyncroPoints()[k]->getIndex(&number);
        EXPECT_EQ(number, k);
        EXPECT_LT(cuts[k], 16000u);
        if (k > 0) {
            EXPECT_GT(cuts[k] / 500, cuts[k - 1] / 500) << k;
        }
    }
}

TEST(StyMngr, CutPointsOfAPartAreRelativeToItsFirstFrame)
{
    // In thirds, no part begins on a beat: each part finds the cuts of its
    // beats where the whole section finds them.
    ClickSection c(2, 8 * kBeat120);
    std::vector<uint32_t> whole, thirds;
    ASSERT_EQ(c.m.findCutPoints(0, 1, 3, c.frames, whole), 0u);
    for (uint32_t j = 0; j < 3; ++j)
        ASSERT_EQ(c.m.findCutPoints(j, 3, 3, c.frames, thirds), 0u);
    ASSERT_EQ(whole.size(), 8u);
    const std::vector<uint32_t> beats = {0, 1, 3, 4, 6, 7};
    ASSERT_EQ(thirds.size(), beats.size());
    for (size_t k = 0; k < beats.size(); ++k) {
        EXPECT_EQ(thirds[k] / kBeat120, beats[k]) << k;
        EXPECT_NEAR(double(thirds[k]), double(whole[beats[k]]), 2048.0) << k;
    }
    std::vector<uint32_t> none;
    EXPECT_EQ(c.m.findCutPoints(0, 1, 3, {}, none), 0x80000001u);
    EXPECT_EQ(c.m.findCutPoints(0, 1, 4, c.frames, none), 0x80000003u);  // no bars
}

TEST(StyMngr, CutPointsInOneBeatKeepTheLast)
{
    // A section announced twice as long as its audio: the cut of beat 3
    // and every cut past the audio (on its last frame) fall into beat 3.
    // The last of them stands for that beat, and the running numbers stay
    // consecutive.
    ClickSection c(2, 8 * kBeat120, 16 * kBeat120);
    uint16_t mask = 0;
    ASSERT_EQ(c.m.makeSyncPoints(3, c.form, mask), 0u);
    const CAudioStyleWaveFormat& f = *c.form->getStyleFormat();
    const std::vector<uint32_t> cuts = syncPositions(f);
    ASSERT_EQ(cuts.size(), 4u);
    const uint32_t spb = 2 * kBeat120;
    for (size_t k = 0; k < cuts.size(); ++k) {
        uint16_t number = 0;
        f.getSyncroPoints()[k]->getIndex(&number);
        EXPECT_EQ(number, k);
        EXPECT_EQ(cuts[k] / spb, k) << k;
    }
    EXPECT_EQ(cuts.back(), 8 * kBeat120 - 1);
}

namespace {

// Runs out of memory in the first pass and in part 1 of the second, as a
// section too long for the analysis would.
class ExhaustedStyMngr : public styMngr {
public:
    uint32_t findCutPoints(uint32_t part, uint32_t parts, uint8_t s, const std::vector<uint8_t>& bytes,
                           std::vector<uint32_t>& cuts) override
    {
        if (parts == 1 || (parts == 2 && part == 1) || parts >= throwFrom)
            throw std::bad_alloc();
        return styMngr::findCutPoints(part, parts, s, bytes, cuts);
    }
    uint32_t throwFrom = 1u << 30;
};

}  // namespace

TEST(StyMngr, CutPointsAfterMemoryRunsOut)
{
    ClickSection plain(2, 8 * kBeat120);
    std::vector<uint32_t> quarters;
    for (uint32_t j = 0; j < 4; ++j)
        ASSERT_EQ(plain.m.findCutPoints(j, 4, 3, plain.frames, quarters), 0u);

    ExhaustedStyMngr m;
    addAudio(m, 0, "KRM_temp_Main A");
    CAudioWaveForm* form = m.audioInfo()->findFileForSection(0)->getWaveForm();
    form->getData()->setData(plain.frames.data(), uint32_t(plain.frames.size()));
    StyleInfo info;
    info.sectionBars[3] = 2;
    info.sectionLength[3] = 8 * kBeat120;
    m.setStyleInfo(info);

    // Retried in quarters, from an empty list: the cuts of the half that
    // succeeded before are not kept twice.
    uint16_t mask = 0;
    ASSERT_EQ(m.makeSyncPoints(3, form, mask), 0u);
    EXPECT_EQ(syncPositions(*form->getStyleFormat()), quarters);
    EXPECT_EQ(mask, 0);  // the retry succeeded
    EXPECT_TRUE(m.hasError());

    // Given up once the parts would be shorter than two frames.
    m.throwFrom = 1;
    m.clearError();
    EXPECT_EQ(m.makeSyncPoints(3, form, mask), 0x8000000Cu);
    EXPECT_EQ(mask, 0x0008);
    EXPECT_TRUE(m.hasError());
}

TEST(StyMngr, PointsOfASectionWithoutBeatsFail)
{
    // Audio assigned, but no bars: there is no beat to place points in.
    ClickSection c(0, 4 * kBeat120);
    uint16_t mask = 0;
    EXPECT_EQ(c.m.makeAttackPoints(3, c.form, mask), 0x8000000Bu);
    EXPECT_EQ(c.m.makeSyncPoints(3, c.form, mask), 0x80000008u);  // no markers without beats
    EXPECT_EQ(c.m.makeAttackPoints(3, nullptr, mask), 0x80000002u);
    EXPECT_EQ(c.m.makeSyncPoints(3, nullptr, mask), 0x80000001u);

    // Announced shorter than one frame a beat: no beat either.
    ClickSection tiny(4, 4000, 10);
    EXPECT_EQ(tiny.m.makeAttackPoints(3, tiny.form, mask), 0x8000000Bu);
    EXPECT_EQ(tiny.m.makeSyncPoints(3, tiny.form, mask), 0x80000009u);
}
