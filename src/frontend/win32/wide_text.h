#pragma once

#include <string>
#include <string_view>

namespace frontend::win32 {

// UTF-8 as the core holds text to the UTF-16 the system's wide calls take;
// empty when the system cannot convert it.
std::wstring widen(std::string_view text);

}  // namespace frontend::win32
