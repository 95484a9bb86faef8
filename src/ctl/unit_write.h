#pragma once

#include "ctl/unit_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace ctl {

inline constexpr int kMaxMillivolts = 99999;

// What set or restore asks for; every value already in range.
struct Change {
    bool defaults = false;  // restore: amplitude code 280, Normal, calibration 1.000
    std::optional<int> amplitudeMillivolts;
    std::optional<int> amplitudeCode;    // 0 to 510
    std::optional<int> polarity;         // 0 off, 1 normal, 2 inverted
    std::optional<int> calibrationCode;  // 0 to 1700
};

// Why a change from a caller that did not come through the command line
// cannot be written; nullopt when every value is in range.
std::optional<std::string> checkChange(const Change& change);

// Every unit's new settings, worked out before anything is sent.
struct WritePlan {
    struct Step {
        InterfaceFacts unit;
        std::optional<protocol::UnitSettings> settings;  // nullopt: error says why this unit is skipped
        std::string error;
    };
    std::vector<Step> steps;
    // Values no unit can take (millivolts no code reads exactly), each a
    // whole message. Any refusal means nothing may be sent to any unit.
    std::vector<std::string> refusals;
};

// Reads each unit as needed; sends nothing.
WritePlan planWrites(device::HidPlatform& platform, const std::vector<InterfaceFacts>& units, const Change& change);

// Sends each planned report and reads it back; a skipped step's error is
// carried over. Only for a plan without refusals.
std::vector<UnitResult> applyWrites(device::HidPlatform& platform, const WritePlan& plan);

}  // namespace ctl
