#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace device {
class Connection;
}

namespace protocol {

// The unit's one feature report, unnumbered (report ID 0), carrying its
// settings in both directions. Multi-byte fields are unsigned big-endian.
// Reading interprets bytes 0 to 8, writing sets bytes 0 to 7; every other
// byte up to the unit's feature report length is reserved.
inline constexpr std::size_t kReadLayoutBytes = 9;
inline constexpr std::size_t kWriteLayoutBytes = 8;
inline constexpr std::uint8_t kReportId = 0;
inline constexpr std::uint8_t kWriteCommand = 1;

inline constexpr int kAmplitudeCodes = 511;     // 0 to 510
inline constexpr int kPolarityCount = 3;        // 0 off, 1 normal, 2 inverted
inline constexpr int kCalibrationCodes = 1701;  // 0 to 1700, factor 0.4 + code / 1000
inline constexpr int kLastCalibrationCode = kCalibrationCodes - 1;

struct UnitSettings {
    int amplitudeIndex = 0;
    int polarityIndex = 0;
    int calibrationIndex = 0;
};

struct DecodedReport {
    int amplitudeIndex = 0;         // always 0 to 510
    int polarityIndex = 0;          // always 0 to 2
    int calibrationIndex = 0;       // 0 to 65535: a unit may name no calibration item
    double factoryCalibration = 0;  // 0 to 6.5535
};

// Decodes a report read from the unit; nullopt when it is shorter than the
// read layout.
std::optional<DecodedReport> decodeReadLayout(std::span<const std::uint8_t> report);

// True when every field fits its range on the wire.
bool settingsInRange(const UnitSettings& settings);

// Fills report (zeroing all of it first) with the write layout; false, and
// the report left all zero, when it is shorter than the write layout or a
// setting is out of range.
bool encodeWriteLayout(const UnitSettings& settings, std::span<std::uint8_t> report);

// Reads and decodes the configuration report on the connection's
// DeviceHandle. nullopt when the read failed or the unit's feature report
// is too short for the read layout, in which case nothing is requested.
std::optional<DecodedReport> readConfiguration(device::Connection& connection);

// Sends the settings in the write layout at the unit's feature report
// length. False when it failed; nothing is sent when the report is too
// short for the write layout or a setting is out of range.
bool sendSettings(device::Connection& connection, const UnitSettings& settings);

}  // namespace protocol
