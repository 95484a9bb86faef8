// vandrelctl: the units from a shell or a script, over the native HID
// backend. It never starts a window.
#include "app/ctl/host_advice.h"
#include "ctl/program.h"
#include "device/native_platform.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::unique_ptr<device::HidPlatform> platform = device::makeNativePlatform();
    ctl::Host host;
    host.openAdvice = app::openAdvice;
    host.version = VANDREL_VERSION;
    const int status = ctl::run(*platform, args, std::cout, std::cerr, host);
    std::cout.flush();
    return std::cout ? status : 1;
}
