#include "ctl/program.h"

#include "ctl/command_line.h"
#include "ctl/survey.h"
#include "device/product_ids.h"
#include "protocol/identity.h"
#include "window/amplitude.h"
#include "window/number_text.h"
#include "window/setting_defaults.h"
#include "window/summary.h"

#include <cstdio>
#include <ostream>
#include <variant>
#include <vector>

namespace ctl {

namespace {

constexpr int kOk = 0;
constexpr int kUnitFailed = 1;
constexpr int kBadUsage = 2;
constexpr int kNoUnit = 3;

constexpr std::string_view kPolarityNames[] = {"off", "normal", "inverted"};

// Device strings may hold any byte a HID string can carry; on a terminal
// the control characters among them become \xNN.
std::string printable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned code = static_cast<unsigned char>(text[i]);
        if (code == 0xC2 && i + 1 < text.size()) {
            const unsigned next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next < 0xA0) code = next, ++i;  // U+0080 to U+009F
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", code);
            out += hex;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A JSON string: quotes, backslashes and control characters escaped; bytes
// that are not UTF-8 become U+FFFD.
std::string json(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid && length == 2 && c < 0xC2) valid = false;
        if (!valid) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        unsigned code = c;
        if (length == 2) code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            char hex[7];
            std::snprintf(hex, sizeof hex, "\\u%04x", code);
            out += hex;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    out += '"';
    return out;
}

std::string jsonOrNull(const std::optional<std::string>& text) { return text ? json(*text) : "null"; }

// The version as the window's label shows it, without its leading blank.
std::string versionOf(const InterfaceFacts& unit) {
    return protocol::versionText(unit.attributes->VersionNumber).substr(1);
}

// The user factor the window computes with: its calibration item's text
// read back as a number. Nothing for a code that names no item.
std::optional<double> userFactor(int calibrationCode) {
    if (calibrationCode < 0 || calibrationCode >= window::kCalibrationItemCount) return std::nullopt;
    return window::parseNumber(window::calibrationText(calibrationCode));
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

// One unit's result: its settings as read, or why there are none.
struct UnitResult {
    const InterfaceFacts* unit = nullptr;
    std::optional<protocol::DecodedReport> settings;
    std::optional<std::uint16_t> featureLength;
    std::string error;
};

class Program {
public:
    Program(device::HidPlatform& platform, std::ostream& out, std::ostream& err, const Host& host)
        : m_platform(platform), m_out(out), m_err(err), m_host(host) {}

    int run(std::span<const std::string> args) {
        auto parsed = parseCommandLine(args);
        if (auto* e = std::get_if<UsageError>(&parsed)) {
            message(e->message);
            return kBadUsage;
        }
        m_request = std::get<Request>(parsed);
        switch (m_request.verb) {
        case Verb::Help: m_out << usageText(); return kOk;
        case Verb::Version: m_out << "vandrelctl " << m_host.version << '\n'; return kOk;
        case Verb::List: return list();
        case Verb::Show: return show();
        case Verb::Set: return set();
        case Verb::Restore: return restore();
        case Verb::Diagnose: return diagnose();
        }
        return kOk;
    }

private:
    void message(const std::string& text) { m_err << "vandrelctl: " << text << '\n'; }
    std::string path(const std::string& p) const { return m_host.showPath ? m_host.showPath(p) : p; }
    std::string name(const InterfaceFacts& unit) const {
        return unit.serial->empty() ? std::string("the unit with an empty serial") : "unit " + printable(*unit.serial);
    }

    std::vector<InterfaceFacts> units() {
        std::vector<InterfaceFacts> found;
        m_unopened = 0;
        for (InterfaceFacts& f : surveyInterfaces(m_platform, false)) {
            if (f.openFailure) ++m_unopened;
            if (f.isUnit && f.serial) found.push_back(std::move(f));
        }
        return found;
    }

    // Without a unit, the nodes this user may not open are the likely reason.
    std::string whyNone() const {
        if (m_unopened == 0) return "'vandrelctl diagnose' tells why a unit may not appear";
        return std::to_string(m_unopened) + " HID device node" + (m_unopened == 1 ? "" : "s") +
               " could not be opened; 'vandrelctl diagnose' tells why";
    }

    static std::string serialList(const std::vector<InterfaceFacts>& units) {
        std::string text;
        for (const InterfaceFacts& u : units) text += (text.empty() ? "" : ", ") + printable(*u.serial);
        return text;
    }

    // The units a command acts on, by the selection rules; nullopt after a
    // message, with the exit status in status.
    std::optional<std::vector<InterfaceFacts>> choose(bool writes, int& status) {
        std::vector<InterfaceFacts> all = units();
        if (m_request.serial) {
            std::vector<InterfaceFacts> chosen;
            for (InterfaceFacts& u : all)
                if (*u.serial == *m_request.serial) chosen.push_back(u);
            if (chosen.empty()) {
                message("no unit has the serial number " + printable(*m_request.serial) +
                        (all.empty() ? "; no unit is attached" : "; attached: " + serialList(all)));
                status = kNoUnit;
                return std::nullopt;
            }
            if (chosen.size() > 1 && writes) {
                message(std::to_string(chosen.size()) + " units share the serial number " +
                        printable(*m_request.serial) + "; nothing was sent. Use --all to change every unit");
                status = kBadUsage;
                return std::nullopt;
            }
            return chosen;
        }
        if (all.empty()) {
            message("no unit is attached; " + whyNone());
            status = kNoUnit;
            return std::nullopt;
        }
        if (all.size() > 1 && !m_request.all) {
            message("several units are attached (" + serialList(all) + "); choose one with --serial, or use --all");
            status = kBadUsage;
            return std::nullopt;
        }
        return all;
    }

    int list() {
        const std::vector<InterfaceFacts> found = units();
        // An empty list is a result, but a reason for it is worth a message.
        if (found.empty() && m_unopened > 0) message("no unit is listed; " + whyNone());
        if (m_request.json) {
            m_out << "{\"units\":[";
            for (std::size_t i = 0; i < found.size(); ++i) {
                if (i) m_out << ',';
                writeIdentityJson(found[i]);
                m_out << '}';
            }
            m_out << "]}\n";
            return kOk;
        }
        for (const InterfaceFacts& u : found) {
            m_out << printable(*u.serial) << '\t' << printable(u.manufacturer.value_or("?")) << '\t'
                  << printable(u.product.value_or("?")) << '\t' << versionOf(u) << '\t' << printable(path(u.path))
                  << '\n';
        }
        return kOk;
    }

    // The identity's fields, leaving the object open for more.
    void writeIdentityJson(const InterfaceFacts& u) {
        m_out << "{\"serial\":" << json(*u.serial) << ",\"manufacturer\":" << jsonOrNull(u.manufacturer)
              << ",\"product\":" << jsonOrNull(u.product) << ",\"version\":" << json(versionOf(u))
              << ",\"version_number\":" << u.attributes->VersionNumber << ",\"path\":" << json(path(u.path));
    }

    // Reads one unit's settings as show does; an error names what failed.
    UnitResult readUnit(const InterfaceFacts& unit) {
        UnitResult r;
        r.unit = &unit;
        UnitHandle handle(m_platform, unit);
        if (!handle.problem().empty()) {
            r.error = handle.problem();
            return r;
        }
        r.featureLength = handle.featureLength();
        if (handle.featureLength() < protocol::kReadLayoutBytes) {
            r.error = shortReport(handle.featureLength());
            return r;
        }
        r.settings = handle.read();
        if (!r.settings) r.error = "its settings cannot be read: the unit did not answer the request for its report";
        return r;
    }

    static std::string shortReport(std::uint16_t length) {
        return "its feature report is " + std::to_string(length) + " bytes long, shorter than the " +
               std::to_string(protocol::kReadLayoutBytes) + " bytes that carry the settings";
    }

    void print(const std::vector<UnitResult>& results) {
        if (m_request.json) {
            m_out << "{\"units\":[";
            for (std::size_t i = 0; i < results.size(); ++i) {
                if (i) m_out << ',';
                printJson(results[i]);
            }
            m_out << "]}\n";
            return;
        }
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (i) m_out << '\n';
            printText(results[i]);
        }
    }

    struct Shown {
        std::optional<std::string> amplitudeText;
        std::optional<std::string> calibrationText;
        std::optional<std::vector<std::string>> summary;
    };

    // The texts the window would show for these settings. A calibration
    // code past the list's end names no factor, so neither the levels nor
    // the summary can be given.
    static Shown shownTexts(const protocol::DecodedReport& s) {
        Shown shown;
        const std::optional<double> factor = userFactor(s.calibrationIndex);
        if (!factor) return shown;
        shown.amplitudeText = window::amplitudeText(s.amplitudeIndex, s.factoryCalibration, *factor);
        shown.calibrationText = window::calibrationText(s.calibrationIndex);
        shown.summary = splitLines(window::composeSummary(s.polarityIndex, *shown.amplitudeText, s.factoryCalibration,
                                                          *shown.calibrationText));
        return shown;
    }

    void printText(const UnitResult& r) {
        const InterfaceFacts& u = *r.unit;
        m_out << printable(*u.serial) << '\n'
              << "  maker: " << printable(u.manufacturer.value_or("?")) << '\n'
              << "  product: " << printable(u.product.value_or("?")) << '\n'
              << "  version: " << versionOf(u) << '\n'
              << "  path: " << printable(path(u.path)) << '\n';
        if (!r.settings) {
            // Why is on standard error, once.
            m_out << "  settings: unknown\n";
            return;
        }
        const protocol::DecodedReport& s = *r.settings;
        const Shown shown = shownTexts(s);
        m_out << "  amplitude: code " << s.amplitudeIndex;
        if (shown.amplitudeText) m_out << ", " << *shown.amplitudeText << " mV into 50R load";
        m_out << '\n' << "  polarity: " << window::kPolarityTexts[static_cast<std::size_t>(s.polarityIndex)] << '\n';
        m_out << "  calibration: code " << s.calibrationIndex;
        if (shown.calibrationText) m_out << ", " << *shown.calibrationText;
        else m_out << ", past 1700: no factor";
        m_out << '\n' << "  factory calibration: " << window::formatNumber(s.factoryCalibration) << '\n';
        if (shown.summary) {
            m_out << "  summary:\n";
            for (const std::string& line : *shown.summary) m_out << "    " << line << '\n';
        }
    }

    void printJson(const UnitResult& r) {
        writeIdentityJson(*r.unit);
        m_out << ",\"feature_report_length\":";
        if (r.featureLength) m_out << *r.featureLength;
        else m_out << "null";
        m_out << ",\"settings\":";
        if (!r.settings) {
            m_out << "null,\"error\":" << json(r.error) << '}';
            return;
        }
        const protocol::DecodedReport& s = *r.settings;
        const Shown shown = shownTexts(s);
        m_out << "{\"amplitude_code\":" << s.amplitudeIndex
              << ",\"amplitude_mv\":" << shown.amplitudeText.value_or("null")
              << ",\"polarity\":" << json(kPolarityNames[static_cast<std::size_t>(s.polarityIndex)])
              << ",\"calibration_code\":" << s.calibrationIndex
              << ",\"calibration\":" << jsonOrNull(shown.calibrationText)
              << ",\"factory_calibration\":" << window::formatNumber(s.factoryCalibration) << ",\"summary\":";
        if (shown.summary) {
            m_out << '[';
            for (std::size_t i = 0; i < shown.summary->size(); ++i)
                m_out << (i ? "," : "") << json((*shown.summary)[i]);
            m_out << ']';
        } else {
            m_out << "null";
        }
        m_out << "},\"error\":null}";
    }

    int show() {
        int status = kOk;
        const auto chosen = choose(false, status);
        if (!chosen) return status;
        std::vector<UnitResult> results;
        for (const InterfaceFacts& u : *chosen) {
            results.push_back(readUnit(u));
            if (!results.back().error.empty()) {
                message(name(u) + ": " + results.back().error);
                status = kUnitFailed;
            }
        }
        print(results);
        return status;
    }

    // The amplitude code for --amplitude on one unit; nullopt after a message.
    std::optional<int> codeForMillivolts(const InterfaceFacts& u, double factory, int calibrationCode) {
        const int wanted = *m_request.amplitudeMillivolts;
        const double factor = *userFactor(calibrationCode);
        std::optional<int> below, above;
        for (int code = 0; code < protocol::kAmplitudeCodes; ++code) {
            const long long mv = window::amplitudeMillivolts(code, factory, factor);
            if (mv == wanted) return code;
            if (mv < wanted) below = code;
            if (mv > wanted && !above) above = code;
        }
        auto describe = [&](int code) {
            return "code " + std::to_string(code) + " (" + window::amplitudeText(code, factory, factor) + " mV)";
        };
        std::string text = name(u) + ": no amplitude code reads exactly " + std::to_string(wanted) +
                           " mV with factory calibration " + window::formatNumber(factory) + " and calibration " +
                           window::calibrationText(calibrationCode) + "; nearest: ";
        if (below) text += describe(*below) + " below";
        if (below && above) text += ", ";
        if (above) text += describe(*above) + " above";
        message(text + "; nothing was sent");
        return std::nullopt;
    }

    int set() { return write(false); }
    int restore() { return write(true); }

    // set and restore: every unit is read and its new settings worked out
    // before anything is sent, so a bad value sends nothing to any unit.
    int write(bool defaults) {
        int status = kOk;
        const auto chosen = choose(true, status);
        if (!chosen) return status;
        const Request& q = m_request;
        const bool complete = defaults || (q.amplitudeCode && q.polarity && q.calibrationCode);

        struct Plan {
            const InterfaceFacts* unit;
            std::optional<protocol::UnitSettings> settings;
            std::string error;
        };
        std::vector<Plan> plans;
        bool badValue = false;
        for (const InterfaceFacts& u : *chosen) {
            Plan plan{&u, std::nullopt, {}};
            if (protocol::versionMinor(u.attributes->VersionNumber) == 0) {
                plan.error = "its version " + versionOf(u) + " takes no settings";
                plans.push_back(plan);
                continue;
            }
            std::optional<protocol::DecodedReport> now;
            {
                UnitHandle handle(m_platform, u);
                if (!handle.problem().empty()) {
                    plan.error = handle.problem();
                } else if (handle.featureLength() < protocol::kReadLayoutBytes) {
                    plan.error = shortReport(handle.featureLength()) + "; nothing was sent";
                } else if (!defaults) {
                    now = handle.read();
                    if (!now && !complete)
                        plan.error =
                            "its settings cannot be read, so only --amplitude-code, --polarity and --calibration "
                            "given together can be written; nothing was sent";
                }
            }
            if (!plan.error.empty()) {
                plans.push_back(plan);
                continue;
            }
            protocol::UnitSettings s;
            if (defaults) {
                s = {window::kDefaultAmplitude, window::kDefaultPolarity, window::kDefaultCalibration};
            } else {
                if (now) s = {now->amplitudeIndex, now->polarityIndex, now->calibrationIndex};
                if (q.polarity) s.polarityIndex = *q.polarity;
                if (q.calibrationCode) s.calibrationIndex = *q.calibrationCode;
                if (q.amplitudeCode) s.amplitudeIndex = *q.amplitudeCode;
                if (!protocol::settingsInRange(s)) {
                    plan.error = "its calibration code " + std::to_string(s.calibrationIndex) +
                                 " is past 1700; give --calibration to write it; nothing was sent";
                    plans.push_back(plan);
                    continue;
                }
                if (q.amplitudeMillivolts) {
                    const auto code = codeForMillivolts(u, now->factoryCalibration, s.calibrationIndex);
                    if (!code) {
                        badValue = true;
                        continue;
                    }
                    s.amplitudeIndex = *code;
                }
            }
            plan.settings = s;
            plans.push_back(plan);
        }
        if (badValue) {
            for (const Plan& plan : plans)
                if (!plan.settings) message(name(*plan.unit) + ": " + plan.error);
            return kBadUsage;
        }

        std::vector<UnitResult> results;
        for (const Plan& plan : plans) {
            const InterfaceFacts& u = *plan.unit;
            UnitResult r;
            r.unit = &u;
            if (plan.settings) {
                UnitHandle handle(m_platform, u);
                r.featureLength = handle.featureLength();
                if (!handle.write(*plan.settings)) {
                    r.error = handle.problem().empty() ? "the unit did not take the report" : handle.problem();
                } else {
                    r.settings = handle.read();
                    if (!r.settings) r.error = "the report was sent, but the settings cannot be read back";
                }
            } else {
                r.error = plan.error;
            }
            if (!r.error.empty()) {
                message(name(u) + ": " + r.error);
                status = kUnitFailed;
            }
            results.push_back(r);
        }
        print(results);
        return status;
    }

    int diagnose();

    device::HidPlatform& m_platform;
    std::ostream& m_out;
    std::ostream& m_err;
    const Host& m_host;
    Request m_request;
    std::size_t m_unopened = 0;
};

struct Finding {
    std::string what;
    std::string reason;
    std::string fix;
};

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFFu);
    return text;
}

int Program::diagnose() {
    const std::vector<InterfaceFacts> all = surveyInterfaces(m_platform, true);
    const std::string advice = m_host.openAdvice ? m_host.openAdvice() : std::string();
    std::size_t unitsSeen = 0, readyUnits = 0, unopened = 0;
    struct Entry {
        const InterfaceFacts* f;
        std::vector<Finding> findings;
    };
    std::vector<Entry> entries;
    for (const InterfaceFacts& f : all) {
        Entry e{&f, {}};
        if (f.openFailure) {
            ++unopened;
            // Where the IDs came without opening, it is known to be a unit.
            e.findings.push_back({"open",
                                  "it cannot be opened (" + *f.openFailure +
                                      (f.isUnit ? ")" : "), so whether it is a unit cannot be told"),
                                  advice.empty() ? "make sure this user may open " + path(f.path) : advice});
        } else if (!f.attributes) {
            e.findings.push_back({"attributes", "its USB identity cannot be read", "unplug and replug the device"});
        } else if (!f.isUnit) {
            continue;
        } else {
            ++unitsSeen;
            if (!f.serial) {
                e.findings.push_back({"serial", "its serial number cannot be read, so no program lists it",
                                      "unplug and replug the unit; if it stays, its firmware gives no serial"});
            } else if (!f.caps) {
                e.findings.push_back(
                    {"capabilities", "its report lengths cannot be read", "unplug and replug the unit"});
            } else if (f.caps->FeatureReportByteLength < protocol::kReadLayoutBytes) {
                e.findings.push_back({"short_report", shortReport(f.caps->FeatureReportByteLength),
                                      "its firmware does not carry the settings report; it cannot be configured"});
            } else if (!f.reportRead) {
                e.findings.push_back({"report_read", "its feature report cannot be read: the unit did not answer",
                                      "unplug and replug the unit"});
            } else if (protocol::versionMinor(f.attributes->VersionNumber) == 0) {
                e.findings.push_back({"version", "its version " + versionOf(f) + " takes no settings",
                                      "a unit needs firmware with a version whose part after the point is not 0"});
            }
            if (e.findings.empty()) ++readyUnits;
        }
        entries.push_back(std::move(e));
    }
    const bool noUnit = unitsSeen == 0 && unopened == 0;
    const std::string ids =
        "vendor ID " + hex4(device::DeviceVendorId) + " and product ID " + hex4(device::DeviceProductId);

    if (m_request.json) {
        m_out << "{\"vendor_id\":" << device::DeviceVendorId << ",\"product_id\":" << device::DeviceProductId
              << ",\"interfaces\":[";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const InterfaceFacts& f = *entries[i].f;
            m_out << (i ? "," : "") << "{\"path\":" << json(path(f.path))
                  << ",\"vendor_id\":" << (f.attributes ? std::to_string(f.attributes->VendorID) : "null")
                  << ",\"product_id\":" << (f.attributes ? std::to_string(f.attributes->ProductID) : "null")
                  << ",\"serial\":" << jsonOrNull(f.serial) << ",\"feature_report_length\":"
                  << (f.caps ? std::to_string(f.caps->FeatureReportByteLength) : "null")
                  << ",\"ready\":" << (entries[i].findings.empty() ? "true" : "false") << ",\"problems\":[";
            for (std::size_t k = 0; k < entries[i].findings.size(); ++k) {
                const Finding& p = entries[i].findings[k];
                m_out << (k ? "," : "") << "{\"problem\":" << json(p.what) << ",\"reason\":" << json(p.reason)
                      << ",\"fix\":" << json(p.fix) << '}';
            }
            m_out << "]}";
        }
        m_out << "],\"attached_hid_devices\":";
        if (!noUnit) {
            m_out << "null}\n";
        } else {
            m_out << '[';
            bool first = true;
            for (const InterfaceFacts& f : all) {
                if (!f.attributes) continue;
                m_out << (first ? "" : ",") << "{\"path\":" << json(path(f.path))
                      << ",\"vendor_id\":" << f.attributes->VendorID << ",\"product_id\":" << f.attributes->ProductID
                      << ",\"product\":" << jsonOrNull(f.product) << '}';
                first = false;
            }
            m_out << "]}\n";
        }
    } else {
        for (const Entry& e : entries) {
            const InterfaceFacts& f = *e.f;
            m_out << printable(path(f.path)) << ": ";
            if (f.isUnit) m_out << (f.serial ? name(f) : std::string("unit")) << ": ";
            if (e.findings.empty()) m_out << "ready\n";
            for (std::size_t k = 0; k < e.findings.size(); ++k) {
                m_out << (k ? "  " : "") << e.findings[k].reason << '\n';
                m_out << "  fix: " << e.findings[k].fix << '\n';
            }
        }
        if (noUnit) {
            m_out << "no device with " << ids << " is attached\n";
            bool any = false;
            for (const InterfaceFacts& f : all) {
                if (!f.attributes) continue;
                if (!any) m_out << "attached HID devices:\n";
                any = true;
                m_out << "  " << printable(path(f.path)) << ": " << hex4(f.attributes->VendorID) << ':'
                      << hex4(f.attributes->ProductID);
                if (f.product && !f.product->empty()) m_out << ' ' << printable(*f.product);
                m_out << '\n';
            }
            if (!any) m_out << "no HID device is attached\n";
        }
    }
    if (noUnit) return kNoUnit;
    // A node that cannot be opened beside units that are all ready is most
    // likely another device (Windows keeps keyboards and mice to itself);
    // it is listed, but only fails the run when no unit was found at all.
    if (unitsSeen == 0) return kUnitFailed;
    return readyUnits == unitsSeen ? kOk : kUnitFailed;
}

}  // namespace

int run(device::HidPlatform& platform, std::span<const std::string> args, std::ostream& out, std::ostream& err,
        const Host& host) {
    return Program(platform, out, err, host).run(args);
}

}  // namespace ctl
