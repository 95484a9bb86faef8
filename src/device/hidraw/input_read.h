#pragma once

#include <cstdint>
#include <span>

namespace device::hidraw {

// One input report from a hidraw descriptor if one is waiting now; never
// waits. The caller always gets the report ID byte first: for a device
// that numbers its reports the kernel delivers it, for one that does not a
// 0 is put in front of the data. False when nothing is waiting, when the
// device is gone (hang-up or error, even with reports still queued) or
// when the read fails. Nothing is written past the buffer.
bool readReportNow(int fd, std::span<std::uint8_t> buffer, bool numbered);

}  // namespace device::hidraw
