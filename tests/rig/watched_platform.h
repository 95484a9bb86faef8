#pragma once

#include "device/hid_platform.h"

#include <cstddef>
#include <functional>
#include <memory>

namespace device::watch {

// Passes every call on to another platform, counting the handles and
// events that are open and telling its owner before each feature report goes out, so a
// runner can check the window over any backend.
class WatchedPlatform final : public HidPlatform {
public:
    explicit WatchedPlatform(std::unique_ptr<HidPlatform> inner) : m_inner(std::move(inner)) {}

    std::size_t openHandles() const { return m_handles; }
    std::size_t openEvents() const { return m_events; }
    std::function<void()> beforeSetFeature;

protected:
    InterfaceList doGetClassDevs() override { return m_inner->getClassDevs(); }
    std::optional<std::string> doInterfacePath(InterfaceList list, std::uint32_t index) override {
        return m_inner->interfacePath(list, index);
    }
    void doDestroyList(InterfaceList list) override { m_inner->destroyList(list); }
    Handle doOpen(const std::string& path, OpenMode mode, bool inheritable) override;
    std::string doOpenFailureReason() override { return m_inner->openFailure(); }
    bool doClose(Handle handle) override;
    bool doGetAttributes(Handle handle, HidAttributes& attributes) override {
        return m_inner->getAttributes(handle, attributes);
    }
    bool doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) override;
    bool doGetCaps(Handle handle, HidCaps& caps) override { return m_inner->getCaps(handle, caps); }
    bool doGetFeature(Handle handle, std::span<std::uint8_t> report) override {
        return m_inner->getFeature(handle, report);
    }
    bool doSetFeature(Handle handle, std::span<const std::uint8_t> report) override;
    bool doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped& overlapped) override;
    EventHandle doCreateEvent(bool inheritable, bool manualReset, bool initialState) override;
    void doCloseEvent(EventHandle event) override;

private:
    std::unique_ptr<HidPlatform> m_inner;
    std::size_t m_handles = 0;
    std::size_t m_events = 0;
};

}  // namespace device::watch
