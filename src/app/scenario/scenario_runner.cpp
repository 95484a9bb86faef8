#include "app/scenario/scenario_runner.h"

#include "device/product_ids.h"
#include "app/scenario/unit_bench.h"
#include "ctl/program.h"
#include "device/sim/sim_platform.h"
#include "device/utf16_text.h"
#include "window/frm_main.h"
#include "window/number_text.h"

#include <charconv>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace app {

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

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// A word as a command line hands it over; a lone surrogate becomes U+FFFD.
std::string toUtf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::optional<unsigned> hexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

struct Tokens {
    std::vector<Token> words;
    // Where the command's own text ends: at the comment, or the line's end.
    // A '#' inside a word or a quoted string does not start a comment.
    std::size_t end = 0;
};

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
                    unsigned v = 0;
                    for (int k = 0; k < 4; ++k) {
                        const auto d = hexDigit(line[i++]);
                        if (!d) return ParseError{"\\u needs four hex digits"};
                        v = v * 16 + *d;
                    }
                    token.text += device::utf8ToUtf16(run);
                    run.clear();
                    token.text.push_back(static_cast<char16_t>(v));
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
    int base = 10;
    if (s.starts_with("0x") || s.starts_with("0X")) {
        base = 16;
        s.remove_prefix(2);
    }
    unsigned long v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (s.empty() || r.ec != std::errc{} || r.ptr != s.data() + s.size() || v > max) return std::nullopt;
    return v;
}

std::optional<std::vector<std::uint8_t>> parseReport(std::string_view s) {
    std::vector<std::uint8_t> bytes;
    while (!s.empty()) {
        if (s.size() < 2) return std::nullopt;
        const auto hi = hexDigit(s[0]);
        const auto lo = hexDigit(s[1]);
        if (!hi || !lo) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*hi * 16 + *lo));
        s.remove_prefix(2);
        if (!s.empty()) {
            if (s[0] != ':' || s.size() == 1) return std::nullopt;
            s.remove_prefix(1);
        }
    }
    if (bytes.empty() || bytes.size() > 0xFFFF) return std::nullopt;
    return bytes;
}

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
    DeviceConfig config;
    Operation operation = Operation::Open;
    std::string list;
    int index = 0;
    std::vector<std::string> words;  // ctl's command line, UTF-8
};

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
                auto bytes = parseReport(v8);
                if (!bytes) return ParseError{"'report' needs hex pairs joined by ':'"};
                c.config.featureImage = std::move(*bytes);
            } else {
                return ParseError{"unknown key '" + key + "'"};
            }
        }
        return c;
    }
    if (verb == "ctl") {
        c.verb = Verb::Ctl;
        for (std::size_t i = 1; i < tokens.size(); ++i) c.words.push_back(toUtf8(tokens[i].text));
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

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out.push_back(ch);
        }
    }
    out += '"';
    return out;
}

std::string hexReport(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out.push_back(':');
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

class Session {
public:
    explicit Session(std::unique_ptr<UnitBench> bench) : m_bench(std::move(bench)), m_form(m_bench->platform()) {
        // A report may reach a unit only from a settled window: a unit is
        // connected, its settings are loaded and no refresh is running.
        m_bench->beforeSetFeature = [this] {
            if (m_violation.empty() && !m_inCtl &&
                !(m_form.SettingsLoaded && m_form.connection().DeviceDetected && m_form.RefreshComplete))
                m_violation = "a report was sent while the window was not settled";
        };
    }

    // What must hold between any two commands; empty when all of it does.
    std::string checkInvariants() {
        if (!m_violation.empty()) return std::exchange(m_violation, {});
        const device::Connection& conn = m_form.connection();
        const std::size_t held = (conn.DeviceHandle != device::kNoHandle) + (conn.ReadHandle != device::kNoHandle);
        if (m_bench->openHandles() != held) return "a handle is open that the window does not hold";
        if (conn.DeviceDetected != (conn.DeviceHandle != device::kNoHandle))
            return "the unit's handle is not open exactly while a unit is connected";
        if (!conn.DeviceDetected && conn.ReadHandle != device::kNoHandle)
            return "a read handle is open while no unit is connected";
        if (m_bench->openEvents() > 1) return "more than one read event exists";
        return {};
    }

    // Runs one command; an error names what could not be done.
    std::optional<std::string> run(const Command& c, std::ostream& out) {
        switch (c.verb) {
        case Verb::Unit:
        case Verb::Other:
            if (auto e = m_bench->plug(c.config)) return e;
            m_devices.push_back({c.config.isUnit, c.config.serial, true});
            return std::nullopt;
        case Verb::Unplug:
        case Verb::Replug: {
            const bool unplug = c.verb == Verb::Unplug;
            const auto id = findUnit(c.serial, unplug);
            if (!id) return "no " + std::string(unplug ? "plugged" : "unplugged") + " unit '" + narrow(c.serial) + "'";
            if (auto e = unplug ? m_bench->unplug(*id) : m_bench->replug(*id)) return e;
            m_devices[*id].present = !unplug;
            return std::nullopt;
        }
        case Verb::Fail:
        case Verb::Heal:
        case Verb::Reports: {
            const auto id = findBySerial(c.serial);
            if (!id) return "no unit '" + narrow(c.serial) + "'";
            if (c.verb != Verb::Reports) return m_bench->setFailing(*id, c.operation, c.verb == Verb::Fail);
            std::vector<std::vector<std::uint8_t>> reports;
            if (auto e = m_bench->takeReports(*id, reports)) return e;
            for (const auto& report : reports) out << hexReport(report) << '\n';
            out << "end\n";
            return std::nullopt;
        }
        case Verb::Start:
            // One window: it can be opened again only after it was closed.
            if (m_open) return std::string("the window is already open");
            m_open = true;
            m_form.Form_Load();
            return std::nullopt;
        case Verb::Close: {
            if (!m_open) return std::string("the window is not open");
            m_open = false;
            bool cancel = false;
            m_form.Form_Unload(cancel);
            return std::nullopt;
        }
        case Verb::Tick:
            if (m_form.Timer.enabled()) m_bench->beforeTick(static_cast<std::uint32_t>(m_form.Timer.interval()));
            m_form.Timer.expire();
            return std::nullopt;
        case Verb::Pick:
            static_cast<window::SelectionList*>(m_form.findControl(c.list))->userPick(c.index);
            return std::nullopt;
        case Verb::Press: m_form.Command1.userPress(); return std::nullopt;
        case Verb::Show: show(out); return std::nullopt;
        case Verb::Ctl: runCtl(c, out); return std::nullopt;
        case Verb::Handles:
            out << "open=" << m_bench->openHandles() << " events=" << m_bench->openEvents() << '\n';
            return std::nullopt;
        case Verb::Woken: {
            // The devices, by plug order from 0, that were opened since
            // the last such command.
            std::vector<bool> woken;
            if (auto e = m_bench->takeWoken(woken)) return e;
            out << "woken=";
            bool any = false;
            for (std::size_t id = 0; id < woken.size(); ++id) {
                if (!woken[id]) continue;
                out << (any ? "," : "") << id;
                any = true;
            }
            out << (any ? "" : "none") << '\n';
            return std::nullopt;
        }
        }
        return std::nullopt;
    }

private:
    // vandrelctl against the same units, as a second program beside the
    // window would run. Paths differ from one platform to the next, so each
    // is printed as the order in which this run first named it.
    void runCtl(const Command& c, std::ostream& out) {
        std::vector<std::string> paths;
        ctl::Host host;
        host.version = "test";
        host.showPath = [&paths](const std::string& path) {
            std::size_t n = 0;
            while (n < paths.size() && paths[n] != path) ++n;
            if (n == paths.size()) paths.push_back(path);
            return "<path " + std::to_string(n + 1) + ">";
        };
        std::ostringstream results, messages;
        m_inCtl = true;
        const int status = ctl::run(m_bench->platform(), c.words, results, messages, host);
        m_inCtl = false;
        out << results.str();
        std::istringstream lines(messages.str());
        for (std::string line; std::getline(lines, line);) out << "stderr: " << line << '\n';
        out << "exit " << status << '\n';
    }

    struct Plugged {
        bool isUnit;
        std::optional<std::u16string> serial;
        bool present;
    };

    std::optional<std::size_t> findUnit(const std::u16string& serial, bool present) const {
        for (std::size_t id = 0; id < m_devices.size(); ++id) {
            const Plugged& d = m_devices[id];
            if (d.isUnit && d.serial && *d.serial == serial && d.present == present) return id;
        }
        return std::nullopt;
    }

    std::optional<std::size_t> findBySerial(const std::u16string& serial) const {
        for (std::size_t id = 0; id < m_devices.size(); ++id)
            if (m_devices[id].serial && *m_devices[id].serial == serial) return id;
        return std::nullopt;
    }

    void show(std::ostream& out) const {
        for (const window::Control* c : m_form.controls()) {
            out << c->name();
            switch (c->kind()) {
            case window::ControlKind::Frame: out << " enabled=" << c->enabled() << " visible=" << c->visible(); break;
            case window::ControlKind::Label:
                out << " enabled=" << c->enabled() << " visible=" << c->visible()
                    << " caption=" << quoted(static_cast<const window::Label*>(c)->caption());
                break;
            case window::ControlKind::SelectionList: {
                const auto* list = static_cast<const window::SelectionList*>(c);
                out << " enabled=" << c->enabled() << " visible=" << c->visible() << " items=" << list->itemCount()
                    << " index=" << list->listIndex() << " text=" << quoted(list->text());
                break;
            }
            case window::ControlKind::TextBox:
                out << " text=" << quoted(static_cast<const window::TextBox*>(c)->text());
                break;
            case window::ControlKind::Button: out << " enabled=" << c->enabled(); break;
            case window::ControlKind::Timer:
                out << " enabled=" << c->enabled()
                    << " interval=" << static_cast<const window::TimerControl*>(c)->interval();
                break;
            }
            out << '\n';
        }
        const device::Connection& conn = m_form.connection();
        out << "flags DeviceDetected=" << conn.DeviceDetected << " SettingsLoaded=" << m_form.SettingsLoaded
            << " RefreshComplete=" << m_form.RefreshComplete
            << " FactoryCalibration=" << window::formatNumber(m_form.FactoryCalibration) << '\n';
    }

    std::unique_ptr<UnitBench> m_bench;
    window::frmMain m_form;
    std::vector<Plugged> m_devices;
    std::string m_violation;
    bool m_open = false;
    bool m_inCtl = false;
};

struct ParsedScenario {
    std::vector<Command> commands;
    std::size_t lines = 0;
    int errorLine = 0;
    std::string error;
};

// Reads every line before anything is played; stops at the first malformed one.
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

}  // namespace

ScenarioCheck checkScenario(std::istream& in) {
    const ParsedScenario parsed = parseScenario(in);
    return ScenarioCheck{parsed.lines, parsed.commands.size(), parsed.errorLine, parsed.error};
}

int runScenario(std::istream& in, std::ostream& out, std::ostream& err) {
    return runScenario(in, out, err, makeSimBench());
}

int runScenario(std::istream& in, std::ostream& out, std::ostream& err, std::unique_ptr<UnitBench> bench) {
    const ParsedScenario parsed = parseScenario(in);
    if (parsed.errorLine != 0) {
        err << "line " << parsed.errorLine << ": " << parsed.error << '\n';
        return 2;
    }
    const std::vector<Command>& commands = parsed.commands;

    // What the bench cannot play is refused before anything is played.
    for (const Command& c : commands) {
        if ((c.verb == Verb::Fail || c.verb == Verb::Heal) && !bench->canFailCalls()) {
            err << "line " << c.line << ": '" << (c.verb == Verb::Fail ? "fail" : "heal")
                << "' cannot be played on real devices, which cannot be told to fail a single call\n";
            return 2;
        }
    }

    Session session(std::move(bench));
    for (const Command& c : commands) {
        // Flushed before the command plays: a run stopped from outside shows
        // the command it was in.
        out << "> " << c.source << '\n' << std::flush;
        if (auto e = session.run(c, out)) {
            err << "line " << c.line << ": " << *e << '\n';
            return 1;
        }
        if (const std::string broken = session.checkInvariants(); !broken.empty()) {
            err << "line " << c.line << ": " << broken << '\n';
            return 3;
        }
    }
    return 0;
}

}  // namespace app
