#pragma once
// The Standard MIDI File at the front of a style file: a header ("MThd")
// and tracks ("MTrk") of time-ordered events. Events keep absolute times in
// ticks; the chunk bytes carry delta times. Every event read is kept,
// markers, tempo and time-signature meta events included, so that the
// template edits can change them in place and write them back.
//
// Operations return result codes (0 success, 0x80000000 | step, a callee's
// failure nested as krm::nest(inner, step)). Nothing here takes a lock; a
// document lives on its caller's thread.
#include "CChunkBase.h"
#include "RecordField.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

// Status values of the events (channel messages with the channel bits clear).
constexpr uint8_t kStatusNoteOff = 0x80;
constexpr uint8_t kStatusNoteOn = 0x90;
constexpr uint8_t kStatusKeyPressure = 0xA0;
constexpr uint8_t kStatusController = 0xB0;
constexpr uint8_t kStatusProgram = 0xC0;
constexpr uint8_t kStatusChannelPressure = 0xD0;
constexpr uint8_t kStatusPitchBend = 0xE0;
constexpr uint8_t kStatusSysEx = 0xF0;
constexpr uint8_t kStatusSysExEscape = 0xF7;
constexpr uint8_t kStatusMeta = 0xFF;

constexpr uint8_t kMetaMarker = 0x06;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaTimeSignature = 0x58;

// The three header words, written back exactly as stored: writing never
// recomputes `trackCount` from the track list.
class CHead {
public:
    virtual ~CHead() = default;
    uint16_t format = 0;
    uint16_t trackCount = 0;
    uint16_t division = 480;  // ticks per quarter note
};

// One event. Channel messages keep the status with the channel bits clear
// in `status`, the channel in `channel` and their data bytes in `bytes`
// (the second 0 for one-byte kinds); system-exclusive (0xF0, 0xF7) and meta
// (0xFF, type in `metaType`) events keep their payload in `data`.
class CEvnt {
public:
    virtual ~CEvnt() = default;

    krm::Result getStatus(uint8_t* out) const { return krmstyle::getField(status, out); }
    krm::Result setStatus(uint8_t v) { return krmstyle::setField(status, v); }
    krm::Result getChannel(uint8_t* out) const { return krmstyle::getField(channel, out); }
    krm::Result setChannel(uint8_t v) { return krmstyle::setField(channel, v); }
    krm::Result getMetaType(uint8_t* out) const { return krmstyle::getField(metaType, out); }
    krm::Result setMetaType(uint8_t v) { return krmstyle::setField(metaType, v); }
    // Absolute ticks.
    krm::Result getTime(uint32_t* out) const { return krmstyle::getField(time, out); }
    krm::Result setTime(uint32_t v) { return krmstyle::setField(time, v); }
    krm::Result getBytes(uint8_t out[4]) const;  // all four data bytes at once
    krm::Result setBytes(const uint8_t in[4]);
    krm::Result getDataLength(uint32_t* out) const { return krmstyle::getField(dataLength, out); }
    // Copies `dataLength` bytes into `out`, which must hold them, and stores
    // the count in *copied (when given). 0x80000001 without a buffer.
    krm::Result getData(uint8_t* out, uint32_t* copied = nullptr) const;
    // Replaces the payload by n bytes of `src` (n 0 empties it; a missing
    // source for n > 0 gives 0x80000001; no memory 0x80000003 with an
    // empty payload).
    krm::Result setData(const uint8_t* src, uint32_t n);

    // Direct views for readers that need no copy.
    const uint8_t* dataBytes() const { return data.data(); }
    bool isMeta(uint8_t type) const { return status == kStatusMeta && metaType == type; }

private:
    uint8_t status = 0;
    uint8_t channel = 0;
    uint8_t metaType = 0;
    uint32_t time = 0;
    uint8_t bytes[4] = {0, 0, 0, 0};
    uint32_t dataLength = 0;
    std::vector<uint8_t> data;
};

// A track: its events in ascending time order (doubly linked, owned).
class CTrk {
public:
    virtual ~CTrk() = default;

    std::list<std::unique_ptr<CEvnt>> events;

    krm::Result reset();  // destroys all events
    // Appends at the end (the caller keeps the time order). Takes ownership;
    // 0x80000001 for null.
    krm::Result addEvent(CEvnt* event);
    krm::Result addEvent(std::unique_ptr<CEvnt> event) { return addEvent(event.release()); }
    // Destroys that very event. Walks from the front: events earlier than
    // its time are passed, among those at its time the event itself is
    // looked for; the first later event ends the walk with 0x80000004. The
    // end of the list returns 0 with nothing removed; null gives 0x80000001.
    krm::Result removeEvent(const CEvnt* event);
    // Stable: events at equal times keep their order.
    krm::Result sortByTime();
    // The first marker whose text is exactly "SFF1" or "SFF2": copies its
    // four bytes into `out` and sets *size to 4; *size 0 and result 0 when
    // there is none. 0x80000001 without output or size, 0x80000002 for a
    // size below 4.
    krm::Result findFormatMarker(uint8_t* out, uint32_t* size) const;
    // The last event, or null for an empty track.
    CEvnt* lastEvent() const { return events.empty() ? nullptr : events.back().get(); }
};

class CSmf : public CChunkBase {
public:
    CSmf() = default;
    ~CSmf() override = default;
    CSmf(const CSmf&) = delete;
    CSmf& operator=(const CSmf&) = delete;

    virtual krm::Result clear() { return krm::kOk; }

    CHead head;
    std::vector<std::unique_ptr<CTrk>> tracks;
    // When nonzero the event writer leaves out a repeated channel status.
    uint32_t useRunningStatus = 1;

    // Readers (buffer, its size, the caller's cursor).
    // The body of "MThd", cursor after the tag: its length must be exactly 6
    // with 6 bytes left (else 0x80000003).
    krm::Result readMThd(const uint8_t* buf, uint32_t size, uint32_t* pos);
    // The body of one "MTrk", cursor after the tag, into a new track
    // appended to `tracks` before reading (a failed track stays). A length
    // that passes the end of the buffer fails as the length read (step 4).
    krm::Result readMTrk(const uint8_t* buf, uint32_t size, uint32_t* pos);
    // `length` body bytes at *pos as events into `track`. A track that fails
    // keeps the events read and ends with an end-of-track event; an end of
    // track that does not fill the chunk's last two bytes is dropped and a
    // new one added at the last event's time.
    krm::Result readTrackEvents(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t length,
                                CTrk* track);
    // A length and that many body bytes, after a tag nobody reads. A body
    // that passes the end of the buffer fails as the length read (step 2).
    krm::Result skipChunk(const uint8_t* buf, uint32_t size, uint32_t* pos);

    // Writers (each appends to `out`).
    krm::Result writeMThd(std::vector<uint8_t>& out) const;
    krm::Result writeTracks(std::vector<uint8_t>& out) const;  // no tracks: 0x80000001
    krm::Result writeMTrk(std::vector<uint8_t>& out, const CTrk* track) const;
    // The events of a track as delta-time events without framing.
    krm::Result writeTrackEvents(std::vector<uint8_t>& out, const CTrk* track) const;
    // One event with its delta time; `runningStatus` is the track's.
    krm::Result writeEvent(std::vector<uint8_t>& out, const CEvnt* event, uint32_t delta,
                           uint8_t* runningStatus) const;

private:
    krm::Result readChannelEvent(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t status,
                                 int dataBytes, uint32_t time, CTrk* track);
    krm::Result readMetaEvent(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t end, uint32_t time,
                              CTrk* track, bool* endOfTrackKept);
    krm::Result readSysExEvent(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t status,
                               uint32_t time, CTrk* track);
};

// Builds an event with a payload (meta when `status` is 0xFF); null when
// memory runs out.
std::unique_ptr<CEvnt> makeDataEvent(uint8_t status, uint8_t metaType, uint32_t time, const uint8_t* data,
                                     uint32_t length);
