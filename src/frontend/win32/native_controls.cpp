#include "frontend/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace frontend::win32 {

namespace {

constexpr int kFirstControlId = 100;

const wchar_t* nativeClass(window::ControlKind kind) {
    switch (kind) {
    case window::ControlKind::Frame:
    case window::ControlKind::Button: return WC_BUTTONW;
    case window::ControlKind::Label: return WC_STATICW;
    case window::ControlKind::SelectionList: return WC_COMBOBOXW;
    case window::ControlKind::TextBox: return WC_EDITW;
    case window::ControlKind::Timer: break;
    }
    return nullptr;
}

DWORD nativeStyle(window::ControlKind kind) {
    // Clipping against siblings keeps a frame, which lies below the controls
    // it holds, from painting over them.
    const DWORD common = WS_CHILD | WS_CLIPSIBLINGS;
    switch (kind) {
    case window::ControlKind::Frame: return common | BS_GROUPBOX;
    case window::ControlKind::Button: return common | WS_TABSTOP | BS_PUSHBUTTON;
    // A caption that is a little wider than its box at some scale is cut at
    // the edge rather than wrapped onto a second line nobody sees.
    case window::ControlKind::Label: return common | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
    case window::ControlKind::SelectionList: return common | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    case window::ControlKind::TextBox: return common | WS_TABSTOP | ES_MULTILINE | ES_READONLY;
    case window::ControlKind::Timer: break;
    }
    return 0;
}

}  // namespace

std::wstring MainWindow::captionOf(const window::Control& control) {
    switch (control.kind()) {
    case window::ControlKind::Frame: return widen(static_cast<const window::Frame&>(control).caption());
    case window::ControlKind::Label: return widen(static_cast<const window::Label&>(control).caption());
    case window::ControlKind::Button: return widen(static_cast<const window::Button&>(control).caption());
    case window::ControlKind::TextBox: return widen(static_cast<const window::TextBox&>(control).text());
    default: return {};
    }
}

void MainWindow::createControls() {
    // Created in TabIndex order, because the dialog manager moves focus in
    // creation order.
    std::vector<window::Control*> order;
    for (window::Control* c : m_form.controls())
        if (c->kind() != window::ControlKind::Timer) order.push_back(c);
    std::stable_sort(order.begin(), order.end(), [](const window::Control* a, const window::Control* b) {
        return a->row().tabIndex < b->row().tabIndex;
    });

    m_controls.clear();
    m_controls.reserve(order.size());
    int id = kFirstControlId;
    for (window::Control* model : order) {
        NativeControl control;
        control.model = model;
        control.id = id++;
        const DWORD exStyle = model->kind() == window::ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0;
        const DWORD style = nativeStyle(model->kind());
        control.handle =
            CreateWindowExW(exStyle, nativeClass(model->kind()), captionOf(*model).c_str(), style, 0, 0, 0, 0, m_window,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), m_instance, nullptr);
        if (!control.handle) continue;
        if (HFONT font = m_fonts->fontFor(model->row().font))
            SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        m_controls.push_back(std::move(control));
    }
    // Labels are painted on their container, beneath every control that
    // can take focus (a caption may reach under the list beside it), and
    // frames lie below everything.
    for (window::ControlKind bottom : {window::ControlKind::Label, window::ControlKind::Frame})
        for (const NativeControl& control : m_controls)
            if (control.model->kind() == bottom)
                SetWindowPos(control.handle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    placeLabelsBeforeTheirControls();
    for (const NativeControl& control : m_controls) {
        mirrorEnabled(control);
        mirrorVisible(control);
    }
    for (NativeControl& control : m_controls)
        if (control.model->kind() == window::ControlKind::SelectionList) mirrorItems(control);
}

void MainWindow::placeLabelsBeforeTheirControls() {
    // The system's accessibility proxy names a list by the static text just
    // before it in the z-order. Labels take no focus, so moving them leaves
    // the order of the controls that do unchanged.
    for (const NativeControl& control : m_controls) {
        const HWND label = labelOf(control);
        if (!label) continue;
        const HWND above = GetWindow(control.handle, GW_HWNDPREV);
        if (above == label) continue;
        SetWindowPos(label, above ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

HWND MainWindow::labelOf(const NativeControl& list) const {
    if (list.model->kind() != window::ControlKind::SelectionList) return nullptr;
    const window::AccessibleEntry* entry = window::findAccessibleEntry(list.model->name());
    const window::Control* label = entry ? m_form.findControl(entry->labelledBy) : nullptr;
    return label ? nativeHandle(*label) : nullptr;
}

HWND MainWindow::nativeHandle(const window::Control& control) const {
    for (const NativeControl& c : m_controls)
        if (c.model == &control) return c.handle;
    return nullptr;
}

MainWindow::NativeControl* MainWindow::byModel(const window::Control& control) {
    for (NativeControl& c : m_controls)
        if (c.model == &control) return &c;
    return nullptr;
}

MainWindow::NativeControl* MainWindow::byId(int id) {
    for (NativeControl& c : m_controls)
        if (c.id == id) return &c;
    return nullptr;
}

}  // namespace frontend::win32
