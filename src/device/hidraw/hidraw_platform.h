#pragma once

#include "device/hid_platform.h"
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

// The Linux HID services: hidraw nodes, described by sysfs. Every handle
// owns its descriptor and the sysfs directories found when it was opened,
// so each request describes the device actually opened, and a device that
// has gone fails its requests instead of answering with whatever took its
// place.
class HidrawPlatform final : public HidPlatform {
public:
    explicit HidrawPlatform(std::string sysRoot = "/sys", std::string devRoot = "/dev");
    ~HidrawPlatform() override;
    HidrawPlatform(const HidrawPlatform&) = delete;
    HidrawPlatform& operator=(const HidrawPlatform&) = delete;

    std::size_t openHandles() const { return m_handles.size(); }
    std::size_t openEvents() const { return m_events.size(); }
    std::size_t openLists() const { return m_lists.size(); }

protected:
    InterfaceList doGetClassDevs() override;
    std::optional<std::string> doInterfacePath(InterfaceList list, std::uint32_t index) override;
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
        std::optional<NodeDirs> dirs;
        // Read from the device on first need and kept: a device's report
        // descriptor does not change while it stays plugged in.
        std::optional<ReportLengths> lengths;
    };

    OpenNode* find(Handle handle);
    const ReportLengths* lengthsOf(OpenNode& node);
    std::uintptr_t nextId();

    Sysfs m_sysfs;
    std::map<std::uintptr_t, std::unique_ptr<OpenNode>> m_handles;
    std::map<std::uintptr_t, std::vector<std::string>> m_lists;
    // The poll's read never waits, so an event has nothing to signal; it is
    // only an accounted name.
    std::set<std::uintptr_t> m_events;
    std::uintptr_t m_nextId = 1;
};

}  // namespace device::hidraw
