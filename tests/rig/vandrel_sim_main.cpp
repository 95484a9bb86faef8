// Headless scenario runner: plays a scenario file (or standard input)
// against the main window over simulated units, or with --live over the
// native HID backend and the virtual units of the live test stack. With
// --budget it plays nothing and prints the seconds that the live suite
// allows the files together on a layer (linux or windows).
#include "rig/scenario_budget.h"
#include "rig/scenario_runner.h"
#include "rig/unit_rig.h"

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

int printBudget(int argc, char** argv) {
    const auto layer = argc > 2 ? rig::liveLayerNamed(argv[2]) : std::nullopt;
    if (!layer || argc < 4) {
        std::cerr << "usage: vandrel-sim --budget linux|windows SCENARIO...\n";
        return rig::kBadScript;
    }
    unsigned long total = 0;
    for (int i = 3; i < argc; ++i) {
        std::ifstream file(argv[i]);
        if (!file) {
            std::cerr << "vandrel-sim: cannot read " << argv[i] << '\n';
            return rig::kBadScript;
        }
        const rig::ScenarioCheck check = rig::checkScenario(file);
        if (check.errorLine != 0) {
            std::cerr << argv[i] << ": line " << check.errorLine << ": " << check.error << '\n';
            return rig::kBadScript;
        }
        total += rig::scenarioBudget(check, *layer);
    }
    std::cout << total << '\n';
    return rig::kPlayed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--budget") return printBudget(argc, argv);
    int next = 1;
    std::string liveSocket;
    if (argc > 2 && std::string_view(argv[1]) == "--live") {
        liveSocket = argv[2];
        next = 3;
    }
    if (argc - next > 1 || (next < argc && std::string_view(argv[next]).starts_with("--"))) {
        std::cerr << "usage: vandrel-sim [--live SOCKET] [SCENARIO] | --budget linux|windows SCENARIO...\n";
        return rig::kBadScript;
    }
    std::unique_ptr<rig::UnitRig> units;
    if (liveSocket.empty()) {
        units = rig::makeSimRig();
    } else {
        std::string error;
        bool unsettled = false;
        units = rig::makeLiveRig(liveSocket, error, unsettled);
        if (!units) {
            std::cerr << "vandrel-sim: " << error << '\n';
            return unsettled ? rig::kUnsettled : rig::kBadScript;
        }
    }
    if (next < argc) {
        std::ifstream file(argv[next]);
        if (!file) {
            std::cerr << "vandrel-sim: cannot read " << argv[next] << '\n';
            return rig::kBadScript;
        }
        return rig::runScenario(file, std::cout, std::cerr, std::move(units));
    }
    return rig::runScenario(std::cin, std::cout, std::cerr, std::move(units));
}
