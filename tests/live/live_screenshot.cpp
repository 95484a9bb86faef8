// The Qt window over the native HID backend, as the program runs it,
// rendered off screen once the timer has polled the unit a few times:
//   vandrel-live-screenshot FILE
// The live stack runs it in its guest beside a virtual unit.
#include "device/native_platform.h"
#include "frontend/qt/main_window.h"
#include "window/frm_main.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Past the first 50 ms tick and a 500 ms one: the picture shows a
// connection that has already proved itself by its input reports.
constexpr int kSettleMilliseconds = 1200;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    const std::unique_ptr<device::HidPlatform> platform = device::makeNativePlatform();
    window::frmMain form(*platform);
    frontend::qt::MainWindow mainWindow(form);
    mainWindow.start();

    int result = 1;
    QTimer::singleShot(kSettleMilliseconds, &mainWindow, [&] {
        mainWindow.flush();
        if (!form.connection().DeviceDetected) {
            std::fprintf(stderr, "vandrel-live-screenshot: no unit is connected\n");
        } else if (mainWindow.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
            result = 0;
        } else {
            std::fprintf(stderr, "vandrel-live-screenshot: cannot write %s\n", argv[1]);
        }
        mainWindow.close();
    });
    app.exec();
    return result;
}
