#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace device {

// The interface detail record of the device-setup services is a fixed part
// followed by the device path. Its size comes from a first query whose
// answer is not checked by anything but us, and its path is supposed to end
// in a zero byte. These two rules keep both untrusted: they hold no
// operating-system type so that every build can test them.

// Bytes to reserve for a record the size query called `required` bytes
// long, or 0 when that size cannot be a record with a path (no byte past
// the fixed part of pathOffset bytes, or more than maxBytes). The room
// reserved is a few bytes more than required and arrives zeroed, so a path
// written without its terminator still ends inside the buffer.
std::size_t detailStorageBytes(std::uint32_t required, std::size_t pathOffset, std::uint32_t maxBytes);

// The path in a filled record of which `record` is the first `required`
// bytes: from pathOffset up to the first zero byte, or to the record's end
// when the system wrote none. Empty when the record ends before its path.
std::string detailPath(std::span<const std::uint8_t> record, std::size_t pathOffset);

// A HID collection's identity as its first hardware ID spells it,
// HID\VID_xxxx&PID_xxxx&REV_xxxx followed by anything; letters in any case.
// nullopt unless all three fields are four hexadecimal digits.
struct HardwareIdentity {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t revision = 0;
};
std::optional<HardwareIdentity> parseHardwareId(std::string_view id);

}  // namespace device
