#pragma once

#include <string>

namespace app {

// What on this system may keep a user from opening a unit's node, and the
// command that fixes it.
std::string openAdvice();

}  // namespace app
