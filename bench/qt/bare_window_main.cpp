// A bare Qt program with the window's widgets and list items, doing what
// `vandrel-demo --screenshot FILE` does: show the window, wait as long,
// grab it, write the PNG and exit. Run side by side with the demo, it gives
// the whole-process start-up that Qt alone costs.
#include "bare_window.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// As long as the demo waits for its start-up to settle before the grab.
constexpr int kSettleMilliseconds = 300;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QWidget window;
    bench::buildBareWindow(window, bench::bareTexts());
    window.show();
    int result = 1;
    QTimer::singleShot(kSettleMilliseconds, &window, [&] {
        if (window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) result = 0;
        window.close();
    });
    app.exec();
    return result;
}
