#pragma once
// Records every report of a chord recogniser, in order, for the recogniser
// tests.
#include "ITavi.h"
#include "Signals.h"

#include <cstdint>
#include <vector>

namespace taviTest {

struct Event {
    int entry;              // callback entry 0..6
    std::vector<int> ints;  // its integer arguments, in order
};

struct TaviRecorder {
    std::vector<Event> events;

    // Installs all seven entries with this recorder as user pointer.
    void attach(tavi::ITavi& t)
    {
        t.chordCallback = [](int b, int r, int y, int bass, int res, double, void* u) {
            self(u).add(0, {b, r, y, bass, res});
        };
        t.barCallback = [](int b, int bar, int n, int d, double, void* u) { self(u).add(1, {b, bar, n, d}); };
        t.beatPositionCallback = [](int pos, int b, void* u) { self(u).add(2, {pos, b}); };
        t.beatCallback = [](int b, int b2, double, void* u) { self(u).add(3, {b, b2}); };
        t.keyCallback = [](int b, int k, int m, double, void* u) { self(u).add(4, {b, k, m}); };
        t.endCallback = [](int z, void* u) { self(u).add(5, {z}); };
        t.beatFeatureCallback = [](int b, const float*, int n, void* u) { self(u).add(6, {b, n}); };
        t.chordUser = t.barUser = t.beatPositionUser = t.beatUser = t.keyUser = t.endUser =
            t.beatFeatureUser = this;
    }

    std::vector<Event> of(int entry) const
    {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.entry == entry)
                out.push_back(e);
        return out;
    }
    int count(int entry) const { return static_cast<int>(of(entry).size()); }
    // Sample positions of the beats (entry 2).
    std::vector<int64_t> beatPositions() const
    {
        std::vector<int64_t> out;
        for (const Event& e : of(2))
            out.push_back(e.ints[0]);
        return out;
    }
    // Sample positions of the beats that start a bar.
    std::vector<int64_t> downbeatPositions() const
    {
        std::vector<int64_t> positions = beatPositions(), out;
        for (const Event& e : of(1))
            if (e.ints[0] >= 0 && e.ints[0] < static_cast<int>(positions.size()))
                out.push_back(positions[static_cast<size_t>(e.ints[0])]);
        return out;
    }

private:
    static TaviRecorder& self(void* u) { return *static_cast<TaviRecorder*>(u); }
    void add(int entry, std::vector<int> ints) { events.push_back(Event {entry, std::move(ints)}); }
};

}  // namespace taviTest
