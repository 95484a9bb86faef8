// The texts a user reads: numbers as the window writes and reads them,
// the same whatever the desktop's language; the calibrated amplitude and
// calibration texts; and the summary, exactly.
#include "window/texts.h"

#include "protocol/config_report.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <set>
#include <string>

namespace {

TEST(FormatNumber, FifteenSignificantDigitsNoTrailingZerosNoExponent) {
    EXPECT_EQ(window::formatNumber(1.0), "1");
    EXPECT_EQ(window::formatNumber(0.95), "0.95");
    EXPECT_EQ(window::formatNumber(1.0123), "1.0123");
    EXPECT_EQ(window::formatNumber(0.0001), "0.0001");
    EXPECT_EQ(window::formatNumber(1828.0), "1828");
    EXPECT_EQ(window::formatNumber(6.5535), "6.5535");
    EXPECT_EQ(window::formatNumber(0.0), "0");
    EXPECT_EQ(window::formatNumber(44700.0), "44700");
    // 0.1 + 0.2 is 0.30000000000000004; fifteen digits round it back.
    EXPECT_EQ(window::formatNumber(0.1 + 0.2), "0.3");
}

TEST(ParseNumber, WholeTextsWithAPointOnly) {
    EXPECT_EQ(window::parseNumber("1.000"), 1.0);
    EXPECT_EQ(window::parseNumber("0.995"), 0.995);
    EXPECT_EQ(window::parseNumber("914"), 914.0);
    EXPECT_EQ(window::parseNumber(""), std::nullopt);
    EXPECT_EQ(window::parseNumber("1,5"), std::nullopt);
    EXPECT_EQ(window::parseNumber("12 "), std::nullopt);
}

// A numeric facet with a comma separator, as many desktops use.
struct CommaFacet : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class UnderACommaLocale : public testing::Test {
protected:
    void SetUp() override {
        m_previousGlobal = std::locale::global(std::locale(std::locale::classic(), new CommaFacet));
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
            if (std::setlocale(LC_ALL, name)) {
                m_cLocaleSet = true;
                break;
            }
        }
    }
    void TearDown() override {
        std::locale::global(m_previousGlobal);
        std::setlocale(LC_ALL, "C");
    }
    std::locale m_previousGlobal;
    bool m_cLocaleSet = false;
};

TEST_F(UnderACommaLocale, TextsAndValuesAreUnchanged) {
    if (m_cLocaleSet) {
        EXPECT_EQ(*std::localeconv()->decimal_point, ',') << "the C library uses a comma now";
    }
    EXPECT_EQ(window::formatNumber(0.95), "0.95");
    EXPECT_EQ(window::formatNumber(1828.0), "1828");
    EXPECT_EQ(window::calibrationText(600), "1.000");
    EXPECT_EQ(window::calibrationText(95), "0.495");
    EXPECT_EQ(window::parseNumber("1.050"), 1.05);
    EXPECT_EQ(window::amplitudeText(280, 0.95, *window::parseNumber(window::calibrationText(600))), "868");
}

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
