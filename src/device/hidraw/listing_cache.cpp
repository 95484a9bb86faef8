#include "device/hidraw/hidraw_platform.h"

#include <algorithm>
#include <utility>

namespace device::hidraw {

bool ListingCache::relist(const Sysfs& sysfs) {
    auto fresh = std::make_shared<Snapshot>();
    const Snapshot* before = m_current.get();
    fresh->reserve(before ? before->size() + 1 : 16);
    const std::string devRoot = sysfs.devRoot().string();
    const bool listed = sysfs.listNodes([&](std::uint32_t number, std::string_view name, std::string_view hidDevice) {
        if (before) {
            const auto it = std::lower_bound(before->begin(), before->end(), number,
                                             [](const auto& i, std::uint32_t n) { return i->listed.number < n; });
            if (it != before->end() && (*it)->listed.number == number && (*it)->listed.hidDevice == hidDevice) {
                fresh->push_back(*it);
                return;
            }
        }
        auto added = std::make_shared<Interface>();
        added->name = std::string(name);
        added->listed = ListedNode{number, devRoot + "/" + added->name, std::string(hidDevice)};
        added->id = parseHidDeviceName(hidDevice);
        // The kernel names every HID device after its IDs; the uevent is
        // read only for a name that does not say them.
        if (!added->id) added->id = sysfs.hidId(sysfs.sysRoot() / added->listed.hidDevice);
        fresh->push_back(std::move(added));
    });
    if (!listed) {
        m_current.reset();
        return false;
    }
    // Directory order is whatever the file system gives; numeric order is
    // stable from one listing to the next (hidraw10 after hidraw9).
    std::sort(fresh->begin(), fresh->end(),
              [](const auto& a, const auto& b) { return a->listed.number < b->listed.number; });
    m_current = std::move(fresh);
    return true;
}

bool ListingCache::pathInto(const Snapshot& snapshot, std::uint32_t index, std::string& path) {
    if (index >= snapshot.size()) return false;
    path.assign(snapshot[index]->listed.node);
    if (&snapshot == m_current.get()) m_lastServed = index;
    return true;
}

std::shared_ptr<Interface> ListingCache::find(const std::string& path) const {
    if (!m_current) return nullptr;
    const Snapshot& current = *m_current;
    if (m_lastServed < current.size() && current[m_lastServed]->listed.node == path) return current[m_lastServed];
    for (const auto& interface : current)
        if (interface->listed.node == path) return interface;
    return nullptr;
}

}  // namespace device::hidraw
