#include "fuzz/event_driver.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Totals over the whole fuzzing run, printed when the fuzzer exits.
fuzz::RunCounts g_total;
std::size_t g_sequences = 0;

void printTotals() {
    std::printf("event sequences: %zu, events: %zu, feature reports checked: %zu, invariant breaks: 0\n", g_sequences,
                g_total.events, g_total.reportsChecked);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(printTotals);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EventDriver driver;
    const fuzz::RunCounts counts = driver.run({data, size});
    ++g_sequences;
    g_total.events += counts.events;
    g_total.reportsChecked += counts.reportsChecked;
    return 0;
}
