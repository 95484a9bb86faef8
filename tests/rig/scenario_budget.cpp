#include "rig/scenario_budget.h"

namespace rig {

namespace {

// Seconds for the runner's start and reset, for every device that arrives
// (the kernel enumerates it and the layer lists it) or leaves, every ctl
// (which walks and reads every device) and every tick (whose scan through
// Wine can take seconds).
struct Rates {
    unsigned start, arrival, departure, ctl, tick;
};

// On one quiet core a Linux scenario took 3 to 11 s, and the rates give
// two to three times that. Through Wine, the runner's start and reset took
// about 30 s, a plug 11 to 27 s to be listed (17 s on average) and an
// unplug 1 to 5 s; those rates give 1.2 to 1.4 times the scenarios that
// passed there, which is what the guests' limits, an hour together, leave.
constexpr Rates kLinux{6, 3, 2, 1, 1};
constexpr Rates kWindows{40, 24, 4, 1, 1};

}  // namespace

std::optional<LiveLayer> liveLayerNamed(std::string_view name) {
    if (name == "linux") return LiveLayer::Linux;
    if (name == "windows") return LiveLayer::Windows;
    return std::nullopt;
}

unsigned scenarioBudget(const ScenarioCheck& check, LiveLayer layer) {
    const Rates& r = layer == LiveLayer::Linux ? kLinux : kWindows;
    const auto count = [](std::size_t n) { return static_cast<unsigned>(n); };
    return r.start + r.arrival * count(check.arrivals) + r.departure * count(check.departures) +
           r.ctl * count(check.ctls) + r.tick * count(check.ticks);
}

}  // namespace rig
