#include "app/scenario/unit_bench.h"

namespace app {

std::unique_ptr<UnitBench> makeLiveBench(const std::string&, std::string& error, bool&) {
    error = "this build has no live test stack";
    return nullptr;
}

}  // namespace app
