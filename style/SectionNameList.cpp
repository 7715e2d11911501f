#include "SectionNameList.h"

krm::Result joinNamesWithCommas(const std::vector<std::string>& names, std::vector<uint8_t>& out)
{
    bool written = false;
    for (const std::string& name : names) {
        if (written)
            out.push_back(',');
        out.insert(out.end(), name.begin(), name.end());
        written = written || !name.empty();
    }
    return krm::kOk;
}

krm::Result splitNamesAtCommas(const char* text, size_t length, std::vector<std::string>& out)
{
    out.clear();
    if (!text || length == 0)
        return krm::fail(1);
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i == length || text[i] == ',') {
            if (i > start)
                out.emplace_back(text + start, text + i);
            start = i + 1;
        }
    }
    return krm::kOk;
}

bool namesHoldSectionId(const std::vector<std::string>& names, int id, size_t* at)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (sectionIndexFromName(names[i].c_str()) == id) {
            if (at)
                *at = i;
            return true;
        }
    }
    return false;
}
