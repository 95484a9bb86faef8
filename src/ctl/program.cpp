#include "ctl/program.h"

#include "ctl/internal.h"

#include <ostream>
#include <variant>

namespace ctl {

namespace {

// The commands: each decides with the ctl library, then prints its result.
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
        case Verb::Set:
        case Verb::Restore: return write();
        case Verb::Diagnose: return diagnose();
        }
        return kOk;
    }

private:
    void message(const std::string& text) { m_err << "vandrelctl: " << text << '\n'; }

    // Each failed unit's message, then every result; kUnitFailed when any
    // unit failed.
    int report(const std::vector<UnitResult>& results) {
        int status = kOk;
        for (const UnitResult& r : results) {
            if (r.error.empty()) continue;
            message(unitName(r.unit) + ": " + r.error);
            status = kUnitFailed;
        }
        m_out << (m_request.json ? resultsJson(results, m_host.showPath) : resultsText(results, m_host.showPath));
        return status;
    }

    // The units the request names; empty after a message, with the exit
    // status in status.
    std::vector<InterfaceFacts> choose(bool writes, int& status) {
        Selection s = chooseUnits(listUnits(m_platform), m_request.serial, m_request.all, writes);
        if (s.units.empty()) message(s.message);
        status = s.status;
        return std::move(s.units);
    }

    int list() {
        const Listing listing = listUnits(m_platform);
        if (const auto note = emptyListNote(listing)) message(*note);
        m_out << (m_request.json ? listJson(listing.units, m_host.showPath) : listText(listing.units, m_host.showPath));
        return kOk;
    }

    int show() {
        int status = kOk;
        const std::vector<InterfaceFacts> chosen = choose(false, status);
        if (chosen.empty()) return status;
        std::vector<UnitResult> results;
        for (const InterfaceFacts& u : chosen) results.push_back(readUnit(m_platform, u));
        return report(results);
    }

    // set and restore: a value one unit cannot take sends nothing to any.
    int write() {
        int status = kOk;
        const std::vector<InterfaceFacts> chosen = choose(true, status);
        if (chosen.empty()) return status;
        const WritePlan plan = planWrites(m_platform, chosen, m_request.change);
        if (!plan.refusals.empty()) {
            for (const std::string& refusal : plan.refusals) message(refusal);
            for (const WritePlan::Step& step : plan.steps)
                if (!step.settings) message(unitName(step.unit) + ": " + step.error);
            return kBadUsage;
        }
        return report(applyWrites(m_platform, plan));
    }

    int diagnose() {
        const Diagnosis d =
            diagnoseInterfaces(m_platform, m_host.openAdvice ? m_host.openAdvice() : std::string(), m_host.showPath);
        m_out << (m_request.json ? diagnosisJson(d, m_host.showPath) : diagnosisText(d, m_host.showPath));
        return d.status;
    }

    device::HidPlatform& m_platform;
    std::ostream& m_out;
    std::ostream& m_err;
    const Host& m_host;
    Request m_request;
};

}  // namespace

int run(device::HidPlatform& platform, std::span<const std::string> args, std::ostream& out, std::ostream& err,
        const Host& host) {
    return Program(platform, out, err, host).run(args);
}

}  // namespace ctl
