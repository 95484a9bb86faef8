#include "device/hidraw/hidraw_platform.h"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace device::hidraw {

namespace {

// Kernel events go to multicast group 1 of the uevent protocol; udev's
// own, sent after its rules ran, to group 2.
constexpr unsigned kKernelEvents = 1;

// "ACTION@DEVPATH" then KEY=VALUE fields, each ended by a zero byte.
bool namesHidraw(std::string_view message) {
    constexpr std::string_view kField = "SUBSYSTEM=hidraw";
    while (!message.empty()) {
        const std::size_t end = message.find('\0');
        if (message.substr(0, end) == kField) return true;
        if (end == std::string_view::npos) break;
        message.remove_prefix(end + 1);
    }
    return false;
}

class UeventWatch final : public NodeWatch {
public:
    explicit UeventWatch(int fd) : m_fd(fd) {}
    ~UeventWatch() override { ::close(m_fd); }
    UeventWatch(const UeventWatch&) = delete;
    UeventWatch& operator=(const UeventWatch&) = delete;

    bool changed() override {
        // Once the socket has failed, nothing it says can be trusted any
        // more; the backend lists on every tick, as it would without it.
        if (m_broken) return true;
        bool changed = false;
        for (;;) {
            sockaddr_nl sender{};
            iovec io{m_buffer.data(), m_buffer.size()};
            msghdr msg{};
            msg.msg_name = &sender;
            msg.msg_namelen = sizeof sender;
            msg.msg_iov = &io;
            msg.msg_iovlen = 1;
            const ssize_t n = ::recvmsg(m_fd, &msg, MSG_DONTWAIT);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) return changed;
                // Events were dropped while the window was busy: whatever
                // they said, the list may be stale.
                if (errno == ENOBUFS) {
                    changed = true;
                    continue;
                }
                m_broken = true;
                return true;
            }
            // Only the kernel (port 0) speaks for the kernel; anything
            // another process sends to the group is ignored. A message cut
            // short could have named hidraw.
            if (sender.nl_pid != 0) continue;
            if ((msg.msg_flags & MSG_TRUNC) != 0 ||
                namesHidraw(std::string_view(m_buffer.data(), static_cast<std::size_t>(n))))
                changed = true;
        }
    }

private:
    int m_fd;
    bool m_broken = false;
    // A uevent is at most a few kilobytes (the kernel's own buffer is 2 KiB
    // of fields plus the header).
    std::array<char, 8192> m_buffer{};
};

}  // namespace

std::unique_ptr<NodeWatch> makeUeventWatch() {
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return nullptr;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelEvents;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<UeventWatch>(fd);
}

}  // namespace device::hidraw
