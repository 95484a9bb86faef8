#include "device/utf16_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace device {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, Converts) { EXPECT_EQ(utf8ToUtf16(GetParam().utf8), GetParam().utf16); }

INSTANTIATE_TEST_SUITE_P(
    WellFormed, Utf8ToUtf16,
    ::testing::Values(Utf8Case{"Ascii", "VD-000101", u"VD-000101"}, Utf8Case{"TwoByte", "Ger\xC3\xA4t", u"Ger\u00E4t"},
                      Utf8Case{"ThreeByte", "\xE2\x82\xAC 5", u"\u20AC 5"},
                      Utf8Case{"FourByteToPair", "a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
                      Utf8Case{"HighestScalar", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
                      Utf8Case{"EmbeddedZero", std::string("ab\0c", 4), std::u16string(u"ab\0c", 4)}),
    [](const auto& info) { return std::string(info.param.name); });

// One U+FFFD per maximal invalid part; the text around it survives.
INSTANTIATE_TEST_SUITE_P(IllFormed, Utf8ToUtf16,
                         ::testing::Values(Utf8Case{"StrayContinuation", "a\x80z", u"a\uFFFDz"},
                                           Utf8Case{"OverlongSlash", "\xC0\xAF", u"\uFFFD\uFFFD"},
                                           Utf8Case{"OverlongThreeByte", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
                                           Utf8Case{"Surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                                           Utf8Case{"PastLastScalar", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                                           Utf8Case{"InvalidLead", "\xF5\xFF", u"\uFFFD\uFFFD"},
                                           Utf8Case{"CutAtEnd", "a\xE2\x82", u"a\uFFFD"},
                                           Utf8Case{"CutBeforeAscii", "\xF0\x9F\x98z", u"\uFFFDz"},
                                           Utf8Case{"CutBeforeLead", "\xC3\xC3\xA4", u"\uFFFD\u00E4"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The buffer is a view into a larger array so a write past its end shows.
class WriteUtf16Le : public ::testing::Test {
protected:
    std::array<std::uint8_t, 16> backing{};
    void SetUp() override { backing.fill(0xAA); }
    std::vector<std::uint8_t> first(std::size_t n) const { return {backing.begin(), backing.begin() + n}; }
};

TEST_F(WriteUtf16Le, TerminatesWhenThereIsRoom) {
    writeUtf16Le(u"A\u20AC", std::span(backing).first(8));
    EXPECT_EQ(first(8), (std::vector<std::uint8_t>{'A', 0, 0xAC, 0x20, 0, 0, 0xAA, 0xAA}));
}

TEST_F(WriteUtf16Le, CutsToTheBufferWithoutTerminator) {
    writeUtf16Le(u"ABCDEF", std::span(backing).first(6));
    EXPECT_EQ(first(7), (std::vector<std::uint8_t>{'A', 0, 'B', 0, 'C', 0, 0xAA}));
}

TEST_F(WriteUtf16Le, OddLengthLeavesTheLastByte) {
    writeUtf16Le(u"ABCDEF", std::span(backing).first(5));
    EXPECT_EQ(first(6), (std::vector<std::uint8_t>{'A', 0, 'B', 0, 0xAA, 0xAA}));
}

TEST_F(WriteUtf16Le, NeverSplitsASurrogatePair) {
    writeUtf16Le(u"A\U0001F600", std::span(backing).first(4));
    EXPECT_EQ(first(5), (std::vector<std::uint8_t>{'A', 0, 0, 0, 0xAA}));
    writeUtf16Le(u"A\U0001F600", std::span(backing).first(6));
    EXPECT_EQ(first(7), (std::vector<std::uint8_t>{'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0xAA}));
}

TEST_F(WriteUtf16Le, EmptyBufferIsLeftAlone) {
    writeUtf16Le(u"A", std::span(backing).first(1));
    EXPECT_EQ(backing[0], 0xAA);
}

}  // namespace
}  // namespace device
