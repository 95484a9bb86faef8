#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace device {

// Identity strings are requested into a 201-byte zero-filled buffer with a
// request length of 100 bytes, so byte 100 and everything after it stays
// zero and a decoded string has at most 50 characters.
inline constexpr std::size_t kStringBufferBytes = 201;
inline constexpr std::uint32_t kStringRequestBytes = 100;

// The one rule by which a HID string becomes text: the low byte of each
// UTF-16LE code unit, up to the first code unit whose low byte is zero.
// Each byte is the character with that code (0x80–0xFF are U+0080–U+00FF);
// the result is UTF-8.
std::string decodeHidString(std::span<const std::uint8_t> buffer);

}  // namespace device
