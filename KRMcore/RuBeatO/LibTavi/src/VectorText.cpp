#include "VectorText.h"

#include <boost/numeric/ublas/io.hpp>
#include <boost/numeric/ublas/vector.hpp>

#include <algorithm>

namespace tavi {

namespace ublas = boost::numeric::ublas;

namespace {

// Peeks at the "[n]" head without consuming it, so the uBLAS reader never
// allocates a count taken unchecked from the text.
bool countWithin(std::istream& in, std::size_t maxCount)
{
    const std::istream::pos_type start = in.tellg();
    if (start == std::istream::pos_type(-1))
        return false;
    char open = 0;
    long long count = -1;
    char close = 0;
    in >> open >> count >> close;
    const bool ok =
        in && open == '[' && close == ']' && count >= 0 && static_cast<unsigned long long>(count) <= maxCount;
    in.clear();
    in.seekg(start);
    return ok && in.good();
}

}  // namespace

void readVectorText(std::istream& in, std::vector<double>& out, std::size_t maxCount)
{
    if (!in.good())
        return;
    if (!countWithin(in, maxCount)) {
        in.setstate(std::ios_base::failbit);
        return;
    }
    ublas::vector<double> v;
    in >> v;
    if (in.fail())
        return;
    out.assign(v.begin(), v.end());
}

void writeVectorText(std::ostream& out, const std::vector<double>& values)
{
    ublas::vector<double> v(values.size());
    std::copy(values.begin(), values.end(), v.begin());
    out << v;
}

}  // namespace tavi
