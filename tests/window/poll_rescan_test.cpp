// What a presence-poll tick costs and does while no unit is connected: it
// rescans once, and walks the interfaces a second time only when the scan
// listed a unit to connect.
#include "support/connected_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <utility>

namespace {

using device::sim::DeviceConfig;
using device::sim::Operation;
using device::sim::SimPlatform;

struct RescanCase {
    const char* name;
    // Plugs what appears between start-up and the tick; nothing for none.
    std::function<void(SimPlatform&)> attach;
    bool connects;
    std::size_t walks;
};

void PrintTo(const RescanCase& c, std::ostream* os) { *os << c.name; }

void plugUnit(SimPlatform& sim, std::u16string serial, std::optional<Operation> failing = std::nullopt) {
    const auto id = sim.plug(device::sim::unitConfig(std::move(serial)));
    if (failing) sim.setFailing(id, *failing, true);
}

class PollRescan : public testing::TestWithParam<RescanCase>, protected testsupport::SimWindow {
protected:
    PollRescan() {
        for (int i = 0; i < 8; ++i) m_sim.plug(device::sim::otherDeviceConfig());
        m_form.Form_Load();
    }
    ~PollRescan() override { testsupport::closeWindow(m_form); }
};

TEST_P(PollRescan, ATickWithoutAUnitWalksOnceUnlessTheScanListedOne) {
    const RescanCase& c = GetParam();
    ASSERT_FALSE(m_form.connection().DeviceDetected);
    if (c.attach) c.attach(m_sim);

    const std::size_t listsBefore = m_sim.listsBuilt();
    m_form.Timer.expire();

    EXPECT_EQ(m_sim.listsBuilt() - listsBefore, c.walks);
    EXPECT_EQ(m_form.connection().DeviceDetected, c.connects);
    EXPECT_EQ(m_form.SettingsLoaded, c.connects);
    EXPECT_EQ(m_sim.openHandles(), c.connects ? 2u : 0u);
    EXPECT_EQ(m_sim.openLists(), 0u);
    EXPECT_EQ(m_form.Enc1.itemCount(), c.connects ? 511 : 0);

    // The next tick repeats the same work while nothing connects.
    if (!c.connects) {
        m_form.Timer.expire();
        EXPECT_EQ(m_sim.listsBuilt() - listsBefore, 2 * c.walks);
        EXPECT_EQ(m_sim.openHandles(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Attached, PollRescan,
    testing::Values(RescanCase{"NothingNew", nullptr, false, 1},
                    RescanCase{"UnitPlugged", [](SimPlatform& s) { plugUnit(s, u"VD-1"); }, true, 2},
                    // An empty serial is still a listed unit: the scan's list, not its
                    // text, decides whether the connection walk runs.
                    RescanCase{"UnitWithEmptySerial", [](SimPlatform& s) { plugUnit(s, u""); }, true, 2},
                    RescanCase{"UnitWithUnreadableSerial",
                               [](SimPlatform& s) { plugUnit(s, u"VD-1", Operation::Serial); }, false, 1},
                    RescanCase{"UnitThatCannotBeOpened", [](SimPlatform& s) { plugUnit(s, u"VD-1", Operation::Open); },
                               false, 1},
                    RescanCase{"ListCannotBeBuilt",
                               [](SimPlatform& s) {
                                   plugUnit(s, u"VD-1");
                                   s.setListFailing(true);
                               },
                               false, 0}),
    [](const testing::TestParamInfo<RescanCase>& info) { return std::string(info.param.name); });

// After a loss the rescan in the same tick finds the unit that is still
// there (a unit with no input report waiting) and connects it again.
TEST_F(PollRescan, ALostUnitStillThereIsReconnectedInTheSameTick) {
    plugUnit(m_sim, u"VD-1");
    m_form.Timer.expire();
    ASSERT_TRUE(m_form.connection().DeviceDetected);
    m_sim.setFailing(m_sim.deviceCount() - 1, Operation::Read, true);

    const std::size_t listsBefore = m_sim.listsBuilt();
    m_form.Timer.expire();

    EXPECT_EQ(m_sim.listsBuilt() - listsBefore, 2u);
    EXPECT_TRUE(m_form.connection().DeviceDetected);
    EXPECT_EQ(m_form.Timer.interval(), 250);
    EXPECT_EQ(m_sim.openHandles(), 2u);
}

// Where the system announces interfaces coming and going, the list is walked
// only after a notice; where no source of notices could be registered, every
// tick walks. A unit that is listed but not ready yet is tried again on the
// next tick from the kept list, and a unit that arrives while a walk is under
// way is walked for again on the next tick.
TEST(PollRescanNotices, KeptListFollowsTheNoticesAndFullWalkWithout) {
    for (const device::sim::Notices notices : {device::sim::Notices::Unregistered, device::sim::Notices::Announced}) {
        const bool announced = notices == device::sim::Notices::Announced;
        SCOPED_TRACE(announced ? "announced" : "unregistered");
        SimPlatform sim(notices);
        for (int i = 0; i < 4; ++i) sim.plug(device::sim::otherDeviceConfig());
        window::frmMain form(sim);
        form.Form_Load();
        const std::size_t walksAtStart = sim.walks();
        for (int i = 0; i < 3; ++i) form.Timer.expire();
        EXPECT_EQ(sim.walks() - walksAtStart, announced ? 0u : 3u) << "idle ticks";

        // Plugged while not ready: listed, its serial not readable yet.
        const auto unit = sim.plug(device::sim::unitConfig(u"VD-1"));
        sim.setFailing(unit, Operation::Serial, true);
        form.Timer.expire();
        EXPECT_FALSE(form.connection().DeviceDetected);
        sim.setFailing(unit, Operation::Serial, false);
        const std::size_t walksBefore = sim.walks();
        form.Timer.expire();
        EXPECT_TRUE(form.connection().DeviceDetected) << "not retried from the kept list";
        EXPECT_EQ(sim.walks() - walksBefore, announced ? 0u : 2u);
        testsupport::closeWindow(form);
    }

    // The second unit arrives after the walk read the interfaces.
    SimPlatform sim(device::sim::Notices::Announced);
    window::frmMain form(sim);
    form.Form_Load();
    sim.plug(device::sim::otherDeviceConfig());
    bool arrived = false;
    sim.duringWalk = [&] {
        if (!std::exchange(arrived, true)) sim.plug(device::sim::unitConfig(u"VD-2"));
    };
    form.Timer.expire();
    ASSERT_TRUE(arrived);
    EXPECT_FALSE(form.connection().DeviceDetected) << "the walk had passed it";
    form.Timer.expire();
    EXPECT_TRUE(form.connection().DeviceDetected) << "a notice during the walk was lost";
    const std::size_t walks = sim.walks();
    form.Timer.expire();
    EXPECT_EQ(sim.walks(), walks);
    testsupport::closeWindow(form);
}

}  // namespace
