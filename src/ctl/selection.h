#pragma once

#include "ctl/survey.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ctl {

// The units a program may name: the interfaces with the unit's IDs whose
// serial could be read, and how many nodes could not be opened at all.
struct Listing {
    std::vector<InterfaceFacts> units;
    std::size_t unopened = 0;
};

Listing listUnits(device::HidPlatform& platform);

// Why an empty list may be empty; nullopt when nothing hints at a reason.
std::optional<std::string> emptyListNote(const Listing& listing);

// The units one command acts on, or why none: units is empty exactly when
// message says why, with the exit status in status.
struct Selection {
    std::vector<InterfaceFacts> units;
    int status = 0;
    std::string message;
};

// A serial matches exactly; without one, a single unit is chosen and
// several only with all. A write never goes to several units that share
// the serial it names.
Selection chooseUnits(const Listing& listing, const std::optional<std::string>& serial, bool all, bool writes);

}  // namespace ctl
