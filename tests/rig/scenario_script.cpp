#include "rig/scenario_script.h"

#include "device/hex_text.h"
#include "device/utf16_text.h"

#include <charconv>
#include <cstdint>
#include <istream>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

namespace rig {

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

namespace {

using device::sim::DeviceConfig;
using device::sim::Operation;

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

std::optional<unsigned long> parseUnsigned(std::string_view s, unsigned long max) {
    if (s.starts_with("0x") || s.starts_with("0X")) {
        s.remove_prefix(2);
        return device::parseHex(s, s.size(), static_cast<std::uint32_t>(max));
    }
    unsigned long v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || r.ec != std::errc{} || r.ptr != s.data() + s.size() || v > max) return std::nullopt;
    return v;
}

std::variant<Command, ParseError> parseCommand(const std::vector<Token>& tokens) {
    Command c;
    const std::string verb = narrow(tokens[0].text);
    const std::size_t args = tokens.size() - 1;
    auto expectArgs = [&](std::size_t n) -> std::optional<ParseError> {
        if (args != n) return ParseError{"'" + verb + "' takes " + std::to_string(n) + " argument(s)"};
        return std::nullopt;
    };
    auto serialOf = [](const Token& t) { return !t.quoted && t.text == u"-" ? std::u16string() : t.text; };

    if (verb == "unit") {
        if (args < 1) return ParseError{"'unit' needs a serial"};
        c.verb = Verb::Unit;
        c.config = device::sim::unitConfig(serialOf(tokens[1]));
        for (std::size_t i = 2; i < tokens.size(); ++i) {
            const std::u16string& word = tokens[i].text;
            const auto eq = word.find(u'=');
            if (eq == std::u16string::npos) return ParseError{"expected key=value, got '" + narrow(word) + "'"};
            const std::string key = narrow(word.substr(0, eq));
            const std::u16string value = word.substr(eq + 1);
            const std::string v8 = narrow(value);
            if (key == "manufacturer") {
                c.config.manufacturer = value;
            } else if (key == "product") {
                c.config.product = value;
            } else if (key == "vid" || key == "pid" || key == "version" || key == "feature_len" || key == "input_len") {
                const auto n = parseUnsigned(v8, 0xFFFF);
                if (!n) return ParseError{"'" + key + "' needs a number from 0 to 65535"};
                const auto u = static_cast<std::uint16_t>(*n);
                if (key == "vid") c.config.vendorId = u;
                if (key == "pid") c.config.productId = u;
                if (key == "version") c.config.version = u;
                if (key == "feature_len") c.config.featureLength = u;
                if (key == "input_len") c.config.inputLength = u;
            } else if (key == "input") {
                if (v8 != "ready" && v8 != "silent") return ParseError{"'input' is 'ready' or 'silent'"};
                c.config.sendsInput = v8 == "ready";
            } else if (key == "get_report") {
                const auto answer = device::sim::featureAnswerFromName(v8);
                if (!answer) return ParseError{"'get_report' is answer, stall, silent or unplug"};
                c.config.featureAnswer = *answer;
            } else if (key == "report") {
                auto bytes = device::parseHexBytes(v8, ':');
                if (!bytes || bytes->size() > 0xFFFF) return ParseError{"'report' needs hex pairs joined by ':'"};
                c.config.featureImage = std::move(*bytes);
            } else {
                return ParseError{"unknown key '" + key + "'"};
            }
        }
        return c;
    }
    if (verb == "ctl") {
        c.verb = Verb::Ctl;
        for (std::size_t i = 1; i < tokens.size(); ++i) c.words.push_back(device::utf16ToUtf8(tokens[i].text));
        return c;
    }
    if (verb == "other") {
        if (auto e = expectArgs(0)) return *e;
        c.verb = Verb::Other;
        c.config = device::sim::otherDeviceConfig();
        return c;
    }
    if (verb == "unplug" || verb == "replug" || verb == "reports") {
        if (auto e = expectArgs(1)) return *e;
        c.verb = verb == "unplug" ? Verb::Unplug : verb == "replug" ? Verb::Replug : Verb::Reports;
        c.serial = serialOf(tokens[1]);
        return c;
    }
    if (verb == "fail" || verb == "heal") {
        if (auto e = expectArgs(2)) return *e;
        c.verb = verb == "fail" ? Verb::Fail : Verb::Heal;
        c.serial = serialOf(tokens[1]);
        const auto op = device::sim::operationFromName(narrow(tokens[2].text));
        if (!op) return ParseError{"unknown operation '" + narrow(tokens[2].text) + "'"};
        c.operation = *op;
        return c;
    }
    if (verb == "pick") {
        if (auto e = expectArgs(2)) return *e;
        c.verb = Verb::Pick;
        c.list = narrow(tokens[1].text);
        if (c.list != "SerNo" && c.list != "Enc1" && c.list != "Enc2" && c.list != "Enc3" && c.list != "Cal")
            return ParseError{"unknown list '" + c.list + "'"};
        const std::string idx = narrow(tokens[2].text);
        const auto n = parseUnsigned(idx, 1'000'000);
        if (!n || idx.starts_with("0x")) return ParseError{"'pick' needs an index from 0"};
        c.index = static_cast<int>(*n);
        return c;
    }
    static constexpr std::pair<std::string_view, Verb> kPlain[] = {
        {"start", Verb::Start}, {"close", Verb::Close},     {"tick", Verb::Tick},  {"press", Verb::Press},
        {"show", Verb::Show},   {"handles", Verb::Handles}, {"woken", Verb::Woken}};
    for (const auto& [name, v] : kPlain) {
        if (verb == name) {
            if (auto e = expectArgs(0)) return *e;
            c.verb = v;
            return c;
        }
    }
    return ParseError{"unknown command '" + verb + "'"};
}

}  // namespace

ParsedScenario parseScenario(std::istream& in) {
    ParsedScenario parsed;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        parsed.lines = static_cast<std::size_t>(number);
        auto tokens = tokenize(line);
        if (auto* e = std::get_if<ParseError>(&tokens)) {
            parsed.errorLine = number;
            parsed.error = e->message;
            return parsed;
        }
        const Tokens& words = std::get<Tokens>(tokens);
        if (words.words.empty()) continue;
        auto command = parseCommand(words.words);
        if (auto* e = std::get_if<ParseError>(&command)) {
            parsed.errorLine = number;
            parsed.error = e->message;
            return parsed;
        }
        Command& c = std::get<Command>(command);
        c.line = number;
        c.source = line.substr(0, words.end);
        parsed.commands.push_back(std::move(c));
    }
    return parsed;
}

}  // namespace rig
