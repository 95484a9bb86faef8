#pragma once

#include "device/hid_platform.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace rig {

// vandrelctl against the same units, as a second program beside the window
// would run: its standard output, then each line of its standard error
// after "stderr: ", then "exit N". Paths differ from one platform to the
// next, so each is printed as the order in which this run first named it.
void runCtl(device::HidPlatform& platform, const std::vector<std::string>& words, std::ostream& out);

}  // namespace rig
