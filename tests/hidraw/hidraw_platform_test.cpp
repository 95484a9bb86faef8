#include "device/hidraw/hidraw_platform.h"

#include "device/connection.h"
#include "device/hid_string.h"
#include "device/native_platform.h"
#include "device/product_ids.h"
#include "support/fake_sysfs_tree.h"
#include "support/forwarding_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace device::hidraw {
namespace {

namespace fs = std::filesystem;

std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// Three interfaces: a unit (hidraw0), a unit whose strings are missing
// (hidraw1), some other USB device (hidraw12). The tree exists from
// construction on, so the fixture's platform is built over it.
class HidrawOverFakeTree : public ::testing::Test, public testing::FakeSysfsTree {
protected:
    void SetUp() override {
        add(unit(0, "1-2", DeviceVendorId, DeviceProductId));
        auto bare = unit(1, "1-3", DeviceVendorId, DeviceProductId);
        bare.serial = std::nullopt;
        bare.manufacturer = std::nullopt;
        bare.product = std::nullopt;
        bare.bcdDevice = "0200\n";
        add(bare);
        auto other = unit(12, "1-4", 0x0B0E, 0x2040);
        other.serial = "KB-0001\n";
        add(other);
    }

    HidrawPlatform platform{(root / "sys").string(), (root / "dev").string()};
    SecurityAttributes security{12, true};

    std::vector<std::string> paths() { return testsupport::interfacePaths(platform); }

    Handle open(std::uint32_t number, OpenMode mode = OpenMode::Synchronous) {
        return platform.open(node(number), mode, security);
    }

    // A string request as the program makes it: 201 zeroed bytes, 100 asked for.
    std::optional<std::string> serial(Handle h) {
        std::array<std::uint8_t, kStringBufferBytes> buffer{};
        if (!platform.getSerialNumberString(h, buffer, kStringRequestBytes)) return std::nullopt;
        return decodeHidString(buffer);
    }
};

TEST_F(HidrawOverFakeTree, ListsEveryInterfaceAsASnapshot) {
    EXPECT_EQ(paths(), (std::vector<std::string>{node(0), node(1), node(12)}));

    const InterfaceList list = platform.getClassDevs();
    fs::remove(sys / "class/hidraw/hidraw1");
    EXPECT_EQ(platform.interfacePath(list, 1), node(1));  // the list taken before is unchanged
    EXPECT_EQ(platform.interfacePath(list, 3), std::nullopt);
    platform.destroyList(list);
    EXPECT_EQ(platform.openLists(), 0u);
    EXPECT_EQ(paths(), (std::vector<std::string>{node(0), node(12)}));
}

TEST_F(HidrawOverFakeTree, EmptyTreeListsNothing) {
    fs::remove_all(sys / "class");
    EXPECT_TRUE(paths().empty());
    fs::remove_all(sys);
    EXPECT_TRUE(paths().empty());
}

TEST_F(HidrawOverFakeTree, IdentityOfEachInterface) {
    struct Expected {
        std::uint32_t number;
        std::uint16_t vendor, product, version;
        std::optional<std::string> serial;
    };
    for (const Expected& e : {Expected{0, DeviceVendorId, DeviceProductId, 0x0112, "VD-000100"},
                              Expected{1, DeviceVendorId, DeviceProductId, 0x0200, std::nullopt},
                              Expected{12, 0x0B0E, 0x2040, 0x0112, "KB-0001"}}) {
        SCOPED_TRACE(e.number);
        const Handle h = open(e.number);
        ASSERT_NE(h, kNoHandle);
        HidAttributes a{sizeof(HidAttributes)};
        ASSERT_TRUE(platform.getAttributes(h, a));
        EXPECT_EQ(a.VendorID, e.vendor);
        EXPECT_EQ(a.ProductID, e.product);
        EXPECT_EQ(a.VersionNumber, e.version);
        EXPECT_EQ(serial(h), e.serial);
        EXPECT_TRUE(platform.close(h));
    }
}

TEST_F(HidrawOverFakeTree, StringsAreUtf16AndStayInsideTheRequest) {
    const Handle h = open(0, OpenMode::Overlapped);
    std::array<std::uint8_t, kStringBufferBytes> buffer{};
    ASSERT_TRUE(platform.getManufacturerString(h, buffer, kStringRequestBytes));
    // "Gerätebau": the ä is one code unit, U+00E4.
    EXPECT_EQ(buffer[2 * 11], 0xE4);
    EXPECT_EQ(buffer[2 * 11 + 1], 0x00);
    EXPECT_EQ(decodeHidString(buffer), "Vandrel Ger\xC3\xA4tebau");

    // A product name longer than the request is cut at 50 code units and
    // nothing past byte 100 is written.
    write(sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2/product", std::string(80, 'P') + "\n");
    buffer.fill(0);
    ASSERT_TRUE(platform.getProductString(h, buffer, kStringRequestBytes));
    EXPECT_EQ(decodeHidString(buffer), std::string(50, 'P'));
    for (std::size_t i = kStringRequestBytes; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0) << i;
    platform.close(h);

    const Handle bare = open(1);
    EXPECT_FALSE(platform.getManufacturerString(bare, buffer, kStringRequestBytes));
    EXPECT_FALSE(platform.getProductString(bare, buffer, kStringRequestBytes));
    platform.close(bare);
}

TEST_F(HidrawOverFakeTree, UntrustworthyIdentityFailsTheAttributes) {
    const fs::path usb = sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const fs::path hid = usb / "1-2:1.0/0003:1209:0001.1";
    HidAttributes a{sizeof(HidAttributes)};
    for (const char* bcd : {"zz12\n", "10000\n", "\n"}) {
        write(usb / "bcdDevice", bcd);
        const Handle h = open(0);
        EXPECT_FALSE(platform.getAttributes(h, a)) << bcd;
        platform.close(h);
    }
    write(usb / "bcdDevice", "0112\n");
    write(hid / "uevent", "HID_ID=0003:00021209:00000001\n");
    const Handle h = open(0);
    EXPECT_FALSE(platform.getAttributes(h, a));
    platform.close(h);
}

TEST_F(HidrawOverFakeTree, TwoOpensOfOneNodeAreIndependent) {
    const Handle sync = open(0);
    const Handle overlapped = open(0, OpenMode::Overlapped);
    ASSERT_NE(sync, kNoHandle);
    ASSERT_NE(overlapped, kNoHandle);
    EXPECT_NE(sync, overlapped);
    EXPECT_EQ(platform.openHandles(), 2u);
    EXPECT_TRUE(platform.close(sync));
    EXPECT_EQ(serial(overlapped), "VD-000100");
    EXPECT_FALSE(platform.close(sync));
    EXPECT_TRUE(platform.close(overlapped));
    EXPECT_EQ(platform.openHandles(), 0u);
}

TEST_F(HidrawOverFakeTree, MissingPathFailsCleanly) {
    const std::size_t before = openDescriptors();
    EXPECT_EQ(platform.open((dev / "hidraw99").string(), OpenMode::Synchronous, security), kNoHandle);
    EXPECT_EQ(platform.open("/nonexistent/hidraw0", OpenMode::Overlapped, security), kNoHandle);
    // The node exists, but not under the name asked for.
    EXPECT_EQ(platform.open(node(0) + std::string("\0/x", 3), OpenMode::Synchronous, security), kNoHandle);
    EXPECT_EQ(platform.openHandles(), 0u);
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(HidrawOverFakeTree, IdentityBelongsToTheOpenedDevice) {
    const Handle h = open(0);
    // The unit is unplugged: its sysfs directories go, and a new device
    // takes the same node name.
    fs::remove_all(sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2");
    fs::remove(sys / "class/hidraw/hidraw0");
    fs::remove(sys / "dev/char/242:0");
    auto replacement = unit(0, "1-9", 0x0B0E, 0x2040);
    add(replacement);

    HidAttributes a{sizeof(HidAttributes)};
    EXPECT_FALSE(platform.getAttributes(h, a));
    EXPECT_EQ(serial(h), std::nullopt);
    EXPECT_TRUE(platform.close(h));

    const Handle fresh = open(0);
    ASSERT_TRUE(platform.getAttributes(fresh, a));
    EXPECT_EQ(a.VendorID, 0x0B0E);
    platform.close(fresh);
}

// The fake nodes are regular files: every request that needs the driver
// fails as a value, and nothing is written to the caller's buffers.
TEST_F(HidrawOverFakeTree, DriverRequestsOnANonDeviceFail) {
    const Handle h = open(0, OpenMode::Overlapped);
    HidCaps caps;
    EXPECT_FALSE(platform.getCaps(h, caps));
    std::array<std::uint8_t, 9> report{};
    EXPECT_FALSE(platform.getFeature(h, report));
    EXPECT_FALSE(platform.setFeature(h, report));
    std::array<std::uint8_t, 65> input{};
    input.fill(0x5A);
    Overlapped overlapped;
    EXPECT_FALSE(platform.readInputReport(h, input, 65, overlapped));
    EXPECT_EQ(input[0], 0x5A);
    EXPECT_TRUE(platform.close(h));
}

TEST_F(HidrawOverFakeTree, NoDescriptorOutlivesItsHandle) {
    const std::size_t before = openDescriptors();
    {
        HidrawPlatform scoped((root / "sys").string(), (root / "dev").string());
        for (int round = 0; round < 20; ++round) {
            const Handle a = scoped.open(node(0), OpenMode::Synchronous, security);
            const Handle b = scoped.open(node(12), OpenMode::Overlapped, security);
            scoped.close(a);
            if (round % 2 == 0) scoped.close(b);  // the rest go with the platform
        }
        EXPECT_EQ(scoped.openHandles(), 10u);
        EXPECT_EQ(openDescriptors(), before + 10);
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(HidrawOverFakeTree, EventsAreAccounted) {
    const EventHandle first = platform.createEvent(security, true, true);
    const EventHandle second = platform.createEvent(security, true, true);
    EXPECT_NE(first, kNoEvent);
    EXPECT_NE(first, second);
    EXPECT_EQ(platform.openEvents(), 2u);
    platform.closeEvent(first);
    platform.closeEvent(second);
    EXPECT_EQ(platform.openEvents(), 0u);
}

// The device walk the program makes finds the units whose serial can be
// read, in interface order, and leaves no handle open.
TEST_F(HidrawOverFakeTree, ConnectionWalkFindsTheUnits) {
    add(unit(3, "1-6", DeviceVendorId, DeviceProductId));
    Connection connection(platform);
    std::vector<std::string> serials;
    connection.walkUnits([&](const std::string& s) { serials.push_back(s); });
    EXPECT_EQ(serials, (std::vector<std::string>{"VD-000100", "VD-000103"}));
    EXPECT_EQ(platform.openHandles(), 0u);
    EXPECT_EQ(platform.openLists(), 0u);
}

// Walks that keep their list: other devices are examined without opening
// their nodes, the list is made again only when the watch says so, a unit
// whose node cannot be opened is not listed, and a node number that now
// belongs to another device answers nothing for the one listed.
TEST_F(HidrawOverFakeTree, WalksOpenOnlyUnitsAndFollowTheWatch) {
    bool pending = false;
    HidrawPlatform watched((root / "sys").string(), (root / "dev").string(),
                           std::make_unique<testing::ManualWatch>(pending));
    Connection connection(watched);
    auto units = [&] {
        std::vector<std::string> serials;
        connection.walkUnits([&](const std::string& s) { serials.push_back(s); });
        EXPECT_EQ(watched.openHandles(), 0u);
        EXPECT_EQ(watched.openLists(), 0u);
        return serials;
    };
    EXPECT_EQ(units(), std::vector<std::string>{"VD-000100"});
    // hidraw0 is the unit; hidraw1 has no serial but is a unit too, and
    // its node opens for the request; hidraw12 is never opened.
    EXPECT_EQ(watched.nodeOpens(), 2u);

    // A new unit is not seen until the watch speaks.
    add(unit(3, "1-6", DeviceVendorId, DeviceProductId));
    EXPECT_EQ(units(), std::vector<std::string>{"VD-000100"});
    pending = true;
    EXPECT_EQ(units(), (std::vector<std::string>{"VD-000100", "VD-000103"}));

    // Its node cannot be opened: it is listed no more, and is again once
    // it can, with no new event (the kernel speaks before udev is done).
    fs::rename(dev / "hidraw3", dev / "hidraw3.away");
    EXPECT_EQ(units(), std::vector<std::string>{"VD-000100"});
    fs::rename(dev / "hidraw3.away", dev / "hidraw3");
    EXPECT_EQ(units(), (std::vector<std::string>{"VD-000100", "VD-000103"}));

    // The unit on hidraw0 leaves and another device takes its number
    // between the listing and the request.
    const InterfaceList list = watched.getClassDevs();
    const auto path = watched.interfacePath(list, 0);
    ASSERT_EQ(path, node(0));
    const Handle h = watched.open(*path, OpenMode::Synchronous, security);
    fs::remove_all(sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2");
    fs::remove(sys / "class/hidraw/hidraw0");
    fs::remove(sys / "dev/char/242:0");
    auto replacement = unit(0, "1-9", DeviceVendorId, DeviceProductId);
    replacement.hidPath = replacement.usbPath + "/1-9:1.0/0003:1209:0001.77";
    replacement.serial = "VD-OTHER\n";
    add(replacement);
    std::array<std::uint8_t, kStringBufferBytes> buffer{};
    EXPECT_FALSE(watched.getSerialNumberString(h, buffer, kStringRequestBytes));
    watched.close(h);
    watched.destroyList(list);
    pending = true;
    EXPECT_EQ(units(), (std::vector<std::string>{"VD-OTHER", "VD-000103"}));
}

TEST(NativePlatform, IsTheHidrawBackend) {
    const auto platform = makeNativePlatform();
    EXPECT_NE(dynamic_cast<HidrawPlatform*>(platform.get()), nullptr);
}

}  // namespace
}  // namespace device::hidraw
