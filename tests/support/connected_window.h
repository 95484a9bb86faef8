#pragma once

// A window over simulated units, as it is made or with a unit connected
// and its settings loaded, and the close that ends every window.
#include "device/sim/sim_platform.h"
#include "window/frm_main.h"

#include <cstdint>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// Unloads the window as its close box does, with nothing to cancel it.
inline void closeWindow(window::frmMain& form) {
    bool cancel = false;
    form.Form_Unload(cancel);
}

class SimWindow {
public:
    device::sim::DeviceId unit(std::u16string serial) { return m_sim.plug(device::sim::unitConfig(std::move(serial))); }

    device::sim::SimPlatform m_sim;
    window::frmMain m_form{m_sim};
};

class ConnectedWindow : public SimWindow {
public:
    explicit ConnectedWindow(device::sim::DeviceConfig unit = device::sim::unitConfig(u"VD-T1")) {
        m_unit = m_sim.plug(std::move(unit));
        m_form.Form_Load();
    }
    ~ConnectedWindow() { closeWindow(m_form); }

    std::vector<Bytes> sent() { return m_sim.takeReceived(m_unit); }

    device::sim::DeviceId m_unit = 0;
};

}  // namespace testsupport
