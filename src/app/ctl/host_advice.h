#pragma once

#include <string>
#include <vector>

namespace app {

// What on this system may keep a user from opening a unit's node, and the
// command that fixes it.
std::string openAdvice();

// The program over the native backend; args are the words after its name
// in UTF-8. Returns the exit status.
int runVandrelctl(const std::vector<std::string>& args);

}  // namespace app
