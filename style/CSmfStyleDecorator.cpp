#include "CSmfStyle.h"

#include <cstring>
#include <limits>

using krm::fail;
using krm::nest;
using krm::nestOnFail;
using krm::Result;

namespace {

// The names `keepSections` removes, by marker id; null for ids whose
// sections the export never handles.
const char* const kKeepSectionNames[kNoSectionId] = {
    "Main A",     "Fill In AA", nullptr,    "Intro A",    "Ending A", nullptr,      "Main B", "Fill In BB",
    "Fill In BA", "Intro B",    "Ending B", nullptr,      "Main C",   "Fill In CC", nullptr,  "Intro C",
    "Ending C",   nullptr,      "Main D",   "Fill In DD", nullptr,    nullptr,      nullptr,  nullptr,
};

}  // namespace

// ---------------------------------------------------------------- loading and saving

Result CSmfStyleDecorator::load(const std::vector<uint8_t>& bytes)
{
    if (bytes.empty())
        return fail(1);
    if (bytes.size() > std::numeric_limits<uint32_t>::max())
        return nest(fail(1), 2);
    return nestOnFail(loadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())), 2);
}

Result CSmfStyleDecorator::loadBuffer(const uint8_t* data, uint32_t length)
{
    if (Result r = parse(data, length))
        return nest(r, 1);
    if (sections.empty())
        return krm::kOk;
    if (Result r = detectFormat())
        return nest(r, 2);
    if (formatFlag == 1)
        if (Result r = sff1PostLoad())
            return nest(nest(r, 2), 3);
    return krm::kOk;
}

Result CSmfStyleDecorator::save(std::vector<uint8_t>& out)
{
    if (formatFlag == 1)
        if (Result r = sff1PreSave())
            return nest(nest(r, 3), 1);
    return nestOnFail(write(out), 2);
}

Result CSmfStyleDecorator::detectFormat()
{
    if (tracks.empty() || !tracks.front())
        return nest(nest(fail(2), 3), 1);
    uint8_t marker[4] = {0, 0, 0, 0};
    uint32_t n = sizeof marker;
    if (Result r = tracks.front()->findFormatMarker(marker, &n))
        return nest(nest(r, 3), 1);
    if (n == 4 && std::memcmp(marker, "SFF1", 4) == 0) {
        bool cntt = false;
        if (hasCnttData(&cntt))
            return fail(2);
        formatFlag = cntt ? 1 : 0;
        return krm::kOk;
    }
    if (n == 4 && std::memcmp(marker, "SFF2", 4) == 0) {
        formatFlag = 2;
        return krm::kOk;
    }
    return fail(3);
}

Result CSmfStyleDecorator::hasCnttData(bool* out) const
{
    if (!out)
        return fail(1);
    *out = false;
    for (const auto& s : sections)
        if (s && !s->cntts.empty())
            *out = true;
    return krm::kOk;
}

Result CSmfStyleDecorator::sff1PostLoad()
{
    for (const auto& s : sections)
        if (Result r = s->sff1PostLoad())
            return r;
    return krm::kOk;
}

Result CSmfStyleDecorator::sff1PreSave()
{
    for (const auto& s : sections)
        if (Result r = s->sff1PreSave())
            return r;
    return krm::kOk;
}

// ---------------------------------------------------------------- sections

Result CSmfStyleDecorator::keepSections(uint32_t mask)
{
    Result result = krm::kOk;
    for (uint8_t id = 0; id < kNoSectionId; ++id) {
        if (mask & (1u << id))
            continue;
        if (kKeepSectionNames[id])
            removeSectionByName(kKeepSectionNames[id]);
        else
            result = fail(1);
    }
    return result;
}

Result CSmfStyleDecorator::removeSectionByName(const std::string& name)
{
    for (auto it = sections.begin(); it != sections.end(); ++it) {
        std::vector<std::string>& names = (*it)->names;
        for (auto n = names.begin(); n != names.end(); ++n) {
            if (*n != name)
                continue;
            names.erase(n);
            if (names.empty())
                sections.erase(it);
            return krm::kOk;
        }
    }
    return fail(1);
}

// ---------------------------------------------------------------- meta events

Result CSmfStyleDecorator::collectMetaEvents(uint8_t metaType, std::vector<CEvnt*>& out) const
{
    out.clear();
    for (const auto& t : tracks) {
        if (!t)
            continue;
        for (const auto& e : t->events) {
            uint8_t status = 0, type = 0;
            if (e->getStatus(&status))
                return fail(3);
            if (status != kStatusMeta)
                continue;
            if (e->getMetaType(&type))
                return fail(4);
            if (type == metaType)
                out.push_back(e.get());
        }
    }
    return krm::kOk;
}

Result CSmfStyleDecorator::markerSectionId(const CEvnt* event, uint8_t* id)
{
    if (id)
        *id = kNoSectionId;
    if (!event || !id)
        return fail(1);
    uint32_t n = 0;
    if (event->getDataLength(&n))
        return fail(2);
    if (n == 0)
        return nest(fail(2), 4);  // no text: no section
    if (Result r = sectionIdFromName(reinterpret_cast<const char*>(event->dataBytes()), n, id))
        return nest(r, 4);
    return krm::kOk;
}

// ---------------------------------------------------------------- template edits

Result CSmfStyleDecoratorForASFF::setFirstMetaData(uint8_t metaType, uint32_t value, uint32_t bytes)
{
    std::vector<CEvnt*> found;
    if (collectMetaEvents(metaType, found))
        return fail(1);
    if (found.empty())
        return fail(2);
    if (!found.front())
        return fail(3);
    uint8_t data[4];
    for (uint32_t i = 0; i < bytes; ++i)
        data[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
    if (found.front()->setData(data, bytes))
        return fail(4);
    return krm::kOk;
}

Result CSmfStyleDecoratorForASFF::setTempo(uint32_t microsecondsPerQuarter)
{
    return setFirstMetaData(kMetaTempo, microsecondsPerQuarter, 3);
}

Result CSmfStyleDecoratorForASFF::setTimeSignature(uint32_t value)
{
    return setFirstMetaData(kMetaTimeSignature, value, 4);
}

Result CSmfStyleDecoratorForASFF::findSectionMarker(uint8_t id, CTrk** track, CEvnt** marker) const
{
    if (tracks.empty())
        return fail(1);
    for (const auto& t : tracks) {
        if (!t)
            return fail(3);
        for (const auto& e : t->events) {
            if (!e)
                return fail(4);
            if (!e->isMeta(kMetaMarker))
                continue;
            uint8_t markerId = kNoSectionId;
            if (Result r = markerSectionId(e.get(), &markerId)) {
                if (r == nest(fail(2), 4))
                    continue;  // a marker that names no section
                return fail(5);
            }
            if (markerId == id) {
                *track = t.get();
                *marker = e.get();
                return krm::kOk;
            }
        }
    }
    return fail(2);
}

Result CSmfStyleDecoratorForASFF::removeSectionMarker(uint8_t id)
{
    CTrk* track = nullptr;
    CEvnt* marker = nullptr;
    if (Result r = findSectionMarker(id, &track, &marker))
        return r;
    track->events.remove_if([marker](const std::unique_ptr<CEvnt>& e) { return e.get() == marker; });
    return krm::kOk;
}

Result CSmfStyleDecoratorForASFF::moveSectionMarker(uint8_t id, uint32_t tick)
{
    CTrk* track = nullptr;
    CEvnt* marker = nullptr;
    if (Result r = findSectionMarker(id, &track, &marker))
        return r;
    marker->setTime(tick);
    extendEndOfTrack(tick);
    track->sortByTime();
    return krm::kOk;
}

Result CSmfStyleDecoratorForASFF::extendEndOfTrack(uint32_t tick)
{
    return moveEndOfTrack(tick, true);
}

Result CSmfStyleDecoratorForASFF::setEndOfTrackTime(uint32_t tick)
{
    return moveEndOfTrack(tick, false);
}

Result CSmfStyleDecoratorForASFF::moveEndOfTrack(uint32_t tick, bool onlyLater)
{
    if (tracks.empty())
        return fail(1);
    for (const auto& t : tracks) {
        if (!t)
            return fail(3);
        CEvnt* last = t->lastEvent();
        if (!last || !last->isMeta(kMetaEndOfTrack))
            continue;
        uint32_t time = 0;
        if (last->getTime(&time))
            return fail(5);
        if (!onlyLater || time < tick) {
            last->setTime(tick);
            return krm::kOk;
        }
    }
    return fail(2);
}
