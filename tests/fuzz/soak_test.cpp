#include "support/connected_window.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

namespace {

using device::sim::DeviceId;
using device::sim::Operation;
using device::sim::SimPlatform;

constexpr int kCycles = 3000;

struct Resources {
    std::size_t handles;
    std::size_t events;
    std::size_t lists;
};

Resources resourcesOf(const SimPlatform& sim) { return {sim.openHandles(), sim.openEvents(), sim.openLists()}; }

// Thousands of unplugs, replugs and unit switches through the window's own
// handlers: whatever the window holds afterwards must be what it held
// before, so nothing leaks per cycle however long the program runs.
TEST(Soak, PlugUnplugAndSwitchCyclesLeakNothing) {
    SimPlatform sim;
    std::array<DeviceId, 3> units = {sim.plug(device::sim::unitConfig(u"A1")), sim.plug(device::sim::unitConfig(u"B2")),
                                     sim.plug(device::sim::unitConfig(u"C3"))};
    sim.plug(device::sim::otherDeviceConfig());
    window::frmMain w(sim);
    w.Form_Load();
    ASSERT_TRUE(w.connection().DeviceDetected);
    const Resources before = resourcesOf(sim);
    ASSERT_EQ(before.handles, 2u);
    ASSERT_EQ(before.events, 1u);

    std::size_t unplugs = 0, replugs = 0, switches = 0, losses = 0, emptyTicks = 0;
    for (int i = 0; i < kCycles; ++i) {
        // Unplug whichever unit is connected; the tick notices the loss and
        // connects the last unit still present.
        for (DeviceId id : units)
            if (sim.openHandles(id) == 2) {
                sim.unplug(id);
                ++unplugs;
            }
        w.Timer.expire();
        losses += w.connection().DeviceDetected ? 1 : 0;
        // Every few cycles all units are gone at once, so the window also
        // runs its not-connected rescans.
        if (i % 7 == 0) {
            for (DeviceId id : units) sim.unplug(id);
            w.Timer.expire();
            w.Timer.expire();
            emptyTicks += 2;
            EXPECT_FALSE(w.connection().DeviceDetected);
        }
        for (DeviceId id : units)
            if (!sim.isPresent(id)) {
                sim.replug(id);
                ++replugs;
            }
        w.Timer.expire();
        ASSERT_TRUE(w.connection().DeviceDetected) << "cycle " << i;
        // A person switches to another unit and changes a setting on it.
        w.SerNo.userPick(i % w.SerNo.itemCount());
        ++switches;
        ASSERT_TRUE(w.connection().DeviceDetected) << "cycle " << i;
        w.Enc1.userPick(i % 511);
        EXPECT_EQ(sim.openHandles(), 2u) << "cycle " << i;
    }
    const Resources after = resourcesOf(sim);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.events, before.events);
    EXPECT_EQ(after.lists, 0u);
    EXPECT_EQ(sim.eventsCreated(), 1u);

    testsupport::closeWindow(w);
    EXPECT_EQ(sim.openHandles(), 0u);

    std::printf(
        "soak: %d cycles, %zu unplugs, %zu replugs, %zu unit switches, %zu reconnects after a loss, "
        "%zu ticks with no unit attached; "
        "%zu opens, %zu interface lists, %zu feature writes; "
        "open handles %zu before and %zu after, event objects %zu before and %zu after (%zu ever created), "
        "%zu handles open after the close\n",
        kCycles, unplugs, replugs, switches, losses, emptyTicks, sim.calls(Operation::Open), sim.listsBuilt(),
        sim.featureWrites(), before.handles, after.handles, before.events, after.events, sim.eventsCreated(),
        sim.openHandles());
}

}  // namespace
