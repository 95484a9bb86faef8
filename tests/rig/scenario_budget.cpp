#include "rig/scenario_runner.h"

#include <chrono>
#include <cstdio>

namespace rig {

namespace {

// Seconds for a scenario's start (a new platform, and a reset that finds
// nothing plugged in), for every device that arrives
// (the kernel enumerates it and the layer lists it) or leaves (also at the
// end, when what is still plugged in leaves), every ctl
// (which walks and reads every device) and every tick (whose scan through
// Wine can take seconds).
struct Rates {
    unsigned start, arrival, departure, ctl, tick;
};

// Measured on one core: a Linux scenario took 1 to 10 s, and the rates give
// two to six times that. Through Wine a plug took 2 to 33 s to be listed
// (21 s on average), a departure 0 to 3 s while the window held the unit
// and up to 21 s once it had let it go, a ctl about a second, a tick up to
// two (it waits half a second over Wine). A scenario may take twice its
// budget before it counts as hung; the guest's limit is the sum, so that
// the slow plugs of one scenario are paid for by the quick ones of
// another. The runner's own start is priced once a guest
// (tests/live/budget.sh), as it plays every scenario in one process.
constexpr Rates kLinux{4, 2, 1, 1, 1};
constexpr Rates kWindows{10, 28, 7, 2, 2};

}  // namespace

std::optional<LiveLayer> liveLayerNamed(std::string_view name) {
    if (name == "linux") return LiveLayer::Linux;
    if (name == "windows") return LiveLayer::Windows;
    return std::nullopt;
}

unsigned scenarioBudget(const ScenarioCheck& check, LiveLayer layer) {
    const Rates& r = layer == LiveLayer::Linux ? kLinux : kWindows;
    const auto count = [](std::size_t n) { return static_cast<unsigned>(n); };
    // What is still plugged in at the end leaves then, on this budget.
    const std::size_t left = check.arrivals > check.departures ? check.arrivals - check.departures : 0;
    return r.start + r.arrival * count(check.arrivals) + r.departure * count(check.departures + left) +
           r.ctl * count(check.ctls) + r.tick * count(check.ticks);
}

std::string guestClock() {
    const std::chrono::duration<double> now = std::chrono::steady_clock::now().time_since_epoch();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", now.count());
    return text;
}

}  // namespace rig
