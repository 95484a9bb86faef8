#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The texts the window shows: numbers, the setting lists' items and the
// output summary, and the settings a restore puts back.
namespace window {

// A double as decimal text: at most 15 significant digits, no trailing
// zeros, no separator for whole values, a zero before the separator below
// 1. The separator is always a point, whatever the user's locale.
std::string formatNumber(double value);

// Reads a whole text written with a point as separator; nullopt when the
// text is not a number from start to end.
std::optional<double> parseNumber(std::string_view text);

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

// The summary of the output: the mode lines for polarity 0 (off), 1
// (normal) or 2 (inverted) with the 50-ohm amplitude text, then the two
// calibration lines. Any other polarity (nothing selected) writes no mode
// lines. Lines are joined by CR LF with none after the last.
std::string composeSummary(int polarityIndex, std::string_view amplitudeText, double factoryCalibration,
                           std::string_view calibrationText);

}  // namespace window
