#include "ctl/internal.h"

#include "device/product_ids.h"
#include "window/texts.h"

namespace ctl {

namespace {

// The identity's fields, leaving the object open for more.
void identityJson(JsonWriter& w, const InterfaceFacts& u, const ShowPath& showPath) {
    w.beginObject().key("serial").string(*u.serial);
    w.key("manufacturer").stringOrNull(u.manufacturer);
    w.key("product").stringOrNull(u.product);
    w.key("version").string(versionOf(u));
    w.key("version_number").number(u.attributes->VersionNumber);
    w.key("path").string(shownPath(showPath, u.path));
}

void resultJson(JsonWriter& w, const UnitResult& r, const ShowPath& showPath) {
    identityJson(w, r.unit, showPath);
    w.key("feature_report_length").number(r.featureLength);
    w.key("settings");
    if (!r.settings) {
        w.null().key("error").string(r.error).endObject();
        return;
    }
    const SettingsView v = describeSettings(*r.settings);
    w.beginObject().key("amplitude_code").number(v.amplitudeCode);
    w.key("amplitude_mv").numberText(v.amplitudeMillivolts);
    w.key("polarity").string(v.polarityName);
    w.key("calibration_code").number(v.calibrationCode);
    w.key("calibration").stringOrNull(v.calibration);
    w.key("factory_calibration").numberText(window::formatNumber(v.factoryCalibration));
    w.key("summary");
    if (v.summary) {
        w.beginArray();
        for (const std::string& line : *v.summary) w.string(line);
        w.endArray();
    } else {
        w.null();
    }
    w.endObject().key("error").null().endObject();
}

void resultText(std::string& out, const UnitResult& r, const ShowPath& showPath) {
    const InterfaceFacts& u = r.unit;
    out += printable(*u.serial) + '\n';
    out += "  maker: " + printable(u.manufacturer.value_or("?")) + '\n';
    out += "  product: " + printable(u.product.value_or("?")) + '\n';
    out += "  version: " + versionOf(u) + '\n';
    out += "  path: " + printable(shownPath(showPath, u.path)) + '\n';
    if (!r.settings) {
        // Why is on standard error, once.
        out += "  settings: unknown\n";
        return;
    }
    const SettingsView v = describeSettings(*r.settings);
    out += "  amplitude: code " + std::to_string(v.amplitudeCode);
    if (v.amplitudeMillivolts) out += ", " + *v.amplitudeMillivolts + " mV into 50R load";
    out += "\n  polarity: ";
    out += window::kPolarityTexts[static_cast<std::size_t>(v.polarity)];
    out += "\n  calibration: code " + std::to_string(v.calibrationCode);
    out += v.calibration ? ", " + *v.calibration
                         : ", past " + std::to_string(protocol::kLastCalibrationCode) + ": no factor";
    out += "\n  factory calibration: " + window::formatNumber(v.factoryCalibration) + '\n';
    if (v.summary) {
        out += "  summary:\n";
        for (const std::string& line : *v.summary) out += "    " + line + '\n';
    }
}

}  // namespace

std::string listText(const std::vector<InterfaceFacts>& units, const ShowPath& showPath) {
    std::string out;
    for (const InterfaceFacts& u : units)
        out += printable(*u.serial) + '\t' + printable(u.manufacturer.value_or("?")) + '\t' +
               printable(u.product.value_or("?")) + '\t' + versionOf(u) + '\t' +
               printable(shownPath(showPath, u.path)) + '\n';
    return out;
}

std::string listJson(const std::vector<InterfaceFacts>& units, const ShowPath& showPath) {
    JsonWriter w;
    w.beginObject().key("units").beginArray();
    for (const InterfaceFacts& u : units) {
        identityJson(w, u, showPath);
        w.endObject();
    }
    w.endArray().endObject();
    return w.text() + '\n';
}

std::string resultsText(const std::vector<UnitResult>& results, const ShowPath& showPath) {
    std::string out;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (i) out += '\n';
        resultText(out, results[i], showPath);
    }
    return out;
}

std::string resultsJson(const std::vector<UnitResult>& results, const ShowPath& showPath) {
    JsonWriter w;
    w.beginObject().key("units").beginArray();
    for (const UnitResult& r : results) resultJson(w, r, showPath);
    w.endArray().endObject();
    return w.text() + '\n';
}

std::string diagnosisText(const Diagnosis& d, const ShowPath& showPath) {
    std::string out;
    for (const DiagnosedInterface& e : d.entries) {
        const InterfaceFacts& f = e.facts;
        out += printable(shownPath(showPath, f.path)) + ": ";
        if (f.isUnit) out += (f.serial ? unitName(f) : std::string("unit")) + ": ";
        if (e.findings.empty()) out += "ready\n";
        for (std::size_t k = 0; k < e.findings.size(); ++k) {
            out += (k ? "  " : "") + e.findings[k].reason + '\n';
            out += "  fix: " + e.findings[k].fix + '\n';
        }
    }
    if (!d.noUnit) return out;
    out += "no device with vendor ID " + hex4(device::DeviceVendorId) + " and product ID " +
           hex4(device::DeviceProductId) + " is attached\n";
    bool any = false;
    for (const InterfaceFacts& f : d.all) {
        if (!f.attributes) continue;
        if (!any) out += "attached HID devices:\n";
        any = true;
        out += "  " + printable(shownPath(showPath, f.path)) + ": " + hex4(f.attributes->VendorID) + ':' +
               hex4(f.attributes->ProductID);
        if (f.product && !f.product->empty()) out += ' ' + printable(*f.product);
        out += '\n';
    }
    if (!any) out += "no HID device is attached\n";
    return out;
}

std::string diagnosisJson(const Diagnosis& d, const ShowPath& showPath) {
    JsonWriter w;
    w.beginObject().key("vendor_id").number(device::DeviceVendorId);
    w.key("product_id").number(device::DeviceProductId);
    w.key("interfaces").beginArray();
    for (const DiagnosedInterface& e : d.entries) {
        const InterfaceFacts& f = e.facts;
        const auto* a = f.attributes ? &*f.attributes : nullptr;
        w.beginObject().key("path").string(shownPath(showPath, f.path));
        w.key("vendor_id").number(a ? std::optional<long long>(a->VendorID) : std::nullopt);
        w.key("product_id").number(a ? std::optional<long long>(a->ProductID) : std::nullopt);
        w.key("serial").stringOrNull(f.serial);
        w.key("feature_report_length")
            .number(f.caps ? std::optional<long long>(f.caps->FeatureReportByteLength) : std::nullopt);
        w.key("ready").boolean(e.findings.empty());
        w.key("problems").beginArray();
        for (const Finding& p : e.findings) {
            w.beginObject().key("problem").string(p.what).key("reason").string(p.reason);
            w.key("fix").string(p.fix).endObject();
        }
        w.endArray().endObject();
    }
    w.endArray().key("attached_hid_devices");
    if (!d.noUnit) {
        w.null();
    } else {
        w.beginArray();
        for (const InterfaceFacts& f : d.all) {
            if (!f.attributes) continue;
            w.beginObject().key("path").string(shownPath(showPath, f.path));
            w.key("vendor_id").number(f.attributes->VendorID).key("product_id").number(f.attributes->ProductID);
            w.key("product").stringOrNull(f.product).endObject();
        }
        w.endArray();
    }
    w.endObject();
    return w.text() + '\n';
}

}  // namespace ctl
