// Damaged style files: every truncation and many bit flips of real styles
// go through the loader and, when they load, through the template edits and
// the writer. Nothing may crash or trip the sanitizers; each load ends with
// a failure code or a clean document.
#include "CSmfStyle.h"
#include "StyleBytes.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

// An older-form style with notes, running status, a system-exclusive
// event, both table forms and channel records.
Bytes olderFormStyle()
{
    const Bytes events = sb::cat({sb::marker(0, "SFF1"),
                                  sb::meta(0, 0x51, {0x07, 0xA1, 0x20}),
                                  sb::meta(0, 0x58, {4, 2, 24, 8}),
                                  sb::marker(0, "Main A"),
                                  {0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7},
                                  {0x00, 0x99, 0x24, 0x64, 0x60, 0x24, 0x00},
                                  {0x00, 0xC1, 0x05, 0x10, 0xB1, 0x07, 0x64, 0x83, 0x60, 0xE1, 0x00, 0x40},
                                  sb::marker(0, "Fill In AA")});
    return sb::style(events,
                     {sb::cat({sb::sdec("Main A,MA"), sb::chunk("Ctab", sb::ctabBody(9)),
                               sb::chunk("Ctb2", sb::ctb2Body(1, 1)), sb::cntt(9, 3), sb::cntt(1, 4)}),
                      sb::cat({sb::sdec("Fill In AA"), sb::chunk("Ctb2", sb::ctb2Body(2))})});
}

void exercise(const Bytes& bytes)
{
    CSmfStyleDecoratorForASFF doc;
    if (doc.load(bytes) != 0)
        return;
    doc.setTempo(400000);
    doc.setTimeSignature(0x03021808);
    doc.moveSectionMarker(0, 3840);
    doc.removeSectionMarker(1);
    doc.setEndOfTrackTime(7680);
    doc.keepSections(0xFFFFFFFE);
    Bytes out;
    if (doc.save(out) == 0) {
        CSmfStyleDecorator again;
        again.load(out);
    }
}

}  // namespace

TEST(StyleFuzz, DamagedStylesLoadOrFailCleanly)
{
    const Bytes templateBytes = testutil::readFile(QStringLiteral(KRM_EMPTY_STYLE_SOURCE));
    ASSERT_FALSE(templateBytes.empty());
    const Bytes older = olderFormStyle();
    CSmfStyleDecorator check;
    ASSERT_EQ(check.load(older), 0u);
    ASSERT_EQ(check.formatFlag, 1);

    unsigned seed = 1;
    for (const Bytes* source : std::vector<const Bytes*> {&templateBytes, &older}) {
        for (const Bytes& damaged : testutil::damagedCopies(*source, seed++, 400))
            exercise(damaged);
    }
}

TEST(StyleFuzz, HugeLengthsAtEveryChunkHead)
{
    // Each length field of the older-form style in turn set to values that
    // would wrap a 32-bit cursor or pass the end.
    const Bytes older = olderFormStyle();
    for (size_t at = 0; at + 8 <= older.size(); ++at) {
        uint32_t pos = uint32_t(at);
        uint8_t id = 0;
        if (CChunkBase::readChunkTag(older.data(), uint32_t(older.size()), &pos, &id) != 0)
            continue;
        for (uint32_t length : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x80000000u, uint32_t(older.size())}) {
            Bytes damaged = older;
            CChunkBase::putUInt32BE(damaged.data(), damaged.size(), at + 4, length);
            CSmfStyleDecorator doc;
            EXPECT_NE(doc.load(damaged), 0u) << "length " << length << " at " << at;
        }
    }
}
