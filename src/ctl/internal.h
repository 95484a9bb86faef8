#pragma once

// The ctl layer's own declarations, shared by its sources and libvandrel:
// what each interface answered, how a unit is named and printed, its
// settings, the writes planned for it, which units a command acts on, what a
// diagnosis finds, the command line, and the output text and JSON.

#include "device/hid_platform.h"
#include "protocol/config_report.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ctl {

// What one HID interface answered. A field is nullopt when its request
// failed or was never made because an earlier one failed.
struct InterfaceFacts {
    std::string path;
    std::optional<std::string> openFailure;  // the system's reason; nullopt when it opened
    std::optional<device::HidAttributes> attributes;
    bool isUnit = false;  // the unit's vendor and product IDs
    std::optional<std::string> serial;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<device::HidCaps> caps;
    // Only asked for when the survey reads reports.
    bool reportRequested = false;
    bool reportRead = false;
};

// Walks every present HID interface. Units get their identity strings; with
// readReports, their capabilities and one read of the feature report too.
// Every handle it opens is closed before it returns.
std::vector<InterfaceFacts> surveyInterfaces(device::HidPlatform& platform, bool readReports);

// An open hold on one unit, found again by its path and serial.
class UnitHandle {
public:
    UnitHandle(device::HidPlatform& platform, const InterfaceFacts& unit);
    ~UnitHandle();
    UnitHandle(const UnitHandle&) = delete;
    UnitHandle& operator=(const UnitHandle&) = delete;

    // Empty when the unit is open and still the one surveyed; else why not.
    const std::string& problem() const { return m_problem; }
    std::uint16_t featureLength() const { return m_caps.FeatureReportByteLength; }

    std::optional<protocol::DecodedReport> read();
    // Sends the settings in the write layout at the unit's report length.
    bool write(const protocol::UnitSettings& settings);

private:
    explicit UnitHandle(device::HidPlatform& platform) : m_platform(platform) {}

    device::HidPlatform& m_platform;
    device::Handle m_handle = device::kNoHandle;
    device::HidCaps m_caps;
    std::string m_problem;
};

inline constexpr int kOk = 0;
inline constexpr int kUnitFailed = 1;  // a unit could not be read or written
inline constexpr int kBadUsage = 2;    // bad usage or value: nothing was sent
inline constexpr int kNoUnit = 3;

// How a device path is printed; as it is when unset.
using ShowPath = std::function<std::string(const std::string&)>;
std::string shownPath(const ShowPath& show, const std::string& path);

// Device strings may hold any byte a HID string can carry; on a terminal
// the control characters among them become \xNN.
std::string printable(std::string_view text);

// The version as the window's label shows it, without its leading blank.
std::string versionOf(const InterfaceFacts& unit);

// A listed unit as messages name it.
std::string unitName(const InterfaceFacts& unit);

std::string hex4(unsigned value);

// Joined by appending: GCC 12 reports a false -Wrestrict overlap in an
// optimised build of `"text" + std::string`.
std::string cat(std::initializer_list<std::string_view> parts);

// One unit's result: its settings as read, or why there are none.
struct UnitResult {
    InterfaceFacts unit;
    std::optional<protocol::DecodedReport> settings;
    std::optional<std::uint16_t> featureLength;
    std::string error;  // empty on success
};

// Reads one unit's settings; the error names what failed.
UnitResult readUnit(device::HidPlatform& platform, const InterfaceFacts& unit);

std::string shortReport(std::uint16_t length);

// The user factor the window computes with: its calibration item's text
// read back as a number. Nothing for a code that names no item.
std::optional<double> userFactor(int calibrationCode);

// Settings as the window would show them. A calibration code past the
// list's end names no factor, so neither the level nor the summary can be
// given.
struct SettingsView {
    int amplitudeCode = 0;
    std::optional<std::string> amplitudeMillivolts;  // the level's decimal text
    int polarity = 0;                                // 0 off, 1 normal, 2 inverted
    std::string_view polarityName;                   // "off", "normal", "inverted"
    int calibrationCode = 0;
    std::optional<std::string> calibration;  // the factor's text, three decimals
    double factoryCalibration = 0;
    std::optional<std::vector<std::string>> summary;
};

SettingsView describeSettings(const protocol::DecodedReport& settings);

inline constexpr int kMaxMillivolts = 99999;

// What set or restore asks for; every value already in range.
struct Change {
    bool defaults = false;  // restore: amplitude code 280, Normal, calibration 1.000
    std::optional<int> amplitudeMillivolts;
    std::optional<int> amplitudeCode;    // 0 to 510
    std::optional<int> polarity;         // 0 off, 1 normal, 2 inverted
    std::optional<int> calibrationCode;  // 0 to 1700
};

// Why a change from a caller that did not come through the command line
// cannot be written; nullopt when every value is in range.
std::optional<std::string> checkChange(const Change& change);

// Every unit's new settings, worked out before anything is sent.
struct WritePlan {
    struct Step {
        InterfaceFacts unit;
        std::optional<protocol::UnitSettings> settings;  // nullopt: error says why this unit is skipped
        std::string error;
    };
    std::vector<Step> steps;
    // Values no unit can take (millivolts no code reads exactly), each a
    // whole message. Any refusal means nothing may be sent to any unit.
    std::vector<std::string> refusals;
};

// Reads each unit as needed; sends nothing.
WritePlan planWrites(device::HidPlatform& platform, const std::vector<InterfaceFacts>& units, const Change& change);

// Sends each planned report and reads it back; a skipped step's error is
// carried over. Only for a plan without refusals.
std::vector<UnitResult> applyWrites(device::HidPlatform& platform, const WritePlan& plan);

// The units a program may name: the interfaces with the unit's IDs whose
// serial could be read, and how many nodes could not be opened at all.
struct Listing {
    std::vector<InterfaceFacts> units;
    std::size_t unopened = 0;
};

Listing listUnits(device::HidPlatform& platform);

// Listed units' serials as messages give them: printable, comma-separated.
std::string serialList(const std::vector<InterfaceFacts>& units);

// Why an empty list may be empty; nullopt when nothing hints at a reason.
std::optional<std::string> emptyListNote(const Listing& listing);

// The units one command acts on, or why none: units is empty exactly when
// message says why, with the exit status in status.
struct Selection {
    std::vector<InterfaceFacts> units;
    int status = 0;
    std::string message;
};

// A serial matches exactly; without one, a single unit is chosen and
// several only with all. A write never goes to several units that share
// the serial it names.
Selection chooseUnits(const Listing& listing, const std::optional<std::string>& serial, bool all, bool writes);

struct Finding {
    std::string what;  // a stable word: open, attributes, serial, capabilities, short_report, report_read, version
    std::string reason;
    std::string fix;
};

// An interface worth reporting: a unit, or a node that could not be told.
struct DiagnosedInterface {
    InterfaceFacts facts;
    std::vector<Finding> findings;  // empty: ready
};

struct Diagnosis {
    std::vector<InterfaceFacts> all;  // every interface walked
    std::vector<DiagnosedInterface> entries;
    bool noUnit = false;  // no unit, and no node that could be one
    int status = 0;
};

// advice: what the host knows about opening device nodes; empty for none.
Diagnosis diagnoseInterfaces(device::HidPlatform& platform, const std::string& advice, const ShowPath& showPath);

enum class Verb { List, Show, Set, Restore, Diagnose, Help, Version };

// One invocation, fully checked: every value is in range for the unit.
struct Request {
    Verb verb = Verb::Help;  // what an empty Request asks for
    bool json = false;
    std::optional<std::string> serial;
    bool all = false;
    Change change;  // set's values; restore's defaults
};

struct UsageError {
    std::string message;
};

// Reads the words after the program's name; nothing is sent on a unit
// before this has accepted all of them.
std::variant<Request, UsageError> parseCommandLine(std::span<const std::string> args);

// A calibration factor from 0.400 to 2.100 with at most three decimals, as
// its item code 0 to 1700; nullopt for anything else.
std::optional<int> parseCalibration(std::string_view text);

// Whether text can be a unit's serial at all: 1 to 50 characters, each one
// a HID string byte can carry (U+0020 to U+00FF, no control characters).
bool plausibleSerial(std::string_view text);

std::string_view usageText();

// What vandrelctl prints on standard output, as text for a terminal or as
// the JSON its manual documents. Each result ends with a newline.
std::string listText(const std::vector<InterfaceFacts>& units, const ShowPath& showPath);
std::string listJson(const std::vector<InterfaceFacts>& units, const ShowPath& showPath);
std::string resultsText(const std::vector<UnitResult>& results, const ShowPath& showPath);
std::string resultsJson(const std::vector<UnitResult>& results, const ShowPath& showPath);
std::string diagnosisText(const Diagnosis& diagnosis, const ShowPath& showPath);
std::string diagnosisJson(const Diagnosis& diagnosis, const ShowPath& showPath);

// JSON text built in one pass: commas go in by themselves, keys are plain
// ASCII given by the caller, strings are escaped.
class JsonWriter {
public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view text);
    JsonWriter& stringOrNull(const std::optional<std::string>& text);  // null for nullopt
    JsonWriter& number(long long value);
    JsonWriter& number(const std::optional<long long>& value);  // null when empty
    // A number already in its decimal text; null when empty.
    JsonWriter& numberText(const std::optional<std::string>& text);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    const std::string& text() const { return m_text; }

private:
    void beforeValue();
    // A value already in its JSON text.
    JsonWriter& raw(std::string_view text);
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);

    std::string m_text;
    std::vector<bool> m_hasItems;  // per open object or array
    bool m_afterKey = false;
};

// A JSON string literal: quotes, backslashes and control characters
// escaped; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(std::string_view text);

}  // namespace ctl
