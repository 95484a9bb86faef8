#include "frontend/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace frontend::win32 {

namespace {

// A frame stands for the control it holds: its own state and that of the
// frame around it decide what the native control allows.
bool effectively(const window::Control& control, bool (window::Control::*state)() const) {
    for (const window::Control* c = &control; c; c = c->container())
        if (!(c->*state)()) return false;
    return true;
}

}  // namespace

void MainWindow::mirrorEnabled(const NativeControl& control) {
    EnableWindow(control.handle, effectively(*control.model, &window::Control::enabled) ? TRUE : FALSE);
}

void MainWindow::mirrorVisible(const NativeControl& control) {
    ShowWindow(control.handle, effectively(*control.model, &window::Control::visible) ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::mirrorItems(NativeControl& control) {
    const auto& list = static_cast<const window::SelectionList&>(*control.model);
    if (list.items() == control.shownItems) {
        control.itemsStale = false;
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
    control.itemsStale = false;
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
    if (control.kind() == window::ControlKind::Timer) {
        mirrorTimer();
    } else if (NativeControl* native = byModel(control)) {
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
