// The control semantics every front end relies on, and the window's table.
#include "window/control_table.h"
#include "window/controls.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct Recorder : window::ControlObserver {
    void controlChanged(const window::Control& c, window::Change change) override {
        events.push_back(std::string(c.name()) + ":" + std::to_string(static_cast<int>(change)));
    }
    std::vector<std::string> events;
};

class SelectionListTest : public testing::Test {
protected:
    void SetUp() override {
        m_list.setContainer(&m_frame);
        m_frame.setEnabled(true);
        m_list.setEnabled(true);
        for (int i = 0; i < 3; ++i) m_list.addItem("item" + std::to_string(i), i);
        m_list.onClick = [this] { m_clicks.push_back(m_list.listIndex()); };
    }
    window::Frame m_frame{"Frame3"};
    window::SelectionList m_list{"Enc2"};
    std::vector<int> m_clicks;
};

TEST_F(SelectionListTest, AssigningRunsTheHandlerInsideTheAssignment) {
    int seenInside = -2;
    m_list.onClick = [&] { seenInside = m_list.listIndex(); };
    m_list.setListIndex(2);
    EXPECT_EQ(seenInside, 2);
    EXPECT_EQ(m_list.text(), "item2");
}

TEST_F(SelectionListTest, AssigningTheSameIndexRunsTheHandlerAgain) {
    m_list.setListIndex(1);
    m_list.setListIndex(1);
    m_list.setListIndex(-1);
    m_list.setListIndex(-1);
    EXPECT_EQ(m_clicks, (std::vector<int>{1, 1, -1, -1}));
}

TEST_F(SelectionListTest, ClearingRemovesItemsAndSelectionAndRunsNothing) {
    m_list.setListIndex(1);
    m_clicks.clear();
    m_list.clear();
    EXPECT_EQ(m_list.itemCount(), 0);
    EXPECT_EQ(m_list.listIndex(), -1);
    EXPECT_EQ(m_list.text(), "");
    EXPECT_TRUE(m_clicks.empty());
}

TEST_F(SelectionListTest, InsertingBeforeTheSelectionKeepsItsItem) {
    m_list.setListIndex(1);
    m_list.addItem("first", 0);
    EXPECT_EQ(m_list.listIndex(), 2);
    EXPECT_EQ(m_list.text(), "item1");
}

TEST_F(SelectionListTest, UserPicksNeedAnEnabledListInAnEnabledFrame) {
    m_frame.setEnabled(false);
    m_list.userPick(0);
    m_frame.setEnabled(true);
    m_list.setEnabled(false);
    m_list.userPick(0);
    m_list.setEnabled(true);
    m_list.setVisible(false);
    m_list.userPick(0);
    m_list.setVisible(true);
    m_list.userPick(7);
    EXPECT_TRUE(m_clicks.empty());
    m_list.userPick(0);
    EXPECT_EQ(m_clicks, std::vector<int>{0});
}

TEST_F(SelectionListTest, ObserversHearEveryChangeOnce) {
    Recorder r;
    m_list.setObserver(&r);
    m_list.setListIndex(2);
    m_list.setListIndex(2);  // no change to mirror, but the handler ran
    m_list.clear();
    m_list.setEnabled(false);
    m_list.setEnabled(false);
    EXPECT_EQ(r.events, (std::vector<std::string>{"Enc2:5", "Enc2:4", "Enc2:0"}));
}

TEST(ButtonAndTimer, InputAndExpiryOnlyWhileEnabled) {
    window::Button button{"Command1"};
    window::TimerControl timer{"Timer"};
    int presses = 0, ticks = 0;
    button.onClick = [&] { ++presses; };
    timer.onTimer = [&] { ++ticks; };
    button.userPress();
    button.setEnabled(false);
    button.userPress();
    timer.expire();
    timer.setEnabled(true);
    timer.expire();
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(timer.interval(), 50);
}

TEST(ControlTable, DescribesAWindowTheFrontEndsCanBuild) {
    const auto table = window::controlTable();
    ASSERT_EQ(table.size(), 21u);
    std::set<std::string_view> names;
    std::set<int> tabs;
    int hidden = 0;
    for (const window::ControlSpec& c : table) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        if (c.tabIndex >= 0) {
            EXPECT_TRUE(tabs.insert(c.tabIndex).second) << c.name;
        }
        if (!c.container.empty()) {
            const window::ControlSpec* frame = window::findControlSpec(c.container);
            ASSERT_NE(frame, nullptr) << c.name;
            EXPECT_EQ(frame->kind, window::ControlKind::Frame);
            EXPECT_LE(c.left + c.width, frame->width) << c.name << " lies inside its frame";
            EXPECT_LE(c.top + c.height, frame->height) << c.name;
        } else if (c.kind != window::ControlKind::Timer) {
            EXPECT_LE(c.left + c.width, window::windowSpec().clientWidth) << c.name;
            EXPECT_LE(c.top + c.height, window::windowSpec().clientHeight) << c.name;
        }
        if (!c.visible && c.kind != window::ControlKind::Timer) ++hidden;
    }
    EXPECT_EQ(hidden, 2) << "the deemphasis list and its label";
    EXPECT_EQ(tabs.size(), 20u);
    EXPECT_EQ(window::windowSpec().caption, "Vandrel");
    EXPECT_EQ(window::windowSpec().clientWidth / window::kTwipsPerPixel, 361);
    EXPECT_EQ(window::windowSpec().clientHeight / window::kTwipsPerPixel, 574);
}

// A label names a control only if it stands in the same frame, so a
// screen reader's reading matches what the eye sees.
TEST(ControlTable, EveryListAndValueFieldIsNamedByTheLabelBesideIt) {
    for (const window::ControlSpec& c : window::controlTable()) {
        const bool needsLabel = c.kind == window::ControlKind::SelectionList || c.valueField;
        const window::AccessibleEntry* a = window::findAccessibleEntry(c.name);
        if (!needsLabel) {
            EXPECT_TRUE(a == nullptr || a->labelledBy.empty()) << c.name;
            continue;
        }
        ASSERT_NE(a, nullptr) << c.name;
        const window::ControlSpec* label = window::findControlSpec(a->labelledBy);
        ASSERT_NE(label, nullptr) << c.name;
        EXPECT_EQ(label->kind, window::ControlKind::Label) << c.name;
        EXPECT_EQ(label->container, c.container) << c.name;
        EXPECT_EQ(label->visible, c.visible) << c.name;
    }
    EXPECT_EQ(window::accessibleName("Enc1"), "Amplitude, mV into 50R load");
    EXPECT_EQ(window::accessibleName("SerNo"), "Serial Number");
    EXPECT_EQ(window::accessibleName("lblVersion"), "Version");
    EXPECT_EQ(window::accessibleName("Summary"), "Output summary");
    EXPECT_EQ(window::accessibleName("Command1"), "");
    EXPECT_EQ(window::accessibleValue(" Vandrel Pulse"), "Vandrel Pulse");
    EXPECT_EQ(window::accessibleValue("  two"), " two");
    EXPECT_EQ(window::accessibleValue(""), "");
}

}  // namespace
