#include "device/hid_platform.h"

namespace device {

std::optional<std::string> HidPlatform::interfacePath(InterfaceList list, std::uint32_t index) {
    std::string path;
    if (!interfacePath(list, index, path)) return std::nullopt;
    return path;
}

bool HidPlatform::interfacePath(InterfaceList list, std::uint32_t index, std::string& path) {
    return list != kNoList && doInterfacePath(list, index, path);
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

bool HidPlatform::getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer, std::uint32_t length) {
    if (handle == kNoHandle || length == 0 || length > buffer.size()) return false;
    return doGetString(handle, kind, buffer.first(length));
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

}  // namespace device
