#include "window/frm_main.h"

namespace window {

frmMain::frmMain(device::HidPlatform& platform)
    : m_connection(platform), m_controls{&Frame1, &Label5, &lblProduct, &Label4, &lblManuf, &Label2,   &lblVersion,
                                         &Label3, &SerNo,  &Frame3,     &Enc1,   &Label6,   &Cal,      &Label1,
                                         &Enc2,   &Label8, &Enc3,       &Label7, &Summary,  &Command1, &Timer} {
    for (Control* c : m_controls)
        if (!c->row().container.empty()) c->setContainer(findControl(c->row().container));

    SerNo.onClick = [this] { SerNo_Click(); };
    Enc1.onClick = [this] { Enc1_Click(); };
    Enc2.onClick = [this] { Enc2_Click(); };
    Enc3.onClick = [this] { Enc3_Click(); };
    Cal.onClick = [this] { Cal_Click(); };
    Command1.onClick = [this] { Command1_Click(); };
    Timer.onTimer = [this] { Timer_Timer(); };
}

Control* frmMain::findControl(std::string_view name) const {
    for (Control* c : m_controls)
        if (c->name() == name) return c;
    return nullptr;
}

}  // namespace window
