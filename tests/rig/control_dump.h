#pragma once

#include <iosfwd>

namespace window {
class frmMain;
}

namespace rig {

// Every control of the window with what a person sees of it, a line each,
// then the three flags and the factory calibration.
void dumpControls(const window::frmMain& form, std::ostream& out);

}  // namespace rig
