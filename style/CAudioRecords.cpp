#include "CAudioRecords.h"

#include <algorithm>
#include <cstring>
#include <new>

using krm::fail;
using krm::nest;
using krm::nestOnFail;
using krm::Result;

// ---------------------------------------------------------------- CAtabData

Result CAtabData::setDefaults()
{
    static_cast<CCtabData&>(*this) = CCtabData();
    std::memset(text50, 0, sizeof text50);
    setTag("Atab", 4);
    for (uint8_t r = 0; r < kRanges; ++r)
        setRangeValue(r, 4, 127);
    return krm::kOk;
}

Result CAtabData::initDefault(uint8_t n)
{
    if (Result r = setDefaults())
        return nest(r, 1);
    if (n >= kDefaultTableCount)
        return fail(2);
    static const uint8_t kMask11[2] = {0x0F, 0xFF};
    static const uint8_t kMask13[5] = {0x07, 0xFF, 0xFF, 0xFF, 0xFF};
    setChannel(n);
    setOutChannel(0x29);
    setByte10(1);
    setMask11(kMask11, sizeof kMask11);
    setMask13(kMask13, sizeof kMask13);
    return krm::kOk;
}

// ---------------------------------------------------------------- CAMixData

Result CAMixData::resetTrack()
{
    track.reset();
    CTrk* fresh = new (std::nothrow) CTrk;
    if (!fresh)
        return fail(3);
    track.reset(fresh);
    return nestOnFail(track->reset(), 2);
}

Result CAMixData::setController(uint8_t number, uint8_t value)
{
    if (!track)
        return fail(2);
    const uint8_t bytes[4] = {number, value, 0, 0};
    for (const auto& e : track->events) {
        uint8_t status = 0, current[4];
        if (e->getStatus(&status))
            return fail(3);
        if (status != kStatusController)
            continue;
        if (e->getBytes(current))
            return fail(4);
        if (current[0] == number)
            return e->setBytes(bytes) ? fail(5) : krm::kOk;
    }
    std::unique_ptr<CEvnt> e(new (std::nothrow) CEvnt);
    if (!e)
        return fail(8);
    if (e->setStatus(kStatusController))
        return fail(6);
    if (e->setBytes(bytes))
        return fail(7);
    track->addEvent(std::move(e));
    return krm::kOk;
}

Result CAMixData::setVolume(uint8_t value)
{
    return nestOnFail(setController(7, value), 1);
}

Result CAMixData::setPan(uint8_t value)
{
    return nestOnFail(setController(10, value), 1);
}

Result CAMixData::setReverb(uint8_t value)
{
    return nestOnFail(setController(91, value), 1);
}

Result CAMixData::setTimeSignature(const uint8_t* data, uint32_t size)
{
    if (!data || size < 4)
        return fail(1);
    if (!track)
        return fail(2);
    for (const auto& e : track->events) {
        uint32_t n = 0;
        if (e->getDataLength(&n))
            return fail(3);
        if (e->isMeta(kMetaTimeSignature) && n == size)
            return e->setData(data, size) ? fail(4) : krm::kOk;
    }
    std::unique_ptr<CEvnt> e = makeDataEvent(kStatusMeta, kMetaTimeSignature, 0, data, size);
    if (!e)
        return fail(0xA);
    track->addEvent(std::move(e));
    return krm::kOk;
}

Result CAMixData::ensureEndOfTrack()
{
    if (!track)
        return fail(1);
    for (const auto& e : track->events)
        if (e->isMeta(kMetaEndOfTrack))
            return krm::kOk;
    std::unique_ptr<CEvnt> e = makeDataEvent(kStatusMeta, kMetaEndOfTrack, 0, nullptr, 0);
    if (!e)
        return fail(6);
    track->addEvent(std::move(e));
    return krm::kOk;
}
