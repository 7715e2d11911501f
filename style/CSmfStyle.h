#pragma once
// Style documents: the SMF part and the style part ("CASM") of one style
// file in memory.
//
// CSmfStyle reads and writes the whole byte stream. CSmfStyleDecorator is
// the document the style manager loads and saves: it detects the older
// ("SFF1") or newer ("SFF2") form, converts the older form's channel
// records, and deletes sections by a mask. CSmfStyleDecoratorForASFF adds
// the edits that fit a template style to an exported project: tempo, time
// signature, section markers and the end of the track.
//
// Section marker ids: 6 x variation (A 0 .. D 3) + kind (Main 0, Fill In
// within the variation 1, Fill In to the neighbouring variation 2, Intro 3,
// Ending 4, Break 5); 24 means none.
//
// Operations return result codes (0 success, 0x80000000 | step, a callee's
// failure nested with krm::nest). A failed load keeps what was read before
// the failure. Documents take no locks.
#include "CSection.h"
#include "CSmf.h"

#include <memory>
#include <string>
#include <vector>

constexpr uint8_t kNoSectionId = 24;

class CSmfStyle : public CSmf {
public:
    CSmfStyle() = default;
    ~CSmfStyle() override;

    // Destroys all sections.
    krm::Result clear() override;

    std::vector<std::unique_ptr<CSection>> sections;  // in file order

    // Replaces tracks and sections by those of the byte stream ("MThd",
    // "MTrk", "CASM"; other known chunks are skipped, an unknown tag fails
    // with 0x80000034). The header words are kept when the stream has no
    // "MThd".
    krm::Result parse(const uint8_t* data, uint32_t length);
    // Empties `out`, then writes "MThd", the tracks and "CASM" (left out
    // without sections); on failure `out` stays empty.
    krm::Result write(std::vector<uint8_t>& out) const;

    // Style-part readers: cursor after the tag. "CASM" appends its sections
    // (a section that fails stays in the list).
    krm::Result readCASM(const uint8_t* buf, uint32_t size, uint32_t* pos);
    static krm::Result readSdec(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section);
    static krm::Result readCtab(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section);
    static krm::Result readCtb2(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section);
    static krm::Result readCntt(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section);

    // Style-part writers (each appends one whole chunk). "CASM" is left out
    // without sections, and sections whose names join to nothing are left
    // out of it.
    krm::Result writeCASM(std::vector<uint8_t>& out) const;
    static krm::Result writeCSEG(std::vector<uint8_t>& out, const CSection* section);
    static krm::Result writeSdec(std::vector<uint8_t>& out, const CSection* section);
    static krm::Result writeCtab(std::vector<uint8_t>& out, const CCtabData* table);
    static krm::Result writeCtb2(std::vector<uint8_t>& out, const CCtabData* table);
    static krm::Result writeCntt(std::vector<uint8_t>& out, const CCnttData* record);

    // The marker id named by the first `length` bytes of `text`: a text
    // that begins with a known name matches it. 0x80000001 for no text or
    // length 0, 0x80000002 for no name; *id is 24 on failure.
    static krm::Result sectionIdFromName(const char* text, uint32_t length, uint8_t* id);

private:
    krm::Result readCSEG(const uint8_t* buf, uint32_t size, uint32_t* pos);
    static krm::Result readTable(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section,
                                 bool threeRanges);
    static krm::Result writeTable(std::vector<uint8_t>& out, const CCtabData* table, bool threeRanges);
};

class CSmfStyleDecorator : public CSmfStyle {
public:
    CSmfStyleDecorator() = default;
    ~CSmfStyleDecorator() override = default;

    // 2 newer form; 1 older form with channel records; 0 older form
    // without. Only 1 switches the conversions on.
    uint8_t formatFlag = 2;

    // Parses, detects the form (only when there are sections) and converts
    // older-form sections. An empty vector gives 0x80000001.
    krm::Result load(const std::vector<uint8_t>& bytes);
    krm::Result loadBuffer(const uint8_t* data, uint32_t length);
    // Converts older-form sections back (this changes the document), then
    // writes.
    krm::Result save(std::vector<uint8_t>& out);

    // For each marker id 0 to 23 whose mask bit is clear, removes the name
    // of that id; ids without a name give 0x80000001 (the loop goes on).
    krm::Result keepSections(uint32_t mask);
    // The first section holding the name loses it, and is destroyed when it
    // has no name left. 0x80000001 when no section has it.
    krm::Result removeSectionByName(const std::string& name);

    // From the first track's format marker; 0x80000003 (flag unchanged)
    // without one, 0x80000231 without tracks.
    krm::Result detectFormat();
    krm::Result hasCnttData(bool* out) const;
    // Empties `out`, then lists every meta event of that type of all
    // tracks in order (the events stay owned by their tracks).
    krm::Result collectMetaEvents(uint8_t metaType, std::vector<CEvnt*>& out) const;
    // The marker id of a marker's text; 0x80000024 for a text that is no
    // section name (an empty one included).
    static krm::Result markerSectionId(const CEvnt* event, uint8_t* id);
    krm::Result sff1PostLoad();
    krm::Result sff1PreSave();
};

class CSmfStyleDecoratorForASFF : public CSmfStyleDecorator {
public:
    CSmfStyleDecoratorForASFF() = default;
    ~CSmfStyleDecoratorForASFF() override = default;

    // The first tempo event's data becomes the low 24 bits of the value
    // (microseconds per quarter note), most significant first.
    krm::Result setTempo(uint32_t microsecondsPerQuarter);
    // The first time-signature event's data becomes the four bytes of the
    // value, most significant first.
    krm::Result setTimeSignature(uint32_t value);
    // Removes the first marker of that section. 0x80000002 when none.
    krm::Result removeSectionMarker(uint8_t id);
    // Moves the first marker of that section to the tick, extends the end
    // of track to it and re-sorts the marker's track. 0x80000002 when none.
    krm::Result moveSectionMarker(uint8_t id, uint32_t tick);
    // The first track ending with an end of track earlier than the tick
    // gets it moved there. 0x80000002 when none was moved.
    krm::Result extendEndOfTrack(uint32_t tick);
    // The first track ending with an end of track gets its time set to the
    // tick, earlier or later. 0x80000002 when none.
    krm::Result setEndOfTrackTime(uint32_t tick);

private:
    krm::Result setFirstMetaData(uint8_t metaType, uint32_t value, uint32_t bytes);
    // The end of track of the first track ending with one (with
    // `onlyLater`: the first whose end lies before the tick) moves to it.
    krm::Result moveEndOfTrack(uint32_t tick, bool onlyLater);
    krm::Result findSectionMarker(uint8_t id, CTrk** track, CEvnt** marker) const;
};
