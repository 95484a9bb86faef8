#include "protocol/config_report.h"

#include "device/connection.h"

#include <vector>

namespace protocol {

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
