// Bringing the window in line with the unit that is open, or with none.
#include "support/connected_window.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceRefresh, WithNoUnitEverySettingControlIsEmptiedAndDisabled) {
    testsupport::ConnectedWindow w;
    w.m_form.connection().closeConnection();
    w.m_form.RefreshDeviceState();
    auto& f = w.m_form;
    for (const window::SelectionList* list : {&f.Enc1, &f.Enc2, &f.Enc3, &f.Cal}) {
        EXPECT_EQ(list->itemCount(), 0) << list->name();
        EXPECT_FALSE(list->enabled()) << list->name();
    }
    for (const window::Label* label : {&f.lblManuf, &f.lblProduct, &f.lblVersion}) EXPECT_EQ(label->caption(), "");
    for (const window::Control* c : std::initializer_list<const window::Control*>{&f.Command1, &f.Frame3, &f.Label1,
                                                                                  &f.Label6, &f.Label7, &f.Label8})
        EXPECT_FALSE(c->enabled()) << c->name();
    EXPECT_EQ(f.Summary.text(), "");
    EXPECT_FALSE(f.RefreshComplete);
    EXPECT_TRUE(f.SettingsLoaded) << "an empty refresh keeps the flag";
    EXPECT_TRUE(f.Frame1.enabled()) << "the identity frame stays enabled once a unit was seen";
}

TEST(DeviceRefresh, AProductShorterThanTheMakerShowsNothingOfTheMaker) {
    auto config = device::sim::unitConfig(u"S");
    config.manufacturer = u"A rather long maker name";
    config.product = u"P1";
    config.terminateStrings = false;
    testsupport::ConnectedWindow w(config);
    EXPECT_EQ(w.m_form.lblManuf.caption(), " A rather long maker name");
    EXPECT_EQ(w.m_form.lblProduct.caption(), " P1");
}

TEST(DeviceRefresh, AFailedMakerRequestLeavesVersionAndListsEmpty) {
    auto config = device::sim::unitConfig(u"S");
    device::sim::SimPlatform sim;
    const auto id = sim.plug(config);
    sim.setFailing(id, device::sim::Operation::Manufacturer, true);
    window::frmMain form(sim);
    form.Form_Load();
    EXPECT_EQ(form.lblManuf.caption(), "");
    EXPECT_EQ(form.lblVersion.caption(), "");
    EXPECT_EQ(form.lblProduct.caption(), " Vandrel Pulse Generator");
    EXPECT_EQ(form.Cal.itemCount(), 0);
    EXPECT_FALSE(form.Command1.enabled());
    // The report still reads: the flags say so, and nothing can be picked.
    EXPECT_TRUE(form.SettingsLoaded);
    EXPECT_TRUE(form.RefreshComplete);
    testsupport::closeWindow(form);
}

TEST(DeviceRefresh, NoReportIsSentWhileTheRefreshRuns) {
    testsupport::ConnectedWindow w;
    bool refreshing = false;
    int sentWhileRefreshing = 0;
    w.m_sim.beforeCall = [&](device::sim::Operation op, device::sim::DeviceId) {
        if (op == device::sim::Operation::GetFeature) refreshing = true;
        if (op == device::sim::Operation::SetFeature && refreshing) ++sentWhileRefreshing;
    };
    // A refresh of a unit whose settings were already loaded runs every
    // handler with SettingsLoaded true.
    w.m_form.RefreshDeviceState();
    EXPECT_EQ(sentWhileRefreshing, 0);
    EXPECT_TRUE(w.sent().empty());
}

}  // namespace
