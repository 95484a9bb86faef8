// Lists what a scan finds on two simulated units and shows the connected
// unit's settings as the window holds them.
#include "device/sim/sim_platform.h"
#include "window/frm_main.h"

#include <iostream>

int main() {
    device::sim::SimPlatform platform;
    platform.plug(device::sim::otherDeviceConfig());
    platform.plug(device::sim::unitConfig(u"VD-000101"));
    platform.plug(device::sim::unitConfig(u"VD-000102"));

    window::frmMain form(platform);
    form.Form_Load();
    std::cout << "Units found:";
    for (const std::string& serial : form.SerNo.items()) std::cout << ' ' << serial;
    std::cout << "\nConnected: " << form.SerNo.text() << '\n'
              << "Made by:" << form.lblManuf.caption() << '\n'
              << "Product:" << form.lblProduct.caption() << '\n'
              << "Version:" << form.lblVersion.caption() << '\n'
              << form.Summary.text() << '\n';
    bool cancel = false;
    form.Form_Unload(cancel);
    return 0;
}
