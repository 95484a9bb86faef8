#include "window/control_table.h"

#include <array>

namespace window {

namespace {

constexpr FontSpec kSansSerif{"MS Sans Serif", 9.75, 400, kAnsiCharset};
constexpr FontSpec kArial{"Arial", 9.75, 400, kCyrillicCharset};
constexpr FontSpec kMsSansSerif{"Microsoft Sans Serif", 9.75, 400, kCyrillicCharset};
constexpr FontSpec kNoFont{"", 0, 400, kAnsiCharset};

using K = ControlKind;

constexpr WindowSpec kWindow{"frmMain", "Vandrel", "Vandrel Configuration", 5415, 8610};

// clang-format off
constexpr std::array<ControlSpec, 21> kControls{{
    //  name          kind             caption                          container  left  top   width height font          enabled visible value  tab
    {"Frame1",     K::Frame,         "Device details",               "",       120,  120, 5175, 1935, kSansSerif,   false, true,  false,  0},
    {"Label5",     K::Label,         "Product name",                 "Frame1", 240,  360, 1215,  285, kArial,       true,  true,  false,  7},
    {"lblProduct", K::Label,         "",                             "Frame1", 1680, 360, 3300,  330, kArial,       true,  true,  true,  10},
    {"Label4",     K::Label,         "Made by",                      "Frame1", 240,  720, 1215,  285, kArial,       true,  true,  false,  6},
    {"lblManuf",   K::Label,         "",                             "Frame1", 1680, 720, 3300,  330, kArial,       true,  true,  true,   9},
    {"Label2",     K::Label,         "Version",                      "Frame1", 240, 1080, 1455,  285, kArial,       true,  true,  false,  8},
    {"lblVersion", K::Label,         "",                             "Frame1", 1680,1080, 3300,  330, kArial,       true,  true,  true,  11},
    {"Label3",     K::Label,         "Serial Number",                "Frame1", 240, 1440, 1815,  285, kArial,       true,  true,  false,  5},
    {"SerNo",      K::SelectionList, "",                             "Frame1", 1800,1380, 1320,  360, kArial,       false, true,  false, 18},
    {"Frame3",     K::Frame,         "Output signal",                "",       120, 2280, 5175, 5295, kSansSerif,   false, true,  false, 13},
    {"Enc1",       K::SelectionList, "",                             "Frame3", 240,  480, 1200,  360, kArial,       false, true,  false,  1},
    {"Label6",     K::Label,         "Amplitude, mV into 50R load",  "Frame3", 1500, 540, 3375,  315, kArial,       false, true,  false, 15},
    {"Cal",        K::SelectionList, "",                             "Frame3", 240, 1080, 1200,  360, kArial,       false, true,  false,  2},
    {"Label1",     K::Label,         "Calibration adjustment",       "Frame3", 1500,1140, 2415,  315, kMsSansSerif, false, true,  false, 20},
    {"Enc2",       K::SelectionList, "",                             "Frame3", 240, 1680, 1200,  360, kArial,       false, true,  false,  3},
    {"Label8",     K::Label,         "Polarity",                     "Frame3", 1500,1740, 1575,  315, kArial,       false, true,  false, 17},
    {"Enc3",       K::SelectionList, "",                             "Frame3", 240, 2160, 1200,  360, kArial,       false, false, false, 14},
    {"Label7",     K::Label,         "Deemphasis, %",                "Frame3", 1500,2220, 2415,  315, kMsSansSerif, false, false, false, 16},
    {"Summary",    K::TextBox,       "",                             "Frame3", 240, 2280, 4695, 2775, kSansSerif,   true,  true,  false, 19},
    {"Command1",   K::Button,        "Restore default settings",     "",       1200,7800, 2895,  495, kSansSerif,   true,  true,  false,  4},
    {"Timer",      K::Timer,         "",                             "",       0,    0,    0,    0, kNoFont,      false, false, false, -1},
}};
// clang-format on

constexpr std::array<AccessibleEntry, 9> kAccessible{{
    {"Enc1", "Label6", "", "Output amplitude in calibrated millivolts"},
    {"Cal", "Label1", "", "Adjusts the unit's amplitude calibration"},
    {"Enc2", "Label8", "", "Output off, normal or inverted"},
    {"Enc3", "Label7", "", ""},
    {"SerNo", "Label3", "", "The attached unit to configure"},
    {"lblProduct", "Label5", "", ""},
    {"lblManuf", "Label4", "", ""},
    {"lblVersion", "Label2", "", ""},
    {"Summary", "", "Output summary", "Output levels of the connected unit"},
}};

}  // namespace

const WindowSpec& windowSpec() { return kWindow; }

std::span<const ControlSpec> controlTable() { return kControls; }

const ControlSpec* findControlSpec(std::string_view name) {
    for (const ControlSpec& c : kControls)
        if (c.name == name) return &c;
    return nullptr;
}

const AccessibleEntry* findAccessibleEntry(std::string_view control) {
    for (const AccessibleEntry& a : kAccessible)
        if (a.control == control) return &a;
    return nullptr;
}

std::string_view accessibleName(std::string_view control) {
    const AccessibleEntry* entry = findAccessibleEntry(control);
    if (!entry) return {};
    if (entry->labelledBy.empty()) return entry->name;
    const ControlSpec* label = findControlSpec(entry->labelledBy);
    return label ? label->caption : std::string_view{};
}

std::string_view accessibleValue(std::string_view caption) {
    if (!caption.empty() && caption.front() == ' ') caption.remove_prefix(1);
    return caption;
}

}  // namespace window
