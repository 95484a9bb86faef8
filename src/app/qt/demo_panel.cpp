#include "demo_panel.h"

#include "device/hex_text.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdint>

namespace demo {

namespace {

// The panel looks for new reports this often; the main window's poll runs
// every 500 ms at most, so a person sees each write as it happens.
constexpr int kRefreshMilliseconds = 200;

// Bytes 7 and 8 of a unit's report hold its factory calibration in units of
// 0.0001, big-endian.
void setFactoryCalibration(device::sim::DeviceConfig& config, std::uint16_t tenThousandths) {
    if (config.featureImage.size() < 9) config.featureImage.resize(9);
    config.featureImage[7] = static_cast<std::uint8_t>(tenThousandths >> 8);
    config.featureImage[8] = static_cast<std::uint8_t>(tenThousandths & 0xFF);
}

}  // namespace

std::array<DemoUnit, 2> plugDemoUnits(device::sim::SimPlatform& platform) {
    platform.plug(device::sim::otherDeviceConfig());

    device::sim::DeviceConfig first = device::sim::unitConfig(u"VD-000101");
    setFactoryCalibration(first, 10000);  // 1.0000
    device::sim::DeviceConfig second = device::sim::unitConfig(u"VD-000102");
    setFactoryCalibration(second, 9850);  // 0.9850

    return {DemoUnit{platform.plug(std::move(first)), u"VD-000101"},
            DemoUnit{platform.plug(std::move(second)), u"VD-000102"}};
}

DemoPanel::DemoPanel(device::sim::SimPlatform& platform, const std::array<DemoUnit, 2>& units, QWidget* parent)
    : QWidget(parent, Qt::Window), m_platform(platform) {
    setWindowTitle(QStringLiteral("Vandrel demo units"));
    // Closing the main window ends the demo even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    // The units one above the other, so the panel fits beside the main window.
    auto* layout = new QVBoxLayout(this);
    for (std::size_t i = 0; i < units.size(); ++i) {
        Row& row = m_rows[i];
        row.unit = units[i];
        auto* box = new QGroupBox(QString::fromUtf16(row.unit.serial), this);
        auto* column = new QVBoxLayout(box);
        row.state = new QLabel(box);
        row.plug = new QPushButton(box);
        row.reports = new QPlainTextEdit(box);
        row.reports->setReadOnly(true);
        row.reports->setPlaceholderText(QStringLiteral("No feature report received yet"));
        row.reports->setMinimumSize(280, 140);
        column->addWidget(row.state);
        column->addWidget(row.plug);
        column->addWidget(new QLabel(QStringLiteral("Feature reports received, oldest first:"), box));
        column->addWidget(row.reports);
        layout->addWidget(box);
        connect(row.plug, &QPushButton::clicked, this, [this, &row] { togglePlug(row); });
    }

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DemoPanel::refresh);
    timer->start(kRefreshMilliseconds);
    refresh();
}

void DemoPanel::togglePlug(Row& row) {
    if (m_platform.isPresent(row.unit.id)) m_platform.unplug(row.unit.id);
    else m_platform.replug(row.unit.id);
    refresh();
}

void DemoPanel::refresh() {
    for (Row& row : m_rows) {
        const bool present = m_platform.isPresent(row.unit.id);
        row.state->setText(present ? QStringLiteral("Plugged in") : QStringLiteral("Unplugged"));
        row.plug->setText(present ? QStringLiteral("Unplug") : QStringLiteral("Plug back in"));
        const auto& received = m_platform.received(row.unit.id);
        for (; row.shown < received.size(); ++row.shown) {
            const QString bytes = QString::fromStdString(device::hexBytes(received[row.shown], ' '));
            row.reports->appendPlainText(QStringLiteral("%1:  %2").arg(row.shown + 1).arg(bytes));
        }
    }
}

}  // namespace demo
