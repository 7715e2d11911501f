#pragma once
// What a model loader needs of a chord decoder: one observation density per
// chord class and transition counts per mode and beat position.
#include <boost/shared_ptr.hpp>

namespace tavi {

class JointHpcpPowPdf;

class ITaviHmm {
public:
    // Stores the density of a chord class; -1 when classIndex is not below
    // the number of classes, std::out_of_range for a negative index.
    virtual int setObservationPdf(int classIndex, boost::shared_ptr<JointHpcpPowPdf> pdf) = 0;
    // Adds a count of transitions from state `from` to state `to` (12 *
    // class + root relative to the key) for the mode (0 major, 1 minor) and
    // the beat position of the target beat. -1 for a count at or below 0 or
    // an argument out of range; 0 when added.
    virtual int addTransition(int mode, int beatPosition, int from, int to, double count) = 0;
    // Forgets the observations; the model stays. Returns 0.
    virtual int clear() = 0;
    virtual ~ITaviHmm() = default;
};

}  // namespace tavi
