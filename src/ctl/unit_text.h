#pragma once

#include "ctl/survey.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ctl {

inline constexpr int kOk = 0;
inline constexpr int kUnitFailed = 1;  // a unit could not be read or written
inline constexpr int kBadUsage = 2;    // bad usage or value: nothing was sent
inline constexpr int kNoUnit = 3;

// How a device path is printed; as it is when unset.
using ShowPath = std::function<std::string(const std::string&)>;
std::string shownPath(const ShowPath& show, const std::string& path);

// Device strings may hold any byte a HID string can carry; on a terminal
// the control characters among them become \xNN.
std::string printable(std::string_view text);

// The version as the window's label shows it, without its leading blank.
std::string versionOf(const InterfaceFacts& unit);

// A listed unit as messages name it.
std::string unitName(const InterfaceFacts& unit);

std::string hex4(unsigned value);

// Joined by appending: GCC 12 reports a false -Wrestrict overlap in an
// optimised build of `"text" + std::string`.
std::string cat(std::initializer_list<std::string_view> parts);

}  // namespace ctl
