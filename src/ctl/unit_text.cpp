#include "ctl/internal.h"

#include "device/hex_text.h"
#include "protocol/identity.h"

namespace ctl {

std::string shownPath(const ShowPath& show, const std::string& path) { return show ? show(path) : path; }

std::string printable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned code = static_cast<unsigned char>(text[i]);
        if (code == 0xC2 && i + 1 < text.size()) {
            const unsigned next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next < 0xA0) code = next, ++i;  // U+0080 to U+009F
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            out += "\\x" + device::hexNumber(code, 2);
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string versionOf(const InterfaceFacts& unit) {
    return protocol::versionText(unit.attributes->VersionNumber).substr(1);
}

std::string unitName(const InterfaceFacts& unit) {
    return unit.serial->empty() ? std::string("the unit with an empty serial") : "unit " + printable(*unit.serial);
}

std::string hex4(unsigned value) { return device::hexNumber(value, 4, false); }

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) out += part;
    return out;
}

}  // namespace ctl
