#include "frontend/qt/main_window.h"

#include "window/placement.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>

namespace frontend::qt {

namespace {

using window::Change;
using window::ControlKind;
using window::ControlSpec;

QString toQString(std::string_view text) {
    // Texts from a unit are UTF-8 made by the core; fromUtf8 replaces any
    // malformed sequence rather than reading past it.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Maps the window's design-time faces to installed metric-compatible ones,
// so text keeps the widths the layout was drawn for. Idempotent.
void installFontSubstitutes() {
    // Liberation Sans has Arial's metrics; the bitmap and TrueType sans
    // faces of the original design are close enough to it that captions keep
    // their widths. Other sans faces follow in case it is missing.
    const QStringList substitutes{"Liberation Sans", "Arimo", "DejaVu Sans"};
    for (const char* face : {"MS Sans Serif", "Microsoft Sans Serif", "Arial"}) {
        if (QFont::substitutes(face) != substitutes) {
            QFont::removeSubstitutions(face);
            QFont::insertSubstitutions(face, substitutes);
        }
    }
}

// The control's font; an empty face keeps the application's default.
QFont fontFor(const window::FontSpec& design) {
    QFont font;
    if (design.face.empty()) return font;
    font.setFamilies({toQString(design.face)});
    font.setPointSizeF(design.points);
    font.setWeight(design.weight >= 700 ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    // The character set only chose a code page for 8-bit text; Qt renders
    // Unicode, so it needs no counterpart here.
    return font;
}

// Twips to device-independent pixels, so a HiDPI desktop scales the layout.
int pixels(int twips) { return static_cast<int>(std::lround(static_cast<double>(twips) / window::kTwipsPerPixel)); }

// How long the window waits, after it is shown, for a window manager to
// frame it: kFrameWaits times kFrameWaitMs.
constexpr int kFrameWaits = 50;
constexpr int kFrameWaitMs = 20;

bool takesFocus(ControlKind kind) {
    return kind == ControlKind::SelectionList || kind == ControlKind::TextBox || kind == ControlKind::Button;
}

// An exception must not unwind through Qt's event dispatch; the core keeps
// expected failures as values, so anything caught here is a defect.
template <class F>
void runHandler(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        qCritical("vandrel: an event handler failed: %s", e.what());
    } catch (...) {
        qCritical("vandrel: an event handler failed");
    }
}

QString summaryText(const std::string& text) {
    // The summary's lines end in CR LF; the text widget wants LF alone.
    QString shown = toQString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

MainWindow::MainWindow(window::frmMain& form, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_form(form) {
    installFontSubstitutes();
    const window::WindowSpec& shape = window::windowSpec();
    setObjectName(toQString(shape.name));
    setWindowTitle(toQString(shape.caption));
    setFixedSize(pixels(shape.clientWidth), pixels(shape.clientHeight));

    QIcon icon;
    icon.addFile(QStringLiteral(":/vandrel-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/vandrel-16.png"), QSize(16, 16));
    setWindowIcon(icon);

    installAccessibleFactory();
    buildWidgets();
    applyTabOrder();
    applyAccessibleNames();
    applyWidgetStyle();
    for (View& view : m_views) view.control->setObserver(this);
    m_form.onShow = [this] { showCentred(); };
}

MainWindow::~MainWindow() {
    // The form may outlive its view.
    for (View& view : m_views) view.control->setObserver(nullptr);
    m_form.onShow = nullptr;
}

void MainWindow::buildWidgets() {
    m_views.reserve(m_form.controls().size());
    for (window::Control* control : m_form.controls()) {
        const ControlSpec& row = control->row();
        View view{control, nullptr, false, false, {}};
        // A frame is built before the controls inside it.
        QWidget* parent = widgetOf(row.container);
        if (!parent) parent = this;

        switch (row.kind) {
        case ControlKind::Frame: {
            // Each widget is marked before anything is set on it: a change
            // may already create its accessible interface, which Qt keeps.
            auto* frame = new QGroupBox(parent);
            markAccessible(frame, row.name);
            frame->setTitle(toQString(row.caption));
            view.widget = frame;
            break;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(parent);
            markAccessible(label, row.name);
            // A unit's strings land in labels: never let them be read as markup.
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setText(toQString(static_cast<const window::Label&>(*control).caption()));
            if (row.valueField) {
                label->setAutoFillBackground(true);
                label->setBackgroundRole(QPalette::Base);
                label->setForegroundRole(QPalette::Text);
            }
            view.widget = label;
            break;
        }
        case ControlKind::SelectionList: {
            auto* combo = new QComboBox(parent);
            markAccessible(combo, row.name);
            combo->setEditable(false);
            // Sizing to the contents would measure every item of a long list.
            combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            // The lists are as narrow as the layout was drawn for; the
            // default style's padding would cut a serial number short.
            combo->setStyleSheet(
                QStringLiteral("QComboBox { padding-left: 2px; padding-right: 0px; }"
                               " QComboBox::drop-down { width: 16px; }"));
            auto* list = static_cast<window::SelectionList*>(control);
            // Only a user's pick is forwarded: activated is not emitted for
            // changes made by code, so mirroring never raises a handler run.
            connect(combo, &QComboBox::activated, this, [this, list](int index) {
                if (View* v = viewOf(*list)) userPicked(*v, index);
            });
            view.widget = combo;
            break;
        }
        case ControlKind::TextBox: {
            auto* text = new QPlainTextEdit(parent);
            markAccessible(text, row.name);
            text->setReadOnly(true);
            text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            text->setFocusPolicy(Qt::StrongFocus);
            // Some desktop palettes (Adwaita's) grey every text of a window
            // that is not the active one; the summary is there to be read,
            // so it keeps full contrast, and greys only when disabled.
            QPalette shown = text->palette();
            shown.setColor(QPalette::Inactive, QPalette::Text, shown.color(QPalette::Active, QPalette::Text));
            text->setPalette(shown);
            text->setPlainText(summaryText(static_cast<const window::TextBox&>(*control).text()));
            view.widget = text;
            break;
        }
        case ControlKind::Button: {
            auto* model = static_cast<window::Button*>(control);
            auto* button = new QPushButton(parent);
            markAccessible(button, row.name);
            button->setText(toQString(model->caption()));
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this, [model] { runHandler([model] { model->userPress(); }); });
            view.widget = button;
            break;
        }
        case ControlKind::Timer: {
            auto* model = static_cast<window::TimerControl*>(control);
            m_timer = new QTimer(this);
            m_timer->setObjectName(toQString(row.name));
            m_timer->setInterval(model->interval());
            connect(m_timer, &QTimer::timeout, this, [model] { runHandler([model] { model->expire(); }); });
            if (model->enabled()) m_timer->start();
            break;
        }
        }

        if (view.widget) {
            view.widget->setObjectName(toQString(row.name));
            view.widget->setGeometry(pixels(row.left), pixels(row.top), pixels(row.width), pixels(row.height));
            view.widget->setFont(fontFor(row.font));
            view.widget->setEnabled(control->enabled());
            if (!control->visible()) view.widget->hide();
        }
        m_views.push_back(view);
    }
}

void MainWindow::applyTabOrder() {
    std::vector<const View*> order;
    for (const View& view : m_views)
        if (view.widget && takesFocus(view.control->kind()) && view.control->row().tabIndex >= 0)
            order.push_back(&view);
    std::stable_sort(order.begin(), order.end(), [](const View* a, const View* b) {
        return a->control->row().tabIndex < b->control->row().tabIndex;
    });
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1]->widget, order[i]->widget);
}

void MainWindow::applyAccessibleNames() {
    for (const View& view : m_views) {
        if (!view.widget) continue;
        const window::AccessibleEntry* entry = window::findAccessibleEntry(view.control->name());
        if (!entry) continue;
        view.widget->setAccessibleName(toQString(window::accessibleName(entry->control)));
        view.widget->setAccessibleDescription(toQString(entry->description));
        // The buddy gives the label-for and labelled-by relations that
        // readers use to say a caption with its control.
        if (auto* label = qobject_cast<QLabel*>(widgetOf(entry->labelledBy))) label->setBuddy(view.widget);
    }
}

void MainWindow::applyWidgetStyle() {
    // Every control has the fixed size the layout gives it, so a style that
    // draws wider frames or arrows cannot be given room (under Adwaita the
    // arrow covers the last digit of a serial number). The window keeps to
    // Qt's own Fusion style, which every Qt installation has, whose lists the
    // padding above was measured for, and which follows the desktop's
    // palette and scale; other windows of the program keep the desktop's
    // style.
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (!fusion) return;
    fusion->setParent(this);
    setStyle(fusion);
    for (QWidget* child : findChildren<QWidget*>()) child->setStyle(fusion);
}

void MainWindow::start() {
    runHandler([this] { m_form.Form_Load(); });
}

void MainWindow::showCentred() {
    const bool onScreen = QGuiApplication::primaryScreen() != nullptr;
    if (onScreen) move(framePlacement(size()));
    show();
    if (onScreen) placeFramed(kFrameWaits);
}

QPoint MainWindow::framePlacement(QSize frame) const {
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown) return pos();
    const QRect area = shown->availableGeometry();
    const window::DesktopPoint at =
        window::windowPlacement(frame.width(), frame.height(), {area.x(), area.y(), area.width(), area.height()});
    return {at.x, at.y};
}

void MainWindow::placeFramed(int waitsLeft) {
    // A window manager frames the window some time after it is shown, and
    // places the frame where the client area was asked to go; only then is
    // the frame's size known, and the framed window placed, so its title bar
    // never lands above the screen. Without a window manager there is no
    // frame and the first placement stands.
    const QRect framed = frameGeometry();
    if (framed == geometry()) {
        if (waitsLeft > 0) QTimer::singleShot(kFrameWaitMs, this, [this, waitsLeft] { placeFramed(waitsLeft - 1); });
        return;
    }
    const QPoint offset = framePlacement(framed.size()) - framed.topLeft();
    if (!offset.isNull()) move(pos() + offset);
}

MainWindow::View* MainWindow::viewOf(const window::Control& control) {
    for (View& view : m_views)
        if (view.control == &control) return &view;
    return nullptr;
}

QWidget* MainWindow::widgetOf(std::string_view name) const {
    for (const View& view : m_views)
        if (view.control->name() == name) return view.widget;
    return nullptr;
}

void MainWindow::controlChanged(const window::Control& control, Change change) {
    View* view = viewOf(control);
    if (!view) return;
    const ControlKind kind = control.kind();

    if (kind == ControlKind::Timer) {
        const auto& timer = static_cast<const window::TimerControl&>(control);
        if (change == Change::Interval) m_timer->setInterval(timer.interval());
        if (change == Change::Enabled) {
            if (timer.enabled()) m_timer->start();
            else m_timer->stop();
        }
        return;
    }

    switch (change) {
    case Change::Enabled: view->widget->setEnabled(control.enabled()); break;
    case Change::Visible: view->widget->setVisible(control.visible()); break;
    case Change::Caption:
        if (auto* label = qobject_cast<QLabel*>(view->widget))
            label->setText(toQString(static_cast<const window::Label&>(control).caption()));
        break;
    case Change::Text:
        // One handler chain may rewrite the summary several times; laying
        // out the text once, for the last of them, is enough.
        view->textDirty = true;
        scheduleFlush();
        break;
    case Change::Items:
        // The models report each added item; the widget is rebuilt once,
        // instead of item by item.
        view->itemsDirty = true;
        scheduleFlush();
        break;
    case Change::Selection:
        // A list being rebuilt gets its selection with its items.
        if (!view->itemsDirty) showSelection(*view);
        break;
    case Change::Interval: break;
    }
}

void MainWindow::scheduleFlush() {
    if (m_flushQueued) return;
    m_flushQueued = true;
    QMetaObject::invokeMethod(this, &MainWindow::flush, Qt::QueuedConnection);
}

void MainWindow::flush() {
    m_flushQueued = false;
    for (View& view : m_views) {
        if (view.itemsDirty) syncList(view);
        if (view.textDirty) {
            view.textDirty = false;
            if (auto* text = qobject_cast<QPlainTextEdit*>(view.widget))
                text->setPlainText(summaryText(static_cast<const window::TextBox&>(*view.control).text()));
        }
    }
}

void MainWindow::syncList(View& view) {
    const auto& list = static_cast<const window::SelectionList&>(*view.control);
    auto* combo = static_cast<QComboBox*>(view.widget);
    if (list.items() == view.shownItems) {
        view.itemsDirty = false;
        if (combo->currentIndex() != list.listIndex()) showSelection(view);
        return;
    }
    QStringList items;
    items.reserve(list.itemCount());
    for (const std::string& item : list.items()) items.append(toQString(item));

    const QSignalBlocker blocker(combo);
    combo->setUpdatesEnabled(false);
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(list.listIndex());
    combo->setUpdatesEnabled(true);
    view.shownItems = list.items();
    view.itemsDirty = false;
}

void MainWindow::showSelection(const View& view) {
    const auto& list = static_cast<const window::SelectionList&>(*view.control);
    auto* combo = static_cast<QComboBox*>(view.widget);
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(list.listIndex());
}

void MainWindow::userPicked(View& view, int index) {
    auto& list = static_cast<window::SelectionList&>(*view.control);
    // A pick from a widget whose items are stale would name the wrong item.
    if (!view.itemsDirty) runHandler([&list, index] { list.userPick(index); });
    // The model may have ignored the pick; show what it holds.
    if (view.itemsDirty) syncList(view);
    else showSelection(view);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    runHandler([this, &cancel] { m_form.Form_Unload(cancel); });
    event->accept();
}

}  // namespace frontend::qt
