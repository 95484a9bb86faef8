#include "ctl/internal.h"

#include "device/hex_text.h"

#include <charconv>
#include <vector>

namespace ctl {

namespace {

constexpr std::string_view kUsage =
    "usage: vandrelctl list [--json]\n"
    "       vandrelctl show [--serial S | --all] [--json]\n"
    "       vandrelctl set [--serial S | --all] [--amplitude MV | --amplitude-code N]\n"
    "                      [--polarity off|normal|inverted] [--calibration F] [--json]\n"
    "       vandrelctl restore [--serial S | --all] [--json]\n"
    "       vandrelctl diagnose [--json]\n"
    "       vandrelctl --help | --version\n"
    "\n"
    "  list       the attached units: serial, maker, product, version, path\n"
    "  show       each unit's identity, settings and output summary\n"
    "  set        change only the settings given, in one report, and read back\n"
    "  restore    write amplitude code 280, Normal and calibration 1.000\n"
    "  diagnose   why a unit may not appear, and how to fix it\n"
    "\n"
    "  --serial S         the unit whose serial number is exactly S\n"
    "  --all              every attached unit\n"
    "  --amplitude MV     the lowest code that reads exactly MV millivolts into 50R\n"
    "  --amplitude-code N amplitude code 0 to 510\n"
    "  --polarity P       off, normal or inverted\n"
    "  --calibration F    calibration adjustment 0.400 to 2.100, at most three decimals\n"
    "  --json             results as JSON (see vandrelctl(1) for the schema)\n"
    "\n"
    "Exit status: 0 success, 1 a unit could not be read or written, 2 bad usage\n"
    "or value (nothing was sent), 3 no unit matched.\n";

// Digits only, no sign or blank; nullopt past max.
std::optional<int> parseWhole(std::string_view text, int max) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value > max) return std::nullopt;
    return value;
}

// A word shown back in a message: control characters and bytes that are
// not text become \xNN, and a long word is cut.
std::string shown(std::string_view word) {
    std::string out;
    for (unsigned char c : word.substr(0, 60)) {
        if (c < 0x20 || c == 0x7F) {
            out += "\\x" + device::hexNumber(c, 2);
        } else {
            out += static_cast<char>(c);
        }
    }
    if (word.size() > 60) out += "...";
    return out;
}

}  // namespace

std::string_view usageText() { return kUsage; }

std::optional<int> parseCalibration(std::string_view text) {
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (point != std::string_view::npos && (fraction.empty() || fraction.size() > 3)) return std::nullopt;
    const auto units = parseWhole(whole, 9);
    if (!units) return std::nullopt;
    int thousandths = *units * 1000;
    int scale = 100;
    for (char c : fraction) {
        if (c < '0' || c > '9') return std::nullopt;
        thousandths += (c - '0') * scale;
        scale /= 10;
    }
    if (thousandths < 400 || thousandths > 2100) return std::nullopt;
    return thousandths - 400;
}

bool plausibleSerial(std::string_view text) {
    // Decoded HID strings are UTF-8 of U+0001 to U+00FF, one character per
    // code unit, at most 50 of them.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        const auto c = static_cast<unsigned char>(text[i]);
        unsigned code = 0;
        if (c < 0x80) {
            code = c;
            i += 1;
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            i += 2;
        } else {
            return false;
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return false;
    }
    return characters >= 1 && characters <= 50;
}

std::variant<Request, UsageError> parseCommandLine(std::span<const std::string> args) {
    Request r;
    Change& c = r.change;
    if (args.empty()) return UsageError{"no command given; see 'vandrelctl --help'"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") return Request{};
    if (command == "--version") {
        r.verb = Verb::Version;
        return r;
    }
    if (command == "list") r.verb = Verb::List;
    else if (command == "show") r.verb = Verb::Show;
    else if (command == "set") r.verb = Verb::Set;
    else if (command == "restore") r.verb = Verb::Restore;
    else if (command == "diagnose") r.verb = Verb::Diagnose;
    else return UsageError{cat({"unknown command '", shown(command), "'; see 'vandrelctl --help'"})};
    c.defaults = r.verb == Verb::Restore;

    const bool chooses = r.verb == Verb::Show || r.verb == Verb::Set || r.verb == Verb::Restore;
    std::vector<std::string> seen;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string option = args[i];
        std::optional<std::string> value;
        if (option == "--help" || option == "-h") return Request{};
        if (!option.starts_with("--")) return UsageError{cat({"unexpected argument '", shown(option), "'"})};
        if (const auto eq = option.find('='); eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
        }
        for (const std::string& s : seen)
            if (s == option) return UsageError{cat({"'", shown(option), "' is given twice"})};
        seen.push_back(option);

        const bool takesValue = option == "--serial" || option == "--amplitude" || option == "--amplitude-code" ||
                                option == "--polarity" || option == "--calibration";
        const bool known = takesValue || option == "--json" || option == "--all";
        if (!known) return UsageError{cat({"unknown option '", shown(option), "'; see 'vandrelctl --help'"})};
        const bool allowed = option == "--json" || ((option == "--serial" || option == "--all") && chooses) ||
                             (takesValue && option != "--serial" && r.verb == Verb::Set);
        if (!allowed) return UsageError{cat({"'", command, "' takes no option '", option, "'"})};
        if (!takesValue) {
            if (value) return UsageError{cat({"'", option, "' takes no value"})};
            if (option == "--json") r.json = true;
            if (option == "--all") r.all = true;
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) return UsageError{cat({"'", option, "' needs a value"})};
            value = args[++i];
        }
        const std::string& v = *value;
        if (option == "--serial") {
            if (!plausibleSerial(v))
                return UsageError{
                    cat({"'", shown(v),
                         "' cannot be a serial number: a unit's serial has 1 to 50 characters, each from U+0020 to "
                         "U+00FF and none a control character"})};
            r.serial = v;
        } else if (option == "--amplitude") {
            c.amplitudeMillivolts = parseWhole(v, kMaxMillivolts);
            if (!c.amplitudeMillivolts)
                return UsageError{cat({"--amplitude takes whole millivolts from 0 to 99999, not '", shown(v), "'"})};
        } else if (option == "--amplitude-code") {
            c.amplitudeCode = parseWhole(v, protocol::kAmplitudeCodes - 1);
            if (!c.amplitudeCode)
                return UsageError{cat({"--amplitude-code takes a code from 0 to 510, not '", shown(v), "'"})};
        } else if (option == "--polarity") {
            if (v == "off") c.polarity = 0;
            else if (v == "normal") c.polarity = 1;
            else if (v == "inverted") c.polarity = 2;
            else return UsageError{cat({"--polarity takes off, normal or inverted, not '", shown(v), "'"})};
        } else if (option == "--calibration") {
            c.calibrationCode = parseCalibration(v);
            if (!c.calibrationCode)
                return UsageError{
                    cat({"--calibration takes 0.400 to 2.100 with at most three decimals, not '", shown(v), "'"})};
        }
    }
    if (r.serial && r.all) return UsageError{"give --serial or --all, not both"};
    if (c.amplitudeMillivolts && c.amplitudeCode) return UsageError{"give --amplitude or --amplitude-code, not both"};
    if (r.verb == Verb::Set && !c.amplitudeMillivolts && !c.amplitudeCode && !c.polarity && !c.calibrationCode)
        return UsageError{"'set' needs at least one of --amplitude, --amplitude-code, --polarity, --calibration"};
    return r;
}

}  // namespace ctl
