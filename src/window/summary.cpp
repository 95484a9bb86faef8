#include "window/summary.h"

#include "window/number_text.h"

namespace window {

namespace {
constexpr std::string_view kCrLf = "\r\n";
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
