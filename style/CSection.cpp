#include "CSection.h"

#include "CChunkBase.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

using krm::fail;
using krm::Result;

// ---------------------------------------------------------------- defaults

namespace {

struct DefaultPart {
    char name[9];
    uint8_t mask13[5];
    uint8_t values[6];  // g = 0 to 5, the same for all three ranges
};

// Tables n and n + 8 differ only in their channel.
const DefaultPart kDefaultParts[8] = {
    {"Rhythm1 ", {0x07, 0xFF, 0xFF, 0xFF, 0xFF}, {0x01, 0x00, 0x06, 0x00, 0x7F, 0x01}},
    {"Rhythm2 ", {0x07, 0xFF, 0xFF, 0xFF, 0xFF}, {0x01, 0x00, 0x06, 0x00, 0x7F, 0x01}},
    {"Bass    ", {0x03, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x81, 0x03, 0x1C, 0x7F, 0x04}},
    {"Chord1  ", {0x03, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x02, 0x07, 0x00, 0x7F, 0x03}},
    {"Chord2  ", {0x03, 0xFF, 0xFF, 0xFF, 0xFF}, {0x01, 0x02, 0x07, 0x00, 0x7F, 0x01}},
    {"Pad     ", {0x03, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x02, 0x07, 0x00, 0x7F, 0x01}},
    {"Phrase1 ", {0x03, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x01, 0x07, 0x00, 0x7F, 0x01}},
    {"Phrase2 ", {0x03, 0xFF, 0xFF, 0xFF, 0xFF}, {0x01, 0x01, 0x07, 0x00, 0x7F, 0x01}},
};

using RecordImages = std::array<std::array<uint8_t, kDefaultCtabRecordBytes>, kDefaultTableCount>;

// Each image is a whole "Ctb2" chunk (47 body bytes) and ten zero bytes.
RecordImages buildDefaultImages()
{
    RecordImages images {};
    for (uint8_t n = 0; n < kDefaultTableCount; ++n) {
        const DefaultPart& p = kDefaultParts[n % 8];
        std::vector<uint8_t> v;
        krm::ByteWriter w(v);
        w.tag("Ctb2");
        w.u32(47);
        w.u8(n);
        w.bytes(p.name, 8);
        w.u8(uint8_t(8 + n % 8));  // outChannel
        w.u8(0);                   // byte10
        w.u8(0x0F);                // mask11
        w.u8(0xFF);
        w.bytes(p.mask13, 5);
        w.u8(0x00);  // byte18
        w.u8(0x02);  // byte19
        w.u8(0x00);  // byte20
        w.u8(0x7F);  // byte21
        for (int r = 0; r < CCtabData::kRanges; ++r)
            w.bytes(p.values, 6);
        v.resize(kDefaultCtabRecordBytes, 0);  // byte40 .. tailFlag, tail word, pairs
        std::copy(v.begin(), v.end(), images[n].begin());
    }
    return images;
}

}  // namespace

const uint8_t* defaultCtabRecord(uint8_t n)
{
    static const RecordImages images = buildDefaultImages();
    return n < kDefaultTableCount ? images[n].data() : nullptr;
}

// ---------------------------------------------------------------- CCnttData

Result CCnttData::initDefault(uint8_t n)
{
    channel = 0;
    value = 0;
    if (n >= kDefaultTableCount)
        return fail(2);
    CCtabData table;
    table.initDefault(n);
    channel = n;
    return table.getRangeValue(1, 1, &value);
}

// ---------------------------------------------------------------- CCtabData

Result CCtabData::setPairCount(uint8_t v)
{
    if (v > kPairs)
        return fail(1);
    pairCount = v;
    return krm::kOk;
}

Result CCtabData::getRangeValue(uint8_t range, uint8_t g, uint8_t* out) const
{
    if (range >= kRanges)
        return fail(1);
    if (g >= kValues || !out)
        return fail(2);
    *out = rangeValue[g][range];
    return krm::kOk;
}

Result CCtabData::setRangeValue(uint8_t range, uint8_t g, uint8_t v)
{
    if (range >= kRanges)
        return fail(1);
    if (g >= kValues)
        return fail(2);
    rangeValue[g][range] = v;
    return krm::kOk;
}

Result CCtabData::getPair(uint8_t i, uint8_t* a, uint8_t* b) const
{
    if (i >= kPairs || !a || !b)
        return fail(1);
    *a = pairA[i];
    *b = pairB[i];
    return krm::kOk;
}

Result CCtabData::setPair(uint8_t i, uint8_t a, uint8_t b)
{
    if (i >= kPairs)
        return fail(1);
    pairA[i] = a;
    pairB[i] = b;
    pairCount = std::max<uint8_t>(pairCount, uint8_t(i + 1));
    return krm::kOk;
}

bool CCtabData::isTag(const char* text) const
{
    return text && std::memcmp(tag, text, 4) == 0;
}

int CCtabData::decodeBody(krm::ByteReader& body, bool threeRanges)
{
    if (!body.u8(channel) || !body.bytes(name, 8) || !body.u8(outChannel) || !body.u8(byte10) ||
        !body.bytes(mask11, 2) || !body.bytes(mask13, 5) || !body.u8(byte18) || !body.u8(byte19))
        return 1;
    if (threeRanges) {
        if (!body.u8(byte20))
            return 2;
        if (!body.u8(byte21))
            return 3;
        uint8_t v[kRanges][kValues];  // range-major in the body
        if (!body.bytes(v, sizeof v))
            return 4;
        for (int r = 0; r < kRanges; ++r)
            for (int g = 0; g < kValues; ++g)
                rangeValue[g][r] = v[r][g];
        if (!body.u8(byte40))
            return 5;
        if (!body.u8(byte41) || !body.bytes(word42, 2) || !body.u8(byte44) || !body.u8(byte45))
            return 6;
    } else {
        uint8_t v[kValues];
        if (!body.bytes(v, sizeof v))
            return 4;
        for (int g = 0; g < kValues; ++g)
            for (int r = 0; r < kRanges; ++r)
                rangeValue[g][r] = v[g];
    }
    // The tail is read whatever the flag holds; it ends where the body does.
    if (!body.u8(tailFlag))
        return 7;
    if (!body.bytes(tailWord, 2))
        return 0;
    for (int i = 0; i < kPairs; ++i) {
        if (!body.u8(pairA[i]))
            break;
        if (!body.u8(pairB[i]))
            break;
        pairCount = uint8_t(i + 1);
    }
    return 0;
}

void CCtabData::encodeBody(std::vector<uint8_t>& out, bool threeRanges, const uint8_t* insert, size_t n) const
{
    krm::ByteWriter w(out);
    w.u8(channel);
    w.bytes(name, 8);
    w.u8(outChannel);
    if (insert)
        w.bytes(insert, n);
    w.u8(byte10);
    w.bytes(mask11, 2);
    w.bytes(mask13, 5);
    w.u8(byte18);
    w.u8(byte19);
    if (threeRanges) {
        w.u8(byte20);
        w.u8(byte21);
        for (int r = 0; r < kRanges; ++r)
            for (int g = 0; g < kValues; ++g)
                w.u8(rangeValue[g][r]);
        w.u8(byte40);
        w.u8(byte41);
        w.bytes(word42, 2);
        w.u8(byte44);
        w.u8(byte45);
    } else {
        for (int g = 0; g < kValues; ++g)
            w.u8(rangeValue[g][1]);
    }
    w.u8(tailFlag);
    if (tailFlag != 0 && pairCount >= 1) {
        w.bytes(tailWord, 2);
        for (int i = 0; i < std::min<int>(pairCount, kPairs); ++i) {
            w.u8(pairA[i]);
            w.u8(pairB[i]);
        }
    }
}

Result CCtabData::initDefault(uint8_t n)
{
    *this = CCtabData();
    const uint8_t* image = defaultCtabRecord(n);
    if (!image)
        return fail(2);
    krm::ByteReader body(image + 8, kDefaultCtabRecordBytes - 8);
    decodeBody(body, true);
    std::memcpy(tag, "Ctb2", 4);
    pairCount = kPairs;
    return krm::kOk;
}

// ---------------------------------------------------------------- CSection

Result CSection::addCtabData(CCtabData* table)
{
    if (!table)
        return fail(1);
    ctabs.emplace_back(table);
    return krm::kOk;
}

Result CSection::addCnttData(CCnttData* record)
{
    if (!record)
        return fail(1);
    cntts.emplace_back(record);
    return krm::kOk;
}

Result CSection::clear()
{
    ctabs.clear();
    cntts.clear();
    names.clear();
    return krm::kOk;
}

Result CSection::clearCntt()
{
    cntts.clear();
    return krm::kOk;
}

Result CSection::clearNames()
{
    names.clear();
    return krm::kOk;
}

Result CSection::setNames(const std::vector<std::string>& list)
{
    names = list;
    return krm::kOk;
}

CCtabData* CSection::findCtab(uint8_t channel) const
{
    for (const auto& t : ctabs) {
        uint8_t c = 0;
        if (t && !t->getChannel(&c) && c == channel)
            return t.get();
    }
    return nullptr;
}

Result CSection::initDefault()
{
    if (clear())
        return fail(1);
    names.push_back("Dummy");
    for (uint8_t n = 0; n < kDefaultTableCount; ++n) {
        std::unique_ptr<CCtabData> t(new (std::nothrow) CCtabData);
        if (!t)
            return fail(2);
        if (t->initDefault(n))
            return fail(3);
        addCtabData(t.release());
    }
    for (uint8_t n = 0; n < kDefaultTableCount; ++n) {
        std::unique_ptr<CCnttData> c(new (std::nothrow) CCnttData);
        if (!c)
            return fail(4);
        if (c->initDefault(n))
            return fail(5);
        addCnttData(c.release());
    }
    return krm::kOk;
}

Result CSection::sff1PostLoad()
{
    for (const auto& c : cntts) {
        uint8_t channel = 0, value = 0;
        c->getChannel(&channel);
        c->getValue(&value);
        CCtabData* t = findCtab(channel);
        if (!t)
            continue;
        for (uint8_t r = 0; r < CCtabData::kRanges; ++r)
            t->setRangeValue(r, 1, value);
    }
    return krm::kOk;
}

Result CSection::sff1PreSave()
{
    clearCntt();
    for (const auto& t : ctabs) {
        std::unique_ptr<CCnttData> c(new (std::nothrow) CCnttData);
        if (!c)
            return fail(1);
        uint8_t channel = 0, value = 0;
        t->getChannel(&channel);
        t->getRangeValue(1, 1, &value);
        c->setChannel(channel);
        c->setValue(value);
        addCnttData(c.release());
    }
    return krm::kOk;
}
