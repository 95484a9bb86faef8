#pragma once

#include "device/hid_platform.h"

#include <functional>
#include <iosfwd>
#include <span>
#include <string>

namespace ctl {

// What the program needs from its host besides the HID services.
struct Host {
    // What else may keep this user from opening a device node, and how to
    // fix it; empty when the host knows nothing more than the system's reason.
    std::function<std::string()> openAdvice;
    // How a device path is printed; as it is when unset.
    std::function<std::string(const std::string&)> showPath;
    std::string version;
};

// vandrelctl over any HID platform: args are the words after the program's
// name. Results go to out, messages (each prefixed "vandrelctl: ") to err.
// Returns the exit status: 0 success, 1 a unit could not be read or
// written, 2 bad usage or value (nothing was sent), 3 no unit matched.
int run(device::HidPlatform& platform, std::span<const std::string> args, std::ostream& out, std::ostream& err,
        const Host& host);

}  // namespace ctl
