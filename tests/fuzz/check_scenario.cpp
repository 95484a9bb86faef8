#include "fuzz/parser_checks.h"

#include "rig/scenario_runner.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace fuzz {

namespace {

constexpr const char* kName = "scenario";

rig::ScenarioCheck parse(const std::string& text) {
    std::istringstream in(text);
    return rig::checkScenario(in);
}

}  // namespace

void checkScenario(Bytes input) {
    const std::string text(input.begin(), input.end());
    const rig::ScenarioCheck whole = parse(text);
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                       (text.empty() || text.back() == '\n' ? 0 : 1);

    require(whole.commands <= whole.lines, kName, "more commands than lines");
    if (whole.errorLine == 0) {
        require(whole.error.empty(), kName, "a message without a malformed line");
        require(whole.lines == lines, kName, "a well-formed scenario was not read to its end");
        return;
    }
    require(!whole.error.empty(), kName, "a malformed line without a message");
    require(whole.errorLine >= 1 && static_cast<std::size_t>(whole.errorLine) == whole.lines && whole.lines <= lines,
            kName, "the malformed line is not the last line read");

    // Lines are read one at a time: the text before the malformed line is a
    // well-formed scenario with the same commands, and the malformed line on
    // its own is malformed with the same message.
    std::size_t start = 0;
    for (int n = 1; n < whole.errorLine; ++n) start = text.find('\n', start) + 1;
    const rig::ScenarioCheck before = parse(text.substr(0, start));
    require(before.errorLine == 0 && before.commands == whole.commands, kName,
            "the lines before a malformed one do not read the same on their own");
    const std::size_t end = text.find('\n', start);
    const rig::ScenarioCheck alone = parse(text.substr(start, end == std::string::npos ? end : end - start));
    require(alone.errorLine == 1 && alone.error == whole.error, kName,
            "a malformed line does not read the same on its own");
}

}  // namespace fuzz
