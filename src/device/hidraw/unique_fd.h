#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <utility>

namespace device::hidraw {

// Owns one file descriptor and closes it exactly once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    // Whatever close reports, the descriptor is released on Linux; retrying
    // after EINTR could close a descriptor another open has just reused.
    ~UniqueFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            if (m_fd >= 0) ::close(m_fd);
            m_fd = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }

    // The major and minor number of the character device open here; both
    // nullopt for anything else, and sysfs is asked by the node's name.
    std::pair<std::optional<std::uint32_t>, std::optional<std::uint32_t>> charDevice() const {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISCHR(st.st_mode)) return {};
        return {::major(st.st_rdev), ::minor(st.st_rdev)};
    }

private:
    int m_fd = -1;
};

}  // namespace device::hidraw
