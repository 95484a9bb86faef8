#pragma once

#include "window/control_table.h"

#include <windows.h>

#include <map>
#include <string>

namespace frontend::win32 {

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

}  // namespace frontend::win32
