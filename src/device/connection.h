#pragma once

#include "device/hid_platform.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// The program's hold on one unit: the two handles opened from one device
// path, the read event and record, the unit's attributes and report lengths.
// Handles are opened only by FindTheHid and released only by closeConnection.
class Connection {
public:
    // The poll reads at least this many bytes' worth of buffer; a unit whose
    // input report is longer gets a buffer of its own length.
    static constexpr std::size_t kPollBufferBytes = 65;

    explicit Connection(HidPlatform& platform);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    HidPlatform& platform() { return m_platform; }

    // Connects the first present unit whose serial string equals
    // selectedSerial exactly; true when both handles are open on it.
    bool FindTheHid(std::string_view selectedSerial);
    // Walks every present interface without connecting; calls onUnit with
    // the serial of each unit whose serial could be read, in enumeration
    // order. Every handle it opens is closed again.
    void walkUnits(const std::function<void(const std::string& serial)>& onUnit);
    // Fills Caps from the unit open on DeviceHandle.
    void ReadDeviceCapabilities();
    // Creates ReadEvent on first use and points ReadOverlapped at it.
    void PrepareReadEvent();
    // Releases both handles, DeviceHandle first, and clears DeviceDetected.
    void closeConnection();
    // One input-report read on ReadHandle that never waits; true when a
    // report was there at once.
    bool readInputReport();

    Handle DeviceHandle = kNoHandle;
    Handle ReadHandle = kNoHandle;
    EventHandle ReadEvent = kNoEvent;
    Overlapped ReadOverlapped;
    SecurityAttributes HandleSecurity;
    HidAttributes Attributes;
    HidCaps Caps;
    std::string DevicePath;
    bool DeviceDetected = false;
    bool EndOfInterfaces = false;
    std::int32_t LastResult = 0;

private:
    // The interface walk; keep decides, for each unit whose serial was read,
    // whether its handle stays open, which ends the walk.
    bool walk(const std::function<bool(const std::string& serial)>& keep);

    HidPlatform& m_platform;
    std::vector<std::uint8_t> m_pollBuffer;
};

}  // namespace device
