#include "fuzz/parser_checks.h"

#include "device/hex_text.h"
#include "device/hidraw/sysfs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

namespace {

namespace fs = std::filesystem;
using device::hexDigitValue;
using device::hidraw::NodeDirs;
using device::hidraw::Sysfs;

constexpr const char* kName = "sysfs";
constexpr std::size_t kMaxEntries = 32;
constexpr std::size_t kMaxLongFile = 9000;
constexpr std::size_t kPage = 4096;
// The contents of a file beside the tree; nothing read from the tree may
// hold them, so the tree's own files never may either.
constexpr std::string_view kOutsideMarker = "outside-the-tree-5c1e";

// One line of input is one entry of the tree, its path relative to the
// tree's root (which holds sys/, dev/ and outside/):
//   f PATH TEXT    a file; TEXT takes \n, \0, \\ and \xHH escapes
//   L PATH COUNT   a file of COUNT digits and a newline
//   d PATH         a directory
//   p PATH         a named pipe
//   l PATH TARGET  a symbolic link to TARGET, taken as it is
// Lines that say anything else are skipped.
struct Entry {
    char kind = 0;
    std::string path;
    std::string text;
};

std::string unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.push_back(s[i]);
            continue;
        }
        const char e = s[++i];
        if (e == 'n') out.push_back('\n');
        else if (e == '0') out.push_back('\0');
        else if (e == 'x' && i + 2 < s.size() && hexDigitValue(s[i + 1]) && hexDigitValue(s[i + 2])) {
            out.push_back(static_cast<char>(*hexDigitValue(s[i + 1]) * 16 + *hexDigitValue(s[i + 2])));
            i += 2;
        } else out.push_back(e);
    }
    return out;
}

std::vector<Entry> readEntries(std::string_view input) {
    std::vector<Entry> entries;
    while (!input.empty() && entries.size() < kMaxEntries) {
        const std::size_t end = input.find('\n');
        std::string_view line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
        if (line.size() < 3 || line[1] != ' ') continue;
        Entry e;
        e.kind = line[0];
        line.remove_prefix(2);
        const std::size_t space = line.find(' ');
        e.path = std::string(line.substr(0, space));
        if (space != std::string_view::npos) e.text = std::string(line.substr(space + 1));
        entries.push_back(std::move(e));
    }
    return entries;
}

// A path the tree may write at: plain names only, so a write stays inside.
bool plainPath(const std::string& path) {
    if (path.empty() || path.size() > 512 || path.find('\0') != std::string::npos) return false;
    for (const fs::path& part : fs::path(path)) {
        if (part.empty() || part == "." || part == ".." || part == "/") return false;
    }
    return path.front() != '/';
}

// Makes the parent directories of root/path, none of them through a link:
// links exist by now, and one could lead anywhere.
bool makeParents(const fs::path& root, const std::string& path) {
    fs::path at = root;
    const fs::path rel(path);
    std::error_code ec;
    for (auto it = rel.begin(); it != rel.end() && std::next(it) != rel.end(); ++it) {
        at /= *it;
        const fs::file_status st = fs::symlink_status(at, ec);
        if (st.type() == fs::file_type::not_found) {
            if (!fs::create_directory(at, ec)) return false;
        } else if (st.type() != fs::file_type::directory) {
            return false;
        }
    }
    return true;
}

class Tree {
public:
    Tree() {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string templ = std::string(base) + "/vandrel-sysfs-fuzz-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) broken(kName, "cannot make the tree's folder");
        m_root = fs::canonical(templ);
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    const fs::path& root() const { return m_root; }

    // The files written, by path relative to the root, with their contents.
    const std::map<std::string, std::string>& files() const { return m_files; }

    void build(const std::vector<Entry>& entries) {
        // Everything the last input made goes, at the root's own level too,
        // so no input sees another's leftovers.
        std::error_code ec;
        std::vector<fs::path> old;
        for (const fs::directory_entry& e : fs::directory_iterator(m_root, ec)) old.push_back(e.path());
        for (const fs::path& p : old) fs::remove_all(p, ec);
        m_files.clear();
        fs::create_directories(m_root / "sys", ec);
        fs::create_directories(m_root / "dev", ec);
        fs::create_directories(m_root / "outside", ec);
        // Files, folders and pipes first, links last: no entry is ever made
        // through a link.
        for (const Entry& e : entries) {
            if (e.kind == 'l' || !plainPath(e.path) || !makeParents(m_root, e.path)) continue;
            const fs::path at = m_root / e.path;
            if (e.kind == 'd') {
                fs::create_directory(at, ec);
            } else if (e.kind == 'p') {
                ::mkfifo(at.c_str(), 0600);
            } else if (e.kind == 'f' || e.kind == 'L') {
                std::string text = e.kind == 'f' ? unescape(e.text) : longText(e.text);
                if (text.find(kOutsideMarker) != std::string::npos) continue;
                if (fs::exists(fs::symlink_status(at, ec))) continue;
                std::ofstream out(at, std::ios::binary);
                out.write(text.data(), static_cast<std::streamsize>(text.size()));
                if (out) m_files[fs::path(e.path).lexically_normal().string()] = std::move(text);
            }
        }
        for (const Entry& e : entries) {
            if (e.kind != 'l' || !plainPath(e.path) || e.text.find('\0') != std::string::npos) continue;
            if (!makeParents(m_root, e.path)) continue;
            fs::create_symlink(e.text, m_root / e.path, ec);
        }
        // Whatever the entries put there gives way: a pipe would block the write.
        const fs::path secret = m_root / "outside" / "secret";
        fs::remove_all(secret, ec);
        std::ofstream(secret) << kOutsideMarker << '\n';
    }

private:
    static std::string longText(const std::string& count) {
        std::size_t n = 0;
        for (char c : count) {
            if (c < '0' || c > '9') break;
            n = std::min(kMaxLongFile, n * 10 + static_cast<std::size_t>(c - '0'));
        }
        std::string text(n, '7');
        text.push_back('\n');
        return text;
    }

    fs::path m_root;
    std::map<std::string, std::string> m_files;
};

bool inside(const fs::path& root, const fs::path& path) {
    const auto [rootEnd, pathPos] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    (void)pathPos;
    return rootEnd == root.end();
}

// An attribute is what the file holds less one trailing newline, from a
// regular file of at most a page inside the tree, or nothing at all.
void checkAttributes(const Tree& tree, const fs::path& dir) {
    std::error_code ec;
    const std::string rel = fs::relative(dir, tree.root(), ec).string();
    for (const char* name : {"uevent", "serial", "manufacturer", "product", "bcdDevice", "idVendor"}) {
        const auto value = Sysfs::attribute(dir, name);
        const auto written = tree.files().find(rel + "/" + name);
        if (!value) {
            require(written == tree.files().end() || written->second.size() > kPage, kName,
                    "an attribute that is there was not read");
            continue;
        }
        require(value->find(kOutsideMarker) == std::string::npos, kName, "an attribute was read from outside the tree");
        require(written != tree.files().end(), kName, "an attribute was read from something the tree did not write");
        std::string expected = written->second;
        if (!expected.empty() && expected.back() == '\n') expected.pop_back();
        require(*value == expected && written->second.size() <= kPage, kName,
                "an attribute is not its file's whole contents");
    }
}

void checkDirs(const Tree& tree, const fs::path& sysRoot, const Sysfs& sysfs, const NodeDirs& dirs) {
    std::error_code ec;
    require(inside(sysRoot, dirs.hidDevice) && fs::is_directory(dirs.hidDevice, ec) &&
                fs::canonical(dirs.hidDevice, ec) == dirs.hidDevice,
            kName, "a HID device directory outside the tree or not canonical");
    checkAttributes(tree, dirs.hidDevice);
    (void)sysfs.hidId(dirs.hidDevice);
    if (dirs.usbDevice.empty()) return;
    require(
        inside(sysRoot, dirs.usbDevice) && dirs.usbDevice != dirs.hidDevice && inside(dirs.usbDevice, dirs.hidDevice),
        kName, "a USB device directory that is not above its HID device in the tree");
    checkAttributes(tree, dirs.usbDevice);
}

}  // namespace

void checkSysfs(Bytes input) {
    static Tree tree;
    tree.build(readEntries(std::string_view(reinterpret_cast<const char*>(input.data()), input.size())));
    const fs::path sysRoot = tree.root() / "sys";
    const fs::path devRoot = tree.root() / "dev";
    const Sysfs sysfs(sysRoot, devRoot);

    // Every listed node by its name, a node the list may lack, and the two
    // device numbers the tree may know whatever the node is called.
    std::vector<std::string> names = {"/dev/hidraw0"};
    if (const auto nodes = sysfs.hidrawNodes()) {
        std::optional<std::uint32_t> last;
        for (const std::string& node : *nodes) {
            const fs::path p(node);
            const auto number = device::hidraw::hidrawNumber(p.filename().string());
            require(p.parent_path() == devRoot && number, kName, "a listed node is not a hidraw node under /dev");
            require(!last || *number > *last, kName, "nodes not in strictly rising interface order");
            last = number;
            if (names.size() < 4) names.push_back(node);
        }
    }
    std::vector<NodeDirs> found;
    for (const std::string& node : names)
        if (auto dirs = sysfs.nodeDirs(node, std::nullopt, std::nullopt)) found.push_back(std::move(*dirs));
    for (std::uint32_t minor : {0u, 1u})
        if (auto dirs = sysfs.nodeDirs("/dev/any", 240, minor)) found.push_back(std::move(*dirs));
    std::vector<fs::path> checked;
    for (const NodeDirs& dirs : found) {
        if (std::find(checked.begin(), checked.end(), dirs.hidDevice) != checked.end()) continue;
        checked.push_back(dirs.hidDevice);
        checkDirs(tree, sysRoot, sysfs, dirs);
    }
}

}  // namespace fuzz
