#include "app/scenario/unit_bench.h"

#include <utility>

namespace app {

namespace {

class SimBench final : public UnitBench {
public:
    SimBench() {
        m_platform.beforeCall = [this](device::sim::Operation op, device::sim::DeviceId) {
            if (op == device::sim::Operation::SetFeature && beforeSetFeature) beforeSetFeature();
        };
    }

    device::HidPlatform& platform() override { return m_platform; }
    BenchError plug(const device::sim::DeviceConfig& config) override {
        m_platform.plug(config);
        return std::nullopt;
    }
    BenchError unplug(std::size_t device) override {
        m_platform.unplug(device);
        return std::nullopt;
    }
    BenchError replug(std::size_t device) override {
        m_platform.replug(device);
        return std::nullopt;
    }
    BenchError setFailing(std::size_t device, device::sim::Operation op, bool failing) override {
        m_platform.setFailing(device, op, failing);
        return std::nullopt;
    }
    BenchError takeReports(std::size_t device, std::vector<std::vector<std::uint8_t>>& reports) override {
        reports = m_platform.takeReceived(device);
        return std::nullopt;
    }
    BenchError takeWoken(std::vector<bool>& woken) override {
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
    device::sim::SimPlatform m_platform;
};

}  // namespace

std::unique_ptr<UnitBench> makeSimBench() { return std::make_unique<SimBench>(); }

}  // namespace app
