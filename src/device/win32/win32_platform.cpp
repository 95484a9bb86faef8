#include "device/win32/win32_platform.h"

#include "device/interface_detail.h"
#include "device/native_platform.h"

#include <windows.h>

#include <setupapi.h>
// The HID headers of the cross toolchain declare their functions without C
// linkage.
extern "C" {
#include <hidusage.h>
#include <hidpi.h>
#include <hidsdi.h>
}

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace device::win32 {

namespace {

HANDLE toNative(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::uintptr_t fromNative(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// The security record for every open and every event. The record's size is
// the platform's own: 24 bytes in a 64-bit build, not the 12 of a 32-bit one.
SECURITY_ATTRIBUTES securityRecord(bool inheritable) {
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(SECURITY_ATTRIBUTES);
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = inheritable ? TRUE : FALSE;
    return security;
}

}  // namespace

// The read of an overlapped handle lands in a buffer and record owned here,
// not in the caller's, so that even a read the system has not finished
// could never write into memory the caller has reused.
struct Win32Platform::OpenFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool overlapped = false;
    // A listed interface opened for synchronous requests: the path to open
    // at the first request that needs the device, and what the listing said.
    bool deferred = false;
    bool openTried = false;
    bool inheritable = false;
    std::string path;
    std::optional<Identity> identity;
    OVERLAPPED readRecord{};
    std::vector<std::uint8_t> readBuffer;
};

Win32Platform::Win32Platform() = default;

Win32Platform::~Win32Platform() {
    for (auto& [value, file] : m_handles) closeFile(*file);
    m_handles.clear();
    for (std::uintptr_t list : m_lists) SetupDiDestroyDeviceInfoList(toNative(list));
    for (std::uintptr_t event : m_events) CloseHandle(toNative(event));
}

InterfaceList Win32Platform::doGetClassDevs() {
    GUID hidClass{};
    HidD_GetHidGuid(&hidClass);
    HDEVINFO list = SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE || list == nullptr) return kNoList;
    // Identities are those of the latest list: a path names one device
    // instance, whose IDs do not change while it is present.
    m_listed.clear();
    m_lists.insert(fromNative(list));
    return InterfaceList{fromNative(list)};
}

std::optional<std::string> Win32Platform::doInterfacePath(InterfaceList list, std::uint32_t index) {
    const auto value = static_cast<std::uintptr_t>(list);
    if (!m_lists.contains(value)) return std::nullopt;
    HDEVINFO info = toNative(value);
    GUID hidClass{};
    HidD_GetHidGuid(&hidClass);

    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    if (!SetupDiEnumDeviceInterfaces(info, nullptr, &hidClass, index, &interfaceData)) return std::nullopt;

    // The size query fails by design; only the required size matters.
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(info, &interfaceData, nullptr, 0, &required, nullptr);
    constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    // An interface whose detail cannot be had still exists: an empty path
    // passes it over without ending the walk.
    const std::size_t storageBytes = detailStorageBytes(required, kPathOffset, kMaxDetailBytes);
    if (storageBytes == 0) return std::string{};

    // DWORD storage keeps the record aligned.
    std::vector<DWORD> storage(storageBytes / sizeof(DWORD), 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    // cbSize covers only the record's fixed part: 8 bytes in a 64-bit build.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    DWORD written = 0;
    SP_DEVINFO_DATA deviceData{};
    deviceData.cbSize = sizeof(SP_DEVINFO_DATA);
    if (!SetupDiGetDeviceInterfaceDetailA(info, &interfaceData, detail, required, &written, &deviceData))
        return std::string{};

    const std::span<const std::uint8_t> record(reinterpret_cast<const std::uint8_t*>(storage.data()), required);
    std::string path = detailPath(record, kPathOffset);

    // The first of the collection's hardware IDs names vendor, product and
    // revision; reading it needs no handle on the device. A list of strings,
    // each zero-terminated; the buffer keeps a zero past whatever is written.
    std::array<char, 512> ids{};
    DWORD type = 0;
    if (!path.empty() &&
        SetupDiGetDeviceRegistryPropertyA(info, &deviceData, SPDRP_HARDWAREID, &type,
                                          reinterpret_cast<BYTE*>(ids.data()), ids.size() - 1, nullptr) &&
        (type == REG_MULTI_SZ || type == REG_SZ)) {
        if (const auto id = parseHardwareId(std::string_view(ids.data())))
            m_listed[path] = Identity{id->vendor, id->product, id->revision};
    }
    return path;
}

void Win32Platform::doDestroyList(InterfaceList list) {
    const auto value = static_cast<std::uintptr_t>(list);
    if (m_lists.erase(value) == 0) return;
    SetupDiDestroyDeviceInfoList(toNative(value));
}

Handle Win32Platform::doOpen(const std::string& path, OpenMode mode, bool inheritable) {
    if (mode == OpenMode::Synchronous) {
        const auto listed = m_listed.find(path);
        if (listed != m_listed.end()) {
            auto file = std::make_unique<OpenFile>();
            file->deferred = true;
            file->inheritable = inheritable;
            file->path = path;
            file->identity = listed->second;
            const std::uintptr_t value = m_nextDeferred;
            m_nextDeferred += 2;
            m_handles[value] = std::move(file);
            return Handle{value};
        }
    }
    SECURITY_ATTRIBUTES security = securityRecord(inheritable);
    const DWORD flags = mode == OpenMode::Overlapped ? FILE_FLAG_OVERLAPPED : 0;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &security, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return kNoHandle;
    auto file = std::make_unique<OpenFile>();
    file->handle = handle;
    file->overlapped = mode == OpenMode::Overlapped;
    m_handles[fromNative(handle)] = std::move(file);
    return Handle{fromNative(handle)};
}

std::string Win32Platform::doOpenFailureReason() {
    // A failed CreateFileA makes no other call, so the thread's last error
    // is still its reason.
    const DWORD code = GetLastError();
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    // The system's text ends with a full stop and CR LF.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.' || text[n - 1] == ' ')) --n;
    std::string reason(text, n);
    if (reason.empty()) reason = "error " + std::to_string(code);
    return reason;
}

Win32Platform::OpenFile* Win32Platform::find(Handle handle) {
    auto it = m_handles.find(static_cast<std::uintptr_t>(handle));
    return it == m_handles.end() ? nullptr : it->second.get();
}

bool Win32Platform::deviceOpen(OpenFile& file) {
    if (file.handle != INVALID_HANDLE_VALUE) return true;
    // Tried once per handle; the next walk opens the device afresh.
    if (!file.deferred || file.openTried) return false;
    file.openTried = true;
    SECURITY_ATTRIBUTES security = securityRecord(file.inheritable);
    HANDLE handle = CreateFileA(file.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &security, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
    file.handle = handle;
    return true;
}

void Win32Platform::closeFile(OpenFile& file) {
    if (file.handle == INVALID_HANDLE_VALUE) return;
    CloseHandle(file.handle);
    file.handle = INVALID_HANDLE_VALUE;
}

bool Win32Platform::doClose(Handle handle) {
    auto it = m_handles.find(static_cast<std::uintptr_t>(handle));
    if (it == m_handles.end()) return false;
    // Reads never stay pending past their call, so nothing can still write
    // into the read state once the handle is closed and the state freed.
    // A device never opened has nothing to close.
    const bool closed =
        it->second->handle == INVALID_HANDLE_VALUE ? it->second->deferred : CloseHandle(it->second->handle) != FALSE;
    it->second->handle = INVALID_HANDLE_VALUE;
    m_handles.erase(it);
    return closed;
}

bool Win32Platform::doGetAttributes(Handle handle, HidAttributes& attributes) {
    OpenFile* file = find(handle);
    if (!file) return false;
    if (file->identity) {
        attributes.VendorID = file->identity->vendor;
        attributes.ProductID = file->identity->product;
        attributes.VersionNumber = file->identity->version;
        return true;
    }
    if (!deviceOpen(*file)) return false;
    HIDD_ATTRIBUTES native{};
    native.Size = sizeof(HIDD_ATTRIBUTES);
    if (!HidD_GetAttributes(file->handle, &native)) return false;
    attributes.VendorID = native.VendorID;
    attributes.ProductID = native.ProductID;
    attributes.VersionNumber = native.VersionNumber;
    return true;
}

bool Win32Platform::doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    OpenFile* file = find(handle);
    if (!file || !deviceOpen(*file)) return false;
    // The string calls take the buffer's length in bytes and write UTF-16
    // code units; the span is exactly the requested length.
    const auto length = static_cast<ULONG>(buffer.size());
    switch (kind) {
    case StringKind::Serial: return HidD_GetSerialNumberString(file->handle, buffer.data(), length) != FALSE;
    case StringKind::Manufacturer: return HidD_GetManufacturerString(file->handle, buffer.data(), length) != FALSE;
    case StringKind::Product: return HidD_GetProductString(file->handle, buffer.data(), length) != FALSE;
    }
    return false;
}

bool Win32Platform::doGetCaps(Handle handle, HidCaps& caps) {
    OpenFile* file = find(handle);
    if (!file || !deviceOpen(*file)) return false;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(file->handle, &preparsed) || preparsed == nullptr) return false;
    HIDP_CAPS native{};
    const NTSTATUS status = HidP_GetCaps(preparsed, &native);
    HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return false;
    caps.InputReportByteLength = native.InputReportByteLength;
    caps.OutputReportByteLength = native.OutputReportByteLength;
    caps.FeatureReportByteLength = native.FeatureReportByteLength;
    return true;
}

bool Win32Platform::doGetFeature(Handle handle, std::span<std::uint8_t> report) {
    OpenFile* file = find(handle);
    if (!file || !deviceOpen(*file)) return false;
    return HidD_GetFeature(file->handle, report.data(), static_cast<ULONG>(report.size())) != FALSE;
}

bool Win32Platform::doSetFeature(Handle handle, std::span<const std::uint8_t> report) {
    OpenFile* file = find(handle);
    if (!file || !deviceOpen(*file)) return false;
    // The call takes a writable buffer; the caller's bytes are never handed
    // over as one.
    std::vector<std::uint8_t> copy(report.begin(), report.end());
    return HidD_SetFeature(file->handle, copy.data(), static_cast<ULONG>(copy.size())) != FALSE;
}

bool Win32Platform::doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped& overlapped) {
    OpenFile* file = find(handle);
    // A read on a synchronous handle would block the window until a report
    // arrives; only overlapped handles are read.
    if (!file || !file->overlapped) return false;

    file->readBuffer.assign(buffer.size(), 0);
    std::copy(buffer.begin(), buffer.end(), file->readBuffer.begin());
    file->readRecord = OVERLAPPED{};
    file->readRecord.Offset = overlapped.Offset;
    file->readRecord.OffsetHigh = overlapped.OffsetHigh;
    // The caller's event when it is one of ours; otherwise the handle itself
    // is signalled when the read ends.
    const auto event = static_cast<std::uintptr_t>(overlapped.hEvent);
    file->readRecord.hEvent = m_events.contains(event) ? toNative(event) : nullptr;

    DWORD count = 0;
    const auto length = static_cast<DWORD>(file->readBuffer.size());
    if (ReadFile(file->handle, file->readBuffer.data(), length, &count, &file->readRecord)) {
        const std::size_t n = std::min<std::size_t>(count, buffer.size());
        std::copy_n(file->readBuffer.begin(), n, buffer.begin());
        return true;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        // No report was waiting. Closing the handle would not end the read:
        // the system could still write the record and buffer afterwards. So
        // the read is cancelled and waited for before this call returns.
        CancelIoEx(file->handle, &file->readRecord);
        DWORD ignored = 0;
        GetOverlappedResult(file->handle, &file->readRecord, &ignored, TRUE);
    }
    return false;
}

EventHandle Win32Platform::doCreateEvent(bool inheritable, bool manualReset, bool initialState) {
    SECURITY_ATTRIBUTES security = securityRecord(inheritable);
    HANDLE event = CreateEventA(&security, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
    if (event == nullptr) return kNoEvent;
    m_events.insert(fromNative(event));
    return EventHandle{fromNative(event)};
}

void Win32Platform::doCloseEvent(EventHandle event) {
    const auto value = static_cast<std::uintptr_t>(event);
    if (m_events.erase(value) == 0) return;
    CloseHandle(toNative(value));
}

}  // namespace device::win32

namespace device {

std::unique_ptr<HidPlatform> makeNativePlatform() { return std::make_unique<win32::Win32Platform>(); }

}  // namespace device
