#include "device/utf16_text.h"

#include <cstddef>

namespace device {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // Length of the sequence and the range its second byte must fall in;
        // the narrowed ranges exclude overlong forms, surrogates and values
        // past U+10FFFF.
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        char32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t used = 1;
        for (; used < length && i + used < text.size(); ++used) {
            const auto c = static_cast<unsigned char>(text[i + used]);
            const bool inRange = used == 1 ? (c >= low && c <= high) : isContinuation(c);
            if (!inRange) break;
            code = (code << 6) | (c & 0x3F);
        }
        if (used < length) {
            // The lead and the continuation bytes accepted so far are one
            // invalid part; the byte that broke the sequence starts afresh.
            out.push_back(kReplacement);
            i += used;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

void writeUtf16Le(std::u16string_view text, std::span<std::uint8_t> buffer) {
    const std::size_t capacity = buffer.size() / 2;
    std::size_t units = 0;
    while (units < text.size() && units < capacity) {
        const char16_t unit = text[units];
        const bool highSurrogate = unit >= 0xD800 && unit <= 0xDBFF;
        if (highSurrogate && units + 1 < text.size() && units + 1 >= capacity) break;
        ++units;
    }
    for (std::size_t k = 0; k < units; ++k) {
        buffer[2 * k] = static_cast<std::uint8_t>(text[k] & 0xFF);
        buffer[2 * k + 1] = static_cast<std::uint8_t>(text[k] >> 8);
    }
    if (units < capacity) {
        buffer[2 * units] = 0;
        buffer[2 * units + 1] = 0;
    }
}

std::string utf16ToUtf8(std::u16string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        // The lead byte's marker for 0 to 3 continuation bytes.
        constexpr char32_t kLeadMarks[] = {0x00, 0xC0, 0xE0, 0xF0};
        const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out.push_back(static_cast<char>(kLeadMarks[extra] | (c >> (6 * extra))));
        for (int k = extra - 1; k >= 0; --k) out.push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
    }
    return out;
}

}  // namespace device
