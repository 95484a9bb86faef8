#pragma once

#include "frontend/win32/support.h"
#include "window/controls.h"
#include "window/frm_main.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace frontend::win32 {

// The native window over frmMain's control models. The models hold all
// state; this class creates one native control per model row, mirrors every
// model change into it, and turns a user's pick, press or the timer's
// expiry into the model's own entry points. Registration and dispatch are
// here; native_controls creates and mirrors the controls, layout places them.
class MainWindow final : public window::ControlObserver {
public:
    MainWindow(HINSTANCE instance, window::frmMain& form);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, hidden, with every control; false when the
    // system refuses.
    bool create();
    HWND handle() const { return m_window; }
    // The native control that shows a model; nullptr for the timer.
    HWND nativeHandle(const window::Control& control) const;
    void show();

    void controlChanged(const window::Control& control, window::Change change) override;

private:
    struct NativeControl {
        window::Control* model = nullptr;
        HWND handle = nullptr;
        int id = 0;
        // The list's items changed in the model and the native list has not
        // been rebuilt yet.
        bool itemsStale = false;
        // A list's items as the native list shows them: a tick that empties
        // and refills a list with what it held rebuilds and repaints nothing.
        std::vector<std::string> shownItems;
    };

    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kSyncItemsMessage = WM_APP + 1;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code);
    void onClose();
    void moveFocus(HWND to);

    void createControls();
    // The label the accessible table names a list by; nullptr for anything
    // else.
    HWND labelOf(const NativeControl& list) const;
    NativeControl* byId(int id);

    void layout();
    int toPixels(int twips) const;
    void placeLabelsAtTheirLists();
    void placeOnScreen();

    void mirrorEnabled(const NativeControl& control);
    void mirrorVisible(const NativeControl& control);
    void mirrorItems(NativeControl& control);
    void mirrorStaleItems();
    void mirrorSelection(const NativeControl& control);
    void mirrorTimer();

    HINSTANCE m_instance;
    window::frmMain& m_form;
    HWND m_window = nullptr;
    UINT m_dpi = USER_DEFAULT_SCREEN_DPI;
    SIZE m_outerSize{};  // the framed window's size that gives the client area
    std::vector<NativeControl> m_controls;
    std::unique_ptr<FontSet> m_fonts;
    // Set while a model change is copied into a native control: any
    // notification the copy raises is not a user's action.
    bool m_mirroring = false;
    bool m_timerRunning = false;
    bool m_itemsSyncPosted = false;
    Annotations m_annotations;
};

}  // namespace frontend::win32
