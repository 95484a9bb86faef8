#include "rig/scenario_budget.h"

#include <chrono>
#include <cstdio>

namespace rig {

namespace {

// Seconds for a scenario's start (a new platform, and the reset that
// unplugs what the one before left), for every device that arrives
// (the kernel enumerates it and the layer lists it) or leaves, every ctl
// (which walks and reads every device) and every tick (whose scan through
// Wine can take seconds).
struct Rates {
    unsigned start, arrival, departure, ctl, tick;
};

// On one quiet core a Linux scenario took 3 to 11 s, and the rates give
// two to three times that. Through Wine, a plug took 11 to 27 s to be
// listed (17 s on average) and an unplug 1 to 5 s; the runner's own start
// is priced once a guest (tests/live/budget.sh), as it plays every
// scenario in one process.
constexpr Rates kLinux{6, 3, 2, 1, 1};
constexpr Rates kWindows{20, 24, 4, 1, 1};

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

std::string guestClock() {
    const std::chrono::duration<double> now = std::chrono::steady_clock::now().time_since_epoch();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", now.count());
    return text;
}

}  // namespace rig
