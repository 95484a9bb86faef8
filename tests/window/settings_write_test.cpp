// What reaches the unit when the user changes a setting, and when nothing
// may reach it.
#include "support/connected_window.h"

#include <gtest/gtest.h>

namespace {

using testsupport::Bytes;

class SettingsWrite : public testing::Test, protected testsupport::ConnectedWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_form.SettingsLoaded && m_form.RefreshComplete && m_form.connection().DeviceDetected);
        ASSERT_TRUE(sent().empty()) << "start-up writes nothing";
    }
};

TEST_F(SettingsWrite, AmplitudeOrPolarityPickSendsOneReportWithAllSettings) {
    m_form.Enc1.userPick(281);
    m_form.Enc2.userPick(0);
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0, 1, 140, 1, 1, 0, 0x02, 0x58, 0}, {0, 1, 140, 1, 0, 0, 0x02, 0x58, 0}}));
}

TEST_F(SettingsWrite, CalibrationPickSendsTheSameReportTwiceAndKeepsTheAmplitudeCode) {
    m_form.Cal.userPick(100);  // 0.500
    const Bytes expected{0, 1, 0x8C, 0, 1, 0, 0x00, 0x64, 0};
    EXPECT_EQ(sent(), (std::vector<Bytes>{expected, expected}));
    EXPECT_EQ(m_form.Enc1.listIndex(), 280);
    EXPECT_EQ(m_form.Enc1.text(), "457");
}

TEST_F(SettingsWrite, DefaultRestoreSendsFourReportsInOrder) {
    m_form.Enc1.userPick(10);
    m_form.Enc2.userPick(2);
    m_form.Cal.userPick(1700);
    sent();
    m_form.Command1.userPress();
    EXPECT_EQ(sent(), (std::vector<Bytes>{
                          {0, 1, 5, 0, 1, 0, 0x06, 0xA4, 0},    // polarity first
                          {0, 1, 5, 0, 1, 0, 0x02, 0x58, 0},    // calibration, from the rebuild
                          {0, 1, 5, 0, 1, 0, 0x02, 0x58, 0},    // calibration, from its own handler
                          {0, 1, 0x8C, 0, 1, 0, 0x02, 0x58, 0}  // all three defaults
                      }));
    EXPECT_EQ(m_form.Enc2.text(), "Normal");
    EXPECT_EQ(m_form.Cal.text(), "1.000");
    EXPECT_EQ(m_form.Enc1.listIndex(), 280);
    EXPECT_EQ(m_form.Enc1.text(), "914");
}

TEST_F(SettingsWrite, DefaultRestoreAtTheDefaultsSendsThemAgain) {
    // Assigning a list the index it has runs its handler again, so a press
    // always leaves the unit holding the defaults.
    m_form.Command1.userPress();
    EXPECT_EQ(sent().size(), 4u);
}

TEST_F(SettingsWrite, WithoutLoadedSettingsNothingIsSentAndTheSummaryStays) {
    const std::string summary = m_form.Summary.text();
    m_form.SettingsLoaded = false;
    m_form.Enc2.userPick(0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(m_form.Summary.text(), summary);
}

TEST_F(SettingsWrite, WithoutAUnitOnlyTheSummaryIsRebuilt) {
    m_form.connection().closeConnection();
    m_form.Enc2.userPick(0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(m_form.Summary.text(),
              "Output is OFF\r\nFactory calibration adjustment 1\r\nUser calibration adjustment 1.000");
}

TEST_F(SettingsWrite, AFailedSendChangesNothingButTheSummaryAndLastResult) {
    m_sim.setFailing(m_unit, device::sim::Operation::SetFeature, true);
    m_form.Enc2.userPick(2);
    EXPECT_EQ(m_form.connection().LastResult, 0);
    EXPECT_EQ(m_form.Enc2.listIndex(), 2);
    EXPECT_NE(m_form.Summary.text().find("inverted"), std::string::npos);
}

TEST_F(SettingsWrite, AListWithoutSelectionSendsNothing) {
    // No value can be encoded for a list that selects nothing.
    m_form.Cal.setListIndex(-1);
    m_form.Enc2.userPick(0);
    EXPECT_TRUE(sent().empty());
}

TEST(SettingsWriteShortReport, AUnitWithAShortFeatureReportIsNeverWritten) {
    auto config = device::sim::unitConfig(u"SHORT");
    config.featureLength = 8;
    testsupport::ConnectedWindow w(config);
    EXPECT_FALSE(w.m_form.SettingsLoaded) << "a nine-byte read layout does not fit";
    w.m_form.SettingsLoaded = true;
    w.m_form.Enc2.userPick(0);
    w.m_form.Command1.userPress();
    EXPECT_EQ(w.m_sim.calls(device::sim::Operation::GetFeature), 0u);
    // Eight bytes hold the write layout, so writes go out at that length.
    ASSERT_FALSE(w.sent().empty());
}

TEST(SettingsWriteShortReport, SevenBytesAreTooShortForAWrite) {
    auto config = device::sim::unitConfig(u"SHORTER");
    config.featureLength = 7;
    testsupport::ConnectedWindow w(config);
    w.m_form.SettingsLoaded = true;
    w.m_form.Command1.userPress();
    EXPECT_EQ(w.m_sim.calls(device::sim::Operation::SetFeature), 0u);
}

}  // namespace
