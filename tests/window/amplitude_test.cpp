// The calibrated amplitude texts a user reads, and the calibration texts.
#include "window/amplitude.h"
#include "protocol/config_report.h"
#include "window/number_text.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct Level {
    double factory;
    const char* user;  // the calibration text, read back as the window does
    int code;
    long long millivolts;
};

class AmplitudeLevels : public testing::TestWithParam<Level> {};

TEST_P(AmplitudeLevels, MatchTheStepByStepComputation) {
    const Level& l = GetParam();
    EXPECT_EQ(window::amplitudeMillivolts(l.code, l.factory, *window::parseNumber(l.user)), l.millivolts);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AmplitudeLevels,
    testing::Values(Level{1.0, "1.000", 0, 49}, Level{1.0, "1.000", 1, 52}, Level{1.0, "1.000", 2, 56},
                    // 40 x 0.247 rounds just below 9.88: 123, where exact arithmetic gives 124.
                    Level{1.0, "1.000", 24, 123}, Level{1.0, "1.000", 280, 914}, Level{1.0, "1.000", 510, 1624},
                    Level{0.95, "1.000", 0, 47}, Level{0.95, "1.000", 280, 868}, Level{1.0, "0.500", 280, 457},
                    Level{1.0, "0.400", 0, 20}, Level{1.0, "0.400", 510, 650}, Level{1.0, "2.100", 0, 104},
                    Level{1.0, "2.100", 510, 3410}, Level{6.5535, "2.100", 0, 680}, Level{6.5535, "2.100", 510, 22350},
                    Level{0.0, "1.000", 0, 0}, Level{0.0, "2.100", 510, 0}));

TEST(AmplitudeLevelsAtFactorZero, AllItemsReadZero) {
    for (int k = 0; k < protocol::kAmplitudeCodes; ++k) ASSERT_EQ(window::amplitudeText(k, 0.0, 1.4), "0");
}

TEST(CalibrationTexts, ThreeDecimalsEveryOneDistinctAndReadBackExactly) {
    std::set<std::string> seen;
    for (int k = 0; k < protocol::kCalibrationCodes; ++k) {
        const std::string text = window::calibrationText(k);
        ASSERT_EQ(text.size(), 5u) << k;
        ASSERT_EQ(text[1], '.') << k;
        seen.insert(text);
        const long long thousandths = 400 + k;
        const std::string expected = std::to_string(thousandths / 1000) + "." +
                                     std::string(3 - std::to_string(thousandths % 1000).size(), '0') +
                                     std::to_string(thousandths % 1000);
        ASSERT_EQ(text, expected) << k;
    }
    EXPECT_EQ(seen.size(), 1701u);
    EXPECT_EQ(window::calibrationText(0), "0.400");
    EXPECT_EQ(window::calibrationText(600), "1.000");
    EXPECT_EQ(window::calibrationText(1000), "1.400");
    EXPECT_EQ(window::calibrationText(1700), "2.100");
}

}  // namespace
