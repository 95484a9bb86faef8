// The C interface's own checks, which no Python caller reaches: null
// pointers, unknown fields and flags, a short change struct, and the
// thread's last error. Run under the sanitizers like every other test.
#include "vandrel/vandrel.h"

#include "device/sim/sim_platform.h"
#include "lib/c_api.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

class CApi : public ::testing::Test {
protected:
    void SetUp() override {
        m_unit = m_platform.plug(device::sim::unitConfig(u"VD-1001"));
        lib::usePlatform(&m_platform);
    }
    void TearDown() override {
        lib::usePlatform(nullptr);
        EXPECT_EQ(m_platform.openHandles(), 0u);
    }
    device::sim::SimPlatform m_platform;
    device::sim::DeviceId m_unit = 0;
};

TEST_F(CApi, RefusesWhatNoCallerMayPassAndSendsNothing) {
    EXPECT_EQ(vandrel_list_units(nullptr), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(vandrel_open("VD-1001", nullptr), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(vandrel_read_settings(nullptr, nullptr), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(vandrel_diagnose(VANDREL_FORMAT_JSON, nullptr), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(vandrel_calibration_code(nullptr, nullptr), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(vandrel_unit_list_count(nullptr), 0u);
    EXPECT_EQ(vandrel_settings_amplitude_mv(nullptr), -1);
    EXPECT_EQ(vandrel_settings_summary(nullptr), nullptr);
    vandrel_unit_list_free(nullptr);
    vandrel_settings_free(nullptr);
    vandrel_free_string(nullptr);
    vandrel_close(nullptr);

    vandrel_unit_list* list = nullptr;
    ASSERT_EQ(vandrel_list_units(&list), VANDREL_OK);
    const char* text = "stale";
    EXPECT_EQ(vandrel_unit_list_field(list, 1, VANDREL_FIELD_SERIAL, &text), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(text, nullptr);
    EXPECT_STREQ(vandrel_last_error(), "the list has 1 units, so no unit 1");
    EXPECT_EQ(vandrel_unit_list_field(list, 0, 5, &text), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(vandrel_unit_list_field(list, 0, -1, &text), VANDREL_ERROR_ARGUMENT);
    ASSERT_EQ(vandrel_unit_list_field(list, 0, VANDREL_FIELD_PATH, &text), VANDREL_OK);
    EXPECT_NE(text, nullptr);
    EXPECT_STREQ(vandrel_last_error(), "");
    vandrel_unit_list_free(list);

    vandrel_unit* unit = nullptr;
    ASSERT_EQ(vandrel_open(nullptr, &unit), VANDREL_OK);
    vandrel_settings* settings = reinterpret_cast<vandrel_settings*>(&list);  // must be reset
    EXPECT_EQ(vandrel_set(unit, nullptr, &settings), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(settings, nullptr);
    vandrel_change change{};
    change.given = VANDREL_CHANGE_POLARITY;
    EXPECT_EQ(vandrel_set(unit, &change, nullptr), VANDREL_ERROR_ARGUMENT);  // size 0: an unknown layout
    change.size = sizeof change;
    change.given = 0x10;
    EXPECT_EQ(vandrel_set(unit, &change, nullptr), VANDREL_ERROR_ARGUMENT);
    change.given = 0;
    EXPECT_EQ(vandrel_set(unit, &change, nullptr), VANDREL_ERROR_ARGUMENT);
    change.given = VANDREL_CHANGE_POLARITY;
    change.polarity = 3;
    EXPECT_EQ(vandrel_set(unit, &change, nullptr), VANDREL_ERROR_ARGUMENT);
    change.given = VANDREL_CHANGE_CALIBRATION;
    change.calibration_code = 1701;
    EXPECT_EQ(vandrel_set(unit, &change, nullptr), VANDREL_ERROR_ARGUMENT);
    EXPECT_STREQ(vandrel_last_error(), "the calibration code is 0 to 1700, not 1701; nothing was sent");
    EXPECT_TRUE(m_platform.received(m_unit).empty());

    // A good change from a caller that wants no read-back.
    change.calibration_code = 1700;
    EXPECT_EQ(vandrel_set(unit, &change, nullptr), VANDREL_OK);
    EXPECT_EQ(m_platform.received(m_unit).size(), 1u);
    char* report = nullptr;
    EXPECT_EQ(vandrel_diagnose(7, &report), VANDREL_ERROR_ARGUMENT);
    EXPECT_EQ(report, nullptr);
    vandrel_close(unit);
}

TEST_F(CApi, LastErrorBelongsToTheThreadThatFailed) {
    vandrel_unit* unit = nullptr;
    ASSERT_EQ(vandrel_open("VD-9999", &unit), VANDREL_ERROR_NO_UNIT);
    std::string other = "unset";
    std::thread([&] { other = vandrel_last_error(); }).join();
    EXPECT_EQ(other, "");
    EXPECT_STREQ(vandrel_last_error(), "no unit has the serial number VD-9999; attached: VD-1001");
}

}  // namespace
