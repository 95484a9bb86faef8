// The window over two simulated units, with a panel to unplug and plug them
// back. With --screenshot FILE it writes a PNG of the main window once
// start-up has finished, and exits.
#include "demo_panel.h"
#include "frontend/qt/main_window.h"
#include "window/frm_main.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Start-up ends with the timer's first 50 ms tick, which polls the unit
// and slows the timer down; the screenshot is taken after it.
constexpr int kSettleMilliseconds = 300;
constexpr int kPanelGap = 12;  // pixels between the two windows

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s [--screenshot FILE]\n", program);
    return 2;
}

bool hasDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"); }

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> screenshot;
    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0 && argv[2][0] != '\0') screenshot = argv[2];
    else if (argc != 1) return usage(argv[0]);

    // A screenshot needs no display: render off screen when there is none.
    if (screenshot && !hasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Qt would interpret options of its own; the demo takes only the above.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    device::sim::SimPlatform platform;
    const auto units = demo::plugDemoUnits(platform);
    window::frmMain form(platform);
    frontend::qt::MainWindow mainWindow(form);
    mainWindow.start();

    if (screenshot) {
        int result = 1;
        QTimer::singleShot(kSettleMilliseconds, &mainWindow, [&] {
            mainWindow.flush();
            const QString file = QString::fromLocal8Bit(screenshot->c_str());
            if (mainWindow.grab().save(file, "PNG")) {
                result = 0;
            } else {
                std::fprintf(stderr, "vandrel-demo: cannot write %s\n", screenshot->c_str());
            }
            mainWindow.close();
        });
        app.exec();
        return result;
    }

    demo::DemoPanel panel(platform, units);
    panel.adjustSize();
    // Beside the main window: to its right where the screen leaves room,
    // else to its left, else as far right as the screen allows.
    const QRect frame = mainWindow.frameGeometry();
    QPoint at = frame.topRight() + QPoint(kPanelGap, 0);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const int width = panel.frameGeometry().width();
        if (at.x() + width > area.right()) {
            const int left = frame.left() - kPanelGap - width;
            at.setX(left >= area.left() ? left : std::max(area.left(), area.right() - width));
        }
    }
    panel.move(at);
    panel.show();
    return app.exec();
}
