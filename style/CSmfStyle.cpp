#include "CSmfStyle.h"

#include <algorithm>
#include <cstring>
#include <new>

using krm::fail;
using krm::nest;
using krm::nestOnFail;
using krm::Result;

CSmfStyle::~CSmfStyle() = default;

Result CSmfStyle::clear()
{
    sections.clear();
    return krm::kOk;
}

// ---------------------------------------------------------------- whole stream

Result CSmfStyle::parse(const uint8_t* data, uint32_t length)
{
    if (!data || length == 0)
        return fail(1);
    tracks.clear();
    if (clear())
        return fail(3);
    uint32_t pos = 0;
    while (pos < length) {
        uint8_t id = kChunkNone;
        if (Result r = readChunkTag(data, length, &pos, &id))
            return nest(r, 4);
        switch (id) {
        case kChunkMThd:
            if (Result r = readMThd(data, length, &pos))
                return nest(r, 5);
            break;
        case kChunkMTrk:
            if (Result r = readMTrk(data, length, &pos))
                return nest(r, 6);
            break;
        case kChunkCASM:
            if (Result r = readCASM(data, length, &pos))
                return nest(r, 7);
            break;
        default:
            if (Result r = skipChunk(data, length, &pos))
                return nest(r, 9);
            break;
        }
    }
    return krm::kOk;
}

Result CSmfStyle::write(std::vector<uint8_t>& out) const
{
    // Written straight into the output (no copies of the tracks); a
    // failure leaves it empty.
    out.clear();
    Result r = krm::kOk;
    if (Result m = writeMThd(out))
        r = nest(m, 4);
    else if (Result t = writeTracks(out))
        r = nest(t, 5);
    else if (Result c = writeCASM(out))
        r = nest(c, 6);
    if (r)
        out.clear();
    return r;
}

// ---------------------------------------------------------------- style part, reading

Result CSmfStyle::readCASM(const uint8_t* buf, uint32_t size, uint32_t* pos)
{
    if (!buf || !pos)
        return fail(1);
    uint32_t end = 0;
    if (readBodyBounds(buf, size, pos, &end, false))
        return fail(2);
    while (*pos < end) {
        uint8_t id = kChunkNone;
        if (Result r = readChunkTag(buf, size, pos, &id))
            return nest(r, 6);
        if (id != kChunkCSEG) {
            *pos = end;
            return fail(8);
        }
        if (Result r = readCSEG(buf, size, pos))
            return nest(r, 7);
    }
    return krm::kOk;
}

Result CSmfStyle::readCSEG(const uint8_t* buf, uint32_t size, uint32_t* pos)
{
    uint32_t end = 0;
    if (Result r = readBodyBounds(buf, size, pos, &end, true))
        return r == fail(3) ? r : fail(2);
    CSection* section = new (std::nothrow) CSection;
    if (!section)
        return fail(4);
    sections.emplace_back(section);
    if (section->clear())
        return fail(5);
    while (*pos < end) {
        uint8_t id = kChunkNone;
        if (Result r = readChunkTag(buf, size, pos, &id))
            return nest(r, 6);
        switch (id) {
        case kChunkSdec:
            if (Result r = readSdec(buf, size, pos, section))
                return nest(r, 7);
            break;
        case kChunkCtab:
            if (Result r = readCtab(buf, size, pos, section))
                return nest(r, 8);
            break;
        case kChunkCtb2:
            if (Result r = readCtb2(buf, size, pos, section))
                return nest(r, 9);
            break;
        case kChunkCntt:
            if (Result r = readCntt(buf, size, pos, section))
                return nest(r, 0xA);
            break;
        default:
            *pos = end;
            return fail(0xB);
        }
    }
    return krm::kOk;
}

Result CSmfStyle::readSdec(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section)
{
    if (!buf || !pos || !section)
        return fail(1);
    uint32_t end = 0;
    if (Result r = readBodyBounds(buf, size, pos, &end, true))
        return r;
    if (section->setNamesFromText(reinterpret_cast<const char*>(buf) + *pos, end - *pos))
        return fail(5);
    *pos = end;
    return krm::kOk;
}

Result CSmfStyle::readTable(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section,
                            bool threeRanges)
{
    if (!buf || !pos || !section)
        return fail(1);
    uint32_t end = 0;
    if (Result r = readBodyBounds(buf, size, pos, &end, true))
        return r;
    std::unique_ptr<CCtabData> table(new (std::nothrow) CCtabData);
    if (!table)
        return fail(5);
    if (table->setTag(threeRanges ? "Ctb2" : "Ctab", 4))
        return fail(6);
    // The fields are read within the chunk's own body, so a short chunk can
    // never take bytes of the chunk after it.
    krm::ByteReader body(buf, end);
    body.seek(*pos);
    if (const int group = table->decodeBody(body, threeRanges)) {
        static const uint8_t kOneRangeSteps[8] = {0, 7, 0, 0, 8, 0, 0, 9};
        const uint32_t step = threeRanges ? uint32_t(7 + group) : kOneRangeSteps[group];
        return nest(fail(2), step);
    }
    *pos = end;
    section->addCtabData(table.release());
    return krm::kOk;
}

Result CSmfStyle::readCtab(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section)
{
    return readTable(buf, size, pos, section, false);
}

Result CSmfStyle::readCtb2(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section)
{
    return readTable(buf, size, pos, section, true);
}

Result CSmfStyle::readCntt(const uint8_t* buf, uint32_t size, uint32_t* pos, CSection* section)
{
    if (!buf || !pos || !section)
        return fail(1);
    uint32_t end = 0;
    if (Result r = readBodyBounds(buf, size, pos, &end, true))
        return r;
    krm::ByteReader body(buf, end);
    body.seek(*pos);
    uint8_t channel = 0, value = 0;
    if (!body.u8(channel))
        return nest(fail(2), 5);
    if (!body.u8(value))
        return nest(fail(2), 6);
    *pos = end;
    // Without memory the record is passed over; the style stays consistent.
    if (CCnttData* record = new (std::nothrow) CCnttData) {
        record->setChannel(channel);
        record->setValue(value);
        section->addCnttData(record);
    }
    return krm::kOk;
}

// ---------------------------------------------------------------- style part, writing

Result CSmfStyle::writeCASM(std::vector<uint8_t>& out) const
{
    if (sections.empty())
        return krm::kOk;
    return writeChunk(out, kChunkCASM, [&](std::vector<uint8_t>& body) {
        for (const auto& s : sections) {
            std::vector<uint8_t> joined;
            if (joinNamesWithCommas(s->names, joined))
                return fail(4);
            if (joined.empty())
                continue;
            if (Result r = writeCSEG(body, s.get()))
                return nest(r, 5);
        }
        return krm::kOk;
    });
}

Result CSmfStyle::writeCSEG(std::vector<uint8_t>& out, const CSection* section)
{
    if (!section)
        return fail(1);
    return writeChunk(out, kChunkCSEG, [&](std::vector<uint8_t>& body) {
        if (writeSdec(body, section))
            return fail(3);
        for (const auto& t : section->ctabs) {
            if (!t)
                return fail(5);
            if (t->isTag("Ctab")) {
                if (Result r = writeCtab(body, t.get()))
                    return nest(r, 6);
            } else if (t->isTag("Ctb2")) {
                if (Result r = writeCtb2(body, t.get()))
                    return nest(r, 7);
            } else {
                return fail(8);
            }
        }
        for (const auto& c : section->cntts)
            if (Result r = writeCntt(body, c.get()))
                return nest(r, 0xA);
        return krm::kOk;
    });
}

Result CSmfStyle::writeSdec(std::vector<uint8_t>& out, const CSection* section)
{
    if (!section)
        return fail(1);
    return writeChunk(out, kChunkSdec, [&](std::vector<uint8_t>& body) {
        return joinNamesWithCommas(section->names, body) ? fail(4) : krm::kOk;
    });
}

Result CSmfStyle::writeTable(std::vector<uint8_t>& out, const CCtabData* table, bool threeRanges)
{
    if (!table)
        return fail(1);
    return writeChunk(out, threeRanges ? kChunkCtb2 : kChunkCtab, [&](std::vector<uint8_t>& body) {
        table->encodeBody(body, threeRanges);
        return krm::kOk;
    });
}

Result CSmfStyle::writeCtab(std::vector<uint8_t>& out, const CCtabData* table)
{
    return writeTable(out, table, false);
}

Result CSmfStyle::writeCtb2(std::vector<uint8_t>& out, const CCtabData* table)
{
    return writeTable(out, table, true);
}

Result CSmfStyle::writeCntt(std::vector<uint8_t>& out, const CCnttData* record)
{
    if (!record)
        return fail(1);
    return writeChunk(out, kChunkCntt, [&](std::vector<uint8_t>& body) {
        uint8_t channel = 0, value = 0;
        if (record->getChannel(&channel))
            return fail(4);
        if (record->getValue(&value))
            return fail(5);
        appendUInt8(body, channel);
        appendUInt8(body, value);
        return krm::kOk;
    });
}

// ---------------------------------------------------------------- section names

namespace {

struct MarkerName {
    uint8_t id;
    const char* name;
};

// Tried in this order; a text that begins with the name matches it.
const MarkerName kMarkerNames[] = {
    {0, "Main A"},      {0, "MA"},         {1, "Fill AA"},     {1, "Fill In AA"}, {1, "FAA"},
    {2, "Fill AB"},     {2, "Fill In AB"}, {2, "FAB"},         {3, "Intro A"},    {3, "IA"},
    {4, "Ending A"},    {4, "EA"},         {5, "Break A"},     {6, "Main B"},     {6, "MB"},
    {7, "Fill BB"},     {7, "Fill In BB"}, {7, "FBB"},         {8, "Fill BA"},    {8, "Fill In BA"},
    {8, "FBA"},         {9, "Intro B"},    {9, "IB"},          {10, "Ending B"},  {10, "EB"},
    {11, "Break B"},    {12, "Main C"},    {12, "MC"},         {13, "Fill CC"},   {13, "Fill In CC"},
    {13, "FCC"},        {14, "Fill CD"},   {14, "Fill In CD"}, {14, "FCD"},       {15, "Intro C"},
    {15, "IC"},         {16, "Ending C"},  {16, "EC"},         {17, "Break C"},   {18, "Main D"},
    {18, "MD"},         {19, "Fill DD"},   {19, "Fill In DD"}, {19, "FDD"},       {20, "Fill DC"},
    {20, "Fill In DC"}, {20, "FDC"},       {21, "Intro D"},    {22, "Ending D"},  {23, "Break D"},
    {8, "Break Fill"},  {5, "Break"},
};

}  // namespace

Result CSmfStyle::sectionIdFromName(const char* text, uint32_t length, uint8_t* id)
{
    if (id)
        *id = kNoSectionId;
    if (!text || length == 0 || !id)
        return fail(1);
    for (const MarkerName& m : kMarkerNames) {
        const size_t n = std::strlen(m.name);
        if (length >= n && std::memcmp(text, m.name, n) == 0) {
            *id = m.id;
            return krm::kOk;
        }
    }
    return fail(2);
}
