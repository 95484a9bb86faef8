#include "device/hidraw/hidraw_platform.h"

#include "device/hidraw/input_read.h"
#include "device/utf16_text.h"
#include "device/native_platform.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

UniqueFd::~UniqueFd() {
    // Whatever close reports, the descriptor is released on Linux; retrying
    // after EINTR could close a descriptor another open has just reused.
    if (m_fd >= 0) ::close(m_fd);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

int UniqueFd::release() { return std::exchange(m_fd, -1); }

HidrawPlatform::HidrawPlatform(std::string sysRoot, std::string devRoot, std::unique_ptr<NodeWatch> watch)
    : m_sysfs(std::move(sysRoot), std::move(devRoot)), m_watch(std::move(watch)) {}

HidrawPlatform::~HidrawPlatform() = default;

std::uintptr_t HidrawPlatform::nextId() { return m_nextId++; }

std::size_t HidrawPlatform::openHandles() const {
    return static_cast<std::size_t>(
        std::count_if(m_handles.begin(), m_handles.end(), [](const HandleSlot& s) { return s.id != 0; }));
}

std::size_t HidrawPlatform::openLists() const {
    return static_cast<std::size_t>(
        std::count_if(m_lists.begin(), m_lists.end(), [](const ListSlot& s) { return s.id != 0; }));
}

HidrawPlatform::OpenNode* HidrawPlatform::find(Handle handle) {
    const auto id = static_cast<std::uintptr_t>(handle);
    for (HandleSlot& slot : m_handles)
        if (slot.id == id) return &slot.node;
    return nullptr;
}

const HidrawPlatform::Snapshot* HidrawPlatform::listOf(InterfaceList list) const {
    const auto id = static_cast<std::uintptr_t>(list);
    for (const ListSlot& slot : m_lists)
        if (slot.id == id) return slot.snapshot.get();
    return nullptr;
}

bool HidrawPlatform::relist() {
    auto fresh = std::make_shared<Snapshot>();
    const Snapshot* before = m_current.get();
    fresh->reserve(before ? before->size() + 1 : 16);
    const std::string devRoot = m_sysfs.devRoot().string();
    // An interface whose node still leads to the same HID device is kept
    // with what was learnt about it; a node number that now leads to
    // another device is a new interface.
    const bool listed = m_sysfs.listNodes([&](std::uint32_t number, std::string_view name, std::string_view hidDevice) {
        if (before) {
            const auto it = std::lower_bound(before->begin(), before->end(), number,
                                             [](const auto& i, std::uint32_t n) { return i->listed.number < n; });
            if (it != before->end() && (*it)->listed.number == number && (*it)->listed.hidDevice == hidDevice) {
                fresh->push_back(*it);
                return;
            }
        }
        auto added = std::make_shared<Interface>();
        added->name = std::string(name);
        added->listed = ListedNode{number, devRoot + "/" + added->name, std::string(hidDevice)};
        added->id = parseHidDeviceName(hidDevice);
        // The kernel names every HID device after its IDs; the uevent is
        // read only for a name that does not say them.
        if (!added->id) added->id = m_sysfs.hidId(m_sysfs.sysRoot() / added->listed.hidDevice);
        fresh->push_back(std::move(added));
    });
    if (!listed) return false;
    // Directory order is whatever the file system gives; numeric order is
    // stable from one listing to the next (hidraw10 after hidraw9).
    std::sort(fresh->begin(), fresh->end(),
              [](const auto& a, const auto& b) { return a->listed.number < b->listed.number; });
    m_current = std::move(fresh);
    return true;
}

InterfaceList HidrawPlatform::doGetClassDevs() {
    // The watch is asked first, so that a change during the listing below
    // is reported to the next walk.
    const bool changed = !m_watch || m_watch->changed();
    if (changed || !m_current) {
        if (!relist()) {
            m_current.reset();
            return kNoList;
        }
    }
    const std::uintptr_t id = nextId();
    for (ListSlot& slot : m_lists) {
        if (slot.id == 0) {
            slot.id = id;
            slot.snapshot = m_current;
            return InterfaceList{id};
        }
    }
    m_lists.push_back(ListSlot{id, m_current});
    return InterfaceList{id};
}

std::optional<std::string> HidrawPlatform::doInterfacePath(InterfaceList list, std::uint32_t index) {
    std::string path;
    if (!doInterfacePathInto(list, index, path)) return std::nullopt;
    return path;
}

bool HidrawPlatform::doInterfacePathInto(InterfaceList list, std::uint32_t index, std::string& path) {
    const Snapshot* snapshot = listOf(list);
    if (!snapshot || index >= snapshot->size()) return false;
    path.assign((*snapshot)[index]->listed.node);
    if (snapshot == m_current.get()) m_lastServed = index;
    return true;
}

void HidrawPlatform::doDestroyList(InterfaceList list) {
    const auto id = static_cast<std::uintptr_t>(list);
    for (ListSlot& slot : m_lists) {
        if (slot.id == id) {
            slot.id = 0;
            slot.snapshot.reset();
            return;
        }
    }
}

std::shared_ptr<HidrawPlatform::Interface> HidrawPlatform::listedAt(const std::string& path) {
    if (!m_current) return nullptr;
    const Snapshot& current = *m_current;
    if (m_lastServed < current.size() && current[m_lastServed]->listed.node == path) return current[m_lastServed];
    for (const auto& interface : current)
        if (interface->listed.node == path) return interface;
    return nullptr;
}

Handle HidrawPlatform::doOpen(const std::string& path, OpenMode mode, bool) {
    // A path with a zero byte in it would open a shorter path than asked.
    if (path.find('\0') != std::string::npos) return kNoHandle;
    OpenNode node;
    // Reads must never block, so the overlapped handle is the node opened
    // now; a synchronous one of a listed interface waits for a request.
    if (mode == OpenMode::Synchronous) node.listed = listedAt(path);
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
        std::optional<std::uint32_t> major, minor;
        struct stat st {};
        if (::fstat(node.fd.get(), &st) == 0 && S_ISCHR(st.st_mode)) {
            major = ::major(st.st_rdev);
            minor = ::minor(st.st_rdev);
        }
        node.dirs = m_sysfs.nodeDirs(path, major, minor);
    }

    const std::uintptr_t id = nextId();
    for (HandleSlot& slot : m_handles) {
        if (slot.id == 0) {
            slot.id = id;
            slot.node = std::move(node);
            return Handle{id};
        }
    }
    m_handles.push_back(HandleSlot{id, std::move(node)});
    return Handle{id};
}

// A failed open makes no other call, so errno still holds open's reason.
std::string HidrawPlatform::doOpenFailureReason() { return std::strerror(errno); }

bool HidrawPlatform::doClose(Handle handle) {
    const auto id = static_cast<std::uintptr_t>(handle);
    for (HandleSlot& slot : m_handles) {
        if (slot.id == id) {
            // The descriptor is released even when its device has gone.
            slot.id = 0;
            slot.node = OpenNode{};
            return true;
        }
    }
    return false;
}

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
    std::optional<std::uint32_t> major, minor;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISCHR(st.st_mode)) {
        major = ::major(st.st_rdev);
        minor = ::minor(st.st_rdev);
    }
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
    std::optional<HidId> id;
    if (node->listed) {
        id = node->listed->id;
    } else if (node->dirs) {
        id = m_sysfs.hidId(node->dirs->hidDevice);
    }
    if (!id) return false;
    std::uint16_t version = 0;
    if (const std::filesystem::path* usb = usbDeviceOf(*node)) {
        std::optional<std::uint16_t>* known = node->listed ? &node->listed->version : nullptr;
        if (known && *known) {
            version = **known;
        } else {
            const auto bcd = Sysfs::attribute(*usb, "bcdDevice");
            const auto parsed = bcd ? parseHex16(*bcd, 4) : std::nullopt;
            if (!parsed) return false;
            version = *parsed;
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
    const std::uintptr_t id = nextId();
    m_events.insert(id);
    return EventHandle{id};
}

void HidrawPlatform::doCloseEvent(EventHandle event) { m_events.erase(static_cast<std::uintptr_t>(event)); }

}  // namespace device::hidraw

namespace device {

std::unique_ptr<HidPlatform> makeNativePlatform() {
    return std::make_unique<hidraw::HidrawPlatform>("/sys", "/dev", hidraw::makeUeventWatch());
}

}  // namespace device
