#include "rig/unit_rig.h"

#include "rig/scenario_runner.h"
#include "rig/unit_link.h"
#include "rig/watched_platform.h"
#include "device/hex_text.h"
#include "device/native_platform.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <optional>
#include <string_view>
#include <thread>

namespace rig {

namespace {

std::string hexCodeUnits(const std::optional<std::u16string>& text) {
    if (!text) return "none";
    std::string out;
    for (char16_t unit : *text) out += device::hexNumber(unit, 4);
    return out;
}

// The virtual units' line protocol: one command a line, answered by
// "ok ...", "error ..." or, for reports, lines up to "end".
RigError call(UnitLink& link, const std::string& line, std::string* answer = nullptr) {
    if (!link.send(line)) return std::string("the virtual units have gone");
    const auto reply = link.readLine();
    if (!reply) return std::string("the virtual units have gone");
    if (reply->starts_with("error ")) return "virtual units: " + reply->substr(6);
    if (!reply->starts_with("ok")) return "virtual units: unexpected answer '" + *reply + "'";
    if (answer) *answer = reply->size() > 3 ? reply->substr(3) : std::string();
    return std::nullopt;
}

// How long a device may take to appear in, or leave, the platform's own
// list of interfaces once the kernel has bound or released it: the Windows
// layer learns of it from the kernel by itself, through the udev daemon,
// which in an emulated guest on a busy machine can take many seconds.
constexpr auto kListingTimeout = std::chrono::seconds(120);
// Each look lists every interface: through Wine that is dozens of round
// trips to its server, which on one core compete with the bus thread and
// services that bring the news (polled every 10 ms, a plug took up to 49 s
// to show there). A quarter of a second adds at most that much to a move.
constexpr auto kListingPoll = std::chrono::milliseconds(250);
// The least time a tick waits over a layer between the kernel and the window.
constexpr std::chrono::milliseconds kLayerTickFloor{500};
// A wait longer than this is worth a line on standard error.
constexpr auto kListingNoted = std::chrono::seconds(2);

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) out.push_back(std::move(w));
    return out;
}

// The IDs in a Windows device interface path, "...#vid_VVVV&pid_PPPP...",
// as the units write them, VVVV:PPPP; empty for a path without them.
std::string idsInPath(std::string_view path) {
    std::string lower(path);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto vid = lower.find("vid_"), pid = lower.find("pid_");
    if (vid == std::string::npos || pid == std::string::npos || vid + 8 > lower.size() || pid + 8 > lower.size())
        return {};
    std::string id = lower.substr(vid + 4, 4) + ":" + lower.substr(pid + 4, 4);
    for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return id;
}

// The sorted IDs of the listed interfaces that carry one of ids.
std::vector<std::string> unitsIn(const std::vector<std::string>& paths, const std::vector<std::string>& ids) {
    std::vector<std::string> found;
    for (const std::string& p : paths) {
        std::string id = idsInPath(p);
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) found.push_back(std::move(id));
    }
    std::sort(found.begin(), found.end());
    return found;
}

class LiveRig final : public UnitRig {
public:
    LiveRig(std::unique_ptr<UnitLink> link, std::ostream& notes)
        : m_link(std::move(link)), m_notes(notes), m_platform(device::makeNativePlatform()) {
        m_platform.beforeSetFeature = [this] {
            if (beforeSetFeature) beforeSetFeature();
        };
    }

    // Starts from nothing plugged in: the previous scenario's devices leave
    // one at a time, each once the platform's list agrees that the one
    // before has gone. Wine 8.0's HID bus takes a departed device out of its
    // list twice, the second time once no handle to it is left; another
    // departure in between breaks the list and keeps a unit listed for good.
    // So a runner that ends leaves its devices to the next one, whose reset
    // runs when no program holds them.
    RigError reset() {
        std::string plugged;
        if (auto e = call(*m_link, "plugged", &plugged)) return e;
        for (const std::string& id : words(plugged)) {
            if (auto e = call(*m_link, "unplug " + id)) return e;
            if (auto e = waitForListing("reset")) return e;
        }
        if (auto e = call(*m_link, "reset")) return e;
        return waitForListing("reset");
    }

    device::HidPlatform& platform() override { return m_platform; }

    RigError plug(const device::sim::DeviceConfig& c) override {
        const std::string line =
            "plug vid=" + std::to_string(c.vendorId) + " pid=" + std::to_string(c.productId) +
            " version=" + std::to_string(c.version) + " serial=" + hexCodeUnits(c.serial) +
            " manufacturer=" + hexCodeUnits(c.manufacturer) + " product=" + hexCodeUnits(c.product) +
            " report=" + device::hexBytes(c.featureImage, '\0') + " feature_len=" + std::to_string(c.featureLength) +
            " input_len=" + std::to_string(c.inputLength) + " output_len=" + std::to_string(c.outputLength) +
            " get_report=" + std::string(device::sim::featureAnswerName(c.featureAnswer)) +
            (c.sendsInput ? "" : " input=silent");
        if (auto e = call(*m_link, line)) return e;
        m_present.push_back(true);
        return waitForListing("plug");
    }
    RigError unplug(std::size_t device) override { return move(device, false); }
    RigError replug(std::size_t device) override { return move(device, true); }
    RigError setFailing(std::size_t, device::sim::Operation, bool) override {
        return std::string("a real device cannot be told to fail a single call");
    }
    RigError takeReports(std::size_t device, std::vector<std::vector<std::uint8_t>>& reports) override {
        if (!m_link->send("reports " + std::to_string(device))) return std::string("the virtual units have gone");
        reports.clear();
        while (true) {
            const auto line = m_link->readLine();
            if (!line) return std::string("the virtual units have gone");
            if (*line == "end") return std::nullopt;
            if (line->starts_with("error ")) return "virtual units: " + line->substr(6);
            auto report = device::parseHexBytes(*line, ':');
            if (!report) return "virtual units: unreadable report '" + *line + "'";
            reports.push_back(std::move(*report));
        }
    }

    RigError takeWoken(std::vector<bool>& woken) override {
        noteTickEnd();
        // The tick runs right after beforeTick returns, and the runner's
        // next call comes as soon as it ends: the longest of those spans is
        // the longest tick, which an open of another USB device's node
        // would stretch past 50 ms.
        note("longest tick since the last count: %.1f ms",
             std::chrono::duration<double, std::milli>(m_longestTick).count());
        m_longestTick = {};
        woken.clear();
        for (std::size_t id = 0; id < m_present.size(); ++id) {
            std::string answer;
            if (auto e = call(*m_link, "transfers " + std::to_string(id), &answer)) return e;
            // Each device's own count goes beside the output, which only
            // says whether it was woken, as the simulation can.
            m_notes << "device " << id << ": " << answer << " interrupt-IN transfers\n";
            woken.push_back(answer != "0");
        }
        return std::nullopt;
    }
    std::size_t openHandles() override { return systemDeviceHandles().value_or(m_platform.openHandles()); }
    std::size_t openEvents() override { return m_platform.openEvents(); }

    void beforeTick(std::uint32_t intervalMs) override {
        noteTickEnd();
        // A unit that left on its own, in the middle of a request, is gone
        // from the kernel before the timer fires, as a person's unplug
        // would be by then.
        std::string away;
        if (!call(*m_link, "settle", &away)) noteDepartures(away);
        // A timer fires no sooner than its interval, and on a busy machine
        // later. A layer between the kernel and the window (Wine's HID bus)
        // hands a new handle its first input report only once its own
        // threads have run, which on one emulated core took longer than a
        // 50 ms interval: the window would take a unit that answers for gone.
        const auto floor = systemDeviceHandles() ? std::chrono::milliseconds(0) : kLayerTickFloor;
        std::this_thread::sleep_for(std::max(std::chrono::milliseconds(intervalMs), floor));
        m_tickStart = std::chrono::steady_clock::now();
    }
    bool canFailCalls() const override { return false; }

private:
    template <typename... Args>
    void note(const char* format, Args... args) {
        char line[160];
        std::snprintf(line, sizeof line, format, args...);
        m_notes << line << '\n';
    }

    void noteTickEnd() {
        if (!m_tickStart) return;
        m_longestTick = std::max(m_longestTick, std::chrono::steady_clock::now() - *m_tickStart);
        m_tickStart.reset();
    }

    // The units name every device off the bus; one that left by itself is
    // waited for until the platform's list no longer shows it either.
    void noteDepartures(const std::string& away) {
        bool left = false;
        std::istringstream ids(away);
        std::size_t id = 0;
        while (ids >> id) {
            if (id < m_present.size() && m_present[id]) {
                m_present[id] = false;
                left = true;
            }
        }
        if (left) waitForListing("departure");
    }

    RigError move(std::size_t device, bool plugIn) {
        if (auto e = call(*m_link, (plugIn ? "replug " : "unplug ") + std::to_string(device))) return e;
        if (device < m_present.size()) m_present[device] = plugIn;
        return waitForListing(plugIn ? "replug" : "unplug");
    }

    // The kernel has bound or released a device; this waits until the
    // platform's own list shows the same devices with the units' IDs as
    // the kernel's HID nodes do. Whatever else it lists is the layer's own
    // (Wine's bus adds a mouse and a keyboard of its own) and not counted.
    RigError waitForListing(const char* after) {
        // Where the kernel's own view is at hand the units have already
        // waited for it; only a layer between, such as Wine's HID bus,
        // learns of a device later, by itself.
        if (systemDeviceHandles()) return std::nullopt;
        std::string answer;
        if (auto e = call(*m_link, "ids", &answer)) return e;
        const std::vector<std::string> ids = words(answer);
        if (auto e = call(*m_link, "nodes", &answer)) return e;
        std::vector<std::string> expected;
        for (std::string& id : words(answer))
            if (std::find(ids.begin(), ids.end(), id) != ids.end()) expected.push_back(std::move(id));
        std::sort(expected.begin(), expected.end());
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::string> paths;
        while (unitsIn(paths = testsupport::interfacePaths(m_platform), ids) != expected) {
            if (std::chrono::steady_clock::now() - start > kListingTimeout) {
                std::string shown;
                for (const std::string& p : paths) shown += "\n  " + p;
                return "after " + std::string(after) + ", the platform's list still differs from the kernel's " +
                       std::to_string(expected.size()) + " HID nodes with the units' IDs (" +
                       std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kListingTimeout).count()) +
                       " s waited); it lists:" + shown;
            }
            std::this_thread::sleep_for(kListingPoll);
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited > kListingNoted)
            note("live rig: after %s the platform's list took %.1f s to agree with the kernel", after,
                 std::chrono::duration<double>(waited).count());
        else
            // How soon a backend that keeps its list heard of the change.
            note("live bench: after %s the platform's list agreed in %.0f ms", after,
                 std::chrono::duration<double, std::milli>(waited).count());
        return std::nullopt;
    }

    std::unique_ptr<UnitLink> m_link;
    std::ostream& m_notes;
    device::watch::WatchedPlatform m_platform;
    std::vector<bool> m_present;
    std::optional<std::chrono::steady_clock::time_point> m_tickStart;
    std::chrono::steady_clock::duration m_longestTick{};
};

}  // namespace

void warmLivePlatform() { device::makeNativePlatform(); }

std::unique_ptr<UnitRig> makeLiveRig(const std::string& socketPath, std::ostream& notes, std::string& error,
                                     bool& unsettled) {
    unsettled = false;
    // Each phase prints the monotonic clock, which both Linux and Wine
    // count from the guest's boot, as play.sh's progress file does.
    const auto took = [&notes](const char* phase) {
        notes << "live rig: " << phase << " at " << guestClock() << " s\n";
    };
    took("starts");
    auto link = connectUnitLink(socketPath, error);
    if (!link) return nullptr;
    took("reached the units");
    auto rig = std::make_unique<LiveRig>(std::move(link), notes);
    took("has its platform");
    // Each scenario starts with nothing plugged in.
    if (auto e = rig->reset()) {
        error = *e;
        unsettled = true;
        return nullptr;
    }
    return rig;
}

}  // namespace rig
