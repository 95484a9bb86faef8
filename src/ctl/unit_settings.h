#pragma once

#include "ctl/survey.h"
#include "protocol/config_report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

// One unit's result: its settings as read, or why there are none.
struct UnitResult {
    InterfaceFacts unit;
    std::optional<protocol::DecodedReport> settings;
    std::optional<std::uint16_t> featureLength;
    std::string error;  // empty on success
};

// Reads one unit's settings; the error names what failed.
UnitResult readUnit(device::HidPlatform& platform, const InterfaceFacts& unit);

std::string shortReport(std::uint16_t length);

// The user factor the window computes with: its calibration item's text
// read back as a number. Nothing for a code that names no item.
std::optional<double> userFactor(int calibrationCode);

// Settings as the window would show them. A calibration code past the
// list's end names no factor, so neither the level nor the summary can be
// given.
struct SettingsView {
    int amplitudeCode = 0;
    std::optional<std::string> amplitudeMillivolts;  // the level's decimal text
    int polarity = 0;                                // 0 off, 1 normal, 2 inverted
    std::string_view polarityName;                   // "off", "normal", "inverted"
    int calibrationCode = 0;
    std::optional<std::string> calibration;  // the factor's text, three decimals
    double factoryCalibration = 0;
    std::optional<std::vector<std::string>> summary;
};

SettingsView describeSettings(const protocol::DecodedReport& settings);

}  // namespace ctl
