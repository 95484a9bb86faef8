#pragma once

#include "device/connection.h"
#include "device/hid_platform.h"
#include "window/controls.h"

#include <array>
#include <cstdint>
#include <functional>

namespace window {

// The one window and all of the program's state. Every handler runs to
// completion on the window's thread; handlers nest when code assigns a
// list's selection, and the three flags decide what a nested run may do:
// DeviceDetected (a unit is connected), SettingsLoaded (a unit's report has
// been decoded into the lists), RefreshComplete (the controls show the
// connected unit and no refresh is running).
class frmMain {
public:
    explicit frmMain(device::HidPlatform& platform);
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Event handlers, raised by the front end or by the models.
    void Form_Load();
    // Never sets cancel: the window always closes.
    void Form_Unload(bool& cancel);
    void SerNo_Click();
    void Enc1_Click();
    void Enc2_Click();
    void Enc3_Click();
    void Cal_Click();
    void Command1_Click();
    void Timer_Timer();

    // Procedures.
    void Scan_USB_devices();
    bool FindTheHid();
    void RefreshDeviceState();
    void WriteSettings();
    void RebuildAmplitudeList();
    void UpdateSummary();
    void PollDevicePresence();

    // Every control, for front ends and tests, in the window's table order.
    const std::array<Control*, 21>& controls() const { return m_controls; }
    Control* findControl(std::string_view name) const;

    device::Connection& connection() { return m_connection; }
    const device::Connection& connection() const { return m_connection; }

    // The front end shows its window when start-up asks for it.
    std::function<void()> onShow;

    Frame Frame1{"Frame1"};
    Label Label5{"Label5"};
    Label lblProduct{"lblProduct"};
    Label Label4{"Label4"};
    Label lblManuf{"lblManuf"};
    Label Label2{"Label2"};
    Label lblVersion{"lblVersion"};
    Label Label3{"Label3"};
    SelectionList SerNo{"SerNo"};
    Frame Frame3{"Frame3"};
    SelectionList Enc1{"Enc1"};
    Label Label6{"Label6"};
    SelectionList Cal{"Cal"};
    Label Label1{"Label1"};
    SelectionList Enc2{"Enc2"};
    Label Label8{"Label8"};
    SelectionList Enc3{"Enc3"};
    Label Label7{"Label7"};
    TextBox Summary{"Summary"};
    Button Command1{"Command1"};
    TimerControl Timer{"Timer"};

    bool SettingsLoaded = false;
    bool RefreshComplete = false;
    double FactoryCalibration = 1.0;

private:
    device::Connection m_connection;
    std::array<Control*, 21> m_controls;
};

}  // namespace window
