// What the Qt view costs where a user waits for it, each figure beside the
// same widget work done with bare Qt calls in the same run:
// - a full refresh of a connected unit (1701 calibration items and three
//   amplitude rebuilds) through the view, against filling a bare combo box
//   with the same lists;
// - the demo's start-up to its first painted window, against a bare window
//   holding the same widgets and list items.
// Everything runs under Qt's offscreen platform, so no display is needed
// and painting goes to memory.
#include "app/qt/demo_panel.h"
#include "bare_window.h"
#include "frontend/qt/main_window.h"
#include "window/control_table.h"
#include "window/frm_main.h"

#include <QApplication>
#include <QComboBox>
#include <QStringList>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <array>

namespace {

QStringList listTexts(const window::SelectionList& list) {
    QStringList texts;
    for (const std::string& item : list.items()) texts.append(QString::fromStdString(item));
    return texts;
}

// The demo's window after start-up, shown.
struct ShownDemo {
    device::sim::SimPlatform platform;
    std::array<demo::DemoUnit, 2> units = demo::plugDemoUnits(platform);
    window::frmMain form{platform};
    frontend::qt::MainWindow view{form};

    ShownDemo() {
        view.start();
        view.flush();
        QCoreApplication::processEvents();
    }
    ~ShownDemo() { view.close(); }
};

void BM_RefreshThroughView(benchmark::State& state) {
    ShownDemo demo;
    for (auto _ : state) {
        demo.form.RefreshDeviceState();
        demo.view.flush();
        QCoreApplication::processEvents();
    }
    state.SetLabel("1701 calibration items, 3 amplitude rebuilds");
}
BENCHMARK(BM_RefreshThroughView)->Unit(benchmark::kMillisecond);

// The core's own part of that refresh, with no view attached: what is left
// of the view's figure after subtracting this is the view's cost.
void BM_RefreshCoreOnly(benchmark::State& state) {
    device::sim::SimPlatform platform;
    demo::plugDemoUnits(platform);
    window::frmMain form{platform};
    form.Form_Load();
    for (auto _ : state) form.RefreshDeviceState();
    bool cancel = false;
    form.Form_Unload(cancel);
}
BENCHMARK(BM_RefreshCoreOnly)->Unit(benchmark::kMillisecond);

// Two bare shown combo boxes and the texts a refresh puts into them.
struct BareCombos {
    BareCombos() {
        {
            ShownDemo demo;
            calibration = listTexts(demo.form.Cal);
            amplitude = listTexts(demo.form.Enc1);
        }
        window.show();
    }
    // Times one refresh's worth of fills: the calibration list once, the
    // amplitude list three times, each through fill.
    template <typename Fill>
    void time(benchmark::State& state, Fill fill) {
        for (auto _ : state) {
            fill(cal, calibration);
            cal->setCurrentIndex(600);
            for (int rebuild = 0; rebuild < 3; ++rebuild) {
                fill(enc1, amplitude);
                enc1->setCurrentIndex(280);
            }
            QCoreApplication::processEvents();
        }
    }

    QStringList calibration;
    QStringList amplitude;
    QWidget window;
    QComboBox* cal = new QComboBox(&window);
    QComboBox* enc1 = new QComboBox(&window);
};

// The same lists put into bare shown combo boxes with Qt's bulk call: the
// widget work a refresh cannot avoid.
void BM_BareComboFill(benchmark::State& state) {
    BareCombos().time(state, [](QComboBox* box, const QStringList& texts) {
        box->clear();
        box->addItems(texts);
    });
}
BENCHMARK(BM_BareComboFill)->Unit(benchmark::kMillisecond);

// For scale: the same fill one item at a time, as a view that mirrored
// every added item at once would do.
void BM_BareComboFillItemByItem(benchmark::State& state) {
    BareCombos().time(state, [](QComboBox* box, const QStringList& texts) {
        box->clear();
        for (const QString& text : texts) box->addItem(text);
    });
}
BENCHMARK(BM_BareComboFillItemByItem)->Unit(benchmark::kMillisecond);

void BM_DemoStartupToFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        ShownDemo demo;
        demo.view.repaint();
        benchmark::DoNotOptimize(demo.view.isVisible());
    }
}
BENCHMARK(BM_DemoStartupToFirstPaint)->Unit(benchmark::kMillisecond);

// A bare window with the same widgets at the same places, holding the same
// list items (the 1701 calibration and 511 amplitude texts among them),
// shown and painted. The texts are made once, outside the measurement.
void BM_BareWindowToFirstPaint(benchmark::State& state) {
    const bench::BareTexts texts = bench::bareTexts();
    for (auto _ : state) {
        QWidget window;
        bench::buildBareWindow(window, texts);
        window.show();
        QCoreApplication::processEvents();
        window.repaint();
        benchmark::DoNotOptimize(window.isVisible());
    }
}
BENCHMARK(BM_BareWindowToFirstPaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
