#pragma once

#include "device/sim/sim_platform.h"

#include <QWidget>

#include <array>
#include <cstddef>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace demo {

struct DemoUnit {
    device::sim::DeviceId id = 0;
    const char16_t* serial = u"";
};

// Plugs the demo's devices into the platform: another HID device that is
// never a unit, then two units with different serials and factory
// calibrations. The scan connects the last of them.
std::array<DemoUnit, 2> plugDemoUnits(device::sim::SimPlatform& platform);

// A small window beside the demo's main window: unplugs and plugs back each
// simulated unit, and lists the feature reports each unit has received.
class DemoPanel final : public QWidget {
public:
    DemoPanel(device::sim::SimPlatform& platform, const std::array<DemoUnit, 2>& units, QWidget* parent = nullptr);

    // Brings the plug states and report lists up to date.
    void refresh();

private:
    struct Row {
        DemoUnit unit;
        QLabel* state = nullptr;
        QPushButton* plug = nullptr;
        QPlainTextEdit* reports = nullptr;
        std::size_t shown = 0;  // reports already listed
    };

    void togglePlug(Row& row);

    device::sim::SimPlatform& m_platform;
    std::array<Row, 2> m_rows;
};

}  // namespace demo
