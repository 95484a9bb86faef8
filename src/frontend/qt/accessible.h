#pragma once

#include <string_view>

class QWidget;

namespace frontend::qt {

// Marks a widget as the view of a named control of the window, so that
// screen readers get the control's name, value and group from the core's
// table rather than from what the toolkit guesses.
void markAccessible(QWidget* widget, std::string_view controlName);

// Registers the accessible interfaces of marked widgets; safe to call more
// than once.
void installAccessibleFactory();

}  // namespace frontend::qt
