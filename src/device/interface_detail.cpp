#include "device/interface_detail.h"

#include "device/hex_text.h"

#include <algorithm>

namespace device {

std::size_t detailStorageBytes(std::uint32_t required, std::size_t pathOffset, std::uint32_t maxBytes) {
    if (required <= pathOffset || required > maxBytes) return 0;
    // Whole 32-bit words keep the record aligned; two more than needed
    // guarantee zero bytes after the required size.
    constexpr std::size_t kWord = 4;
    return (std::size_t{required} / kWord + 2) * kWord;
}

std::string detailPath(std::span<const std::uint8_t> record, std::size_t pathOffset) {
    if (record.size() <= pathOffset) return {};
    const auto path = record.subspan(pathOffset);
    const auto end = std::find(path.begin(), path.end(), std::uint8_t{0});
    return std::string(path.begin(), end);
}

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// "KEY_" and four hex digits at the front of text; consumes them.
std::optional<std::uint16_t> field(std::string_view& text, std::string_view key) {
    if (text.size() < key.size() + 4) return std::nullopt;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (upper(text[i]) != key[i]) return std::nullopt;
    const auto value = parseHex(text.substr(key.size(), 4), 4, 0xFFFF);
    if (!value) return std::nullopt;
    text.remove_prefix(key.size() + 4);
    return static_cast<std::uint16_t>(*value);
}

}  // namespace

std::optional<HardwareIdentity> parseHardwareId(std::string_view id) {
    const auto vendor = field(id, "HID\\VID_");
    const auto product = vendor ? field(id, "&PID_") : std::nullopt;
    const auto revision = product ? field(id, "&REV_") : std::nullopt;
    if (!revision) return std::nullopt;
    return HardwareIdentity{*vendor, *product, *revision};
}

}  // namespace device
