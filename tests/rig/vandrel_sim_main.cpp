// Headless scenario runner: plays a scenario file (or standard input)
// against the main window over simulated units. With --live it plays
// scenarios one after another over the native HID backend and the virtual
// units of the live test stack, each into files of its own. With --budget
// it plays nothing and prints the seconds that the live suite allows the
// files together on a layer (linux or windows).
#include "rig/scenario_runner.h"
#include "rig/unit_rig.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: vandrel-sim [SCENARIO]\n"
    "       vandrel-sim --live SOCKET OUTDIR linux|windows SCENARIO...\n"
    "       vandrel-sim --budget linux|windows SCENARIO...\n";

// Reads every file before anything plays; nothing when one is unreadable
// or malformed, with the reason on standard error.
std::optional<std::vector<rig::ScenarioCheck>> checkFiles(int first, int argc, char** argv) {
    std::vector<rig::ScenarioCheck> checks;
    for (int i = first; i < argc; ++i) {
        std::ifstream file(argv[i]);
        if (!file) {
            std::cerr << "vandrel-sim: cannot read " << argv[i] << '\n';
            return std::nullopt;
        }
        checks.push_back(rig::checkScenario(file));
        if (checks.back().errorLine != 0) {
            std::cerr << argv[i] << ": line " << checks.back().errorLine << ": " << checks.back().error << '\n';
            return std::nullopt;
        }
    }
    return checks;
}

// The layer named at argv[at], followed by at least one scenario, and every
// scenario read; nothing, with the reason said, when any is missing or bad.
std::optional<std::pair<rig::LiveLayer, std::vector<rig::ScenarioCheck>>> layerAndFiles(int at, int argc, char** argv) {
    const auto layer = argc > at ? rig::liveLayerNamed(argv[at]) : std::nullopt;
    if (!layer || argc < at + 2) {
        std::cerr << kUsage;
        return std::nullopt;
    }
    auto checks = checkFiles(at + 1, argc, argv);
    if (!checks) return std::nullopt;
    return std::pair{*layer, std::move(*checks)};
}

int printBudget(int argc, char** argv) {
    const auto read = layerAndFiles(2, argc, argv);
    if (!read) return rig::kBadScript;
    const auto& [layer, checks] = *read;
    unsigned long total = 0;
    for (const rig::ScenarioCheck& check : checks) total += rig::scenarioBudget(check, layer);
    std::cout << total << '\n';
    return rig::kPlayed;
}

std::string nameOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    if (path.ends_with(".scn")) path.remove_suffix(4);
    return std::string(path);
}

// The end of the scenario playing now, in seconds on the steady clock; 0
// while none is.
std::atomic<long long> g_deadline{0};

// Stops the whole runner once a scenario outlives its budget: its thread
// may be stuck inside the HID stack, where nothing else can reach it. The
// guest's script then plays the rest in a runner of their own.
void watchDeadlines() {
    std::thread([] {
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const long long deadline = g_deadline.load();
            const auto now =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch());
            if (deadline != 0 && now.count() >= deadline) {
                std::fprintf(stderr, "%s: over budget, the runner stops\n", rig::guestClock().c_str());
                std::_Exit(rig::kOverBudget);
            }
        }
    }).detach();
}

// Plays each scenario on virtual units under a real kernel, in this one
// process: under Wine a process's start and its first window cost tens of
// seconds in an emulated guest. Each gets a new rig, platform and window,
// as a runner of its own would, and writes OUTDIR/NAME.actual, NAME.err
// and NAME.status; OUTDIR/progress gets a line as each starts and ends.
int playLive(int argc, char** argv) {
    const auto read = layerAndFiles(4, argc, argv);
    if (!read) return rig::kBadScript;
    const auto& [layer, checks] = *read;
    const std::string socket = argv[2], dir = std::string(argv[3]) + "/";
    // Binary, so that Windows writes the same bytes as Linux: the guest's
    // script reads these files.
    const auto step = [&dir](const std::string& what) {
        std::ofstream(dir + "progress", std::ios::app | std::ios::binary) << rig::guestClock() << ' ' << what << '\n';
    };
    watchDeadlines();
    rig::warmLivePlatform();
    step("warm");
    for (int i = 5; i < argc; ++i) {
        const std::string name = nameOf(argv[i]);
        step("start " + name);
        // Unbuffered errors, so that a runner stopped at a deadline keeps
        // what it said.
        std::ofstream out(dir + name + ".actual", std::ios::binary), err(dir + name + ".err", std::ios::binary);
        err << std::unitbuf;
        const auto now =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch());
        const unsigned budget = rig::scenarioBudget(checks[i - 5], layer);
        std::cerr << rig::guestClock() << ": " << name << " starts, with a budget of " << budget << " s" << std::endl;
        // The guest's limit is the sum of the budgets; one scenario may take
        // up to twice its own, since a plug through Wine on one emulated
        // core took from 2 to 33 s, before it counts as hung.
        g_deadline = now.count() + 2 * budget;
        std::string error;
        bool unsettled = false;
        int status = rig::kBadScript;
        std::ifstream file(argv[i]);
        if (auto units = rig::makeLiveRig(socket, err, error, unsettled)) {
            status = rig::runScenario(file, out, err, std::move(units));
            // Its devices leave on its own budget, once its window and
            // platform have closed every handle, by the reset a new rig
            // starts with: the next scenario starts from nothing.
            if (!rig::makeLiveRig(socket, err, error, unsettled)) {
                err << "vandrel-sim: after the last command: " << error << '\n';
                if (status == rig::kPlayed) status = rig::kCommandFailed;
            }
        } else {
            err << "vandrel-sim: " << error << '\n';
            if (unsettled) status = rig::kUnsettled;
        }
        g_deadline = 0;
        std::ofstream(dir + name + ".status", std::ios::binary) << status << '\n';
        step("end " + name + " " + std::to_string(status));
    }
    return rig::kPlayed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--budget") return printBudget(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "--live") return playLive(argc, argv);
    if (argc > 2 || (argc == 2 && std::string_view(argv[1]).starts_with("--"))) {
        std::cerr << kUsage;
        return rig::kBadScript;
    }
    if (argc == 2) {
        std::ifstream file(argv[1]);
        if (!file) {
            std::cerr << "vandrel-sim: cannot read " << argv[1] << '\n';
            return rig::kBadScript;
        }
        return rig::runScenario(file, std::cout, std::cerr);
    }
    return rig::runScenario(std::cin, std::cout, std::cerr);
}
