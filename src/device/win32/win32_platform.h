#pragma once

#include "device/hid_platform.h"
#include "device/interface_detail.h"
#include "device/listing_freshness.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace device::win32 {

// The HID services of Windows. Every handle, list and event it hands out is
// remembered, so a value it did not issue (or has already released) is
// refused instead of reaching the system, and whatever is still open when
// the platform goes away is released then.
//
// A listed interface's vendor, product and version come from its hardware
// ID, read with the list; a synchronous open of a listed interface returns
// at once, and the device is opened by the first request that needs it (a
// string, the capabilities, a feature report). Examining a device that is
// not a unit opens nothing. An interface whose hardware ID does not say all
// three is opened for its attributes the first time after each walk.
//
// The list of interfaces and their identities is kept from one walk to the
// next and read from the device-setup services again only after the system
// said that a HID interface arrived or was removed. Walking the class list
// is costly (under Wine every interface ever registered is visited through
// the registry) and Microsoft advises against repeating it on a timer. The
// notices come from CM_Register_Notification where the system has it, else
// from RegisterDeviceNotificationW to a message-only window on a thread of
// the backend's own, which always pumps, so a notice is never dropped while
// the window's thread is busy. Where neither can be registered, every walk
// reads the list afresh. The list is also read when it is older than
// ListingFreshness::kCheckEvery, so a source that registers but never
// speaks is found out and given up.
class Win32Platform final : public HidPlatform {
public:
    enum class Notices {
        Watched,  // registered before the first walk; the list is kept
        None,     // a program that walks once: every walk reads the list
    };

    explicit Win32Platform(Notices notices = Notices::Watched);
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    std::size_t openHandles() const { return m_handles.size(); }
    std::size_t openLists() const { return m_lists.size(); }
    std::size_t openEvents() const { return m_events.size(); }

    // Whether a source of notices is registered and working.
    bool watched() const { return m_freshness.announced(); }
    // Reads of the class list from the device-setup services so far.
    std::size_t walks() const { return m_walks; }

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
    struct OpenFile;  // one handle from CreateFileA and, when overlapped, its read state
    class NoticeSource;
    using Snapshot = std::vector<std::string>;

    // The class list read afresh, with each interface's identity into m_listed.
    std::shared_ptr<const Snapshot> walk();
    OpenFile* find(Handle handle);
    // The file's device opened on first need; false when it cannot be.
    bool deviceOpen(OpenFile& file);

    ListingFreshness m_freshness;
    std::unique_ptr<NoticeSource> m_notices;
    std::size_t m_walks = 0;
    std::map<std::uintptr_t, std::unique_ptr<OpenFile>> m_handles;
    // The interfaces as last walked; null until a walk succeeds.
    std::shared_ptr<const Snapshot> m_current;
    // The identities the last walk read, by path.
    std::map<std::string, HardwareIdentity> m_listed;
    // Handles of devices not opened yet are odd numbers, which no system
    // handle is.
    std::uintptr_t m_nextDeferred = 1;
    std::map<std::uintptr_t, std::shared_ptr<const Snapshot>> m_lists;
    std::uintptr_t m_nextList = 1;
    std::set<std::uintptr_t> m_events;
};

}  // namespace device::win32
