// vandrelctl: the units from a shell or a script, over the native HID
// backend. It never starts a window.
#include "app/ctl/host_advice.h"

#include "ctl/program.h"
#include "device/native_platform.h"

#include <iostream>

namespace app {

int runVandrelctl(const std::vector<std::string>& args) {
    // One command walks the interfaces a few times at most, within moments:
    // a watch for changes would cost more than it saves.
    const std::unique_ptr<device::HidPlatform> platform = device::makeNativePlatform(device::ListingUse::Once);
    ctl::Host host;
    host.openAdvice = openAdvice;
    host.version = VANDREL_VERSION;
    const int status = ctl::run(*platform, args, std::cout, std::cerr, host);
    // Output that could not be written is a failure a script must see.
    std::cout.flush();
    return std::cout ? status : 1;
}

}  // namespace app
