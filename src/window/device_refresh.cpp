#include "window/frm_main.h"

#include "device/hid_string.h"
#include "protocol/config_report.h"
#include "protocol/identity.h"
#include "window/texts.h"

#include <array>

namespace window {

namespace {

constexpr int kPresetCalibration = 1000;  // 1.400, shown when the report cannot be read
constexpr int kPresetAmplitude = 0;
constexpr int kPresetPolarity = 1;

// Selects what the unit reported, or leaves the list without a selection
// when the value names no item.
void selectDecoded(SelectionList& list, int index) {
    if (index >= 0 && index < list.itemCount()) list.setListIndex(index);
    else if (list.listIndex() != -1) list.setListIndex(-1);
}

// The identity labels show their text after one leading blank. Built by
// appending: GCC 12 reports a false -Wrestrict overlap in an optimised
// build of `" " + std::string`.
std::string identityCaption(std::span<const std::uint8_t> buffer) {
    std::string caption = " ";
    caption += device::decodeHidString(buffer);
    return caption;
}

}  // namespace

void frmMain::RefreshDeviceState() {
    RefreshComplete = false;

    lblManuf.setCaption("");
    lblProduct.setCaption("");
    lblVersion.setCaption("");
    for (SelectionList* list : {&Enc1, &Enc2, &Enc3, &Cal}) {
        list->clear();
        list->setEnabled(false);
    }
    Summary.setText("");
    for (Control* c : std::initializer_list<Control*>{&Command1, &Frame3, &Label1, &Label6, &Label7, &Label8})
        c->setEnabled(false);

    if (!m_connection.DeviceDetected) return;

    device::HidPlatform& platform = m_connection.platform();
    // Both identity strings use one buffer; it is zeroed before each request
    // so a string that comes back without a terminator cannot show the tail
    // of the one before it.
    std::array<std::uint8_t, device::kStringBufferBytes> buffer{};
    int minor = 0;
    m_connection.LastResult =
        platform.getManufacturerString(m_connection.ReadHandle, buffer, device::kStringRequestBytes);
    if (m_connection.LastResult != 0) {
        lblManuf.setCaption(identityCaption(buffer));
        lblVersion.setCaption(protocol::versionText(m_connection.Attributes.VersionNumber));
        minor = protocol::versionMinor(m_connection.Attributes.VersionNumber);
    }
    buffer.fill(0);
    m_connection.LastResult = platform.getProductString(m_connection.ReadHandle, buffer, device::kStringRequestBytes);
    if (m_connection.LastResult != 0) lblProduct.setCaption(identityCaption(buffer));

    Frame1.setEnabled(true);

    // A unit whose version has minor part 0 cannot be configured.
    if (minor >= 1) {
        for (int k = 0; k < protocol::kCalibrationCodes; ++k) Cal.addItem(calibrationText(k), k);
        Cal.setListIndex(kPresetCalibration);
        Cal.setEnabled(true);
        selectDecoded(Enc1, kPresetAmplitude);
        Enc1.setEnabled(true);
        for (int i = 0; i < static_cast<int>(kPolarityTexts.size()); ++i)
            Enc2.addItem(std::string(kPolarityTexts[i]), i);
        Enc2.setListIndex(kPresetPolarity);
        Enc2.setEnabled(true);
        for (Control* c : std::initializer_list<Control*>{&Command1, &Frame3, &Label1, &Label6, &Label7, &Label8})
            c->setEnabled(true);
    }

    if (const std::optional<protocol::DecodedReport> report = protocol::readConfiguration(m_connection)) {
        selectDecoded(Enc1, report->amplitudeIndex);
        selectDecoded(Enc2, report->polarityIndex);
        // Cal_Click rebuilds the amplitude list, keeping the index just set.
        selectDecoded(Cal, report->calibrationIndex);
        FactoryCalibration = report->factoryCalibration;
        RebuildAmplitudeList();
        UpdateSummary();
        SettingsLoaded = true;
    }

    RefreshComplete = true;
}

}  // namespace window
