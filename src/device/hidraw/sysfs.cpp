#include "device/hidraw/sysfs.h"

#include "device/hex_text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace device::hidraw {

namespace fs = std::filesystem;

namespace {

// Sysfs attributes are at most one page; anything longer is not read.
constexpr std::size_t kMaxAttributeBytes = 4096;
// A USB device sits a few levels above its HID device (interface, then
// device); the walk gives up long before any real tree's depth.
constexpr int kMaxWalkUp = 32;

// The target of a link, or nullopt; a target as long as the buffer may
// have been cut short and is refused.
std::optional<std::string_view> readLink(int dirFd, const char* name, std::array<char, 4096>& buffer) {
    const ssize_t n = ::readlinkat(dirFd, name, buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return std::nullopt;
    return std::string_view(buffer.data(), static_cast<std::size_t>(n));
}

// Bus, vendor and product: three hexadecimal fields of at most 8 digits,
// joined by two colons, each of which fits 16 bits.
std::optional<HidId> parseIdFields(std::string_view text) {
    std::array<std::uint16_t, 3> values{};
    for (std::size_t f = 0; f < values.size(); ++f) {
        const std::size_t colon = text.find(':');
        if ((f + 1 < values.size()) == (colon == std::string_view::npos)) return std::nullopt;
        const auto value = parseHex(text.substr(0, colon), 8, 0xFFFF);
        if (!value) return std::nullopt;
        values[f] = static_cast<std::uint16_t>(*value);
        text = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    }
    return HidId{values[0], values[1], values[2]};
}

}  // namespace

std::optional<std::uint32_t> hidrawNumber(std::string_view name) {
    constexpr std::string_view kPrefix = "hidraw";
    if (!name.starts_with(kPrefix)) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    // Nine digits always fit 32 bits; the kernel numbers far fewer nodes.
    // It writes no leading zero, so hidraw01 is not hidraw1's other name:
    // each interface number has one name.
    if (name.empty() || name.size() > 9 || (name.size() > 1 && name[0] == '0')) return std::nullopt;
    std::uint32_t n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return n;
}

std::optional<std::string_view> hidDeviceOfLink(std::string_view target, std::string_view name) {
    constexpr std::string_view kPrefix = "../../devices/";
    constexpr std::string_view kClass = "/hidraw/";
    if (!target.starts_with(kPrefix)) return std::nullopt;
    target.remove_prefix(6);  // keeps "devices/"
    if (!target.ends_with(name)) return std::nullopt;
    target.remove_suffix(name.size());
    if (!target.ends_with(kClass)) return std::nullopt;
    target.remove_suffix(kClass.size());
    for (std::string_view rest = target; !rest.empty();) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string_view::npos)
            return std::nullopt;
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    }
    if (target == "devices") return std::nullopt;
    return target;
}

std::optional<HidId> parseHidDeviceName(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    // BBBB:VVVV:PPPP, then the kernel's counter of HID devices.
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos || !parseHex(name.substr(dot + 1), 8, 0xFFFFFFFF)) return std::nullopt;
    return parseIdFields(name.substr(0, dot));
}

Sysfs::Sysfs(fs::path sysRoot, fs::path devRoot) : m_sysRoot(std::move(sysRoot)), m_devRoot(std::move(devRoot)) {}

std::optional<std::vector<std::string>> Sysfs::hidrawNodes() const {
    std::error_code ec;
    fs::directory_iterator it(m_sysRoot / "class" / "hidraw", ec);
    // Without the hidraw class directory (no HID device was ever bound, or
    // the module is not loaded) there is simply nothing present.
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
        return std::vector<std::string>{};
    if (ec) return std::nullopt;

    std::vector<std::pair<std::uint32_t, std::string>> found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return std::nullopt;
        std::string name = it->path().filename().string();
        if (const auto number = hidrawNumber(name)) found.emplace_back(*number, std::move(name));
    }
    if (ec) return std::nullopt;
    // Directory order is whatever the file system gives; numeric order is
    // stable from one scan to the next (hidraw10 after hidraw9).
    std::sort(found.begin(), found.end());
    std::vector<std::string> nodes;
    nodes.reserve(found.size());
    for (const auto& [number, name] : found) nodes.push_back((m_devRoot / name).string());
    return nodes;
}

bool Sysfs::listNodes(
    const std::function<void(std::uint32_t number, std::string_view name, std::string_view hidDevice)>& found) const {
    const std::string classDir = (m_sysRoot / "class" / "hidraw").string();
    DIR* dir = ::opendir(classDir.c_str());
    if (!dir) return errno == ENOENT || errno == ENOTDIR;
    std::array<char, 4096> target{};
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const auto number = hidrawNumber(entry->d_name);
        if (!number) continue;
        // An entry whose link does not lead to a HID device is not an
        // interface of this machine's kernel; it is left out, as the
        // attributes of one would fail.
        const auto link = readLink(::dirfd(dir), entry->d_name, target);
        const auto hidDevice = link ? hidDeviceOfLink(*link, entry->d_name) : std::nullopt;
        if (hidDevice) found(*number, entry->d_name, *hidDevice);
        errno = 0;
    }
    const bool failed = errno != 0;
    ::closedir(dir);
    return !failed;
}

std::optional<std::string> Sysfs::hidDeviceNow(std::string_view nodeName, std::optional<std::uint32_t> major,
                                               std::optional<std::uint32_t> minor) const {
    std::array<char, 4096> target{};
    if (major && minor) {
        const std::string byNumber =
            (m_sysRoot / "dev" / "char" / (std::to_string(*major) + ":" + std::to_string(*minor))).string();
        struct stat st {};
        // When the tree knows the number, it alone decides which device
        // was opened.
        if (::lstat(byNumber.c_str(), &st) == 0) {
            const auto link = readLink(AT_FDCWD, byNumber.c_str(), target);
            if (!link) return std::nullopt;
            const std::size_t slash = link->rfind('/');
            if (slash == std::string_view::npos) return std::nullopt;
            const auto hidDevice = hidDeviceOfLink(*link, link->substr(slash + 1));
            return hidDevice ? std::optional<std::string>(*hidDevice) : std::nullopt;
        }
    }
    if (!hidrawNumber(nodeName)) return std::nullopt;
    const std::string byName = (m_sysRoot / "class" / "hidraw" / std::string(nodeName)).string();
    const auto link = readLink(AT_FDCWD, byName.c_str(), target);
    const auto hidDevice = link ? hidDeviceOfLink(*link, nodeName) : std::nullopt;
    return hidDevice ? std::optional<std::string>(*hidDevice) : std::nullopt;
}

std::optional<fs::path> Sysfs::usbDeviceAbove(std::string_view hidDevice) const {
    // A USB HID device sits in its interface's directory, below the USB
    // device; the walk stops at devices/ and never leaves the tree.
    fs::path up = m_sysRoot / std::string(hidDevice);
    // hidDevice is devices/A/B/.../HID: the directories above HID, below
    // devices/, are one fewer than its slashes.
    const auto above = std::count(hidDevice.begin(), hidDevice.end(), '/') - 1;
    for (std::ptrdiff_t level = 0; level < above && level < kMaxWalkUp; ++level) {
        up = up.parent_path();
        struct stat st {};
        if (::lstat((up / "idVendor").c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::lstat((up / "bcdDevice").c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return up;
    }
    return std::nullopt;
}

std::optional<fs::path> Sysfs::insideRoot(const fs::path& path) const {
    std::error_code ec;
    const fs::path root = fs::canonical(m_sysRoot, ec);
    if (ec) return std::nullopt;
    fs::path resolved = fs::canonical(path, ec);
    if (ec) return std::nullopt;
    // Links are followed, but never to a place outside the tree: a fake or
    // damaged tree must not send the walk through the real file system.
    const auto [rootEnd, pathPos] = std::mismatch(root.begin(), root.end(), resolved.begin(), resolved.end());
    (void)pathPos;
    if (rootEnd != root.end()) return std::nullopt;
    return resolved;
}

std::optional<NodeDirs> Sysfs::dirsOfHidraw(const fs::path& hidrawDir) const {
    const auto dir = insideRoot(hidrawDir);
    // A hidraw class device lives at <HID device>/hidraw/hidrawN; anything
    // else (another character device's directory) is not an interface.
    if (!dir || !hidrawNumber(dir->filename().string()) || dir->parent_path().filename() != "hidraw")
        return std::nullopt;
    const auto hidDevice = insideRoot(*dir / "device");
    std::error_code ec;
    if (!hidDevice || !fs::is_directory(*hidDevice, ec)) return std::nullopt;

    NodeDirs dirs;
    dirs.hidDevice = *hidDevice;
    const auto id = hidId(*hidDevice);
    // Only a USB HID device has a USB device above it that describes it; a
    // Bluetooth device behind a USB adapter has the adapter above it.
    if (!id || id->bus != kBusUsb) return dirs;

    const fs::path root = fs::canonical(m_sysRoot, ec);
    // The walk stays below the root: a HID device that is the root itself
    // has nothing above it in the tree.
    if (ec || *hidDevice == root) return dirs;
    fs::path up = hidDevice->parent_path();
    for (int level = 0; level < kMaxWalkUp && up != root && up.has_relative_path(); ++level) {
        if (fs::is_regular_file(up / "idVendor", ec) && fs::is_regular_file(up / "bcdDevice", ec)) {
            dirs.usbDevice = up;
            break;
        }
        up = up.parent_path();
    }
    return dirs;
}

std::optional<NodeDirs> Sysfs::nodeDirs(std::string_view nodePath, std::optional<std::uint32_t> major,
                                        std::optional<std::uint32_t> minor) const {
    if (major && minor) {
        const fs::path byNumber = m_sysRoot / "dev" / "char" / (std::to_string(*major) + ":" + std::to_string(*minor));
        std::error_code ec;
        // When the tree knows the number, it alone decides: a node whose
        // name claims to be an interface but whose number is another
        // device's describes that other device, or nothing.
        if (fs::exists(fs::symlink_status(byNumber, ec))) return dirsOfHidraw(byNumber);
    }
    const std::string name = fs::path(nodePath).filename().string();
    if (!hidrawNumber(name)) return std::nullopt;
    return dirsOfHidraw(m_sysRoot / "class" / "hidraw" / name);
}

std::optional<HidId> Sysfs::hidId(const fs::path& hidDevice) const {
    const auto uevent = attribute(hidDevice, "uevent");
    if (!uevent) return std::nullopt;
    std::string_view rest = *uevent;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        constexpr std::string_view kKey = "HID_ID=";
        // BBBB:VVVVVVVV:PPPPPPPP; the first such line decides.
        if (line.starts_with(kKey)) return parseIdFields(line.substr(kKey.size()));
    }
    return std::nullopt;
}

std::optional<std::string> Sysfs::attribute(const fs::path& dir, std::string_view name) {
    const std::string path = (dir / name).string();
    // Only a regular file is read, and never through a link: the kernel's
    // attributes are plain files, while a link in a fake or damaged tree
    // could lead out of it, or to a pipe or a device that would block or
    // read without end. O_NONBLOCK keeps the open of a pipe from waiting
    // for a writer; fstat then refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<std::string> result;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // One byte more than an attribute can hold tells a file that is not
        // one from a full page; its first page would be a value cut short.
        std::array<char, kMaxAttributeBytes + 1> text;
        std::size_t size = 0;
        bool failed = false;
        while (size < text.size()) {
            const ssize_t n = ::read(fd, text.data() + size, text.size() - size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed = true;
            if (n <= 0) break;
            size += static_cast<std::size_t>(n);
        }
        if (!failed && size <= kMaxAttributeBytes) {
            if (size > 0 && text[size - 1] == '\n') --size;
            result.emplace(text.data(), size);
        }
    }
    ::close(fd);
    return result;
}

}  // namespace device::hidraw
