#include "fuzz/parser_checks.h"

#include "device/hid_string.h"
#include "device/utf16_text.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

namespace {

constexpr const char* kName = "utf-16 text";
constexpr std::uint8_t kUntouched = 0xA5;

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

std::string toUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHigh(text[i])) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void checkConversion(std::string_view text, const std::u16string& units) {
    require(units.size() <= text.size(), kName, "more code units than bytes");
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (isHigh(units[i])) {
            require(i + 1 < units.size() && isLow(units[i + 1]), kName, "a high surrogate without its pair");
            ++i;
        } else {
            require(!isLow(units[i]), kName, "a low surrogate without its pair");
        }
    }
    // Text that needed no replacement is exactly what it was: an ill-formed
    // sequence taken for a character would come back different.
    if (units.find(u'\uFFFD') == std::u16string::npos)
        require(toUtf8(units) == text, kName, "well-formed text did not convert both ways");
    // An ASCII byte always starts afresh, whatever came before it, so garbage
    // never shifts what follows.
    std::size_t splits = 0;
    for (std::size_t k = 1; k < text.size() && splits < 8; ++k) {
        if (static_cast<unsigned char>(text[k]) >= 0x80) continue;
        ++splits;
        require(device::utf8ToUtf16(text.substr(0, k)) + device::utf8ToUtf16(text.substr(k)) == units, kName,
                "an ASCII byte did not start afresh");
    }
}

// Buffers of every size up to one past what the text needs, odd ones too;
// for a long text an odd stride and the sizes around its end.
void checkWrite(const std::u16string& units) {
    const std::size_t most = units.size() * 2 + 3;
    const std::size_t stride = units.size() <= 32 ? 1 : 7;
    for (std::size_t size = 0; size <= most; size += size + 8 >= most ? 1 : stride) {
        std::vector<std::uint8_t> buffer(size, kUntouched);
        device::writeUtf16Le(units, buffer);
        const std::size_t room = size / 2;
        std::size_t written = 0;
        while (written < units.size() && written < room && buffer[2 * written] == (units[written] & 0xFF) &&
               buffer[2 * written + 1] == (units[written] >> 8))
            ++written;
        const std::size_t fit = std::min(units.size(), room);
        // A pair is dropped whole when only its first unit fits.
        require(written == fit || (written + 1 == fit && isHigh(units[written])), kName,
                "fewer whole units written than fit");
        std::size_t end = 2 * written;
        if (written < room) {
            require(buffer[end] == 0 && buffer[end + 1] == 0, kName, "no zero unit after a string with room left");
            end += 2;
        }
        for (std::size_t b = end; b < size; ++b)
            require(buffer[b] == kUntouched, kName, "a byte after the string and its terminator was written");
    }
}

// As a string is requested for display: into the first 100 bytes of a
// zeroed 201-byte buffer, then decoded by the identity-string rule.
void checkIdentity(const std::u16string& units) {
    std::array<std::uint8_t, device::kStringBufferBytes> buffer{};
    device::writeUtf16Le(units, std::span(buffer).first(device::kStringRequestBytes));
    for (std::size_t b = device::kStringRequestBytes; b < buffer.size(); ++b)
        require(buffer[b] == 0, kName, "a string request wrote past its length");
    const std::u16string shown = device::utf8ToUtf16(device::decodeHidString(buffer));
    require(shown.size() <= device::kStringRequestBytes / 2, kName, "an identity string longer than 50 characters");
    for (std::size_t i = 0; i < shown.size(); ++i)
        require(shown[i] != 0 && shown[i] == (units[i] & 0xFF), kName,
                "an identity character is not its code unit's low byte");
    const bool stoppedEarly = shown.size() < units.size() && shown.size() < device::kStringRequestBytes / 2;
    if (stoppedEarly)
        require((units[shown.size()] & 0xFF) == 0 || isHigh(units[shown.size()]), kName,
                "an identity string stopped before a unit with a nonzero low byte");
}

}  // namespace

void checkUtf16Text(Bytes input) {
    const std::string text(input.begin(), input.end());
    const std::u16string units = device::utf8ToUtf16(text);
    checkConversion(text, units);
    checkWrite(units);
    checkIdentity(units);
}

}  // namespace fuzz
