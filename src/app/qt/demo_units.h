#pragma once

#include "device/sim/sim_platform.h"

#include <array>

namespace demo {

struct DemoUnit {
    device::sim::DeviceId id = 0;
    const char16_t* serial = u"";
};

// Plugs the demo's devices into the platform: another HID device that is
// never a unit, then two units with different serials and factory
// calibrations. The scan connects the last of them.
std::array<DemoUnit, 2> plugDemoUnits(device::sim::SimPlatform& platform);

}  // namespace demo
