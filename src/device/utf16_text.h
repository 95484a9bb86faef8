#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace device {

// UTF-8 as the kernel exposes a USB string to UTF-16. Each ill-formed
// sequence (stray continuation byte, overlong form, surrogate, value past
// U+10FFFF, sequence cut short) becomes one U+FFFD per maximal invalid
// part, so a device's garbage never stops or shifts the rest of the text.
std::u16string utf8ToUtf16(std::string_view text);

// Writes the code units little-endian into buffer, as many whole units as
// fit without splitting a surrogate pair, then a zero unit when a whole
// unit of room is left. Bytes after that are not touched.
void writeUtf16Le(std::u16string_view text, std::span<std::uint8_t> buffer);

// UTF-16 to UTF-8, as a command line hands a word over; a lone surrogate
// becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace device
