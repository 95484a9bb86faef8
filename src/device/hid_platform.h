#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace device {

// Opaque handles. The zero value never names an open object, so a failed
// open is told apart from an open handle by comparing with kNoHandle.
enum class Handle : std::uintptr_t {};
enum class EventHandle : std::uintptr_t {};
enum class InterfaceList : std::uintptr_t {};

inline constexpr Handle kNoHandle{0};
inline constexpr EventHandle kNoEvent{0};
inline constexpr InterfaceList kNoList{0};

enum class OpenMode {
    Synchronous,  // attribute, string, capability and feature requests
    Overlapped,   // input-report reads that must never block
};

// The interface's USB identity, as the HID class driver reports it.
struct HidAttributes {
    std::uint32_t Size = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// Report lengths in bytes; each counts the report ID byte, also for a
// device whose reports are unnumbered.
struct HidCaps {
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
};

// Passed to every open and to the event creation; only inheritance is
// meaningful to the backends.
struct SecurityAttributes {
    std::uint32_t nLength = 0;
    bool bInheritHandle = false;
};

// The record that accompanies every input-report read.
struct Overlapped {
    std::uint32_t Offset = 0;
    std::uint32_t OffsetHigh = 0;
    EventHandle hEvent = kNoEvent;
};

// The operating system's HID services, reduced to the calls the program
// makes. The public methods validate every length and handle once and then
// call the backend, so a backend never sees a buffer it could overrun.
// Every method returns failure as a value; none throws.
class HidPlatform {
public:
    static constexpr std::size_t kMaxReportLength = 0xFFFF;

    virtual ~HidPlatform() = default;

    // A snapshot of the HID interfaces present now; kNoList when it cannot be made.
    InterfaceList getClassDevs() { return doGetClassDevs(); }
    // Path of the interface at index; nullopt when none is there, which ends a walk.
    std::optional<std::string> interfacePath(InterfaceList list, std::uint32_t index);
    // The same into a caller's reused string; false, with path untouched, when none is there.
    bool interfacePath(InterfaceList list, std::uint32_t index, std::string& path);
    // Releases a snapshot; kNoList is ignored.
    void destroyList(InterfaceList list) {
        if (list != kNoList) doDestroyList(list);
    }

    // kNoHandle when the path cannot be opened.
    Handle open(std::string_view path, OpenMode mode, const SecurityAttributes& security);
    // Why the last open that returned kNoHandle failed, in the system's words; may be empty.
    const std::string& openFailure() const { return m_openFailure; }
    // True when the handle was open and is now released.
    bool close(Handle handle) { return handle != kNoHandle && doClose(handle); }

    // Fills vendor, product and version; Size must be set by the caller.
    bool getAttributes(Handle handle, HidAttributes& attributes) {
        return handle != kNoHandle && doGetAttributes(handle, attributes);
    }
    enum class StringKind { Serial, Manufacturer, Product };
    // UTF-16LE code units into the first `length` bytes of buffer, zero-terminated when there is room.
    bool getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer, std::uint32_t length);
    bool getSerialNumberString(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length) {
        return getString(handle, StringKind::Serial, buffer, length);
    }
    bool getManufacturerString(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length) {
        return getString(handle, StringKind::Manufacturer, buffer, length);
    }
    bool getProductString(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length) {
        return getString(handle, StringKind::Product, buffer, length);
    }
    // The report lengths of the device open on handle.
    bool getCaps(Handle handle, HidCaps& caps) { return handle != kNoHandle && doGetCaps(handle, caps); }

    // Byte 0 is the report ID and is left as given; data arrives from byte 1.
    bool getFeature(Handle handle, std::span<std::uint8_t> report);
    // Byte 0 is the report ID; the whole span goes to the device.
    bool setFeature(Handle handle, std::span<const std::uint8_t> report);
    // True only when an input report of `length` bytes was available at once; never blocks.
    bool readInputReport(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length, Overlapped& overlapped);

    // A manual- or auto-reset event; kNoEvent on failure.
    EventHandle createEvent(const SecurityAttributes& security, bool manualReset, bool initialState);
    // Releases an event; kNoEvent is ignored.
    void closeEvent(EventHandle event) {
        if (event != kNoEvent) doCloseEvent(event);
    }

protected:
    virtual InterfaceList doGetClassDevs() = 0;
    // The path into the caller's string, written only on success; assigning into a reused
    // string lets a backend copy a kept path without allocating.
    virtual bool doInterfacePath(InterfaceList list, std::uint32_t index, std::string& path) = 0;
    virtual void doDestroyList(InterfaceList list) = 0;
    virtual Handle doOpen(const std::string& path, OpenMode mode, bool inheritable) = 0;
    // Called right after a failed doOpen, before any other call: the system's reason.
    virtual std::string doOpenFailureReason() { return {}; }
    virtual bool doClose(Handle handle) = 0;
    virtual bool doGetAttributes(Handle handle, HidAttributes& attributes) = 0;
    // `buffer` is exactly the requested length; the backend may fill any part of it.
    virtual bool doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) = 0;
    virtual bool doGetCaps(Handle handle, HidCaps& caps) = 0;
    // `report` is at least 2 bytes; byte 0 holds the report ID.
    virtual bool doGetFeature(Handle handle, std::span<std::uint8_t> report) = 0;
    virtual bool doSetFeature(Handle handle, std::span<const std::uint8_t> report) = 0;
    // `buffer` is exactly the requested length, at least 1 byte.
    virtual bool doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped& overlapped) = 0;
    virtual EventHandle doCreateEvent(bool inheritable, bool manualReset, bool initialState) = 0;
    virtual void doCloseEvent(EventHandle event) = 0;

private:
    // Holds the path of the open in progress; its storage outlives the call
    // so that opening one listed interface after another allocates nothing.
    std::string m_openPath;
    std::string m_openFailure;
};

}  // namespace device
