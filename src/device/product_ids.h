#pragma once

#include <cstdint>

namespace device {

// The USB IDs that identify a unit. The build sets them from the CMake cache
// variables VANDREL_VENDOR_ID and VANDREL_PRODUCT_ID.
inline constexpr std::uint16_t DeviceVendorId = VANDREL_VENDOR_ID;
inline constexpr std::uint16_t DeviceProductId = VANDREL_PRODUCT_ID;

}  // namespace device
