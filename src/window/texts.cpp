#include "window/texts.h"

#include <charconv>
#include <cmath>

namespace window {

namespace {

// The nearest double to 0.247 lies just below it; the texts depend on that.
constexpr double kStepFactor = 0.247;
constexpr double kScale = 12.5;
constexpr double kRoundingBias = 0.5;
constexpr int kCodeOffset = 16;

constexpr std::string_view kCrLf = "\r\n";

}  // namespace

std::string formatNumber(double value) {
    // to_chars never consults the locale, unlike the stream and printf
    // families; "general" with precision 15 drops trailing zeros and uses
    // fixed notation for every value the window shows.
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    return std::string(buffer.data(), result.ptr);
}

std::optional<double> parseNumber(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (text.empty() || result.ec != std::errc{} || result.ptr != end) return std::nullopt;
    return value;
}

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

std::string composeSummary(int polarityIndex, std::string_view amplitudeText, double factoryCalibration,
                           std::string_view calibrationText) {
    std::string text;
    if (polarityIndex == 0) {
        text = "Output is OFF";
    } else if (polarityIndex == 1 || polarityIndex == 2) {
        text = "Output level into 50R load: ";
        text += amplitudeText;
        text += " mVpp";
        text += kCrLf;
        text += "Output level into high impedance load: ";
        // Into a high impedance the level doubles; A + A is exact.
        if (const auto a = parseNumber(amplitudeText)) text += formatNumber(*a + *a);
        text += " mVpp";
        text += kCrLf;
        text += polarityIndex == 1 ? "Output is in phase with trigger output"
                                   : "Output is inverted compared to trigger output";
    }
    // With no mode lines the text starts at the calibration lines rather
    // than with an empty line.
    if (!text.empty()) text += kCrLf;
    text += "Factory calibration adjustment ";
    text += formatNumber(factoryCalibration);
    text += kCrLf;
    text += "User calibration adjustment ";
    text += calibrationText;
    return text;
}

}  // namespace window
