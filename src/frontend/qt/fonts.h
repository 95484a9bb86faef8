#pragma once

#include "window/control_table.h"

#include <QFont>

namespace frontend::qt {

// Maps the window's design-time faces to installed metric-compatible ones,
// so text keeps the widths the layout was drawn for. Idempotent.
void installFontSubstitutes();

// The control's font; an empty face keeps the application's default.
QFont fontFor(const window::FontSpec& design);

}  // namespace frontend::qt
