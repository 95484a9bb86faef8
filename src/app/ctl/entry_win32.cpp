#include "app/ctl/host_advice.h"

#include <windows.h>

namespace {

// The command line arrives as UTF-16; the program works in UTF-8.
std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Device strings hold U+0080 to U+00FF; the console shows them only
    // when told the bytes are UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(utf8(argv[i]));
    return app::runVandrelctl(args);
}
