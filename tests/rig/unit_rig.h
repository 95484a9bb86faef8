#pragma once

#include "device/hid_platform.h"
#include "device/sim/sim_platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rig {

using RigError = std::optional<std::string>;

// Where a scenario's devices live: in memory over the simulated platform,
// or as virtual USB devices under a real kernel, reached through the
// native HID backend. Devices are numbered from 0 in the order they were
// plugged; the runner finds them by serial.
class UnitRig {
public:
    virtual ~UnitRig() = default;

    // The HID services the window runs over.
    virtual device::HidPlatform& platform() = 0;
    // Each returns why it could not be done, or nothing.
    virtual RigError plug(const device::sim::DeviceConfig& config) = 0;
    virtual RigError unplug(std::size_t device) = 0;
    virtual RigError replug(std::size_t device) = 0;
    virtual RigError setFailing(std::size_t device, device::sim::Operation op, bool failing) = 0;
    // The feature reports the device received since the last call, report ID byte first.
    virtual RigError takeReports(std::size_t device, std::vector<std::vector<std::uint8_t>>& reports) = 0;
    // For each device in plug order, whether it was woken since the last
    // call: opened itself on the simulated platform, asked for interrupt-IN
    // transfers on the live stack (which only an open of its node starts).
    virtual RigError takeWoken(std::vector<bool>& woken) = 0;
    // Handles and events open in the process on the rig's devices.
    virtual std::size_t openHandles() = 0;
    virtual std::size_t openEvents() = 0;
    // Runs before a timer expiry; a real device needs the interval to pass.
    virtual void beforeTick(std::uint32_t intervalMs) = 0;
    // A real device cannot be told to fail a single call.
    virtual bool canFailCalls() const = 0;

    // Runs before every feature report the window sends.
    std::function<void()> beforeSetFeature;
};

std::unique_ptr<UnitRig> makeSimRig();

// The virtual units' control socket, as the live test stack runs it; the
// window runs over the native backend. Nothing when this build has no
// live rig, or the socket cannot be reached; the reason goes to error.
// unsettled says that the platform's list never came to show the kernel's
// devices after the reset that starts each scenario, before anything played.
// What the rig measures as it plays (waits, ticks, transfers) goes to notes.
std::unique_ptr<UnitRig> makeLiveRig(const std::string& socketPath, std::ostream& notes, std::string& error,
                                     bool& unsettled);
// Builds the native platform once and lets it go, so that what a process
// pays once (under Wine, its first window starts the desktop) falls on no
// scenario's budget.
void warmLivePlatform();

}  // namespace rig
