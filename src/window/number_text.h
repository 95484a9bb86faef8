#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace window {

// A double as decimal text: at most 15 significant digits, no trailing
// zeros, no separator for whole values, a zero before the separator below
// 1. The separator is always a point, whatever the user's locale.
std::string formatNumber(double value);

// Reads a whole text written with a point as separator; nullopt when the
// text is not a number from start to end.
std::optional<double> parseNumber(std::string_view text);

}  // namespace window
