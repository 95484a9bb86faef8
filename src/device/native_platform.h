#pragma once

#include "device/hid_platform.h"

#include <memory>

namespace device {

// How a program walks the interfaces: a window walks them on every tick
// and is worth a source of change notices that lets the backend keep its
// list; a program that walks once is not.
enum class ListingUse { Repeated, Once };

// The operating system's own HID services. Each native backend defines
// this; the build links exactly one of them.
std::unique_ptr<HidPlatform> makeNativePlatform(ListingUse use = ListingUse::Repeated);

}  // namespace device
