#pragma once

#include <atomic>
#include <chrono>

namespace device {

// Whether a backend's kept list of interfaces still shows what the system
// has, when the system says that an interface came or went. Its notices may
// come from another thread; everything else is the listing thread's.
//
// A notice is taken when a walk starts, not when it ends: one that arrives
// while the walk runs may describe a change the walk has already passed, so
// it makes the next walk happen too. Without a source of notices, or once
// the source has failed, every walk happens.
//
// A registered source is not trusted blindly: Wine can accept the
// registration and then fail to deliver anything (its device host cannot
// reach the plug-and-play service). So the list is also walked when it is
// older than kCheckEvery, and a walk that no notice asked for and that finds
// the list changed shows the source silent: from then on every walk happens.
class ListingFreshness {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kCheckEvery = std::chrono::seconds(20);

    // announced: a source of notices was registered before the first walk.
    explicit ListingFreshness(bool announced) : m_announced(announced) {}

    // Any thread: an interface of the class arrived or was removed.
    void interfaceChanged() { m_changed.store(true, std::memory_order_release); }
    // Any thread: notices can no longer be had; walk on every tick from now on.
    void sourceLost() { m_lost.store(true, std::memory_order_release); }

    // True when the list must be walked now rather than kept.
    bool walkNeeded(Clock::time_point now) {
        // The notice is cleared before the walk reads the system, so a change
        // during the walk is left pending for the next one.
        const bool changed = m_changed.exchange(false, std::memory_order_acq_rel);
        // A list that could be kept is still walked once it is kCheckEvery old.
        const bool keepable = announced() && m_listed && !changed;
        if (keepable && now - m_lastWalk < kCheckEvery) return false;
        m_unasked = keepable;
        m_lastWalk = now;
        return true;
    }
    // The walk that walkNeeded asked for: whether it listed anything (a
    // failed one leaves nothing to keep) and whether what it listed differs
    // from the list it replaces.
    void walkEnded(bool listed, bool differs) {
        if (listed && m_listed && m_unasked && differs) sourceLost();
        m_listed = listed;
        m_unasked = false;
    }

    bool announced() const { return m_announced && !m_lost.load(std::memory_order_acquire); }

private:
    const bool m_announced;
    std::atomic<bool> m_changed{false};
    std::atomic<bool> m_lost{false};
    bool m_listed = false;
    bool m_unasked = false;  // the walk under way was asked for by no notice
    Clock::time_point m_lastWalk{};
};

}  // namespace device
