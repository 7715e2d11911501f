#pragma once
// A chord model: the chord classes of its chord list, the shape of its state
// space (modes, beats per bar, keys, roots) and the decoder that holds its
// densities and transitions.
#include "ITaviHmm.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <utility>
#include <vector>

namespace tavi {

// One chord-list line: the key of a density text (a chord-type number) and
// the chord class it serves.
struct ChordListEntry {
    int pdfId;
    int classIndex;
};

class TaviHmm {
public:
    static constexpr int kRoots = 12;

    // keyAndMeter: two modes, beatsPerBar beats and twelve keys; otherwise
    // one of each. No decoder until one is set.
    TaviHmm(bool keyAndMeter, int beatsPerBar);

    // Splits a flat decoded state into root, class, mode, beat position and
    // key (in that order of outputs), with this model's mode count M:
    // flat = r + 12 (c + C (b + B (m + M k))).
    void decomposeState(int flat, int& root, int& chordClass, int& mode, int& beatPosition, int& key) const;

    const boost::shared_ptr<ITaviHmm>& decoder() const { return m_decoder; }
    void setDecoder(boost::shared_ptr<ITaviHmm> decoder) { m_decoder = std::move(decoder); }

    int beatsPerBar() const { return m_beatsPerBar; }
    int modes() const { return m_modes; }
    int keys() const { return m_keys; }
    int classCount() const { return static_cast<int>(m_chordList.size()); }

    const std::vector<ChordListEntry>& chordList() const { return m_chordList; }
    // Density key (chord-type number) of each class.
    const std::vector<int32_t>& classTable() const { return m_classTable; }
    // Sets the list and the class table together (table[index] = id). The
    // caller has checked that the indices cover 0 .. size - 1.
    void setChordList(const std::vector<ChordListEntry>& entries);

private:
    std::vector<ChordListEntry> m_chordList;
    std::vector<int32_t> m_classTable;
    int m_modes;
    int m_beatsPerBar;
    int m_keys;
    int m_roots = kRoots;
    boost::shared_ptr<ITaviHmm> m_decoder;
};

}  // namespace tavi
