#include "rig/runner_output.h"

#include "ctl/program.h"
#include "window/frm_main.h"
#include "window/texts.h"

#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

namespace rig {

namespace {

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out.push_back(ch);
        }
    }
    out += '"';
    return out;
}

}  // namespace

void dumpControls(const window::frmMain& form, std::ostream& out) {
    for (const window::Control* c : form.controls()) {
        out << c->name();
        switch (c->kind()) {
        case window::ControlKind::Frame: out << " enabled=" << c->enabled() << " visible=" << c->visible(); break;
        case window::ControlKind::Label:
            out << " enabled=" << c->enabled() << " visible=" << c->visible()
                << " caption=" << quoted(static_cast<const window::Label*>(c)->caption());
            break;
        case window::ControlKind::SelectionList: {
            const auto* list = static_cast<const window::SelectionList*>(c);
            out << " enabled=" << c->enabled() << " visible=" << c->visible() << " items=" << list->itemCount()
                << " index=" << list->listIndex() << " text=" << quoted(list->text());
            break;
        }
        case window::ControlKind::TextBox:
            out << " text=" << quoted(static_cast<const window::TextBox*>(c)->text());
            break;
        case window::ControlKind::Button: out << " enabled=" << c->enabled(); break;
        case window::ControlKind::Timer:
            out << " enabled=" << c->enabled()
                << " interval=" << static_cast<const window::TimerControl*>(c)->interval();
            break;
        }
        out << '\n';
    }
    const device::Connection& conn = form.connection();
    out << "flags DeviceDetected=" << conn.DeviceDetected << " SettingsLoaded=" << form.SettingsLoaded
        << " RefreshComplete=" << form.RefreshComplete
        << " FactoryCalibration=" << window::formatNumber(form.FactoryCalibration) << '\n';
}

void runCtl(device::HidPlatform& platform, const std::vector<std::string>& words, std::ostream& out) {
    std::vector<std::string> paths;
    ctl::Host host;
    host.version = "test";
    host.showPath = [&paths](const std::string& path) {
        std::size_t n = 0;
        while (n < paths.size() && paths[n] != path) ++n;
        if (n == paths.size()) paths.push_back(path);
        return "<path " + std::to_string(n + 1) + ">";
    };
    std::ostringstream results, messages;
    const int status = ctl::run(platform, words, results, messages, host);
    out << results.str();
    std::istringstream lines(messages.str());
    for (std::string line; std::getline(lines, line);) out << "stderr: " << line << '\n';
    out << "exit " << status << '\n';
}

}  // namespace rig
