#include "rig/runner_output.h"

#include "ctl/program.h"

#include <ostream>
#include <sstream>

namespace rig {

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
