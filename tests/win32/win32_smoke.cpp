// Starts vandrel.exe, finds its window, checks the window and every native
// control against the control table and the models' state after start-up
// with no unit attached, saves a picture of the window, then closes it with
// WM_CLOSE and expects the process to end.
//
// Usage: win32_smoke <vandrel.exe> <picture.bmp>
// Exit codes: 0 passed, 1 failed, 77 skipped (no display).
#include "device/sim/sim_platform.h"
#include "device/utf16_text.h"
#include "frontend/win32/support.h"
#include "window/control_table.h"
#include "window/frm_main.h"
#include "window/placement.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr int kSkipped = 77;
constexpr DWORD kWindowWaitMs = 60000;  // a fresh Wine prefix starts slowly
constexpr DWORD kExitWaitMs = 5000;

using frontend::win32::widen;

int g_failures = 0;

void fail(const char* what, const std::string& detail) {
    ++g_failures;
    std::fprintf(stderr, "FAIL %s: %s\n", what, detail.c_str());
}

std::string narrow(const std::wstring& text) {
    return device::utf16ToUtf8({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}

// Wine runs Windows programs with Unix paths in their arguments; the drive
// Z: maps the Unix root.
std::wstring windowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    std::wstring lower = name;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    return lower;
}

struct Found {
    DWORD process;
    HWND window;
};

BOOL CALLBACK findVandrel(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == found->process && IsWindowVisible(window) && windowText(window) == L"Vandrel") {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

const wchar_t* expectedClass(window::ControlKind kind) {
    switch (kind) {
    case window::ControlKind::Frame:
    case window::ControlKind::Button: return L"button";
    case window::ControlKind::Label: return L"static";
    case window::ControlKind::SelectionList: return L"combobox";
    case window::ControlKind::TextBox: return L"edit";
    default: return L"";
    }
}

int px(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

struct Child {
    HWND handle;
    std::wstring cls;
    RECT rect;  // in the window's client coordinates
};

std::vector<Child> children(HWND parent) {
    std::vector<Child> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        Child child{c, className(c), {}};
        GetWindowRect(c, &child.rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&child.rect), 2);
        out.push_back(child);
    }
    return out;
}

std::string rectText(const RECT& r) {
    char text[96];
    std::snprintf(text, sizeof text, "(%ld,%ld %ldx%ld)", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

void checkWindow(HWND main, UINT dpi) {
    const window::WindowSpec& shape = window::windowSpec();
    RECT client{};
    GetClientRect(main, &client);
    if (client.right != px(shape.clientWidth, dpi) || client.bottom != px(shape.clientHeight, dpi))
        fail("client area", rectText(client));

    const LONG style = GetWindowLongW(main, GWL_STYLE);
    if ((style & WS_THICKFRAME) || (style & WS_MAXIMIZEBOX) || (style & WS_MINIMIZEBOX) || !(style & WS_SYSMENU) ||
        (style & WS_CAPTION) != WS_CAPTION)
        fail("window style", "expected a fixed border and a close box only");

    // The manifest makes the program scale per monitor itself.
    if (GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(main)) != DPI_AWARENESS_PER_MONITOR_AWARE)
        fail("DPI awareness", "the window is not per-monitor DPI aware");

    RECT frame{};
    GetWindowRect(main, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTOPRIMARY), &monitor);
    // Centred in the work area when the framed window fits, else from the
    // area's top-left corner, so the title bar stays on the screen.
    const RECT& area = monitor.rcWork;
    const window::DesktopPoint want =
        window::windowPlacement(frame.right - frame.left, frame.bottom - frame.top,
                                {area.left, area.top, area.right - area.left, area.bottom - area.top});
    std::printf("window frame %s in the work area %s at %u dpi\n", rectText(frame).c_str(), rectText(area).c_str(),
                dpi);
    if (std::labs(frame.left - want.x) > 1 || std::labs(frame.top - want.y) > 1) fail("placement", rectText(frame));
    if (frame.top < area.top) fail("placement", "the title bar lies above the work area");
}

void checkControls(HWND main, UINT dpi) {
    // The state every model holds after start-up when no unit is attached,
    // computed by the core itself over an empty simulated system.
    device::sim::SimPlatform nothing;
    window::frmMain expected(nothing);
    expected.Form_Load();

    std::vector<Child> natives = children(main);
    // The table row each native control was found to show.
    std::vector<const window::ControlSpec*> shows(natives.size(), nullptr);
    std::size_t expectedCount = 0;
    for (const window::Control* model : expected.controls()) {
        const window::ControlSpec& c = model->row();
        if (c.kind == window::ControlKind::Timer) continue;
        ++expectedCount;
        int left = c.left;
        int top = c.top;
        bool enabled = model->enabled();
        bool visible = model->visible();
        if (const window::Control* container = model->container()) {
            left += container->row().left;
            top += container->row().top;
            enabled = enabled && container->enabled();
            visible = visible && container->visible();
        }
        const RECT want{px(left, dpi), px(top, dpi), px(left + c.width, dpi), px(top + c.height, dpi)};
        const std::string name(c.name);
        std::size_t index = natives.size();
        for (std::size_t i = 0; i < natives.size(); ++i) {
            if (shows[i] || natives[i].cls != expectedClass(c.kind)) continue;
            if (EqualRect(&natives[i].rect, &want)) {
                index = i;
                break;
            }
        }
        if (index == natives.size()) {
            std::string seen;
            for (const Child& n : natives)
                if (n.cls == expectedClass(c.kind)) seen.append(" ").append(rectText(n.rect));
            fail(name.c_str(), "no " + narrow(expectedClass(c.kind)) + " at " + rectText(want) + "; seen" + seen);
            continue;
        }
        shows[index] = &c;
        const HWND h = natives[index].handle;

        std::string caption;
        switch (c.kind) {
        case window::ControlKind::Label: caption = static_cast<const window::Label*>(model)->caption(); break;
        case window::ControlKind::TextBox: caption = static_cast<const window::TextBox*>(model)->text(); break;
        case window::ControlKind::SelectionList: break;
        default: caption = std::string(c.caption); break;
        }
        const std::wstring shown = windowText(h);
        if (c.kind != window::ControlKind::SelectionList && shown != widen(caption))
            fail(name.c_str(), "caption " + narrow(shown));
        if ((IsWindowEnabled(h) != FALSE) != enabled) fail(name.c_str(), enabled ? "disabled" : "enabled");
        const LONG style = GetWindowLongW(h, GWL_STYLE);
        if (((style & WS_VISIBLE) != 0) != visible) fail(name.c_str(), visible ? "hidden" : "visible");

        if (c.kind == window::ControlKind::SelectionList && (style & 3) != CBS_DROPDOWNLIST)
            fail(name.c_str(), "not a drop-down list");
        if (c.kind == window::ControlKind::Frame && (style & BS_TYPEMASK) != BS_GROUPBOX)
            fail(name.c_str(), "not a group box");
        if (c.kind == window::ControlKind::TextBox &&
            (!(style & ES_MULTILINE) || !(style & ES_READONLY) || (style & (WS_VSCROLL | WS_HSCROLL))))
            fail(name.c_str(), "not a multi-line read-only box without scroll bars");
    }
    if (natives.size() != expectedCount)
        fail("controls",
             std::to_string(natives.size()) + " native controls, expected " + std::to_string(expectedCount));

    // Focus moves in creation order: the controls that can take focus come
    // in ascending TabIndex.
    int lastTab = -1;
    for (std::size_t i = 0; i < natives.size(); ++i) {
        if (!shows[i] || !(GetWindowLongW(natives[i].handle, GWL_STYLE) & WS_TABSTOP)) continue;
        if (shows[i]->tabIndex < lastTab) fail("tab order", std::string(shows[i]->name));
        lastTab = shows[i]->tabIndex;
    }
}

// Writes the window as it is on screen, frame included, to a 24-bit BMP.
void savePicture(HWND main, const std::wstring& path) {
    RECT r{};
    GetWindowRect(main, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        SelectObject(memory, old);
        const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
        const DWORD imageBytes = stride * static_cast<DWORD>(h);
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        file.bfSize = file.bfOffBits + imageBytes;
        HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(out, &file, sizeof file, &written, nullptr);
            WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
            WriteFile(out, bits, imageBytes, &written, nullptr);
            CloseHandle(out);
        } else {
            fail("picture", "cannot write " + narrow(path));
        }
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// The program file carries the icon in both sizes, the manifest and a
// version record naming the product.
void checkResources(const std::wstring& program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    std::vector<unsigned char> version(size);
    wchar_t* product = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(program.c_str(), 0, size, version.data()) ||
        !VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&product),
                        &length) ||
        std::wstring(product) != L"Vandrel Configuration")
        fail("version record", "no product name \"Vandrel Configuration\"");

    HMODULE module =
        LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        fail("resources", "cannot read " + narrow(program));
        return;
    }
    for (const int side : {32, 16}) {
        HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0);
        ICONINFO info{};
        BITMAP bitmap{};
        if (!icon || !GetIconInfo(static_cast<HICON>(icon), &info) ||
            !GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap) || bitmap.bmWidth != side)
            fail("icon", std::to_string(side) + " by " + std::to_string(side) + " missing");
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (icon) DestroyIcon(static_cast<HICON>(icon));
    }
    if (!FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)))  // RT_MANIFEST
        fail("manifest", "no application manifest");
    FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: win32_smoke <vandrel.exe> <picture.bmp>\n");
        return 1;
    }
    wchar_t display[256] = {};
    if (GetEnvironmentVariableW(L"DISPLAY", display, 256) == 0 &&
        GetEnvironmentVariableW(L"WAYLAND_DISPLAY", display, 256) == 0 && GetSystemMetrics(SM_CXSCREEN) <= 0) {
        std::fprintf(stderr, "SKIP no display\n");
        return kSkipped;
    }

    std::wstring program = windowsPath(argv[1]);
    checkResources(program);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fail("start", narrow(program));
        return 1;
    }

    Found found{process.dwProcessId, nullptr};
    const ULONGLONG deadline = GetTickCount64() + kWindowWaitMs;
    while (!found.window && GetTickCount64() < deadline) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
        EnumWindows(&findVandrel, reinterpret_cast<LPARAM>(&found));
        if (!found.window) Sleep(100);
    }
    if (!found.window) {
        fail("window", "no visible top-level window captioned \"Vandrel\"");
        TerminateProcess(process.hProcess, 1);
    } else {
        // Let start-up finish painting before the picture is taken.
        Sleep(1000);
        const UINT dpi = GetDpiForWindow(found.window) ? GetDpiForWindow(found.window) : 96;
        checkWindow(found.window, dpi);
        checkControls(found.window, dpi);
        SetForegroundWindow(found.window);
        RedrawWindow(found.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(300);
        savePicture(found.window, windowsPath(argv[2]));

        PostMessageW(found.window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, kExitWaitMs) != WAIT_OBJECT_0) {
            fail("close", "the process did not end after WM_CLOSE");
            TerminateProcess(process.hProcess, 1);
        } else {
            DWORD code = 1;
            GetExitCodeProcess(process.hProcess, &code);
            if (code != 0) fail("exit code", std::to_string(code));
        }
    }
    WaitForSingleObject(process.hProcess, kExitWaitMs);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (g_failures == 0) std::printf("PASS window, %s\n", "controls and close");
    return g_failures == 0 ? 0 : 1;
}
