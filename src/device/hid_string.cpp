#include "device/hid_string.h"

namespace device {

std::string decodeHidString(std::span<const std::uint8_t> buffer) {
    std::string text;
    for (std::size_t pos = 0; pos < buffer.size() && buffer[pos] != 0; pos += 2) {
        const std::uint8_t c = buffer[pos];
        if (c < 0x80) {
            text.push_back(static_cast<char>(c));
        } else {
            text.push_back(static_cast<char>(0xC0 | (c >> 6)));
            text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return text;
}

}  // namespace device
