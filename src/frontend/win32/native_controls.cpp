#include "frontend/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace frontend::win32 {

namespace {

constexpr int kFirstControlId = 100;

struct NativeKind {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

NativeKind nativeKind(window::ControlKind kind) {
    // Clipping against siblings keeps a frame, which lies below the controls
    // it holds, from painting over them.
    const DWORD common = WS_CHILD | WS_CLIPSIBLINGS;
    switch (kind) {
    case window::ControlKind::Frame: return {WC_BUTTONW, common | BS_GROUPBOX, 0};
    case window::ControlKind::Button: return {WC_BUTTONW, common | WS_TABSTOP | BS_PUSHBUTTON, 0};
    // A caption that is a little wider than its box at some scale is cut at
    // the edge rather than wrapped onto a second line nobody sees.
    case window::ControlKind::Label: return {WC_STATICW, common | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0};
    case window::ControlKind::SelectionList:
        return {WC_COMBOBOXW, common | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case window::ControlKind::TextBox:
        return {WC_EDITW, common | WS_TABSTOP | ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE};
    case window::ControlKind::Timer: break;
    }
    return {nullptr, 0, 0};
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
        const NativeKind native = nativeKind(model->kind());
        control.handle =
            CreateWindowExW(native.exStyle, native.className, captionOf(*model).c_str(), native.style, 0, 0, 0, 0,
                            m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), m_instance, nullptr);
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
    const auto c = std::ranges::find(m_controls, &control, &NativeControl::model);
    return c == m_controls.end() ? nullptr : c->handle;
}

MainWindow::NativeControl* MainWindow::byModel(const window::Control& control) {
    const auto c = std::ranges::find(m_controls, &control, &NativeControl::model);
    return c == m_controls.end() ? nullptr : &*c;
}

MainWindow::NativeControl* MainWindow::byId(int id) {
    const auto c = std::ranges::find(m_controls, id, &NativeControl::id);
    return c == m_controls.end() ? nullptr : &*c;
}

}  // namespace frontend::win32
