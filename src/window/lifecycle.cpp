#include "window/frm_main.h"

namespace window {

namespace {
// Poll periods: a unit answering is polled every half second; after a loss
// or a switch the poll runs faster until the unit answers again.
constexpr int kIntervalAnswering = 500;
constexpr int kIntervalAfterLoss = 250;
}  // namespace

frmMain::frmMain(device::HidPlatform& platform)
    : m_connection(platform), m_controls{&Frame1, &Label5, &lblProduct, &Label4, &lblManuf, &Label2,   &lblVersion,
                                         &Label3, &SerNo,  &Frame3,     &Enc1,   &Label6,   &Cal,      &Label1,
                                         &Enc2,   &Label8, &Enc3,       &Label7, &Summary,  &Command1, &Timer} {
    for (Control* c : m_controls) c->setContainer(findControl(c->row().container));

    SerNo.onClick = [this] { SerNo_Click(); };
    Enc1.onClick = [this] { Enc1_Click(); };
    Enc2.onClick = [this] { Enc2_Click(); };
    Enc3.onClick = [this] { Enc3_Click(); };
    Cal.onClick = [this] { Cal_Click(); };
    Command1.onClick = [this] { Command1_Click(); };
    Timer.onTimer = [this] { Timer_Timer(); };
}

Control* frmMain::findControl(std::string_view name) const {
    for (Control* c : m_controls)
        if (c->name() == name) return c;
    return nullptr;
}

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
