#include "CSmfStyle.h"
#include "StyleBytes.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

Bytes section(const std::string& names, std::initializer_list<Bytes> more = {})
{
    Bytes b = sb::sdec(names);
    for (const Bytes& m : more)
        b.insert(b.end(), m.begin(), m.end());
    return b;
}

std::vector<std::vector<std::string>> namesOfSections(const CSmfStyle& s)
{
    std::vector<std::vector<std::string>> out;
    for (const auto& sec : s.sections)
        out.push_back(sec->names);
    return out;
}

// Markers of the first track as (text, time), in order.
std::vector<std::pair<std::string, uint32_t>> markers(const CSmfStyle& s)
{
    std::vector<std::pair<std::string, uint32_t>> out;
    for (const auto& e : s.tracks.front()->events) {
        if (!e->isMeta(kMetaMarker))
            continue;
        uint32_t n = 0, t = 0;
        e->getDataLength(&n);
        e->getTime(&t);
        out.emplace_back(std::string(e->dataBytes(), e->dataBytes() + n), t);
    }
    return out;
}

Bytes metaData(const CSmfStyleDecorator& s, uint8_t type)
{
    std::vector<CEvnt*> found;
    EXPECT_EQ(s.collectMetaEvents(type, found), 0u);
    if (found.empty())
        return {};
    uint32_t n = 0;
    found.front()->getDataLength(&n);
    return Bytes(found.front()->dataBytes(), found.front()->dataBytes() + n);
}

const Bytes kTempoAndMeter =
    sb::cat({sb::meta(0, 0x51, {0x05, 0x00, 0x00}), sb::meta(0, 0x58, {3, 2, 24, 8})});

}  // namespace

TEST(StyleDocument, FormatDetection)
{
    const Bytes tables = sb::chunk("Ctb2", sb::ctb2Body(0));
    const struct {
        const char* what;
        Bytes bytes;
        uint32_t load;
        uint8_t flag;
    } cases[] = {
        {"SFF2", sb::style(sb::marker(0, "SFF2"), {section("Main A", {tables})}), 0, 2},
        {"SFF1 with records", sb::style(sb::marker(0, "SFF1"), {section("Main A", {tables, sb::cntt(0, 5)})}),
         0, 1},
        {"SFF1 without records", sb::style(sb::marker(0, "SFF1"), {section("Main A", {tables})}), 0, 0},
        {"marker found after section markers",
         sb::style(sb::cat({sb::marker(0, "Main A"), sb::marker(0, "SFF2")}), {section("Main A")}), 0, 2},
        {"only section markers", sb::style(sb::marker(0, "Main A"), {section("Main A")}), 0x80000322, 7},
        {"SFF2 plus a fifth byte", sb::style(sb::marker(0, "SFF2x"), {section("Main A")}), 0x80000322, 7},
        {"no CASM: no detection", sb::style(sb::marker(0, "Main A"), {}), 0, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSmfStyleDecorator d;
        d.formatFlag = 7;
        EXPECT_EQ(d.load(c.bytes), c.load);
        EXPECT_EQ(d.formatFlag, c.flag);
    }

    // "CASM" without tracks: the marker search has no track to look at.
    CSmfStyleDecorator d;
    const Bytes noTracks = sb::cat({sb::mthd(), sb::chunk("CASM", sb::chunk("CSEG", section("Main A")))});
    EXPECT_EQ(d.load(noTracks), 0x80023122u);
    EXPECT_EQ(d.detectFormat(), 0x80000231u);
    EXPECT_EQ(d.load({}), 0x80000001u);
}

TEST(StyleDocument, OlderFormIsConvertedOnLoadingAndSaving)
{
    // Table of channel 0 with value 1 = 0x11 in every range; its record says 0x55.
    Bytes body = sb::ctb2Body(0);
    for (int r = 0; r < 3; ++r)
        body[22 + 6 * r + 1] = 0x11;
    const Bytes bytes =
        sb::style(sb::marker(0, "SFF1"),
                  {section("Main A", {sb::chunk("Ctb2", body), sb::chunk("Ctb2", sb::ctb2Body(1)),
                                      sb::cntt(0, 0x55), sb::cntt(0, 0x56), sb::cntt(9, 1)})});
    CSmfStyleDecorator d;
    ASSERT_EQ(d.load(bytes), 0u);
    ASSERT_EQ(d.formatFlag, 1);
    for (uint8_t r = 0; r < 3; ++r) {
        uint8_t v = 0;
        d.sections[0]->ctabs[0]->getRangeValue(r, 1, &v);
        EXPECT_EQ(v, 0x56);  // the later record of the channel wins
    }
    Bytes out;
    ASSERT_EQ(d.save(out), 0u);
    ASSERT_EQ(d.sections[0]->cntts.size(), 2u);
    CSmfStyleDecorator again;
    ASSERT_EQ(again.load(out), 0u);
    EXPECT_EQ(again.sections[0]->cntts.size(), 2u);
    uint8_t v = 0;
    again.sections[0]->cntts[0]->getValue(&v);
    EXPECT_EQ(v, 0x56);
}

TEST(StyleDocument, ParseSkipsKnownChunksAndRefusesUnknownOnes)
{
    const Bytes base = sb::style(sb::marker(0, "SFF2"), {section("Main A")});
    CSmfStyleDecorator d;
    ASSERT_EQ(d.load(sb::cat({base, sb::chunk("AASM", {1, 2, 3}), sb::chunk("OTSc", {})})), 0u);
    EXPECT_EQ(d.sections.size(), 1u);
    EXPECT_EQ(d.tracks.size(), 1u);

    const struct {
        const char* what;
        Bytes bytes;
        uint32_t parse;
    } cases[] = {
        {"unknown tag", sb::cat({base, sb::chunk("XXXX", {})}), 0x80000034},
        {"skipped chunk past the end", sb::cat({base, sb::text("AASM"), sb::be32(0xFFFFFFF8)}), 0x80000029},
        {"track past the end",
         sb::cat({sb::mthd(), sb::text("MTrk"), sb::be32(0x7FFFFFFF), sb::endOfTrack()}), 0x80000046},
        {"CASM past the end", sb::cat({sb::mthd(), sb::text("CASM"), sb::be32(100), sb::chunk("CSEG", {})}),
         0x80000027},
        {"Sdec directly in CASM", sb::cat({base, sb::chunk("CASM", sb::sdec("Main A"))}), 0x80000087},
        {"unknown tag in CASM", sb::cat({base, sb::chunk("CASM", sb::chunk("Zzzz", {}))}), 0x80000367},
        {"empty Sdec", sb::cat({base, sb::chunk("CASM", sb::chunk("CSEG", sb::sdec("")))}), 0x80003777},
        {"empty CSEG", sb::cat({base, sb::chunk("CASM", sb::chunk("CSEG", {}))}), 0x80000377},
        {"MTrk in CSEG",
         sb::cat({base, sb::chunk("CASM", sb::chunk("CSEG", sb::chunk("MTrk", sb::endOfTrack())))}),
         0x80000B77},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSmfStyle s;
        EXPECT_EQ(s.parse(c.bytes.data(), uint32_t(c.bytes.size())), c.parse);
    }

    // A failed load keeps what was read before the failure.
    CSmfStyle partial;
    const Bytes two = sb::cat({base, sb::chunk("CASM", sb::cat({sb::chunk("CSEG", section("Main B")),
                                                                sb::chunk("CSEG", sb::sdec(""))}))});
    EXPECT_NE(partial.parse(two.data(), uint32_t(two.size())), 0u);
    EXPECT_EQ(namesOfSections(partial), (std::vector<std::vector<std::string>> {{"Main A"}, {"Main B"}, {}}));
}

TEST(StyleDocument, SectionsWithoutNamesAreLeftOutAndTablesKeepTheirForm)
{
    const Bytes bytes =
        sb::style(sb::marker(0, "SFF2"), {section("Main A", {sb::chunk("Ctab", sb::ctabBody(1))}),
                                          section("Main B", {sb::chunk("Ctb2", sb::ctb2Body(2))})});
    CSmfStyleDecorator d;
    ASSERT_EQ(d.load(bytes), 0u);
    Bytes out;
    ASSERT_EQ(d.save(out), 0u);
    EXPECT_EQ(out, bytes);

    d.sections[0]->clearNames();
    ASSERT_EQ(d.save(out), 0u);
    CSmfStyleDecorator again;
    ASSERT_EQ(again.load(out), 0u);
    EXPECT_EQ(namesOfSections(again), (std::vector<std::vector<std::string>> {{"Main B"}}));

    // A table whose tag is neither form cannot be written; the output stays empty.
    d.sections[1]->ctabs[0]->setTag("Ctbx", 4);
    EXPECT_EQ(d.save(out), 0x80008562u);
    EXPECT_TRUE(out.empty());
}

TEST(StyleDocument, KeepSectionsAndRemoveSectionByName)
{
    const Bytes bytes = sb::style(sb::marker(0, "SFF2"), {section("Main A,Main B"), section("Main A"),
                                                          section("Intro A"), section("Main C")});
    const struct {
        uint32_t mask;
        uint32_t result;
        std::vector<std::vector<std::string>> names;
    } cases[] = {
        {0xFFFFFFFF, 0, {{"Main A", "Main B"}, {"Main A"}, {"Intro A"}, {"Main C"}}},
        {0x00FFFFFF, 0, {{"Main A", "Main B"}, {"Main A"}, {"Intro A"}, {"Main C"}}},
        {0xFFFFFFFE, 0, {{"Main B"}, {"Main A"}, {"Intro A"}, {"Main C"}}},
        {0xFFFFFFFB, 0x80000001, {{"Main A", "Main B"}, {"Main A"}, {"Intro A"}, {"Main C"}}},
        {0xFFFFEFB6, 0, {{"Main A"}}},           // bits 0, 3, 6 and 12 clear
        {0xFFFFEFB2, 0x80000001, {{"Main A"}}},  // and bit 2
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        CSmfStyleDecorator d;
        ASSERT_EQ(d.load(bytes), 0u);
        EXPECT_EQ(d.keepSections(c.mask), c.result);
        EXPECT_EQ(namesOfSections(d), c.names);
    }
    CSmfStyleDecorator d;
    ASSERT_EQ(d.load(bytes), 0u);
    EXPECT_EQ(d.removeSectionByName("Main D"), 0x80000001u);
    EXPECT_EQ(d.removeSectionByName("Main"), 0x80000001u);  // whole names only
}

TEST(StyleDocument, TempoAndTimeSignature)
{
    CSmfStyleDecoratorForASFF d;
    ASSERT_EQ(d.load(sb::style(sb::cat({sb::marker(0, "SFF2"), kTempoAndMeter, sb::meta(0, 0x51, {1, 2, 3})}),
                               {section("Main A")})),
              0u);
    ASSERT_EQ(d.setTempo(500000), 0u);
    EXPECT_EQ(metaData(d, 0x51), (Bytes {0x07, 0xA1, 0x20}));
    ASSERT_EQ(d.setTempo(0xAB123456), 0u);  // the top byte is dropped
    EXPECT_EQ(metaData(d, 0x51), (Bytes {0x12, 0x34, 0x56}));
    ASSERT_EQ(d.setTimeSignature(0x03031808), 0u);
    EXPECT_EQ(metaData(d, 0x58), (Bytes {0x03, 0x03, 0x18, 0x08}));

    Bytes out;
    ASSERT_EQ(d.save(out), 0u);
    const Bytes track =
        sb::cat({sb::marker(0, "SFF2"), sb::meta(0, 0x51, {0x12, 0x34, 0x56}),
                 sb::meta(0, 0x58, {3, 3, 24, 8}), sb::meta(0, 0x51, {1, 2, 3}), sb::endOfTrack()});
    EXPECT_EQ(Bytes(out.begin() + 14, out.begin() + 22 + long(track.size())), sb::chunk("MTrk", track));

    CSmfStyleDecoratorForASFF bare;
    ASSERT_EQ(bare.load(sb::style(sb::marker(0, "SFF2"), {section("Main A")})), 0u);
    EXPECT_EQ(bare.setTempo(500000), 0x80000002u);
    EXPECT_EQ(bare.setTimeSignature(0x04021808), 0x80000002u);
}

TEST(StyleDocument, MarkerEdits)
{
    // Markers: "SFF2", "Main A" at 0, "Fill In AA" at 0, "Intro A" at 100, a note at 100, end at 200.
    const Bytes events = sb::cat({sb::marker(0, "SFF2"),
                                  sb::marker(0, "Main A"),
                                  sb::marker(0, "Fill In AA"),
                                  sb::marker(100, "Intro A"),
                                  {0x00, 0x90, 0x3C, 0x64},
                                  sb::meta(0, 0x06, {}),
                                  sb::marker(0, "Tempo"),
                                  {100, 0x80, 0x3C, 0x00}});
    auto load = [&](CSmfStyleDecoratorForASFF& d) {
        ASSERT_EQ(d.load(sb::style(events, {section("Main A")})), 0u);
    };

    {
        // Past the end of track: the end moves along and the track stays in order.
        CSmfStyleDecoratorForASFF d;
        load(d);
        ASSERT_EQ(d.moveSectionMarker(0, 500), 0u);
        EXPECT_EQ(markers(d), (std::vector<std::pair<std::string, uint32_t>> {{"SFF2", 0},
                                                                              {"Fill In AA", 0},
                                                                              {"Intro A", 100},
                                                                              {"", 100},
                                                                              {"Tempo", 100},
                                                                              {"Main A", 500}}));
        uint32_t t = 0;
        d.tracks[0]->lastEvent()->getTime(&t);
        EXPECT_TRUE(d.tracks[0]->lastEvent()->isMeta(kMetaEndOfTrack));
        EXPECT_EQ(t, 500u);
        Bytes out;
        EXPECT_EQ(d.save(out), 0u);
    }
    {
        // Two markers moved to one tick keep their order; the end is not moved back.
        CSmfStyleDecoratorForASFF d;
        load(d);
        ASSERT_EQ(d.moveSectionMarker(1, 100), 0u);
        ASSERT_EQ(d.moveSectionMarker(3, 50), 0u);
        EXPECT_EQ(markers(d), (std::vector<std::pair<std::string, uint32_t>> {{"SFF2", 0},
                                                                              {"Main A", 0},
                                                                              {"Intro A", 50},
                                                                              {"Fill In AA", 100},
                                                                              {"", 100},
                                                                              {"Tempo", 100}}));
        EXPECT_EQ(d.extendEndOfTrack(200), 0x80000002u);
        ASSERT_EQ(d.extendEndOfTrack(201), 0u);
    }
    {
        CSmfStyleDecoratorForASFF d;
        load(d);
        ASSERT_EQ(d.removeSectionMarker(1), 0u);
        EXPECT_EQ(d.removeSectionMarker(1), 0x80000002u);
        EXPECT_EQ(d.moveSectionMarker(9, 10), 0x80000002u);
        ASSERT_EQ(d.removeSectionMarker(0), 0u);
        EXPECT_EQ(markers(d), (std::vector<std::pair<std::string, uint32_t>> {
                                  {"SFF2", 0}, {"Intro A", 100}, {"", 100}, {"Tempo", 100}}));
        // Set even before the last note.
        ASSERT_EQ(d.setEndOfTrackTime(10), 0u);
        uint32_t t = 0;
        d.tracks[0]->lastEvent()->getTime(&t);
        EXPECT_EQ(t, 10u);
    }
    CSmfStyleDecoratorForASFF empty;
    EXPECT_EQ(empty.setEndOfTrackTime(10), 0x80000001u);
    EXPECT_EQ(empty.removeSectionMarker(0), 0x80000001u);
    empty.tracks.push_back(std::make_unique<CTrk>());
    EXPECT_EQ(empty.setEndOfTrackTime(10), 0x80000002u);
    EXPECT_EQ(empty.extendEndOfTrack(10), 0x80000002u);
}

TEST(StyleDocument, MarkerSectionId)
{
    auto marker = [](const std::string& s) {
        return makeDataEvent(kStatusMeta, kMetaMarker, 0, reinterpret_cast<const uint8_t*>(s.data()),
                             uint32_t(s.size()));
    };
    uint8_t id = 0;
    EXPECT_EQ(CSmfStyleDecorator::markerSectionId(marker("Ending B").get(), &id), 0u);
    EXPECT_EQ(id, 10);
    EXPECT_EQ(CSmfStyleDecorator::markerSectionId(marker("SFF2").get(), &id), 0x80000024u);
    EXPECT_EQ(id, 24);
    EXPECT_EQ(CSmfStyleDecorator::markerSectionId(marker("").get(), &id), 0x80000024u);
    EXPECT_EQ(CSmfStyleDecorator::markerSectionId(nullptr, &id), 0x80000001u);
}
