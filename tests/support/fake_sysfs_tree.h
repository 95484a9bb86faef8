#pragma once

// Builds a sysfs and /dev tree of hidraw interfaces in a temporary
// directory, without any test framework, so the backend's tests and its
// benchmarks lay out the same tree.
#include "device/hex_text.h"
#include "device/hidraw/hidraw_platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace device::hidraw::testing {

// What one fake HID interface looks like in the tree. Strings left empty
// are attributes the device does not have.
struct FakeDevice {
    std::uint32_t number = 0;  // hidrawN
    std::string uevent;        // contents of the HID device's uevent
    std::string usbPath;       // USB device below sys/devices; empty: not on USB
    std::string hidPath;       // HID device below sys/devices
    std::optional<std::string> bcdDevice;
    std::optional<std::string> serial, manufacturer, product;
};

// The tree is laid out the way the kernel lays out hidraw interfaces: class
// links, the HID device with its uevent and hidraw/hidrawN directory, the
// USB device's attributes above it, the dev/char links by device number,
// and a regular file per /dev node. It exists from construction on and is
// removed with the object.
class FakeSysfsTree {
public:
    FakeSysfsTree() : root(makeRoot()), sys(root / "sys"), dev(root / "dev") {
        std::filesystem::create_directories(sys);
        std::filesystem::create_directories(dev);
    }
    ~FakeSysfsTree() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    FakeSysfsTree(const FakeSysfsTree&) = delete;
    FakeSysfsTree& operator=(const FakeSysfsTree&) = delete;

    static void write(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    static void link(const std::filesystem::path& target, const std::filesystem::path& at) {
        std::filesystem::create_directories(at.parent_path());
        std::filesystem::create_directory_symlink(std::filesystem::relative(target, at.parent_path()), at);
    }

    static std::string usbUevent(std::uint16_t vendor, std::uint16_t product, std::uint16_t bus = 3) {
        using device::hexNumber;
        return "DRIVER=hid-generic\nHID_ID=" + hexNumber(bus, 4) + ":" + hexNumber(vendor, 8) + ":" +
               hexNumber(product, 8) + "\nHID_NAME=Test\n";
    }

    // Adds the device and returns its hidraw directory.
    std::filesystem::path add(const FakeDevice& d) {
        const std::string name = "hidraw" + std::to_string(d.number);
        const auto devices = sys / "devices";
        if (!d.usbPath.empty()) {
            const auto usb = devices / d.usbPath;
            write(usb / "idVendor", "1209\n");
            if (d.bcdDevice) write(usb / "bcdDevice", *d.bcdDevice);
            if (d.serial) write(usb / "serial", *d.serial);
            if (d.manufacturer) write(usb / "manufacturer", *d.manufacturer);
            if (d.product) write(usb / "product", *d.product);
        }
        const auto hid = devices / d.hidPath;
        write(hid / "uevent", d.uevent);
        const auto hidrawDir = hid / "hidraw" / name;
        std::filesystem::create_directories(hidrawDir);
        link(hid, hidrawDir / "device");
        link(hidrawDir, sys / "class" / "hidraw" / name);
        link(hidrawDir, sys / "dev" / "char" / ("242:" + std::to_string(d.number)));
        write(dev / name, "");
        return hidrawDir;
    }

    // A unit-like USB HID device on bus 1 at the given port; the IDs decide
    // whether the program takes it for a unit.
    static FakeDevice unit(std::uint32_t number, const std::string& port, std::uint16_t vendor, std::uint16_t product) {
        FakeDevice d;
        d.number = number;
        d.usbPath = "pci0000:00/0000:00:14.0/usb1/" + port;
        // The kernel names a HID device after its bus and IDs, which the
        // backend reads from the name.
        const std::string ids = device::hexNumber(vendor, 4) + ":" + device::hexNumber(product, 4);
        d.hidPath = d.usbPath + "/" + port + ":1.0/0003:" + ids + "." + std::to_string(number + 1);
        d.uevent = usbUevent(vendor, product);
        d.bcdDevice = "0112\n";
        d.serial = "VD-00010" + std::to_string(number) + "\n";
        d.manufacturer = "Vandrel Ger\xC3\xA4tebau\n";
        d.product = "Vandrel Pulse Generator\n";
        return d;
    }

    std::string node(std::uint32_t number) const { return (dev / ("hidraw" + std::to_string(number))).string(); }

    const std::filesystem::path root, sys, dev;

private:
    static std::filesystem::path makeRoot() {
        std::string templ = (std::filesystem::temp_directory_path() / "vandrel-hidraw-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
        return templ;
    }
};

// Tells the backend that the node set changed only when the caller says so,
// in place of the kernel's device events.
class ManualWatch final : public NodeWatch {
public:
    explicit ManualWatch(bool& pending) : m_pending(pending) {}
    bool changed() override { return std::exchange(m_pending, false); }

private:
    bool& m_pending;
};

}  // namespace device::hidraw::testing
