#include "frontend/win32/support.h"

#include <oleacc.h>

#include <cmath>
#include <cstdio>

namespace frontend::win32 {

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

namespace {

std::string fontKey(const window::FontSpec& font) {
    char size[32];
    std::snprintf(size, sizeof size, "|%.2f|%d|%d", font.points, font.weight, font.charset);
    return std::string(font.face) + size;
}

}  // namespace

FontSet::FontSet(UINT dpi) {
    for (const window::ControlSpec& row : window::controlTable()) {
        if (row.font.face.empty()) continue;
        const std::string key = fontKey(row.font);
        if (m_fonts.contains(key)) continue;
        // A negative height asks for the character height, which is what a
        // point size measures.
        const int height = -static_cast<int>(std::lround(row.font.points * dpi / 72.0));
        HFONT font = CreateFontW(height, 0, 0, 0, row.font.weight, FALSE, FALSE, FALSE,
                                 static_cast<DWORD>(row.font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, widen(row.font.face).c_str());
        if (font) m_fonts.emplace(key, font);
    }
}

FontSet::~FontSet() {
    for (auto& [key, font] : m_fonts) DeleteObject(font);
}

HFONT FontSet::fontFor(const window::FontSpec& design) const {
    const auto font = m_fonts.find(fontKey(design));
    return font == m_fonts.end() ? nullptr : font->second;
}

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
