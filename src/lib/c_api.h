#pragma once

#include "device/hid_platform.h"

namespace lib {

// For tests, which link the library statically: every later call goes to
// platform (not owned; it must outlive those calls), or to the native one
// again with nullptr. Not part of the shared library's exports.
void usePlatform(device::HidPlatform* platform);

}  // namespace lib
