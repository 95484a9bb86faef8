#include "device/hidraw/sysfs.h"

#include "support/fake_sysfs_tree.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace device::hidraw {
namespace {

namespace fs = std::filesystem;

class SysfsTree : public ::testing::Test, public testing::FakeSysfsTree {
protected:
    Sysfs sysfs() const { return Sysfs(sys, dev); }
};

TEST_F(SysfsTree, NodesComeInInterfaceNumberOrder) {
    add(unit(10, "1-3", 0x1209, 0x0001));
    add(unit(2, "1-2", 0x1209, 0x0001));
    add(unit(9, "1-4", 0x1209, 0x0001));
    // Entries that are not interfaces are skipped.
    for (const char* junk : {"hidraw", "hidrawX", "hidraw1a", "mouse0"})
        fs::create_directories(sys / "class" / "hidraw" / junk);
    EXPECT_EQ(sysfs().hidrawNodes(), (std::vector<std::string>{node(2), node(9), node(10)}));
}

TEST_F(SysfsTree, NoHidDeviceGivesAnEmptyList) {
    EXPECT_EQ(sysfs().hidrawNodes(), std::vector<std::string>{});  // no class directory
    fs::create_directories(sys / "class" / "hidraw");
    EXPECT_EQ(sysfs().hidrawNodes(), std::vector<std::string>{});  // class directory, no interface
    EXPECT_EQ(Sysfs(root / "absent", dev).hidrawNodes(), std::vector<std::string>{});
}

TEST_F(SysfsTree, DeviceNumberDecidesOverTheNodeName) {
    add(unit(0, "1-2", 0x1209, 0x0001));
    const auto hidraw3 = add(unit(3, "1-3", 0x1209, 0x0002));

    // Any node name: the number 242:3 leads to hidraw3.
    const auto byNumber = sysfs().nodeDirs("/dev/anything", 242, 3);
    ASSERT_TRUE(byNumber);
    EXPECT_EQ(byNumber->hidDevice, fs::canonical(hidraw3 / "device"));
    EXPECT_EQ(byNumber->usbDevice, fs::canonical(sys / "devices/pci0000:00/0000:00:14.0/usb1/1-3"));

    // A number the tree knows as something else is not an interface, even
    // when the node is called hidraw0.
    fs::create_directories(sys / "devices/virtual/tty/tty1");
    link(sys / "devices/virtual/tty/tty1", sys / "dev/char/4:1");
    EXPECT_FALSE(sysfs().nodeDirs(node(0), 4, 1));

    // A number the tree does not know falls back to the name.
    const auto byName = sysfs().nodeDirs(node(0), 189, 7);
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->usbDevice, fs::canonical(sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2"));

    for (const char* bad : {"/dev/..", "/dev/hidraw", "/dev/hidraw0/..", "/dev/hidraw7"})
        EXPECT_FALSE(sysfs().nodeDirs(bad, std::nullopt, std::nullopt)) << bad;
}

TEST_F(SysfsTree, LinksNeverLeaveTheTree) {
    // A complete interface outside the tree, linked in from the class dir.
    const fs::path outside = root / "outside";
    write(outside / "usb/idVendor", "1209\n");
    write(outside / "usb/bcdDevice", "0112\n");
    write(outside / "usb/hid/uevent", usbUevent(0x1209, 0x0001));
    fs::create_directories(outside / "usb/hid/hidraw/hidraw4");
    link(outside / "usb/hid", outside / "usb/hid/hidraw/hidraw4/device");
    link(outside / "usb/hid/hidraw/hidraw4", sys / "class/hidraw/hidraw4");
    EXPECT_FALSE(sysfs().nodeDirs(node(4), std::nullopt, std::nullopt));

    // An interface inside whose device link points out of the tree.
    const auto inside = add(unit(5, "1-5", 0x1209, 0x0001));
    fs::remove(inside / "device");
    link(outside / "usb/hid", inside / "device");
    EXPECT_FALSE(sysfs().nodeDirs(node(5), std::nullopt, std::nullopt));
}

TEST_F(SysfsTree, BluetoothBehindAUsbAdapterHasNoUsbDevice) {
    testing::FakeDevice bt;
    bt.number = 1;
    bt.hidPath = "pci0000:00/0000:00:14.0/usb1/1-7/1-7:1.0/bluetooth/hci0/hci0:256/0005:046D:B01A.0004";
    bt.uevent = usbUevent(0x046D, 0xB01A, 0x0005);
    add(bt);
    write(sys / "devices/pci0000:00/0000:00:14.0/usb1/1-7/idVendor", "8087\n");
    write(sys / "devices/pci0000:00/0000:00:14.0/usb1/1-7/bcdDevice", "0001\n");
    const auto dirs = sysfs().nodeDirs(node(1), std::nullopt, std::nullopt);
    ASSERT_TRUE(dirs);
    EXPECT_TRUE(dirs->usbDevice.empty());
}

struct UeventCase {
    const char* name;
    std::string uevent;
    std::optional<HidId> expected;
};

class HidIdParsing : public ::testing::TestWithParam<UeventCase>, public testing::FakeSysfsTree {};

TEST_P(HidIdParsing, ReadsBusVendorProduct) {
    write(sys / "hid/uevent", GetParam().uevent);
    const auto got = Sysfs(sys, dev).hidId(sys / "hid");
    ASSERT_EQ(got.has_value(), GetParam().expected.has_value());
    if (got) {
        EXPECT_EQ(got->bus, GetParam().expected->bus);
        EXPECT_EQ(got->vendor, GetParam().expected->vendor);
        EXPECT_EQ(got->product, GetParam().expected->product);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Uevents, HidIdParsing,
    ::testing::Values(UeventCase{"Usb", "DRIVER=hid-generic\nHID_ID=0003:00001209:00000001\n", HidId{3, 0x1209, 1}},
                      UeventCase{"LowerCaseLastLineNoNewline", "HID_ID=0005:0000046d:0000b01a",
                                 HidId{5, 0x046D, 0xB01A}},
                      UeventCase{"Missing", "DRIVER=hid-generic\nHID_NAME=x\n", std::nullopt},
                      UeventCase{"VendorPast16Bits", "HID_ID=0003:00011209:00000001\n", std::nullopt},
                      UeventCase{"NotHex", "HID_ID=0003:0000120G:00000001\n", std::nullopt},
                      UeventCase{"TwoFields", "HID_ID=0003:00001209\n", std::nullopt},
                      UeventCase{"FourFields", "HID_ID=0003:00001209:00000001:0\n", std::nullopt},
                      UeventCase{"EmptyField", "HID_ID=0003::00000001\n", std::nullopt},
                      UeventCase{"TooManyDigits", "HID_ID=0003:000000001209:00000001\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SysfsAttribute, OnlyRegularFilesAreRead) {
    EXPECT_FALSE(Sysfs::attribute("/nonexistent-dir", "serial"));
    // A directory and a device node are not attributes.
    EXPECT_FALSE(Sysfs::attribute("/", "tmp"));
    EXPECT_FALSE(Sysfs::attribute("/dev", "null"));
}

}  // namespace
}  // namespace device::hidraw
