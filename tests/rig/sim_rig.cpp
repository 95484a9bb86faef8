#include "rig/unit_rig.h"

#include <utility>

namespace rig {

namespace {

class SimRig final : public UnitRig {
public:
    SimRig() {
        m_platform.beforeCall = [this](device::sim::Operation op, device::sim::DeviceId) {
            if (op == device::sim::Operation::SetFeature && beforeSetFeature) beforeSetFeature();
        };
    }

    device::HidPlatform& platform() override { return m_platform; }
    RigError plug(const device::sim::DeviceConfig& config) override {
        m_platform.plug(config);
        return std::nullopt;
    }
    RigError unplug(std::size_t device) override {
        m_platform.unplug(device);
        return std::nullopt;
    }
    RigError replug(std::size_t device) override {
        m_platform.replug(device);
        return std::nullopt;
    }
    RigError setFailing(std::size_t device, device::sim::Operation op, bool failing) override {
        m_platform.setFailing(device, op, failing);
        return std::nullopt;
    }
    RigError takeReports(std::size_t device, std::vector<std::vector<std::uint8_t>>& reports) override {
        reports = m_platform.takeReceived(device);
        return std::nullopt;
    }
    RigError takeWoken(std::vector<bool>& woken) override {
        woken.clear();
        for (std::size_t id = 0; id < m_platform.deviceCount(); ++id)
            woken.push_back(m_platform.takeDeviceOpens(id) > 0);
        return std::nullopt;
    }
    std::size_t openHandles() override { return m_platform.openHandles(); }
    std::size_t openEvents() override { return m_platform.openEvents(); }
    void beforeTick(std::uint32_t) override {}
    bool canFailCalls() const override { return true; }

private:
    // Announcing, as the real systems do where notices can be had: every
    // scenario then plays over a kept list.
    device::sim::SimPlatform m_platform{device::sim::Notices::Announced};
};

}  // namespace

std::unique_ptr<UnitRig> makeSimRig() { return std::make_unique<SimRig>(); }

}  // namespace rig
