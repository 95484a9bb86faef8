#pragma once

#include <string>
#include <string_view>

namespace window {

// The summary of the output: the mode lines for polarity 0 (off), 1
// (normal) or 2 (inverted) with the 50-ohm amplitude text, then the two
// calibration lines. Any other polarity (nothing selected) writes no mode
// lines. Lines are joined by CR LF with none after the last.
std::string composeSummary(int polarityIndex, std::string_view amplitudeText, double factoryCalibration,
                           std::string_view calibrationText);

}  // namespace window
