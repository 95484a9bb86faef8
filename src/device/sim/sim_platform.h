#pragma once

#include "device/hid_platform.h"
#include "device/listing_freshness.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device::sim {

// Every platform call a simulated device can be told to fail.
enum class Operation { Open, Attributes, Serial, Manufacturer, Product, Caps, GetFeature, SetFeature, Read, kCount };

std::optional<Operation> operationFromName(std::string_view name);

// How a device meets a request for its feature report.
enum class FeatureAnswer {
    Answer,
    Stall,   // refuses the request, as a stalled control transfer does
    Silent,  // never answers: the operating system gives up after its own
             // timeout and the call fails; the simulation does not wait
    Unplug,  // leaves the bus in the middle of answering
};

std::optional<FeatureAnswer> featureAnswerFromName(std::string_view name);
std::string_view featureAnswerName(FeatureAnswer answer);

// What a simulated HID interface is and answers. A unit keeps its settings
// as the bytes of its feature report in the read layout; a write with the
// command byte 1 updates them as the unit's firmware does.
struct DeviceConfig {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;
    // nullopt: the device has no such string and the request fails.
    std::optional<std::u16string> serial;
    std::optional<std::u16string> manufacturer;
    std::optional<std::u16string> product;
    std::uint16_t inputLength = 0;
    // False: the device declares input reports but never sends one, so a
    // read always finds none waiting.
    bool sendsInput = true;
    std::uint16_t outputLength = 0;
    std::uint16_t featureLength = 0;
    bool isUnit = false;
    // False: strings come back without a terminator, as a careless device
    // or driver may answer.
    bool terminateStrings = true;
    FeatureAnswer featureAnswer = FeatureAnswer::Answer;
    // Register image: byte 0 unused, 1 level, 2 half step, 3 polarity,
    // 4 reserved, 5–6 calibration index, 7–8 factory calibration, rest reserved.
    std::vector<std::uint8_t> featureImage;
};

// A unit as it leaves the factory: amplitude code 280, Normal, calibration
// index 600, factory calibration 1.0000.
DeviceConfig unitConfig(std::u16string serial);
// Some other HID device (a keyboard, say) that is never a unit.
DeviceConfig otherDeviceConfig();

using DeviceId = std::size_t;

// Whether the simulated system tells the platform of interfaces coming and
// going, as the real ones do where notices can be registered for.
enum class Notices {
    // No source could be registered: every list is a fresh walk.
    Unregistered,
    // Plugs and unplugs are announced, and the list is kept from one walk to
    // the next until one is.
    Announced,
};

// HID interfaces held in memory, in an enumeration order, with faults,
// hot-plug and accounting of every open handle, event and list. Tests,
// benchmarks, the demo and the scenario runner all drive this one
// implementation.
class SimPlatform final : public HidPlatform {
public:
    explicit SimPlatform(Notices notices = Notices::Unregistered) : m_freshness(notices == Notices::Announced) {}
    SimPlatform(const SimPlatform&) = delete;
    SimPlatform& operator=(const SimPlatform&) = delete;

    // Plugs a device in. The enumeration lists interfaces by number, and a
    // device takes the lowest number free, so it comes last only when no
    // earlier number was released.
    DeviceId plug(DeviceConfig config);
    // The device leaves the enumeration; its open handles fail from now on,
    // and its number is free once the last of them is closed.
    void unplug(DeviceId id);
    // The device comes back under the lowest free number; handles opened
    // before the unplug stay dead.
    void replug(DeviceId id);
    bool isPresent(DeviceId id) const;
    std::size_t deviceCount() const { return m_devices.size(); }

    DeviceConfig& config(DeviceId id);
    const DeviceConfig& config(DeviceId id) const;
    void setFailing(DeviceId id, Operation op, bool failing);
    // Makes the next walk of the interfaces fail (or succeed again); a kept
    // list is still handed out.
    void setListFailing(bool failing) { m_listFailing = failing; }
    void setEventFailing(bool failing) { m_eventFailing = failing; }

    // Every feature report that reached the device, oldest first.
    const std::vector<std::vector<std::uint8_t>>& received(DeviceId id) const;
    std::vector<std::vector<std::uint8_t>> takeReceived(DeviceId id);

    std::size_t openHandles() const { return m_handles.size(); }
    std::size_t openHandles(DeviceId id) const;
    std::size_t openEvents() const { return m_events.size(); }
    std::size_t openLists() const { return m_lists.size(); }
    std::size_t eventsCreated() const { return m_eventsCreated; }
    std::size_t calls(Operation op) const { return m_calls[static_cast<std::size_t>(op)]; }
    std::size_t listsBuilt() const { return m_listsBuilt; }
    // Walks of the system's interfaces; a kept list is handed out without one.
    std::size_t walks() const { return m_walks; }
    std::size_t featureWrites() const { return m_featureWrites; }
    // Opens of the device itself since the last call. As on the real
    // stacks, a synchronous handle reaches the device only at its first
    // request that needs it (a string, the capabilities, a feature report);
    // attributes come from the listing, so examining a device that is not a
    // unit never opens it. An overlapped handle opens the device at once.
    std::size_t takeDeviceOpens(DeviceId id);

    // Runs before each device call, so a test can unplug or break a device
    // in the middle of a walk.
    std::function<void(Operation, DeviceId)> beforeCall;
    // Runs inside each walk, once it has read the interfaces: a device
    // plugged here arrives while the system's walk is still under way.
    std::function<void()> duringWalk;

protected:
    InterfaceList doGetClassDevs() override;
    bool doInterfacePath(InterfaceList list, std::uint32_t index, std::string& path) override;
    void doDestroyList(InterfaceList list) override;
    Handle doOpen(const std::string& path, OpenMode mode, bool inheritable) override;
    std::string doOpenFailureReason() override;
    bool doClose(Handle handle) override;
    bool doGetAttributes(Handle handle, HidAttributes& attributes) override;
    bool doGetString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) override;
    bool doGetCaps(Handle handle, HidCaps& caps) override;
    bool doGetFeature(Handle handle, std::span<std::uint8_t> report) override;
    bool doSetFeature(Handle handle, std::span<const std::uint8_t> report) override;
    bool doReadInputReport(Handle handle, std::span<std::uint8_t> buffer, Overlapped& overlapped) override;
    EventHandle doCreateEvent(bool inheritable, bool manualReset, bool initialState) override;
    void doCloseEvent(EventHandle event) override;

private:
    struct Device {
        DeviceConfig config;
        bool present = true;
        std::uint32_t generation = 0;  // bumped on unplug: older handles are dead
        std::array<bool, static_cast<std::size_t>(Operation::kCount)> failing{};
        std::vector<std::vector<std::uint8_t>> received;
        std::uint8_t inputCounter = 0;
        std::uint32_t number = 0;  // interface number while enumerated
        std::size_t deviceOpens = 0;
    };
    struct OpenHandle {
        DeviceId device;
        std::uint32_t generation;
        OpenMode mode;
        std::uint32_t number;  // the device's interface number at the open
        bool deviceOpen;       // false until a request needed the device
    };

    static std::string pathOf(DeviceId id);
    // The device plugged under id; a test that names another is wrong.
    Device& device(DeviceId id);
    const Device& device(DeviceId id) const;
    void enumerate(DeviceId id);
    // The live device behind a handle, after counting the call and applying
    // its fault; nullptr when the call must fail.
    Device* deviceFor(Handle handle, Operation op);

    std::vector<Device> m_devices;
    std::vector<DeviceId> m_order;  // enumeration order of the present devices
    std::vector<DeviceId> m_kept;   // what the last walk found
    ListingFreshness m_freshness;
    std::map<std::uintptr_t, OpenHandle> m_handles;
    std::map<std::uintptr_t, std::vector<DeviceId>> m_lists;
    std::map<std::uintptr_t, bool> m_events;
    std::uintptr_t m_nextId = 0x100;
    std::array<std::size_t, static_cast<std::size_t>(Operation::kCount)> m_calls{};
    std::size_t m_eventsCreated = 0;
    std::size_t m_listsBuilt = 0;
    std::size_t m_walks = 0;
    std::size_t m_featureWrites = 0;
    bool m_listFailing = false;
    bool m_eventFailing = false;
};

}  // namespace device::sim
