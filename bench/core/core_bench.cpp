// The core's costs where a user feels them, over simulated devices that
// answer at once, so every figure is the program's own work. Each figure
// has a baseline measured in the same run: the work that cannot be avoided
// (formatting the list texts, encoding and sending a report, one read, one
// walk over the interfaces). scripts/bench_report.py turns the pairs into
// ratios and checks them against the budgets.
#include "alloc_counter.h"

#include "device/connection.h"
#include "device/sim/sim_platform.h"
#include "protocol/config_report.h"
#include "window/texts.h"
#include "window/frm_main.h"
#include "support/connected_window.h"
#include "support/window_rules.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

using device::sim::DeviceId;
using device::sim::SimPlatform;

// The simulated unit keeps every report it receives; the benchmarks drop
// them in batches so memory stays flat over millions of writes. The cost is
// the same for a figure and its baseline.
constexpr std::size_t kDrainBatch = 4096;

void drainReceived(SimPlatform& platform, DeviceId unit) {
    if (platform.received(unit).size() >= kDrainBatch) platform.takeReceived(unit);
}

// The window over simulated devices, started as the program starts:
// `others` HID interfaces that are not units, then optionally one unit.
class SimWindow {
public:
    SimWindow(int others, bool withUnit) {
        for (int i = 0; i < others; ++i) platform.plug(device::sim::otherDeviceConfig());
        if (withUnit) unit = platform.plug(device::sim::unitConfig(u"VD-000101"));
        form.Form_Load();
    }
    ~SimWindow() { testsupport::closeWindow(form); }
    SimWindow(const SimWindow&) = delete;
    SimWindow& operator=(const SimWindow&) = delete;

    // Connected, with the unit's settings in the lists and writes going out.
    bool live() const {
        return form.connection().DeviceDetected && form.SettingsLoaded && form.RefreshComplete &&
               form.Enc1.itemCount() == protocol::kAmplitudeCodes &&
               form.Cal.itemCount() == protocol::kCalibrationCodes;
    }
    void drain() {
        if (unit) drainReceived(platform, *unit);
    }

    SimPlatform platform;
    std::optional<DeviceId> unit;
    window::frmMain form{platform};
};

// Per-iteration figures the table shows beside the time. stop() is taken
// right after the timed loop: filling in the counters allocates.
class Counts {
public:
    explicit Counts(const SimPlatform& platform)
        : m_platform(platform), m_allocations(bench::allocationCount()), m_writes(platform.featureWrites()),
          m_lists(platform.listsBuilt()) {}

    void stop() {
        m_allocations = bench::allocationCount() - m_allocations;
        m_writes = m_platform.featureWrites() - m_writes;
        m_lists = m_platform.listsBuilt() - m_lists;
    }
    // Per iteration, after stop().
    double allocationsPer(const benchmark::State& state) const { return per(state, m_allocations); }
    void report(benchmark::State& state) const {
        state.counters["allocs"] = per(state, m_allocations);
        state.counters["reports"] = per(state, m_writes);
        state.counters["walks"] = per(state, m_lists);
    }

private:
    static double per(const benchmark::State& state, std::uint64_t count) {
        return state.iterations() == 0 ? 0.0 : static_cast<double>(count) / static_cast<double>(state.iterations());
    }

    const SimPlatform& m_platform;
    std::uint64_t m_allocations;
    std::uint64_t m_writes;
    std::uint64_t m_lists;
};

// Heap allocations per connected poll tick, the worst of all runs; main
// fails the program when it is not zero.
std::optional<double> g_connectedTickAllocations;

// Opens the first present interface the way the program opens a unit.
device::Handle openFirst(SimPlatform& platform, device::OpenMode mode) {
    const device::InterfaceList list = platform.getClassDevs();
    const std::optional<std::string> path = platform.interfacePath(list, 0);
    platform.destroyList(list);
    return path ? platform.open(*path, mode, device::SecurityAttributes{12, true}) : device::kNoHandle;
}

// ---- Baselines -------------------------------------------------------

void BM_BaselineCalibrationTexts(benchmark::State& state) {
    for (auto _ : state) {
        for (int k = 0; k < protocol::kCalibrationCodes; ++k) {
            std::string text = window::calibrationText(k);
            benchmark::DoNotOptimize(text.data());
        }
    }
}
BENCHMARK(BM_BaselineCalibrationTexts);

void BM_BaselineAmplitudeTexts(benchmark::State& state) {
    for (auto _ : state) {
        for (int k = 0; k < protocol::kAmplitudeCodes; ++k) {
            std::string text = window::amplitudeText(k, 1.0, 1.0);
            benchmark::DoNotOptimize(text.data());
        }
    }
}
BENCHMARK(BM_BaselineAmplitudeTexts);

void BM_BaselineEncodeReport(benchmark::State& state) {
    std::array<std::uint8_t, 9> report{};
    int amplitude = 0;
    for (auto _ : state) {
        amplitude = (amplitude + 1) % protocol::kAmplitudeCodes;
        benchmark::DoNotOptimize(protocol::encodeWriteLayout({amplitude, 1, 600}, report));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineEncodeReport);

// Encoding one report and handing it to the simulated unit.
void BM_BaselineSendReport(benchmark::State& state) {
    SimPlatform platform;
    const DeviceId unit = platform.plug(device::sim::unitConfig(u"VD-000101"));
    const device::Handle handle = openFirst(platform, device::OpenMode::Synchronous);
    std::array<std::uint8_t, 9> report{};
    // A baseline that fails at once would make every ratio against it look bad.
    if (!protocol::encodeWriteLayout({0, 1, 600}, report) || !platform.setFeature(handle, report)) {
        state.SkipWithError("the simulated unit refuses the report");
        return;
    }
    int amplitude = 0;
    for (auto _ : state) {
        amplitude = (amplitude + 1) % protocol::kAmplitudeCodes;
        protocol::encodeWriteLayout({amplitude, 1, 600}, report);
        benchmark::DoNotOptimize(platform.setFeature(handle, report));
        drainReceived(platform, unit);
    }
    platform.close(handle);
}
BENCHMARK(BM_BaselineSendReport);

// One input-report read on the simulated platform, called directly.
void BM_BaselineRead(benchmark::State& state) {
    SimPlatform platform;
    platform.plug(device::sim::unitConfig(u"VD-000101"));
    const device::Handle handle = openFirst(platform, device::OpenMode::Overlapped);
    std::array<std::uint8_t, device::Connection::kPollBufferBytes> buffer{};
    device::Overlapped overlapped;
    if (!platform.readInputReport(handle, buffer, 65, overlapped)) {
        state.SkipWithError("the simulated unit has no input report");
        return;
    }
    for (auto _ : state) {
        buffer[0] = 0;
        benchmark::DoNotOptimize(platform.readInputReport(handle, buffer, 65, overlapped));
    }
    platform.close(handle);
}
BENCHMARK(BM_BaselineRead);

void BM_BaselineWalk(benchmark::State& state) {
    SimPlatform platform;
    for (int i = 0; i < state.range(0); ++i) platform.plug(device::sim::otherDeviceConfig());
    std::int64_t examined = 0;
    for (auto _ : state) examined += bench::examineAll(platform);
    if (examined != state.range(0) * static_cast<std::int64_t>(state.iterations()))
        state.SkipWithError("an interface could not be examined");
}
BENCHMARK(BM_BaselineWalk)->Arg(0)->Arg(16)->Arg(64);

// ---- Figures ---------------------------------------------------------

// Times `step` on a connected window; after the run the unit must still be
// shown and `took` must hold, or the figure is marked as failed. Returns the
// heap allocations per step.
template <typename Step, typename Took>
double timeConnected(benchmark::State& state, const char* failure, Step step, Took took) {
    SimWindow w(0, true);
    Counts counts(w.platform);
    for (auto _ : state) step(w);
    counts.stop();
    counts.report(state);
    if (!w.live() || !took(w)) state.SkipWithError(failure);
    return counts.allocationsPer(state);
}

bool always(const SimWindow&) { return true; }

void BM_RefreshDeviceState(benchmark::State& state) {
    timeConnected(
        state, "the refresh left the unit not shown", [](SimWindow& w) { w.form.RefreshDeviceState(); }, always);
}
BENCHMARK(BM_RefreshDeviceState);

void BM_RebuildAmplitudeList(benchmark::State& state) {
    const auto rebuild = [](SimWindow& w) {
        w.form.RebuildAmplitudeList();
        w.drain();
    };
    timeConnected(state, "the rebuild left the unit not shown", rebuild, always);
}
BENCHMARK(BM_RebuildAmplitudeList);

// A user's pick in the calibration list: the amplitude list is rebuilt and
// the same report goes out twice.
void BM_CalibrationPick(benchmark::State& state) {
    int pick = 600;
    const auto userPick = [&pick](SimWindow& w) {
        pick = pick == 600 ? 601 : 600;
        w.form.Cal.userPick(pick);
        w.drain();
    };
    timeConnected(state, "the pick did not take effect", userPick,
                  [&pick](const SimWindow& w) { return w.form.Cal.listIndex() == pick; });
}
BENCHMARK(BM_CalibrationPick);

void BM_DefaultRestore(benchmark::State& state) {
    const auto press = [](SimWindow& w) {
        w.form.Command1.userPress();
        w.drain();
    };
    timeConnected(state, "the restore did not take effect", press,
                  [](const SimWindow& w) { return w.form.Enc1.listIndex() == 280; });
}
BENCHMARK(BM_DefaultRestore);

void BM_PollTickConnected(benchmark::State& state) {
    const double perTick = timeConnected(
        state, "the poll lost the unit", [](SimWindow& w) { w.form.Timer.expire(); }, always);
    if (state.error_occurred()) return;
    if (!g_connectedTickAllocations || perTick > *g_connectedTickAllocations) g_connectedTickAllocations = perTick;
}
BENCHMARK(BM_PollTickConnected);

// No unit attached; the desktop has `others` HID interfaces of other kinds.
void BM_PollTickNotConnected(benchmark::State& state) {
    SimWindow w(static_cast<int>(state.range(0)), false);
    Counts counts(w.platform);
    for (auto _ : state) w.form.Timer.expire();
    counts.stop();
    counts.report(state);
    if (w.form.connection().DeviceDetected ||
        !testsupport::brokenWindowRule(w.form, w.platform.openHandles(), w.platform.openEvents()).empty())
        state.SkipWithError("a tick without a unit left something open");
}
BENCHMARK(BM_PollTickNotConnected)->Arg(0)->Arg(16)->Arg(64);

// Start-up with one unit: the window is created, scans, connects and shows
// the unit, and is closed again.
void BM_FormLoad(benchmark::State& state) {
    SimPlatform platform;
    platform.plug(device::sim::unitConfig(u"VD-000101"));
    Counts counts(platform);
    bool shown = true;
    for (auto _ : state) {
        window::frmMain form(platform);
        form.Form_Load();
        shown = shown && form.SettingsLoaded && form.RefreshComplete;
        testsupport::closeWindow(form);
        platform.takeReceived(0);
    }
    counts.stop();
    counts.report(state);
    if (!shown || platform.openHandles() != 0) state.SkipWithError("start-up did not show the unit");
}
BENCHMARK(BM_FormLoad);

// Counts heap allocations over many connected ticks without timing them.
int checkConnectedTickAllocations() {
    constexpr int kTicks = 10000;
    SimWindow w(4, true);
    w.form.Timer.expire();  // the first tick moves the interval off its start-up value
    const std::uint64_t before = bench::allocationCount();
    for (int i = 0; i < kTicks; ++i) w.form.Timer.expire();
    const std::uint64_t allocations = bench::allocationCount() - before;
    if (!w.live()) {
        std::fprintf(stderr, "FAIL: the connected poll lost the simulated unit\n");
        return 1;
    }
    std::printf("connected poll tick: %llu heap allocations in %d ticks\n",
                static_cast<unsigned long long>(allocations), kTicks);
    if (allocations != 0) {
        std::fprintf(stderr, "FAIL: a connected poll tick must not allocate\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--check-allocations") return checkConnectedTickAllocations();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (g_connectedTickAllocations && *g_connectedTickAllocations != 0) {
        std::fprintf(stderr, "FAIL: a connected poll tick made %.3f heap allocations; it must make none\n",
                     *g_connectedTickAllocations);
        return 1;
    }
    return 0;
}
