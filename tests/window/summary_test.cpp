// The summary text, exactly as a user reads it.
#include "window/summary.h"

#include <gtest/gtest.h>

namespace {

struct SummaryCase {
    const char* name;
    int polarity;
    const char* amplitude;
    double factory;
    const char* user;
    const char* expected;
};

class SummaryText : public testing::TestWithParam<SummaryCase> {};

TEST_P(SummaryText, Golden) {
    const SummaryCase& c = GetParam();
    const std::string text = window::composeSummary(c.polarity, c.amplitude, c.factory, c.user);
    EXPECT_EQ(text, c.expected);
    EXPECT_FALSE(text.ends_with("\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Golden, SummaryText,
                         testing::Values(SummaryCase{"defaults", 1, "914", 1.0, "1.000",
                                                     "Output level into 50R load: 914 mVpp\r\n"
                                                     "Output level into high impedance load: 1828 mVpp\r\n"
                                                     "Output is in phase with trigger output\r\n"
                                                     "Factory calibration adjustment 1\r\n"
                                                     "User calibration adjustment 1.000"},
                                         SummaryCase{"off", 0, "914", 0.95, "1.050",
                                                     "Output is OFF\r\n"
                                                     "Factory calibration adjustment 0.95\r\n"
                                                     "User calibration adjustment 1.050"},
                                         SummaryCase{"inverted", 2, "457", 6.5535, "0.500",
                                                     "Output level into 50R load: 457 mVpp\r\n"
                                                     "Output level into high impedance load: 914 mVpp\r\n"
                                                     "Output is inverted compared to trigger output\r\n"
                                                     "Factory calibration adjustment 6.5535\r\n"
                                                     "User calibration adjustment 0.500"},
                                         SummaryCase{"top_and_zero", 1, "0", 0.0001, "2.100",
                                                     "Output level into 50R load: 0 mVpp\r\n"
                                                     "Output level into high impedance load: 0 mVpp\r\n"
                                                     "Output is in phase with trigger output\r\n"
                                                     "Factory calibration adjustment 0.0001\r\n"
                                                     "User calibration adjustment 2.100"},
                                         SummaryCase{"no_polarity_selected", -1, "", 1.0, "",
                                                     "Factory calibration adjustment 1\r\n"
                                                     "User calibration adjustment "}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SummaryText, LineCounts) {
    auto lines = [](const std::string& s) {
        std::size_t n = 1;
        for (std::size_t p = s.find("\r\n"); p != std::string::npos; p = s.find("\r\n", p + 2)) ++n;
        return n;
    };
    EXPECT_EQ(lines(window::composeSummary(0, "1624", 1.0, "1.000")), 3u);
    EXPECT_EQ(lines(window::composeSummary(1, "1624", 1.0, "1.000")), 5u);
    EXPECT_EQ(lines(window::composeSummary(2, "1624", 1.0, "1.000")), 5u);
    EXPECT_NE(window::composeSummary(1, "1624", 1.0, "1.000").find("3248 mVpp"), std::string::npos);
}

}  // namespace
