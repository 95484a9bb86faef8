#pragma once

#include "device/hid_platform.h"
#include "device/hidraw/node_watch.h"
#include "device/hidraw/report_descriptor.h"
#include "device/hidraw/sysfs.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace device::hidraw {

// Owns one file descriptor and closes it exactly once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();

private:
    int m_fd = -1;
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
    ~HidrawPlatform() override;
    HidrawPlatform(const HidrawPlatform&) = delete;
    HidrawPlatform& operator=(const HidrawPlatform&) = delete;

    std::size_t openHandles() const;
    std::size_t openEvents() const { return m_events.size(); }
    std::size_t openLists() const;
    // Node opens made so far, at once or on a request's need.
    std::size_t nodeOpens() const { return m_nodeOpens; }

protected:
    InterfaceList doGetClassDevs() override;
    std::optional<std::string> doInterfacePath(InterfaceList list, std::uint32_t index) override;
    bool doInterfacePathInto(InterfaceList list, std::uint32_t index, std::string& path) override;
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
    // One listed interface, shared by the lists and handles made from it
    // and kept across listings while the same HID device is behind it.
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
    struct HandleSlot {
        std::uintptr_t id = 0;  // 0: free
        OpenNode node;
    };
    struct ListSlot {
        std::uintptr_t id = 0;  // 0: free
        std::shared_ptr<const Snapshot> snapshot;
    };

    bool relist();
    std::shared_ptr<Interface> listedAt(const std::string& path);
    OpenNode* find(Handle handle);
    const Snapshot* listOf(InterfaceList list) const;
    bool deviceOpen(OpenNode& node);
    const std::filesystem::path* usbDeviceOf(OpenNode& node);
    const ReportLengths* lengthsOf(OpenNode& node);
    std::uintptr_t nextId();

    Sysfs m_sysfs;
    std::unique_ptr<NodeWatch> m_watch;
    // The interfaces as last listed; null until the first listing and after
    // one that failed.
    std::shared_ptr<const Snapshot> m_current;
    // Where the last path handed out sits in m_current: a walk opens the
    // interface it was just given.
    std::size_t m_lastServed = 0;
    // Slots are reused, so a walk over a list that did not change
    // allocates nothing.
    std::vector<HandleSlot> m_handles;
    std::vector<ListSlot> m_lists;
    // The poll's read never waits, so an event has nothing to signal; it is
    // only an accounted name.
    std::set<std::uintptr_t> m_events;
    std::uintptr_t m_nextId = 1;
    std::size_t m_nodeOpens = 0;
};

}  // namespace device::hidraw
