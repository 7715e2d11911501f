#include "TaviHmm.h"

#include <stdexcept>
#include <string>

namespace tavi {

TaviHmm::TaviHmm(bool keyAndMeter, int beatsPerBar)
    : m_modes(keyAndMeter ? 2 : 1), m_beatsPerBar(keyAndMeter ? beatsPerBar : 1), m_keys(keyAndMeter ? 12 : 1)
{
    if (m_beatsPerBar < 1)
        throw std::invalid_argument("TaviHmm: " + std::to_string(beatsPerBar) + " beats per bar");
}

void TaviHmm::setChordList(const std::vector<ChordListEntry>& entries)
{
    m_chordList = entries;
    m_classTable.assign(entries.size(), -1);
    for (const ChordListEntry& e : entries)
        m_classTable.at(static_cast<size_t>(e.classIndex)) = e.pdfId;
}

void TaviHmm::decomposeState(int flat, int& root, int& chordClass, int& mode, int& beatPosition,
                             int& key) const
{
    const int C = classCount() > 0 ? classCount() : 1;
    const int layer = m_roots * C;
    key = flat / (m_modes * layer * m_beatsPerBar);
    int rest = flat % (m_modes * layer * m_beatsPerBar);
    mode = rest / (layer * m_beatsPerBar);
    rest %= layer * m_beatsPerBar;
    beatPosition = rest / layer;
    rest %= layer;
    chordClass = rest / m_roots;
    root = rest % m_roots;
}

}  // namespace tavi
