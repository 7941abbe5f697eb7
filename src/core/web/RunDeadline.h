#pragma once

// The one deadline of a retrieval run. Every request of the run (the primary one, the
// companion, the repeat after a sign-in) counts against the same budget, so a server
// that answers slowly cannot hold a run for a multiple of it. The time the user spends
// in the sign-in dialog is not the service's and does not count: the run pauses the
// deadline while the dialog is up. Pauses nest, so requests made side by side can
// share one deadline.

#include <chrono>

namespace tervane {

class RunDeadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit RunDeadline(std::chrono::milliseconds budget) : m_budget(budget), m_running(Clock::now()) {}

    // The whole budget, as the time-out message names it.
    std::chrono::milliseconds Budget() const { return m_budget; }

    // What is left of the budget, never below zero; it stands still while paused.
    std::chrono::milliseconds Remaining() const
    {
        Clock::duration spent = m_spent;
        if (m_pauses == 0)
            spent += Clock::now() - m_running;
        const auto left = m_budget - std::chrono::ceil<std::chrono::milliseconds>(spent);
        return left > std::chrono::milliseconds::zero() ? left : std::chrono::milliseconds::zero();
    }

    void Pause()
    {
        if (m_pauses++ == 0)
            m_spent += Clock::now() - m_running;
    }
    void Resume()
    {
        if (m_pauses > 0 && --m_pauses == 0)
            m_running = Clock::now();
    }

private:
    std::chrono::milliseconds m_budget;
    Clock::duration m_spent{};
    Clock::time_point m_running; // when the clock last started
    int m_pauses = 0;
};

} // namespace tervane
