#include "device/hex_text.h"

namespace device {

std::optional<unsigned> hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

std::optional<std::uint32_t> parseHex(std::string_view digits, std::size_t maxDigits, std::uint32_t max) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const auto d = hexDigitValue(c);
        if (!d) return std::nullopt;
        value = (value << 4) | *d;
        // Checked at every digit, so no count of leading digits can overflow.
        if (value > max) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text, char separator) {
    if (text.empty()) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    while (true) {
        if (text.size() < 2) return std::nullopt;
        const auto hi = hexDigitValue(text[0]);
        const auto lo = hexDigitValue(text[1]);
        if (!hi || !lo) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*hi * 16 + *lo));
        text.remove_prefix(2);
        if (text.empty()) return bytes;
        if (separator != '\0') {
            // A separator must be followed by another pair.
            if (text[0] != separator || text.size() == 1) return std::nullopt;
            text.remove_prefix(1);
        }
    }
}

std::string hexBytes(std::span<const std::uint8_t> bytes, char separator) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i && separator != '\0') out.push_back(separator);
        out += hexNumber(bytes[i], 2);
    }
    return out;
}

std::string hexNumber(std::uint32_t value, int digits, bool upperCase) {
    const char* kDigits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out(static_cast<std::size_t>(digits > 0 ? digits : 0), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return out;
}

}  // namespace device
