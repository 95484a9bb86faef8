// Start-up, the presence poll and its timer, unit switching and shut-down.
#include "support/connected_window.h"
#include "support/window_rules.h"

#include <gtest/gtest.h>

namespace {

using device::sim::Operation;

class Lifecycle : public testing::Test, protected testsupport::SimWindow {
protected:
    void tick() { m_form.Timer.expire(); }
    void close() {
        bool cancel = false;
        m_form.Form_Unload(cancel);
        EXPECT_FALSE(cancel);
    }
    void expectHandlesMatchConnection() {
        EXPECT_EQ(testsupport::brokenWindowRule(m_form, m_sim.openHandles(), m_sim.openEvents()), "");
        EXPECT_EQ(m_sim.openHandles(), m_form.connection().DeviceDetected ? 2u : 0u);
    }
};

TEST_F(Lifecycle, TheWindowIsShownBeforeAnyDeviceWork) {
    unit(u"A");
    std::size_t listsWhenShown = 99;
    m_form.onShow = [&] { listsWhenShown = m_sim.listsBuilt(); };
    m_form.Form_Load();
    EXPECT_EQ(listsWhenShown, 0u);
    EXPECT_TRUE(m_form.Timer.enabled());
    EXPECT_EQ(m_form.Timer.interval(), 50);
}

TEST_F(Lifecycle, TimerIntervalsFollowWhatThePollFinds) {
    const auto a = unit(u"A");
    m_form.Form_Load();
    tick();
    EXPECT_EQ(m_form.Timer.interval(), 500);
    m_sim.unplug(a);
    tick();
    EXPECT_EQ(m_form.Timer.interval(), 250);
    EXPECT_FALSE(m_form.connection().DeviceDetected);
    tick();
    EXPECT_EQ(m_form.Timer.interval(), 250) << "a tick without a unit leaves the interval";
    m_sim.replug(a);
    tick();
    EXPECT_TRUE(m_form.SettingsLoaded);
    EXPECT_EQ(m_form.Timer.interval(), 250);
    tick();
    EXPECT_EQ(m_form.Timer.interval(), 500);
    expectHandlesMatchConnection();
}

TEST_F(Lifecycle, AUnitSwitchStopsTheTimerWhileItRuns) {
    unit(u"A");
    unit(u"B");
    m_form.Form_Load();
    tick();
    bool timerRanDuringSwitch = false;
    m_sim.beforeCall = [&](Operation op, device::sim::DeviceId) {
        if (op == Operation::Open && m_form.Timer.enabled()) timerRanDuringSwitch = true;
    };
    m_form.SerNo.userPick(0);
    EXPECT_FALSE(timerRanDuringSwitch);
    EXPECT_TRUE(m_form.Timer.enabled());
    EXPECT_EQ(m_form.Timer.interval(), 250);
    EXPECT_EQ(m_form.SerNo.text(), "A");
    EXPECT_EQ(m_sim.openHandles(0), 2u);
    EXPECT_EQ(m_sim.openHandles(1), 0u);
}

TEST_F(Lifecycle, AFailedSwitchLeavesTheWindowDisconnectedUntilTheNextTick) {
    const auto a = unit(u"A");
    unit(u"B");
    m_form.Form_Load();
    m_sim.setFailing(a, Operation::Open, true);
    m_form.SerNo.userPick(0);
    EXPECT_FALSE(m_form.connection().DeviceDetected);
    EXPECT_EQ(m_form.Enc1.itemCount(), 0);
    expectHandlesMatchConnection();
    tick();
    EXPECT_TRUE(m_form.connection().DeviceDetected);
    EXPECT_EQ(m_form.SerNo.text(), "B") << "the rescan selects the last unit again";
}

TEST_F(Lifecycle, ClosingStopsTheTimerAndReleasesEverything) {
    unit(u"A");
    m_form.Form_Load();
    close();
    EXPECT_FALSE(m_form.Timer.enabled());
    EXPECT_FALSE(m_form.SettingsLoaded);
    EXPECT_EQ(m_sim.openHandles(), 0u);
    tick();
    EXPECT_EQ(m_sim.openHandles(), 0u) << "a stopped timer polls nothing";
}

TEST_F(Lifecycle, ManyPlugCyclesAndSwitchesLeakNothing) {
    const auto a = unit(u"A");
    const auto b = unit(u"B");
    m_form.Form_Load();
    for (int cycle = 0; cycle < 500; ++cycle) {
        tick();
        m_sim.unplug(cycle % 2 ? a : b);
        tick();
        expectHandlesMatchConnection();
        m_sim.replug(cycle % 2 ? a : b);
        tick();
        if (m_form.SerNo.enabled()) m_form.SerNo.userPick(cycle % 2);
        expectHandlesMatchConnection();
    }
    EXPECT_EQ(m_sim.eventsCreated(), 1u);
    close();
    EXPECT_EQ(m_sim.openHandles(), 0u);
    EXPECT_EQ(m_sim.openLists(), 0u);
    EXPECT_EQ(m_sim.featureWrites(), 0u) << "no cycle wrote anything on its own";
}

}  // namespace
