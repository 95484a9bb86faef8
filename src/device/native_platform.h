#pragma once

#include "device/hid_platform.h"

#include <memory>

namespace device {

// The operating system's own HID services. Each native backend defines
// this; the build links exactly one of them.
std::unique_ptr<HidPlatform> makeNativePlatform();

}  // namespace device
