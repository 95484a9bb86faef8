#include "ctl/internal.h"

#include "window/texts.h"

namespace ctl {

namespace {

constexpr std::string_view kPolarityNames[] = {"off", "normal", "inverted"};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

}  // namespace

std::string shortReport(std::uint16_t length) {
    return "its feature report is " + std::to_string(length) + " bytes long, shorter than the " +
           std::to_string(protocol::kReadLayoutBytes) + " bytes that carry the settings";
}

UnitResult readUnit(device::HidPlatform& platform, const InterfaceFacts& unit) {
    UnitResult r;
    r.unit = unit;
    UnitHandle handle(platform, unit);
    if (!handle.problem().empty()) {
        r.error = handle.problem();
        return r;
    }
    r.featureLength = handle.featureLength();
    if (handle.featureLength() < protocol::kReadLayoutBytes) {
        r.error = shortReport(handle.featureLength());
        return r;
    }
    r.settings = handle.read();
    if (!r.settings) r.error = "its settings cannot be read: the unit did not answer the request for its report";
    return r;
}

std::optional<double> userFactor(int calibrationCode) {
    if (calibrationCode < 0 || calibrationCode >= protocol::kCalibrationCodes) return std::nullopt;
    return window::parseNumber(window::calibrationText(calibrationCode));
}

SettingsView describeSettings(const protocol::DecodedReport& s) {
    SettingsView view;
    view.amplitudeCode = s.amplitudeIndex;
    view.polarity = s.polarityIndex;
    view.polarityName = kPolarityNames[static_cast<std::size_t>(s.polarityIndex)];
    view.calibrationCode = s.calibrationIndex;
    view.factoryCalibration = s.factoryCalibration;
    const std::optional<double> factor = userFactor(s.calibrationIndex);
    if (!factor) return view;
    view.amplitudeMillivolts = window::amplitudeText(s.amplitudeIndex, s.factoryCalibration, *factor);
    view.calibration = window::calibrationText(s.calibrationIndex);
    view.summary = splitLines(
        window::composeSummary(s.polarityIndex, *view.amplitudeMillivolts, s.factoryCalibration, *view.calibration));
    return view;
}

}  // namespace ctl
