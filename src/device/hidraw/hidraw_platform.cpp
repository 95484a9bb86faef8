#include "device/hidraw/hidraw_platform.h"

#include "device/hex_text.h"
#include "device/hidraw/input_read.h"
#include "device/utf16_text.h"
#include "device/native_platform.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace device::hidraw {

namespace {

// The feature ioctls carry the buffer length in the request number's
// 14-bit size field; a longer length would spill into the direction bits
// and name another request. The kernel's own report buffer is no larger.
constexpr std::size_t kMaxIoctlLength = _IOC_SIZEMASK;

// The kernel refuses a descriptor request of HID_MAX_DESCRIPTOR_SIZE bytes
// or more, although its buffer holds that many.
constexpr std::uint32_t kMaxDescriptorRequest = HID_MAX_DESCRIPTOR_SIZE - 1;

template <typename Call>
auto retryInterrupted(Call call) {
    auto result = call();
    while (result < 0 && errno == EINTR) result = call();
    return result;
}

}  // namespace

HidrawPlatform::HidrawPlatform(std::string sysRoot, std::string devRoot, std::unique_ptr<NodeWatch> watch)
    : m_sysfs(std::move(sysRoot), std::move(devRoot)), m_watch(std::move(watch)) {}

InterfaceList HidrawPlatform::doGetClassDevs() {
    // The watch is asked first, so that a change during the listing below
    // is reported to the next walk.
    const bool changed = !m_watch || m_watch->changed();
    if ((changed || !m_listing.current()) && !m_listing.relist(m_sysfs)) return kNoList;
    const std::uintptr_t id = m_nextId++;
    m_lists.insert(id, m_listing.current());
    return InterfaceList{id};
}

bool HidrawPlatform::doInterfacePath(InterfaceList list, std::uint32_t index, std::string& path) {
    const auto* snapshot = m_lists.find(static_cast<std::uintptr_t>(list));
    return snapshot && m_listing.pathInto(**snapshot, index, path);
}

void HidrawPlatform::doDestroyList(InterfaceList list) { m_lists.erase(static_cast<std::uintptr_t>(list)); }

Handle HidrawPlatform::doOpen(const std::string& path, OpenMode mode, bool) {
    // A path with a zero byte in it would open a shorter path than asked.
    if (path.find('\0') != std::string::npos) return kNoHandle;
    OpenNode node;
    // Reads must never block, so the overlapped handle is the node opened
    // now; a synchronous one of a listed interface waits for a request.
    if (mode == OpenMode::Synchronous) node.listed = m_listing.find(path);
    if (!node.listed) {
        // Descriptors are never handed to child processes, whatever the
        // caller asks for: the program starts none, and a unit's node must
        // not stay open in anything else. O_NOCTTY keeps a mistaken terminal
        // path from becoming the controlling terminal.
        int flags = O_RDWR | O_CLOEXEC | O_NOCTTY;
        if (mode == OpenMode::Overlapped) flags |= O_NONBLOCK;
        ++m_nodeOpens;
        node.fd = UniqueFd(retryInterrupted([&] { return ::open(path.c_str(), flags); }));
        if (!node.fd.valid()) return kNoHandle;

        // The sysfs directories are found now, from the open descriptor, so
        // the requests below describe this device even if the path is
        // reused later.
        const auto [major, minor] = node.fd.charDevice();
        node.dirs = m_sysfs.nodeDirs(path, major, minor);
    }

    const std::uintptr_t id = m_nextId++;
    m_handles.insert(id, std::move(node));
    return Handle{id};
}

// A failed open makes no other call, so errno still holds open's reason.
std::string HidrawPlatform::doOpenFailureReason() { return std::strerror(errno); }

// The descriptor is released even when its device has gone.
bool HidrawPlatform::doClose(Handle handle) { return m_handles.erase(static_cast<std::uintptr_t>(handle)); }

bool HidrawPlatform::deviceOpen(OpenNode& node) {
    if (node.fd.valid()) return true;
    if (!node.listed || node.openFailed) return false;
    // Tried once per handle: a node that refused (not yet given to the
    // user by udev, or gone) is tried again by the next walk's open.
    node.openFailed = true;
    const Interface& interface = *node.listed;
    ++m_nodeOpens;
    UniqueFd fd(retryInterrupted([&] { return ::open(interface.listed.node.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY); }));
    if (!fd.valid()) return false;
    // hidraw numbers are handed out again at once: the node opened must
    // still be the HID device that was listed, whose name is never reused.
    const auto [major, minor] = fd.charDevice();
    const auto now = m_sysfs.hidDeviceNow(interface.name, major, minor);
    if (!now || *now != interface.listed.hidDevice) return false;
    node.fd = std::move(fd);
    node.openFailed = false;
    return true;
}

const std::filesystem::path* HidrawPlatform::usbDeviceOf(OpenNode& node) {
    if (node.dirs) return node.dirs->usbDevice.empty() ? nullptr : &node.dirs->usbDevice;
    if (!node.listed) return nullptr;
    Interface& interface = *node.listed;
    if (!interface.usbLooked) {
        interface.usbLooked = true;
        // Only a USB HID device has a USB device above it that describes
        // it; a Bluetooth device behind a USB adapter has the adapter above.
        if (interface.id && interface.id->bus == kBusUsb)
            interface.usbDevice = m_sysfs.usbDeviceAbove(interface.listed.hidDevice);
    }
    return interface.usbDevice ? &*interface.usbDevice : nullptr;
}

bool HidrawPlatform::doGetAttributes(Handle handle, HidAttributes& attributes) {
    OpenNode* node = find(handle);
    if (!node) return false;
    const std::optional<HidId> id = node->listed ? node->listed->id
                                    : node->dirs ? m_sysfs.hidId(node->dirs->hidDevice)
                                                 : std::nullopt;
    if (!id) return false;
    std::uint16_t version = 0;
    if (const std::filesystem::path* usb = usbDeviceOf(*node)) {
        std::optional<std::uint16_t>* known = node->listed ? &node->listed->version : nullptr;
        if (known && *known) {
            version = **known;
        } else {
            const auto bcd = Sysfs::attribute(*usb, "bcdDevice");
            const auto parsed = bcd ? parseHex(*bcd, 4, 0xFFFF) : std::nullopt;
            if (!parsed) return false;
            version = static_cast<std::uint16_t>(*parsed);
            if (known) *known = version;
        }
    }
    attributes.VendorID = id->vendor;
    attributes.ProductID = id->product;
    attributes.VersionNumber = version;
    return true;
}

bool HidrawPlatform::doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    OpenNode* node = find(handle);
    // A string is a request to the device: it is answered only once the
    // node has opened, so a unit whose node cannot be opened is never
    // listed nor connected.
    if (!node || !deviceOpen(*node)) return false;
    const std::filesystem::path* usb = usbDeviceOf(*node);
    if (!usb) return false;
    const char* name = kind == StringKind::Serial         ? "serial"
                       : kind == StringKind::Manufacturer ? "manufacturer"
                                                          : "product";
    // The kernel exposes the USB string descriptors as UTF-8 attributes and
    // leaves out the ones the device does not have.
    const auto text = Sysfs::attribute(*usb, name);
    if (!text) return false;
    writeUtf16Le(utf8ToUtf16(*text), buffer);
    return true;
}

const ReportLengths* HidrawPlatform::lengthsOf(OpenNode& node) {
    if (node.lengths) return &*node.lengths;
    if (!deviceOpen(node)) return nullptr;
    int size = 0;
    if (retryInterrupted([&] { return ::ioctl(node.fd.get(), HIDIOCGRDESCSIZE, &size); }) < 0 || size < 0)
        return nullptr;
    hidraw_report_descriptor descriptor{};
    descriptor.size = std::min(static_cast<std::uint32_t>(size), kMaxDescriptorRequest);
    if (retryInterrupted([&] { return ::ioctl(node.fd.get(), HIDIOCGRDESC, &descriptor); }) < 0) return nullptr;
    const std::size_t length = std::min<std::size_t>(descriptor.size, sizeof descriptor.value);
    const ReportLengths lengths = parseReportDescriptor(std::span<const std::uint8_t>(descriptor.value, length));
    // The kernel binds no hidraw node to a descriptor it cannot parse, so a
    // malformed one is not trusted for lengths the caller would size
    // transfers by.
    if (!lengths.complete) return nullptr;
    node.lengths = lengths;
    return &*node.lengths;
}

bool HidrawPlatform::doGetCaps(Handle handle, HidCaps& caps) {
    OpenNode* node = find(handle);
    if (!node) return false;
    const ReportLengths* lengths = lengthsOf(*node);
    if (!lengths) return false;
    caps.InputReportByteLength = lengths->input;
    caps.OutputReportByteLength = lengths->output;
    caps.FeatureReportByteLength = lengths->feature;
    return true;
}

bool HidrawPlatform::doGetFeature(Handle handle, std::span<std::uint8_t> report) {
    OpenNode* node = find(handle);
    if (!node || report.size() > kMaxIoctlLength || !deviceOpen(*node)) return false;
    // Byte 0 already holds the report ID; the kernel answers in the same
    // layout, and a shorter answer leaves the rest of the buffer as it was.
    const int result =
        retryInterrupted([&] { return ::ioctl(node->fd.get(), HIDIOCGFEATURE(report.size()), report.data()); });
    return result > 0;
}

bool HidrawPlatform::doSetFeature(Handle handle, std::span<const std::uint8_t> report) {
    OpenNode* node = find(handle);
    if (!node || report.size() > kMaxIoctlLength || !deviceOpen(*node)) return false;
    // The request takes a writable pointer; a copy keeps the caller's
    // report untouched whatever the driver does with the buffer.
    std::vector<std::uint8_t> copy(report.begin(), report.end());
    const int result =
        retryInterrupted([&] { return ::ioctl(node->fd.get(), HIDIOCSFEATURE(copy.size()), copy.data()); });
    return result >= 0;
}

bool HidrawPlatform::doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped&) {
    OpenNode* node = find(handle);
    if (!node) return false;
    // Whether the device numbers its reports decides where the data goes;
    // the read handle learns it from its own descriptor request, once.
    const ReportLengths* lengths = lengthsOf(*node);
    if (!lengths) return false;
    return readReportNow(node->fd.get(), buffer, lengths->numbered);
}

EventHandle HidrawPlatform::doCreateEvent(bool, bool, bool) {
    const std::uintptr_t id = m_nextId++;
    m_events.insert(id);
    return EventHandle{id};
}

void HidrawPlatform::doCloseEvent(EventHandle event) { m_events.erase(static_cast<std::uintptr_t>(event)); }

}  // namespace device::hidraw

namespace device {

std::unique_ptr<HidPlatform> makeNativePlatform(ListingUse use) {
    return std::make_unique<hidraw::HidrawPlatform>("/sys", "/dev",
                                                    use == ListingUse::Repeated ? hidraw::makeUeventWatch() : nullptr);
}

}  // namespace device
