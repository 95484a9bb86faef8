#include "window/amplitude.h"

#include "window/number_text.h"

#include <cmath>

namespace window {

namespace {

// The nearest double to 0.247 lies just below it; the texts depend on that.
constexpr double kStepFactor = 0.247;
constexpr double kScale = 12.5;
constexpr double kRoundingBias = 0.5;
constexpr int kCodeOffset = 16;

}  // namespace

long long amplitudeMillivolts(int code, double factoryCalibration, double userCalibration) {
    // One rounded double operation per statement, in this order: grouping
    // the constants first (0.247 * 12.5) changes results at rounding
    // boundaries (code 24 at both factors 1 reads 123, not 124). The build
    // forbids fused multiply-add so no two steps merge.
    double x = static_cast<double>(kCodeOffset + code);
    x = x * kStepFactor;
    x = x * factoryCalibration;
    x = x * userCalibration;
    x = x * kScale;
    x = x + kRoundingBias;
    const double v = std::floor(x);
    // Factors come from the unit and from list texts; a value that is not a
    // finite level reads 0 rather than overflowing the conversion.
    if (!(v >= 0) || v > 1e15) return 0;
    return static_cast<long long>(v);
}

std::string amplitudeText(int code, double factoryCalibration, double userCalibration) {
    return std::to_string(amplitudeMillivolts(code, factoryCalibration, userCalibration));
}

std::string calibrationText(int k) {
    // Adding 0.0001 keeps the third decimal clear of binary rounding and
    // makes the text at least five characters long; the first five are kept.
    double x = static_cast<double>(k) / 1000.0;
    x = x + 0.4;
    x = x + 0.0001;
    return formatNumber(x).substr(0, 5);
}

}  // namespace window
