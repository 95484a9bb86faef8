#pragma once

#include "window/control_table.h"
#include "window/controls.h"

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct IAccPropServices;

namespace frontend::win32 {

// UTF-8 as the core holds text to the UTF-16 the system's wide calls take;
// empty when the system cannot convert it.
std::wstring widen(std::string_view text);

// The fonts of the window's table at one density, one per design face,
// size, weight and character set; released with the set.
class FontSet {
public:
    explicit FontSet(UINT dpi);
    ~FontSet();
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;

    // nullptr for an empty face, or one the system refused: the control
    // keeps the system's font.
    HFONT fontFor(const window::FontSpec& design) const;

private:
    std::map<std::string, HFONT> m_fonts;
};

// Lists, value fields and the summary have no caption of their own to be
// named by: their names, descriptions and the value fields' values from
// the core's table are annotated on the system's accessible objects of
// their native controls. Where the system has no annotation service,
// every call does nothing.
class Annotations {
public:
    Annotations() = default;
    ~Annotations();
    Annotations(const Annotations&) = delete;
    Annotations& operator=(const Annotations&) = delete;

    // Starts COM on this thread and finds the service.
    void start();
    // Does nothing for a control the table does not list.
    void annotate(HWND handle, const window::Control& control);
    void annotateValue(HWND handle, const window::Control& valueField);
    // Annotations outlive the controls unless cleared before they go.
    void clear();

private:
    IAccPropServices* m_service = nullptr;
    bool m_comStarted = false;
    std::vector<HWND> m_annotated;
};

}  // namespace frontend::win32
