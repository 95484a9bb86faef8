#include "protocol/identity.h"

#include "device/hex_text.h"

namespace protocol {

int versionMinor(std::uint16_t versionNumber) { return versionNumber & 0xFF; }

std::string versionText(std::uint16_t versionNumber) {
    // The number is unsigned: 0x8001 reads 128.1, never a negative major.
    const unsigned major = versionNumber >> 8;
    const unsigned minor = versionNumber & 0xFFu;
    std::string text(1, ' ');
    text += std::to_string(major);
    text += '.';
    text += device::hexNumber(minor, minor > 0xF ? 2 : 1);
    return text;
}

}  // namespace protocol
