#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

namespace app {

// Reads a scenario — one command a line, '#' starts a comment — and plays
// it against the main window over the simulated platform, writing what a
// user would see and what the units received. The whole text is checked
// before anything runs: an unknown command or a malformed line stops with
// a message naming its line and nothing is applied. Returns the exit code.
int runScenario(std::istream& in, std::ostream& out, std::ostream& err);

class UnitBench;
// The same over another bench, such as virtual units under a real kernel.
// Commands the bench cannot play are refused before anything runs.
int runScenario(std::istream& in, std::ostream& out, std::ostream& err, std::unique_ptr<UnitBench> bench);

// What reading a scenario found, without playing it: how many lines and
// commands it holds, or the first malformed line (counted from 1) and why.
struct ScenarioCheck {
    std::size_t lines = 0;
    std::size_t commands = 0;
    int errorLine = 0;
    std::string error;
};
ScenarioCheck checkScenario(std::istream& in);

}  // namespace app
