#include "ctl/internal.h"

#include "device/hex_text.h"

namespace ctl {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid && length == 2 && c < 0xC2) valid = false;
        if (!valid) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        unsigned code = c;
        if (length == 2) code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            out += "\\u" + device::hexNumber(code, 4, false);
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    out += '"';
    return out;
}

void JsonWriter::beforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasItems.empty()) {
        if (m_hasItems.back()) m_text += ',';
        m_hasItems.back() = true;
    }
}

JsonWriter& JsonWriter::open(char bracket) {
    beforeValue();
    m_text += bracket;
    m_hasItems.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    m_text += bracket;
    m_hasItems.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    raw(cat({"\"", name, "\":"}));
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::raw(std::string_view text) {
    beforeValue();
    m_text += text;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) { return raw(jsonString(text)); }

JsonWriter& JsonWriter::stringOrNull(const std::optional<std::string>& text) {
    return text ? string(std::string_view(*text)) : null();
}

JsonWriter& JsonWriter::number(long long value) { return raw(std::to_string(value)); }

JsonWriter& JsonWriter::number(const std::optional<long long>& value) { return value ? number(*value) : null(); }

JsonWriter& JsonWriter::numberText(const std::optional<std::string>& text) { return text ? raw(*text) : null(); }

JsonWriter& JsonWriter::boolean(bool value) { return raw(value ? "true" : "false"); }

JsonWriter& JsonWriter::null() { return raw("null"); }

}  // namespace ctl
