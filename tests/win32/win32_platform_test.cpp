// The Windows HID backend against the HID devices Wine presents: none of
// them is a unit, so every walk must end with nothing connected and every
// handle it opened closed again.
#include "device/win32/win32_platform.h"

#include "device/connection.h"
#include "support/forwarding_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using device::Handle;
using testsupport::interfacePaths;

// Keeps account of what is open, so a test sees each handle the walk
// leaves behind.
class CountingPlatform final : public testsupport::ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;

    std::size_t opens = 0;
    std::size_t closes = 0;
    std::size_t listsBuilt = 0;
    std::size_t eventsCreated = 0;
    std::set<std::uintptr_t> openNow;
    std::set<std::uintptr_t> listsNow;

protected:
    device::InterfaceList doGetClassDevs() override {
        const device::InterfaceList list = m_inner.getClassDevs();
        if (list != device::kNoList) {
            ++listsBuilt;
            listsNow.insert(static_cast<std::uintptr_t>(list));
        }
        return list;
    }
    void doDestroyList(device::InterfaceList list) override {
        listsNow.erase(static_cast<std::uintptr_t>(list));
        m_inner.destroyList(list);
    }
    Handle doOpen(const std::string& path, device::OpenMode mode, bool inheritable) override {
        const Handle handle = ForwardingPlatform::doOpen(path, mode, inheritable);
        if (handle != device::kNoHandle) {
            ++opens;
            openNow.insert(static_cast<std::uintptr_t>(handle));
        }
        return handle;
    }
    bool doClose(Handle handle) override {
        ++closes;
        openNow.erase(static_cast<std::uintptr_t>(handle));
        return m_inner.close(handle);
    }
    device::EventHandle doCreateEvent(bool inheritable, bool manualReset, bool initialState) override {
        const device::EventHandle event = ForwardingPlatform::doCreateEvent(inheritable, manualReset, initialState);
        if (event != device::kNoEvent) ++eventsCreated;
        return event;
    }
};

DWORD processHandles() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

class Win32PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { m_handlesBefore = processHandles(); }

    // Nothing the backend opened is still open, by its own books, by the
    // decorator's and by the process's handle table.
    void expectNothingOpen() {
        EXPECT_TRUE(counting.openNow.empty());
        EXPECT_TRUE(counting.listsNow.empty());
        EXPECT_EQ(native.openHandles(), 0u);
        EXPECT_EQ(native.openLists(), 0u);
        EXPECT_EQ(processHandles(), m_handlesBefore);
    }

    device::win32::Win32Platform native;
    CountingPlatform counting{native};

private:
    DWORD m_handlesBefore = 0;
};

TEST_F(Win32PlatformTest, ScanListsNoUnitAndClosesEveryInterfaceItOpened) {
    device::Connection connection(counting);
    std::vector<std::string> serials;
    connection.walkUnits([&serials](const std::string& serial) { serials.push_back(serial); });

    EXPECT_TRUE(serials.empty());
    EXPECT_TRUE(connection.EndOfInterfaces);
    EXPECT_EQ(counting.listsBuilt, 1u);
    // The system presents HID devices of its own; each was opened and
    // examined, so the open–examine–close path really ran.
    EXPECT_GT(counting.opens, 0u);
    EXPECT_EQ(counting.closes, counting.opens);
    expectNothingOpen();
}

TEST_F(Win32PlatformTest, FindTheHidConnectsNothingAndLeavesNoHandleOpen) {
    for (const char* serial : {"", "VD-000101"}) {
        device::Connection connection(counting);
        EXPECT_FALSE(connection.FindTheHid(serial)) << serial;
        EXPECT_FALSE(connection.DeviceDetected);
        EXPECT_EQ(connection.DeviceHandle, device::kNoHandle);
        EXPECT_EQ(connection.ReadHandle, device::kNoHandle);
        EXPECT_EQ(connection.ReadEvent, device::kNoEvent);
    }
    EXPECT_EQ(counting.eventsCreated, 0u);
    EXPECT_EQ(counting.closes, counting.opens);
    expectNothingOpen();
}

TEST_F(Win32PlatformTest, PathsAreWholeAndRepeatable) {
    const std::vector<std::string> first = interfacePaths(native);
    ASSERT_FALSE(first.empty());
    for (const std::string& path : first) {
        EXPECT_FALSE(path.empty());
        EXPECT_EQ(path.find('\0'), std::string::npos);
    }
    EXPECT_EQ(interfacePaths(native), first);
    // A walk past the end keeps reporting the end.
    const device::InterfaceList list = native.getClassDevs();
    EXPECT_FALSE(native.interfacePath(list, static_cast<std::uint32_t>(first.size())));
    EXPECT_FALSE(native.interfacePath(list, 0xFFFFFFFFu));
    native.destroyList(list);
    expectNothingOpen();
}

// Each present interface opened both ways and asked everything a unit is
// asked; whatever a foreign device answers, the calls end and the handles
// are released. A read with no report waiting must fail at once rather
// than stay pending.
TEST_F(Win32PlatformTest, EveryRequestOnForeignDevicesEndsAndReleasesItsHandles) {
    device::SecurityAttributes security{12, true};
    const device::EventHandle event = native.createEvent(security, true, true);
    ASSERT_NE(event, device::kNoEvent);
    std::size_t opened = 0;
    for (const std::string& path : interfacePaths(native)) {
        const Handle sync = native.open(path, device::OpenMode::Synchronous, security);
        const Handle overlapped = native.open(path, device::OpenMode::Overlapped, security);
        if (sync == device::kNoHandle || overlapped == device::kNoHandle) {
            native.close(sync);
            native.close(overlapped);
            continue;
        }
        ++opened;
        device::HidCaps caps;
        if (native.getCaps(sync, caps)) {
            EXPECT_GT(caps.InputReportByteLength + caps.FeatureReportByteLength, 0);
        }

        std::array<std::uint8_t, 201> text{};
        native.getProductString(overlapped, text, 100);
        EXPECT_TRUE(std::all_of(text.begin() + 100, text.end(), [](std::uint8_t b) { return b == 0; }))
            << "a string request wrote past its length";

        std::vector<std::uint8_t> report(std::max<std::size_t>(caps.FeatureReportByteLength, 2), 0);
        native.getFeature(sync, report);
        EXPECT_EQ(report[0], 0);

        device::Overlapped record{0, 0, event};
        std::vector<std::uint8_t> input(std::max<std::size_t>(caps.InputReportByteLength, 1), 0);
        const ULONGLONG start = GetTickCount64();
        native.readInputReport(overlapped, input, static_cast<std::uint32_t>(input.size()), record);
        EXPECT_LT(GetTickCount64() - start, 2000u) << "a read waited for a report";
        // A synchronous handle is never read: the read could block.
        EXPECT_FALSE(native.readInputReport(sync, input, static_cast<std::uint32_t>(input.size()), record));

        EXPECT_TRUE(native.close(overlapped));
        EXPECT_TRUE(native.close(sync));
    }
    EXPECT_GT(opened, 0u);
    native.closeEvent(event);
    EXPECT_EQ(native.openEvents(), 0u);
    expectNothingOpen();
}

TEST_F(Win32PlatformTest, RefusesValuesItDidNotIssue) {
    std::array<std::uint8_t, 65> buffer{};
    device::HidAttributes attributes;
    device::HidCaps caps;
    device::Overlapped record;
    // The process's own pseudo-handle and an arbitrary value: neither came
    // from an open, so neither reaches the system.
    for (const std::uintptr_t value : {static_cast<std::uintptr_t>(-1), std::uintptr_t{0x1234}}) {
        const Handle stranger{value};
        EXPECT_FALSE(native.getAttributes(stranger, attributes));
        EXPECT_FALSE(native.getCaps(stranger, caps));
        EXPECT_FALSE(native.getSerialNumberString(stranger, buffer, 20));
        EXPECT_FALSE(native.getFeature(stranger, buffer));
        EXPECT_FALSE(native.setFeature(stranger, buffer));
        EXPECT_FALSE(native.readInputReport(stranger, buffer, 65, record));
        EXPECT_FALSE(native.close(stranger));
        native.closeEvent(device::EventHandle{value});
        native.destroyList(device::InterfaceList{value});
        EXPECT_FALSE(native.interfacePath(device::InterfaceList{value}, 0));
    }
    EXPECT_NE(GetCurrentProcess(), nullptr);
    // A handle closed once is not closed again.
    const std::vector<std::string> paths = interfacePaths(native);
    ASSERT_FALSE(paths.empty());
    const Handle handle = native.open(paths.front(), device::OpenMode::Synchronous, device::SecurityAttributes{});
    if (handle != device::kNoHandle) {
        EXPECT_TRUE(native.close(handle));
        EXPECT_FALSE(native.close(handle));
    }
    expectNothingOpen();
}

TEST(Win32PlatformLifetime, ReleasesWhatIsStillOpenWhenDestroyed) {
    const DWORD before = processHandles();
    {
        device::win32::Win32Platform platform;
        const device::InterfaceList list = platform.getClassDevs();
        const std::optional<std::string> path = platform.interfacePath(list, 0);
        ASSERT_TRUE(path);
        platform.open(*path, device::OpenMode::Overlapped, device::SecurityAttributes{});
        platform.createEvent(device::SecurityAttributes{}, true, true);
        EXPECT_GT(platform.openLists() + platform.openEvents(), 0u);
    }
    EXPECT_EQ(processHandles(), before);
}

// The class list is read once and kept while the system announces no
// change; a platform made without notices reads it on every walk.
TEST(Win32PlatformListing, IsKeptWhileWatchedAndReadOnEveryWalkWithout) {
    device::win32::Win32Platform watched;
    ASSERT_TRUE(watched.watched()) << "no source of notices could be registered";
    const std::vector<std::string> first = interfacePaths(watched);
    EXPECT_EQ(interfacePaths(watched), first);
    EXPECT_EQ(watched.walks(), 1u);

    device::win32::Win32Platform once(device::win32::Win32Platform::Notices::None);
    EXPECT_FALSE(once.watched());
    EXPECT_EQ(interfacePaths(once), first);
    interfacePaths(once);
    EXPECT_EQ(once.walks(), 2u);
}

}  // namespace
