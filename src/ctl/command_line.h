#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace ctl {

enum class Verb { List, Show, Set, Restore, Diagnose, Help, Version };

// One invocation, fully checked: every value is in range for the unit.
struct Request {
    Verb verb = Verb::Help;
    bool json = false;
    std::optional<std::string> serial;
    bool all = false;
    std::optional<int> amplitudeMillivolts;
    std::optional<int> amplitudeCode;    // 0 to 510
    std::optional<int> polarity;         // 0 off, 1 normal, 2 inverted
    std::optional<int> calibrationCode;  // 0 to 1700
};

struct UsageError {
    std::string message;
};

// Reads the words after the program's name; nothing is sent on a unit
// before this has accepted all of them.
std::variant<Request, UsageError> parseCommandLine(std::span<const std::string> args);

// A calibration factor from 0.400 to 2.100 with at most three decimals, as
// its item code 0 to 1700; nullopt for anything else.
std::optional<int> parseCalibration(std::string_view text);

// Whether text can be a unit's serial at all: 1 to 50 characters, each one
// a HID string byte can carry (U+0020 to U+00FF, no control characters).
bool plausibleSerial(std::string_view text);

std::string_view usageText();

}  // namespace ctl
