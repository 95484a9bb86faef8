#pragma once

#include <cstddef>
#include <string>

namespace window {
class frmMain;
}

namespace testsupport {

// A report may reach a unit only from a settled window: a unit is
// connected, its settings are loaded and no refresh is running.
bool windowSettled(const window::frmMain& form);

// The rules the window keeps between any two events, given the handles and
// events open on its devices: it holds every open handle, the unit's
// handles are open exactly while a unit is connected, and at most one read
// event exists. Names the first rule broken; empty when all hold.
std::string brokenWindowRule(const window::frmMain& form, std::size_t openHandles, std::size_t openEvents);

}  // namespace testsupport
