#pragma once
// Counts the heap memory that one piece of code allocates, through
// replacements of the global operator new and delete. Linking the
// krm_test_alloc library into an executable installs them for the whole
// executable; they count only inside a Scope, and only on its own thread.
// A Scope can also make the n-th allocation fail, to test the paths that
// handle exhausted memory.
#include <cstddef>
#include <cstdint>

namespace testalloc {

class Scope {
public:
    // failAt > 0: the failAt-th allocation inside the scope (1-based)
    // throws std::bad_alloc, and so does every one after it.
    explicit Scope(int64_t failAt = 0);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    int64_t peakBytes() const;  // most bytes live at once, counted from 0
    int64_t liveBytes() const;  // allocated minus released so far
    int64_t allocations() const;
};

}  // namespace testalloc
