#include "protocol/config_report.h"

#include "device/connection.h"

#include <algorithm>
#include <vector>

namespace protocol {

std::optional<DecodedReport> decodeReadLayout(std::span<const std::uint8_t> report) {
    if (report.size() < kReadLayoutBytes) return std::nullopt;
    DecodedReport d;
    const int level = report[1];
    // Only bit 0 of the half step counts, and level 255 has no upper half:
    // index 511 does not exist.
    const int halfStep = level == 255 ? 0 : (report[2] & 1);
    d.amplitudeIndex = 2 * level + halfStep;
    // Modes the program does not know are shown as Normal.
    d.polarityIndex = report[3] > 2 ? 1 : report[3];
    d.calibrationIndex = 256 * report[5] + report[6];
    d.factoryCalibration = static_cast<double>(256 * report[7] + report[8]) / 10000.0;
    return d;
}

bool settingsInRange(const UnitSettings& s) {
    return s.amplitudeIndex >= 0 && s.amplitudeIndex < kAmplitudeCodes && s.polarityIndex >= 0 &&
           s.polarityIndex < kPolarityCount && s.calibrationIndex >= 0 && s.calibrationIndex < kCalibrationCodes;
}

bool encodeWriteLayout(const UnitSettings& s, std::span<std::uint8_t> report) {
    std::fill(report.begin(), report.end(), std::uint8_t{0});
    if (report.size() < kWriteLayoutBytes || !settingsInRange(s)) return false;
    // The write carries a command byte at 1, so every setting sits one byte
    // later than in the read layout; the factory calibration is never written.
    report[0] = kReportId;
    report[1] = kWriteCommand;
    report[2] = static_cast<std::uint8_t>(s.amplitudeIndex / 2);
    report[3] = static_cast<std::uint8_t>(s.amplitudeIndex % 2);
    report[4] = static_cast<std::uint8_t>(s.polarityIndex);
    report[5] = 0;
    report[6] = static_cast<std::uint8_t>(s.calibrationIndex / 256);
    report[7] = static_cast<std::uint8_t>(s.calibrationIndex % 256);
    return true;
}

std::optional<DecodedReport> readConfiguration(device::Connection& connection) {
    const std::size_t length = connection.Caps.FeatureReportByteLength;
    if (length < kReadLayoutBytes) {
        connection.LastResult = 0;
        return std::nullopt;
    }
    std::vector<std::uint8_t> report(length, 0);
    report[0] = kReportId;
    const bool ok = connection.platform().getFeature(connection.DeviceHandle, report);
    connection.LastResult = ok;
    if (!ok) return std::nullopt;
    return decodeReadLayout(report);
}

bool sendSettings(device::Connection& connection, const UnitSettings& settings) {
    std::vector<std::uint8_t> report(connection.Caps.FeatureReportByteLength, 0);
    if (!encodeWriteLayout(settings, report)) {
        connection.LastResult = 0;
        return false;
    }
    const bool ok = connection.platform().setFeature(connection.DeviceHandle, report);
    connection.LastResult = ok;
    return ok;
}

}  // namespace protocol
