#include "device/hid_platform.h"

namespace device {

InterfaceList HidPlatform::getClassDevs() { return doGetClassDevs(); }

std::optional<std::string> HidPlatform::interfacePath(InterfaceList list, std::uint32_t index) {
    std::string path;
    if (!interfacePath(list, index, path)) return std::nullopt;
    return path;
}

bool HidPlatform::interfacePath(InterfaceList list, std::uint32_t index, std::string& path) {
    return list != kNoList && doInterfacePath(list, index, path);
}

void HidPlatform::destroyList(InterfaceList list) {
    if (list != kNoList) doDestroyList(list);
}

Handle HidPlatform::open(std::string_view path, OpenMode mode, const SecurityAttributes& security) {
    // An empty path can come from a failed detail query; no backend opens it.
    if (path.empty()) {
        m_openFailure = "empty path";
        return kNoHandle;
    }
    m_openPath.assign(path);
    const Handle handle = doOpen(m_openPath, mode, security.bInheritHandle);
    if (handle == kNoHandle) m_openFailure = doOpenFailureReason();
    else m_openFailure.clear();
    return handle;
}

bool HidPlatform::close(Handle handle) {
    if (handle == kNoHandle) return false;
    return doClose(handle);
}

bool HidPlatform::getAttributes(Handle handle, HidAttributes& attributes) {
    if (handle == kNoHandle) return false;
    return doGetAttributes(handle, attributes);
}

bool HidPlatform::getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer, std::uint32_t length) {
    if (handle == kNoHandle || length == 0 || length > buffer.size()) return false;
    return doGetString(handle, kind, buffer.first(length));
}

bool HidPlatform::getSerialNumberString(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length) {
    return getString(handle, StringKind::Serial, buffer, length);
}

bool HidPlatform::getManufacturerString(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length) {
    return getString(handle, StringKind::Manufacturer, buffer, length);
}

bool HidPlatform::getProductString(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length) {
    return getString(handle, StringKind::Product, buffer, length);
}

bool HidPlatform::getCaps(Handle handle, HidCaps& caps) {
    if (handle == kNoHandle) return false;
    return doGetCaps(handle, caps);
}

bool HidPlatform::getFeature(Handle handle, std::span<std::uint8_t> report) {
    // A feature report is its ID byte plus at least one data byte; both
    // operating systems refuse anything shorter.
    if (handle == kNoHandle || report.size() < 2 || report.size() > kMaxReportLength) return false;
    const std::uint8_t reportId = report[0];
    const bool ok = doGetFeature(handle, report);
    // The ID byte is the caller's, whatever the backend did with it.
    report[0] = reportId;
    return ok;
}

bool HidPlatform::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    if (handle == kNoHandle || report.size() < 2 || report.size() > kMaxReportLength) return false;
    return doSetFeature(handle, report);
}

bool HidPlatform::readInputReport(Handle handle, std::span<std::uint8_t> buffer, std::uint32_t length,
                                  Overlapped& overlapped) {
    if (handle == kNoHandle || length == 0 || length > buffer.size()) return false;
    return doReadInputReport(handle, buffer.first(length), overlapped);
}

EventHandle HidPlatform::createEvent(const SecurityAttributes& security, bool manualReset, bool initialState) {
    return doCreateEvent(security.bInheritHandle, manualReset, initialState);
}

void HidPlatform::closeEvent(EventHandle event) {
    if (event != kNoEvent) doCloseEvent(event);
}

}  // namespace device
