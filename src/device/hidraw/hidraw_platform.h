#pragma once

#include "device/hid_platform.h"
#include "device/hidraw/report_descriptor.h"
#include "device/hidraw/sysfs.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace device::hidraw {

// Owns one file descriptor and closes it exactly once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    // Whatever close reports, the descriptor is released on Linux; retrying
    // after EINTR could close a descriptor another open has just reused.
    ~UniqueFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            if (m_fd >= 0) ::close(m_fd);
            m_fd = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }

    // The major and minor number of the character device open here; both
    // nullopt for anything else, and sysfs is asked by the node's name.
    std::pair<std::optional<std::uint32_t>, std::optional<std::uint32_t>> charDevice() const {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISCHR(st.st_mode)) return {};
        return {::major(st.st_rdev), ::minor(st.st_rdev)};
    }

private:
    int m_fd = -1;
};

// Values under the ids the platform hands out, never 0, in slots that are
// reused: once the table has grown to what a walk needs, a walk over a list
// that did not change allocates nothing.
template <typename T>
class SlotTable {
public:
    void insert(std::uintptr_t id, T value) {
        if (Slot* free = slotOf(0)) *free = Slot{id, std::move(value)};
        else m_slots.push_back(Slot{id, std::move(value)});
    }
    T* find(std::uintptr_t id) {
        Slot* slot = slotOf(id);
        return slot ? &slot->value : nullptr;
    }
    // Releases what the value holds at once; false when nothing is stored
    // under id.
    bool erase(std::uintptr_t id) {
        Slot* slot = slotOf(id);
        if (slot) *slot = Slot{};
        return slot != nullptr;
    }
    std::size_t size() const {
        const auto used = std::count_if(m_slots.begin(), m_slots.end(), [](const Slot& s) { return s.id != 0; });
        return static_cast<std::size_t>(used);
    }

private:
    struct Slot {
        std::uintptr_t id = 0;  // 0: free
        T value{};
    };
    Slot* slotOf(std::uintptr_t id) {
        for (Slot& slot : m_slots)
            if (slot.id == id) return &slot;
        return nullptr;
    }
    std::vector<Slot> m_slots;
};

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

// The Linux HID services: hidraw nodes, described by sysfs.
//
// The list of interfaces is kept from one walk to the next and made again
// only when the watch says that a hidraw device came or went; without a
// watch it is made on every walk. A listed interface's IDs come from its
// HID device's name, so examining one opens nothing: an open of a listed
// interface for synchronous requests returns at once, and the node is
// opened by the first request that needs the device itself (a string,
// the capabilities, a feature report). Opening a USB HID node that nothing
// else holds starts its interrupt transfers and sleeps in the kernel, and
// keeps the device awake; a walk past other devices must do neither.
//
// A handle describes the device that was listed, or, for an open of a path
// that was not, the device actually opened; when the node was opened, it
// is checked to still be that device. A device that has gone fails its
// requests instead of answering with whatever took its place.
class HidrawPlatform final : public HidPlatform {
public:
    // watch: nullptr lists the class directory on every walk.
    explicit HidrawPlatform(std::string sysRoot = "/sys", std::string devRoot = "/dev",
                            std::unique_ptr<NodeWatch> watch = nullptr);
    HidrawPlatform(const HidrawPlatform&) = delete;
    HidrawPlatform& operator=(const HidrawPlatform&) = delete;

    std::size_t openHandles() const { return m_handles.size(); }
    std::size_t openEvents() const { return m_events.size(); }
    std::size_t openLists() const { return m_lists.size(); }
    // Node opens made so far, at once or on a request's need.
    std::size_t nodeOpens() const { return m_nodeOpens; }

protected:
    InterfaceList doGetClassDevs() override;
    bool doInterfacePath(InterfaceList list, std::uint32_t index, std::string& path) override;
    void doDestroyList(InterfaceList list) override;
    Handle doOpen(const std::string& path, OpenMode mode, bool inheritable) override;
    std::string doOpenFailureReason() override;
    bool doClose(Handle handle) override;
    bool doGetAttributes(Handle handle, HidAttributes& attributes) override;
    bool doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) override;
    bool doGetCaps(Handle handle, HidCaps& caps) override;
    bool doGetFeature(Handle handle, std::span<std::uint8_t> report) override;
    bool doSetFeature(Handle handle, std::span<const std::uint8_t> report) override;
    bool doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped& overlapped) override;
    EventHandle doCreateEvent(bool inheritable, bool manualReset, bool initialState) override;
    void doCloseEvent(EventHandle event) override;

private:
    struct OpenNode {
        UniqueFd fd;
        // Set for a listed interface opened for synchronous requests.
        std::shared_ptr<Interface> listed;
        bool openFailed = false;
        std::optional<NodeDirs> dirs;
        // Read from the device on first need and kept: a device's report
        // descriptor does not change while it stays plugged in.
        std::optional<ReportLengths> lengths;
    };

    OpenNode* find(Handle handle) { return m_handles.find(static_cast<std::uintptr_t>(handle)); }
    bool deviceOpen(OpenNode& node);
    const std::filesystem::path* usbDeviceOf(OpenNode& node);
    const ReportLengths* lengthsOf(OpenNode& node);

    Sysfs m_sysfs;
    std::unique_ptr<NodeWatch> m_watch;
    ListingCache m_listing;
    SlotTable<OpenNode> m_handles;
    SlotTable<std::shared_ptr<const Snapshot>> m_lists;
    // The poll's read never waits, so an event has nothing to signal; it is
    // only an accounted name.
    std::set<std::uintptr_t> m_events;
    std::uintptr_t m_nextId = 1;
    std::size_t m_nodeOpens = 0;
};

}  // namespace device::hidraw
