#pragma once
// The beat tracker's argument checks: a failed check throws
// std::domain_error with the text that names the argument.
#include <stdexcept>

namespace RuBeatO {

inline void requireDomain(bool ok, const char* message)
{
    if (!ok)
        throw std::domain_error(message);
}

}  // namespace RuBeatO
