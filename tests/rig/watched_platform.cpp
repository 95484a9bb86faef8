#include "rig/watched_platform.h"

namespace device::watch {

namespace {

SecurityAttributes securityOf(bool inheritable) { return SecurityAttributes{sizeof(SecurityAttributes), inheritable}; }

}  // namespace

Handle WatchedPlatform::doOpen(const std::string& path, OpenMode mode, bool inheritable) {
    const Handle handle = m_inner->open(path, mode, securityOf(inheritable));
    if (handle != kNoHandle) ++m_handles;
    return handle;
}

bool WatchedPlatform::doClose(Handle handle) {
    const bool closed = m_inner->close(handle);
    if (closed) --m_handles;
    return closed;
}

bool WatchedPlatform::doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    const auto length = static_cast<std::uint32_t>(buffer.size());
    switch (kind) {
    case StringKind::Serial: return m_inner->getSerialNumberString(handle, buffer, length);
    case StringKind::Manufacturer: return m_inner->getManufacturerString(handle, buffer, length);
    case StringKind::Product: return m_inner->getProductString(handle, buffer, length);
    }
    return false;
}

bool WatchedPlatform::doSetFeature(Handle handle, std::span<const std::uint8_t> report) {
    if (beforeSetFeature) beforeSetFeature();
    return m_inner->setFeature(handle, report);
}

bool WatchedPlatform::doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped& overlapped) {
    return m_inner->readInputReport(handle, buffer, static_cast<std::uint32_t>(buffer.size()), overlapped);
}

EventHandle WatchedPlatform::doCreateEvent(bool inheritable, bool manualReset, bool initialState) {
    const EventHandle event = m_inner->createEvent(securityOf(inheritable), manualReset, initialState);
    if (event != kNoEvent) ++m_events;
    return event;
}

void WatchedPlatform::doCloseEvent(EventHandle event) {
    m_inner->closeEvent(event);
    --m_events;
}

}  // namespace device::watch
