#include "frontend/qt/main_window.h"

#include <QString>
#include <QStringList>

namespace frontend::qt {

void installFontSubstitutes() {
    // Liberation Sans has Arial's metrics; the bitmap and TrueType sans
    // faces of the original design are close enough to it that captions keep
    // their widths. Other sans faces follow in case it is missing.
    const QStringList substitutes{"Liberation Sans", "Arimo", "DejaVu Sans"};
    for (const char* face : {"MS Sans Serif", "Microsoft Sans Serif", "Arial"}) {
        if (QFont::substitutes(face) != substitutes) {
            QFont::removeSubstitutions(face);
            QFont::insertSubstitutions(face, substitutes);
        }
    }
}

QFont fontFor(const window::FontSpec& design) {
    QFont font;
    if (design.face.empty()) return font;
    font.setFamilies({QString::fromUtf8(design.face.data(), static_cast<qsizetype>(design.face.size()))});
    font.setPointSizeF(design.points);
    font.setWeight(design.weight >= 700 ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    // The character set only chose a code page for 8-bit text; Qt renders
    // Unicode, so it needs no counterpart here.
    return font;
}

}  // namespace frontend::qt
