#include "ctl/internal.h"

#include "device/hid_string.h"
#include "device/product_ids.h"

#include <array>

namespace ctl {

namespace {

device::SecurityAttributes security() {
    device::SecurityAttributes s;
    s.nLength = sizeof s;
    // The program starts no other process; nothing needs to inherit a node.
    s.bInheritHandle = false;
    return s;
}

enum class Text { Serial, Manufacturer, Product };

std::optional<std::string> readString(device::HidPlatform& platform, device::Handle handle, Text which) {
    // Zeroed for every request: a string without a terminator must not
    // pick up the tail of an earlier one.
    std::array<std::uint8_t, device::kStringBufferBytes> buffer{};
    bool ok = false;
    switch (which) {
    case Text::Serial: ok = platform.getSerialNumberString(handle, buffer, device::kStringRequestBytes); break;
    case Text::Manufacturer: ok = platform.getManufacturerString(handle, buffer, device::kStringRequestBytes); break;
    case Text::Product: ok = platform.getProductString(handle, buffer, device::kStringRequestBytes); break;
    }
    if (!ok) return std::nullopt;
    return device::decodeHidString(buffer);
}

std::optional<protocol::DecodedReport> readReport(device::HidPlatform& platform, device::Handle handle,
                                                  std::size_t length) {
    if (length < protocol::kReadLayoutBytes) return std::nullopt;
    std::vector<std::uint8_t> report(length, 0);
    report[0] = protocol::kReportId;
    if (!platform.getFeature(handle, report)) return std::nullopt;
    return protocol::decodeReadLayout(report);
}

// Calls its action however its scope is left: an allocation that fails
// while a node or a listing is open must not leave it open.
template <typename Action>
class OnExit {
public:
    explicit OnExit(Action action) : m_action(std::move(action)) {}
    ~OnExit() { m_action(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

private:
    Action m_action;
};

}  // namespace

std::vector<InterfaceFacts> surveyInterfaces(device::HidPlatform& platform, bool readReports) {
    std::vector<InterfaceFacts> found;
    const device::InterfaceList list = platform.getClassDevs();
    const OnExit destroyAtEnd([&] { platform.destroyList(list); });
    for (std::uint32_t index = 0;; ++index) {
        std::optional<std::string> path = platform.interfacePath(list, index);
        if (!path) break;
        InterfaceFacts f;
        f.path = std::move(*path);
        const device::Handle handle = platform.open(f.path, device::OpenMode::Synchronous, security());
        if (handle == device::kNoHandle) {
            f.openFailure = platform.openFailure();
            found.push_back(std::move(f));
            continue;
        }
        const OnExit closeAtEnd([&] { platform.close(handle); });
        device::HidAttributes attributes;
        attributes.Size = sizeof attributes;
        if (platform.getAttributes(handle, attributes)) {
            f.attributes = attributes;
            f.isUnit = attributes.VendorID == device::DeviceVendorId && attributes.ProductID == device::DeviceProductId;
        }
        if (f.isUnit) f.serial = readString(platform, handle, Text::Serial);
        if (f.isUnit && !f.serial) {
            // A backend may open a listed device only at its first request,
            // which then fails without a reason: an open of the device
            // itself tells the system's.
            const device::Handle probe = platform.open(f.path, device::OpenMode::Overlapped, security());
            if (probe == device::kNoHandle) {
                f.openFailure = platform.openFailure();
                found.push_back(std::move(f));
                continue;
            }
            platform.close(probe);
        }
        if (f.attributes) {
            f.manufacturer = readString(platform, handle, Text::Manufacturer);
            f.product = readString(platform, handle, Text::Product);
        }
        if (f.isUnit && f.serial && readReports) {
            device::HidCaps caps;
            if (platform.getCaps(handle, caps)) f.caps = caps;
            if (f.caps && f.caps->FeatureReportByteLength >= protocol::kReadLayoutBytes) {
                f.reportRequested = true;
                f.reportRead = readReport(platform, handle, f.caps->FeatureReportByteLength).has_value();
            }
        }
        found.push_back(std::move(f));
    }
    return found;
}

// Delegates so that the object is whole before anything can throw: the
// destructor then closes the handle however the constructor is left.
UnitHandle::UnitHandle(device::HidPlatform& platform, const InterfaceFacts& unit) : UnitHandle(platform) {
    m_handle = platform.open(unit.path, device::OpenMode::Synchronous, security());
    if (m_handle == device::kNoHandle) {
        m_problem = "it cannot be opened (" + platform.openFailure() + ")";
        return;
    }
    // The path may have been given to another device since the survey.
    device::HidAttributes attributes;
    attributes.Size = sizeof attributes;
    const bool same = platform.getAttributes(m_handle, attributes) && attributes.VendorID == device::DeviceVendorId &&
                      attributes.ProductID == device::DeviceProductId &&
                      readString(platform, m_handle, Text::Serial) == unit.serial;
    if (!same) {
        m_problem = "it has left, or its path now names another device";
        return;
    }
    if (!platform.getCaps(m_handle, m_caps)) {
        m_caps = {};
        m_problem = "its report lengths cannot be read";
    }
}

UnitHandle::~UnitHandle() { m_platform.close(m_handle); }

std::optional<protocol::DecodedReport> UnitHandle::read() {
    if (!m_problem.empty()) return std::nullopt;
    return readReport(m_platform, m_handle, m_caps.FeatureReportByteLength);
}

bool UnitHandle::write(const protocol::UnitSettings& settings) {
    // Never a unit whose report cannot carry the whole read layout: the
    // window writes only units it has read, and neither does this.
    if (!m_problem.empty() || m_caps.FeatureReportByteLength < protocol::kReadLayoutBytes) return false;
    std::vector<std::uint8_t> report(m_caps.FeatureReportByteLength, 0);
    if (!protocol::encodeWriteLayout(settings, report)) return false;
    return m_platform.setFeature(m_handle, report);
}

}  // namespace ctl
