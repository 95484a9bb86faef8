#include "support/window_rules.h"

#include "window/frm_main.h"

namespace testsupport {

bool windowSettled(const window::frmMain& form) {
    return form.SettingsLoaded && form.connection().DeviceDetected && form.RefreshComplete;
}

std::string brokenWindowRule(const window::frmMain& form, std::size_t openHandles, std::size_t openEvents) {
    const device::Connection& conn = form.connection();
    const std::size_t held = (conn.DeviceHandle != device::kNoHandle) + (conn.ReadHandle != device::kNoHandle);
    if (openHandles != held) return "a handle is open that the window does not hold";
    if (conn.DeviceDetected != (conn.DeviceHandle != device::kNoHandle))
        return "the unit's handle is not open exactly while a unit is connected";
    if (!conn.DeviceDetected && conn.ReadHandle != device::kNoHandle)
        return "a read handle is open while no unit is connected";
    if (openEvents > 1) return "more than one read event exists";
    return {};
}

}  // namespace testsupport
