#include "demo_units.h"

#include <cstdint>

namespace demo {

namespace {

// Bytes 7 and 8 of a unit's report hold its factory calibration in units of
// 0.0001, big-endian.
void setFactoryCalibration(device::sim::DeviceConfig& config, std::uint16_t tenThousandths) {
    if (config.featureImage.size() < 9) config.featureImage.resize(9);
    config.featureImage[7] = static_cast<std::uint8_t>(tenThousandths >> 8);
    config.featureImage[8] = static_cast<std::uint8_t>(tenThousandths & 0xFF);
}

}  // namespace

std::array<DemoUnit, 2> plugDemoUnits(device::sim::SimPlatform& platform) {
    platform.plug(device::sim::otherDeviceConfig());

    device::sim::DeviceConfig first = device::sim::unitConfig(u"VD-000101");
    setFactoryCalibration(first, 10000);  // 1.0000
    device::sim::DeviceConfig second = device::sim::unitConfig(u"VD-000102");
    setFactoryCalibration(second, 9850);  // 0.9850

    return {DemoUnit{platform.plug(std::move(first)), u"VD-000101"},
            DemoUnit{platform.plug(std::move(second)), u"VD-000102"}};
}

}  // namespace demo
