// The wave-info text reader: strict about the order of the keys, lenient
// about what follows the values on a line.
#include "CAudioInfo.h"

#include <QString>

#include <cstring>
#include <functional>
#include <new>

using krm::fail;
using krm::nest;
using krm::nestOnFail;
using krm::Result;

namespace {

enum WaveInfoKey : uint8_t {
    kKeyFormatTag,
    kKeyOriginalTempo,
    kKeyTimeSignature,
    kKeyPpq,
    kKeySampleSize,
    kKeyNumberOfBars,
    kKeySyncroPoint,
    kKeyBeatPoint,
    kKeyOnsetPoint,
    kKeyAttackPoint,
    kKeyTempoInfo,
    kKeyVolume,
    kKeyNone = 255,
};

const char* const kKeys[] = {
    "$SFormatTag$",  "$OriginalTempo$", "$OriginalTimeSignature$",
    "$PPQ$",         "$SampleSize$",    "$NumberOfBars$",
    "$SyncroPoint$", "$BeatPoint$",     "$OnsetPoint$",
    "$AttackPoint$", "$TempoInfo$",     "$Volume$",
};

constexpr uint8_t kVolumeAfterReset = 80;
constexpr uint8_t kPanDefault = 64;

// The bounds of the field at *pos: after its "," up to the next "," (or the
// end of the text, then `ended`). The cursor is left on that next ",".
Result fieldBounds(const uint8_t* text, uint32_t length, uint32_t* pos, uint32_t* begin, uint32_t* end,
                   bool* ended)
{
    if (!text || !pos)
        return fail(1);
    if (*pos >= length)
        return fail(2);
    if (text[*pos] != ',')
        return fail(3);
    *begin = *pos + 1;
    uint32_t i = *begin;
    while (i < length && text[i] != ',')
        ++i;
    *end = i;
    *ended = i >= length;
    *pos = i;
    return krm::kOk;
}

Result convertField(const uint8_t* text, uint32_t begin, uint32_t end, int base, uint32_t* value)
{
    bool ok = false;
    const unsigned long v =
        QString::fromLatin1(reinterpret_cast<const char*>(text) + begin, int(end - begin)).toULong(&ok, base);
    if (!ok)
        return fail(4);
    *value = static_cast<uint32_t>(v);  // cut to the low bits
    return krm::kOk;
}

void tempoBytes(uint32_t v, uint8_t out[3])
{
    out[0] = static_cast<uint8_t>(v >> 16);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v);
}

}  // namespace

// ---------------------------------------------------------------- text readers

Result CAudioInfo::lookupWaveInfoKeyword(const uint8_t* text, uint32_t length, uint32_t* pos, uint8_t* id)
{
    if (id)
        *id = kKeyNone;
    if (!text || !pos || !id)
        return fail(1);
    if (*pos >= length)
        return fail(2);
    if (text[*pos] != '$')
        return fail(3);
    const uint32_t begin = *pos;
    uint32_t i = begin + 1;
    while (i < length && text[i] != '$')
        ++i;
    if (i >= length) {
        *pos = length;
        return krm::kOk;
    }
    const uint32_t keyLength = i + 1 - begin;
    for (uint8_t k = 0; k < sizeof kKeys / sizeof kKeys[0]; ++k) {
        if (std::strlen(kKeys[k]) == keyLength && std::memcmp(text + begin, kKeys[k], keyLength) == 0) {
            *id = k;
            break;
        }
    }
    *pos = i + 1;
    return krm::kOk;
}

namespace {

// A decimal field, or with `hex` a hexadecimal one after "0x" (0 without
// the prefix).
Result readField(const uint8_t* text, uint32_t length, uint32_t* pos, uint32_t* value, bool hex)
{
    if (value)
        *value = 0;
    if (!value)
        return fail(1);
    uint32_t begin = 0, end = 0;
    bool ended = false;
    if (Result r = fieldBounds(text, length, pos, &begin, &end, &ended))
        return r;
    if (ended || begin == end)
        return krm::kOk;
    if (!hex)
        return convertField(text, begin, end, 10, value);
    if (end - begin < 3 || text[begin] != '0' || text[begin + 1] != 'x')
        return krm::kOk;
    return convertField(text, begin + 2, end, 16, value);
}

}  // namespace

Result CAudioInfo::readCsvField(const uint8_t* text, uint32_t length, uint32_t* pos, uint32_t* value)
{
    return readField(text, length, pos, value, false);
}

Result CAudioInfo::readHexCsvField(const uint8_t* text, uint32_t length, uint32_t* pos, uint32_t* value)
{
    return readField(text, length, pos, value, true);
}

Result CAudioInfo::skipLineEnd(const uint8_t* text, uint32_t length, uint32_t* pos)
{
    if (!text || !pos)
        return fail(1);
    if (*pos >= length)
        return fail(2);
    while (*pos < length && text[*pos] != '\n')
        ++*pos;
    if (*pos < length)
        ++*pos;
    return krm::kOk;
}

// ---------------------------------------------------------------- key parsers

namespace {

struct TextCursor {
    const uint8_t* text;
    uint32_t length;
    uint32_t pos;
};

// The key at the cursor, which must be `key`, then `n` fields: steps 3 key,
// 4 another key, 5 a field.
Result readKeyAndFields(TextCursor& c, uint8_t key, uint32_t* values, int n, bool hex = false)
{
    uint8_t id = kKeyNone;
    if (Result r = CAudioInfo::lookupWaveInfoKeyword(c.text, c.length, &c.pos, &id))
        return nest(r, 3);
    if (id != key)
        return fail(4);
    for (int i = 0; i < n; ++i) {
        Result r = hex ? CAudioInfo::readHexCsvField(c.text, c.length, &c.pos, &values[i])
                       : CAudioInfo::readCsvField(c.text, c.length, &c.pos, &values[i]);
        if (r)
            return nest(r, 5);
    }
    return krm::kOk;
}

Result lineEnd(TextCursor& c, uint32_t step)
{
    return nestOnFail(CAudioInfo::skipLineEnd(c.text, c.length, &c.pos), step);
}

// A key with `n` fields (at most 4) whose values `store` puts into the
// model (its failures already carry their steps, from 6); then the line
// end, failing as `lineStep`. Without its target a key gives 0x80000002
// before anything is read.
template <typename Store>
Result parseScalar(TextCursor& c, bool haveTarget, uint8_t key, int n, bool hex, uint32_t lineStep,
                   Store&& store)
{
    if (!haveTarget)
        return fail(2);
    uint32_t v[4] = {0, 0, 0, 0};
    if (Result r = readKeyAndFields(c, key, v, n, hex))
        return r;
    if (Result r = store(v))
        return r;
    return lineEnd(c, lineStep);
}

Result storeOriginalTempo(CAudioStyleWaveFormat* sf, uint32_t v)
{
    uint8_t tempo[3];
    tempoBytes(v, tempo);
    static const uint8_t kShortest[3] = {0x01, 0xD4, 0xC0};  // 120000 us: 500 bpm
    static const uint8_t kLongest[3] = {0xB7, 0x1B, 0x00};   // 12000000 us: 5 bpm
    if (Result r = sf->setSourceTempo(tempo, 3))
        return nest(r, 6);
    if (Result r = sf->setShortestQuarter(kShortest, 3))
        return nest(r, 7);
    return nestOnFail(sf->setLongestQuarter(kLongest, 3), 8);
}

Result storeTimeSignature(CAMixData* mixer, CAudioStyleWaveFormat* sf, const uint32_t* v)
{
    const uint8_t bytes[4] = {uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])};
    if (Result r = mixer->setTimeSignature(bytes, 4))
        return nest(r, 6);
    return nestOnFail(sf->setTimeSignature(bytes, 4), 7);
}

// Stores field `i` (0-based) of a record line.
Result storeField(CAudioPoint& p, int i, uint32_t v)
{
    return i == 0 ? p.setPosition(v) : i == 1 ? p.setValue1(uint16_t(v)) : p.setValue2(uint16_t(v));
}

Result storeField(CSyncroPoint& p, int i, uint32_t v)
{
    return i == 0 ? p.setPosition(v) : i == 1 ? p.setIndex(uint16_t(v)) : p.setFlagsAndOffset(v);
}

Result storeField(CAudioTempo& t, int i, uint32_t v)
{
    if (i == 0)
        return t.setPosition(v);
    uint8_t tempo[3];
    tempoBytes(v, tempo);
    return t.setTempo(tempo, 3);
}

// `count` record lines of `fields` fields: optional tabs, the fields, the
// line end. Steps: allocation `allocStep`; field i read 4 + 2i, stored
// 5 + 2i; line end 4 + 2 x fields. A record that fails is deleted; those
// before it stay. The count comes from the text: nothing is reserved for
// it, and every record consumes text, so a large count ends at the text's
// end.
template <typename Record>
Result readRecords(TextCursor& c, uint32_t count, std::vector<std::unique_ptr<Record>>& list, int fields,
                   uint32_t allocStep)
{
    list.clear();
    for (uint32_t k = 0; k < count; ++k) {
        std::unique_ptr<Record> rec(new (std::nothrow) Record);
        if (!rec)
            return fail(allocStep);
        while (c.pos < c.length && c.text[c.pos] == '\t')
            ++c.pos;
        for (int i = 0; i < fields; ++i) {
            uint32_t v = 0;
            if (Result r = CAudioInfo::readCsvField(c.text, c.length, &c.pos, &v))
                return nest(r, uint32_t(4 + 2 * i));
            if (Result r = storeField(*rec, i, v))
                return nest(r, uint32_t(5 + 2 * i));
        }
        if (Result r = lineEnd(c, uint32_t(4 + 2 * fields)))
            return r;
        list.push_back(std::move(rec));
    }
    return krm::kOk;
}

// A list key: steps 3 key, 4 another key, 5 the count, 6 its line end,
// 7 emptying the list, 8 the records.
template <typename Record>
Result parseList(TextCursor& c, uint8_t key, std::vector<std::unique_ptr<Record>>* list, int fields,
                 uint32_t allocStep)
{
    if (!list)
        return fail(2);
    uint32_t count = 0;
    if (Result r = readKeyAndFields(c, key, &count, 1))
        return r;
    if (Result r = lineEnd(c, 6))
        return r;
    list->clear();
    return nestOnFail(readRecords(c, count, *list, fields, allocStep), 8);
}

// "$Volume$" may be missing: the volume is then 80. Steps: 2 no info,
// 3 key, 4 field, 5 line end.
Result parseVolume(TextCursor& c, CAudioWaveInfo* info)
{
    if (!info)
        return fail(2);
    uint32_t volume = kVolumeAfterReset;
    if (c.pos < c.length) {
        uint8_t id = kKeyNone;
        if (Result r = CAudioInfo::lookupWaveInfoKeyword(c.text, c.length, &c.pos, &id))
            return nest(r, 3);
        if (id == kKeyVolume) {
            if (Result r = CAudioInfo::readCsvField(c.text, c.length, &c.pos, &volume))
                return nest(r, 4);
            if (Result r = lineEnd(c, 5))
                return r;
        }
    }
    return info->setVolume(static_cast<uint8_t>(volume));
}

// The mixer gets the volume, pan and reverb send, then its end of track.
Result setUpMixer(CAMixData* mixer, uint8_t volume, uint8_t pan, uint8_t reverb)
{
    if (!mixer)
        return fail(1);
    if (Result r = mixer->setVolume(volume))
        return nest(r, 2);
    if (Result r = mixer->setPan(pan))
        return nest(r, 3);
    if (Result r = mixer->setReverb(reverb))
        return nest(r, 4);
    return krm::kOk;
}

}  // namespace

Result CAudioInfo::parseWaveInfo(const uint8_t* text, uint32_t length, CAudioSection* section,
                                 CAudioFile* file, uint8_t* volume, const uint8_t* pan, const uint8_t* reverb)
{
    if (!text || length == 0)
        return fail(1);
    if (!section || !file)
        return fail(2);
    CAudioWaveForm* form = file->getWaveForm();
    CAudioStyleWaveFormat* sf = form ? form->getStyleFormat() : nullptr;
    CAudioWaveInfo* info = form ? form->getInfo() : nullptr;
    CAMixData* mixer = section->getMixer();

    // The keys in their fixed order; the k-th (from 1) fails as step k + 2.
    TextCursor c {text, length, 0};
    const std::function<Result()> keys[] = {
        [&] {
            return parseScalar(c, sf, kKeyFormatTag, 1, true, 7, [&](const uint32_t* v) {
                return nestOnFail(sf->setFormatTag(uint16_t(v[0])), 6);
            });
        },
        [&] {
            return parseScalar(c, sf, kKeyOriginalTempo, 1, false, 9,
                               [&](const uint32_t* v) { return storeOriginalTempo(sf, v[0]); });
        },
        [&] {
            return parseScalar(c, mixer && sf, kKeyTimeSignature, 4, false, 9,
                               [&](const uint32_t* v) { return storeTimeSignature(mixer, sf, v); });
        },
        [&] {
            return parseScalar(c, true, kKeyPpq, 1, false, 9, [&](const uint32_t* v) {
                return nestOnFail(section->setPpq(uint16_t(v[0])), 6);
            });
        },
        [&] {
            return parseScalar(c, sf, kKeySampleSize, 1, false, 8, [&](const uint32_t* v) {
                if (Result r = sf->setSampleSize(v[0]))
                    return nest(r, 6);
                return nestOnFail(sf->setSampleSize2(v[0]), 7);
            });
        },
        [&] {
            return parseScalar(c, sf, kKeyNumberOfBars, 1, false, 7, [&](const uint32_t* v) {
                return nestOnFail(sf->setNumberOfBars(uint16_t(v[0])), 6);
            });
        },
        [&] { return parseList(c, kKeySyncroPoint, sf ? &sf->syncroPoints : nullptr, 3, 0xB); },
        [&] { return parseList(c, kKeyBeatPoint, info ? &info->beatPoints : nullptr, 3, 0xB); },
        [&] { return parseList(c, kKeyOnsetPoint, info ? &info->onsetPoints : nullptr, 3, 0xB); },
        [&] { return parseList(c, kKeyAttackPoint, info ? &info->attackPoints : nullptr, 3, 0xB); },
        [&] { return parseList(c, kKeyTempoInfo, info ? &info->tempoList : nullptr, 2, 9); },
        [&] { return parseVolume(c, info); },
    };
    for (size_t k = 0; k < sizeof keys / sizeof keys[0]; ++k)
        if (Result r = keys[k]())
            return nest(r, uint32_t(k + 3));

    uint8_t v = kVolumeAfterReset;
    info->getVolume(&v);
    if (volume)
        *volume = v;
    // A caller without pan or reverb send gets the project's defaults.
    if (Result r = setUpMixer(mixer, v, pan ? *pan : kPanDefault, reverb ? *reverb : 0))
        return nest(r, 0xF);
    return nestOnFail(mixer->ensureEndOfTrack(), 0xF);
}
