#pragma once
// The largest single allocation made through operator new on this thread
// while a probe lives: enough to show that a reader sizes its buffers by the
// data it finds, not by a count its input announces.
#include <cstddef>

namespace allocprobe {

class LargestAllocation {
public:
    LargestAllocation();
    ~LargestAllocation();
    LargestAllocation(const LargestAllocation&) = delete;
    LargestAllocation& operator=(const LargestAllocation&) = delete;
    size_t bytes() const;
};

}  // namespace allocprobe
