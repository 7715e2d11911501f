#pragma once
// The style-file manager behind IF_styMngr: the export settings, the audio
// model of the style being built, the two section numberings of the style
// file, and the export itself (section analysis, template fitting, file
// writing).
//
// Section numberings: the project section index 0..14 ("Intro 1" ..
// "Ending 3"), the style section id 0..19 under which the audio model
// files audio, and the template section number (6 x variation + kind)
// that names the sections and markers of the template style.
//
// Everything runs on the caller's thread; the manager takes no locks.
// Results are result codes (0 success, 0x80000000 | step, nested).
#include "ErrorState.h"
#include "IF_styMngr.h"

#include <QString>

class QFileDevice;
#include <cstdint>
#include <memory>
#include <vector>

class CAudioInfo;
class CAudioFile;
class CAudioWaveForm;
class CAudioWaveInfo;
class CAudioWaveData;

// What the transient search feeds its mono blocks to. The export uses the
// fixed-point detector; tests put their own in place.
class TransientSink {
public:
    virtual ~TransientSink() = default;
    // Takes one block of up to 32 samples; non-zero ends the search.
    virtual int processBlock(const int16_t* samples, int n) = 0;
    // Whether the block just taken holds an attack.
    virtual bool hasDetection() = 0;
};

// Samples per beat of a section: trunc(length / bars / beatsPerBar) in
// double precision; 0 when bars or beatsPerBar is 0.
uint32_t samplesPerBeat(uint32_t length, uint32_t bars, uint32_t beatsPerBar);

// Attack search over a section of n stereo frames given as two channels:
// mono blocks of 32 samples ((left + right) / 2, truncated toward zero; the
// last block shorter, not padded) go to the sink, and each block b with a
// detection gives the onset b - 80, clamped to 0..n. With no sink the
// fixed-point detector is used. 0x80000001 for a missing channel,
// 0x80000002 when no detector can be made, 0x80000003 when memory runs out
// (with *outOfMemory raised).
uint32_t detectTransients(const int16_t* left, const int16_t* right, uint32_t n,
                          std::vector<uint32_t>& onsets, bool* outOfMemory, TransientSink* sink = nullptr);

class styMngr : public IF_styMngr {
public:
    styMngr();
    ~styMngr() override;
    styMngr(const styMngr&) = delete;
    styMngr& operator=(const styMngr&) = delete;

    // ---- IF_styMngr ----
    // Writes the style part of the template, fitted to the sections, and
    // then the audio part into a temporary file beside `path` and renames
    // it over `path` only when everything was written; a failure leaves an
    // existing file untouched and `size` 0. Steps: 1 no path or no audio
    // model, 2 section analysis, 3 template, 4..6 reloading and saving the
    // style part, 7 opening or writing the target (also a target that is
    // not writable), 8 the audio part, 0xA the final rename. The error text
    // names the section file that cannot be read, the template that cannot
    // be loaded or the target that cannot be written; the error flag is
    // raised only when memory ran out.
    uint32_t exportStyle(const std::wstring& path, uint32_t& size, uint16_t& attackMask, uint16_t& beatMask,
                         uint16_t& syncMask) override;
    // Stores the settings and writes bar count, tempo and time signature of
    // each section into the audio file that plays it. A tempo of 0 is
    // refused with 0x80000008 before anything changes; a beat unit other
    // than 1, 2, 4, 8, 16 gives 0x80000007 after the bar count and tempo of
    // the section it is met at.
    uint32_t setStyleInfo(const StyleInfo& info) override;
    uint32_t setSectionAudio(const char* text, uint32_t textLength, const char* baseName,
                             uint32_t baseNameLength, const char* fullPath, uint32_t fullPathLength,
                             int32_t styleId, uint8_t* volume, uint8_t* pan, uint8_t* reverb) override;
    uint32_t clearAudio() override;
    uint8_t sectionToStyleId(uint8_t index) override;
    uint8_t sectionToStyleSlot(uint8_t index) override;
    QString errorText() override { return m_error.errorText(); }
    void clearError() override { m_error.clearError(); }
    bool hasError() override { return m_error.hasError(); }
    void setTemplatePath(const QString& path) override { m_templatePath = path; }
    int32_t setMaxPoints(int32_t n) override { return m_maxPoints = n; }
    int32_t maxPoints() override { return m_maxPoints; }
    int32_t setLimitB(int32_t n) override { return m_limitB = n; }
    int32_t limitB() override { return m_limitB; }
    int32_t setLimitC(int32_t n) override { return m_limitC = n; }
    int32_t limitC() override { return m_limitC; }

    // ---- settings and model ----
    CAudioInfo* audioInfo() const { return m_audioInfo.get(); }
    // The settings as the latest setStyleInfo left them.
    const StyleInfo& styleInfo() const { return m_info; }
    QString templatePath() const { return m_templatePath; }
    // Name of a template section number ("Main A", "Fill In AA", ...), null
    // for a number without one.
    static const char* slotName(uint8_t slot);

    // ---- audio-file lookup by template section number ----
    // The first audio file whose section names contain the slot's name
    // gets the field (only that one). No match: 0 and nothing written.
    uint32_t setSlotBarCount(uint8_t slot, uint16_t bars);
    uint32_t setSlotTempo(uint8_t slot, uint32_t microsecondsPerQuarter);
    uint32_t setSlotTimeSignature(uint8_t slot, uint32_t word);
    // Bar count of the matching file; 0 when none matches.
    uint32_t getSlotBarCount(uint8_t slot, uint16_t& bars);

    // ---- export stages ----
    // Attack, beat and sync points of every section with audio.
    uint32_t analyzeSections(uint16_t& attackMask, uint16_t& beatMask, uint16_t& syncMask);
    // Attack points from the transient search (`sink` as detectTransients).
    uint32_t makeAttackPoints(uint8_t s, CAudioWaveForm* form, uint16_t& attackMask,
                              TransientSink* sink = nullptr);
    uint32_t makeBeatPoints(uint8_t s, CAudioWaveForm* form, uint16_t& beatMask);
    uint32_t makeSyncPoints(uint8_t s, CAudioWaveForm* form, uint16_t& syncMask);
    // Appends attack points for the onsets to `info`: beat = p / spb, tick
    // = trunc((p mod spb) / spb * 1920); at maxPoints the list is cut and
    // bit s of the mask set. 0x8000000B when spb is 0.
    uint32_t addAttackPoints(uint8_t s, const std::vector<uint32_t>& onsets, uint32_t spb,
                             CAudioWaveInfo* info, uint16_t& attackMask);
    // Cut points of part j of `parts` of section s, appended to `cuts`
    // (frames from the section's start). Memory running out inside throws
    // std::bad_alloc; makeSyncPoints then tries again on shorter parts.
    // Virtual so that tests can make it run out.
    virtual uint32_t findCutPoints(uint32_t part, uint32_t parts, uint8_t s,
                                   const std::vector<uint8_t>& bytes, std::vector<uint32_t>& cuts);
    // Serialised template fitted to the settings and the audio model. A
    // template that cannot be read or parsed is named in the error text.
    uint32_t buildTemplateStyle(std::vector<uint8_t>& out);
    // Appends the audio part to `file` (open for writing, at its end) one
    // chunk at a time and counts its bytes in `bytes`. 0x80000001 no audio
    // model; 0x80000002 when the part fails or nothing comes out;
    // nest(0x80000001, 3) when the file takes no more bytes (the file is
    // then named in the error text).
    uint32_t appendAudioPart(QFileDevice& file, uint64_t& bytes);

    // Largest serialised template the export takes (16 MiB).
    static constexpr uint32_t kExportBufferBytes = 16u * 1024u * 1024u;

private:
    // Stage (1..6) of a failed lookup, or 0 with the file (null: no
    // match); `joinCode` holds the code of a failed join.
    uint32_t findFileForSlot(uint8_t slot, CAudioFile*& file, uint32_t& joinCode);
    template <typename Write> uint32_t writeSlotField(uint8_t slot, Write write, bool barCountCodes);
    uint32_t templateTimeSignature(uint32_t& word);
    // `code`, with the template named in the error text (unless a text is
    // there already).
    uint32_t templateFailure(uint32_t code);
    // The section's frames: the embedded bytes, else the WAV file's data.
    // Failures are numbered from `base` (no wave form) on; a WAV file that
    // cannot be read is named in the error text.
    uint32_t sectionBytes(CAudioWaveForm* form, std::vector<uint8_t>& bytes, uint32_t base);
    // The attack and sync points of section s from its frames, read once
    // for both by the export (the make* stages read them each).
    uint32_t attackPointsFrom(uint8_t s, CAudioWaveForm* form, const std::vector<uint8_t>& bytes,
                              uint16_t& attackMask, TransientSink* sink);
    uint32_t syncPointsFrom(uint8_t s, CAudioWaveForm* form, const std::vector<uint8_t>& bytes,
                            uint16_t& syncMask);

    std::unique_ptr<CAudioInfo> m_audioInfo;
    StyleInfo m_info;
    QString m_templatePath;
    int32_t m_maxPoints = 1024;
    int32_t m_limitB = 256;
    int32_t m_limitC = 256;
    krm::ErrorState m_error;
};
