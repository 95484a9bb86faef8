#include "frontend/qt/main_window.h"

#include "device/sim/sim_platform.h"
#include "protocol/config_report.h"
#include "window/control_table.h"
#include "window/frm_main.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using device::sim::Operation;
using device::sim::SimPlatform;
using window::ControlKind;

QString q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items.append(combo->itemText(i));
    return items;
}

class QtWindowTest : public ::testing::Test {
protected:
    void startAndSettle() {
        view->start();
        view->flush();
    }

    device::sim::DeviceId startWithUnit() {
        const auto unit = platform.plug(device::sim::unitConfig(u"VD-000101"));
        startAndSettle();
        return unit;
    }

    template <class W>
    W* child(const char* name) const {
        W* widget = view->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Every widget shows what its model holds.
    void expectMirrorsModels() const {
        for (const window::Control* control : form.controls()) {
            SCOPED_TRACE(std::string(control->name()));
            if (control->kind() == ControlKind::Timer) {
                EXPECT_EQ(view->pollTimer()->isActive(), control->enabled());
                EXPECT_EQ(view->pollTimer()->interval(), form.Timer.interval());
                continue;
            }
            QWidget* w = view->widgetOf(control->name());
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->isEnabledTo(w->parentWidget()), control->enabled());
            EXPECT_EQ(!w->isHidden(), control->visible());
            if (auto* label = qobject_cast<QLabel*>(w)) {
                EXPECT_EQ(label->text(), q(static_cast<const window::Label&>(*control).caption()));
            }
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                const auto& list = static_cast<const window::SelectionList&>(*control);
                QStringList expected;
                for (const std::string& item : list.items()) expected.append(q(item));
                EXPECT_EQ(itemsOf(combo), expected);
                EXPECT_EQ(combo->currentIndex(), list.listIndex());
            }
            if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
                QString expected = q(form.Summary.text());
                expected.replace("\r\n", "\n");
                EXPECT_EQ(text->toPlainText(), expected);
            }
        }
    }

    SimPlatform platform;
    window::frmMain form{platform};
    std::unique_ptr<frontend::qt::MainWindow> view = std::make_unique<frontend::qt::MainWindow>(form);
};

TEST_F(QtWindowTest, WidgetTreeMatchesTheWindowTable) {
    EXPECT_EQ(view->windowTitle(), "Vandrel");
    EXPECT_EQ(view->objectName(), "frmMain");
    EXPECT_EQ(view->size(), QSize(361, 574));
    EXPECT_EQ(view->minimumSize(), view->maximumSize());
    EXPECT_FALSE(view->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(view->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(view->windowIcon().isNull());
    EXPECT_FALSE(view->isVisible()) << "start-up shows the window, not construction";

    const bool haveMetricFace = QFontDatabase::hasFamily("Liberation Sans");
    for (const window::ControlSpec& row : window::controlTable()) {
        SCOPED_TRACE(std::string(row.name));
        if (row.kind == ControlKind::Timer) {
            QTimer* timer = view->findChild<QTimer*>(q(row.name));
            ASSERT_NE(timer, nullptr);
            EXPECT_FALSE(timer->isActive());
            EXPECT_EQ(timer->interval(), window::kTimerDesignInterval);
            continue;
        }
        QWidget* w = view->findChild<QWidget*>(q(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), row.container.empty() ? "frmMain" : q(row.container));
        EXPECT_EQ(w->geometry(), QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15));
        EXPECT_EQ(w->isEnabledTo(w->parentWidget()), row.enabled);
        EXPECT_EQ(!w->isHidden(), row.visible);
        EXPECT_EQ(w->font().families().value(0), q(row.font.face));
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), row.font.points);
        if (haveMetricFace) {
            EXPECT_EQ(QFontInfo(w->font()).family(), "Liberation Sans");
        }

        switch (row.kind) {
        case ControlKind::Frame:
            ASSERT_NE(qobject_cast<QGroupBox*>(w), nullptr);
            EXPECT_EQ(qobject_cast<QGroupBox*>(w)->title(), q(row.caption));
            break;
        case ControlKind::Label: {
            auto* label = qobject_cast<QLabel*>(w);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text(), q(row.caption));
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_EQ(label->autoFillBackground(), row.valueField);
            if (row.valueField) {
                EXPECT_EQ(label->backgroundRole(), QPalette::Base);
                EXPECT_EQ(label->foregroundRole(), QPalette::Text);
            }
            break;
        }
        case ControlKind::SelectionList:
            ASSERT_NE(qobject_cast<QComboBox*>(w), nullptr);
            EXPECT_FALSE(qobject_cast<QComboBox*>(w)->isEditable());
            EXPECT_EQ(qobject_cast<QComboBox*>(w)->count(), 0);
            break;
        case ControlKind::TextBox: {
            auto* text = qobject_cast<QPlainTextEdit*>(w);
            ASSERT_NE(text, nullptr);
            EXPECT_TRUE(text->isReadOnly());
            EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByMouse);
            EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            EXPECT_EQ(text->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            break;
        }
        case ControlKind::Button:
            ASSERT_NE(qobject_cast<QPushButton*>(w), nullptr);
            EXPECT_EQ(qobject_cast<QPushButton*>(w)->text(), q(row.caption));
            break;
        case ControlKind::Timer: break;
        }
    }
}

TEST_F(QtWindowTest, FocusMovesInTabIndexOrder) {
    std::vector<const window::ControlSpec*> focusable;
    for (const window::ControlSpec& row : window::controlTable())
        if (row.kind == ControlKind::SelectionList || row.kind == ControlKind::TextBox ||
            row.kind == ControlKind::Button)
            focusable.push_back(&row);
    std::sort(focusable.begin(), focusable.end(), [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });

    QStringList expected;
    for (const auto* row : focusable) expected.append(q(row->name));

    QStringList chain;
    QWidget* first = view->widgetOf(focusable.front()->name);
    QWidget* w = first;
    do {
        if (expected.contains(w->objectName())) chain.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w && w != first && chain.size() < expected.size());
    EXPECT_EQ(chain, expected);
}

TEST_F(QtWindowTest, StartUpShowsTheUnitAndEveryWidgetMirrorsItsModel) {
    const auto unit = startWithUnit();
    EXPECT_TRUE(view->isVisible());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((view->frameGeometry().center() - area.center()).manhattanLength(), 2)
        << view->frameGeometry().center().x() << ',' << view->frameGeometry().center().y();
    EXPECT_EQ(form.lblVersion.caption(), " 1.12");
    expectMirrorsModels();

    // Losing the unit empties and disables its controls.
    platform.unplug(unit);
    form.Timer.expire();
    view->flush();
    EXPECT_EQ(child<QComboBox>("SerNo")->count(), 0);
    EXPECT_FALSE(child<QComboBox>("Enc1")->isEnabled());
    expectMirrorsModels();
}

// A user's pick in each setting list, and how many reports it sends: a pick
// in the calibration list rebuilds the amplitude list and writes twice.
struct PickCase {
    const char* list;
    std::size_t writes;
    friend void PrintTo(const PickCase& c, std::ostream* os) { *os << c.list; }
};

class QtPickTest : public QtWindowTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(QtPickTest, UserPickReachesTheUnitAsTheCoreEncodesIt) {
    const auto unit = startWithUnit();
    platform.takeReceived(unit);

    auto* combo = child<QComboBox>(GetParam().list);
    auto* list = static_cast<window::SelectionList*>(form.findControl(GetParam().list));
    const int before = list->listIndex();
    QTest::keyClick(combo, Qt::Key_Down);
    view->flush();

    EXPECT_EQ(list->listIndex(), before + 1);
    EXPECT_EQ(combo->currentIndex(), before + 1);
    const auto received = platform.takeReceived(unit);
    ASSERT_EQ(received.size(), GetParam().writes);

    std::vector<std::uint8_t> expected(platform.config(unit).featureLength);
    ASSERT_TRUE(
        protocol::encodeWriteLayout({form.Enc1.listIndex(), form.Enc2.listIndex(), form.Cal.listIndex()}, expected));
    EXPECT_EQ(received.back(), expected);
    // The unit now holds what the window shows.
    EXPECT_EQ(platform.config(unit).featureImage[3], form.Enc2.listIndex());
}

INSTANTIATE_TEST_SUITE_P(SettingLists, QtPickTest,
                         ::testing::Values(PickCase{"Enc1", 1}, PickCase{"Enc2", 1}, PickCase{"Cal", 2}),
                         [](const auto& info) { return std::string(info.param.list); });

TEST_F(QtWindowTest, ListRebuildsRaiseNoUserPickAndRebuildTheWidgetOnce) {
    const auto unit = startWithUnit();
    platform.takeReceived(unit);

    auto* enc1 = child<QComboBox>("Enc1");
    QSignalSpy picks(enc1, &QComboBox::activated);
    QSignalSpy inserts(enc1->model(), &QAbstractItemModel::rowsInserted);

    // A pick in Cal rebuilds all 511 amplitude items.
    QTest::keyClick(child<QComboBox>("Cal"), Qt::Key_Down);
    QCoreApplication::processEvents();
    EXPECT_EQ(picks.count(), 0);
    EXPECT_EQ(inserts.count(), 1) << "the list must be rebuilt in one bulk update";
    EXPECT_EQ(platform.takeReceived(unit).size(), 2u);
    expectMirrorsModels();

    // A whole refresh rebuilds every list and must not write to the unit.
    std::vector<std::unique_ptr<QSignalSpy>> allPicks;
    for (const char* name : {"SerNo", "Enc1", "Enc2", "Enc3", "Cal"})
        allPicks.push_back(std::make_unique<QSignalSpy>(child<QComboBox>(name), &QComboBox::activated));
    form.RefreshDeviceState();
    QCoreApplication::processEvents();
    for (const auto& spy : allPicks) EXPECT_EQ(spy->count(), 0);
    EXPECT_TRUE(platform.received(unit).empty());
    expectMirrorsModels();
}

TEST_F(QtWindowTest, TheTimerDrivesThePresencePoll) {
    const auto unit = startWithUnit();
    QTimer* timer = view->pollTimer();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 50);

    // The first tick finds the unit answering and slows the poll down.
    QTRY_COMPARE_WITH_TIMEOUT(timer->interval(), 500, 2000);
    EXPECT_GE(platform.calls(Operation::Read), 1u);

    // Unplugged: the next tick notices, closes the unit and polls faster.
    platform.unplug(unit);
    QTRY_COMPARE_WITH_TIMEOUT(timer->interval(), 250, 2000);
    EXPECT_FALSE(form.connection().DeviceDetected);
    EXPECT_EQ(platform.openHandles(unit), 0u);

    // Plugged back: a later tick connects and shows it again.
    platform.replug(unit);
    QTRY_VERIFY_WITH_TIMEOUT(form.connection().DeviceDetected, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>("SerNo")->count(), 1, 2000);
    expectMirrorsModels();

    // Closing the window stops the poll and closes both handles.
    view->close();
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(platform.openHandles(), 0u);
}

TEST_F(QtWindowTest, UnitStringsAreShownAsPlainText) {
    device::sim::DeviceConfig config = device::sim::unitConfig(u"VD-000101");
    config.product = u"<b>Bold</b> & <img src=x>";
    platform.plug(std::move(config));
    startAndSettle();
    auto* label = child<QLabel>("lblProduct");
    EXPECT_EQ(label->text(), q(form.lblProduct.caption()));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

}  // namespace
