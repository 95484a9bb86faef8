#include "frontend/win32/support.h"

#include <cmath>
#include <cstdio>

namespace frontend::win32 {

namespace {

std::string fontKey(const window::FontSpec& font) {
    char size[32];
    std::snprintf(size, sizeof size, "|%.2f|%d|%d", font.points, font.weight, font.charset);
    return std::string(font.face) + size;
}

}  // namespace

FontSet::FontSet(UINT dpi) {
    for (const window::ControlSpec& row : window::controlTable()) {
        if (row.font.face.empty()) continue;
        const std::string key = fontKey(row.font);
        if (m_fonts.contains(key)) continue;
        // A negative height asks for the character height, which is what a
        // point size measures.
        const int height = -static_cast<int>(std::lround(row.font.points * dpi / 72.0));
        HFONT font = CreateFontW(height, 0, 0, 0, row.font.weight, FALSE, FALSE, FALSE,
                                 static_cast<DWORD>(row.font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, widen(row.font.face).c_str());
        if (font) m_fonts.emplace(key, font);
    }
}

FontSet::~FontSet() {
    for (auto& [key, font] : m_fonts) DeleteObject(font);
}

HFONT FontSet::fontFor(const window::FontSpec& design) const {
    const auto font = m_fonts.find(fontKey(design));
    return font == m_fonts.end() ? nullptr : font->second;
}

}  // namespace frontend::win32
