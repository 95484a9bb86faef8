#include "device/listing_freshness.h"

namespace device {

bool ListingFreshness::walkNeeded(Clock::time_point now) {
    // The notice is cleared before the walk reads the system, so a change
    // during the walk is left pending for the next one.
    const bool changed = m_changed.exchange(false, std::memory_order_acq_rel);
    if (!announced() || !m_listed || changed) {
        m_unasked = false;
        m_lastWalk = now;
        return true;
    }
    if (now - m_lastWalk < kCheckEvery) return false;
    m_unasked = true;
    m_lastWalk = now;
    return true;
}

void ListingFreshness::walkEnded(bool listed, bool differs) {
    if (listed && m_listed && m_unasked && differs) sourceLost();
    m_listed = listed;
    m_unasked = false;
}

}  // namespace device
