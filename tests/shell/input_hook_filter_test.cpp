// The application's key and mouse input reaches the GUI thread's hooks, once
// per event, from the moment start-up has run.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <vector>

#include "app_fixture.h"
#include "platform/win_api.h"
#include "platform/win_hooks.h"

namespace {

using app_testing::AppMachine;

struct Seen {
    int type;
    win::WPARAM wParam;
    win::LPARAM keyFlags;
    win::POINT point;
};
std::vector<Seen> seen;

win::LRESULT keyHook(int code, win::WPARAM w, win::LPARAM l)
{
    seen.push_back({win::WH_KEYBOARD, w, l, {}});
    return win::CallNextHookEx(nullptr, code, w, l);
}

win::LRESULT mouseHook(int code, win::WPARAM w, win::LPARAM l)
{
    seen.push_back({win::WH_MOUSE, w, 0, reinterpret_cast<const win::MOUSEHOOKSTRUCT*>(l)->pt});
    return win::CallNextHookEx(nullptr, code, w, l);
}

class InputHookFilterTest : public AppMachine {
protected:
    void SetUp() override
    {
        AppMachine::SetUp();
        seen.clear();
        const win::DWORD self = win::GetCurrentThreadId();
        keys_ = win::SetWindowsHookExA(win::WH_KEYBOARD, keyHook, nullptr, self);
        mouse_ = win::SetWindowsHookExA(win::WH_MOUSE, mouseHook, nullptr, self);
    }
    void TearDown() override
    {
        win::UnhookWindowsHookEx(keys_);
        win::UnhookWindowsHookEx(mouse_);
        AppMachine::TearDown();
    }
    win::HHOOK keys_ = nullptr, mouse_ = nullptr;
};

TEST_F(InputHookFilterTest, KeysAndMouseReachTheHooksOncePerEvent)
{
    StartApp();
    app_->ExitInstance();
    StartApp();  // a second start-up adds no second filter
    QWidget widget;
    widget.resize(100, 80);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QWindow* window = widget.windowHandle();

    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 0x26, 0, 0);
    QCoreApplication::sendEvent(window, &release);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, win::WH_KEYBOARD);
    EXPECT_EQ(seen[0].wParam, win::WPARAM('A'));
    EXPECT_EQ(seen[0].keyFlags, win::LPARAM(0xC0260001)) << "released, scan code 0x26, once";

    seen.clear();
    QKeyEvent held(QEvent::KeyPress, Qt::Key_B, Qt::AltModifier, 0x38, 0, 0, QString(), true);
    QCoreApplication::sendEvent(window, &held);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].keyFlags, win::LPARAM(0x60380001)) << "Alt, and down before";

    seen.clear();
    const QPoint global = widget.mapToGlobal(QPoint(10, 20));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(global), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, win::WH_MOUSE);
    EXPECT_EQ(seen[0].wParam, win::WPARAM(win::WM_RBUTTONDOWN));
    EXPECT_EQ(seen[0].point.x, global.x());
    EXPECT_EQ(seen[0].point.y, global.y());
}

}  // namespace
