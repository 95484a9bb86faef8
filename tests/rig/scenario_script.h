#pragma once

#include "device/sim/sim_platform.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace rig {

// A word's ASCII text; every other code unit becomes '?'.
std::string narrow(const std::u16string& s);

enum class Verb {
    Ctl,
    Unit,
    Other,
    Unplug,
    Replug,
    Fail,
    Heal,
    Start,
    Close,
    Tick,
    Pick,
    Press,
    Show,
    Reports,
    Handles,
    Woken
};

struct Command {
    int line = 0;
    std::string source;
    Verb verb = Verb::Show;
    std::u16string serial;
    device::sim::DeviceConfig config;
    device::sim::Operation operation = device::sim::Operation::Open;
    std::string list;
    int index = 0;
    std::vector<std::string> words;  // ctl's command line, UTF-8
};

struct ParsedScenario {
    std::vector<Command> commands;
    std::size_t lines = 0;
    int errorLine = 0;
    std::string error;
};

// Reads every line before anything is played; stops at the first malformed one.
ParsedScenario parseScenario(std::istream& in);

}  // namespace rig
