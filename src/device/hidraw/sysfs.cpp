#include "device/hidraw/sysfs.h"

#include <algorithm>
#include <array>
#include <fstream>
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

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

unsigned hexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
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

std::optional<std::uint16_t> parseHex16(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (!isHexDigit(c)) return std::nullopt;
        value = (value << 4) | hexValue(c);
        // Leading zeros are fine; any significant digit past 16 bits is not.
        if (value > 0xFFFF) return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
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
        const fs::path byNumber =
            m_sysRoot / "dev" / "char" / (std::to_string(*major) + ":" + std::to_string(*minor));
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
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        constexpr std::string_view kKey = "HID_ID=";
        if (!line.starts_with(kKey)) continue;
        line.remove_prefix(kKey.size());
        // BBBB:VVVVVVVV:PPPPPPPP, bus, vendor and product in hexadecimal.
        std::array<std::string_view, 3> fields;
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const std::size_t colon = line.find(':');
            if ((f + 1 < fields.size()) == (colon == std::string_view::npos)) return std::nullopt;
            fields[f] = line.substr(0, colon);
            line = colon == std::string_view::npos ? std::string_view{} : line.substr(colon + 1);
        }
        const auto bus = parseHex16(fields[0], 8);
        const auto vendor = parseHex16(fields[1], 8);
        const auto product = parseHex16(fields[2], 8);
        if (!bus || !vendor || !product) return std::nullopt;
        return HidId{*bus, *vendor, *product};
    }
    return std::nullopt;
}

std::optional<std::string> Sysfs::attribute(const fs::path& dir, std::string_view name) {
    const fs::path path = dir / name;
    std::error_code ec;
    // Only a regular file is read, and never through a link: the kernel's
    // attributes are plain files, while a link in a fake or damaged tree
    // could lead out of it, or to a pipe or a device that would block or
    // read without end.
    if (!fs::is_regular_file(fs::symlink_status(path, ec))) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // One byte more than an attribute can hold tells a file that is not
    // one from a full page; its first page would be a value cut short.
    std::string text(kMaxAttributeBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxAttributeBytes) return std::nullopt;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace device::hidraw
