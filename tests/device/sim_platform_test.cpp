// The simulated platform behaves as units and the operating system do, so
// that every other test can trust it.
#include "device/sim/sim_platform.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using device::sim::Operation;
using device::sim::SimPlatform;
using Bytes = std::vector<std::uint8_t>;

TEST(SimPlatform, UnplugKillsOldHandlesAndReplugAppendsToTheOrder) {
    SimPlatform sim;
    const auto a = sim.plug(device::sim::unitConfig(u"A"));
    sim.plug(device::sim::unitConfig(u"B"));
    const device::Handle h = sim.open("sim:hid#0", device::OpenMode::Synchronous, {});
    device::HidAttributes attrs;
    ASSERT_TRUE(sim.getAttributes(h, attrs));

    sim.unplug(a);
    EXPECT_FALSE(sim.getAttributes(h, attrs));
    EXPECT_EQ(sim.open("sim:hid#0", device::OpenMode::Synchronous, {}), device::kNoHandle);
    sim.replug(a);
    EXPECT_FALSE(sim.getAttributes(h, attrs)) << "a handle from before the unplug stays dead";
    EXPECT_TRUE(sim.close(h)) << "closing a dead handle still releases it";

    const device::InterfaceList list = sim.getClassDevs();
    EXPECT_EQ(sim.interfacePath(list, 0), "sim:hid#1");
    EXPECT_EQ(sim.interfacePath(list, 1), "sim:hid#0");
    EXPECT_EQ(sim.interfacePath(list, 2), std::nullopt);
    sim.destroyList(list);
    EXPECT_EQ(sim.openLists(), 0u);
    EXPECT_EQ(sim.openHandles(), 0u);
}

TEST(SimPlatform, UnitAppliesOnlyCommandOneAndLogsEverythingItReceives) {
    SimPlatform sim;
    const auto id = sim.plug(device::sim::unitConfig(u"A"));
    const device::Handle h = sim.open("sim:hid#0", device::OpenMode::Synchronous, {});
    ASSERT_TRUE(sim.setFeature(h, Bytes{0, 2, 0x11, 1, 2, 0, 6, 0xA4, 0}));
    ASSERT_TRUE(sim.setFeature(h, Bytes{0, 1, 0x11, 1, 2, 0, 6, 0xA4, 0, 0xFF}));
    EXPECT_FALSE(sim.setFeature(h, Bytes{0, 1, 0x11, 1, 2, 0, 6, 0xA4})) << "shorter than the unit's report";

    ASSERT_EQ(sim.received(id).size(), 2u);
    EXPECT_EQ(sim.received(id)[1].size(), 9u) << "bytes past the report length are cut off";
    Bytes report(9, 0);
    ASSERT_TRUE(sim.getFeature(h, report));
    EXPECT_EQ(report, (Bytes{0, 0x11, 1, 2, 0, 6, 0xA4, 0x27, 0x10}));
    sim.close(h);
}

TEST(SimPlatform, InputReportsWaitUnlessWithheldAndNeedAnOverlappedHandle) {
    SimPlatform sim;
    const auto id = sim.plug(device::sim::unitConfig(u"A"));
    const device::Handle sync = sim.open("sim:hid#0", device::OpenMode::Synchronous, {});
    const device::Handle ov = sim.open("sim:hid#0", device::OpenMode::Overlapped, {});
    Bytes buffer(65, 0xEE);
    device::Overlapped record;
    EXPECT_FALSE(sim.readInputReport(sync, buffer, 65, record));
    EXPECT_TRUE(sim.readInputReport(ov, buffer, 65, record));
    EXPECT_EQ(buffer[0], 0);
    sim.setFailing(id, Operation::Read, true);
    EXPECT_FALSE(sim.readInputReport(ov, buffer, 65, record));
    sim.setFailing(id, Operation::Read, false);
    EXPECT_FALSE(sim.readInputReport(ov, buffer, 64, record)) << "a read shorter than the report is refused";
    sim.close(sync);
    sim.close(ov);
}

}  // namespace
