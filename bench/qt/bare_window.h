#pragma once

#include <QStringList>

class QWidget;

namespace bench {

// The texts the program's lists hold once a unit is connected.
struct BareTexts {
    QStringList calibration;  // 1701 items
    QStringList amplitude;    // 511 items
    QStringList polarity;
    QStringList serials;
};
BareTexts bareTexts();

// The window's widgets at the window's places, as bare Qt widgets with the
// lists filled from texts and nothing behind them: what the program's
// window costs Qt alone.
void buildBareWindow(QWidget& window, const BareTexts& texts);

}  // namespace bench
