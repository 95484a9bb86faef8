#pragma once

#include "device/hid_platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Passes every call on to another platform; a decorator overrides the
// calls it keeps account of.
class ForwardingPlatform : public device::HidPlatform {
public:
    explicit ForwardingPlatform(device::HidPlatform& inner) : m_inner(inner) {}

protected:
    static device::SecurityAttributes securityOf(bool inheritable) {
        return {sizeof(device::SecurityAttributes), inheritable};
    }

    device::InterfaceList doGetClassDevs() override { return m_inner.getClassDevs(); }
    bool doInterfacePath(device::InterfaceList list, std::uint32_t index, std::string& path) override {
        return m_inner.interfacePath(list, index, path);
    }
    void doDestroyList(device::InterfaceList list) override { m_inner.destroyList(list); }
    device::Handle doOpen(const std::string& path, device::OpenMode mode, bool inheritable) override {
        return m_inner.open(path, mode, securityOf(inheritable));
    }
    std::string doOpenFailureReason() override { return m_inner.openFailure(); }
    bool doClose(device::Handle handle) override { return m_inner.close(handle); }
    bool doGetAttributes(device::Handle handle, device::HidAttributes& attributes) override {
        return m_inner.getAttributes(handle, attributes);
    }
    bool doGetString(device::Handle handle, StringKind kind, std::span<std::uint8_t> buffer) override {
        return m_inner.getString(handle, kind, buffer, static_cast<std::uint32_t>(buffer.size()));
    }
    bool doGetCaps(device::Handle handle, device::HidCaps& caps) override { return m_inner.getCaps(handle, caps); }
    bool doGetFeature(device::Handle handle, std::span<std::uint8_t> report) override {
        return m_inner.getFeature(handle, report);
    }
    bool doSetFeature(device::Handle handle, std::span<const std::uint8_t> report) override {
        return m_inner.setFeature(handle, report);
    }
    bool doReadInputReport(device::Handle handle, std::span<std::uint8_t> buffer,
                           device::Overlapped& overlapped) override {
        return m_inner.readInputReport(handle, buffer, static_cast<std::uint32_t>(buffer.size()), overlapped);
    }
    device::EventHandle doCreateEvent(bool inheritable, bool manualReset, bool initialState) override {
        return m_inner.createEvent(securityOf(inheritable), manualReset, initialState);
    }
    void doCloseEvent(device::EventHandle event) override { m_inner.closeEvent(event); }

    device::HidPlatform& m_inner;
};

// The path of every interface one walk of the platform lists, in order.
inline std::vector<std::string> interfacePaths(device::HidPlatform& platform) {
    std::vector<std::string> paths;
    const device::InterfaceList list = platform.getClassDevs();
    for (std::uint32_t i = 0;; ++i) {
        std::optional<std::string> path = platform.interfacePath(list, i);
        if (!path) break;
        paths.push_back(*path);
    }
    platform.destroyList(list);
    return paths;
}

}  // namespace testsupport
