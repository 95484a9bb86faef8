#pragma once

#include "device/hid_platform.h"
#include "protocol/config_report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ctl {

// What one HID interface answered. A field is nullopt when its request
// failed or was never made because an earlier one failed.
struct InterfaceFacts {
    std::string path;
    std::optional<std::string> openFailure;  // the system's reason; nullopt when it opened
    std::optional<device::HidAttributes> attributes;
    bool isUnit = false;  // the unit's vendor and product IDs
    std::optional<std::string> serial;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<device::HidCaps> caps;
    // Only asked for when the survey reads reports.
    bool reportRequested = false;
    bool reportRead = false;
};

// Walks every present HID interface. Units get their identity strings; with
// readReports, their capabilities and one read of the feature report too.
// Every handle it opens is closed before it returns.
std::vector<InterfaceFacts> surveyInterfaces(device::HidPlatform& platform, bool readReports);

// An open hold on one unit, found again by its path and serial.
class UnitHandle {
public:
    UnitHandle(device::HidPlatform& platform, const InterfaceFacts& unit);
    ~UnitHandle();
    UnitHandle(const UnitHandle&) = delete;
    UnitHandle& operator=(const UnitHandle&) = delete;

    // Empty when the unit is open and still the one surveyed; else why not.
    const std::string& problem() const { return m_problem; }
    std::uint16_t featureLength() const { return m_caps.FeatureReportByteLength; }

    std::optional<protocol::DecodedReport> read();
    // Sends the settings in the write layout at the unit's report length.
    bool write(const protocol::UnitSettings& settings);

private:
    device::HidPlatform& m_platform;
    device::Handle m_handle = device::kNoHandle;
    device::HidCaps m_caps;
    std::string m_problem;
};

}  // namespace ctl
