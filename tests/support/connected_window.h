#pragma once

// A window started over simulated units, for the tests that need a unit
// connected and its settings loaded.
#include "device/sim/sim_platform.h"
#include "window/frm_main.h"

#include <cstdint>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

class ConnectedWindow {
public:
    explicit ConnectedWindow(device::sim::DeviceConfig unit = device::sim::unitConfig(u"VD-T1")) {
        m_unit = m_sim.plug(std::move(unit));
        m_form.Form_Load();
    }
    ~ConnectedWindow() {
        bool cancel = false;
        m_form.Form_Unload(cancel);
    }

    std::vector<Bytes> sent() { return m_sim.takeReceived(m_unit); }

    device::sim::SimPlatform m_sim;
    device::sim::DeviceId m_unit = 0;
    window::frmMain m_form{m_sim};
};

}  // namespace testsupport
