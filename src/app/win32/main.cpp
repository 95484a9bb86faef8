// vandrel.exe: the main window over the system's HID services.
#include "device/native_platform.h"
#include "frontend/win32/main_window.h"
#include "window/frm_main.h"

#include <windows.h>

#include <memory>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        std::unique_ptr<device::HidPlatform> platform = device::makeNativePlatform();
        window::frmMain form(*platform);
        frontend::win32::MainWindow mainWindow(instance, form);
        if (!mainWindow.create()) return 1;
        form.onShow = [&mainWindow] { mainWindow.show(); };
        form.Form_Load();

        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            // Tab and the arrow keys move focus between the controls.
            if (mainWindow.handle() && IsDialogMessageW(mainWindow.handle(), &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return static_cast<int>(message.wParam);
    } catch (...) {
        // Nothing is reported to the user; the program ends as it would
        // have on close.
        return 1;
    }
}
