#pragma once

#include "device/sim/sim_platform.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rig {

struct ParseError {
    std::string message;
};

// A word of a scenario line: bare, or in double quotes with \" \\ and
// \uXXXX escapes. Quoted words are kept as UTF-16 so a test can give any
// code unit a unit's string may hold.
struct Token {
    std::u16string text;
    bool quoted = false;
};

struct Tokens {
    std::vector<Token> words;
    // Where the command's own text ends: at the comment, or the line's end.
    // A '#' inside a word or a quoted string does not start a comment.
    std::size_t end = 0;
};

// The words of one scenario line, up to its comment.
std::variant<Tokens, ParseError> tokenize(std::string_view line);

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
