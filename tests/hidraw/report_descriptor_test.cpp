#include "device/hidraw/report_descriptor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace device::hidraw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A vendor-defined device without report IDs: 64 bytes in, 64 bytes out,
// and an 8-byte feature report, the shape of a unit.
const Bytes kVendor64 = {
    0x06, 0x00, 0xFF,                    // Usage Page (vendor)
    0x09, 0x01,                          // Usage
    0xA1, 0x01,                          // Collection (Application)
    0x15, 0x00, 0x26, 0xFF, 0x00,        // Logical 0..255
    0x75, 0x08, 0x95, 0x40,              // Size 8, Count 64
    0x09, 0x01, 0x81, 0x02,              // Input
    0x09, 0x01, 0x91, 0x02,              // Output
    0x95, 0x08, 0x09, 0x01, 0xB1, 0x02,  // Count 8, Feature
    0xC0,
};

// The boot keyboard: modifiers, a reserved byte, six key codes in; five
// LEDs and three bits of padding out.
const Bytes kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
};

// A composite device: keyboard as report 1 (8 bytes in, 1 out), mouse as
// report 2 (buttons, padding, X, Y, wheel: 4 bytes in).
const Bytes kCompositeWithIds = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01,  // keyboard, ID 1
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95,
    0x01, 0x75, 0x08, 0x81, 0x01,                                            // modifiers, reserved
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,  // LEDs
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01,                                      // LED padding
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,  // keys
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02, 0x09, 0x01, 0xA1, 0x00,  // mouse, ID 2
    0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95,
    0x01, 0x75, 0x05, 0x81, 0x03,  // buttons, padding
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81,
    0x06, 0xC0, 0xC0,  // X, Y, wheel
};

// Three numbered feature reports of 2, 10 and 4 data bytes, and a 16-bit
// input report; the longest feature report decides.
const Bytes kSeveralFeatures = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x95, 0x02, 0x09, 0x01,
    0xB1, 0x02, 0x85, 0x02, 0x95, 0x0A, 0x09, 0x02, 0xB1, 0x02, 0x85, 0x03, 0x75, 0x10, 0x95,
    0x02, 0x09, 0x03, 0xB1, 0x02, 0x85, 0x04, 0x95, 0x01, 0x09, 0x04, 0x81, 0x02, 0xC0,
};

// The vendor device with long items in between, which add nothing.
const Bytes kWithLongItems = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xFE, 0x03, 0x42, 0x95,
    0x7F, 0x81,  // long item whose data looks like Count and Input
    0x75, 0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0xFE, 0x00, 0x10,  // long item without data
    0x09, 0x01, 0x91, 0x02, 0xC0,
};

// Push and Pop restore size, count and report ID: report 1 gets 4 × 16
// bits inside the pushed state and then 4 × 8 bits after the Pop.
const Bytes kPushPop = {
    0x85, 0x01, 0x75, 0x08, 0x95, 0x04,
    0xA4,                                // Push
    0x85, 0x02, 0x75, 0x10, 0x81, 0x02,  // report 2: 8 bytes
    0xB4,                                // Pop
    0x81, 0x02, 0x81, 0x02, 0x81, 0x02,  // report 1: 3 × 4 bytes
};

// 4-byte item data: Report Count 300 written with a 32-bit value.
const Bytes kWideItems = {0x77, 0x08, 0x00, 0x00, 0x00, 0x97, 0x2C, 0x01, 0x00, 0x00, 0xB1, 0x02};

struct DescriptorCase {
    std::string name;
    Bytes descriptor;
    ReportLengths expected;
};

class ReportDescriptorLengths : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(ReportDescriptorLengths, MatchTheCapabilitiesRecord) {
    const DescriptorCase& c = GetParam();
    const ReportLengths got = parseReportDescriptor(c.descriptor);
    EXPECT_EQ(got.input, c.expected.input);
    EXPECT_EQ(got.output, c.expected.output);
    EXPECT_EQ(got.feature, c.expected.feature);
    EXPECT_EQ(got.numbered, c.expected.numbered);
    EXPECT_EQ(got.complete, c.expected.complete);
}

INSTANTIATE_TEST_SUITE_P(RealDescriptors, ReportDescriptorLengths,
                         ::testing::Values(DescriptorCase{"Vendor64", kVendor64, {65, 65, 9, false, true}},
                                           DescriptorCase{"BootKeyboard", kBootKeyboard, {9, 2, 0, false, true}},
                                           DescriptorCase{"CompositeWithIds", kCompositeWithIds, {9, 2, 0, true, true}},
                                           DescriptorCase{"SeveralFeatures", kSeveralFeatures, {3, 0, 11, true, true}},
                                           DescriptorCase{"LongItems", kWithLongItems, {65, 65, 0, false, true}},
                                           DescriptorCase{"PushPop", kPushPop, {13, 0, 0, true, true}},
                                           DescriptorCase{"WideItemData", kWideItems, {0, 0, 301, false, true}},
                                           DescriptorCase{"Empty", {}, {0, 0, 0, false, true}}),
                         [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    HostileDescriptors, ReportDescriptorLengths,
    ::testing::Values(
        // Size and count at their 32-bit maximum: the product saturates.
        DescriptorCase{"HugeProduct",
                       {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
                       {65535, 0, 0, false, true}},
        // Many medium items whose sum passes 65535 bytes.
        DescriptorCase{"SumPastLimit",
                       {0x75, 0xFF, 0x96, 0xFF, 0x0F, 0x91, 0x02, 0x91, 0x02, 0x91, 0x02, 0x91, 0x02},
                       {0, 65535, 0, false, true}},
        // Exactly 65534 data bytes plus the ID byte still fits.
        DescriptorCase{"LargestExact", {0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02}, {65535, 0, 0, false, true}},
        DescriptorCase{
            "PopWithoutPush", {0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0xB4, 0x81, 0x02}, {3, 0, 0, false, false}},
        DescriptorCase{
            "TruncatedShortItem", {0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0x97, 0x01, 0x00}, {3, 0, 0, false, false}},
        DescriptorCase{
            "TruncatedLongItem", {0x75, 0x08, 0x95, 0x01, 0xB1, 0x02, 0xFE, 0x20, 0x01, 0x00}, {0, 0, 2, false, false}},
        DescriptorCase{"LongItemHeaderOnly", {0xFE, 0x05}, {0, 0, 0, false, false}}),
    [](const auto& info) { return info.param.name; });

TEST(ReportDescriptorParser, PushDepthIsBounded) {
    Bytes pushes(1000, 0xA4);
    pushes.insert(pushes.end(), {0x75, 0x08, 0x95, 0x01, 0x81, 0x02});
    const ReportLengths got = parseReportDescriptor(pushes);
    EXPECT_FALSE(got.complete);
    EXPECT_EQ(got.input, 0);

    // Nesting as deep as a real device's is fine.
    Bytes nested(4, 0xA4);
    nested.insert(nested.end(), {0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xB4, 0xB4, 0xB4, 0xB4});
    EXPECT_TRUE(parseReportDescriptor(nested).complete);
}

// Every cut of a real descriptor is parsed within the span: a cut at an
// item boundary is complete, one inside an item is not.
TEST(ReportDescriptorParser, EveryTruncationStaysInBounds) {
    for (const Bytes* d : {&kVendor64, &kCompositeWithIds, &kWithLongItems}) {
        for (std::size_t cut = 0; cut <= d->size(); ++cut) {
            // A copy of exactly the cut length, so the sanitizer sees any overread.
            const Bytes prefix(d->begin(), d->begin() + static_cast<std::ptrdiff_t>(cut));
            const ReportLengths got = parseReportDescriptor(prefix);
            const ReportLengths whole = parseReportDescriptor(*d);
            EXPECT_LE(got.input, whole.input) << "cut " << cut;
            EXPECT_LE(got.feature, whole.feature) << "cut " << cut;
        }
    }
    // The vendor descriptor cut inside "Logical Maximum 255" (3-byte item).
    EXPECT_FALSE(parseReportDescriptor(Bytes(kVendor64.begin(), kVendor64.begin() + 10)).complete);
    EXPECT_TRUE(parseReportDescriptor(Bytes(kVendor64.begin(), kVendor64.begin() + 12)).complete);
}

// Noise of every short length: run under the sanitizers, any read past
// the span or overflow fails the test. Parsing is a pure function, so the
// same bytes always give the same lengths.
TEST(ReportDescriptorParser, RandomBytesStayInBounds) {
    std::uint32_t state = 12345;
    for (int round = 0; round < 2000; ++round) {
        Bytes noise(static_cast<std::size_t>(round % 97));
        for (auto& b : noise) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(state >> 24);
        }
        const ReportLengths first = parseReportDescriptor(noise);
        const ReportLengths again = parseReportDescriptor(noise);
        ASSERT_EQ(first.input, again.input);
        ASSERT_EQ(first.feature, again.feature);
    }
}

}  // namespace
}  // namespace device::hidraw
