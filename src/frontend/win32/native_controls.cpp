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

std::wstring captionOf(const window::Control& control) {
    switch (control.kind()) {
    case window::ControlKind::Frame: return widen(static_cast<const window::Frame&>(control).caption());
    case window::ControlKind::Label: return widen(static_cast<const window::Label&>(control).caption());
    case window::ControlKind::Button: return widen(static_cast<const window::Button&>(control).caption());
    case window::ControlKind::TextBox: return widen(static_cast<const window::TextBox&>(control).text());
    default: return {};
    }
}

// A frame stands for the control it holds: its own state and that of the
// frame around it decide what the native control allows.
bool effectively(const window::Control& control, bool (window::Control::*state)() const) {
    for (const window::Control* c = &control; c; c = c->container())
        if (!(c->*state)()) return false;
    return true;
}

}  // namespace

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
        // The fonts are given in layout(), which follows.
        if (control.handle) m_controls.push_back(std::move(control));
    }
    // Labels are painted on their container, beneath every control that
    // can take focus (a caption may reach under the list beside it), and
    // frames lie below everything.
    for (window::ControlKind bottom : {window::ControlKind::Label, window::ControlKind::Frame})
        for (const NativeControl& control : m_controls)
            if (control.model->kind() == bottom)
                SetWindowPos(control.handle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (const NativeControl& control : m_controls) {
        mirrorEnabled(control);
        mirrorVisible(control);
    }
    for (NativeControl& control : m_controls)
        if (control.model->kind() == window::ControlKind::SelectionList) mirrorItems(control);
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

MainWindow::NativeControl* MainWindow::byId(int id) {
    const auto c = std::ranges::find(m_controls, id, &NativeControl::id);
    return c == m_controls.end() ? nullptr : &*c;
}

void MainWindow::mirrorEnabled(const NativeControl& control) {
    EnableWindow(control.handle, effectively(*control.model, &window::Control::enabled) ? TRUE : FALSE);
}

void MainWindow::mirrorVisible(const NativeControl& control) {
    ShowWindow(control.handle, effectively(*control.model, &window::Control::visible) ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::mirrorItems(NativeControl& control) {
    const auto& list = static_cast<const window::SelectionList&>(*control.model);
    control.itemsStale = false;
    if (list.items() == control.shownItems) {
        if (SendMessageW(control.handle, CB_GETCURSEL, 0, 0) != list.listIndex()) mirrorSelection(control);
        return;
    }
    SendMessageW(control.handle, WM_SETREDRAW, FALSE, 0);
    SendMessageW(control.handle, CB_RESETCONTENT, 0, 0);
    SendMessageW(control.handle, CB_INITSTORAGE, list.items().size(), list.items().size() * 16);
    for (const std::string& item : list.items())
        SendMessageW(control.handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
    SendMessageW(control.handle, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control.handle, nullptr, TRUE);
    control.shownItems = list.items();
    mirrorSelection(control);
}

void MainWindow::mirrorStaleItems() {
    m_itemsSyncPosted = false;
    const bool wasMirroring = std::exchange(m_mirroring, true);
    for (NativeControl& control : m_controls)
        if (control.itemsStale) mirrorItems(control);
    m_mirroring = wasMirroring;
}

void MainWindow::mirrorSelection(const NativeControl& control) {
    const auto& list = static_cast<const window::SelectionList&>(*control.model);
    // CB_SETCURSEL raises no selection notification; -1 clears the field.
    SendMessageW(control.handle, CB_SETCURSEL, static_cast<WPARAM>(list.listIndex()), 0);
}

void MainWindow::mirrorTimer() {
    const window::TimerControl& timer = m_form.Timer;
    if (timer.enabled()) {
        // Setting a running timer again restarts it with the new period.
        m_timerRunning = SetTimer(m_window, kTimerId, static_cast<UINT>(std::max(timer.interval(), 1)), nullptr) != 0;
    } else if (m_timerRunning) {
        KillTimer(m_window, kTimerId);
        m_timerRunning = false;
    }
}

void MainWindow::controlChanged(const window::Control& control, window::Change change) {
    if (!m_window) return;
    const bool wasMirroring = std::exchange(m_mirroring, true);
    const auto native = std::ranges::find(m_controls, &control, &NativeControl::model);
    if (control.kind() == window::ControlKind::Timer) {
        mirrorTimer();
    } else if (native != m_controls.end()) {
        switch (change) {
        case window::Change::Enabled:
        case window::Change::Visible:
            // A frame's state reaches every control it holds.
            for (const NativeControl& c : m_controls) {
                for (const window::Control* up = c.model; up; up = up->container()) {
                    if (up != &control) continue;
                    change == window::Change::Enabled ? mirrorEnabled(c) : mirrorVisible(c);
                    break;
                }
            }
            break;
        case window::Change::Caption:
        case window::Change::Text:
            SetWindowTextW(native->handle, captionOf(control).c_str());
            if (control.row().valueField) m_annotations.annotateValue(native->handle, control);
            break;
        case window::Change::Items:
            // A handler rebuilds a list one item at a time, hundreds of them;
            // the native list is rebuilt once, when the handler has returned.
            native->itemsStale = true;
            if (!m_itemsSyncPosted) m_itemsSyncPosted = PostMessageW(m_window, kSyncItemsMessage, 0, 0) != FALSE;
            if (!m_itemsSyncPosted) mirrorItems(*native);
            break;
        case window::Change::Selection:
            if (!native->itemsStale) mirrorSelection(*native);
            break;
        case window::Change::Interval: break;
        }
    }
    m_mirroring = wasMirroring;
}

}  // namespace frontend::win32
