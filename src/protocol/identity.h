#pragma once

#include <cstdint>
#include <string>

namespace protocol {

// The version label's text: one leading blank, the major part in decimal,
// a point and the minor part in upper-case hexadecimal without leading
// zeros (0x0112 reads " 1.12", 0x010A " 1.A").
std::string versionText(std::uint16_t versionNumber);
// The part of the version that gates configuration: a unit whose minor
// part is 0 cannot be configured.
int versionMinor(std::uint16_t versionNumber);

}  // namespace protocol
