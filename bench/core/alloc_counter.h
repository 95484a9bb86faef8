#pragma once

#include "device/hid_platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace bench {

// Heap allocations made through the global operator new since the program
// started. The benchmark program replaces operator new and delete with
// counting versions, so every allocation of the core, the simulated
// platform and the standard library is seen here.
std::uint64_t allocationCount();

// Enumerates, opens, examines and closes every present interface, the least
// a rescan can do. Returns how many could be examined: a platform that
// cannot read its devices would make every walk look cheap.
inline std::int64_t examineAll(device::HidPlatform& platform) {
    const device::SecurityAttributes security{12, true};
    const device::InterfaceList list = platform.getClassDevs();
    std::int64_t examined = 0;
    for (std::uint32_t index = 0;; ++index) {
        const std::optional<std::string> path = platform.interfacePath(list, index);
        if (!path) break;
        const device::Handle handle = platform.open(*path, device::OpenMode::Synchronous, security);
        device::HidAttributes attributes{12};
        examined += platform.getAttributes(handle, attributes) ? 1 : 0;
        platform.close(handle);
    }
    platform.destroyList(list);
    return examined;
}

}  // namespace bench
