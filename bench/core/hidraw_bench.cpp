// A poll tick with no unit attached, through the Linux backend, over a
// fake sysfs tree of other HID devices laid out as the kernel lays them
// out. Every tick lists the nodes and opens, examines and closes each one;
// its baselines, measured in the same run over the same tree, are the bare
// system calls that work cannot do without.
#include "alloc_counter.h"

#include "device/hidraw/hidraw_platform.h"
#include "hidraw/fake_sysfs_tree.h"
#include "window/frm_main.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

using device::hidraw::HidrawPlatform;
using device::hidraw::testing::FakeDevice;
using device::hidraw::testing::FakeSysfsTree;

// Keyboards and mice with two HID interfaces each, behind four-port hubs,
// so the paths are as deep as on a desktop with many devices.
FakeDevice otherDevice(std::uint32_t number) {
    const std::uint32_t usbDevice = number / 2;
    const std::string port = "1-" + std::to_string(usbDevice / 4 + 1) + "." + std::to_string(usbDevice % 4 + 1);
    const std::uint16_t vendor = 0x0B0E;
    const auto product = static_cast<std::uint16_t>(0x2040 + usbDevice);
    char hidName[32];
    std::snprintf(hidName, sizeof hidName, "0003:%04X:%04X.%04X", vendor, product, number + 1);

    FakeDevice d;
    d.number = number;
    d.usbPath = "pci0000:00/0000:00:14.0/usb1/" + port;
    d.hidPath = d.usbPath + "/" + port + ":1." + std::to_string(number % 2) + "/" + hidName;
    d.uevent = FakeSysfsTree::usbUevent(vendor, product);
    d.bcdDevice = "0100\n";
    d.serial = "KB-" + std::to_string(usbDevice) + "\n";
    d.manufacturer = "Other Maker\n";
    d.product = "Keyboard\n";
    return d;
}

void addOthers(FakeSysfsTree& tree, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) tree.add(otherDevice(static_cast<std::uint32_t>(i)));
}

// How many listed nodes the backend opens and reads the attributes of:
// a tree it cannot read would make every tick look cheap.
std::int64_t examinable(HidrawPlatform& platform) {
    const device::SecurityAttributes security{12, true};
    const device::InterfaceList list = platform.getClassDevs();
    std::int64_t examined = 0;
    for (std::uint32_t index = 0;; ++index) {
        const std::optional<std::string> path = platform.interfacePath(list, index);
        if (!path) break;
        const device::Handle handle = platform.open(*path, device::OpenMode::Synchronous, security);
        device::HidAttributes attributes{12};
        examined += platform.getAttributes(handle, attributes) ? 1 : 0;
        platform.close(handle);
    }
    platform.destroyList(list);
    return examined;
}

// HID_ID from the uevent of the HID device behind a class entry. This
// backend learns a node's IDs there; a real node would also answer an
// ioctl, which the tree's regular files cannot.
bool readHidId(const std::string& classDir, const char* name) {
    char path[PATH_MAX];
    std::snprintf(path, sizeof path, "%s/%s/device/uevent", classDir.c_str(), name);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[4096];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return false;
    text[n] = '\0';
    const char* id = std::strstr(text, "HID_ID=");
    unsigned bus = 0, vendor = 0, product = 0;
    return id && std::sscanf(id + 7, "%x:%x:%x", &bus, &vendor, &product) == 3;
}

// Lists the class directory and opens and closes each node; with identify,
// also reads each node's HID_ID. Returns the nodes fully handled.
std::int64_t bareWalk(const std::string& classDir, const std::string& devDir, bool identify) {
    DIR* dir = ::opendir(classDir.c_str());
    if (!dir) return -1;
    std::int64_t handled = 0;
    char path[PATH_MAX];
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, "hidraw", 6) != 0) continue;
        std::snprintf(path, sizeof path, "%s/%s", devDir.c_str(), entry->d_name);
        const int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        const bool identified = !identify || readHidId(classDir, entry->d_name);
        ::close(fd);
        handled += identified ? 1 : 0;
    }
    ::closedir(dir);
    return handled;
}

void runBareWalk(benchmark::State& state, bool identify) {
    FakeSysfsTree tree;
    addOthers(tree, state.range(0));
    const std::string classDir = (tree.sys / "class" / "hidraw").string();
    const std::string devDir = tree.dev.string();
    std::int64_t handled = 0;
    for (auto _ : state) handled += bareWalk(classDir, devDir, identify);
    if (handled != state.range(0) * static_cast<std::int64_t>(state.iterations()))
        state.SkipWithError("a node of the fake tree could not be handled");
}

// ---- Baselines -------------------------------------------------------

void BM_BaselineHidrawOpenClose(benchmark::State& state) { runBareWalk(state, false); }
BENCHMARK(BM_BaselineHidrawOpenClose)->Arg(16)->Arg(64);

void BM_BaselineHidrawIdentify(benchmark::State& state) { runBareWalk(state, true); }
BENCHMARK(BM_BaselineHidrawIdentify)->Arg(16)->Arg(64);

// ---- Figures ---------------------------------------------------------

// The window over the backend, started as the program starts, with no
// unit among the tree's devices.
class HidrawWindow {
public:
    explicit HidrawWindow(std::int64_t others) {
        addOthers(tree, others);
        form.Form_Load();
    }
    ~HidrawWindow() {
        bool cancel = false;
        form.Form_Unload(cancel);
    }
    HidrawWindow(const HidrawWindow&) = delete;
    HidrawWindow& operator=(const HidrawWindow&) = delete;

    FakeSysfsTree tree;
    HidrawPlatform platform{tree.sys.string(), tree.dev.string()};
    window::frmMain form{platform};
};

void BM_HidrawPollTickNotConnected(benchmark::State& state) {
    HidrawWindow w(state.range(0));
    if (examinable(w.platform) != state.range(0) || w.form.SerNo.itemCount() != 0 || !w.form.Timer.enabled()) {
        state.SkipWithError("the fake tree does not read as other HID devices only");
        return;
    }
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) w.form.Timer.expire();
    const std::uint64_t allocations = bench::allocationCount() - before;
    state.counters["allocs"] =
        state.iterations() == 0 ? 0.0 : static_cast<double>(allocations) / static_cast<double>(state.iterations());
    if (w.form.connection().DeviceDetected || w.platform.openHandles() != 0 || w.platform.openLists() != 0)
        state.SkipWithError("a tick without a unit left something open");
}
BENCHMARK(BM_HidrawPollTickNotConnected)->Arg(16)->Arg(64);

}  // namespace
