#include "device/win32/win32_platform.h"

#include "device/interface_detail.h"
#include "device/native_platform.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <dbt.h>
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
#include <future>
#include <thread>
#include <vector>

namespace device::win32 {

namespace {

// The longest interface detail record accepted from the device-setup
// services; a larger required size is treated as a failed query.
constexpr std::uint32_t kMaxDetailBytes = 64 * 1024;
// More interfaces than this in one class list are not taken as real.
constexpr std::uint32_t kMaxInterfaces = 64 * 1024;

HANDLE toNative(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::uintptr_t fromNative(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// The security record for every open and every event. The record's size is
// the platform's own: 24 bytes in a 64-bit build, not the 12 of a 32-bit one.
SECURITY_ATTRIBUTES securityRecord(bool inheritable) {
    return SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, inheritable ? TRUE : FALSE};
}

// The device for reading and writing, shared with every other opener;
// nullptr when the system refuses it.
HANDLE openDevice(const std::string& path, bool inheritable, DWORD flags) {
    SECURITY_ATTRIBUTES security = securityRecord(inheritable);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &security, OPEN_EXISTING, flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// The interface's path, empty when its detail cannot be had, and the
// identity its hardware ID spells, when it spells one.
std::string interfaceDetail(HDEVINFO info, SP_DEVICE_INTERFACE_DATA& interfaceData,
                            std::optional<HardwareIdentity>& identity) {
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
        identity = parseHardwareId(std::string_view(ids.data()));
    }
    return path;
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
    std::string path;  // also of a handle opened at once
    std::optional<HardwareIdentity> identity;
    OVERLAPPED readRecord{};
    std::vector<std::uint8_t> readBuffer;
};

// Says when a HID interface arrives or is removed, by whichever means the
// system offers; registered before the first walk, so a device that arrives
// during it is walked again rather than missed.
class Win32Platform::NoticeSource {
public:
    explicit NoticeSource(ListingFreshness& freshness) : m_freshness(freshness) {
        HidD_GetHidGuid(&m_hidClass);
        if (!registerConfigManager()) registerWindow();
    }
    ~NoticeSource() {
        if (m_notification) m_unregister(m_notification);
        if (m_thread.joinable()) {
            // The thread only ever waits for messages, so it takes this one.
            PostMessageW(m_window, kStop, 0, 0);
            m_thread.join();
        }
        if (m_configManager) FreeLibrary(m_configManager);
    }
    NoticeSource(const NoticeSource&) = delete;
    NoticeSource& operator=(const NoticeSource&) = delete;

    bool registered() const { return m_notification != nullptr || m_window != nullptr; }

private:
    static constexpr UINT kStop = WM_APP + 1;
    using Register = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
    using Unregister = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

    // Looked up at run time: older systems, and Wine before 10.4, do not
    // have it or answer CR_CALL_NOT_IMPLEMENTED.
    bool registerConfigManager() {
        m_configManager = LoadLibraryW(L"cfgmgr32.dll");
        if (!m_configManager) return false;
        const auto reg = reinterpret_cast<Register>(
            reinterpret_cast<void*>(GetProcAddress(m_configManager, "CM_Register_Notification")));
        m_unregister = reinterpret_cast<Unregister>(
            reinterpret_cast<void*>(GetProcAddress(m_configManager, "CM_Unregister_Notification")));
        if (reg && m_unregister) {
            CM_NOTIFY_FILTER filter{};
            filter.cbSize = sizeof filter;
            filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
            filter.u.DeviceInterface.ClassGuid = m_hidClass;
            HCMNOTIFICATION notification = nullptr;
            if (reg(&filter, this, &NoticeSource::onConfigManagerNotice, &notification) == CR_SUCCESS &&
                notification != nullptr) {
                m_notification = notification;
                return true;
            }
        }
        FreeLibrary(m_configManager);
        m_configManager = nullptr;
        return false;
    }

    // Runs on a thread of the system's pool.
    static DWORD CALLBACK onConfigManagerNotice(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                                                PCM_NOTIFY_EVENT_DATA, DWORD) {
        if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL || action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL)
            static_cast<NoticeSource*>(context)->m_freshness.interfaceChanged();
        return ERROR_SUCCESS;
    }

    // The system sends WM_DEVICECHANGE to the window and gives up when the
    // window's thread does not take it in time (2 s under Wine), so the
    // window lives on a thread that does nothing but take messages.
    void registerWindow() {
        std::promise<HWND> ready;
        std::future<HWND> window = ready.get_future();
        try {
            m_thread = std::thread([this, &ready] { run(ready); });
        } catch (...) {
            return;
        }
        m_window = window.get();
        if (!m_window) m_thread.join();
    }

    void run(std::promise<HWND>& ready) {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &NoticeSource::windowProcedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kClassName;
        // Another platform in the process may have registered the class.
        const bool classMade = RegisterClassExW(&windowClass) != 0;
        HWND window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        HDEVNOTIFY notify = nullptr;
        if (window) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = m_hidClass;
            notify = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            if (!notify) {
                DestroyWindow(window);
                window = nullptr;
            }
        }
        ready.set_value(window);
        if (window) {
            MSG message{};
            BOOL got = FALSE;
            while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0 && message.message != kStop)
                DispatchMessageW(&message);
            // A queue that fails can say nothing more.
            if (got < 0) m_freshness.sourceLost();
            UnregisterDeviceNotification(notify);
            DestroyWindow(window);
        }
        if (classMade) UnregisterClassW(kClassName, instance);
    }

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            // Registered for the HID interface class alone; whatever the
            // record names, the list may have changed.
            if (auto* self = reinterpret_cast<NoticeSource*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
                self->m_freshness.interfaceChanged();
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static constexpr const wchar_t* kClassName = L"VandrelHidNotices";

    ListingFreshness& m_freshness;
    GUID m_hidClass{};
    HMODULE m_configManager = nullptr;
    Unregister m_unregister = nullptr;
    HCMNOTIFICATION m_notification = nullptr;
    std::thread m_thread;
    HWND m_window = nullptr;
};

Win32Platform::Win32Platform(Notices notices) : m_freshness(notices == Notices::Watched) {
    if (notices == Notices::None) return;
    m_notices = std::make_unique<NoticeSource>(m_freshness);
    if (!m_notices->registered()) {
        m_notices.reset();
        m_freshness.sourceLost();
    }
}

Win32Platform::~Win32Platform() {
    // No notice may arrive once the state it marks is gone.
    m_notices.reset();
    for (auto& [value, file] : m_handles)
        if (file->handle != INVALID_HANDLE_VALUE) CloseHandle(file->handle);
    m_handles.clear();
    for (std::uintptr_t event : m_events) CloseHandle(toNative(event));
}

InterfaceList Win32Platform::doGetClassDevs() {
    if (m_freshness.walkNeeded(ListingFreshness::Clock::now())) {
        std::shared_ptr<const Snapshot> fresh = walk();
        m_freshness.walkEnded(fresh != nullptr, !fresh || !m_current || *fresh != *m_current);
        m_current = std::move(fresh);
    }
    if (!m_current) return kNoList;
    const std::uintptr_t value = m_nextList++;
    m_lists.emplace(value, m_current);
    return InterfaceList{value};
}

std::shared_ptr<const Win32Platform::Snapshot> Win32Platform::walk() {
    GUID hidClass{};
    HidD_GetHidGuid(&hidClass);
    HDEVINFO info = SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (info == INVALID_HANDLE_VALUE || info == nullptr) return nullptr;
    ++m_walks;
    // Identities are those of the latest walk: a path names one device
    // instance, whose IDs do not change while it is present.
    m_listed.clear();
    auto paths = std::make_shared<Snapshot>();
    for (DWORD index = 0; index < kMaxInterfaces; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (!SetupDiEnumDeviceInterfaces(info, nullptr, &hidClass, index, &interfaceData)) break;
        std::optional<HardwareIdentity> id;
        paths->push_back(interfaceDetail(info, interfaceData, id));
        if (id && !paths->back().empty()) m_listed[paths->back()] = *id;
    }
    SetupDiDestroyDeviceInfoList(info);
    return paths;
}

bool Win32Platform::doInterfacePath(InterfaceList list, std::uint32_t index, std::string& path) {
    const auto it = m_lists.find(static_cast<std::uintptr_t>(list));
    if (it == m_lists.end() || index >= it->second->size()) return false;
    path.assign((*it->second)[index]);
    return true;
}

void Win32Platform::doDestroyList(InterfaceList list) { m_lists.erase(static_cast<std::uintptr_t>(list)); }

Handle Win32Platform::doOpen(const std::string& path, OpenMode mode, bool inheritable) {
    if (const auto listed = m_listed.find(path); mode == OpenMode::Synchronous && listed != m_listed.end()) {
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
    HANDLE handle = openDevice(path, inheritable, mode == OpenMode::Overlapped ? FILE_FLAG_OVERLAPPED : 0);
    if (!handle) return kNoHandle;
    auto file = std::make_unique<OpenFile>();
    file->handle = handle;
    file->overlapped = mode == OpenMode::Overlapped;
    file->path = path;
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
    if (HANDLE handle = openDevice(file.path, file.inheritable, 0)) file.handle = handle;
    return file.handle != INVALID_HANDLE_VALUE;
}

bool Win32Platform::doClose(Handle handle) {
    auto it = m_handles.find(static_cast<std::uintptr_t>(handle));
    if (it == m_handles.end()) return false;
    // Reads never stay pending past their call, so nothing can still write
    // into the read state once the handle is closed and the state freed.
    // A device never opened has nothing to close.
    const bool closed =
        it->second->handle == INVALID_HANDLE_VALUE ? it->second->deferred : CloseHandle(it->second->handle) != FALSE;
    m_handles.erase(it);
    return closed;
}

bool Win32Platform::doGetAttributes(Handle handle, HidAttributes& attributes) {
    OpenFile* file = find(handle);
    if (!file) return false;
    std::optional<HardwareIdentity> identity = file->identity;
    if (!identity) {
        if (!deviceOpen(*file)) return false;
        HIDD_ATTRIBUTES native{};
        native.Size = sizeof(HIDD_ATTRIBUTES);
        if (!HidD_GetAttributes(file->handle, &native)) return false;
        identity = HardwareIdentity{native.VendorID, native.ProductID, native.VersionNumber};
        // A listed interface whose hardware ID did not say its identity
        // (Wine's own mouse and keyboard give no revision) is opened for it
        // once per walk, not on every tick: its IDs do not change while it
        // is present.
        if (m_current && std::find(m_current->begin(), m_current->end(), file->path) != m_current->end())
            m_listed.try_emplace(file->path, *identity);
    }
    attributes.VendorID = identity->vendor;
    attributes.ProductID = identity->product;
    attributes.VersionNumber = identity->revision;
    return true;
}

bool Win32Platform::doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    OpenFile* file = find(handle);
    if (!file || !deviceOpen(*file)) return false;
    // The string calls take the buffer's length in bytes and write UTF-16
    // code units; the span is exactly the requested length.
    const auto request = kind == StringKind::Serial         ? HidD_GetSerialNumberString
                         : kind == StringKind::Manufacturer ? HidD_GetManufacturerString
                                                            : HidD_GetProductString;
    return request(file->handle, buffer.data(), static_cast<ULONG>(buffer.size())) != FALSE;
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

    file->readBuffer.assign(buffer.begin(), buffer.end());
    file->readRecord = OVERLAPPED{};
    file->readRecord.Offset = overlapped.Offset;
    file->readRecord.OffsetHigh = overlapped.OffsetHigh;
    // The caller's event when it is one of ours; otherwise the handle itself
    // is signalled when the read ends.
    const auto event = static_cast<std::uintptr_t>(overlapped.hEvent);
    file->readRecord.hEvent = m_events.contains(event) ? toNative(event) : nullptr;

    DWORD count = 0;
    const auto length = static_cast<DWORD>(file->readBuffer.size());
    bool read = ReadFile(file->handle, file->readBuffer.data(), length, &count, &file->readRecord) != FALSE;
    if (!read && GetLastError() == ERROR_IO_PENDING) {
        // No report was waiting. Closing the handle would not end the read:
        // the system could still write the record and buffer afterwards. So
        // the read is cancelled and waited for before this call returns. A
        // report that arrived before the cancel took effect was read all the
        // same, and the unit answered.
        CancelIoEx(file->handle, &file->readRecord);
        read = GetOverlappedResult(file->handle, &file->readRecord, &count, TRUE) != FALSE;
    }
    if (!read) return false;
    std::copy_n(file->readBuffer.begin(), std::min<std::size_t>(count, buffer.size()), buffer.begin());
    return true;
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
    if (m_events.erase(value) != 0) CloseHandle(toNative(value));
}

}  // namespace device::win32

namespace device {

std::unique_ptr<HidPlatform> makeNativePlatform(ListingUse use) {
    return std::make_unique<win32::Win32Platform>(use == ListingUse::Repeated ? win32::Win32Platform::Notices::Watched
                                                                              : win32::Win32Platform::Notices::None);
}

}  // namespace device
