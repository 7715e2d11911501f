#pragma once
// The name-list operations shared by everything that names style sections
// (a style section, an audio section, an audio file): names are the long
// names of style section ids 0 to 19, kept in order.
//
// An owner derives from SectionNameList<Owner> and provides
// `nameList()` / `nameList() const`, returning its list or null when it
// has none (every operation then fails with 0x80000001, has-no-names is
// true and the count 0).
#include "ResultCode.h"
#include "SectionNames.h"

#include <cstdint>
#include <string>
#include <vector>

// Appends the names separated by ","; a comma goes before a name only once
// something has been written, so leading empty names leave no trace.
krm::Result joinNamesWithCommas(const std::vector<std::string>& names, std::vector<uint8_t>& out);

// The items of a comma-separated text, empty ones dropped. A null or empty
// text gives 0x80000001 and an empty list.
krm::Result splitNamesAtCommas(const char* text, size_t length, std::vector<std::string>& out);

// Whether a name of the list maps to the style section id
// (sectionIndexFromName); the index of the first such name in *at.
bool namesHoldSectionId(const std::vector<std::string>& names, int id, size_t* at = nullptr);

template <typename Owner> class SectionNameList {
public:
    krm::Result getNames(std::vector<std::string>& out) const
    {
        const std::vector<std::string>* list = owner().nameList();
        if (!list)
            return krm::fail(1);
        out = *list;
        return krm::kOk;
    }
    uint32_t getNameCount() const
    {
        const std::vector<std::string>* list = owner().nameList();
        return list ? static_cast<uint32_t>(list->size()) : 0;
    }
    bool hasNoNames() const { return getNameCount() == 0; }
    bool holdsSectionId(int id) const
    {
        const std::vector<std::string>* list = owner().nameList();
        return list && namesHoldSectionId(*list, id);
    }

    // Appends the long name of the id (the list is joined and split again,
    // so empty names drop out).
    krm::Result addSectionName(int id)
    {
        std::vector<std::string>* list = owner().nameList();
        if (!list)
            return krm::fail(1);
        std::vector<uint8_t> joined;
        joinNamesWithCommas(*list, joined);
        joined.push_back(',');
        const std::string name = sectionNameFromIndex(id);
        joined.insert(joined.end(), name.begin(), name.end());
        std::vector<std::string> split;
        splitNamesAtCommas(reinterpret_cast<const char*>(joined.data()), joined.size(), split);
        *list = std::move(split);
        return krm::kOk;
    }
    // Removes the first name equal to the id's long name; nothing happens
    // for a negative id or a name not in the list.
    krm::Result removeSectionName(int id)
    {
        std::vector<std::string>* list = owner().nameList();
        if (!list)
            return krm::fail(1);
        if (id < 0)
            return krm::kOk;
        const std::string name = sectionNameFromIndex(id);
        for (auto it = list->begin(); it != list->end(); ++it) {
            if (*it == name) {
                list->erase(it);
                break;
            }
        }
        return krm::kOk;
    }
    // Replaces the list by the items of a comma-separated text.
    krm::Result setNamesFromText(const char* text, size_t length)
    {
        std::vector<std::string>* list = owner().nameList();
        if (!list)
            return krm::fail(1);
        return splitNamesAtCommas(text, length, *list);
    }
    krm::Result joinNames(std::vector<uint8_t>& out) const
    {
        const std::vector<std::string>* list = owner().nameList();
        if (!list)
            return krm::fail(1);
        return joinNamesWithCommas(*list, out);
    }

private:
    const Owner& owner() const { return static_cast<const Owner&>(*this); }
    Owner& owner() { return static_cast<Owner&>(*this); }
};
