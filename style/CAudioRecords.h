#pragma once
// The per-section records of the audio part: the audio channel table
// (written as "Atab") and the mixer track (written as "AMix").
//
// CAtabData is a channel table with a 50-byte text after `outChannel`
// (the section's file name); its other fields are those of CCtabData.
// CAMixData holds one MIDI track with the section's mixer settings as
// controller events at tick 0, its time signature as a meta event and an
// end of track. Operations return result codes (0 success).
#include "CSection.h"
#include "CSmf.h"

#include <cstdint>
#include <memory>

class CAtabData : public CCtabData {
public:
    static constexpr uint32_t kText50Bytes = 50;

    CAtabData() { setDefaults(); }
    ~CAtabData() override = default;

    // Tag "Atab", `byte21` 127, value 4 of every range 127, all else 0.
    krm::Result setDefaults();
    // setDefaults, then for n below 16: channel n, `outChannel` 0x29,
    // `byte10` 1, `mask11` 0F FF, `mask13` 07 FF FF FF FF. n of 16 or more
    // gives 0x80000002 with the defaults left.
    krm::Result initDefault(uint8_t n);

    // Zero-fills the text, then copies up to 50 bytes (no source or size 0:
    // 0x80000001).
    krm::Result setText50(const void* src, uint32_t size)
    {
        return krmstyle::setBytesField(text50, 0, src, size);
    }
    krm::Result getText50(uint8_t* out, uint32_t* size) const
    {
        return krmstyle::getBytesField(text50, out, size);
    }
    // Whether the text equals `name` zero-padded to 50 bytes (a longer name
    // counts with its first 50 bytes).
    bool text50Equals(const char* name, uint32_t length) const
    {
        return krmstyle::equalsZeroPadded(text50, name, length);
    }

    // The "Atab" body: the fields after the tag in body order, the text
    // after `outChannel`; 97 bytes without the tail.
    void encodeAtabBody(std::vector<uint8_t>& out) const { encodeBody(out, true, text50, kText50Bytes); }

private:
    uint8_t text50[kText50Bytes] = {};
};

class CAMixData {
public:
    virtual ~CAMixData() = default;

    // Destroys the old track and creates an empty one (no memory:
    // 0x80000003).
    krm::Result resetTrack();
    // The first controller event (any channel) of that number gets the
    // value; without one an event (channel 0, tick 0) is appended.
    // 0x80000002 without a track.
    krm::Result setController(uint8_t number, uint8_t value);
    krm::Result setVolume(uint8_t value);  // controller 7
    krm::Result setPan(uint8_t value);     // controller 10
    krm::Result setReverb(uint8_t value);  // controller 91, the reverb send
    // The first time-signature event whose data has `size` bytes gets the
    // data; without one a time-signature event (tick 0) is appended.
    // 0x80000001 for no data or a size below 4, 0x80000002 without a track.
    krm::Result setTimeSignature(const uint8_t* data, uint32_t size);
    // Appends an end of track (tick 0, no data) when the track has none.
    // 0x80000001 without a track.
    krm::Result ensureEndOfTrack();

    CTrk* getTrack() const { return track.get(); }

private:
    std::unique_ptr<CTrk> track;
};
