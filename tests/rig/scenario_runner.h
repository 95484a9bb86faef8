#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

// How a run ends: the exit status of vandrel-sim.
enum ExitStatus : int {
    kPlayed = 0,         // every command played and every rule held
    kCommandFailed = 1,  // a command could not be done
    kBadScript = 2,      // the script, or the command line, is malformed; nothing played
    kRuleBroken = 3,     // a rule of the window broke after a command
    kUnsettled = 4,      // the live platform never agreed with the kernel; nothing played
    kOverBudget = 124,   // a live scenario outlived its budget: the runner stopped, as timeout(1) does
};

// Reads a scenario — one command a line, '#' starts a comment — and plays
// it against the main window over the simulated platform, writing what a
// user would see and what the units received. The whole text is checked
// before anything runs: an unknown command or a malformed line stops with
// a message naming its line and nothing is applied. Returns the exit code.
int runScenario(std::istream& in, std::ostream& out, std::ostream& err);

class UnitRig;
// The same over another rig, such as virtual units under a real kernel.
// Commands the rig cannot play are refused before anything runs.
int runScenario(std::istream& in, std::ostream& out, std::ostream& err, std::unique_ptr<UnitRig> rig);

// What reading a scenario found, without playing it: how many lines and
// commands it holds, or the first malformed line (counted from 1) and why.
// Arrivals are the devices plugged (unit, other, replug); departures, unplugged.
struct ScenarioCheck {
    std::size_t lines = 0;
    std::size_t commands = 0;
    int errorLine = 0;
    std::string error;
    std::size_t arrivals = 0;
    std::size_t departures = 0;
    std::size_t ctls = 0;
    std::size_t ticks = 0;
};
ScenarioCheck checkScenario(std::istream& in);

// The layer a live guest plays scenarios through: the kernel's hidraw
// nodes directly, or Wine's HID stack over them.
enum class LiveLayer { Linux, Windows };

std::optional<LiveLayer> liveLayerNamed(std::string_view name);

// A well-formed scenario's share, in seconds, of a live guest's limit; it
// counts as hung at twice that.
unsigned scenarioBudget(const ScenarioCheck& check, LiveLayer layer);

// The monotonic clock in seconds, as "12.34": Linux and Wine both count it
// from the guest's boot, as the guest's progress file does.
std::string guestClock();

}  // namespace rig
