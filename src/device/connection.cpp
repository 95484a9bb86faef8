#include "device/connection.h"

#include "device/hid_string.h"
#include "device/product_ids.h"

#include <algorithm>
#include <array>

namespace device {

Connection::Connection(HidPlatform& platform) : m_platform(platform), m_pollBuffer(kPollBufferBytes, 0) {}

Connection::~Connection() {
    // The end of the window's life is the end of the process: whatever is
    // still open is released here, the read event included.
    if (DeviceHandle != kNoHandle || ReadHandle != kNoHandle) closeConnection();
    m_platform.closeEvent(ReadEvent);
}

bool Connection::walk(const std::function<bool(const std::string& serial)>& keep) {
    EndOfInterfaces = false;
    HandleSecurity = SecurityAttributes{sizeof(SecurityAttributes), true};
    bool kept = false;
    const InterfaceList list = m_platform.getClassDevs();
    // The serial buffer is zero-filled before every request, not once per
    // walk: a device that answers without a terminator must not pick up the
    // tail of the previous candidate's serial.
    std::array<std::uint8_t, kStringBufferBytes> serialBuffer{};
    for (std::uint32_t index = 0; !EndOfInterfaces && !kept; ++index) {
        if (!m_platform.interfacePath(list, index, DevicePath)) {
            EndOfInterfaces = true;
            break;
        }
        DeviceHandle = m_platform.open(DevicePath, OpenMode::Synchronous, HandleSecurity);
        LastResult = DeviceHandle != kNoHandle;
        Attributes.Size = sizeof(HidAttributes);
        const bool attributesRead = m_platform.getAttributes(DeviceHandle, Attributes);
        LastResult = attributesRead;
        if (attributesRead && Attributes.VendorID == DeviceVendorId && Attributes.ProductID == DeviceProductId) {
            serialBuffer.fill(0);
            LastResult = m_platform.getSerialNumberString(DeviceHandle, serialBuffer, kStringRequestBytes);
            if (LastResult != 0) kept = keep(decodeHidString(serialBuffer));
        }
        if (!kept && DeviceHandle != kNoHandle) {
            LastResult = m_platform.close(DeviceHandle);
            DeviceHandle = kNoHandle;
        }
    }
    m_platform.destroyList(list);
    return kept;
}

bool Connection::FindTheHid(std::string_view selectedSerial) {
    DeviceDetected = false;
    DeviceDetected = walk([selectedSerial](const std::string& serial) { return serial == selectedSerial; });
    if (!DeviceDetected) return false;
    ReadDeviceCapabilities();
    ReadHandle = m_platform.open(DevicePath, OpenMode::Overlapped, HandleSecurity);
    LastResult = ReadHandle != kNoHandle;
    // Half a connection is none: without ReadHandle neither the identity
    // strings nor the presence poll can reach the unit, and both handles
    // are open exactly while a unit counts as connected. The unit is
    // released and the poll tries again on its next tick.
    if (ReadHandle == kNoHandle) {
        closeConnection();
        return false;
    }
    PrepareReadEvent();
    return true;
}

void Connection::walkUnits(const std::function<void(const std::string& serial)>& onUnit) {
    walk([&onUnit](const std::string& serial) {
        onUnit(serial);
        return false;
    });
}

void Connection::ReadDeviceCapabilities() {
    HidCaps caps;
    const bool ok = m_platform.getCaps(DeviceHandle, caps);
    LastResult = ok;
    // A unit whose capabilities cannot be read gets no report lengths at
    // all rather than those of a unit connected earlier: its feature
    // transfers are then refused and its first poll treats it as gone.
    Caps = ok ? caps : HidCaps{};
    const std::size_t needed = std::max<std::size_t>(kPollBufferBytes, Caps.InputReportByteLength);
    if (m_pollBuffer.size() < needed) m_pollBuffer.resize(needed, 0);
}

void Connection::PrepareReadEvent() {
    if (ReadEvent == kNoEvent) ReadEvent = m_platform.createEvent(HandleSecurity, true, true);
    ReadOverlapped = Overlapped{0, 0, ReadEvent};
}

void Connection::closeConnection() {
    DeviceDetected = false;
    LastResult = m_platform.close(DeviceHandle);
    DeviceHandle = kNoHandle;
    LastResult = m_platform.close(ReadHandle);
    ReadHandle = kNoHandle;
}

bool Connection::readInputReport() {
    m_pollBuffer[0] = 0;
    const bool ok = m_platform.readInputReport(ReadHandle, m_pollBuffer, Caps.InputReportByteLength, ReadOverlapped);
    LastResult = ok;
    return ok;
}

}  // namespace device
