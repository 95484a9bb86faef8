#pragma once

#include <array>
#include <cstddef>
#include <memory>

namespace device::hidraw {

// Tells the backend when hidraw interfaces may have come or gone, so that
// it lists the class directory again only then.
class NodeWatch {
public:
    virtual ~NodeWatch() = default;
    // True when a hidraw device was added or removed since the last call,
    // or when that cannot be ruled out; never blocks.
    virtual bool changed() = 0;
};

// The kernel's own device events, from its uevent netlink socket; nullptr
// where the socket cannot be had (a sandbox without netlink).
//
// The kernel's events are taken rather than udev's: they need no daemon
// (a container or a minimal guest has none), and the backend learns only
// that the set of nodes changed. That the kernel speaks before udev has set
// a new node's owner does not matter here: listing reads sysfs alone, and a
// unit whose node cannot be opened yet fails its serial request and is
// tried again on the next tick, which opens it afresh. Inotify on /dev
// would see every device node of the machine, and nodes made by hand.
std::unique_ptr<NodeWatch> makeUeventWatch();

}  // namespace device::hidraw
