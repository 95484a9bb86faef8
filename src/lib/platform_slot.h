#pragma once

#include "device/hid_platform.h"

#include <memory>
#include <mutex>

namespace lib {

// The HID platform every library call goes through: the native one, made
// at the first call, unless a test has put another in its place.
class PlatformSlot {
public:
    // Holds the slot's lock for as long as it lives: one call at a time
    // reaches the platform, whichever thread makes it.
    class Access {
    public:
        explicit Access(PlatformSlot& slot);
        device::HidPlatform& platform() { return *m_platform; }

    private:
        std::lock_guard<std::mutex> m_lock;
        device::HidPlatform* m_platform;
    };

    static PlatformSlot& instance();

private:
    friend void usePlatform(device::HidPlatform* platform);
    std::mutex m_mutex;
    std::unique_ptr<device::HidPlatform> m_native;
    device::HidPlatform* m_override = nullptr;
};

// For tests, which link the library statically: every later call goes to
// platform (not owned; it must outlive those calls), or to the native one
// again with nullptr. Not part of the shared library's exports.
void usePlatform(device::HidPlatform* platform);

}  // namespace lib
