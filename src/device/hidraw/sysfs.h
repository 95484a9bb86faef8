#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device::hidraw {

// The identity a HID device's uevent gives: bus type, vendor and product.
struct HidId {
    std::uint16_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

inline constexpr std::uint16_t kBusUsb = 0x0003;

// The sysfs device directories behind one hidraw node. Both are canonical
// paths inside the sysfs root; usbDevice is empty for a device on another bus.
struct NodeDirs {
    std::filesystem::path hidDevice;
    std::filesystem::path usbDevice;
};

// One hidraw interface as the class directory lists it.
struct ListedNode {
    std::uint32_t number = 0;
    std::string node;  // its path under the /dev tree
    // The HID device behind it, relative to the sysfs root:
    // devices/.../BBBB:VVVV:PPPP.NNNN. The kernel never gives the same name
    // to two devices, while it gives a freed node number to the next one.
    std::string hidDevice;
};

// Reads the kernel's description of hidraw interfaces from a sysfs tree
// and names their nodes under a /dev tree. Both roots are parameters so a
// test can lay out a tree of its own; nothing here needs access to the
// nodes themselves.
class Sysfs {
public:
    Sysfs(std::filesystem::path sysRoot, std::filesystem::path devRoot);

    // Node paths of the hidraw interfaces present now, by interface number.
    // Empty when the kernel lists none (no hidraw class at all included);
    // nullopt when the class directory exists but cannot be read.
    std::optional<std::vector<std::string>> hidrawNodes() const;

    // Calls found with each interface present now, in directory order: its
    // number, its node's name and the HID device behind it relative to the
    // root (views that last for the call). One readlink each, nothing
    // opened. True with no call when there is no hidraw class; false when
    // the class directory cannot be read.
    bool listNodes(const std::function<void(std::uint32_t number, std::string_view name, std::string_view hidDevice)>&
                       found) const;

    // The HID device behind a node now, relative to the sysfs root: through
    // its character device number when the tree has it, otherwise through
    // the class entry of the node's name. Nothing is canonicalised.
    std::optional<std::string> hidDeviceNow(std::string_view nodeName, std::optional<std::uint32_t> major,
                                            std::optional<std::uint32_t> minor) const;

    // The USB device directory above a HID device given relative to the
    // root, with its bcdDevice; nullopt when there is none.
    std::optional<std::filesystem::path> usbDeviceAbove(std::string_view hidDevice) const;

    const std::filesystem::path& sysRoot() const { return m_sysRoot; }
    const std::filesystem::path& devRoot() const { return m_devRoot; }

    // The directories behind a node, found from its character device
    // number when there is one in the tree, otherwise from the node's name.
    std::optional<NodeDirs> nodeDirs(std::string_view nodePath, std::optional<std::uint32_t> major,
                                     std::optional<std::uint32_t> minor) const;

    // HID_ID from the HID device's uevent; nullopt when missing or malformed.
    std::optional<HidId> hidId(const std::filesystem::path& hidDevice) const;

    // A text attribute with its one trailing newline removed; nullopt when
    // the device has no such attribute, or what is there is not one (a
    // link, anything but a regular file, more than a page).
    static std::optional<std::string> attribute(const std::filesystem::path& dir, std::string_view name);

private:
    std::optional<std::filesystem::path> insideRoot(const std::filesystem::path& path) const;
    std::optional<NodeDirs> dirsOfHidraw(const std::filesystem::path& hidrawDir) const;

    std::filesystem::path m_sysRoot;
    std::filesystem::path m_devRoot;
};

// The HID device a hidraw link's target names, relative to the sysfs root,
// for a link two levels below the root (class/hidraw/N, dev/char/M:m):
// ../../devices/.../HIDDEVICE/hidraw/NAME. nullopt for anything else,
// a target that would leave the tree included.
std::optional<std::string_view> hidDeviceOfLink(std::string_view target, std::string_view name);

// Bus, vendor and product from a HID device's name, BBBB:VVVV:PPPP.NNNN.
std::optional<HidId> parseHidDeviceName(std::string_view name);

// The interface number of a name of the form hidrawN; nullopt otherwise.
std::optional<std::uint32_t> hidrawNumber(std::string_view name);

}  // namespace device::hidraw
