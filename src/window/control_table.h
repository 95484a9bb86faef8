#pragma once

#include <span>
#include <string_view>

namespace window {

enum class ControlKind { Frame, Label, SelectionList, TextBox, Button, Timer };

// Character sets as the font mapper numbers them.
inline constexpr int kAnsiCharset = 0;
inline constexpr int kCyrillicCharset = 204;

struct FontSpec {
    std::string_view face;
    double points = 0;
    int weight = 400;
    int charset = kAnsiCharset;
};

// One control of the main window as it is when the window is created.
// Positions and sizes are in twips, relative to the container.
struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    std::string_view container;  // empty: the window's client area
    int left, top, width, height;
    FontSpec font;
    bool enabled;
    bool visible;
    bool valueField;  // window-text on window-background colours
    int tabIndex;     // -1: takes no part in the tab order
};

struct WindowSpec {
    std::string_view name;
    std::string_view caption;
    std::string_view programTitle;
    int clientWidth;   // twips
    int clientHeight;  // twips
};

inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch
inline constexpr int kTimerDesignInterval = 50;

const WindowSpec& windowSpec();
// Every control of the window, in the order the window lists them.
std::span<const ControlSpec> controlTable();
// nullptr when no control has that name.
const ControlSpec* findControlSpec(std::string_view name);

// What a screen reader announces for a control. A list or value field has
// no caption of its own: the label beside it names it. The summary has
// neither, so it carries its own name.
struct AccessibleEntry {
    std::string_view control;
    std::string_view labelledBy;  // the label that names the control, or empty
    std::string_view name;        // the name when no label gives one
    std::string_view description;
};

// The controls a caption alone does not describe have an entry; every other
// control is named by its own caption, and gets nullptr.
const AccessibleEntry* findAccessibleEntry(std::string_view control);
// The name to announce: the caption of the label that names the control,
// its own accessible name, or empty when its caption is its name.
std::string_view accessibleName(std::string_view control);
// A value field's caption as a screen reader should read it: without the
// blank the window shows before a unit's strings.
std::string_view accessibleValue(std::string_view caption);

}  // namespace window
