#include "window/frm_main.h"

#include "protocol/config_report.h"

namespace window {

void frmMain::WriteSettings() {
    if (!SettingsLoaded) return;
    if (m_connection.DeviceDetected && RefreshComplete) {
        // A list without a selection has no value to send; a report is
        // only ever built from three real selections.
        if (Enc1.listIndex() >= 0 && Enc2.listIndex() >= 0 && Cal.listIndex() >= 0) {
            protocol::sendSettings(m_connection,
                                   protocol::UnitSettings{Enc1.listIndex(), Enc2.listIndex(), Cal.listIndex()});
        }
    }
    UpdateSummary();
}

}  // namespace window
