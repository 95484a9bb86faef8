#include "device/hidraw/input_read.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace device::hidraw {

bool readReportNow(int fd, std::span<std::uint8_t> buffer, bool numbered) {
    // An unnumbered report needs the ID byte and at least one data byte.
    if (buffer.empty() || (!numbered && buffer.size() < 2)) return false;

    pollfd waiting{fd, POLLIN, 0};
    int ready = 0;
    do ready = ::poll(&waiting, 1, 0);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    // An unplugged device reports POLLHUP or POLLERR, possibly while reports
    // are still queued; it counts as gone all the same.
    if ((waiting.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 || (waiting.revents & POLLIN) == 0) return false;

    const std::span<std::uint8_t> target = numbered ? buffer : buffer.subspan(1);
    ssize_t count = 0;
    do count = ::read(fd, target.data(), target.size());
    while (count < 0 && errno == EINTR);
    if (count <= 0) return false;
    if (!numbered) buffer[0] = 0;
    return true;
}

}  // namespace device::hidraw
