#pragma once

#include "device/sim/sim_platform.h"
#include "window/frm_main.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace fuzz {

// What one byte string drives: each event starts with an opcode byte
// (taken modulo kEventKinds) followed by the bytes its arguments need. A
// string that ends early is padded with zeros, so every input is valid.
enum class EventKind : std::uint8_t {
    PlugUnit,     // serial choice: a unit as it leaves the factory
    PlugOther,    // a HID device that is not a unit
    PlugHostile,  // a device whose every answer comes from the input
    Unplug,       // device
    Replug,       // device
    Fault,        // device, operation, on/off
    ListFault,    // on/off
    EventFault,   // on/off
    Mutate,       // device, field, value: a device changes its answers
    Pick,         // list, index: a person's pick in a drop-down
    Press,        // the restore button
    Tick,         // one timer expiry
    Close,        // the window is closed
    Start,        // the window is loaded again after a close
    Restart,      // the process ends and a new one starts
    ArmMidCall,   // after n device calls, a device changes inside a call
    kCount
};
inline constexpr std::uint8_t kEventKinds = static_cast<std::uint8_t>(EventKind::kCount);

struct RunCounts {
    std::size_t events = 0;
    std::size_t reportsChecked = 0;
};

// Drives one window over the simulated platform from a byte string and
// checks the window's invariants after every event and before every
// feature write. A broken invariant prints what broke and aborts, so both
// the fuzzer and the corpus replay stop at the first one.
class EventDriver {
public:
    // Beyond these an input only repeats what it already did.
    static constexpr std::size_t kMaxEvents = 256;
    static constexpr std::size_t kMaxDevices = 10;

    EventDriver();
    ~EventDriver();
    EventDriver(const EventDriver&) = delete;
    EventDriver& operator=(const EventDriver&) = delete;

    RunCounts run(std::span<const std::uint8_t> input);

private:
    class Reader;
    struct MidCallAction {
        std::size_t callsLeft = 0;
        std::uint8_t kind = 0;
        std::uint8_t device = 0;
        std::uint8_t value = 0;
    };

    void apply(EventKind kind, Reader& in);
    void plugHostile(Reader& in);
    void mutate(Reader& in);
    void pick(Reader& in);
    void start();
    void close();
    void onDeviceCall(device::sim::Operation op, device::sim::DeviceId id);
    void applyMidCall(const MidCallAction& action);
    device::sim::DeviceId deviceOf(std::uint8_t selector) const;

    void checkInvariants();
    void checkWritePreconditions(device::sim::DeviceId id);
    void checkReceivedReports();
    [[noreturn]] void fail(const std::string& what) const;

    device::sim::SimPlatform m_sim;
    std::unique_ptr<window::frmMain> m_window;
    bool m_loaded = false;
    bool m_everLoaded = false;
    std::vector<std::size_t> m_reportsSeen;
    MidCallAction m_midCall;
    std::size_t m_eventIndex = 0;
    EventKind m_currentKind = EventKind::Tick;
    RunCounts m_counts;
};

}  // namespace fuzz
