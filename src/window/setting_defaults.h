#pragma once

#include <array>
#include <string_view>

namespace window {

// What the default restore puts back: amplitude code 280, Normal and
// calibration item 600 (1.000).
inline constexpr int kDefaultAmplitude = 280;
inline constexpr int kDefaultPolarity = 1;
inline constexpr int kDefaultCalibration = 600;

// The polarity list's items, by output mode.
inline constexpr std::array<std::string_view, 3> kPolarityTexts = {"Off", "Normal", "Inverted"};

}  // namespace window
