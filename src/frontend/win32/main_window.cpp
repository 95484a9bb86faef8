#include "frontend/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace frontend::win32 {

constexpr wchar_t kWindowClass[] = L"VandrelMainWindow";

MainWindow::MainWindow(HINSTANCE instance, window::frmMain& form) : m_instance(instance), m_form(form) {}

MainWindow::~MainWindow() {
    for (window::Control* c : m_form.controls()) c->setObserver(nullptr);
    if (m_window) DestroyWindow(m_window);
}

bool MainWindow::create() {
    INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.lpfnWndProc = &MainWindow::windowProc;
    windowClass.hInstance = m_instance;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(
        m_instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    // A fixed border and a close box only: no sizing frame, no minimise or
    // maximise box.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    m_window = CreateWindowExW(0, kWindowClass, widen(window::windowSpec().caption).c_str(), style, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, m_instance, this);
    if (!m_window) return false;

    const UINT dpi = GetDpiForWindow(m_window);
    m_dpi = dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
    m_fonts = std::make_unique<FontSet>(m_dpi);
    createControls();
    layout();
    placeOnScreen();
    m_annotations.start();
    for (const NativeControl& control : m_controls) m_annotations.annotate(control.handle, *control.model);

    for (window::Control* c : m_form.controls()) c->setObserver(this);
    return true;
}

void MainWindow::show() {
    if (!m_window) return;
    ShowWindow(m_window, SW_SHOWNORMAL);
    UpdateWindow(m_window);
}

void MainWindow::moveFocus(HWND to) {
    if (!to) return;
    SetFocus(to);
    // As the dialog manager does: a text box reached by the keyboard shows
    // its whole text selected.
    if (GetFocus() == to && SendMessageW(to, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(to, EM_SETSEL, 0, -1);
}

void MainWindow::onCommand(int id, int code) {
    NativeControl* control = byId(id);
    if (m_mirroring || !control) return;
    if (control->model->kind() == window::ControlKind::SelectionList && code == CBN_SELCHANGE) {
        auto& list = static_cast<window::SelectionList&>(*control->model);
        // The native list still shows items the model no longer has: the
        // pick names none of the model's, so the list is brought up to date
        // instead.
        if (control->itemsStale) {
            mirrorStaleItems();
            return;
        }
        const auto picked = static_cast<int>(SendMessageW(control->handle, CB_GETCURSEL, 0, 0));
        list.userPick(picked);
        // A pick the model refused, or a handler that chose another item,
        // leaves the native list showing the model's selection again.
        if (NativeControl* after = byId(id)) mirrorSelection(*after);
    } else if (control->model->kind() == window::ControlKind::Button && code == BN_CLICKED) {
        static_cast<window::Button&>(*control->model).userPress();
    }
}

void MainWindow::onClose() {
    bool cancel = false;
    m_form.Form_Unload(cancel);
    if (cancel) return;
    DestroyWindow(m_window);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam != 0) onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kTimerId) m_form.Timer.expire();
        return 0;
    case WM_CTLCOLORSTATIC: {
        const auto c = std::ranges::find(m_controls, reinterpret_cast<HWND>(lParam), &NativeControl::handle);
        if (c == m_controls.end() || !c->model->row().valueField) break;
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_DPICHANGED: {
        m_dpi = HIWORD(wParam) ? HIWORD(wParam) : USER_DEFAULT_SCREEN_DPI;
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        // The controls keep drawing with the old fonts until they are given
        // the new ones, so the old ones are released only after that.
        const auto previous = std::exchange(m_fonts, std::make_unique<FontSet>(m_dpi));
        layout();
        if (suggested)
            SetWindowPos(m_window, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_GETMINMAXINFO: {
        // The system limits a window to about the screen's size, which at a
        // large scale would cut the client area short and the button off.
        // The layout has one size: the window keeps it even where it is
        // taller than the screen, and is placed so its title bar is on it.
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        if (limits && m_outerSize.cx > 0) {
            limits->ptMaxTrackSize.x = std::max<LONG>(limits->ptMaxTrackSize.x, m_outerSize.cx);
            limits->ptMaxTrackSize.y = std::max<LONG>(limits->ptMaxTrackSize.y, m_outerSize.cy);
        }
        return 0;
    }
    case WM_NEXTDLGCTL:
        // The multi-line summary hands Tab and Shift+Tab to its parent this
        // way, as it would in a dialog; the window moves focus as a dialog
        // does, so Tab never stays in the summary.
        if (LOWORD(lParam)) moveFocus(reinterpret_cast<HWND>(wParam));
        else moveFocus(GetNextDlgTabItem(m_window, GetFocus(), wParam != 0 ? TRUE : FALSE));
        return 0;
    case kSyncItemsMessage: mirrorStaleItems(); return 0;
    case WM_CLOSE: onClose(); return 0;
    case WM_DESTROY:
        m_annotations.clear();
        if (m_timerRunning) KillTimer(m_window, kTimerId);
        m_timerRunning = false;
        m_window = nullptr;
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->m_window != window) return DefWindowProcW(window, message, wParam, lParam);
    // An exception must not unwind through the system's code that called
    // this procedure; the event it came from is dropped instead.
    try {
        return self->handleMessage(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace frontend::win32
