#pragma once

#include <cstdint>

namespace bench {

// Heap allocations made through the global operator new since the program
// started. The benchmark program replaces operator new and delete with
// counting versions, so every allocation of the core, the simulated
// platform and the standard library is seen here.
std::uint64_t allocationCount();

}  // namespace bench
