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

// Each case writes into the first `room` bytes of a larger array, so a
// write past its end shows.
struct WriteCase {
    const char* name;
    std::u16string text;
    std::size_t room;
    std::vector<std::uint8_t> start;  // the array's first bytes afterwards
};

class WriteUtf16Le : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteUtf16Le, StaysInsideItsBuffer) {
    std::array<std::uint8_t, 16> backing{};
    backing.fill(0xAA);
    writeUtf16Le(GetParam().text, std::span(backing).first(GetParam().room));
    EXPECT_EQ(std::vector<std::uint8_t>(backing.begin(), backing.begin() + GetParam().start.size()), GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, WriteUtf16Le,
    ::testing::Values(WriteCase{"TerminatesWhenThereIsRoom", u"A\u20AC", 8, {'A', 0, 0xAC, 0x20, 0, 0, 0xAA, 0xAA}},
                      WriteCase{"CutsToTheBufferWithoutTerminator", u"ABCDEF", 6, {'A', 0, 'B', 0, 'C', 0, 0xAA}},
                      WriteCase{"OddLengthLeavesTheLastByte", u"ABCDEF", 5, {'A', 0, 'B', 0, 0xAA, 0xAA}},
                      WriteCase{"NeverSplitsASurrogatePair", u"A\U0001F600", 4, {'A', 0, 0, 0, 0xAA}},
                      WriteCase{"WritesAPairThatFits", u"A\U0001F600", 6, {'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0xAA}},
                      WriteCase{"EmptyBufferIsLeftAlone", u"A", 1, {0xAA}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace device
