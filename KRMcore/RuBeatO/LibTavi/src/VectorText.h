#pragma once
// The vector text form of the model texts: "[n](v0,v1,...)", the element
// count in square brackets and the values in parentheses, separated by
// commas, as the uBLAS stream operators read and write it.
#include <cstddef>
#include <istream>
#include <ostream>
#include <vector>

namespace tavi {

// Reads one vector of at most maxCount values into out. The count is
// checked before anything is allocated: a count above maxCount, a
// malformed text or a stream that cannot be repositioned sets the stream's
// fail bit and leaves out as it was.
void readVectorText(std::istream& in, std::vector<double>& out, std::size_t maxCount);

// Writes values in the same form with the stream's precision and flags.
void writeVectorText(std::ostream& out, const std::vector<double>& values);

}  // namespace tavi
