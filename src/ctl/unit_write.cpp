#include "ctl/internal.h"

#include "protocol/identity.h"
#include "window/texts.h"

namespace ctl {

namespace {

// The lowest code that reads exactly `wanted` on this unit, or the message
// naming the nearest codes below and above.
std::optional<int> codeForMillivolts(const InterfaceFacts& u, int wanted, double factory, int calibrationCode,
                                     std::string& refusal) {
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
    std::string text = unitName(u) + ": no amplitude code reads exactly " + std::to_string(wanted) +
                       " mV with factory calibration " + window::formatNumber(factory) + " and calibration " +
                       window::calibrationText(calibrationCode) + "; nearest: ";
    if (below) text += describe(*below) + " below";
    if (below && above) text += ", ";
    if (above) text += describe(*above) + " above";
    refusal = text + "; nothing was sent";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> checkChange(const Change& q) {
    using std::to_string;
    if (q.defaults) return std::nullopt;
    if (q.amplitudeMillivolts && q.amplitudeCode) return "give the amplitude in millivolts or as a code, not both";
    if (!q.amplitudeMillivolts && !q.amplitudeCode && !q.polarity && !q.calibrationCode)
        return "a change needs at least one of the amplitude, the polarity and the calibration";
    if (q.amplitudeMillivolts && (*q.amplitudeMillivolts < 0 || *q.amplitudeMillivolts > kMaxMillivolts))
        return cat({"the amplitude takes whole millivolts from 0 to ", to_string(kMaxMillivolts), ", not ",
                    to_string(*q.amplitudeMillivolts)});
    if (q.amplitudeCode && (*q.amplitudeCode < 0 || *q.amplitudeCode >= protocol::kAmplitudeCodes))
        return cat({"the amplitude code is 0 to ", to_string(protocol::kAmplitudeCodes - 1), ", not ",
                    to_string(*q.amplitudeCode)});
    if (q.polarity && (*q.polarity < 0 || *q.polarity > 2))
        return cat({"the polarity is 0 (off), 1 (normal) or 2 (inverted), not ", to_string(*q.polarity)});
    if (q.calibrationCode && (*q.calibrationCode < 0 || *q.calibrationCode > protocol::kLastCalibrationCode))
        return cat({"the calibration code is 0 to ", to_string(protocol::kLastCalibrationCode), ", not ",
                    to_string(*q.calibrationCode)});
    return std::nullopt;
}

WritePlan planWrites(device::HidPlatform& platform, const std::vector<InterfaceFacts>& units, const Change& q) {
    WritePlan plan;
    const bool complete = q.defaults || (q.amplitudeCode && q.polarity && q.calibrationCode);
    for (const InterfaceFacts& u : units) {
        WritePlan::Step step{u, std::nullopt, {}};
        if (protocol::versionMinor(u.attributes->VersionNumber) == 0) {
            step.error = "its version " + versionOf(u) + " takes no settings";
            plan.steps.push_back(std::move(step));
            continue;
        }
        std::optional<protocol::DecodedReport> now;
        {
            UnitHandle handle(platform, u);
            if (!handle.problem().empty()) {
                step.error = handle.problem();
            } else if (handle.featureLength() < protocol::kReadLayoutBytes) {
                step.error = shortReport(handle.featureLength()) + "; nothing was sent";
            } else if (!q.defaults) {
                now = handle.read();
                if (!now && !complete)
                    step.error =
                        "its settings cannot be read, so only --amplitude-code, --polarity and --calibration "
                        "given together can be written; nothing was sent";
            }
        }
        if (!step.error.empty()) {
            plan.steps.push_back(std::move(step));
            continue;
        }
        protocol::UnitSettings s;
        if (q.defaults) {
            s = {window::kDefaultAmplitude, window::kDefaultPolarity, window::kDefaultCalibration};
        } else {
            if (now) s = {now->amplitudeIndex, now->polarityIndex, now->calibrationIndex};
            if (q.polarity) s.polarityIndex = *q.polarity;
            if (q.calibrationCode) s.calibrationIndex = *q.calibrationCode;
            if (q.amplitudeCode) s.amplitudeIndex = *q.amplitudeCode;
            if (!protocol::settingsInRange(s)) {
                step.error = "its calibration code " + std::to_string(s.calibrationIndex) + " is past " +
                             std::to_string(protocol::kLastCalibrationCode) +
                             "; give --calibration to write it; nothing was sent";
                plan.steps.push_back(std::move(step));
                continue;
            }
            if (q.amplitudeMillivolts) {
                // Millivolts are only asked for with settings read: they
                // never come with a full set of codes.
                std::string refusal;
                const auto code =
                    codeForMillivolts(u, *q.amplitudeMillivolts, now->factoryCalibration, s.calibrationIndex, refusal);
                if (!code) {
                    plan.refusals.push_back(std::move(refusal));
                    continue;
                }
                s.amplitudeIndex = *code;
            }
        }
        step.settings = s;
        plan.steps.push_back(std::move(step));
    }
    return plan;
}

std::vector<UnitResult> applyWrites(device::HidPlatform& platform, const WritePlan& plan) {
    std::vector<UnitResult> results;
    for (const WritePlan::Step& step : plan.steps) {
        UnitResult r;
        r.unit = step.unit;
        if (step.settings) {
            UnitHandle handle(platform, step.unit);
            r.featureLength = handle.featureLength();
            if (!handle.write(*step.settings)) {
                r.error = handle.problem().empty() ? "the unit did not take the report" : handle.problem();
            } else {
                r.settings = handle.read();
                if (!r.settings) r.error = "the report was sent, but the settings cannot be read back";
            }
        } else {
            r.error = step.error;
        }
        results.push_back(std::move(r));
    }
    return results;
}

}  // namespace ctl
