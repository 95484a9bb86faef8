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

HidrawPlatform::HidrawPlatform(std::string sysRoot, std::string devRoot)
    : m_sysfs(std::move(sysRoot), std::move(devRoot)) {}

HidrawPlatform::~HidrawPlatform() = default;

std::uintptr_t HidrawPlatform::nextId() { return m_nextId++; }

HidrawPlatform::OpenNode* HidrawPlatform::find(Handle handle) {
    const auto it = m_handles.find(static_cast<std::uintptr_t>(handle));
    return it == m_handles.end() ? nullptr : it->second.get();
}

InterfaceList HidrawPlatform::doGetClassDevs() {
    auto nodes = m_sysfs.hidrawNodes();
    if (!nodes) return kNoList;
    const std::uintptr_t id = nextId();
    m_lists.emplace(id, std::move(*nodes));
    return InterfaceList{id};
}

std::optional<std::string> HidrawPlatform::doInterfacePath(InterfaceList list, std::uint32_t index) {
    const auto it = m_lists.find(static_cast<std::uintptr_t>(list));
    if (it == m_lists.end() || index >= it->second.size()) return std::nullopt;
    return it->second[index];
}

void HidrawPlatform::doDestroyList(InterfaceList list) { m_lists.erase(static_cast<std::uintptr_t>(list)); }

Handle HidrawPlatform::doOpen(const std::string& path, OpenMode mode, bool) {
    // A path with a zero byte in it would open a shorter path than asked.
    if (path.find('\0') != std::string::npos) return kNoHandle;
    // Descriptors are never handed to child processes, whatever the caller
    // asks for: the program starts none, and a unit's node must not stay
    // open in anything else. O_NOCTTY keeps a mistaken terminal path from
    // becoming the controlling terminal.
    int flags = O_RDWR | O_CLOEXEC | O_NOCTTY;
    if (mode == OpenMode::Overlapped) flags |= O_NONBLOCK;
    auto node = std::make_unique<OpenNode>();
    node->fd = UniqueFd(retryInterrupted([&] { return ::open(path.c_str(), flags); }));
    if (!node->fd.valid()) return kNoHandle;

    // The sysfs directories are found now, from the open descriptor, so the
    // requests below describe this device even if the path is reused later.
    std::optional<std::uint32_t> major, minor;
    struct stat st {};
    if (::fstat(node->fd.get(), &st) == 0 && S_ISCHR(st.st_mode)) {
        major = ::major(st.st_rdev);
        minor = ::minor(st.st_rdev);
    }
    node->dirs = m_sysfs.nodeDirs(path, major, minor);

    const std::uintptr_t id = nextId();
    m_handles.emplace(id, std::move(node));
    return Handle{id};
}

// A failed open makes no other call, so errno still holds open's reason.
std::string HidrawPlatform::doOpenFailureReason() { return std::strerror(errno); }

bool HidrawPlatform::doClose(Handle handle) {
    // The descriptor is released even when its device has gone.
    return m_handles.erase(static_cast<std::uintptr_t>(handle)) == 1;
}

bool HidrawPlatform::doGetAttributes(Handle handle, HidAttributes& attributes) {
    OpenNode* node = find(handle);
    if (!node || !node->dirs) return false;
    const auto id = m_sysfs.hidId(node->dirs->hidDevice);
    if (!id) return false;
    std::uint16_t version = 0;
    if (!node->dirs->usbDevice.empty()) {
        const auto bcd = Sysfs::attribute(node->dirs->usbDevice, "bcdDevice");
        const auto parsed = bcd ? parseHex16(*bcd, 4) : std::nullopt;
        if (!parsed) return false;
        version = *parsed;
    }
    attributes.VendorID = id->vendor;
    attributes.ProductID = id->product;
    attributes.VersionNumber = version;
    return true;
}

bool HidrawPlatform::doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    OpenNode* node = find(handle);
    if (!node || !node->dirs || node->dirs->usbDevice.empty()) return false;
    const char* name = kind == StringKind::Serial         ? "serial"
                       : kind == StringKind::Manufacturer ? "manufacturer"
                                                          : "product";
    // The kernel exposes the USB string descriptors as UTF-8 attributes and
    // leaves out the ones the device does not have.
    const auto text = Sysfs::attribute(node->dirs->usbDevice, name);
    if (!text) return false;
    writeUtf16Le(utf8ToUtf16(*text), buffer);
    return true;
}

const ReportLengths* HidrawPlatform::lengthsOf(OpenNode& node) {
    if (node.lengths) return &*node.lengths;
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
    if (!node || report.size() > kMaxIoctlLength) return false;
    // Byte 0 already holds the report ID; the kernel answers in the same
    // layout, and a shorter answer leaves the rest of the buffer as it was.
    const int result = retryInterrupted(
        [&] { return ::ioctl(node->fd.get(), HIDIOCGFEATURE(report.size()), report.data()); });
    return result > 0;
}

bool HidrawPlatform::doSetFeature(Handle handle, std::span<const std::uint8_t> report) {
    OpenNode* node = find(handle);
    if (!node || report.size() > kMaxIoctlLength) return false;
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

std::unique_ptr<HidPlatform> makeNativePlatform() { return std::make_unique<hidraw::HidrawPlatform>(); }

}  // namespace device
