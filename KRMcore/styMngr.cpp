// The style manager: its settings, the section numberings, the audio
// model and the writes of bar count, tempo and time signature into the
// audio file that plays a template section. The export itself is in
// styMngr_export.cpp.
#include "styMngr.h"

#include "CAudioInfo.h"
#include "ResultCode.h"

#include <algorithm>
#include <cstring>
#include <new>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;

namespace {

// Template section numbers 0..23; null where the template has no section.
const char* const kSlotNames[24] = {
    "Main A",     "Fill In AA", nullptr,    "Intro A",    "Ending A", "Break A",    "Main B", "Fill In BB",
    "Fill In BA", "Intro B",    "Ending B", nullptr,      "Main C",   "Fill In CC", nullptr,  "Intro C",
    "Ending C",   nullptr,      "Main D",   "Fill In DD", nullptr,    nullptr,      nullptr,  nullptr,
};

const uint8_t kStyleIds[kSectionCount] = {8, 9, 10, 0, 1, 2, 3, 4, 5, 6, 7, 17, 12, 13, 14};
const uint8_t kStyleSlots[kSectionCount] = {3, 9, 15, 0, 6, 12, 18, 1, 7, 13, 19, 8, 4, 10, 16};

// Stages of a failed audio-file lookup, in the order they are met.
enum LookupStage : uint32_t {
    kNoModel = 1,
    kEmptyEntry = 2,
    kNoWaveForm = 3,
    kNoStyleFormat = 4,
    kNoNameList = 5,
    kJoinFailed = 6,
    kException = 7,
};

// The tempo, time-signature and bar-count read codes run one below the
// bar-count setter's, with "no model" and "empty entry" sharing 1.
uint32_t lookupCode(uint32_t stage, bool barCountCodes)
{
    if (barCountCodes)
        return fail(stage);
    return fail(std::max<uint32_t>(1, stage - 1));
}

void putBigEndian(uint32_t value, uint8_t* out, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        out[k] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - k)));
}

// Power of two of a beat unit; -1 for a unit that is none of 1..16.
int unitPower(uint8_t unit)
{
    switch (unit) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 4:
        return 2;
    case 8:
        return 3;
    case 16:
        return 4;
    default:
        return -1;
    }
}

}  // namespace

uint32_t samplesPerBeat(uint32_t length, uint32_t bars, uint32_t beatsPerBar)
{
    if (bars == 0 || beatsPerBar == 0)
        return 0;
    return static_cast<uint32_t>(static_cast<double>(length) / bars / beatsPerBar);
}

styMngr::styMngr() : m_audioInfo(new (std::nothrow) CAudioInfo)
{ }

styMngr::~styMngr()
{
    if (m_audioInfo)
        m_audioInfo->clear();
}

uint32_t styMngr::setSectionAudio(const char* text, uint32_t textLength, const char* baseName,
                                  uint32_t baseNameLength, const char* fullPath, uint32_t fullPathLength,
                                  int32_t styleId, uint8_t* volume, uint8_t* pan, uint8_t* reverb)
{
    if (!m_audioInfo)
        return fail(1);
    return m_audioInfo->setSectionAudio(reinterpret_cast<const uint8_t*>(text), textLength, baseName,
                                        baseNameLength, fullPath, fullPathLength, styleId, volume, pan,
                                        reverb);
}

uint32_t styMngr::clearAudio()
{
    if (m_audioInfo)
        m_audioInfo->clear();
    return kOk;
}

uint8_t styMngr::sectionToStyleId(uint8_t index)
{
    return index < kSectionCount ? kStyleIds[index] : 0;
}

uint8_t styMngr::sectionToStyleSlot(uint8_t index)
{
    return index < kSectionCount ? kStyleSlots[index] : 0;
}

const char* styMngr::slotName(uint8_t slot)
{
    return slot < 24 ? kSlotNames[slot] : nullptr;
}

// ---------------------------------------------------------------- audio-file lookup

uint32_t styMngr::findFileForSlot(uint8_t slot, CAudioFile*& file, uint32_t& joinCode)
{
    file = nullptr;
    joinCode = kOk;
    if (!m_audioInfo)
        return kNoModel;
    const char* name = slotName(slot);
    const size_t nameLength = name ? std::strlen(name) : 0;
    for (const auto& entry : m_audioInfo->files) {
        if (!entry)
            return kEmptyEntry;
        CAudioWaveForm* form = entry->getWaveForm();
        if (!form)
            return kNoWaveForm;
        CAudioStyleWaveFormat* format = form->getStyleFormat();
        if (!format)
            return kNoStyleFormat;
        CSection* names = format->getSection();
        if (!names)
            return kNoNameList;
        std::vector<uint8_t> joined;
        joinCode = joinNamesWithCommas(names->names, joined);
        if (joinCode != kOk)
            return kJoinFailed;
        if (name && std::search(joined.begin(), joined.end(), name, name + nameLength) != joined.end()) {
            file = entry.get();
            return kOk;
        }
    }
    return kOk;
}

template <typename Write> uint32_t styMngr::writeSlotField(uint8_t slot, Write write, bool barCountCodes)
{
    try {
        CAudioFile* file = nullptr;
        uint32_t joinCode = kOk;
        if (const uint32_t stage = findFileForSlot(slot, file, joinCode))
            return lookupCode(stage, barCountCodes);
        if (!file)
            return kOk;
        const uint32_t r = write(*file->getWaveForm()->getStyleFormat());
        return r == kOk ? kOk : nest(r, barCountCodes ? 8 : 7);
    } catch (...) {
        m_error.setError(QString());
        return lookupCode(kException, barCountCodes);
    }
}

uint32_t styMngr::setSlotBarCount(uint8_t slot, uint16_t bars)
{
    return writeSlotField(
        slot, [bars](CAudioStyleWaveFormat& f) { return f.setNumberOfBars(bars); }, true);
}

uint32_t styMngr::setSlotTempo(uint8_t slot, uint32_t microsecondsPerQuarter)
{
    uint8_t bytes[3];
    putBigEndian(microsecondsPerQuarter, bytes, 3);
    return writeSlotField(
        slot, [&bytes](CAudioStyleWaveFormat& f) { return f.setOriginalTempo(bytes, 3); }, false);
}

uint32_t styMngr::setSlotTimeSignature(uint8_t slot, uint32_t word)
{
    uint8_t bytes[4];
    putBigEndian(word, bytes, 4);
    return writeSlotField(
        slot, [&bytes](CAudioStyleWaveFormat& f) { return f.setTimeSignature(bytes, 4); }, false);
}

uint32_t styMngr::getSlotBarCount(uint8_t slot, uint16_t& bars)
{
    bars = 0;
    try {
        CAudioFile* file = nullptr;
        uint32_t joinCode = kOk;
        if (const uint32_t stage = findFileForSlot(slot, file, joinCode))
            return stage == kJoinFailed ? nest(joinCode, 5) : lookupCode(stage, false);
        if (!file)
            return kOk;
        const uint32_t r = file->getWaveForm()->getStyleFormat()->getNumberOfBars(&bars);
        return r == kOk ? kOk : nest(r, 7);
    } catch (...) {
        m_error.setError(QString());
        return lookupCode(kException, false);
    }
}

// ---------------------------------------------------------------- settings

uint32_t styMngr::setStyleInfo(const StyleInfo& info)
{
    // No style tempo exists for 0 beats per minute; refuse before anything
    // of the settings or the audio model changes.
    if (info.tempo == 0)
        return fail(8);
    m_info.tempo = info.tempo;
    m_info.beatsPerBar = info.beatsPerBar;
    m_info.beatUnit = info.beatUnit;
    const uint32_t microsecondsPerQuarter = 60000000u / info.tempo;
    const int power = unitPower(info.beatUnit);
    for (uint8_t s = 0; s < kSectionCount; ++s) {
        m_info.sectionLength[s] = info.sectionLength[s];
        m_info.sectionBars[s] = info.sectionBars[s];
        const uint8_t slot = sectionToStyleSlot(s);
        uint32_t r = setSlotBarCount(slot, static_cast<uint16_t>(info.sectionBars[s]));
        if (r != kOk)
            return nest(r, 1);
        r = setSlotTempo(slot, microsecondsPerQuarter);
        if (r != kOk)
            return nest(r, 2);
        if (power < 0)
            return fail(7);
        const uint32_t word = (uint32_t(info.beatsPerBar) << 24) | (uint32_t(power) << 16) | (24u << 8) | 8u;
        r = setSlotTimeSignature(slot, word);
        if (r != kOk)
            return nest(r, 3);
    }
    return kOk;
}

IF_styMngr* createStyMngr()
{
    return new styMngr();
}
