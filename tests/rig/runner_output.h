#pragma once

#include "device/hid_platform.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace window {
class frmMain;
}

namespace rig {

// Every control of the window with what a person sees of it, a line each,
// then the three flags and the factory calibration.
void dumpControls(const window::frmMain& form, std::ostream& out);

// vandrelctl against the same units, as a second program beside the window
// would run: its standard output, then each line of its standard error
// after "stderr: ", then "exit N". Paths differ from one platform to the
// next, so each is printed as the order in which this run first named it.
void runCtl(device::HidPlatform& platform, const std::vector<std::string>& words, std::ostream& out);

}  // namespace rig
