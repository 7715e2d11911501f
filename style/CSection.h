#pragma once
// One style section in memory: its names, its channel tables and, in older
// styles, one two-byte channel record per channel. The model does not
// interpret most table fields: it reads, keeps, converts between the
// one-range and three-range forms and writes them back.
//
// Every accessor returns a result code (0 success, 0x80000000 | step).
#include "ByteCodec.h"
#include "RecordField.h"
#include "ResultCode.h"
#include "SectionNameList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Number of built-in default channel tables (channels 0 to 15).
constexpr uint8_t kDefaultTableCount = 16;

// A channel record of an older style: the channel and one value (value 1 of
// the channel's table).
class CCnttData {
public:
    virtual ~CCnttData() = default;

    krm::Result getChannel(uint8_t* out) const { return krmstyle::getField(channel, out); }
    krm::Result setChannel(uint8_t v) { return krmstyle::setField(channel, v); }
    krm::Result getValue(uint8_t* out) const { return krmstyle::getField(value, out); }
    krm::Result setValue(uint8_t v) { return krmstyle::setField(value, v); }
    // channel n, value = value 1 of range 1 of default table n; n of 16 or
    // more gives 0x80000002 with both fields 0.
    krm::Result initDefault(uint8_t n);

private:
    uint8_t channel = 0;
    uint8_t value = 0;
};

// One channel table in the three-range form, whichever form it was read
// from; `tag` says which form it is written back as ("Ctab" or "Ctb2").
class CCtabData {
public:
    static constexpr int kRanges = 3;
    static constexpr int kValues = 6;
    static constexpr int kPairs = 4;

    virtual ~CCtabData() = default;

    // Multi-byte fields: getters copy min(*size, width) bytes and set *size
    // to the width when it was at least that (no buffer or *size 0:
    // 0x80000001); setters fill the field (blanks for tag and name, zeros
    // otherwise) and copy up to its width (no source or size 0: 0x80000001).
    krm::Result getTag(uint8_t* out, uint32_t* size) const { return krmstyle::getBytesField(tag, out, size); }
    krm::Result setTag(const void* src, uint32_t size)
    {
        return krmstyle::setBytesField(tag, ' ', src, size);
    }
    krm::Result getName(uint8_t* out, uint32_t* size) const
    {
        return krmstyle::getBytesField(name, out, size);
    }
    krm::Result setName(const void* src, uint32_t size)
    {
        return krmstyle::setBytesField(name, ' ', src, size);
    }
    krm::Result getMask11(uint8_t* out, uint32_t* size) const
    {
        return krmstyle::getBytesField(mask11, out, size);
    }
    krm::Result setMask11(const void* src, uint32_t size)
    {
        return krmstyle::setBytesField(mask11, 0, src, size);
    }
    krm::Result getMask13(uint8_t* out, uint32_t* size) const
    {
        return krmstyle::getBytesField(mask13, out, size);
    }
    krm::Result setMask13(const void* src, uint32_t size)
    {
        return krmstyle::setBytesField(mask13, 0, src, size);
    }
    krm::Result getWord42(uint8_t* out, uint32_t* size) const
    {
        return krmstyle::getBytesField(word42, out, size);
    }
    krm::Result setWord42(const void* src, uint32_t size)
    {
        return krmstyle::setBytesField(word42, 0, src, size);
    }
    krm::Result getTailWord(uint8_t* out, uint32_t* size) const
    {
        return krmstyle::getBytesField(tailWord, out, size);
    }
    krm::Result setTailWord(const void* src, uint32_t size)
    {
        return krmstyle::setBytesField(tailWord, 0, src, size);
    }

    krm::Result getChannel(uint8_t* out) const { return krmstyle::getField(channel, out); }
    krm::Result setChannel(uint8_t v) { return krmstyle::setField(channel, v); }
    krm::Result getOutChannel(uint8_t* out) const { return krmstyle::getField(outChannel, out); }
    krm::Result setOutChannel(uint8_t v) { return krmstyle::setField(outChannel, v); }
    krm::Result getByte10(uint8_t* out) const { return krmstyle::getField(byte10, out); }
    krm::Result setByte10(uint8_t v) { return krmstyle::setField(byte10, v); }
    krm::Result getByte18(uint8_t* out) const { return krmstyle::getField(byte18, out); }
    krm::Result setByte18(uint8_t v) { return krmstyle::setField(byte18, v); }
    krm::Result getByte19(uint8_t* out) const { return krmstyle::getField(byte19, out); }
    krm::Result setByte19(uint8_t v) { return krmstyle::setField(byte19, v); }
    krm::Result getByte20(uint8_t* out) const { return krmstyle::getField(byte20, out); }
    krm::Result setByte20(uint8_t v) { return krmstyle::setField(byte20, v); }
    krm::Result getByte21(uint8_t* out) const { return krmstyle::getField(byte21, out); }
    krm::Result setByte21(uint8_t v) { return krmstyle::setField(byte21, v); }
    krm::Result getByte40(uint8_t* out) const { return krmstyle::getField(byte40, out); }
    krm::Result setByte40(uint8_t v) { return krmstyle::setField(byte40, v); }
    krm::Result getByte41(uint8_t* out) const { return krmstyle::getField(byte41, out); }
    krm::Result setByte41(uint8_t v) { return krmstyle::setField(byte41, v); }
    krm::Result getByte44(uint8_t* out) const { return krmstyle::getField(byte44, out); }
    krm::Result setByte44(uint8_t v) { return krmstyle::setField(byte44, v); }
    krm::Result getByte45(uint8_t* out) const { return krmstyle::getField(byte45, out); }
    krm::Result setByte45(uint8_t v) { return krmstyle::setField(byte45, v); }
    krm::Result getTailFlag(uint8_t* out) const { return krmstyle::getField(tailFlag, out); }
    krm::Result setTailFlag(uint8_t v) { return krmstyle::setField(tailFlag, v); }
    krm::Result getPairCount(uint8_t* out) const { return krmstyle::getField(pairCount, out); }
    // 0 to 4; more gives 0x80000001.
    krm::Result setPairCount(uint8_t v);

    // Value g (0 to 5) of range r (0 to 2). r of 3 or more gives
    // 0x80000001, g of 6 or more 0x80000002.
    krm::Result getRangeValue(uint8_t range, uint8_t g, uint8_t* out) const;
    krm::Result setRangeValue(uint8_t range, uint8_t g, uint8_t v);
    // Pair i (0 to 3); 4 or more gives 0x80000001. The setter raises
    // `pairCount` to i + 1 when it is lower.
    krm::Result getPair(uint8_t i, uint8_t* a, uint8_t* b) const;
    krm::Result setPair(uint8_t i, uint8_t a, uint8_t b);

    // Resets every field, then takes default table n: tag "Ctb2", channel n,
    // the fields from `name` to `tailWord` and four pairs (`pairCount` 4).
    // n of 16 or more gives 0x80000002.
    krm::Result initDefault(uint8_t n);

    // Whether the tag reads `text` (four characters).
    bool isTag(const char* text) const;

    // Body codec shared by the chunk readers, the writers and the defaults.
    // Reads the fields in body order, the one-range form ("Ctab") or the
    // three-range form ("Ctb2"), then the tail up to the reader's end;
    // a pair cut short ends the tail without failure. Returns 0, or the
    // group whose bytes ran out: 1 `channel` to `byte19`, 2 `byte20`,
    // 3 `byte21`, 4 the range values, 5 `byte40`, 6 `byte41` to `byte45`,
    // 7 the tail flag.
    int decodeBody(krm::ByteReader& body, bool threeRanges);
    // Writes the body: the one-range form carries range 1 (the middle
    // one); the tail word and pairs follow only when `tailFlag` is nonzero
    // and `pairCount` at least 1. `insert` (n bytes) goes in after
    // `outChannel`, where the audio form of the table keeps its text.
    void encodeBody(std::vector<uint8_t>& out, bool threeRanges, const uint8_t* insert = nullptr,
                    size_t n = 0) const;

private:
    uint8_t tag[4] = {' ', ' ', ' ', ' '};
    uint8_t channel = 0;
    uint8_t name[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    uint8_t outChannel = 0;
    uint8_t byte10 = 0;
    uint8_t mask11[2] = {0, 0};
    uint8_t mask13[5] = {0, 0, 0, 0, 0};
    uint8_t byte18 = 0;
    uint8_t byte19 = 0;
    uint8_t byte20 = 0;
    uint8_t byte21 = 127;
    uint8_t rangeValue[kValues][kRanges] = {};  // value-major: [g][r]
    uint8_t byte40 = 0;
    uint8_t byte41 = 0;
    uint8_t word42[2] = {0, 0};
    uint8_t byte44 = 0;
    uint8_t byte45 = 0;
    uint8_t tailFlag = 0;
    uint8_t tailWord[2] = {0, 0};
    uint8_t pairA[kPairs] = {0, 0, 0, 0};
    uint8_t pairB[kPairs] = {0, 0, 0, 0};
    uint8_t pairCount = 0;
};

class CSection : public SectionNameList<CSection> {
public:
    virtual ~CSection() = default;

    std::vector<std::string> names;  // in "Sdec" order
    std::vector<std::unique_ptr<CCtabData>> ctabs;
    std::vector<std::unique_ptr<CCnttData>> cntts;

    // Take ownership; null gives 0x80000001.
    krm::Result addCtabData(CCtabData* table);
    krm::Result addCnttData(CCnttData* record);
    krm::Result clear();  // tables, records and names
    krm::Result clearCntt();
    krm::Result clearNames();
    krm::Result setNames(const std::vector<std::string>& list);
    // The first table of that channel, or null.
    CCtabData* findCtab(uint8_t channel) const;
    // The one name "Dummy", the 16 default tables and 16 records.
    krm::Result initDefault();
    // Older-form conversions: each record's value becomes value 1 of all
    // three ranges of the first table of its channel (records without a
    // table are passed over) / the records are rebuilt, one per table, from
    // value 1 of the middle range.
    krm::Result sff1PostLoad();
    krm::Result sff1PreSave();

    std::vector<std::string>* nameList() { return &names; }
    const std::vector<std::string>* nameList() const { return &names; }
};

// The image of default channel table n (0 to 15): a complete "Ctb2" chunk
// of 47 body bytes followed by ten zero bytes (tail word and four pairs);
// 65 bytes. Null for n of 16 or more.
const uint8_t* defaultCtabRecord(uint8_t n);
constexpr uint32_t kDefaultCtabRecordBytes = 65;
