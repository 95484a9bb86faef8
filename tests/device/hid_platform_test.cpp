// The seam's own checks: whatever a caller passes, a backend never sees a
// buffer it could overrun, a closed handle, or a report without its ID byte.
#include "device/hid_platform.h"
#include "device/sim/sim_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using device::sim::SimPlatform;

class HidPlatformSeam : public testing::Test {
protected:
    void SetUp() override {
        m_id = m_sim.plug(device::sim::unitConfig(std::u16string(120, u'S')));
        m_sync = m_sim.open("sim:hid#0", device::OpenMode::Synchronous, {});
        m_overlapped = m_sim.open("sim:hid#0", device::OpenMode::Overlapped, {});
        ASSERT_NE(m_sync, device::kNoHandle);
        ASSERT_NE(m_overlapped, device::kNoHandle);
    }
    SimPlatform m_sim;
    device::sim::DeviceId m_id = 0;
    device::Handle m_sync{}, m_overlapped{};
};

TEST_F(HidPlatformSeam, StringRequestNeverWritesPastItsLength) {
    std::array<std::uint8_t, 201> buffer{};
    buffer.fill(0xEE);
    ASSERT_TRUE(m_sim.getSerialNumberString(m_sync, buffer, 100));
    for (std::size_t i = 0; i < 100; i += 2) EXPECT_EQ(buffer[i], 'S');
    for (std::size_t i = 100; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xEE) << i;
}

TEST_F(HidPlatformSeam, RequestsLongerThanTheirBufferAreRefused) {
    std::array<std::uint8_t, 16> small{};
    EXPECT_FALSE(m_sim.getManufacturerString(m_sync, small, 17));
    EXPECT_FALSE(m_sim.getProductString(m_sync, small, 0));
    device::Overlapped ov;
    EXPECT_FALSE(m_sim.readInputReport(m_overlapped, small, 65, ov));
    EXPECT_FALSE(m_sim.readInputReport(m_overlapped, small, 0, ov));
    // None of them reached the device.
    EXPECT_EQ(m_sim.calls(device::sim::Operation::Manufacturer), 0u);
    EXPECT_EQ(m_sim.calls(device::sim::Operation::Read), 0u);
}

TEST_F(HidPlatformSeam, FeatureReportsNeedTheirIdAndOneDataByte) {
    std::vector<std::uint8_t> one(1, 0);
    EXPECT_FALSE(m_sim.getFeature(m_sync, one));
    EXPECT_FALSE(m_sim.setFeature(m_sync, one));
    std::vector<std::uint8_t> huge(0x10000, 0);
    EXPECT_FALSE(m_sim.getFeature(m_sync, huge));
    EXPECT_EQ(m_sim.calls(device::sim::Operation::GetFeature), 0u);
    EXPECT_EQ(m_sim.calls(device::sim::Operation::SetFeature), 0u);
}

TEST_F(HidPlatformSeam, FeatureReadKeepsTheCallersReportId) {
    std::vector<std::uint8_t> report(9, 0);
    ASSERT_TRUE(m_sim.getFeature(m_sync, report));
    EXPECT_EQ(report, (std::vector<std::uint8_t>{0x00, 0x8C, 0x00, 0x01, 0x00, 0x02, 0x58, 0x27, 0x10}));
}

TEST_F(HidPlatformSeam, NoHandleReachesNoBackend) {
    device::HidAttributes a;
    device::HidCaps caps;
    std::array<std::uint8_t, 201> buffer{};
    EXPECT_FALSE(m_sim.getAttributes(device::kNoHandle, a));
    EXPECT_FALSE(m_sim.getCaps(device::kNoHandle, caps));
    EXPECT_FALSE(m_sim.getSerialNumberString(device::kNoHandle, buffer, 100));
    EXPECT_FALSE(m_sim.close(device::kNoHandle));
    EXPECT_EQ(m_sim.open("", device::OpenMode::Synchronous, {}), device::kNoHandle);
    EXPECT_EQ(m_sim.openHandles(), 2u);
}

}  // namespace
