#include "fuzz/event_driver.h"

#include "device/product_ids.h"
#include "protocol/config_report.h"
#include "support/window_rules.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace fuzz {

using device::sim::DeviceConfig;
using device::sim::DeviceId;
using device::sim::Operation;

namespace {

constexpr std::array<std::string_view, kEventKinds> kEventNames = {
    "plug-unit", "plug-other", "plug-hostile", "unplug", "replug", "fault", "list-fault", "event-fault",
    "mutate",    "pick",       "press",        "tick",   "close",  "start", "restart",    "arm-mid-call",
};

// Report lengths where a layout starts or stops fitting, or a buffer size
// changes, and the largest a HID report can declare.
constexpr std::array<std::uint16_t, 15> kBoundaryLengths = {0,  1,  2,   7,   8,    9,     10,   64,
                                                            65, 66, 255, 256, 4096, 65534, 65535};

constexpr std::array<std::u16string_view, 5> kSerials = {u"A1", u"B2", u"C3", u"", u"A1"};

constexpr auto kOperationCount = static_cast<std::uint8_t>(Operation::kCount);

}  // namespace

// Hands out the input's bytes; past the end every read is zero.
class EventDriver::Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : m_data(data) {}
    bool done() const { return m_pos >= m_data.size(); }
    std::uint8_t u8() { return done() ? 0 : m_data[m_pos++]; }
    std::uint16_t u16() {
        const std::uint16_t high = u8();
        return static_cast<std::uint16_t>(high << 8 | u8());
    }
    bool flag() { return (u8() & 1) != 0; }

    std::uint16_t length() {
        switch (u8() % 4) {
        case 0: return kBoundaryLengths[u8() % kBoundaryLengths.size()];
        case 1: return u8();
        case 2: return u16();
        default: return static_cast<std::uint16_t>(9 + u8() % 8);
        }
    }

    std::optional<std::u16string> string() {
        switch (u8() % 5) {
        case 0: return std::nullopt;
        case 1: return std::u16string{};
        case 2: {
            std::u16string s(u8() % 64, u'\0');
            for (char16_t& unit : s) unit = static_cast<char16_t>(u16());
            return s;
        }
        case 3: {
            const std::size_t n = u16() % 1024;
            return std::u16string(n, static_cast<char16_t>(u16()));
        }
        default: {
            std::u16string s(u8() % 80, u'\0');
            for (char16_t& unit : s) unit = static_cast<char16_t>(u'A' + u8() % 26);
            return s;
        }
        }
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

EventDriver::EventDriver() {
    m_sim.beforeCall = [this](Operation op, DeviceId id) { onDeviceCall(op, id); };
    m_window = std::make_unique<window::frmMain>(m_sim);
}

EventDriver::~EventDriver() { m_sim.beforeCall = nullptr; }

RunCounts EventDriver::run(std::span<const std::uint8_t> input) {
    Reader in(input);
    // The first byte says how many events happen before the window loads,
    // so devices can already be attached, or broken, at start-up.
    const std::size_t beforeLoad = in.u8() % 8;
    for (m_eventIndex = 0; m_eventIndex < kMaxEvents && !in.done(); ++m_eventIndex) {
        if (m_eventIndex == beforeLoad && !m_everLoaded) {
            start();
            checkInvariants();
        }
        m_currentKind = static_cast<EventKind>(in.u8() % kEventKinds);
        apply(m_currentKind, in);
        ++m_counts.events;
        checkInvariants();
    }
    if (!m_everLoaded) start();
    close();
    m_window.reset();
    checkInvariants();
    return m_counts;
}

void EventDriver::apply(EventKind kind, Reader& in) {
    switch (kind) {
    case EventKind::PlugUnit:
        if (m_sim.deviceCount() < kMaxDevices)
            m_sim.plug(device::sim::unitConfig(std::u16string(kSerials[in.u8() % kSerials.size()])));
        break;
    case EventKind::PlugOther:
        if (m_sim.deviceCount() < kMaxDevices) m_sim.plug(device::sim::otherDeviceConfig());
        break;
    case EventKind::PlugHostile: plugHostile(in); break;
    case EventKind::Unplug:
        if (m_sim.deviceCount() > 0) m_sim.unplug(deviceOf(in.u8()));
        break;
    case EventKind::Replug:
        if (m_sim.deviceCount() > 0) m_sim.replug(deviceOf(in.u8()));
        break;
    case EventKind::Fault: {
        const std::uint8_t device = in.u8();
        const auto op = static_cast<Operation>(in.u8() % kOperationCount);
        const bool failing = in.flag();
        if (m_sim.deviceCount() > 0) m_sim.setFailing(deviceOf(device), op, failing);
        break;
    }
    case EventKind::ListFault: m_sim.setListFailing(in.flag()); break;
    case EventKind::EventFault: m_sim.setEventFailing(in.flag()); break;
    case EventKind::Mutate: mutate(in); break;
    case EventKind::Pick: pick(in); break;
    case EventKind::Press:
        if (m_window) m_window->Command1.userPress();
        break;
    case EventKind::Tick:
        if (m_window) m_window->Timer.expire();
        break;
    case EventKind::Close: close(); break;
    case EventKind::Start:
        // A running window is never loaded a second time.
        if (!m_loaded) start();
        break;
    case EventKind::Restart:
        close();
        m_window.reset();
        // The process's end releases whatever it held.
        if (m_sim.openHandles() != 0 || m_sim.openEvents() != 0) fail("a handle or event outlived the window");
        m_window = std::make_unique<window::frmMain>(m_sim);
        start();
        break;
    case EventKind::ArmMidCall:
        m_midCall.callsLeft = 1 + in.u8() % 48;
        m_midCall.kind = in.u8();
        m_midCall.device = in.u8();
        m_midCall.value = in.u8();
        break;
    case EventKind::kCount: break;
    }
}

void EventDriver::plugHostile(Reader& in) {
    DeviceConfig c;
    const std::uint8_t shape = in.u8();
    // Most hostile devices carry the unit's IDs: those are the ones the
    // program trusts far enough to read settings from.
    if (shape & 1) {
        c.vendorId = device::DeviceVendorId;
        c.productId = device::DeviceProductId;
    } else {
        c.vendorId = in.u16();
        c.productId = in.u16();
    }
    c.isUnit = (shape & 2) == 0;
    c.terminateStrings = (shape & 4) == 0;
    c.version = in.u16();
    c.serial = in.string();
    c.manufacturer = in.string();
    c.product = in.string();
    c.inputLength = in.length();
    c.outputLength = in.u8();
    c.featureLength = in.length();
    c.featureImage.resize(in.u8() % 24);
    for (std::uint8_t& b : c.featureImage) b = in.u8();
    if (m_sim.deviceCount() < kMaxDevices) m_sim.plug(std::move(c));
}

void EventDriver::mutate(Reader& in) {
    const std::uint8_t device = in.u8();
    const std::uint8_t field = in.u8() % 10;
    if (m_sim.deviceCount() == 0) return;
    DeviceConfig& c = m_sim.config(deviceOf(device));
    switch (field) {
    case 0: {
        const std::size_t index = in.u8() % 16;
        if (c.featureImage.size() <= index) c.featureImage.resize(index + 1, 0);
        c.featureImage[index] = in.u8();
        break;
    }
    case 1: c.featureLength = in.length(); break;
    case 2: c.inputLength = in.length(); break;
    case 3: c.version = in.u16(); break;
    case 4: c.serial = in.string(); break;
    case 5: c.manufacturer = in.string(); break;
    case 6: c.product = in.string(); break;
    case 7:
        c.vendorId = in.flag() ? device::DeviceVendorId : std::uint16_t{0x0B0E};
        c.productId = device::DeviceProductId;
        break;
    case 8: c.isUnit = in.flag(); break;
    default: c.terminateStrings = in.flag(); break;
    }
}

void EventDriver::pick(Reader& in) {
    const std::uint8_t which = in.u8() % 5;
    const std::uint16_t raw = in.u16();
    if (!m_window) return;
    window::frmMain& w = *m_window;
    std::array<window::SelectionList*, 5> lists = {&w.SerNo, &w.Enc1, &w.Enc2, &w.Enc3, &w.Cal};
    window::SelectionList& list = *lists[which];
    // Mostly an item of the list; otherwise any index at all, which the
    // list must refuse as a drop-down does.
    const int index = (raw & 0x8000) == 0 ? raw % (list.itemCount() + 1) : static_cast<std::int16_t>(raw);
    list.userPick(index);
}

void EventDriver::start() {
    if (!m_window) return;
    m_loaded = true;
    m_everLoaded = true;
    m_window->Form_Load();
}

void EventDriver::close() {
    if (!m_window || !m_loaded) return;
    bool cancel = false;
    m_window->Form_Unload(cancel);
    m_loaded = false;
}

DeviceId EventDriver::deviceOf(std::uint8_t selector) const { return selector % m_sim.deviceCount(); }

void EventDriver::onDeviceCall(Operation op, DeviceId id) {
    if (op == Operation::SetFeature) checkWritePreconditions(id);
    if (m_midCall.callsLeft > 0 && --m_midCall.callsLeft == 0) applyMidCall(m_midCall);
}

void EventDriver::applyMidCall(const MidCallAction& a) {
    if (m_sim.deviceCount() == 0) return;
    const DeviceId id = deviceOf(a.device);
    const auto op = static_cast<Operation>(a.value % kOperationCount);
    switch (a.kind % 6) {
    case 0: m_sim.unplug(id); break;
    case 5:
        if (m_sim.deviceCount() < kMaxDevices) m_sim.plug(device::sim::unitConfig(u"B2"));
        break;
    case 1: m_sim.replug(id); break;
    case 2: m_sim.setFailing(id, op, true); break;
    case 3: m_sim.setFailing(id, op, false); break;
    case 4: m_sim.config(id).featureLength = a.value; break;
    }
}

void EventDriver::checkWritePreconditions(DeviceId id) {
    if (!m_window) fail("a feature report was sent with no window");
    if (!testsupport::windowSettled(*m_window))
        fail("a feature report was sent while SettingsLoaded, DeviceDetected or RefreshComplete was false");
    if (m_sim.openHandles(id) != 2) fail("a feature report went to a device other than the connected unit");
    if (m_window->connection().Caps.FeatureReportByteLength < 8)
        fail("a feature report was sent to a unit too short for it");
}

void EventDriver::checkReceivedReports() {
    for (DeviceId id = 0; id < m_sim.deviceCount(); ++id) {
        for (const std::vector<std::uint8_t>& r : m_sim.takeReceived(id)) {
            ++m_counts.reportsChecked;
            // The unit may cut a report to its own length; every byte that
            // arrived must be what the write layout allows.
            const auto at = [&r](std::size_t i) -> int { return i < r.size() ? r[i] : 0; };
            if (at(0) != 0) fail("report ID not 0");
            if (r.size() > 1 && at(1) != 1) fail("command byte not 1");
            if (at(3) > 1) fail("half step above 1");
            if (at(2) == 255 && at(3) == 1) fail("amplitude level 255 with half step 1");
            if (at(4) > 2) fail("polarity above 2");
            if (at(5) != 0) fail("reserved byte 5 not 0");
            if (256 * at(6) + at(7) > protocol::kLastCalibrationCode) fail("calibration index above 1700");
            for (std::size_t i = 8; i < r.size(); ++i)
                if (r[i] != 0) fail("reserved byte past the layout not 0");
        }
    }
}

void EventDriver::checkInvariants() {
    checkReceivedReports();
    if (m_sim.openLists() != 0) fail("an interface list was not released");
    if (!m_window) {
        if (m_sim.openHandles() != 0 || m_sim.openEvents() != 0) fail("a handle or event outlived the window");
        return;
    }
    const window::frmMain& w = *m_window;
    const device::Connection& c = w.connection();
    const bool connected = c.DeviceDetected;
    if (const std::string broken = testsupport::brokenWindowRule(w, m_sim.openHandles(), m_sim.openEvents());
        !broken.empty())
        fail(broken);
    if (m_sim.openHandles() != (connected ? 2u : 0u)) fail("open handles other than the connected unit's two");
    if (connected) {
        bool onOneUnit = false;
        for (DeviceId id = 0; id < m_sim.deviceCount(); ++id) onOneUnit |= m_sim.openHandles(id) == 2;
        if (!onOneUnit) fail("the two handles are on different devices");
    }
    if (m_sim.openEvents() != (c.ReadEvent != device::kNoEvent ? 1u : 0u)) fail("the read event was lost or leaked");
    if (m_loaded != w.Timer.enabled()) fail("the timer is not running exactly while the window is loaded");
    if (!m_loaded && m_everLoaded) {
        if (m_sim.openHandles() != 0) fail("a handle is open after the close");
        if (w.SettingsLoaded) fail("SettingsLoaded after the close");
    }

    if (w.Enc1.itemCount() != 0 && w.Enc1.itemCount() != 511) fail("Enc1 holds neither 0 nor 511 items");
    if (w.Cal.itemCount() != 0 && w.Cal.itemCount() != 1701) fail("Cal holds neither 0 nor 1701 items");
    if (w.Enc2.itemCount() != 0 && w.Enc2.itemCount() != 3) fail("Enc2 holds neither 0 nor 3 items");
    if (w.Enc3.itemCount() != 0) fail("Enc3 holds items");
    for (const window::SelectionList* list : {&w.SerNo, &w.Enc1, &w.Enc2, &w.Enc3, &w.Cal})
        if (list->listIndex() < -1 || list->listIndex() >= list->itemCount()) fail("a selection names no item");
    const std::string& summary = w.Summary.text();
    if (summary.size() >= 2 && summary.compare(summary.size() - 2, 2, "\r\n") == 0) fail("the summary ends with CR LF");
}

void EventDriver::fail(const std::string& what) const {
    std::fprintf(stderr, "invariant broken after event %zu (%s): %s\n", m_eventIndex,
                 kEventNames[static_cast<std::size_t>(m_currentKind)].data(), what.c_str());
    std::abort();
}

}  // namespace fuzz
