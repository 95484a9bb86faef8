#include "device/listing_freshness.h"

namespace device {

bool ListingFreshness::walkNeeded(Clock::time_point now) {
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

void ListingFreshness::walkEnded(bool listed, bool differs) {
    if (listed && m_listed && m_unasked && differs) sourceLost();
    m_listed = listed;
    m_unasked = false;
}

}  // namespace device
