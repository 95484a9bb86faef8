// Headless scenario runner: plays a scenario file (or standard input)
// against the main window over simulated units, or with --live over the
// native HID backend and the virtual units of the live test stack.
#include "app/scenario/scenario_runner.h"
#include "app/scenario/unit_bench.h"

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    int next = 1;
    std::string liveSocket;
    if (argc > 2 && std::string_view(argv[1]) == "--live") {
        liveSocket = argv[2];
        next = 3;
    }
    if (argc - next > 1 || (next < argc && std::string_view(argv[next]).starts_with("--"))) {
        std::cerr << "usage: vandrel-sim [--live SOCKET] [SCENARIO]\n";
        return 2;
    }
    std::unique_ptr<app::UnitBench> bench;
    if (liveSocket.empty()) {
        bench = app::makeSimBench();
    } else {
        std::string error;
        bool unsettled = false;
        bench = app::makeLiveBench(liveSocket, error, unsettled);
        if (!bench) {
            std::cerr << "vandrel-sim: " << error << '\n';
            // Nothing was played: the caller may restore the stack and run again.
            return unsettled ? 4 : 2;
        }
    }
    if (next < argc) {
        std::ifstream file(argv[next]);
        if (!file) {
            std::cerr << "vandrel-sim: cannot read " << argv[next] << '\n';
            return 2;
        }
        return app::runScenario(file, std::cout, std::cerr, std::move(bench));
    }
    return app::runScenario(std::cin, std::cout, std::cerr, std::move(bench));
}
