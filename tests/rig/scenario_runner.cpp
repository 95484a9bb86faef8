#include "rig/scenario_runner.h"

#include "device/hex_text.h"
#include "rig/runner_output.h"
#include "rig/scenario_script.h"
#include "rig/unit_rig.h"
#include "support/connected_window.h"
#include "support/window_rules.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace rig {

namespace {

class Session {
public:
    explicit Session(std::unique_ptr<UnitRig> rig) : m_rig(std::move(rig)), m_form(m_rig->platform()) {
        m_rig->beforeSetFeature = [this] {
            if (m_violation.empty() && !m_inCtl && !testsupport::windowSettled(m_form))
                m_violation = "a report was sent while the window was not settled";
        };
    }

    // What must hold between any two commands; empty when all of it does.
    std::string checkInvariants() {
        if (!m_violation.empty()) return std::exchange(m_violation, {});
        return testsupport::brokenWindowRule(m_form, m_rig->openHandles(), m_rig->openEvents());
    }

    // Runs one command; an error names what could not be done.
    std::optional<std::string> run(const Command& c, std::ostream& out) {
        switch (c.verb) {
        case Verb::Unit:
        case Verb::Other:
            if (auto e = m_rig->plug(c.config)) return e;
            m_devices.push_back({c.config.isUnit, c.config.serial, true});
            return std::nullopt;
        case Verb::Unplug:
        case Verb::Replug: {
            const bool unplug = c.verb == Verb::Unplug;
            const auto id = find(c.serial, unplug);
            if (!id) return "no " + std::string(unplug ? "plugged" : "unplugged") + " unit '" + narrow(c.serial) + "'";
            if (auto e = unplug ? m_rig->unplug(*id) : m_rig->replug(*id)) return e;
            m_devices[*id].present = !unplug;
            return std::nullopt;
        }
        case Verb::Fail:
        case Verb::Heal:
        case Verb::Reports: {
            const auto id = find(c.serial);
            if (!id) return "no unit '" + narrow(c.serial) + "'";
            if (c.verb != Verb::Reports) return m_rig->setFailing(*id, c.operation, c.verb == Verb::Fail);
            std::vector<std::vector<std::uint8_t>> reports;
            if (auto e = m_rig->takeReports(*id, reports)) return e;
            for (const auto& report : reports) out << device::hexBytes(report, ':') << '\n';
            out << "end\n";
            return std::nullopt;
        }
        case Verb::Start:
            // One window: it can be opened again only after it was closed.
            if (m_open) return std::string("the window is already open");
            m_open = true;
            m_form.Form_Load();
            return std::nullopt;
        case Verb::Close:
            if (!m_open) return std::string("the window is not open");
            m_open = false;
            testsupport::closeWindow(m_form);
            return std::nullopt;
        case Verb::Tick:
            if (m_form.Timer.enabled()) m_rig->beforeTick(static_cast<std::uint32_t>(m_form.Timer.interval()));
            m_form.Timer.expire();
            return std::nullopt;
        case Verb::Pick:
            static_cast<window::SelectionList*>(m_form.findControl(c.list))->userPick(c.index);
            return std::nullopt;
        case Verb::Press: m_form.Command1.userPress(); return std::nullopt;
        case Verb::Show: dumpControls(m_form, out); return std::nullopt;
        case Verb::Ctl:
            m_inCtl = true;
            runCtl(m_rig->platform(), c.words, out);
            m_inCtl = false;
            return std::nullopt;
        case Verb::Handles:
            out << "open=" << m_rig->openHandles() << " events=" << m_rig->openEvents() << '\n';
            return std::nullopt;
        case Verb::Woken: {
            // The devices, by plug order from 0, that were opened since
            // the last such command.
            std::vector<bool> woken;
            if (auto e = m_rig->takeWoken(woken)) return e;
            std::string ids;
            for (std::size_t id = 0; id < woken.size(); ++id)
                if (woken[id]) ids.append(ids.empty() ? "" : ",").append(std::to_string(id));
            out << "woken=" << (ids.empty() ? "none" : ids) << '\n';
            return std::nullopt;
        }
        }
        return std::nullopt;
    }

private:
    struct Plugged {
        bool isUnit;
        std::optional<std::u16string> serial;
        bool present;
    };

    // The first device with this serial; with `present`, the first unit
    // that is, or is not, plugged in.
    std::optional<std::size_t> find(const std::u16string& serial, std::optional<bool> present = {}) const {
        for (std::size_t id = 0; id < m_devices.size(); ++id) {
            const Plugged& d = m_devices[id];
            if (d.serial == serial && (!present || (d.isUnit && d.present == *present))) return id;
        }
        return std::nullopt;
    }

    std::unique_ptr<UnitRig> m_rig;
    window::frmMain m_form;
    std::vector<Plugged> m_devices;
    std::string m_violation;
    bool m_open = false;
    bool m_inCtl = false;
};

}  // namespace

ScenarioCheck checkScenario(std::istream& in) {
    const ParsedScenario parsed = parseScenario(in);
    ScenarioCheck check{parsed.lines, parsed.commands.size(), parsed.errorLine, parsed.error};
    for (const Command& c : parsed.commands) {
        if (c.verb == Verb::Unit || c.verb == Verb::Other || c.verb == Verb::Replug) ++check.arrivals;
        if (c.verb == Verb::Unplug) ++check.departures;
        if (c.verb == Verb::Ctl) ++check.ctls;
        if (c.verb == Verb::Tick) ++check.ticks;
    }
    return check;
}

int runScenario(std::istream& in, std::ostream& out, std::ostream& err) {
    return runScenario(in, out, err, makeSimRig());
}

int runScenario(std::istream& in, std::ostream& out, std::ostream& err, std::unique_ptr<UnitRig> rig) {
    const ParsedScenario parsed = parseScenario(in);
    if (parsed.errorLine != 0) {
        err << "line " << parsed.errorLine << ": " << parsed.error << '\n';
        return kBadScript;
    }
    const std::vector<Command>& commands = parsed.commands;

    // What the rig cannot play is refused before anything is played.
    for (const Command& c : commands) {
        if ((c.verb == Verb::Fail || c.verb == Verb::Heal) && !rig->canFailCalls()) {
            err << "line " << c.line << ": '" << (c.verb == Verb::Fail ? "fail" : "heal")
                << "' cannot be played on real devices, which cannot be told to fail a single call\n";
            return kBadScript;
        }
    }

    Session session(std::move(rig));
    for (const Command& c : commands) {
        // Flushed before the command plays: a run stopped from outside shows
        // the command it was in.
        out << "> " << c.source << '\n' << std::flush;
        if (auto e = session.run(c, out)) {
            err << "line " << c.line << ": " << *e << '\n';
            return kCommandFailed;
        }
        if (const std::string broken = session.checkInvariants(); !broken.empty()) {
            err << "line " << c.line << ": " << broken << '\n';
            return kRuleBroken;
        }
    }
    return kPlayed;
}

}  // namespace rig
