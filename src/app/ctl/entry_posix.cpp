#include "app/ctl/host_advice.h"

int main(int argc, char** argv) {
    return app::runVandrelctl(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
