#pragma once

#include "device/connection.h"
#include "protocol/config_report.h"

#include <optional>

namespace protocol {

// Reads and decodes the configuration report on the connection's
// DeviceHandle. nullopt when the read failed or the unit's feature report
// is too short for the read layout, in which case nothing is requested.
std::optional<DecodedReport> readConfiguration(device::Connection& connection);

// Sends the settings in the write layout at the unit's feature report
// length. False when it failed; nothing is sent when the report is too
// short for the write layout or a setting is out of range.
bool sendSettings(device::Connection& connection, const UnitSettings& settings);

}  // namespace protocol
