// The configuration report's two layouts, byte for byte.
#include "protocol/config_report.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ReadCase {
    const char* name;
    Bytes report;
    int amplitude;
    int polarity;
    int calibration;
    double factory;
};

class ReadLayout : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadLayout, Decodes) {
    const auto d = protocol::decodeReadLayout(GetParam().report);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->amplitudeIndex, GetParam().amplitude);
    EXPECT_EQ(d->polarityIndex, GetParam().polarity);
    EXPECT_EQ(d->calibrationIndex, GetParam().calibration);
    EXPECT_EQ(d->factoryCalibration, GetParam().factory);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadLayout,
    testing::Values(
        ReadCase{"defaults", {0, 0x8C, 0, 1, 0, 0x02, 0x58, 0x27, 0x10}, 280, 1, 600, 1.0},
        ReadCase{"level_255_has_no_upper_half", {0, 0xFF, 1, 1, 0, 0, 0, 0, 0}, 510, 1, 0, 0.0},
        ReadCase{"half_step_only_bit_0_fe", {0, 10, 0xFE, 0, 0, 0, 0, 0, 0}, 20, 0, 0, 0.0},
        ReadCase{"half_step_only_bit_0_03", {0, 10, 0x03, 2, 0, 0, 0, 0, 0}, 21, 2, 0, 0.0},
        ReadCase{"unknown_polarity_is_normal", {0, 0, 0, 3, 0, 0, 0, 0, 0}, 0, 1, 0, 0.0},
        ReadCase{"polarity_255_is_normal", {0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0}, 0, 1, 0, 0.0},
        ReadCase{"largest_factory_factor", {0, 0, 0, 0, 0, 0x06, 0xA4, 0xFF, 0xFF}, 0, 0, 1700, 6.5535},
        ReadCase{"calibration_past_the_list_kept_raw", {0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 1}, 0, 0, 65535, 0.0001},
        ReadCase{"reserved_tail_ignored", {0, 0x8C, 0, 1, 0x55, 0x02, 0x58, 0x27, 0x10, 0xAA, 0xBB}, 280, 1, 600, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadLayoutLength, ShorterThanNineBytesIsRefused) {
    EXPECT_FALSE(protocol::decodeReadLayout(Bytes(8, 0)));
    EXPECT_FALSE(protocol::decodeReadLayout(Bytes{}));
}

struct WriteCase {
    const char* name;
    protocol::UnitSettings settings;
    std::size_t length;
    Bytes expected;
};

class WriteLayout : public testing::TestWithParam<WriteCase> {};

TEST_P(WriteLayout, Encodes) {
    Bytes report(GetParam().length, 0xEE);
    ASSERT_TRUE(protocol::encodeWriteLayout(GetParam().settings, report));
    EXPECT_EQ(report, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteLayout,
    testing::Values(WriteCase{"defaults", {280, 1, 600}, 9, {0, 1, 0x8C, 0, 1, 0, 0x02, 0x58, 0}},
                    WriteCase{"odd_amplitude", {281, 1, 600}, 9, {0, 1, 140, 1, 1, 0, 0x02, 0x58, 0}},
                    WriteCase{"lowest", {0, 0, 0}, 8, {0, 1, 0, 0, 0, 0, 0, 0}},
                    WriteCase{"highest", {510, 2, 1700}, 9, {0, 1, 255, 0, 2, 0, 0x06, 0xA4, 0}},
                    WriteCase{
                        "longer_report_zero_tail", {280, 1, 600}, 12, {0, 1, 0x8C, 0, 1, 0, 0x02, 0x58, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteLayoutRefusals, NothingOutOfRangeOrTooShortIsEncoded) {
    const protocol::UnitSettings bad[] = {{511, 1, 600},  {-1, 1, 600},   {280, 3, 600},
                                          {280, -1, 600}, {280, 1, 1701}, {280, 1, -1}};
    for (const auto& s : bad) {
        Bytes report(9, 0xEE);
        EXPECT_FALSE(protocol::encodeWriteLayout(s, report));
        EXPECT_EQ(report, Bytes(9, 0)) << "a refused report carries nothing";
    }
    Bytes seven(7, 0xEE);
    EXPECT_FALSE(protocol::encodeWriteLayout({280, 1, 600}, seven));
}

TEST(Layouts, EveryReadableSettingSurvivesAWriteAndReadBack) {
    // What the unit stores from a write is what a read gives back.
    for (int amplitude = 0; amplitude < protocol::kAmplitudeCodes; amplitude += 7) {
        for (int calibration : {0, 255, 256, 600, 1700}) {
            Bytes w(9, 0);
            ASSERT_TRUE(protocol::encodeWriteLayout({amplitude, 2, calibration}, w));
            const Bytes r{0, w[2], w[3], w[4], w[5], w[6], w[7], 0x27, 0x10};
            const auto d = protocol::decodeReadLayout(r);
            ASSERT_TRUE(d);
            EXPECT_EQ(d->amplitudeIndex, amplitude);
            EXPECT_EQ(d->polarityIndex, 2);
            EXPECT_EQ(d->calibrationIndex, calibration);
        }
    }
}

}  // namespace
