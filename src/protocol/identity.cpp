#include "protocol/identity.h"

#include <cstdio>

namespace protocol {

int versionMinor(std::uint16_t versionNumber) { return versionNumber & 0xFF; }

std::string versionText(std::uint16_t versionNumber) {
    // The number is unsigned: 0x8001 reads 128.1, never a negative major.
    const unsigned major = versionNumber >> 8;
    const unsigned minor = versionNumber & 0xFFu;
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, " %u.%X", major, minor);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

}  // namespace protocol
