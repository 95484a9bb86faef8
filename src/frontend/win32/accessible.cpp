#include "frontend/win32/support.h"

#include <oleacc.h>

namespace frontend::win32 {

Annotations::~Annotations() {
    clear();
    if (m_comStarted) CoUninitialize();
}

void Annotations::start() {
    m_comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&m_service))))
        m_service = nullptr;
}

void Annotations::annotate(HWND handle, const window::Control& control) {
    const window::AccessibleEntry* entry = window::findAccessibleEntry(control.name());
    if (!m_service || !entry) return;
    m_annotated.push_back(handle);
    const std::wstring name = widen(window::accessibleName(entry->control));
    m_service->SetHwndPropStr(handle, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME, name.c_str());
    if (!entry->description.empty())
        m_service->SetHwndPropStr(handle, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_DESCRIPTION,
                                  widen(entry->description).c_str());
    if (control.row().valueField) annotateValue(handle, control);
}

void Annotations::annotateValue(HWND handle, const window::Control& valueField) {
    if (!m_service) return;
    const std::string& caption = static_cast<const window::Label&>(valueField).caption();
    m_service->SetHwndPropStr(handle, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_VALUE,
                              widen(window::accessibleValue(caption)).c_str());
}

void Annotations::clear() {
    if (!m_service) return;
    MSAAPROPID props[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION, PROPID_ACC_VALUE};
    for (HWND handle : m_annotated) m_service->ClearHwndProps(handle, OBJID_CLIENT, CHILDID_SELF, props, 3);
    m_annotated.clear();
    m_service->Release();
    m_service = nullptr;
}

}  // namespace frontend::win32
