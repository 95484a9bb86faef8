#include "fuzz/parser_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Target {
    const char* corpus;
    void (*check)(fuzz::Bytes);
};

constexpr Target kTargets[] = {
    {"utf16_text", fuzz::checkUtf16Text},
    {"win32_records", fuzz::checkWin32Records},
    {"scenario", fuzz::checkScenario},
#ifdef VANDREL_FUZZ_HIDRAW
    {"report_descriptor", fuzz::checkReportDescriptor},
    {"sysfs", fuzz::checkSysfs},
#endif
};

// Each parser's seeds and the inputs its fuzzer found, through the same
// check the fuzzer runs; a broken invariant aborts the test.
TEST(ParserCorpusReplay, EveryInputKeepsItsParsersInvariants) {
    for (const Target& target : kTargets) {
        const fs::path dir = fs::path(VANDREL_FUZZ_CORPORA_DIR) / target.corpus;
        std::vector<fs::path> files;
        for (const fs::directory_entry& e : fs::directory_iterator(dir))
            if (e.is_regular_file()) files.push_back(e.path());
        std::sort(files.begin(), files.end());
        EXPECT_FALSE(files.empty()) << target.corpus;
        for (const fs::path& file : files) {
            SCOPED_TRACE(file.string());
            std::ifstream in(file, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            target.check(bytes);
        }
        std::printf("  %s: %zu inputs\n", target.corpus, files.size());
    }
}

}  // namespace
