#include "CSmfStyle.h"
#include "EmptyStyleTemplate.h"
#include "StyleBytes.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

Bytes checkedInTemplate()
{
    return testutil::readFile(QStringLiteral(KRM_EMPTY_STYLE_SOURCE));
}

// What the export does with the template: tempo and time signature, the
// sections laid end to end after one bar in the export's order (marker ids
// of the names in kTemplateSectionNames), the end of track after the last.
uint32_t fitTemplate(const Bytes& bytes, uint32_t bpm, uint8_t beatsPerBar, uint8_t beatUnit,
                     const std::vector<uint32_t>& bars, Bytes& out)
{
    static const uint8_t kOrder[15] = {3, 1, 0, 7, 6, 13, 12, 19, 18, 8, 4, 9, 10, 15, 16};
    CSmfStyleDecoratorForASFF doc;
    if (uint32_t r = doc.load(bytes))
        return r;
    if (uint32_t r = doc.setTempo(60000000 / bpm))
        return r;
    const uint8_t power = beatUnit == 8 ? 3 : beatUnit == 2 ? 1 : 2;
    if (uint32_t r = doc.setTimeSignature(uint32_t(beatsPerBar) << 24 | uint32_t(power) << 16 | 0x1808))
        return r;
    const uint32_t ticksPerBar = 3840 / beatUnit * beatsPerBar;
    uint32_t start = ticksPerBar;
    for (int i = 0; i < 15; ++i) {
        if (bars[size_t(i)] == 0) {
            if (uint32_t r = doc.removeSectionMarker(kOrder[i]))
                return r;
        } else {
            if (uint32_t r = doc.moveSectionMarker(kOrder[i], start))
                return r;
            start += bars[size_t(i)] * ticksPerBar;
        }
    }
    if (uint32_t r = doc.setEndOfTrackTime(start))
        return r;
    Bytes fitted;
    if (uint32_t r = doc.save(fitted))
        return r;
    CSmfStyleDecorator second;
    if (uint32_t r = second.load(fitted))
        return r;
    if (uint32_t r = second.keepSections(0xFFFFFFFF))
        return r;
    return second.save(out);
}

}  // namespace

TEST(TemplateStyle, GeneratorOutputIsTheCheckedInFileAndItsCopyBesideTheProgram)
{
    Bytes made;
    ASSERT_EQ(buildEmptyStyleTemplate(made), 0u);
    const Bytes file = checkedInTemplate();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(made, file) << "re-make assets/Empty.sty with the regenerate_empty_style target";
    EXPECT_EQ(testutil::readFile(QStringLiteral(KRM_EMPTY_STYLE_BESIDE_APP)), file);
}

TEST(TemplateStyle, ContentAndStableRoundTrip)
{
    const Bytes file = checkedInTemplate();
    CSmfStyleDecorator doc;
    ASSERT_EQ(doc.load(file), 0u);
    EXPECT_EQ(doc.formatFlag, 2);
    EXPECT_EQ(doc.head.format, 0);
    EXPECT_EQ(doc.head.trackCount, 1);
    EXPECT_EQ(doc.head.division, 960);
    ASSERT_EQ(doc.tracks.size(), 1u);

    // The track by hand: everything at tick 0.
    Bytes track = sb::cat({sb::marker(0, "SFF2"), sb::meta(0, 0x51, {0x07, 0xA1, 0x20}),
                           sb::meta(0, 0x58, {0x04, 0x02, 0x18, 0x08})});
    for (const char* name : kTemplateSectionNames)
        track = sb::cat({track, sb::marker(0, name)});
    track = sb::cat({track, sb::endOfTrack()});
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 22 + long(track.size())),
              sb::cat({sb::mthd(0, 1, 960), sb::chunk("MTrk", track)}));

    ASSERT_EQ(doc.sections.size(), 15u);
    for (size_t i = 0; i < 15; ++i) {
        SCOPED_TRACE(kTemplateSectionNames[i]);
        const CSection& s = *doc.sections[i];
        EXPECT_EQ(s.names, std::vector<std::string> {kTemplateSectionNames[i]});
        EXPECT_EQ(s.ctabs.size(), 16u);
        EXPECT_TRUE(s.cntts.empty());
        uint8_t id = 0;
        EXPECT_EQ(CSmfStyle::sectionIdFromName(kTemplateSectionNames[i],
                                               uint32_t(std::strlen(kTemplateSectionNames[i])), &id),
                  0u);
    }

    Bytes once, twice;
    ASSERT_EQ(doc.save(once), 0u);
    EXPECT_EQ(once, file);
    CSmfStyleDecorator again;
    ASSERT_EQ(again.load(once), 0u);
    ASSERT_EQ(again.save(twice), 0u);
    EXPECT_EQ(twice, once);
}

TEST(TemplateStyle, ExportFitsTheSectionsAfterOneBar)
{
    // 4/4 at 120 bpm; "Intro A" 2 bars, "Fill In AA" 1 bar, the rest none.
    std::vector<uint32_t> bars(15, 0);
    bars[0] = 2;
    bars[1] = 1;
    Bytes out;
    ASSERT_EQ(fitTemplate(checkedInTemplate(), 120, 4, 4, bars, out), 0u);

    // Markers without their one-byte delta, behind two-byte deltas.
    const Bytes intro = sb::marker(0, "Intro A"), fill = sb::marker(0, "Fill In AA");
    const Bytes track = sb::cat({sb::marker(0, "SFF2"),
                                 sb::meta(0, 0x51, {0x07, 0xA1, 0x20}),
                                 sb::meta(0, 0x58, {0x04, 0x02, 0x18, 0x08}),
                                 {0x9E, 0x00},  // at 3840
                                 Bytes(intro.begin() + 1, intro.end()),
                                 {0xBC, 0x00},  // at 11520
                                 Bytes(fill.begin() + 1, fill.end()),
                                 {0x9E, 0x00, 0xFF, 0x2F, 0x00}});  // end of track at 15360
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 22 + long(track.size())),
              sb::cat({sb::mthd(0, 1, 960), sb::chunk("MTrk", track)}));

    CSmfStyleDecorator parsed;
    ASSERT_EQ(parsed.load(out), 0u);
    EXPECT_EQ(parsed.sections.size(), 15u);  // the style part keeps every section
    uint32_t end = 0;
    parsed.tracks[0]->lastEvent()->getTime(&end);
    EXPECT_EQ(end, 15360u);
}

TEST(TemplateStyle, ThreeFourAndEveryOtherSection)
{
    // 3/4: 2880 ticks per bar; every section one bar except "Main A" (none).
    std::vector<uint32_t> bars(15, 1);
    bars[2] = 0;
    Bytes out;
    ASSERT_EQ(fitTemplate(checkedInTemplate(), 90, 3, 4, bars, out), 0u);
    CSmfStyleDecorator parsed;
    ASSERT_EQ(parsed.load(out), 0u);
    std::vector<uint32_t> times;
    for (const auto& e : parsed.tracks[0]->events) {
        uint32_t t = 0;
        e->getTime(&t);
        uint8_t id = 0;
        if (e->isMeta(kMetaMarker) && CSmfStyleDecorator::markerSectionId(e.get(), &id) == 0)
            times.push_back(t);
    }
    std::vector<uint32_t> expect;
    for (uint32_t k = 1; k <= 14; ++k)
        expect.push_back(2880 * k);
    EXPECT_EQ(times, expect);
    uint32_t end = 0;
    parsed.tracks[0]->lastEvent()->getTime(&end);
    EXPECT_EQ(end, 2880u * 15);
    // Track body from offset 22: the format marker (8 bytes), then the tempo and time-signature events.
    EXPECT_EQ(Bytes(out.begin() + 30, out.begin() + 45),
              (Bytes {0x00, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2A, 0x00, 0xFF, 0x58, 0x04, 3, 2, 24, 8}));
}
