// Numbers as the window writes and reads them: the same texts whatever the
// desktop's language.
#include "window/amplitude.h"
#include "window/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
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

}  // namespace
