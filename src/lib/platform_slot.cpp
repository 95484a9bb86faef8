#include "lib/platform_slot.h"

#include "device/native_platform.h"

namespace lib {

PlatformSlot& PlatformSlot::instance() {
    static PlatformSlot slot;
    return slot;
}

PlatformSlot::Access::Access(PlatformSlot& slot) : m_lock(slot.m_mutex) {
    if (slot.m_override) {
        m_platform = slot.m_override;
        return;
    }
    if (!slot.m_native) slot.m_native = device::makeNativePlatform();
    m_platform = slot.m_native.get();
}

void usePlatform(device::HidPlatform* platform) {
    PlatformSlot& slot = PlatformSlot::instance();
    const std::lock_guard<std::mutex> lock(slot.m_mutex);
    slot.m_override = platform;
}

}  // namespace lib
