#pragma once

#include "support/forwarding_platform.h"

#include <cstddef>
#include <functional>
#include <memory>

namespace device::watch {

// Passes every call on to another platform, counting the handles and
// events that are open and telling its owner before each feature report goes out, so a
// runner can check the window over any backend.
class WatchedPlatform final : public testsupport::ForwardingPlatform {
public:
    explicit WatchedPlatform(std::unique_ptr<HidPlatform> inner)
        : ForwardingPlatform(*inner), m_owned(std::move(inner)) {}

    std::size_t openHandles() const { return m_handles; }
    std::size_t openEvents() const { return m_events; }
    std::function<void()> beforeSetFeature;

protected:
    Handle doOpen(const std::string& path, OpenMode mode, bool inheritable) override {
        const Handle handle = ForwardingPlatform::doOpen(path, mode, inheritable);
        if (handle != kNoHandle) ++m_handles;
        return handle;
    }
    bool doClose(Handle handle) override {
        const bool closed = m_inner.close(handle);
        if (closed) --m_handles;
        return closed;
    }
    bool doSetFeature(Handle handle, std::span<const std::uint8_t> report) override {
        if (beforeSetFeature) beforeSetFeature();
        return m_inner.setFeature(handle, report);
    }
    EventHandle doCreateEvent(bool inheritable, bool manualReset, bool initialState) override {
        const EventHandle event = ForwardingPlatform::doCreateEvent(inheritable, manualReset, initialState);
        if (event != kNoEvent) ++m_events;
        return event;
    }
    void doCloseEvent(EventHandle event) override {
        m_inner.closeEvent(event);
        --m_events;
    }

private:
    std::unique_ptr<HidPlatform> m_owned;
    std::size_t m_handles = 0;
    std::size_t m_events = 0;
};

}  // namespace device::watch
