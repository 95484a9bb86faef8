#include "bare_window.h"

#include "protocol/config_report.h"
#include "window/texts.h"
#include "window/control_table.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <map>
#include <utility>
#include <string_view>

namespace bench {

BareTexts bareTexts() {
    BareTexts texts;
    for (int k = 0; k < protocol::kCalibrationCodes; ++k)
        texts.calibration.append(QString::fromStdString(window::calibrationText(k)));
    for (int code = 0; code < protocol::kAmplitudeCodes; ++code)
        texts.amplitude.append(QString::fromStdString(window::amplitudeText(code, 1.0, 1.0)));
    texts.polarity = {QStringLiteral("Off"), QStringLiteral("Normal"), QStringLiteral("Inverted")};
    texts.serials = {QStringLiteral("VD-000101"), QStringLiteral("VD-000102")};
    return texts;
}

void buildBareWindow(QWidget& window, const BareTexts& texts) {
    window.setFixedSize(361, 574);
    window.setWindowTitle(QStringLiteral("Vandrel"));
    std::map<std::string_view, QWidget*> frames;
    for (const window::ControlSpec& row : window::controlTable()) {
        QWidget* parent = row.container.empty() ? &window : frames[row.container];
        QWidget* w = nullptr;
        switch (row.kind) {
        case window::ControlKind::Frame:
            w = new QGroupBox(QString::fromUtf8(row.caption), parent);
            frames[row.name] = w;
            break;
        case window::ControlKind::Label:
            w = new QLabel(row.valueField ? QStringLiteral("Vandrel Pulse Generator") : QString::fromUtf8(row.caption),
                           parent);
            break;
        case window::ControlKind::SelectionList: {
            auto* list = new QComboBox(parent);
            const std::pair<const QStringList*, int> fill = row.name == "Cal"     ? std::pair{&texts.calibration, 600}
                                                            : row.name == "Enc1"  ? std::pair{&texts.amplitude, 280}
                                                            : row.name == "Enc2"  ? std::pair{&texts.polarity, 1}
                                                            : row.name == "SerNo" ? std::pair{&texts.serials, 0}
                                                                                  : std::pair{nullptr, -1};
            if (fill.first) {
                list->addItems(*fill.first);
                list->setCurrentIndex(fill.second);
            }
            w = list;
            break;
        }
        case window::ControlKind::TextBox:
            w = new QPlainTextEdit(QStringLiteral("Output level into 50R load: 900 mVpp\n"
                                                  "Output level into high impedance load: 1800 mVpp\n"
                                                  "Output is in phase with trigger output\n"
                                                  "Factory calibration adjustment 1.000\n"
                                                  "User calibration adjustment 1.000"),
                                   parent);
            break;
        case window::ControlKind::Button: w = new QPushButton(QString::fromUtf8(row.caption), parent); break;
        case window::ControlKind::Timer: continue;
        }
        w->setGeometry(row.left / 15, row.top / 15, row.width / 15, row.height / 15);
        if (!row.visible) w->hide();
    }
}

}  // namespace bench
