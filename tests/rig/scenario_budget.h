#pragma once

#include "rig/scenario_runner.h"

#include <optional>
#include <string>
#include <string_view>

namespace rig {

// The layer a live guest plays scenarios through: the kernel's hidraw
// nodes directly, or Wine's HID stack over them.
enum class LiveLayer { Linux, Windows };

std::optional<LiveLayer> liveLayerNamed(std::string_view name);

// The seconds a well-formed scenario may take in a live guest before it
// counts as hung.
unsigned scenarioBudget(const ScenarioCheck& check, LiveLayer layer);

// The monotonic clock in seconds, as "12.34": Linux and Wine both count it
// from the guest's boot, as the guest's progress file does.
std::string guestClock();

}  // namespace rig
