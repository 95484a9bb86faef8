#include "fuzz/parser_checks.h"

#include "device/hid_string.h"
#include "device/interface_detail.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <string>
#include <vector>

namespace fuzz {

namespace {

constexpr const char* kName = "win32 records";

// Where the path starts in the detail record (after its 32-bit size field,
// in a 64-bit and a 32-bit build alike), and the backend's largest accepted
// record.
constexpr std::size_t kPathOffset = 4;
constexpr std::uint32_t kMaxDetailBytes = 64 * 1024;

std::uint32_t readU32(Bytes& input) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4 && !input.empty(); ++i) {
        v |= std::uint32_t{input[0]} << (8 * i);
        input = input.subspan(1);
    }
    return v;
}

// The size query answers any number; the second query writes at most that
// many bytes, none of them promised to be a terminator.
void checkDetail(Bytes input) {
    // Small sizes most of the time, so the record and its path meet.
    std::uint32_t required = readU32(input);
    if ((required & 0x80000000u) == 0) required %= 512;
    const std::size_t offset = kPathOffset;
    const std::size_t storage = device::detailStorageBytes(required, offset, kMaxDetailBytes);
    if (required <= offset || required > kMaxDetailBytes) {
        require(storage == 0, kName, "a detail size that holds no path was accepted");
        return;
    }
    require(storage >= std::size_t{required} + 4 && storage % 4 == 0, kName,
            "too little room for a detail record and a terminator");
    std::vector<std::uint8_t> record(storage, 0);
    std::copy_n(input.begin(), std::min<std::size_t>(input.size(), required), record.begin());
    // Only the first `required` bytes are the record; the rest is the
    // margin, and the path must not run into it.
    const std::vector<std::uint8_t> filled(record.begin(), record.begin() + required);
    const std::string path = device::detailPath(filled, offset);
    require(path.size() <= required - offset, kName, "a detail path longer than its record");
    require(path.find('\0') == std::string::npos, kName, "a detail path holds a zero byte");
    const std::string written(filled.begin() + static_cast<std::ptrdiff_t>(offset),
                              filled.begin() + static_cast<std::ptrdiff_t>(offset + path.size()));
    require(path == written, kName, "a detail path is not the record's bytes");
    const bool ended = offset + path.size() < filled.size();
    require(!ended || filled[offset + path.size()] == 0, kName, "a detail path stopped before a zero byte");
}

// A hardware ID is whatever text the device-setup services hold: an
// identity is taken only from a well-formed front, and says what it read.
void checkHardwareId(Bytes input) {
    const std::string text(input.begin(), input.end());
    const auto identity = device::parseHardwareId(text);
    if (!identity) return;
    char expected[32];
    std::snprintf(expected, sizeof expected, "HID\\VID_%04X&PID_%04X&REV_%04X", identity->vendor, identity->product,
                  identity->revision);
    const std::string_view front = expected;
    require(text.size() >= front.size(), kName, "an identity from a hardware ID shorter than one");
    for (std::size_t i = 0; i < front.size() && i < text.size(); ++i)
        require(std::toupper(static_cast<unsigned char>(text[i])) == front[i], kName,
                "an identity that the hardware ID does not spell");
}

// A string request writes any bytes into the first 100 bytes of a zeroed
// 201-byte buffer, odd units and no terminator included.
void checkStrings(Bytes input) {
    std::array<std::uint8_t, device::kStringBufferBytes> buffer{};
    std::copy_n(input.begin(), std::min<std::size_t>(input.size(), device::kStringRequestBytes), buffer.begin());
    const std::string text = device::decodeHidString(buffer);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        require(c != 0, kName, "an identity string holds a zero byte");
        if (c >= 0x80) {
            // Each byte of the buffer is one character, U+0080 to U+00FF
            // taking two bytes.
            require((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                        (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80,
                    kName, "an identity string is not well-formed UTF-8");
            ++i;
        }
        ++characters;
    }
    require(characters <= device::kStringRequestBytes / 2, kName, "an identity string longer than 50 characters");
}

}  // namespace

void checkWin32Records(Bytes input) {
    if (input.empty()) return;
    const bool strings = input[0] & 1;
    input = input.subspan(1);
    if (strings) checkStrings(input);
    else {
        checkDetail(input);
        checkHardwareId(input);
    }
}

}  // namespace fuzz
