// A poll tick with no unit attached, through the Linux backend, over a
// fake sysfs tree of other HID devices laid out as the kernel lays them
// out: when nothing changed, when the set of nodes changed, and without a
// change notification. The baselines, measured in the same run over the
// same tree, are a bare listing of the class directory, with and without
// reading each entry's link.
#include "alloc_counter.h"

#include "device/hex_text.h"
#include "device/hidraw/hidraw_platform.h"
#include "support/fake_sysfs_tree.h"
#include "window/frm_main.h"
#include "support/connected_window.h"
#include "support/window_rules.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using device::hidraw::HidrawPlatform;
using device::hidraw::testing::FakeDevice;
using device::hidraw::testing::FakeSysfsTree;
using device::hidraw::testing::ManualWatch;

// Keyboards and mice with two HID interfaces each, behind four-port hubs, so the
// paths are as deep as on a desktop with many devices; laid out as a unit is.
FakeDevice otherDevice(std::uint32_t number) {
    const std::uint32_t usbDevice = number / 2;
    const std::string port = "1-" + std::to_string(usbDevice / 4 + 1) + "." + std::to_string(usbDevice % 4 + 1);
    const std::uint16_t vendor = 0x0B0E;
    const auto product = static_cast<std::uint16_t>(0x2040 + usbDevice);
    const std::string hidName = "0003:" + device::hexNumber(vendor, 4) + ":" + device::hexNumber(product, 4) + "." +
                                device::hexNumber(number + 1, 4);

    FakeDevice d = FakeSysfsTree::unit(number, port, vendor, product);
    d.hidPath = d.usbPath + "/" + port + ":1." + std::to_string(number % 2) + "/" + hidName;
    d.bcdDevice = "0100\n";
    d.serial = "KB-" + std::to_string(usbDevice) + "\n";
    d.manufacturer = "Other Maker\n";
    d.product = "Keyboard\n";
    return d;
}

void addOthers(FakeSysfsTree& tree, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) tree.add(otherDevice(static_cast<std::uint32_t>(i)));
}

// Lists the class directory; with links, also reads where each entry leads.
// Returns the entries that name a node.
std::int64_t bareList(const std::string& classDir, bool links) {
    DIR* dir = ::opendir(classDir.c_str());
    if (!dir) return -1;
    std::int64_t listed = 0;
    char target[PATH_MAX];
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, "hidraw", 6) != 0) continue;
        if (links && ::readlinkat(::dirfd(dir), entry->d_name, target, sizeof target) <= 0) continue;
        ++listed;
    }
    ::closedir(dir);
    return listed;
}

void runBareList(benchmark::State& state, bool links) {
    FakeSysfsTree tree;
    addOthers(tree, state.range(0));
    const std::string classDir = (tree.sys / "class" / "hidraw").string();
    std::int64_t listed = 0;
    for (auto _ : state) listed += bareList(classDir, links);
    if (listed != state.range(0) * static_cast<std::int64_t>(state.iterations()))
        state.SkipWithError("a node of the fake tree could not be listed");
}

// ---- Baselines -------------------------------------------------------

void BM_BaselineHidrawList(benchmark::State& state) { runBareList(state, false); }
BENCHMARK(BM_BaselineHidrawList)->Arg(16)->Arg(64);

void BM_BaselineHidrawListLinks(benchmark::State& state) { runBareList(state, true); }
BENCHMARK(BM_BaselineHidrawListLinks)->Arg(16)->Arg(64);

// ---- Figures ---------------------------------------------------------

enum class Tick {
    Unchanged,  // nothing changed since the last tick
    Changed,    // the set of nodes changed before this tick, and the event said so
    Listing,    // without a change notification: the class directory is listed every tick
};

// The window over the backend, started as the program starts, with no
// unit among the tree's devices.
class HidrawWindow {
public:
    HidrawWindow(std::int64_t others, Tick tick)
        : platform(tree.sys.string(), tree.dev.string(),
                   tick == Tick::Listing ? nullptr : std::make_unique<ManualWatch>(pending)) {
        addOthers(tree, others);
        form.Form_Load();
    }
    ~HidrawWindow() { testsupport::closeWindow(form); }
    HidrawWindow(const HidrawWindow&) = delete;
    HidrawWindow& operator=(const HidrawWindow&) = delete;

    FakeSysfsTree tree;
    bool pending = false;
    HidrawPlatform platform;
    window::frmMain form{platform};
};

void runTick(benchmark::State& state, Tick what) {
    HidrawWindow w(state.range(0), what);
    w.pending = true;
    if (bench::examineAll(w.platform) != state.range(0) || w.form.SerNo.itemCount() != 0 || !w.form.Timer.enabled()) {
        state.SkipWithError("the fake tree does not read as other HID devices only");
        return;
    }
    // One node leaves and comes back as a new HID device, tick by tick,
    // with the event that says so; the tree's change itself is not timed.
    const auto last = static_cast<std::uint32_t>(state.range(0) - 1);
    const std::filesystem::path classLink = w.tree.sys / "class" / "hidraw" / ("hidraw" + std::to_string(last));
    const std::filesystem::path target = std::filesystem::read_symlink(classLink);
    bool present = true;
    const std::size_t opensBefore = w.platform.nodeOpens();
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        if (what == Tick::Changed) {
            state.PauseTiming();
            if (present) std::filesystem::remove(classLink);
            else std::filesystem::create_directory_symlink(target, classLink);
            present = !present;
            w.pending = true;
            state.ResumeTiming();
        }
        w.form.Timer.expire();
    }
    const std::uint64_t allocations = bench::allocationCount() - before;
    state.counters["allocs"] =
        state.iterations() == 0 ? 0.0 : static_cast<double>(allocations) / static_cast<double>(state.iterations());
    if (w.platform.nodeOpens() != opensBefore) state.SkipWithError("a tick without a unit opened a node");
    if (w.form.connection().DeviceDetected ||
        !testsupport::brokenWindowRule(w.form, w.platform.openHandles(), w.platform.openEvents()).empty() ||
        w.platform.openLists() != 0)
        state.SkipWithError("a tick without a unit left something open");
}

void BM_HidrawTickUnchanged(benchmark::State& state) { runTick(state, Tick::Unchanged); }
BENCHMARK(BM_HidrawTickUnchanged)->Arg(16)->Arg(64);

void BM_HidrawTickChanged(benchmark::State& state) { runTick(state, Tick::Changed); }
BENCHMARK(BM_HidrawTickChanged)->Arg(16)->Arg(64);

void BM_HidrawTickListing(benchmark::State& state) { runTick(state, Tick::Listing); }
BENCHMARK(BM_HidrawTickListing)->Arg(16)->Arg(64);

}  // namespace
