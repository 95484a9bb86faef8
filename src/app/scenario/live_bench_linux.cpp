#include "app/scenario/unit_bench.h"

#include "app/scenario/watched_platform.h"
#include "device/native_platform.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>

namespace app {

namespace {

std::string hexCodeUnits(const std::optional<std::u16string>& text) {
    if (!text) return "none";
    std::string out;
    char digits[5];
    for (char16_t unit : *text) {
        std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(unit));
        out += digits;
    }
    return out;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char digits[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        out += digits;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> parseHexReport(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < text.size(); i += 3) {
        if (i + 2 > text.size()) return std::nullopt;
        const int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0 || (i + 2 < text.size() && text[i + 2] != ':')) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

// The line protocol of the virtual units' control socket: one command a
// line, answered by "ok ...", "error ..." or, for reports, lines up to "end".
class UnitLink {
public:
    ~UnitLink() {
        if (m_fd >= 0) ::close(m_fd);
    }

    bool connect(const std::string& path, std::string& error) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) {
            error = "socket path too long";
            return false;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            error = "cannot reach the virtual units at " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }

    bool send(const std::string& line) {
        const std::string text = line + '\n';
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::send(m_fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::optional<std::string> readLine() {
        while (true) {
            const auto end = m_pending.find('\n');
            if (end != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return line;
            }
            char chunk[4096];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            m_pending.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // The "ok" answer's words after "ok", or the error.
    BenchError call(const std::string& line, std::string* answer = nullptr) {
        if (!send(line)) return std::string("the virtual units have gone");
        const auto reply = readLine();
        if (!reply) return std::string("the virtual units have gone");
        if (reply->starts_with("error ")) return "virtual units: " + reply->substr(6);
        if (!reply->starts_with("ok")) return "virtual units: unexpected answer '" + *reply + "'";
        if (answer) *answer = reply->size() > 3 ? reply->substr(3) : std::string();
        return std::nullopt;
    }

private:
    int m_fd = -1;
    std::string m_pending;
};

class LiveBench final : public UnitBench {
public:
    explicit LiveBench(std::unique_ptr<UnitLink> link)
        : m_link(std::move(link)), m_platform(device::makeNativePlatform()) {
        m_platform.beforeSetFeature = [this] {
            if (beforeSetFeature) beforeSetFeature();
        };
    }

    ~LiveBench() override { m_link->call("reset"); }

    device::HidPlatform& platform() override { return m_platform; }

    BenchError plug(const device::sim::DeviceConfig& c) override {
        const std::string line = "plug vid=" + std::to_string(c.vendorId) + " pid=" + std::to_string(c.productId) +
                                 " version=" + std::to_string(c.version) + " serial=" + hexCodeUnits(c.serial) +
                                 " manufacturer=" + hexCodeUnits(c.manufacturer) +
                                 " product=" + hexCodeUnits(c.product) + " report=" + hexBytes(c.featureImage) +
                                 " feature_len=" + std::to_string(c.featureLength) +
                                 " input_len=" + std::to_string(c.inputLength) +
                                 " output_len=" + std::to_string(c.outputLength) +
                                 " get_report=" + std::string(device::sim::featureAnswerName(c.featureAnswer));
        return m_link->call(line);
    }
    BenchError unplug(std::size_t device) override { return m_link->call("unplug " + std::to_string(device)); }
    BenchError replug(std::size_t device) override { return m_link->call("replug " + std::to_string(device)); }
    BenchError setFailing(std::size_t, device::sim::Operation, bool) override {
        return std::string("a real device cannot be told to fail a single call");
    }
    BenchError takeReports(std::size_t device, std::vector<std::vector<std::uint8_t>>& reports) override {
        if (!m_link->send("reports " + std::to_string(device))) return std::string("the virtual units have gone");
        reports.clear();
        while (true) {
            const auto line = m_link->readLine();
            if (!line) return std::string("the virtual units have gone");
            if (*line == "end") return std::nullopt;
            if (line->starts_with("error ")) return "virtual units: " + line->substr(6);
            auto report = parseHexReport(*line);
            if (!report) return "virtual units: unreadable report '" + *line + "'";
            reports.push_back(std::move(*report));
        }
    }

    // Counted by the kernel's own table: descriptors of this process that
    // name a hidraw node.
    std::size_t openHandles() override {
        std::size_t count = 0;
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir) return 0;
        while (const dirent* entry = ::readdir(dir)) {
            char target[256];
            const std::string link = std::string("/proc/self/fd/") + entry->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            if (std::string_view(target, static_cast<std::size_t>(n)).starts_with("/dev/hidraw")) ++count;
        }
        ::closedir(dir);
        return count;
    }
    std::size_t openEvents() override { return m_platform.openEvents(); }

    void beforeTick(std::uint32_t intervalMs) override {
        // A unit that left on its own, in the middle of a request, is gone
        // from the kernel before the timer fires, as a person's unplug
        // would be by then.
        m_link->call("settle");
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    bool canFailCalls() const override { return false; }

    BenchError reset() { return m_link->call("reset"); }

private:
    std::unique_ptr<UnitLink> m_link;
    device::watch::WatchedPlatform m_platform;
};

}  // namespace

std::unique_ptr<UnitBench> makeLiveBench(const std::string& socketPath, std::string& error) {
    auto link = std::make_unique<UnitLink>();
    if (!link->connect(socketPath, error)) return nullptr;
    auto bench = std::make_unique<LiveBench>(std::move(link));
    // Each scenario starts with nothing plugged in.
    if (auto e = bench->reset()) {
        error = *e;
        return nullptr;
    }
    return bench;
}

}  // namespace app
