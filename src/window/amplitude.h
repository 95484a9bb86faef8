#pragma once

#include <array>
#include <string>
#include <string_view>

// The setting lists' item texts, and the settings a restore puts back.
namespace window {

// The level in whole millivolts into 50 ohms that amplitude code `code`
// produces with the two calibration factors.
long long amplitudeMillivolts(int code, double factoryCalibration, double userCalibration);
std::string amplitudeText(int code, double factoryCalibration, double userCalibration);

// The text of calibration item k: the factor 0.4 + k / 1000 with exactly
// three decimals.
std::string calibrationText(int k);

// What the default restore puts back: amplitude code 280, Normal and
// calibration item 600 (1.000).
inline constexpr int kDefaultAmplitude = 280;
inline constexpr int kDefaultPolarity = 1;
inline constexpr int kDefaultCalibration = 600;

// The polarity list's items, by output mode.
inline constexpr std::array<std::string_view, 3> kPolarityTexts = {"Off", "Normal", "Inverted"};

}  // namespace window
