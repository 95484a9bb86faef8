#pragma once

#include "device/hidraw/sysfs.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace device::hidraw {

// One listed interface, shared by the lists and handles made from it and
// kept across listings while the same HID device is behind it.
struct Interface {
    ListedNode listed;
    std::string name;  // hidrawN
    std::optional<HidId> id;
    // Looked up on first need: a device's place and version do not
    // change while it stays plugged in.
    bool usbLooked = false;
    std::optional<std::filesystem::path> usbDevice;
    std::optional<std::uint16_t> version;
};
using Snapshot = std::vector<std::shared_ptr<Interface>>;

// The interfaces as last listed, by node number. A listing keeps an
// interface whose node still leads to the same HID device, with what was
// learnt about it; a node number that now leads to another device is a
// new interface.
class ListingCache {
public:
    // False, with nothing current, when the class directory cannot be read.
    bool relist(const Sysfs& sysfs);
    // Null until the first listing and after one that failed.
    const std::shared_ptr<const Snapshot>& current() const { return m_current; }
    // The path at index of a snapshot, into path; false past its end.
    bool pathInto(const Snapshot& snapshot, std::uint32_t index, std::string& path);
    // The current interface whose node is path; null when none is.
    std::shared_ptr<Interface> find(const std::string& path) const;

private:
    std::shared_ptr<const Snapshot> m_current;
    // Where the last path handed out sits in m_current: a walk opens the
    // interface it was just given.
    std::size_t m_lastServed = 0;
};

}  // namespace device::hidraw
