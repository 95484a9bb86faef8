// The C interface over the ctl library: every rule vandrelctl applies is
// applied here by the same code. No exception leaves this file.
#include "lib/c_api.h"

#include "ctl/internal.h"
#include "device/native_platform.h"
#include "vandrel/vandrel.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

// The HID platform every library call goes through: the native one, made
// at the first call, unless a test has put another in its place.
std::mutex g_platformMutex;
std::unique_ptr<device::HidPlatform> g_nativePlatform;
device::HidPlatform* g_platformOverride = nullptr;

// Holds the platform's lock for as long as it lives: one call at a time
// reaches the platform, whichever thread makes it.
class PlatformAccess {
public:
    PlatformAccess() : m_lock(g_platformMutex) {
        if (!g_platformOverride && !g_nativePlatform) g_nativePlatform = device::makeNativePlatform();
        m_platform = g_platformOverride ? g_platformOverride : g_nativePlatform.get();
    }
    device::HidPlatform& platform() { return *m_platform; }

private:
    std::lock_guard<std::mutex> m_lock;
    device::HidPlatform* m_platform;
};

thread_local std::string t_lastError;

vandrel_status fail(vandrel_status status, std::string text) {
    t_lastError = std::move(text);
    return status;
}

vandrel_status succeed() {
    t_lastError.clear();
    return VANDREL_OK;
}

// Runs a call's body; an allocation that fails anywhere in it is a status,
// and nothing else may throw.
template <typename Body>
vandrel_status guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return fail(VANDREL_ERROR_MEMORY, "out of memory");
    } catch (...) {
        return fail(VANDREL_ERROR_MEMORY, "an internal error stopped the call");
    }
}

constexpr std::size_t kFieldCount = 5;

// A listed unit's fields as the list and the unit hand them out.
struct UnitFields {
    std::array<std::optional<std::string>, kFieldCount> text;

    explicit UnitFields(const ctl::InterfaceFacts& u)
        : text{u.serial, u.manufacturer, u.product, ctl::versionOf(u), u.path} {}

    vandrel_status get(int32_t field, const char** out) const {
        if (!out) return fail(VANDREL_ERROR_ARGUMENT, "no place for the field was given");
        *out = nullptr;
        if (field < 0 || static_cast<std::size_t>(field) >= kFieldCount)
            return fail(VANDREL_ERROR_ARGUMENT, ctl::cat({"there is no field ", std::to_string(field)}));
        const auto& value = text[static_cast<std::size_t>(field)];
        *out = value ? value->c_str() : nullptr;
        return succeed();
    }
};

}  // namespace

struct vandrel_unit_list {
    std::vector<UnitFields> units;
};

struct vandrel_unit {
    ctl::InterfaceFacts facts;
    UnitFields fields;
};

struct vandrel_settings {
    int32_t amplitudeCode = 0;
    int32_t amplitudeMillivolts = -1;
    int32_t polarity = 0;
    int32_t calibrationCode = 0;
    double calibration = 0;
    double factoryCalibration = 0;
    std::optional<std::string> summary;
};

namespace {

// Built whole before the caller gets it: a failed allocation on the way
// frees what was made.
vandrel_settings* settingsOf(const protocol::DecodedReport& report) {
    const ctl::SettingsView view = ctl::describeSettings(report);
    auto s = std::make_unique<vandrel_settings>();
    s->amplitudeCode = view.amplitudeCode;
    if (view.amplitudeMillivolts) {
        const std::string& mv = *view.amplitudeMillivolts;
        std::from_chars(mv.data(), mv.data() + mv.size(), s->amplitudeMillivolts);
    }
    s->polarity = view.polarity;
    s->calibrationCode = view.calibrationCode;
    s->calibration = ctl::userFactor(view.calibrationCode).value_or(0);
    s->factoryCalibration = view.factoryCalibration;
    if (view.summary) {
        std::string text;
        for (const std::string& line : *view.summary) text += line + '\n';
        s->summary = std::move(text);
    }
    return s.release();
}

// Hands the settings read back to the caller, who may not want them.
vandrel_status deliver(const protocol::DecodedReport& report, vandrel_settings** out) {
    if (out) *out = settingsOf(report);
    return succeed();
}

vandrel_status unitFailure(const ctl::InterfaceFacts& unit, const std::string& error) {
    return fail(VANDREL_ERROR_UNIT, ctl::cat({ctl::unitName(unit), ": ", error}));
}

// set and restore: the write planned, refused or sent exactly as vandrelctl
// would for this one unit.
vandrel_status write(vandrel_unit* unit, const ctl::Change& change, vandrel_settings** out) {
    if (out) *out = nullptr;
    if (!unit) return fail(VANDREL_ERROR_ARGUMENT, "no unit was given");
    if (const auto problem = ctl::checkChange(change))
        return fail(VANDREL_ERROR_ARGUMENT, *problem + "; nothing was sent");
    PlatformAccess access;
    const ctl::WritePlan plan = ctl::planWrites(access.platform(), {unit->facts}, change);
    if (!plan.refusals.empty()) return fail(VANDREL_ERROR_NOT_EXACT, plan.refusals.front());
    const std::vector<ctl::UnitResult> results = ctl::applyWrites(access.platform(), plan);
    const ctl::UnitResult& r = results.front();
    if (!r.error.empty()) return unitFailure(unit->facts, r.error);
    return deliver(*r.settings, out);
}

}  // namespace

void lib::usePlatform(device::HidPlatform* platform) {
    const std::lock_guard<std::mutex> lock(g_platformMutex);
    g_platformOverride = platform;
}

extern "C" {

const char* vandrel_last_error(void) { return t_lastError.c_str(); }

const char* vandrel_status_name(vandrel_status status) {
    switch (status) {
    case VANDREL_OK: return "VANDREL_OK";
    case VANDREL_ERROR_ARGUMENT: return "VANDREL_ERROR_ARGUMENT";
    case VANDREL_ERROR_NO_UNIT: return "VANDREL_ERROR_NO_UNIT";
    case VANDREL_ERROR_AMBIGUOUS: return "VANDREL_ERROR_AMBIGUOUS";
    case VANDREL_ERROR_NOT_EXACT: return "VANDREL_ERROR_NOT_EXACT";
    case VANDREL_ERROR_UNIT: return "VANDREL_ERROR_UNIT";
    case VANDREL_ERROR_MEMORY: return "VANDREL_ERROR_MEMORY";
    }
    return "VANDREL_UNKNOWN_STATUS";
}

const char* vandrel_version(void) { return VANDREL_VERSION; }

vandrel_status vandrel_list_units(vandrel_unit_list** list) {
    return guarded([&] {
        if (!list) return fail(VANDREL_ERROR_ARGUMENT, "no place for the list was given");
        *list = nullptr;
        PlatformAccess access;
        const ctl::Listing listing = ctl::listUnits(access.platform());
        auto made = std::make_unique<vandrel_unit_list>();
        for (const ctl::InterfaceFacts& u : listing.units) made->units.emplace_back(u);
        *list = made.release();
        return succeed();
    });
}

uint32_t vandrel_unit_list_count(const vandrel_unit_list* list) {
    return list ? static_cast<uint32_t>(list->units.size()) : 0;
}

vandrel_status vandrel_unit_list_field(const vandrel_unit_list* list, uint32_t index, int32_t field,
                                       const char** text) {
    return guarded([&] {
        if (text) *text = nullptr;
        if (!list) return fail(VANDREL_ERROR_ARGUMENT, "no list was given");
        if (index >= list->units.size())
            return fail(VANDREL_ERROR_ARGUMENT, ctl::cat({"the list has ", std::to_string(list->units.size()),
                                                          " units, so no unit ", std::to_string(index)}));
        return list->units[index].get(field, text);
    });
}

void vandrel_unit_list_free(vandrel_unit_list* list) { delete list; }

vandrel_status vandrel_open(const char* serial, vandrel_unit** unit) {
    return guarded([&] {
        if (!unit) return fail(VANDREL_ERROR_ARGUMENT, "no place for the unit was given");
        *unit = nullptr;
        std::optional<std::string> wanted;
        if (serial) {
            wanted = serial;
            if (!ctl::plausibleSerial(*wanted))
                return fail(VANDREL_ERROR_ARGUMENT,
                            ctl::cat({"'", ctl::printable(wanted->substr(0, 60)),
                                      "' cannot be a serial number: a unit's serial has 1 to 50 characters, each "
                                      "from U+0020 to U+00FF and none a control character"}));
        }
        PlatformAccess access;
        const ctl::Listing listing = ctl::listUnits(access.platform());
        const ctl::Selection chosen = ctl::chooseUnits(listing, wanted, true, false);
        if (chosen.units.empty()) return fail(VANDREL_ERROR_NO_UNIT, chosen.message);
        // A handle names one unit: whatever it is told then reaches that
        // unit alone.
        if (chosen.units.size() > 1) {
            return fail(VANDREL_ERROR_AMBIGUOUS,
                        wanted ? ctl::cat({std::to_string(chosen.units.size()), " units share the serial number ",
                                           ctl::printable(*wanted), "; none was opened"})
                               : ctl::cat({"several units are attached (", ctl::serialList(chosen.units),
                                           "); open one by its serial number"}));
        }
        *unit = new vandrel_unit{chosen.units.front(), UnitFields(chosen.units.front())};
        return succeed();
    });
}

vandrel_status vandrel_unit_field(const vandrel_unit* unit, int32_t field, const char** text) {
    return guarded([&] {
        if (text) *text = nullptr;
        if (!unit) return fail(VANDREL_ERROR_ARGUMENT, "no unit was given");
        return unit->fields.get(field, text);
    });
}

void vandrel_close(vandrel_unit* unit) { delete unit; }

vandrel_status vandrel_read_settings(vandrel_unit* unit, vandrel_settings** settings) {
    return guarded([&] {
        if (!settings) return fail(VANDREL_ERROR_ARGUMENT, "no place for the settings was given");
        *settings = nullptr;
        if (!unit) return fail(VANDREL_ERROR_ARGUMENT, "no unit was given");
        PlatformAccess access;
        const ctl::UnitResult r = ctl::readUnit(access.platform(), unit->facts);
        if (!r.error.empty()) return unitFailure(unit->facts, r.error);
        return deliver(*r.settings, settings);
    });
}

vandrel_status vandrel_set(vandrel_unit* unit, const vandrel_change* change, vandrel_settings** settings) {
    return guarded([&] {
        if (settings) *settings = nullptr;
        if (!change) return fail(VANDREL_ERROR_ARGUMENT, "no change was given");
        // A caller built against an older header passes a shorter struct.
        constexpr uint32_t kFirstSize = offsetof(vandrel_change, calibration_code) + sizeof(int32_t);
        if (change->size < kFirstSize)
            return fail(VANDREL_ERROR_ARGUMENT, ctl::cat({"the change's size member is ", std::to_string(change->size),
                                                          "; set it to sizeof(vandrel_change)"}));
        constexpr uint32_t kKnown = VANDREL_CHANGE_AMPLITUDE_MV | VANDREL_CHANGE_AMPLITUDE_CODE |
                                    VANDREL_CHANGE_POLARITY | VANDREL_CHANGE_CALIBRATION;
        if (change->given & ~kKnown)
            return fail(VANDREL_ERROR_ARGUMENT, "the change names settings this library does not know");
        ctl::Change c;
        if (change->given & VANDREL_CHANGE_AMPLITUDE_MV) c.amplitudeMillivolts = change->amplitude_mv;
        if (change->given & VANDREL_CHANGE_AMPLITUDE_CODE) c.amplitudeCode = change->amplitude_code;
        if (change->given & VANDREL_CHANGE_POLARITY) c.polarity = change->polarity;
        if (change->given & VANDREL_CHANGE_CALIBRATION) c.calibrationCode = change->calibration_code;
        return write(unit, c, settings);
    });
}

vandrel_status vandrel_restore(vandrel_unit* unit, vandrel_settings** settings) {
    return guarded([&] {
        ctl::Change c;
        c.defaults = true;
        return write(unit, c, settings);
    });
}

vandrel_status vandrel_calibration_code(const char* factor, int32_t* code) {
    return guarded([&] {
        if (!factor || !code) return fail(VANDREL_ERROR_ARGUMENT, "no factor or no place for its code was given");
        const std::optional<int> parsed = ctl::parseCalibration(factor);
        if (!parsed)
            return fail(VANDREL_ERROR_ARGUMENT,
                        ctl::cat({"the calibration takes 0.400 to 2.100 with at most three decimals, not '",
                                  ctl::printable(std::string(factor).substr(0, 60)), "'"}));
        *code = *parsed;
        return succeed();
    });
}

int32_t vandrel_settings_amplitude_code(const vandrel_settings* s) { return s ? s->amplitudeCode : -1; }
int32_t vandrel_settings_amplitude_mv(const vandrel_settings* s) { return s ? s->amplitudeMillivolts : -1; }
int32_t vandrel_settings_polarity(const vandrel_settings* s) { return s ? s->polarity : -1; }
int32_t vandrel_settings_calibration_code(const vandrel_settings* s) { return s ? s->calibrationCode : -1; }
double vandrel_settings_calibration(const vandrel_settings* s) { return s ? s->calibration : 0; }
double vandrel_settings_factory_calibration(const vandrel_settings* s) { return s ? s->factoryCalibration : 0; }
const char* vandrel_settings_summary(const vandrel_settings* s) {
    return s && s->summary ? s->summary->c_str() : nullptr;
}
void vandrel_settings_free(vandrel_settings* settings) { delete settings; }

vandrel_status vandrel_diagnose(int32_t format, char** report) {
    return guarded([&] {
        if (!report) return fail(VANDREL_ERROR_ARGUMENT, "no place for the report was given");
        *report = nullptr;
        if (format != VANDREL_FORMAT_TEXT && format != VANDREL_FORMAT_JSON)
            return fail(VANDREL_ERROR_ARGUMENT, ctl::cat({"there is no format ", std::to_string(format)}));
        std::string text;
        {
            PlatformAccess access;
            const ctl::Diagnosis d = ctl::diagnoseInterfaces(access.platform(), {}, {});
            text = format == VANDREL_FORMAT_JSON ? ctl::diagnosisJson(d, {}) : ctl::diagnosisText(d, {});
        }
        auto* out = new char[text.size() + 1];
        std::memcpy(out, text.c_str(), text.size() + 1);
        *report = out;
        return succeed();
    });
}

void vandrel_free_string(char* text) { delete[] text; }

}  // extern "C"
