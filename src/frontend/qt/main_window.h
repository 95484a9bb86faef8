#pragma once

#include "window/control_table.h"
#include "window/frm_main.h"

#include <QWidget>

#include <string>
#include <string_view>
#include <vector>

class QCloseEvent;
class QComboBox;
class QTimer;

namespace frontend::qt {

// Marks a widget as the view of a named control of the window, so that
// screen readers get the control's name, value and group from the core's
// table rather than from what the toolkit guesses.
void markAccessible(QWidget* widget, std::string_view controlName);

// Registers the accessible interfaces of marked widgets; safe to call more
// than once.
void installAccessibleFactory();

// The window as Qt widgets: a thin view over frmMain's control models. It
// builds one widget per row of the window's table, mirrors every model
// change into its widget and hands every user action back to the model, so
// the controls behave as the core says.
class MainWindow final : public QWidget, public window::ControlObserver {
    Q_OBJECT

public:
    explicit MainWindow(window::frmMain& form, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the window's start-up, which shows the window centred on the
    // screen before any device work begins.
    void start();

    // Brings the lists and the summary up to date now; their changes are
    // otherwise applied once, when control returns to the event loop.
    void flush();

    // The widget of a named control; nullptr for the timer or an unknown name.
    QWidget* widgetOf(std::string_view name) const;
    QTimer* pollTimer() const { return m_timer; }

    void controlChanged(const window::Control& control, window::Change change) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct View {
        window::Control* control = nullptr;
        QWidget* widget = nullptr;
        bool itemsDirty = false;
        bool textDirty = false;
        // A list's items as the widget shows them: a tick that empties and
        // refills a list with what it held rebuilds and repaints nothing.
        std::vector<std::string> shownItems;
    };

    void buildWidgets();
    void applyTabOrder();
    void applyAccessibleNames();
    void applyWidgetStyle();
    void showCentred();
    QPoint framePlacement(QSize frame) const;
    void placeFramed(int waitsLeft);
    View* viewOf(const window::Control& control);
    void scheduleFlush();
    void syncList(View& view);
    void showSelection(const View& view);
    void userPicked(View& view, int index);

    window::frmMain& m_form;
    std::vector<View> m_views;
    QTimer* m_timer = nullptr;
    bool m_flushQueued = false;
};

}  // namespace frontend::qt
