#pragma once

#include "support/fake_sysfs_tree.h"

#include <gtest/gtest.h>

namespace device::hidraw::testing {

// A fixture over a fresh fake tree; the tree exists from construction on,
// so a fixture's members can be built over it.
class FakeSysfs : public ::testing::Test, public FakeSysfsTree {};

}  // namespace device::hidraw::testing
