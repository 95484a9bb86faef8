// Connecting to the unit whose serial is selected: which interface is
// examined, which one is kept, and that nothing else stays open.
#include "device/connection.h"
#include "device/sim/sim_platform.h"

#include <gtest/gtest.h>

namespace {

using device::sim::DeviceConfig;
using device::sim::Operation;
using device::sim::SimPlatform;

class FindTheHidTest : public testing::Test {
protected:
    device::sim::DeviceId unit(std::u16string serial) { return m_sim.plug(device::sim::unitConfig(std::move(serial))); }
    device::sim::DeviceId other() { return m_sim.plug(device::sim::otherDeviceConfig()); }
    // Which simulated device the connection's DeviceHandle belongs to.
    std::optional<device::sim::DeviceId> connectedDevice() const {
        for (device::sim::DeviceId id = 0; id < m_sim.deviceCount(); ++id)
            if (m_sim.openHandles(id) == 2) return id;
        return std::nullopt;
    }

    SimPlatform m_sim;
    device::Connection m_conn{m_sim};
};

TEST_F(FindTheHidTest, NoInterfaceAtAllEndsAfterOneEnumeration) {
    EXPECT_FALSE(m_conn.FindTheHid(""));
    EXPECT_FALSE(m_conn.DeviceDetected);
    EXPECT_TRUE(m_conn.EndOfInterfaces);
    EXPECT_EQ(m_sim.calls(Operation::Open), 0u);
    EXPECT_EQ(m_sim.listsBuilt(), 1u);
    EXPECT_EQ(m_sim.openLists(), 0u);
}

TEST_F(FindTheHidTest, OtherDevicesAreEachOpenedExaminedAndClosed) {
    for (int i = 0; i < 3; ++i) other();
    EXPECT_FALSE(m_conn.FindTheHid(""));
    EXPECT_EQ(m_sim.calls(Operation::Open), 3u);
    EXPECT_EQ(m_sim.calls(Operation::Attributes), 3u);
    EXPECT_EQ(m_sim.calls(Operation::Serial), 0u) << "a device with other IDs is never asked for its serial";
    EXPECT_EQ(m_sim.openHandles(), 0u);
    EXPECT_EQ(m_sim.openEvents(), 0u);
}

TEST_F(FindTheHidTest, KeepsTheFirstUnitWithTheSelectedSerialAndStopsThere) {
    other();
    unit(u"A");
    const auto first = unit(u"DUP");
    unit(u"DUP");
    other();
    ASSERT_TRUE(m_conn.FindTheHid("DUP"));
    EXPECT_EQ(connectedDevice(), first);
    EXPECT_EQ(m_sim.calls(Operation::Open), 3u + 1u) << "later interfaces are not examined; +1 for the read handle";
    EXPECT_EQ(m_sim.openHandles(), 2u);
    EXPECT_EQ(m_conn.Caps.FeatureReportByteLength, 9);
    EXPECT_EQ(m_conn.Caps.InputReportByteLength, 65);
    EXPECT_EQ(m_conn.ReadOverlapped.hEvent, m_conn.ReadEvent);
}

struct SerialCase {
    const char* name;
    std::u16string reported;
    std::string selected;
    bool connects;
};

class SerialComparison : public FindTheHidTest, public testing::WithParamInterface<SerialCase> {};

TEST_P(SerialComparison, MatchesWholeStringsExactly) {
    unit(GetParam().reported);
    EXPECT_EQ(m_conn.FindTheHid(GetParam().selected), GetParam().connects);
    EXPECT_EQ(m_sim.openHandles(), GetParam().connects ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialComparison,
                         testing::Values(SerialCase{"empty_serial_matches_no_selection", u"", "", true},
                                         SerialCase{"case_differs", u"vd-1", "VD-1", false},
                                         SerialCase{"no_trimming", u"VD-1 ", "VD-1", false},
                                         SerialCase{"prefix_is_not_equal", u"VD-10", "VD-1", false},
                                         SerialCase{"fifty_characters_compared_in_full",
                                                    std::u16string(49, u'x') + u"y", std::string(49, 'x') + "y", true},
                                         SerialCase{"fifty_characters_last_differs", std::u16string(49, u'x') + u"y",
                                                    std::string(49, 'x') + "z", false},
                                         // Only 100 bytes are requested: characters past 50 never take part.
                                         SerialCase{"longer_serials_compare_by_their_first_fifty",
                                                    std::u16string(80, u'q'), std::string(50, 'q'), true},
                                         // A code unit whose low byte is zero ends the serial.
                                         SerialCase{"zero_low_byte_ends_the_serial", u"AB\u0100CD", "AB", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FindTheHidTest, UnitsThatFailAnyStepArePassedOverWithoutLeaks) {
    const auto noOpen = unit(u"S");
    const auto noAttributes = unit(u"S");
    const auto noSerial = unit(u"S");
    m_sim.setFailing(noOpen, Operation::Open, true);
    m_sim.setFailing(noAttributes, Operation::Attributes, true);
    m_sim.setFailing(noSerial, Operation::Serial, true);
    EXPECT_FALSE(m_conn.FindTheHid("S"));
    EXPECT_EQ(m_sim.openHandles(), 0u);
    const auto good = unit(u"S");
    EXPECT_TRUE(m_conn.FindTheHid("S"));
    EXPECT_EQ(connectedDevice(), good);
}

TEST_F(FindTheHidTest, AFailedListEndsTheWalkAtOnce) {
    unit(u"S");
    m_sim.setListFailing(true);
    EXPECT_FALSE(m_conn.FindTheHid("S"));
    EXPECT_EQ(m_sim.calls(Operation::Open), 0u);
}

TEST_F(FindTheHidTest, OneEventObjectServesEveryConnection) {
    unit(u"S");
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(m_conn.FindTheHid("S"));
        m_conn.closeConnection();
        EXPECT_FALSE(m_conn.DeviceDetected);
    }
    EXPECT_EQ(m_sim.eventsCreated(), 1u);
    EXPECT_EQ(m_sim.openEvents(), 1u);
    EXPECT_EQ(m_sim.openHandles(), 0u);
}

TEST_F(FindTheHidTest, UnreadableCapabilitiesLeaveNoLengthsOfAnEarlierUnit) {
    unit(u"A");
    const auto b = unit(u"B");
    ASSERT_TRUE(m_conn.FindTheHid("A"));
    m_conn.closeConnection();
    m_sim.setFailing(b, Operation::Caps, true);
    ASSERT_TRUE(m_conn.FindTheHid("B"));
    EXPECT_EQ(m_conn.Caps.FeatureReportByteLength, 0);
    EXPECT_EQ(m_conn.Caps.InputReportByteLength, 0);
    EXPECT_FALSE(m_conn.readInputReport()) << "a unit without lengths cannot be polled";
}

TEST_F(FindTheHidTest, ASerialWithoutTerminatorPicksUpNothingOfTheCandidateBefore) {
    // The first unit's long serial fills the buffer; the second answers a
    // short serial with no terminator after it.
    unit(std::u16string(50, u'L'));
    const auto shortSerial = unit(u"SHORT");
    m_sim.config(shortSerial).terminateStrings = false;
    EXPECT_TRUE(m_conn.FindTheHid("SHORT"));
}

TEST_F(FindTheHidTest, PollReadsAReportOfAnyLengthTheUnitReports) {
    DeviceConfig big = device::sim::unitConfig(u"BIG");
    big.inputLength = 4096;
    m_sim.plug(big);
    ASSERT_TRUE(m_conn.FindTheHid("BIG"));
    EXPECT_TRUE(m_conn.readInputReport());
}

}  // namespace
