#include "rig/unit_link.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace rig {

namespace {

class PosixLink final : public UnitLink {
public:
    explicit PosixLink(int fd) : m_fd(fd) {}
    ~PosixLink() override { ::close(m_fd); }
    PosixLink(const PosixLink&) = delete;
    PosixLink& operator=(const PosixLink&) = delete;

protected:
    long sendSome(const char* data, std::size_t size) override {
        ssize_t n;
        while ((n = ::send(m_fd, data, size, MSG_NOSIGNAL)) < 0 && errno == EINTR) {}
        return n;
    }
    long receiveSome(char* data, std::size_t size) override {
        ssize_t n;
        while ((n = ::recv(m_fd, data, size, 0)) < 0 && errno == EINTR) {}
        return n;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<UnitLink> connectUnitLink(const std::string& address, std::string& error) {
    int fd = -1;
    int result = -1;
    if (address.find('/') == std::string::npos && address.find(':') != std::string::npos) {
        const auto colon = address.rfind(':');
        sockaddr_in tcp{};
        tcp.sin_family = AF_INET;
        tcp.sin_port = htons(static_cast<std::uint16_t>(std::atoi(address.c_str() + colon + 1)));
        if (::inet_pton(AF_INET, address.substr(0, colon).c_str(), &tcp.sin_addr) != 1) {
            error = "not an address: " + address;
            return nullptr;
        }
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) result = ::connect(fd, reinterpret_cast<const sockaddr*>(&tcp), sizeof tcp);
    } else {
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        if (address.size() >= sizeof local.sun_path) {
            error = "socket path too long";
            return nullptr;
        }
        std::memcpy(local.sun_path, address.c_str(), address.size() + 1);
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) result = ::connect(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    }
    if (result != 0) {
        error = "cannot reach the virtual units at " + address + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixLink>(fd);
}

// Counted from the kernel's own table: descriptors of this process that
// name a hidraw node.
std::optional<std::size_t> systemDeviceHandles() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return std::nullopt;
    std::size_t count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        char target[256];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)).starts_with("/dev/hidraw")) ++count;
    }
    ::closedir(dir);
    return count;
}

}  // namespace rig
