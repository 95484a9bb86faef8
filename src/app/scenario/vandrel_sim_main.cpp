// Headless scenario runner: plays a scenario file (or standard input)
// against the main window over simulated units.
#include "app/scenario/scenario_runner.h"

#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc > 2) {
        std::cerr << "usage: vandrel-sim [SCENARIO]\n";
        return 2;
    }
    if (argc == 2) {
        std::ifstream file(argv[1]);
        if (!file) {
            std::cerr << "vandrel-sim: cannot read " << argv[1] << '\n';
            return 2;
        }
        return app::runScenario(file, std::cout, std::cerr);
    }
    return app::runScenario(std::cin, std::cout, std::cerr);
}
