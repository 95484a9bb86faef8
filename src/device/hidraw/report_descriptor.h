#pragma once

#include <cstdint>
#include <span>

namespace device::hidraw {

// What the program needs from a report descriptor: the longest report of
// each kind in bytes, each counting one byte for the report ID whether or
// not the device numbers its reports, as the capabilities record does.
// A kind the device has no report of gets 0.
struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;
    // The descriptor declares report IDs, so every report on the wire
    // starts with its ID byte.
    bool numbered = false;
    // False when parsing stopped early at a truncated or malformed item;
    // the lengths then cover the items before it.
    bool complete = true;
};

// Sums Report Size × Report Count of the Input, Output and Feature main
// items per kind and report ID. Any byte sequence is accepted: the walk
// never reads past the span, always advances, and every length saturates
// at 65535.
ReportLengths parseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace device::hidraw
