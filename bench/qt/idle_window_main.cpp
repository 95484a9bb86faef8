// The floor for `vandrel` left idle: a bare Qt window with a 50 ms QTimer
// whose slot does nothing, measured side by side with it by
// scripts/bench-idle.sh.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare window");
    window.resize(480, 360);
    window.show();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start(50);
    return app.exec();
}
