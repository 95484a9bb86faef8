#include "device/sim/sim_platform.h"
#include "window/frm_main.h"

#include <gtest/gtest.h>

namespace {

using device::sim::DeviceId;
using device::sim::Operation;
using device::sim::SimPlatform;

// Ways a unit can let its first open succeed and refuse the second one.
enum class SecondOpenFault { UnpluggedDuringCaps, OpenRefusedAfterFirst };

class SecondOpenFails : public testing::TestWithParam<SecondOpenFault> {
protected:
    void SetUp() override {
        m_unit = m_sim.plug(device::sim::unitConfig(u"A1"));
        m_sim.beforeCall = [this](Operation op, DeviceId id) {
            if (!m_armed || op != Operation::Caps) return;
            m_armed = false;
            if (GetParam() == SecondOpenFault::UnpluggedDuringCaps) m_sim.unplug(id);
            else m_sim.setFailing(id, Operation::Open, true);
        };
    }
    void heal() {
        m_sim.replug(m_unit);
        m_sim.setFailing(m_unit, Operation::Open, false);
    }

    SimPlatform m_sim;
    DeviceId m_unit = 0;
    bool m_armed = true;
};

// A unit with only one of its two handles open is not connected: it is
// released at once, the window shows no unit and nothing is sent; the next
// tick connects it once it opens normally.
TEST_P(SecondOpenFails, UnitIsNotConnectedAndNothingStaysOpen) {
    window::frmMain w(m_sim);
    w.Form_Load();
    EXPECT_FALSE(w.connection().DeviceDetected);
    EXPECT_EQ(w.connection().DeviceHandle, device::kNoHandle);
    EXPECT_EQ(w.connection().ReadHandle, device::kNoHandle);
    EXPECT_EQ(m_sim.openHandles(), 0u);
    EXPECT_FALSE(w.RefreshComplete);
    EXPECT_EQ(w.Enc1.itemCount(), 0);

    heal();
    w.Timer.expire();
    EXPECT_TRUE(w.connection().DeviceDetected);
    EXPECT_EQ(m_sim.openHandles(m_unit), 2u);
    EXPECT_TRUE(w.SettingsLoaded);
    w.Enc2.userPick(2);
    ASSERT_EQ(m_sim.received(m_unit).size(), 1u);
    EXPECT_EQ(m_sim.received(m_unit).back()[4], 2);
}

// In a switch the same fault leaves the window not connected with its
// timer running, so the poll finds the unit again.
TEST_P(SecondOpenFails, SwitchLeavesWindowNotConnectedAndPolling) {
    const DeviceId second = m_sim.plug(device::sim::unitConfig(u"B2"));
    m_armed = false;
    window::frmMain w(m_sim);
    w.Form_Load();
    ASSERT_EQ(m_sim.openHandles(second), 2u);
    m_armed = true;
    w.SerNo.userPick(0);
    EXPECT_FALSE(w.connection().DeviceDetected);
    EXPECT_EQ(m_sim.openHandles(), 0u);
    EXPECT_TRUE(w.Timer.enabled());
    heal();
    w.Timer.expire();
    EXPECT_TRUE(w.connection().DeviceDetected);
    EXPECT_EQ(m_sim.openHandles(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Faults, SecondOpenFails,
                         testing::Values(SecondOpenFault::UnpluggedDuringCaps, SecondOpenFault::OpenRefusedAfterFirst),
                         [](const testing::TestParamInfo<SecondOpenFault>& info) {
                             return info.param == SecondOpenFault::UnpluggedDuringCaps ? "UnpluggedDuringCaps"
                                                                                       : "OpenRefusedAfterFirst";
                         });

}  // namespace
