// Listing the attached units in the serial-number list, as the window's
// start-up and the presence poll do before every connection attempt.
#include "support/connected_window.h"

#include <gtest/gtest.h>

namespace {

using device::sim::Operation;

class ScanTest : public testing::Test, protected testsupport::SimWindow {};

TEST_F(ScanTest, NoUnitLeavesTheListEmptyUnselectedAndDisabled) {
    m_sim.plug(device::sim::otherDeviceConfig());
    m_form.Scan_USB_devices();
    EXPECT_EQ(m_form.SerNo.itemCount(), 0);
    EXPECT_EQ(m_form.SerNo.listIndex(), -1);
    EXPECT_FALSE(m_form.SerNo.enabled());
    EXPECT_FALSE(m_form.FindTheHid());
    EXPECT_EQ(m_sim.openHandles(), 0u);
}

TEST_F(ScanTest, OneUnitIsSelectedButTheListStaysDisabled) {
    unit(u"ONLY");
    m_form.Scan_USB_devices();
    EXPECT_EQ(m_form.SerNo.items(), std::vector<std::string>{"ONLY"});
    EXPECT_EQ(m_form.SerNo.listIndex(), 0);
    EXPECT_FALSE(m_form.SerNo.enabled());
    EXPECT_EQ(m_sim.openHandles(), 0u);
}

TEST_F(ScanTest, ThreeUnitsAreListedInOrderAndTheLastIsConnected) {
    unit(u"U1");
    m_sim.plug(device::sim::otherDeviceConfig());
    unit(u"U2");
    const auto third = unit(u"U3");
    m_form.Scan_USB_devices();
    EXPECT_EQ(m_form.SerNo.items(), (std::vector<std::string>{"U1", "U2", "U3"}));
    EXPECT_EQ(m_form.SerNo.listIndex(), 2);
    EXPECT_TRUE(m_form.SerNo.enabled());
    EXPECT_EQ(m_sim.openHandles(), 0u) << "the scan closes every candidate";
    ASSERT_TRUE(m_form.FindTheHid());
    EXPECT_EQ(m_sim.openHandles(third), 2u);
}

TEST_F(ScanTest, EqualSerialsAreBothListedAndEitherPickConnectsTheFirst) {
    const auto first = unit(u"DUP");
    unit(u"DUP");
    m_form.Scan_USB_devices();
    EXPECT_EQ(m_form.SerNo.items(), (std::vector<std::string>{"DUP", "DUP"}));
    ASSERT_TRUE(m_form.FindTheHid());
    EXPECT_EQ(m_sim.openHandles(first), 2u);
}

TEST_F(ScanTest, EmptySerialIsListedUnreadableSerialIsNot) {
    unit(u"");
    const auto broken = unit(u"BROKEN");
    m_sim.setFailing(broken, Operation::Serial, true);
    m_form.Scan_USB_devices();
    EXPECT_EQ(m_form.SerNo.items(), std::vector<std::string>{""});
    EXPECT_EQ(m_form.SerNo.listIndex(), 0);
}

TEST_F(ScanTest, RescanningRebuildsTheListAndReturnsToTheLastUnit) {
    unit(u"A");
    unit(u"B");
    m_form.Scan_USB_devices();
    m_form.SerNo.setListIndex(0);
    m_form.Scan_USB_devices();
    EXPECT_EQ(m_form.SerNo.items(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(m_form.SerNo.listIndex(), 1);
}

TEST_F(ScanTest, SelectionsDuringTheScanOpenNothingAndWriteNothing) {
    unit(u"A");
    m_form.Form_Load();
    ASSERT_TRUE(m_form.SettingsLoaded);
    unit(u"B");
    // A scan is only made while nothing is connected.
    m_form.connection().closeConnection();
    const std::size_t opensBefore = m_sim.calls(Operation::Open);
    m_form.Scan_USB_devices();
    EXPECT_FALSE(m_form.SettingsLoaded);
    EXPECT_EQ(m_sim.calls(Operation::Open) - opensBefore, 2u) << "one open per interface, none for a connection";
    EXPECT_EQ(m_sim.featureWrites(), 0u);
    EXPECT_EQ(m_sim.openHandles(), 0u);
}

TEST_F(ScanTest, HostileStringsNeverOverrunAndAreCutAtFiftyCharacters) {
    // 200 code units and none with a zero low byte.
    unit(std::u16string(200, u'\u01FF'));
    m_form.Scan_USB_devices();
    ASSERT_EQ(m_form.SerNo.itemCount(), 1);
    // Each 0xFF low byte is the character U+00FF, two bytes in UTF-8.
    EXPECT_EQ(m_form.SerNo.text().size(), 100u);
    EXPECT_TRUE(m_form.FindTheHid());
}

}  // namespace
