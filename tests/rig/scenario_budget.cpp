#include "rig/scenario_budget.h"

namespace rig {

namespace {

// Seconds for the runner's start and reset, for every command, and on top
// for every unit that arrives or leaves (the kernel enumerates it and the
// layer hears of it), every ctl (which walks and reads every device) and
// every tick (whose scan through Wine can take seconds).
struct Rates {
    unsigned start, command, move, ctl, tick;
};

// About three times what each took on one busy core, where a scenario took
// 3 to 23 s on Linux. Through Wine a plug took 15 to 78 s to be listed and
// an unplug 3 to 4 s, and starting the runner 30 s; there the rates are
// what the guests' limits, an hour together, leave for the scenarios.
constexpr Rates kLinux{12, 0, 5, 1, 1};
constexpr Rates kWindows{14, 0, 15, 2, 1};

}  // namespace

std::optional<LiveLayer> liveLayerNamed(std::string_view name) {
    if (name == "linux") return LiveLayer::Linux;
    if (name == "windows") return LiveLayer::Windows;
    return std::nullopt;
}

unsigned scenarioBudget(const ScenarioCheck& check, LiveLayer layer) {
    const Rates& r = layer == LiveLayer::Linux ? kLinux : kWindows;
    const auto count = [](std::size_t n) { return static_cast<unsigned>(n); };
    return r.start + r.command * count(check.commands) + r.move * count(check.moves) + r.ctl * count(check.ctls) +
           r.tick * count(check.ticks);
}

}  // namespace rig
