#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// The value of one hex digit of either case; nullopt for any other character.
std::optional<unsigned> hexDigitValue(char c);

// A run of 1 to maxDigits hex digits, with no prefix, whose value is at
// most max; nullopt for anything else. Leading zeros count as digits.
std::optional<std::uint32_t> parseHex(std::string_view digits, std::size_t maxDigits, std::uint32_t max);

// Hex pairs of either case, joined by separator when it is not '\0'
// ("00:01:8C"); nullopt for an empty text or any other form.
std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text, char separator);

// Upper-case hex pairs joined by separator when it is not '\0'.
std::string hexBytes(std::span<const std::uint8_t> bytes, char separator);

// The low `digits` hex digits of value, most significant first.
std::string hexNumber(std::uint32_t value, int digits, bool upperCase = true);

}  // namespace device
