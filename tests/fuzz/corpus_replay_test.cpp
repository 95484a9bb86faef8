#include "fuzz/event_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Every input in the corpus, seeds and regressions alike, runs through the
// same driver the fuzzer uses; a broken invariant aborts the test.
TEST(CorpusReplay, EveryInputKeepsEveryInvariant) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(VANDREL_FUZZ_CORPUS_DIR))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    std::size_t events = 0;
    std::size_t reports = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        fuzz::EventDriver driver;
        const fuzz::RunCounts counts = driver.run(bytes);
        EXPECT_GT(counts.events, 0u);
        std::printf("  %s: %zu events, %zu feature reports\n", file.filename().string().c_str(), counts.events,
                    counts.reportsChecked);
        events += counts.events;
        reports += counts.reportsChecked;
    }
    EXPECT_GT(reports, 0u) << "no input in the corpus reaches a feature write";
    std::printf("corpus: %zu inputs, %zu events, %zu feature reports checked\n", files.size(), events, reports);
}

}  // namespace
