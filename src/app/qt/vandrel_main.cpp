// The program: the window over the units attached through the operating
// system's HID services. It takes no argument, reads no file and keeps no
// state.
#include "device/native_platform.h"
#include "frontend/qt/main_window.h"
#include "window/frm_main.h"

#include <QApplication>

#include <memory>

int main(int /*argc*/, char** argv) {
    // Nothing from the command line is interpreted, not even Qt's options.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    const std::unique_ptr<device::HidPlatform> platform = device::makeNativePlatform();
    window::frmMain form(*platform);
    frontend::qt::MainWindow mainWindow(form);
    mainWindow.start();
    return app.exec();
}
