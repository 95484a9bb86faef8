#include "window/frm_main.h"

#include "protocol/config_report.h"
#include "window/texts.h"

namespace window {

namespace {
// Assigns a default only where the list holds it; the button is enabled
// only once the lists are filled, so this never skips in a running window.
void assignIfPresent(SelectionList& list, int index) {
    if (index < list.itemCount()) list.setListIndex(index);
}
}  // namespace

void frmMain::WriteSettings() {
    if (!SettingsLoaded) return;
    // A list without a selection has no value to send; a report is only
    // ever built from three real selections.
    if (m_connection.DeviceDetected && RefreshComplete && Enc1.listIndex() >= 0 && Enc2.listIndex() >= 0 &&
        Cal.listIndex() >= 0)
        protocol::sendSettings(m_connection, {Enc1.listIndex(), Enc2.listIndex(), Cal.listIndex()});
    UpdateSummary();
}

void frmMain::Enc1_Click() { WriteSettings(); }
void frmMain::Enc2_Click() { WriteSettings(); }
void frmMain::Enc3_Click() { WriteSettings(); }

void frmMain::Cal_Click() {
    // The rebuild restores Enc1's selection, which writes once; this writes
    // the same report again.
    RebuildAmplitudeList();
    WriteSettings();
}

void frmMain::Command1_Click() {
    // Each assignment runs its handler to the end before the next starts,
    // so the unit sees the polarity first and all three defaults last.
    assignIfPresent(Enc2, kDefaultPolarity);
    assignIfPresent(Cal, kDefaultCalibration);
    assignIfPresent(Enc1, kDefaultAmplitude);
}

void frmMain::RebuildAmplitudeList() {
    // Without a user factor there is nothing to compute: the list keeps its
    // texts until a calibration is selected.
    const std::optional<double> userCalibration = parseNumber(Cal.text());
    if (Cal.listIndex() < 0 || !userCalibration) return;
    const int selected = Enc1.listIndex();
    Enc1.clear();
    const double factory = FactoryCalibration;
    for (int k = 0; k < protocol::kAmplitudeCodes; ++k) Enc1.addItem(amplitudeText(k, factory, *userCalibration), k);
    // Code k stays item k, so the same amplitude code stays selected; the
    // assignment runs Enc1_Click.
    Enc1.setListIndex(selected);
}

void frmMain::UpdateSummary() {
    Summary.setText(composeSummary(Enc2.listIndex(), Enc1.text(), FactoryCalibration, Cal.text()));
}

}  // namespace window
