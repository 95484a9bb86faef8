#include "ctl/internal.h"

namespace ctl {

namespace {

// Without a unit, the nodes this user may not open are the likely reason.
std::string whyNone(std::size_t unopened) {
    if (unopened == 0) return "'vandrelctl diagnose' tells why a unit may not appear";
    return std::to_string(unopened) + " HID device node" + (unopened == 1 ? "" : "s") +
           " could not be opened; 'vandrelctl diagnose' tells why";
}

Selection refused(int status, std::string message) { return Selection{{}, status, std::move(message)}; }

}  // namespace

std::string serialList(const std::vector<InterfaceFacts>& units) {
    std::string text;
    for (const InterfaceFacts& u : units) text += (text.empty() ? "" : ", ") + printable(*u.serial);
    return text;
}

Listing listUnits(device::HidPlatform& platform) {
    Listing listing;
    for (InterfaceFacts& f : surveyInterfaces(platform, false)) {
        if (f.openFailure) ++listing.unopened;
        if (f.isUnit && f.serial) listing.units.push_back(std::move(f));
    }
    return listing;
}

std::optional<std::string> emptyListNote(const Listing& listing) {
    // An empty list is a result, but a reason for it is worth a message.
    if (!listing.units.empty() || listing.unopened == 0) return std::nullopt;
    return "no unit is listed; " + whyNone(listing.unopened);
}

Selection chooseUnits(const Listing& listing, const std::optional<std::string>& serial, bool all, bool writes) {
    const std::vector<InterfaceFacts>& units = listing.units;
    if (serial) {
        Selection chosen;
        for (const InterfaceFacts& u : units)
            if (*u.serial == *serial) chosen.units.push_back(u);
        if (chosen.units.empty())
            return refused(kNoUnit, "no unit has the serial number " + printable(*serial) +
                                        (units.empty() ? "; no unit is attached" : "; attached: " + serialList(units)));
        if (chosen.units.size() > 1 && writes)
            return refused(kBadUsage, std::to_string(chosen.units.size()) + " units share the serial number " +
                                          printable(*serial) + "; nothing was sent. Use --all to change every unit");
        return chosen;
    }
    if (units.empty()) return refused(kNoUnit, "no unit is attached; " + whyNone(listing.unopened));
    if (units.size() > 1 && !all)
        return refused(kBadUsage, "several units are attached (" + serialList(units) +
                                      "); choose one with --serial, or use --all");
    return Selection{units, kOk, {}};
}

}  // namespace ctl
