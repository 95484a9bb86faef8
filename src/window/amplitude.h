#pragma once

#include <string>

namespace window {

// The level in whole millivolts into 50 ohms that amplitude code `code`
// produces with the two calibration factors.
long long amplitudeMillivolts(int code, double factoryCalibration, double userCalibration);
std::string amplitudeText(int code, double factoryCalibration, double userCalibration);

// The text of calibration item k: the factor 0.4 + k / 1000 with exactly
// three decimals.
std::string calibrationText(int k);

}  // namespace window
