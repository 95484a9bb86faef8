// The native window over the control models, in-process, over a simulated
// unit: model changes reach the native controls, a user's pick or press
// reaches the model exactly once, and nothing thrown by a handler escapes
// the window procedure.
#include "frontend/win32/main_window.h"

#include "support/connected_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using device::sim::Operation;
using frontend::win32::widen;

std::wstring textOf(HWND control) {
    wchar_t text[1024] = {};
    GetWindowTextW(control, text, 1024);
    return text;
}

void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.plug(device::sim::unitConfig(u"VD-000101"));
        view = std::make_unique<frontend::win32::MainWindow>(GetModuleHandleW(nullptr), form);
        if (!view->create()) GTEST_SKIP() << "no window can be created here";
        // The window stays hidden: on a display without a window manager,
        // destroying a shown window waits for one. The smoke test shows it.
        form.onShow = [this] { ++shows; };
        form.Form_Load();
        pumpMessages();
    }

    // What a user's pick in the drop-down sends to the window.
    void userPicks(window::SelectionList& list, int index) {
        HWND combo = view->nativeHandle(list);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(view->handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }

    int nativeSelection(window::SelectionList& list) {
        return static_cast<int>(SendMessageW(view->nativeHandle(list), CB_GETCURSEL, 0, 0));
    }

    device::sim::SimPlatform platform;
    window::frmMain form{platform};
    std::unique_ptr<frontend::win32::MainWindow> view;
    int shows = 0;
};

TEST_F(MainWindowTest, StartUpStateIsMirroredIntoTheNativeControls) {
    ASSERT_TRUE(form.connection().DeviceDetected);
    EXPECT_EQ(shows, 1);
    for (window::SelectionList* list : {&form.SerNo, &form.Enc1, &form.Enc2, &form.Cal}) {
        HWND combo = view->nativeHandle(*list);
        EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), list->itemCount()) << list->name();
        EXPECT_EQ(nativeSelection(*list), list->listIndex()) << list->name();
        if (list->listIndex() >= 0) {
            wchar_t item[256] = {};
            SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(list->listIndex()), reinterpret_cast<LPARAM>(item));
            EXPECT_EQ(std::wstring(item), widen(list->text())) << list->name();
        }
    }
    for (window::Label* label : {&form.lblManuf, &form.lblProduct, &form.lblVersion}) {
        EXPECT_FALSE(label->caption().empty());
        EXPECT_EQ(textOf(view->nativeHandle(*label)), widen(label->caption())) << label->name();
    }
    // The summary's lines are CR LF separated, as the edit control needs.
    EXPECT_EQ(textOf(view->nativeHandle(form.Summary)), widen(form.Summary.text()));
    EXPECT_TRUE(IsWindowEnabled(view->nativeHandle(form.Enc1)));
    EXPECT_FALSE(IsWindowVisible(view->nativeHandle(form.Enc3)));
}

TEST_F(MainWindowTest, FrameStateReachesTheControlsItHolds) {
    HWND enc1 = view->nativeHandle(form.Enc1);
    form.Frame3.setEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(enc1));
    form.Frame3.setEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(enc1));
    form.Enc1.setEnabled(false);
    form.Frame3.setEnabled(true);
    EXPECT_FALSE(IsWindowEnabled(enc1));
}

TEST_F(MainWindowTest, UserPickRunsTheHandlerOnce) {
    const std::size_t writes = platform.featureWrites();
    userPicks(form.Enc1, 5);
    pumpMessages();
    EXPECT_EQ(form.Enc1.listIndex(), 5);
    EXPECT_EQ(platform.featureWrites(), writes + 1);
    EXPECT_EQ(nativeSelection(form.Enc1), 5);
}

TEST_F(MainWindowTest, AssignmentFromCodeRaisesNoSecondHandlerRun) {
    int runs = 0;
    form.Enc2.onClick = [&runs] { ++runs; };
    form.Enc2.setListIndex(2);
    pumpMessages();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(nativeSelection(form.Enc2), 2);
    form.Enc2.clear();
    pumpMessages();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(SendMessageW(view->nativeHandle(form.Enc2), CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(nativeSelection(form.Enc2), -1);
}

TEST_F(MainWindowTest, RefusedPickLeavesTheModelsSelectionShowing) {
    const int before = form.Enc1.listIndex();
    const std::size_t writes = platform.featureWrites();
    form.Enc1.setEnabled(false);
    userPicks(form.Enc1, before + 3);
    EXPECT_EQ(form.Enc1.listIndex(), before);
    EXPECT_EQ(nativeSelection(form.Enc1), before);
    EXPECT_EQ(platform.featureWrites(), writes);
}

TEST_F(MainWindowTest, ButtonPressRestoresDefaults) {
    userPicks(form.Enc2, 0);
    const std::size_t writes = platform.featureWrites();
    HWND button = view->nativeHandle(form.Command1);
    SendMessageW(view->handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    EXPECT_GT(platform.featureWrites(), writes);
    EXPECT_EQ(nativeSelection(form.Enc2), form.Enc2.listIndex());
}

TEST_F(MainWindowTest, HandlerExceptionStaysInsideTheWindowProcedure) {
    form.Enc1.onClick = [] { throw std::runtime_error("handler failed"); };
    EXPECT_NO_THROW(userPicks(form.Enc1, 1));
    EXPECT_TRUE(IsWindow(view->handle()));
}

TEST_F(MainWindowTest, TimerExpiriesPollTheUnit) {
    ASSERT_TRUE(form.Timer.enabled());
    const std::size_t reads = platform.calls(Operation::Read);
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (platform.calls(Operation::Read) == reads && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        pumpMessages();
    }
    EXPECT_GT(platform.calls(Operation::Read), reads);
}

// Moving to a monitor of another density lays everything out anew in that
// monitor's pixels.
TEST_F(MainWindowTest, DpiChangeScalesTheClientAreaAndControls) {
    RECT suggested{10, 10, 700, 1000};
    SendMessageW(view->handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT client{};
    GetClientRect(view->handle(), &client);
    EXPECT_EQ(client.right, MulDiv(5415, 144, 1440));
    EXPECT_EQ(client.bottom, MulDiv(8610, 144, 1440));
    RECT button{};
    GetWindowRect(view->nativeHandle(form.Command1), &button);
    MapWindowPoints(nullptr, view->handle(), reinterpret_cast<POINT*>(&button), 2);
    EXPECT_EQ(button.left, MulDiv(1200, 144, 1440));
    EXPECT_EQ(button.top, MulDiv(7800, 144, 1440));
    EXPECT_EQ(button.right - button.left, MulDiv(2895, 144, 1440));
    RECT list{};
    GetWindowRect(view->nativeHandle(form.Cal), &list);
    EXPECT_EQ(list.bottom - list.top, MulDiv(360, 144, 1440));
}

// A key as the program's message loop delivers it: through the dialog
// manager first, else to the control with focus.
void pressKey(HWND window, UINT key, bool shift = false) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        MSG m{GetFocus(), message, key, message == WM_KEYUP ? 0xC0000001 : 1, 0, {}};
        if (!IsDialogMessageW(window, &m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        pumpMessages();
    }
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

std::wstring accessibleName(HWND control) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))) ||
        !object)
        return L"<none>";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::wstring out;
    if (SUCCEEDED(object->get_accName(self, &name)) && name) out = name;
    SysFreeString(name);
    object->Release();
    return out;
}

// A person at the keyboard, with two units attached so every list takes
// input: Tab goes round every control that can take focus in TabIndex
// order, the summary included, and Shift+Tab goes back; the arrow keys pick
// in a list; Space presses the button.
TEST_F(MainWindowTest, KeyboardReachesEveryControlInTabOrder) {
    platform.plug(device::sim::unitConfig(u"VD-000102"));
    testsupport::closeWindow(form);
    form.Form_Load();
    pumpMessages();
    ASSERT_TRUE(form.SerNo.acceptsInput());

    std::vector<const window::Control*> focusable;
    for (const window::Control* c : form.controls()) {
        const window::ControlKind kind = c->kind();
        if ((kind == window::ControlKind::SelectionList || kind == window::ControlKind::TextBox ||
             kind == window::ControlKind::Button) &&
            c->acceptsInput())
            focusable.push_back(c);
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const window::Control* a, const window::Control* b) { return a->row().tabIndex < b->row().tabIndex; });
    ASSERT_EQ(focusable.size(), 6u) << "Enc1, Cal, Enc2, Command1, SerNo, Summary";

    SetFocus(view->nativeHandle(*focusable.front()));
    ASSERT_EQ(GetFocus(), view->nativeHandle(*focusable.front()));
    for (const bool back : {false, true}) {
        for (std::size_t step = 1; step <= focusable.size(); ++step) {
            pressKey(view->handle(), VK_TAB, back);
            const std::size_t at = (back ? focusable.size() - step : step) % focusable.size();
            EXPECT_EQ(GetFocus(), view->nativeHandle(*focusable[at]))
                << (back ? "Shift+Tab " : "Tab ") << step << " should reach " << focusable[at]->name();
        }
    }

    SetFocus(view->nativeHandle(form.Enc2));
    form.Enc2.setListIndex(0);
    pumpMessages();
    std::size_t writes = platform.featureWrites();
    pressKey(view->handle(), VK_DOWN);
    EXPECT_EQ(form.Enc2.listIndex(), 1);
    EXPECT_EQ(platform.featureWrites(), writes + 1) << "each arrow key is a pick";
    pressKey(view->handle(), VK_UP);
    EXPECT_EQ(form.Enc2.listIndex(), 0);

    SetFocus(view->nativeHandle(form.Command1));
    writes = platform.featureWrites();
    pressKey(view->handle(), VK_SPACE);
    EXPECT_EQ(form.Enc2.listIndex(), 1) << "the default polarity is restored";
    EXPECT_GT(platform.featureWrites(), writes);
}

// What a screen reader is given, as far as Wine's accessibility proxies
// tell: frames, labels and the button are named by their captions, and each
// list comes right after the label that names it in the z-order, which is
// where the system's proxy looks for a list's name. (Wine names a list by
// its current item and ignores the annotations that name the lists, the
// value fields and the summary.)
TEST_F(MainWindowTest, AccessibleNamesComeFromTheCaptions) {
    for (const window::Control* c : form.controls()) {
        const HWND native = view->nativeHandle(*c);
        switch (c->kind()) {
        case window::ControlKind::Label:
            if (c->row().valueField) break;
            [[fallthrough]];
        case window::ControlKind::Frame:
        case window::ControlKind::Button:
            EXPECT_EQ(accessibleName(native), widen(std::string(c->row().caption))) << c->name();
            break;
        case window::ControlKind::SelectionList: {
            const window::AccessibleEntry* entry = window::findAccessibleEntry(c->name());
            ASSERT_NE(entry, nullptr) << c->name();
            const window::Control* label = form.findControl(entry->labelledBy);
            ASSERT_NE(label, nullptr) << c->name();
            EXPECT_EQ(GetWindow(native, GW_HWNDPREV), view->nativeHandle(*label)) << c->name();
            break;
        }
        default: break;
        }
    }
}

TEST_F(MainWindowTest, CloseUnloadsTheFormAndEndsTheLoop) {
    HWND handle = view->handle();
    SendMessageW(handle, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(view->handle(), nullptr);
    EXPECT_FALSE(form.connection().DeviceDetected);
    EXPECT_EQ(platform.openHandles(), 0u);
    MSG message;
    bool quit = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        if (message.message == WM_QUIT) quit = true;
    EXPECT_TRUE(quit);
}

}  // namespace
