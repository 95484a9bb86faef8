#include "ctl/internal.h"

#include "protocol/identity.h"

namespace ctl {

Diagnosis diagnoseInterfaces(device::HidPlatform& platform, const std::string& advice, const ShowPath& showPath) {
    Diagnosis d;
    d.all = surveyInterfaces(platform, true);
    std::size_t unitsSeen = 0, readyUnits = 0, unopened = 0;
    for (const InterfaceFacts& f : d.all) {
        DiagnosedInterface e{f, {}};
        if (f.openFailure) {
            ++unopened;
            // Where the IDs came without opening, it is known to be a unit.
            e.findings.push_back(
                {"open",
                 "it cannot be opened (" + *f.openFailure +
                     (f.isUnit ? ")" : "), so whether it is a unit cannot be told"),
                 advice.empty() ? "make sure this user may open " + shownPath(showPath, f.path) : advice});
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
        d.entries.push_back(std::move(e));
    }
    d.noUnit = unitsSeen == 0 && unopened == 0;
    // A node that cannot be opened beside units that are all ready is most
    // likely another device (Windows keeps keyboards and mice to itself);
    // it is listed, but only fails the run when no unit was found at all.
    if (d.noUnit) d.status = kNoUnit;
    else if (unitsSeen == 0) d.status = kUnitFailed;
    else d.status = readyUnits == unitsSeen ? kOk : kUnitFailed;
    return d;
}

}  // namespace ctl
