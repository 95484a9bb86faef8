#include "app/qt/demo_panel.h"

#include "support/connected_window.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

TEST(DemoUnits, TwoUnitsWithDifferentSerialsAndFactoryCalibrations) {
    device::sim::SimPlatform platform;
    const auto units = demo::plugDemoUnits(platform);
    EXPECT_NE(platform.config(units[0].id).serial, platform.config(units[1].id).serial);
    EXPECT_NE(platform.config(units[0].id).featureImage, platform.config(units[1].id).featureImage);

    // Start-up connects the last unit found and shows its own calibration.
    window::frmMain form(platform);
    form.Form_Load();
    EXPECT_EQ(form.SerNo.itemCount(), 2);
    EXPECT_EQ(form.SerNo.text(), "VD-000102");
    EXPECT_DOUBLE_EQ(form.FactoryCalibration, 0.985);
    testsupport::closeWindow(form);
}

TEST(DemoPanel, UnplugsAndPlugsBackAndListsEachUnitsReports) {
    device::sim::SimPlatform platform;
    const auto units = demo::plugDemoUnits(platform);
    window::frmMain form(platform);
    form.Form_Load();
    demo::DemoPanel panel(platform, units);

    const auto buttons = panel.findChildren<QPushButton*>();
    const auto lists = panel.findChildren<QPlainTextEdit*>();
    ASSERT_EQ(buttons.size(), 2);
    ASSERT_EQ(lists.size(), 2);

    buttons[1]->click();
    EXPECT_FALSE(platform.isPresent(units[1].id));
    EXPECT_TRUE(platform.isPresent(units[0].id));
    EXPECT_EQ(buttons[1]->text(), "Plug back in");

    // The poll moves to the remaining unit; a setting written to it shows
    // in its list only.
    form.Timer.expire();
    form.Enc2.userPick(2);
    panel.refresh();
    EXPECT_EQ(lists[0]->toPlainText().toStdString(), "1:  00 01 8C 00 02 00 02 58 00");
    EXPECT_TRUE(lists[1]->toPlainText().isEmpty());

    buttons[1]->click();
    EXPECT_TRUE(platform.isPresent(units[1].id));
    EXPECT_EQ(buttons[1]->text(), "Unplug");
    testsupport::closeWindow(form);
}

}  // namespace
