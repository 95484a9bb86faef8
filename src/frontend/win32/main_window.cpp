#include "frontend/win32/main_window.h"

#include "window/placement.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <utility>

namespace frontend::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"VandrelMainWindow";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kSyncItemsMessage = WM_APP + 1;
constexpr int kFirstControlId = 100;
constexpr int kTwipsPerInch = 1440;
// The height of an open drop-down, in rows of the list.
constexpr int kDroppedRows = 12;

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string fontKey(const window::FontSpec& font) {
    char size[32];
    std::snprintf(size, sizeof size, "|%.2f|%d|%d", font.points, font.weight, font.charset);
    return std::string(font.face) + size;
}

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

// A frame stands for the control it holds: its own state and that of the
// frame around it decide what the native control allows.
bool effectivelyEnabled(const window::Control& control) {
    for (const window::Control* c = &control; c; c = c->container())
        if (!c->enabled()) return false;
    return true;
}

bool effectivelyVisible(const window::Control& control) {
    for (const window::Control* c = &control; c; c = c->container())
        if (!c->visible()) return false;
    return true;
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

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, window::frmMain& form) : m_instance(instance), m_form(form) {}

MainWindow::~MainWindow() {
    for (window::Control* c : m_form.controls()) c->setObserver(nullptr);
    if (m_window) DestroyWindow(m_window);
    clearAnnotations();
    if (m_comStarted) CoUninitialize();
    releaseFonts();
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
    createFonts();
    createControls();
    layout();
    placeOnScreen();
    annotate();

    for (window::Control* c : m_form.controls()) c->setObserver(this);
    return true;
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

void MainWindow::show() {
    if (!m_window) return;
    ShowWindow(m_window, SW_SHOWNORMAL);
    UpdateWindow(m_window);
}

int MainWindow::toPixels(int twips) const { return MulDiv(twips, static_cast<int>(m_dpi), kTwipsPerInch); }

void MainWindow::createFonts() {
    for (const window::ControlSpec& row : window::controlTable()) {
        if (row.font.face.empty()) continue;
        const std::string key = fontKey(row.font);
        if (m_fonts.contains(key)) continue;
        // A negative height asks for the character height, which is what a
        // point size measures.
        const int height = -static_cast<int>(std::lround(row.font.points * m_dpi / 72.0));
        HFONT font = CreateFontW(height, 0, 0, 0, row.font.weight, FALSE, FALSE, FALSE,
                                 static_cast<DWORD>(row.font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, widen(row.font.face).c_str());
        if (font) m_fonts.emplace(key, font);
    }
}

void MainWindow::releaseFonts() {
    for (auto& [key, font] : m_fonts) DeleteObject(font);
    m_fonts.clear();
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
        if (auto font = m_fonts.find(fontKey(model->row().font)); font != m_fonts.end())
            SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font->second), FALSE);
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
        if (control.model->kind() != window::ControlKind::SelectionList) continue;
        const window::AccessibleEntry* entry = window::findAccessibleEntry(control.model->name());
        if (!entry || entry->labelledBy.empty()) continue;
        const window::Control* labelModel = m_form.findControl(entry->labelledBy);
        const HWND label = labelModel ? nativeHandle(*labelModel) : nullptr;
        if (!label) continue;
        const HWND above = GetWindow(control.handle, GW_HWNDPREV);
        if (above == label) continue;
        SetWindowPos(label, above ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void MainWindow::clipLabelsAtTheirControls() {
    // A label that now lies above its list may reach under it ("Serial
    // Number" does): it keeps its place and size but paints only outside
    // the list.
    for (const NativeControl& control : m_controls) {
        if (control.model->kind() != window::ControlKind::SelectionList) continue;
        const window::AccessibleEntry* entry = window::findAccessibleEntry(control.model->name());
        const window::Control* labelModel = entry ? m_form.findControl(entry->labelledBy) : nullptr;
        const HWND label = labelModel ? nativeHandle(*labelModel) : nullptr;
        if (!label) continue;
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

void MainWindow::annotate() {
    // Lists, value fields and the summary have no caption of their own to
    // be named by: their names, descriptions and the value fields' values
    // are annotated on the system's accessible objects of the controls.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_comStarted = SUCCEEDED(com);
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&m_annotations))))
        m_annotations = nullptr;
    if (!m_annotations) return;
    for (const NativeControl& control : m_controls) {
        const window::AccessibleEntry* entry = window::findAccessibleEntry(control.model->name());
        if (!entry) continue;
        const std::wstring name = widen(window::accessibleName(entry->control));
        m_annotations->SetHwndPropStr(control.handle, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME, name.c_str());
        if (!entry->description.empty())
            m_annotations->SetHwndPropStr(control.handle, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_DESCRIPTION,
                                          widen(entry->description).c_str());
        if (control.model->row().valueField) annotateValue(control);
    }
}

void MainWindow::annotateValue(const NativeControl& control) {
    if (!m_annotations) return;
    const std::string& caption = static_cast<const window::Label&>(*control.model).caption();
    m_annotations->SetHwndPropStr(control.handle, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_VALUE,
                                  widen(window::accessibleValue(caption)).c_str());
}

void MainWindow::clearAnnotations() {
    if (!m_annotations) return;
    // Annotations outlive the controls unless cleared before they go.
    MSAAPROPID props[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION, PROPID_ACC_VALUE};
    for (const NativeControl& control : m_controls)
        if (control.handle && window::findAccessibleEntry(control.model->name()))
            m_annotations->ClearHwndProps(control.handle, OBJID_CLIENT, CHILDID_SELF, props, 3);
    m_annotations->Release();
    m_annotations = nullptr;
}

void MainWindow::moveFocus(HWND to) {
    if (!to) return;
    SetFocus(to);
    // As the dialog manager does: a text box reached by the keyboard shows
    // its whole text selected.
    if (GetFocus() == to && SendMessageW(to, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(to, EM_SETSEL, 0, -1);
}

void MainWindow::layout() {
    const window::WindowSpec& shape = window::windowSpec();
    RECT frame{0, 0, toPixels(shape.clientWidth), toPixels(shape.clientHeight)};
    const LONG style = GetWindowLongW(m_window, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(m_window, GWL_EXSTYLE);
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(exStyle), m_dpi);
    // Known before the window is sized, so the size limits let it through.
    m_outerSize = {frame.right - frame.left, frame.bottom - frame.top};
    SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
        if (auto font = m_fonts.find(fontKey(c.font)); font != m_fonts.end())
            SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font->second), TRUE);
        const int height = toPixels(c.height);
        if (c.kind != window::ControlKind::SelectionList) {
            SetWindowPos(control.handle, nullptr, toPixels(left), toPixels(top), toPixels(c.width), height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            continue;
        }
        // A drop-down list is created with the height of its open list; its
        // closed height follows from the selection field's height, which is
        // adjusted until the closed list has the height of the table.
        const LRESULT row = SendMessageW(control.handle, CB_GETITEMHEIGHT, 0, 0);
        const int dropped = height + static_cast<int>(std::max<LRESULT>(row, 1)) * kDroppedRows + 2;
        SetWindowPos(control.handle, nullptr, toPixels(left), toPixels(top), toPixels(c.width), dropped,
                     SWP_NOZORDER | SWP_NOACTIVATE);
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
    clipLabelsAtTheirControls();
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

void MainWindow::mirrorEnabled(const NativeControl& control) {
    EnableWindow(control.handle, effectivelyEnabled(*control.model) ? TRUE : FALSE);
}

void MainWindow::mirrorVisible(const NativeControl& control) {
    ShowWindow(control.handle, effectivelyVisible(*control.model) ? SW_SHOWNA : SW_HIDE);
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
    const bool wasMirroring = m_mirroring;
    m_mirroring = true;
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
    const bool wasMirroring = m_mirroring;
    m_mirroring = true;
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
            if (control.row().valueField) annotateValue(*native);
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

void MainWindow::onCommand(int id, int code) {
    if (m_mirroring) return;
    NativeControl* control = byId(id);
    if (!control) return;
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
        const HWND from = reinterpret_cast<HWND>(lParam);
        for (const NativeControl& c : m_controls) {
            if (c.handle != from || !c.model->row().valueField) continue;
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    }
    case WM_DPICHANGED: {
        m_dpi = HIWORD(wParam) ? HIWORD(wParam) : USER_DEFAULT_SCREEN_DPI;
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        // The controls keep drawing with the old fonts until they are given
        // the new ones, so the old ones are released only after that.
        std::map<std::string, HFONT> previous = std::exchange(m_fonts, {});
        createFonts();
        layout();
        for (auto& [key, font] : previous) DeleteObject(font);
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
        clearAnnotations();
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
