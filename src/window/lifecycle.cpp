#include "window/frm_main.h"

namespace window {

namespace {
// Poll periods: a unit answering is polled every half second; after a loss
// or a switch the poll runs faster until the unit answers again.
constexpr int kIntervalAnswering = 500;
constexpr int kIntervalAfterLoss = 250;
}  // namespace

void frmMain::Form_Load() {
    RefreshComplete = false;
    SettingsLoaded = false;
    FactoryCalibration = 1.0;
    // The window is up before any device work starts.
    if (onShow) onShow();
    Scan_USB_devices();
    m_connection.DeviceDetected = FindTheHid();
    RefreshDeviceState();
    Timer.setEnabled(true);
}

void frmMain::Form_Unload(bool& /*cancel*/) {
    Timer.setEnabled(false);
    SettingsLoaded = false;
    if (m_connection.DeviceDetected) m_connection.closeConnection();
}

void frmMain::Scan_USB_devices() {
    SettingsLoaded = false;
    // The list is about to change under the controls: until a refresh they
    // show no connected unit, and SerNo_Click stays inert.
    RefreshComplete = false;
    SerNo.clear();
    SerNo.setEnabled(false);
    int lastItemIndex = -1;
    // Each selection raises SerNo_Click, which is inert: RefreshComplete
    // was cleared above.
    m_connection.walkUnits([this, &lastItemIndex](const std::string& serial) {
        ++lastItemIndex;
        SerNo.addItem(serial, lastItemIndex);
        SerNo.setListIndex(lastItemIndex);
    });
    if (lastItemIndex > 0) SerNo.setEnabled(true);
}

bool frmMain::FindTheHid() { return m_connection.FindTheHid(SerNo.text()); }

void frmMain::SerNo_Click() {
    // Inert while a scan fills the list and once the window is closed; at
    // any other time a pick switches units, even when the unit shown could
    // not be read, so such a unit cannot hold the window while the list
    // names another one.
    if (!RefreshComplete || !Timer.enabled()) return;
    // No poll may run while the connection changes hands.
    Timer.setEnabled(false);
    if (m_connection.DeviceDetected) {
        m_connection.closeConnection();
        Timer.setInterval(kIntervalAfterLoss);
    }
    RefreshComplete = false;
    m_connection.DeviceDetected = FindTheHid();
    RefreshDeviceState();
    Timer.setEnabled(true);
}

void frmMain::Timer_Timer() { PollDevicePresence(); }

void frmMain::PollDevicePresence() {
    if (m_connection.DeviceDetected) {
        // A unit always has an input report waiting; a read that does not
        // complete at once means it has gone.
        if (m_connection.readInputReport()) {
            Timer.setInterval(kIntervalAnswering);
            return;
        }
        m_connection.closeConnection();
        Timer.setInterval(kIntervalAfterLoss);
    }
    RefreshComplete = false;
    Scan_USB_devices();
    // The scan has just walked every interface; when it listed no unit, a
    // second walk for the selected serial cannot find one either. Skipping
    // it halves the cost of every tick while nothing is attached.
    m_connection.DeviceDetected = SerNo.itemCount() > 0 && FindTheHid();
    RefreshDeviceState();
}

}  // namespace window
