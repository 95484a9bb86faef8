#include "device/sim/sim_platform.h"

#include "device/product_ids.h"

#include <algorithm>
#include <cassert>
#include <set>
#include <utility>

namespace device::sim {

namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(Operation::kCount)> kOperationNames = {
    "open", "attributes", "serial", "manufacturer", "product", "caps", "get_feature", "set_feature", "read",
};

constexpr std::array<std::string_view, 4> kFeatureAnswerNames = {"answer", "stall", "silent", "unplug"};

constexpr std::string_view kPathPrefix = "sim:hid#";

std::uintptr_t raw(Handle h) { return static_cast<std::uintptr_t>(h); }

template <typename Enum, std::size_t N>
std::optional<Enum> fromName(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == name) return static_cast<Enum>(i);
    return std::nullopt;
}

}  // namespace

std::optional<Operation> operationFromName(std::string_view name) { return fromName<Operation>(kOperationNames, name); }

std::optional<FeatureAnswer> featureAnswerFromName(std::string_view name) {
    return fromName<FeatureAnswer>(kFeatureAnswerNames, name);
}

std::string_view featureAnswerName(FeatureAnswer answer) {
    return kFeatureAnswerNames[static_cast<std::size_t>(answer)];
}

DeviceConfig unitConfig(std::u16string serial) {
    DeviceConfig c;
    c.vendorId = DeviceVendorId;
    c.productId = DeviceProductId;
    c.version = 0x0112;
    c.serial = std::move(serial);
    c.manufacturer = u"Vandrel Instruments";
    c.product = u"Vandrel Pulse Generator";
    c.inputLength = 65;
    c.featureLength = 9;
    c.isUnit = true;
    c.featureImage = {0x00, 0x8C, 0x00, 0x01, 0x00, 0x02, 0x58, 0x27, 0x10};
    return c;
}

DeviceConfig otherDeviceConfig() {
    DeviceConfig c;
    c.vendorId = 0x0B0E;
    c.productId = 0x2040;
    c.version = 0x0100;
    c.serial = u"KB-0001";
    c.manufacturer = u"Generic";
    c.product = u"USB Keyboard";
    c.inputLength = 9;
    c.outputLength = 2;
    return c;
}

std::string SimPlatform::pathOf(DeviceId id) { return std::string(kPathPrefix) + std::to_string(id); }

DeviceId SimPlatform::plug(DeviceConfig config) {
    const DeviceId id = m_devices.size();
    Device device;
    device.config = std::move(config);
    m_devices.push_back(std::move(device));
    enumerate(id);
    m_freshness.interfaceChanged();
    return id;
}

SimPlatform::Device& SimPlatform::device(DeviceId id) {
    assert(id < m_devices.size());
    return m_devices[id];
}

const SimPlatform::Device& SimPlatform::device(DeviceId id) const {
    assert(id < m_devices.size());
    return m_devices[id];
}

void SimPlatform::unplug(DeviceId id) {
    Device& d = device(id);
    if (!d.present) return;
    d.present = false;
    ++d.generation;
    m_order.erase(std::remove(m_order.begin(), m_order.end(), id), m_order.end());
    m_freshness.interfaceChanged();
}

void SimPlatform::replug(DeviceId id) {
    Device& d = device(id);
    if (d.present) return;
    d.present = true;
    enumerate(id);
    m_freshness.interfaceChanged();
}

void SimPlatform::enumerate(DeviceId id) {
    // Interfaces are listed by number, and a new interface takes the lowest
    // number that is free, as hidraw minors are given out. A number stays
    // taken while any handle opened on its device is still open, even after
    // the device has gone.
    std::set<std::uint32_t> taken;
    for (DeviceId other : m_order) taken.insert(m_devices[other].number);
    for (const auto& [raw, open] : m_handles) taken.insert(open.number);
    std::uint32_t number = 0;
    while (taken.count(number)) ++number;
    m_devices[id].number = number;
    const auto at =
        std::find_if(m_order.begin(), m_order.end(), [&](DeviceId other) { return m_devices[other].number > number; });
    m_order.insert(at, id);
}

bool SimPlatform::isPresent(DeviceId id) const { return id < m_devices.size() && m_devices[id].present; }

DeviceConfig& SimPlatform::config(DeviceId id) { return device(id).config; }

const DeviceConfig& SimPlatform::config(DeviceId id) const { return device(id).config; }

void SimPlatform::setFailing(DeviceId id, Operation op, bool failing) {
    device(id).failing[static_cast<std::size_t>(op)] = failing;
}

const std::vector<std::vector<std::uint8_t>>& SimPlatform::received(DeviceId id) const { return device(id).received; }

std::vector<std::vector<std::uint8_t>> SimPlatform::takeReceived(DeviceId id) {
    return std::exchange(device(id).received, {});
}

std::size_t SimPlatform::openHandles(DeviceId id) const {
    return static_cast<std::size_t>(
        std::count_if(m_handles.begin(), m_handles.end(), [id](const auto& e) { return e.second.device == id; }));
}

InterfaceList SimPlatform::doGetClassDevs() {
    if (m_freshness.walkNeeded(ListingFreshness::Clock::now())) {
        if (m_listFailing) {
            m_freshness.walkEnded(false, true);
            return kNoList;
        }
        ++m_walks;
        const bool differs = m_kept != m_order;
        m_kept = m_order;
        if (duringWalk) duringWalk();
        m_freshness.walkEnded(true, differs);
    }
    const std::uintptr_t id = m_nextId++;
    m_lists.emplace(id, m_kept);
    ++m_listsBuilt;
    return InterfaceList{id};
}

bool SimPlatform::doInterfacePath(InterfaceList list, std::uint32_t index, std::string& path) {
    const auto it = m_lists.find(static_cast<std::uintptr_t>(list));
    if (it == m_lists.end() || index >= it->second.size()) return false;
    path = pathOf(it->second[index]);
    return true;
}

void SimPlatform::doDestroyList(InterfaceList list) { m_lists.erase(static_cast<std::uintptr_t>(list)); }

Handle SimPlatform::doOpen(const std::string& path, OpenMode mode, bool) {
    std::string_view p = path;
    if (!p.starts_with(kPathPrefix)) return kNoHandle;
    p.remove_prefix(kPathPrefix.size());
    DeviceId id = 0;
    if (p.empty() || p.size() > 9) return kNoHandle;
    for (char c : p) {
        if (c < '0' || c > '9') return kNoHandle;
        id = id * 10 + static_cast<DeviceId>(c - '0');
    }
    if (id >= m_devices.size()) return kNoHandle;
    ++m_calls[static_cast<std::size_t>(Operation::Open)];
    if (beforeCall) beforeCall(Operation::Open, id);
    Device& d = m_devices[id];
    if (!d.present || d.failing[static_cast<std::size_t>(Operation::Open)]) return kNoHandle;
    const std::uintptr_t h = m_nextId++;
    const bool deviceOpen = mode == OpenMode::Overlapped;
    if (deviceOpen) ++d.deviceOpens;
    m_handles.emplace(h, OpenHandle{id, d.generation, mode, d.number, deviceOpen});
    return Handle{h};
}

// A node the simulation refuses answers as a node without the user's
// permission does.
std::string SimPlatform::doOpenFailureReason() { return "Permission denied"; }

bool SimPlatform::doClose(Handle handle) {
    // Closing a handle whose device has gone still releases it, as the
    // operating system does.
    return m_handles.erase(raw(handle)) == 1;
}

SimPlatform::Device* SimPlatform::deviceFor(Handle handle, Operation op) {
    const auto it = m_handles.find(raw(handle));
    if (it == m_handles.end()) return nullptr;
    ++m_calls[static_cast<std::size_t>(op)];
    if (beforeCall) beforeCall(op, it->second.device);
    Device& d = m_devices[it->second.device];
    if (!d.present || d.generation != it->second.generation) return nullptr;
    if (op != Operation::Attributes && !it->second.deviceOpen) {
        it->second.deviceOpen = true;
        ++d.deviceOpens;
    }
    if (d.failing[static_cast<std::size_t>(op)]) return nullptr;
    return &d;
}

std::size_t SimPlatform::takeDeviceOpens(DeviceId id) { return std::exchange(device(id).deviceOpens, 0); }

bool SimPlatform::doGetAttributes(Handle handle, HidAttributes& attributes) {
    Device* d = deviceFor(handle, Operation::Attributes);
    if (!d) return false;
    attributes.VendorID = d->config.vendorId;
    attributes.ProductID = d->config.productId;
    attributes.VersionNumber = d->config.version;
    return true;
}

bool SimPlatform::doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    const Operation op = kind == StringKind::Serial         ? Operation::Serial
                         : kind == StringKind::Manufacturer ? Operation::Manufacturer
                                                            : Operation::Product;
    Device* d = deviceFor(handle, op);
    if (!d) return false;
    const std::optional<std::u16string>& s = kind == StringKind::Serial         ? d->config.serial
                                             : kind == StringKind::Manufacturer ? d->config.manufacturer
                                                                                : d->config.product;
    if (!s) return false;
    // UTF-16LE, cut to the buffer, terminated only when a whole code unit of
    // room is left: the same contract as the HID class driver's.
    std::size_t pos = 0;
    for (char16_t unit : *s) {
        if (pos >= buffer.size()) break;
        buffer[pos++] = static_cast<std::uint8_t>(unit & 0xFF);
        if (pos >= buffer.size()) break;
        buffer[pos++] = static_cast<std::uint8_t>(unit >> 8);
    }
    if (d->config.terminateStrings && pos + 2 <= buffer.size()) {
        buffer[pos] = 0;
        buffer[pos + 1] = 0;
    }
    return true;
}

bool SimPlatform::doGetCaps(Handle handle, HidCaps& caps) {
    Device* d = deviceFor(handle, Operation::Caps);
    if (!d) return false;
    caps.InputReportByteLength = d->config.inputLength;
    caps.OutputReportByteLength = d->config.outputLength;
    caps.FeatureReportByteLength = d->config.featureLength;
    return true;
}

bool SimPlatform::doGetFeature(Handle handle, std::span<std::uint8_t> report) {
    Device* d = deviceFor(handle, Operation::GetFeature);
    if (!d || !d->config.isUnit || d->config.featureLength < 2) return false;
    // A buffer shorter than the device's feature report is refused, as the
    // HID class driver does; a longer one receives the report and keeps the rest.
    if (report.size() < d->config.featureLength) return false;
    switch (d->config.featureAnswer) {
    case FeatureAnswer::Answer: break;
    case FeatureAnswer::Stall:
    case FeatureAnswer::Silent: return false;
    case FeatureAnswer::Unplug: unplug(static_cast<DeviceId>(d - m_devices.data())); return false;
    }
    const auto& image = d->config.featureImage;
    for (std::size_t i = 1; i < d->config.featureLength; ++i) report[i] = i < image.size() ? image[i] : 0;
    return true;
}

bool SimPlatform::doSetFeature(Handle handle, std::span<const std::uint8_t> report) {
    Device* d = deviceFor(handle, Operation::SetFeature);
    if (!d || !d->config.isUnit || d->config.featureLength < 2) return false;
    if (report.size() < d->config.featureLength) return false;
    // Bytes past the device's report length are cut off on the way.
    const auto sent = report.first(d->config.featureLength);
    d->received.emplace_back(sent.begin(), sent.end());
    ++m_featureWrites;
    // The firmware applies command 1 only; any other command is ignored.
    if (sent.size() >= 8 && sent[1] == 1) {
        auto& image = d->config.featureImage;
        if (image.size() < 9) image.resize(9, 0);
        std::copy_n(sent.begin() + 2, 3, image.begin() + 1);  // level, half step, polarity
        std::copy_n(sent.begin() + 6, 2, image.begin() + 5);  // calibration index
    }
    return true;
}

bool SimPlatform::doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped&) {
    const auto it = m_handles.find(raw(handle));
    if (it == m_handles.end() || it->second.mode != OpenMode::Overlapped) return false;
    Device* d = deviceFor(handle, Operation::Read);
    if (!d || d->config.inputLength == 0 || !d->config.sendsInput) return false;
    // A read shorter than the device's input report is refused.
    if (buffer.size() < d->config.inputLength) return false;
    buffer[0] = 0;
    for (std::size_t i = 1; i < d->config.inputLength; ++i) buffer[i] = d->inputCounter;
    ++d->inputCounter;
    return true;
}

EventHandle SimPlatform::doCreateEvent(bool, bool, bool) {
    if (m_eventFailing) return kNoEvent;
    const std::uintptr_t id = m_nextId++;
    m_events.emplace(id, true);
    ++m_eventsCreated;
    return EventHandle{id};
}

void SimPlatform::doCloseEvent(EventHandle event) { m_events.erase(static_cast<std::uintptr_t>(event)); }

}  // namespace device::sim
