#pragma once
// The windows' update guard: set while a window changes its own controls,
// so the slots that follow a control's value stay quiet. Nested changes
// keep an outer guard: the guard goes back to what it was, not to false.
class UpdateGuard {
public:
    explicit UpdateGuard(bool& guard) : m_guard(guard), m_saved(guard) { m_guard = true; }
    ~UpdateGuard() { m_guard = m_saved; }
    UpdateGuard(const UpdateGuard&) = delete;
    UpdateGuard& operator=(const UpdateGuard&) = delete;

private:
    bool& m_guard;
    bool m_saved;
};
