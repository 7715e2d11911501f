#pragma once
#include <string>

// Runs `f` and returns the message of the exception of type E it throws,
// or "" when it throws nothing (any other exception passes through).
template <typename E, typename F> std::string messageOf(F f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}
