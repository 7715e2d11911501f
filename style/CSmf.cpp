#include "CSmf.h"

#include <algorithm>
#include <cstring>
#include <new>

using krm::fail;
using krm::nest;
using krm::nestOnFail;
using krm::Result;

// ---------------------------------------------------------------- CEvnt

Result CEvnt::getBytes(uint8_t out[4]) const
{
    if (!out)
        return fail(1);
    std::memcpy(out, bytes, 4);
    return krm::kOk;
}

Result CEvnt::setBytes(const uint8_t in[4])
{
    if (!in)
        return fail(1);
    std::memcpy(bytes, in, 4);
    return krm::kOk;
}

Result CEvnt::getData(uint8_t* out, uint32_t* copied) const
{
    if (!out)
        return fail(1);
    if (dataLength)
        std::memcpy(out, data.data(), dataLength);
    if (copied)
        *copied = dataLength;
    return krm::kOk;
}

Result CEvnt::setData(const uint8_t* src, uint32_t n)
{
    if (n == 0) {
        dataLength = 0;
        return krm::kOk;
    }
    if (!src)
        return fail(1);
    try {
        std::vector<uint8_t> block(src, src + n);
        data.swap(block);
    } catch (const std::bad_alloc&) {
        data.clear();
        dataLength = 0;
        return fail(3);
    }
    dataLength = n;
    return krm::kOk;
}

std::unique_ptr<CEvnt> makeDataEvent(uint8_t status, uint8_t metaType, uint32_t time, const uint8_t* data,
                                     uint32_t length)
{
    std::unique_ptr<CEvnt> e(new (std::nothrow) CEvnt);
    if (!e)
        return nullptr;
    e->setStatus(status);
    e->setMetaType(status == kStatusMeta ? metaType : 0);
    e->setTime(time);
    if (e->setData(data, length))
        return nullptr;
    return e;
}

// ---------------------------------------------------------------- CTrk

Result CTrk::reset()
{
    events.clear();
    return krm::kOk;
}

Result CTrk::addEvent(CEvnt* event)
{
    if (!event)
        return fail(1);
    std::unique_ptr<CEvnt> owned(event);
    events.push_back(std::move(owned));
    return krm::kOk;
}

Result CTrk::removeEvent(const CEvnt* event)
{
    if (!event)
        return fail(1);
    uint32_t t = 0;
    event->getTime(&t);
    for (auto it = events.begin(); it != events.end(); ++it) {
        if (!*it)
            return fail(2);
        uint32_t et = 0;
        (*it)->getTime(&et);
        if (et < t)
            continue;
        if (et > t)
            return fail(4);
        if (it->get() == event) {
            events.erase(it);
            return krm::kOk;
        }
    }
    return krm::kOk;
}

Result CTrk::sortByTime()
{
    const auto earlier = [](const std::unique_ptr<CEvnt>& a, const std::unique_ptr<CEvnt>& b) {
        uint32_t ta = 0, tb = 0;
        a->getTime(&ta);
        b->getTime(&tb);
        return ta < tb;
    };
    // Tracks read from a file are almost always in order already.
    if (!std::is_sorted(events.begin(), events.end(), earlier))
        events.sort(earlier);
    return krm::kOk;
}

Result CTrk::findFormatMarker(uint8_t* out, uint32_t* size) const
{
    if (!out || !size)
        return fail(1);
    if (*size < 4)
        return fail(2);
    for (const auto& e : events) {
        uint32_t n = 0;
        e->getDataLength(&n);
        if (!e->isMeta(kMetaMarker) || n != 4)
            continue;
        if (std::memcmp(e->dataBytes(), "SFF1", 4) == 0 || std::memcmp(e->dataBytes(), "SFF2", 4) == 0) {
            std::memcpy(out, e->dataBytes(), 4);
            *size = 4;
            return krm::kOk;
        }
    }
    *size = 0;
    return krm::kOk;
}

// ---------------------------------------------------------------- CSmf reading

namespace {

// Appends a meta or system-exclusive event with the n payload bytes at *pos
// and consumes them. Failures: `step` the payload could not be set, step + 1
// the append, step + 2 no memory.
Result appendPayloadEvent(CTrk* track, uint8_t status, uint8_t metaType, uint32_t time, const uint8_t* buf,
                          uint32_t* pos, uint32_t n, uint32_t step)
{
    std::unique_ptr<CEvnt> e(new (std::nothrow) CEvnt);
    if (!e)
        return fail(step + 2);
    e->setStatus(status);
    e->setMetaType(metaType);
    e->setTime(time);
    if (e->setData(buf + *pos, n))
        return fail(step);
    if (track->addEvent(std::move(e)))
        return fail(step + 1);
    *pos += n;
    return krm::kOk;
}

}  // namespace

Result CSmf::readMThd(const uint8_t* buf, uint32_t size, uint32_t* pos)
{
    if (!buf || !pos)
        return fail(1);
    uint32_t at = *pos;
    uint32_t length = 0;
    if (readUInt32BE(buf, size, &at, &length))
        return fail(2);
    if (length != 6 || size - at < 6)
        return fail(3);
    readUInt16BE(buf, size, &at, &head.format);
    readUInt16BE(buf, size, &at, &head.trackCount);
    readUInt16BE(buf, size, &at, &head.division);
    *pos = at;
    return krm::kOk;
}

Result CSmf::readMTrk(const uint8_t* buf, uint32_t size, uint32_t* pos)
{
    if (!buf || !pos)
        return fail(1);
    CTrk* track = new (std::nothrow) CTrk;
    if (!track)
        return fail(2);
    tracks.emplace_back(track);
    if (track->reset())
        return fail(3);
    uint32_t end = 0;
    uint32_t at = *pos;
    // A length past the end of the buffer is refused like an unreadable one.
    if (readBodyBounds(buf, size, &at, &end, false))
        return fail(4);
    *pos = at;
    return nestOnFail(readTrackEvents(buf, size, pos, end - at, track), 5);
}

Result CSmf::readChannelEvent(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t status, int dataBytes,
                              uint32_t time, CTrk* track)
{
    if (!buf || !pos || !track)
        return fail(1);
    if (*pos > size || size - *pos < uint32_t(dataBytes))
        return fail(2);
    uint8_t b[4] = {0, 0, 0, 0};
    for (int i = 0; i < dataBytes; ++i)
        b[i] = buf[(*pos)++];
    std::unique_ptr<CEvnt> e(new (std::nothrow) CEvnt);
    if (!e)
        return fail(5);
    e->setStatus(status & 0xF0);
    e->setChannel(status & 0x0F);
    e->setTime(time);
    if (e->setBytes(b))
        return fail(3);
    if (track->addEvent(std::move(e)))
        return fail(4);
    return krm::kOk;
}

Result CSmf::readMetaEvent(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t end, uint32_t time,
                           CTrk* track, bool* endOfTrackKept)
{
    if (!buf || !pos || !track)
        return fail(1);
    // The end of track counts only where it fills the chunk's last two bytes
    // (its type and a one-byte length).
    const bool lastTwo = *pos <= end && end - *pos == 2;
    uint8_t type = 0;
    if (readUInt8(buf, size, pos, &type))
        return fail(2);
    uint32_t n = 0;
    if (readVarLen(buf, size, pos, &n))
        return fail(3);
    if (n > size - *pos)
        return fail(4);
    if (type == kMetaEndOfTrack && !lastTwo) {
        *pos += n;
        return krm::kOk;
    }
    if (type == kMetaEndOfTrack)
        *endOfTrackKept = true;
    return appendPayloadEvent(track, kStatusMeta, type, time, buf, pos, n, 5);
}

Result CSmf::readSysExEvent(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t status, uint32_t time,
                            CTrk* track)
{
    if (!buf || !pos || !track)
        return fail(1);
    uint32_t n = 0;
    if (readVarLen(buf, size, pos, &n))
        return fail(2);
    if (n > size - *pos)
        return fail(3);
    return appendPayloadEvent(track, status, 0, time, buf, pos, n, 4);
}

Result CSmf::readTrackEvents(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t length, CTrk* track)
{
    if (!buf || !pos || !track)
        return fail(1);
    if (length == 0)
        return fail(2);
    // Computed in 64 bits and clamped, so a length from a damaged file can
    // neither wrap the end nor carry it past the buffer.
    const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(*pos) + length, size));
    uint32_t time = 0;
    uint8_t running = 0;
    bool endKept = false;
    Result result = krm::kOk;
    while (*pos < end && !result) {
        uint32_t delta = 0;
        if (readVarLen(buf, size, pos, &delta)) {
            result = fail(3);
            break;
        }
        time += delta;
        uint8_t b = 0;
        if (readUInt8(buf, size, pos, &b)) {
            result = fail(4);
            break;
        }
        if (b == kStatusSysEx || b == kStatusSysExEscape) {
            result = nestOnFail(readSysExEvent(buf, size, pos, b, time, track), 6);
            continue;
        }
        if (b == kStatusMeta) {
            result = nestOnFail(readMetaEvent(buf, size, pos, end, time, track, &endKept), 5);
            continue;
        }
        uint8_t status = b;
        if (!(b & 0x80)) {
            status = running;  // running status: the byte is data, read again below
            --*pos;
        } else {
            running = b;
        }
        switch (status & 0xF0) {
        case kStatusNoteOff:
        case kStatusNoteOn:
            result = nestOnFail(readChannelEvent(buf, size, pos, status, 2, time, track), 7);
            break;
        case kStatusKeyPressure:
        case kStatusController:
        case kStatusPitchBend:
            result = nestOnFail(readChannelEvent(buf, size, pos, status, 2, time, track), 8);
            break;
        case kStatusProgram:
        case kStatusChannelPressure:
            result = nestOnFail(readChannelEvent(buf, size, pos, status, 1, time, track), 9);
            break;
        default:
            result = fail(0xA);
            break;
        }
    }
    if (*pos > end) {
        *pos = end;
        result |= fail(0xB);
    }
    if (result || !endKept) {
        std::unique_ptr<CEvnt> eot = makeDataEvent(kStatusMeta, kMetaEndOfTrack, time, nullptr, 0);
        if (!eot)
            return ((result << 4) | result) | fail(0xE);
        if (track->addEvent(std::move(eot)))
            return ((result << 4) | result) | fail(0xD);
    }
    track->sortByTime();
    return result;
}

Result CSmf::skipChunk(const uint8_t* buf, uint32_t size, uint32_t* pos)
{
    if (!buf || !pos)
        return fail(1);
    uint32_t end = 0;
    uint32_t at = *pos;
    if (readBodyBounds(buf, size, &at, &end, false))
        return fail(2);
    *pos = end;
    return krm::kOk;
}

// ---------------------------------------------------------------- CSmf writing

Result CSmf::writeMThd(std::vector<uint8_t>& out) const
{
    std::vector<uint8_t> chunk;
    if (beginChunk(chunk, kChunkMThd))
        return fail(1);
    appendUInt16BE(chunk, head.format);
    appendUInt16BE(chunk, head.trackCount);
    appendUInt16BE(chunk, head.division);
    if (finishChunk(chunk))
        return fail(2);
    out.insert(out.end(), chunk.begin(), chunk.end());
    return krm::kOk;
}

Result CSmf::writeTracks(std::vector<uint8_t>& out) const
{
    if (tracks.empty())
        return fail(1);
    for (const auto& t : tracks)
        if (Result r = writeMTrk(out, t.get()))
            return nest(r, 2);
    return krm::kOk;
}

Result CSmf::writeMTrk(std::vector<uint8_t>& out, const CTrk* track) const
{
    if (!track)
        return fail(1);
    return writeChunk(out, kChunkMTrk, [&](std::vector<uint8_t>& body) {
        return nestOnFail(writeTrackEvents(body, track), 4);
    });
}

Result CSmf::writeTrackEvents(std::vector<uint8_t>& out, const CTrk* track) const
{
    if (!track)
        return fail(1);
    uint32_t previous = 0;
    uint8_t running = 0;
    for (const auto& e : track->events) {
        uint32_t t = 0;
        if (!e || e->getTime(&t))
            return fail(2);
        if (t < previous)
            return fail(3);
        if (Result r = writeEvent(out, e.get(), t - previous, &running))
            return nest(r, 4);
        previous = t;
    }
    return krm::kOk;
}

Result CSmf::writeEvent(std::vector<uint8_t>& out, const CEvnt* event, uint32_t delta,
                        uint8_t* runningStatus) const
{
    if (!event || !runningStatus)
        return fail(1);
    uint8_t status = 0;
    if (event->getStatus(&status))
        return fail(2);
    uint8_t channel = 0;
    if (event->getChannel(&channel))
        return fail(3);
    if (status == kStatusSysEx || status == kStatusSysExEscape || status == kStatusMeta) {
        const bool meta = status == kStatusMeta;
        uint8_t type = 0;
        uint32_t n = 0;
        if ((meta && event->getMetaType(&type)) || event->getDataLength(&n))
            return fail(meta ? 4 : 5);
        appendVarLen(out, delta);
        out.push_back(status);
        if (meta)
            out.push_back(type);
        appendVarLen(out, n);
        out.insert(out.end(), event->dataBytes(), event->dataBytes() + n);
        *runningStatus = 0;
        return krm::kOk;
    }
    int dataBytes = 2;
    uint32_t step = 0;
    switch (status) {
    case kStatusNoteOff:
    case kStatusNoteOn:
        step = 6;
        break;
    case kStatusKeyPressure:
    case kStatusController:
    case kStatusPitchBend:
        step = 7;
        break;
    case kStatusProgram:
    case kStatusChannelPressure:
        step = 8;
        dataBytes = 1;
        break;
    default:
        return fail(9);
    }
    uint8_t b[4];
    if (event->getBytes(b))
        return fail(step);
    const uint8_t s = static_cast<uint8_t>(status | (channel & 0x0F));
    appendVarLen(out, delta);
    if (!(s == *runningStatus && useRunningStatus))
        out.push_back(s);
    out.insert(out.end(), b, b + dataBytes);
    *runningStatus = s;
    return krm::kOk;
}
