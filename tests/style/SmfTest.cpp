#include "CSmf.h"
#include "StyleBytes.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

struct EventView {
    uint8_t status, channel, metaType;
    uint32_t time;
    uint8_t b0, b1;
    uint32_t dataLength;
};

EventView view(const CEvnt& e)
{
    EventView v {};
    uint8_t b[4];
    e.getStatus(&v.status);
    e.getChannel(&v.channel);
    e.getMetaType(&v.metaType);
    e.getTime(&v.time);
    e.getBytes(b);
    v.b0 = b[0];
    v.b1 = b[1];
    e.getDataLength(&v.dataLength);
    return v;
}

uint32_t readBody(CSmf& smf, CTrk& track, const Bytes& body, uint32_t* posOut = nullptr)
{
    uint32_t pos = 0;
    const uint32_t r =
        smf.readTrackEvents(body.data(), uint32_t(body.size()), &pos, uint32_t(body.size()), &track);
    if (posOut)
        *posOut = pos;
    return r;
}

std::unique_ptr<CEvnt> noteOn(uint32_t time, uint8_t channel, uint8_t key, uint8_t velocity)
{
    auto e = std::make_unique<CEvnt>();
    e->setStatus(kStatusNoteOn);
    e->setChannel(channel);
    e->setTime(time);
    const uint8_t b[4] = {key, velocity, 0, 0};
    e->setBytes(b);
    return e;
}

int countEndOfTrack(const CTrk& t)
{
    int n = 0;
    for (const auto& e : t.events)
        n += e->isMeta(kMetaEndOfTrack);
    return n;
}

}  // namespace

TEST(Smf, TrackBodyReadsWithRunningStatusAndWritesBackExactly)
{
    const Bytes body = {0x00, 0x90, 0x3C, 0x64, 0x00, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    CSmf smf;
    CTrk track;
    ASSERT_EQ(readBody(smf, track, body), 0u);
    ASSERT_EQ(track.events.size(), 3u);
    auto it = track.events.begin();
    EventView a = view(**it++), b = view(**it++), c = view(**it);
    EXPECT_EQ(a.status, 0x90);
    EXPECT_EQ(a.channel, 0);
    EXPECT_EQ(a.time, 0u);
    EXPECT_EQ(a.b0, 0x3C);
    EXPECT_EQ(a.b1, 0x64);
    EXPECT_EQ(b.status, 0x90);
    EXPECT_EQ(b.b0, 0x3C);
    EXPECT_EQ(b.b1, 0x00);
    EXPECT_EQ(c.status, 0xFF);
    EXPECT_EQ(c.metaType, 0x2F);
    EXPECT_EQ(c.time, 0u);

    Bytes out;
    ASSERT_EQ(smf.writeTrackEvents(out, &track), 0u);
    EXPECT_EQ(out, body);
}

TEST(Smf, EndOfTrackEndsUpOnceAtTheLastEventsTime)
{
    const struct {
        const char* what;
        Bytes body;
    } cases[] = {
        {"missing", {0x00, 0x90, 0x3C, 0x64, 0x10, 0x80, 0x3C, 0x00}},
        {"mid-track", {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00, 0x10, 0x80, 0x3C, 0x00}},
        {"mid-track with payload", {0x00, 0xFF, 0x2F, 0x01, 0x55, 0x10, 0xC2, 0x05}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSmf smf;
        CTrk track;
        ASSERT_EQ(readBody(smf, track, c.body), 0u);
        EXPECT_EQ(countEndOfTrack(track), 1);
        const EventView last = view(*track.events.back());
        EXPECT_TRUE(track.events.back()->isMeta(kMetaEndOfTrack));
        EXPECT_EQ(last.time, 0x10u);
        EXPECT_EQ(last.dataLength, 0u);
    }
}

TEST(Smf, DamagedTrackBodiesFailAtTheirStepAndStillEndTheTrack)
{
    const struct {
        const char* what;
        Bytes body;
        uint32_t code;
    } cases[] = {
        {"first event byte is data", {0x00, 0x3C, 0x64}, 0x8000000A},
        {"system common status", {0x00, 0xF1, 0x00}, 0x8000000A},
        {"delta time cut", {0x81}, 0x80000003},
        {"status byte missing", {0x00}, 0x80000004},
        {"note on cut", {0x00, 0x90, 0x3C}, 0x80000027},
        {"controller cut", {0x00, 0xB0}, 0x80000028},
        {"program change cut", {0x00, 0xC0}, 0x80000029},
        {"meta type missing", {0x00, 0xFF}, 0x80000025},
        {"meta payload past the buffer", {0x00, 0xFF, 0x06, 0x05, 0x41}, 0x80000045},
        {"meta length past the buffer", {0x00, 0xFF, 0x06, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, 0x80000045},
        {"sysex payload past the buffer", {0x00, 0xF0, 0x05, 0x01}, 0x80000036},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSmf smf;
        CTrk track;
        EXPECT_EQ(readBody(smf, track, c.body), c.code);
        EXPECT_EQ(countEndOfTrack(track), 1);
    }
    CSmf smf;
    CTrk track;
    uint32_t pos = 0;
    const Bytes b = {0x00};
    EXPECT_EQ(smf.readTrackEvents(b.data(), 1, &pos, 0, &track), 0x80000002u);
}

TEST(Smf, AnEventRunningPastTheChunkEndIsReportedAndTheCursorStopsAtTheEnd)
{
    // The chunk claims 3 bytes; the marker's payload runs on inside the buffer.
    const Bytes buf = {0x00, 0xFF, 0x06, 0x02, 0x41, 0x42, 0x99};
    CSmf smf;
    CTrk track;
    uint32_t pos = 0;
    EXPECT_EQ(smf.readTrackEvents(buf.data(), uint32_t(buf.size()), &pos, 3, &track), 0x8000000Bu);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(countEndOfTrack(track), 1);
}

TEST(Smf, HeaderChunk)
{
    CSmf smf;
    const Bytes seven = sb::cat({sb::be32(7), {0, 1, 0, 1, 3, 0xC0, 0}});
    uint32_t pos = 0;
    EXPECT_EQ(smf.readMThd(seven.data(), uint32_t(seven.size()), &pos), 0x80000003u);
    const Bytes shortBody = sb::cat({sb::be32(6), {0, 1, 0}});
    EXPECT_EQ(smf.readMThd(shortBody.data(), uint32_t(shortBody.size()), &pos), 0x80000003u);
    EXPECT_EQ(smf.readMThd(shortBody.data(), 3, &pos), 0x80000002u);
    EXPECT_EQ(pos, 0u);

    // The words are written back as read, whatever the track list holds.
    const Bytes six = sb::cat({sb::be32(6), {0x00, 0x01, 0x00, 0x07, 0x01, 0xE0}});
    ASSERT_EQ(smf.readMThd(six.data(), uint32_t(six.size()), &pos), 0u);
    EXPECT_EQ(pos, 10u);
    smf.tracks.push_back(std::make_unique<CTrk>());
    Bytes out;
    ASSERT_EQ(smf.writeMThd(out), 0u);
    EXPECT_EQ(out, sb::chunk("MThd", {0x00, 0x01, 0x00, 0x07, 0x01, 0xE0}));
}

TEST(Smf, RunningStatusOnWriting)
{
    CSmf smf;
    CTrk track;
    track.addEvent(noteOn(0, 3, 60, 100));
    track.addEvent(noteOn(10, 3, 62, 100));
    Bytes out;
    ASSERT_EQ(smf.writeTrackEvents(out, &track), 0u);
    EXPECT_EQ(out, (Bytes {0x00, 0x93, 60, 100, 10, 62, 100}));

    // A meta event in between cancels the running status.
    CTrk withMeta;
    withMeta.addEvent(noteOn(0, 3, 60, 100));
    withMeta.addEvent(makeDataEvent(kStatusMeta, kMetaMarker, 5, reinterpret_cast<const uint8_t*>("x"), 1));
    withMeta.addEvent(noteOn(10, 3, 62, 100));
    out.clear();
    ASSERT_EQ(smf.writeTrackEvents(out, &withMeta), 0u);
    EXPECT_EQ(out, (Bytes {0x00, 0x93, 60, 100, 5, 0xFF, 0x06, 0x01, 'x', 5, 0x93, 62, 100}));

    // Without running status every status byte is written.
    smf.useRunningStatus = 0;
    out.clear();
    ASSERT_EQ(smf.writeTrackEvents(out, &track), 0u);
    EXPECT_EQ(out, (Bytes {0x00, 0x93, 60, 100, 10, 0x93, 62, 100}));
}

TEST(Smf, WritingRefusesEventsOutOfOrderAndUnknownStatus)
{
    CSmf smf;
    CTrk track;
    track.addEvent(noteOn(10, 0, 60, 100));
    track.addEvent(noteOn(5, 0, 60, 0));
    Bytes out;
    EXPECT_EQ(smf.writeTrackEvents(out, &track), 0x80000003u);

    CTrk odd;
    auto e = std::make_unique<CEvnt>();
    e->setStatus(0xF1);
    odd.addEvent(std::move(e));
    EXPECT_EQ(smf.writeTrackEvents(out, &odd), 0x80000094u);

    CSmf none;
    EXPECT_EQ(none.writeTracks(out), 0x80000001u);
}

TEST(Smf, RemoveEventAmongEqualTimes)
{
    CTrk track;
    track.addEvent(noteOn(0, 0, 1, 1));
    track.addEvent(noteOn(5, 0, 2, 1));
    track.addEvent(noteOn(5, 0, 3, 1));
    track.addEvent(noteOn(5, 0, 4, 1));
    track.addEvent(noteOn(9, 0, 5, 1));
    CEvnt* middle = std::next(track.events.begin(), 2)->get();
    ASSERT_EQ(track.removeEvent(middle), 0u);
    std::vector<uint8_t> keys;
    for (const auto& e : track.events)
        keys.push_back(view(*e).b0);
    EXPECT_EQ(keys, (std::vector<uint8_t> {1, 2, 4, 5}));

    // An event that is not in the track: the walk stops at the first later one.
    CEvnt stranger;
    stranger.setTime(5);
    EXPECT_EQ(track.removeEvent(&stranger), 0x80000004u);
    stranger.setTime(100);
    EXPECT_EQ(track.removeEvent(&stranger), 0u);
    EXPECT_EQ(track.events.size(), 4u);
    EXPECT_EQ(track.removeEvent(nullptr), 0x80000001u);
}

TEST(Smf, SetDataAndGetData)
{
    CEvnt e;
    const uint8_t src[3] = {1, 2, 3};
    EXPECT_EQ(e.setData(nullptr, 3), 0x80000001u);
    ASSERT_EQ(e.setData(src, 3), 0u);
    uint8_t out[3] = {};
    uint32_t n = 0;
    ASSERT_EQ(e.getData(out, &n), 0u);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(Bytes(out, out + 3), Bytes(src, src + 3));
    EXPECT_EQ(e.getData(nullptr), 0x80000001u);
    ASSERT_EQ(e.setData(nullptr, 0), 0u);
    e.getDataLength(&n);
    EXPECT_EQ(n, 0u);
}
