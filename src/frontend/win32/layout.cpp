#include "frontend/win32/main_window.h"

#include "window/placement.h"

#include <commctrl.h>

#include <algorithm>

namespace frontend::win32 {

constexpr int kTwipsPerInch = 1440;
// The height of an open drop-down, in rows of the list.
constexpr int kDroppedRows = 12;

int MainWindow::toPixels(int twips) const { return MulDiv(twips, static_cast<int>(m_dpi), kTwipsPerInch); }

void MainWindow::layout() {
    const window::WindowSpec& shape = window::windowSpec();
    RECT frame{0, 0, toPixels(shape.clientWidth), toPixels(shape.clientHeight)};
    const LONG style = GetWindowLongW(m_window, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(m_window, GWL_EXSTYLE);
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(exStyle), m_dpi);
    // Known before the window is sized, so the size limits let it through.
    m_outerSize = {frame.right - frame.left, frame.bottom - frame.top};
    SetWindowPos(m_window, nullptr, 0, 0, m_outerSize.cx, m_outerSize.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame's real thickness may differ from the computed one (a frame
    // drawn at another density than the requested one): the client area is
    // measured and the outer size corrected by what is missing.
    RECT client{};
    GetClientRect(m_window, &client);
    const int missingWidth = toPixels(shape.clientWidth) - client.right;
    const int missingHeight = toPixels(shape.clientHeight) - client.bottom;
    m_outerSize = {frame.right - frame.left + missingWidth, frame.bottom - frame.top + missingHeight};
    if (missingWidth != 0 || missingHeight != 0)
        SetWindowPos(m_window, nullptr, 0, 0, m_outerSize.cx, m_outerSize.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    for (const NativeControl& control : m_controls) {
        const window::ControlSpec& c = control.model->row();
        // Native controls are all children of the window, so a control in a
        // frame is placed at the frame's offset plus its own.
        int left = c.left;
        int top = c.top;
        if (const window::ControlSpec* container = window::findControlSpec(c.container)) {
            left += container->left;
            top += container->top;
        }
        if (HFONT font = m_fonts->fontFor(c.font))
            SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        const int height = toPixels(c.height);
        const bool dropDown = c.kind == window::ControlKind::SelectionList;
        // A drop-down list is created with the height of its open list; its
        // closed height follows from the selection field's height, which is
        // adjusted until the closed list has the height of the table.
        const LRESULT row = dropDown ? SendMessageW(control.handle, CB_GETITEMHEIGHT, 0, 0) : 0;
        const int dropped = dropDown ? height + static_cast<int>(std::max<LRESULT>(row, 1)) * kDroppedRows + 2 : height;
        SetWindowPos(control.handle, nullptr, toPixels(left), toPixels(top), toPixels(c.width), dropped,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (!dropDown) continue;
        // The field's height as read back may count padding the setter adds,
        // so corrections accumulate on the value last requested.
        int field = static_cast<int>(SendMessageW(control.handle, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        for (int attempt = 0; attempt < 4; ++attempt) {
            RECT closed{};
            GetWindowRect(control.handle, &closed);
            const int error = height - static_cast<int>(closed.bottom - closed.top);
            if (error == 0 || field + error < 1) break;
            field += error;
            SendMessageW(control.handle, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
            // Some implementations place the closed list anew only when sized.
            SetWindowPos(control.handle, nullptr, 0, 0, toPixels(c.width), dropped,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    placeLabelsAtTheirLists();
}

void MainWindow::placeLabelsAtTheirLists() {
    // The system's accessibility proxy names a list by the static text just
    // before it in the z-order. Labels take no focus, so moving them leaves
    // the order of the controls that do unchanged. A label that now lies
    // above its list may reach under it ("Serial Number" does): it keeps its
    // place and size but paints only outside the list.
    for (const NativeControl& control : m_controls) {
        const HWND label = labelOf(control);
        if (!label) continue;
        const HWND above = GetWindow(control.handle, GW_HWNDPREV);
        if (above != label)
            SetWindowPos(label, above ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RECT labelRect{};
        RECT listRect{};
        GetWindowRect(label, &labelRect);
        GetWindowRect(control.handle, &listRect);
        RECT overlap{};
        if (!IntersectRect(&overlap, &labelRect, &listRect)) {
            SetWindowRgn(label, nullptr, TRUE);
            continue;
        }
        OffsetRect(&overlap, -labelRect.left, -labelRect.top);
        HRGN shown = CreateRectRgn(0, 0, labelRect.right - labelRect.left, labelRect.bottom - labelRect.top);
        HRGN hidden = CreateRectRgnIndirect(&overlap);
        if (shown && hidden) CombineRgn(shown, shown, hidden, RGN_DIFF);
        if (hidden) DeleteObject(hidden);
        // The system owns the region once it is set.
        if (shown && !SetWindowRgn(label, shown, TRUE)) DeleteObject(shown);
    }
}

void MainWindow::placeOnScreen() {
    // Inside the work area (the screen less the task bar): centred when the
    // framed window fits, else from its top-left corner, so that the title
    // bar and the close box can always be reached.
    RECT frame{};
    GetWindowRect(m_window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(MONITORINFO);
    if (!GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    const RECT& area = monitor.rcWork;
    const window::DesktopPoint at =
        window::windowPlacement(frame.right - frame.left, frame.bottom - frame.top,
                                {area.left, area.top, area.right - area.left, area.bottom - area.top});
    SetWindowPos(m_window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace frontend::win32
