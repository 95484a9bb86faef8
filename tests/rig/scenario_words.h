#pragma once

#include <cstddef>
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

}  // namespace rig
