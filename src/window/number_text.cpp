#include "window/number_text.h"

#include <array>
#include <charconv>

namespace window {

std::string formatNumber(double value) {
    // to_chars never consults the locale, unlike the stream and printf
    // families; "general" with precision 15 drops trailing zeros and uses
    // fixed notation for every value the window shows.
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    return std::string(buffer.data(), result.ptr);
}

std::optional<double> parseNumber(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (text.empty() || result.ec != std::errc{} || result.ptr != end) return std::nullopt;
    return value;
}

}  // namespace window
