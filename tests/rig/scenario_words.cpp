#include "rig/scenario_script.h"

#include "device/hex_text.h"
#include "device/utf16_text.h"

namespace rig {

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::variant<Tokens, ParseError> tokenize(std::string_view line) {
    Tokens result;
    std::vector<Token>& tokens = result.words;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        Token token;
        std::string bare;
        // A word may start bare and continue quoted (key="a b").
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] != '"') {
                bare.push_back(line[i++]);
                continue;
            }
            token.text += device::utf8ToUtf16(bare);
            bare.clear();
            token.quoted = true;
            ++i;
            std::string run;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    run.push_back(c);
                    continue;
                }
                if (i >= line.size()) return ParseError{"unfinished escape"};
                const char e = line[i++];
                if (e == '"' || e == '\\') {
                    run.push_back(e);
                } else if (e == 'u') {
                    if (i + 4 > line.size()) return ParseError{"\\u needs four hex digits"};
                    const auto v = device::parseHex(line.substr(i, 4), 4, 0xFFFF);
                    if (!v) return ParseError{"\\u needs four hex digits"};
                    i += 4;
                    token.text += device::utf8ToUtf16(run);
                    run.clear();
                    token.text.push_back(static_cast<char16_t>(*v));
                } else {
                    return ParseError{std::string("unknown escape \\") + e};
                }
            }
            if (!closed) return ParseError{"missing closing quote"};
            token.text += device::utf8ToUtf16(run);
        }
        token.text += device::utf8ToUtf16(bare);
        tokens.push_back(std::move(token));
        result.end = i;
    }
    return result;
}

}  // namespace rig
