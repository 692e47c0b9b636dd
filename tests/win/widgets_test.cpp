#include <gtest/gtest.h>

#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"
#include "widgets/Menus.h"
#include "widgets/Timer.h"

namespace {

class ProbeForm : public TForm {
public:
    ProbeForm() : TForm(L"Probe", Border::Dialog, 200, 100)
    {
        SetKeyPreview(true);
        ok.onClick = [this] { SetModalResult(ModalAnswer::Ok); };
    }
    ~ProbeForm() override { DestroyHandle(); }
    void FormKeyPress(wchar_t& key) override
    {
        pressed += key;
        if (key == 27)
            SetModalResult(ModalAnswer::Cancel);
    }
    void FormClose() override { ++closed; }
    TButton ok{*this, 10, 10, 73, 25, L"OK"};
    TEdit edit{*this, 10, 50, 100, 21};
    std::wstring pressed;
    int closed = 0;
};

struct HookScope {
    explicit HookScope(std::function<void(TForm&)> hook) { Application::ModalShownHook() = std::move(hook); }
    ~HookScope() { Application::ModalShownHook() = nullptr; }
};

} // namespace

TEST(Widgets, ModalAnswersFromARealClickAndKeys)
{
    ProbeForm form;
    {
        HookScope hook([](TForm& f) {
            auto& probe = static_cast<ProbeForm&>(f);
            PostMessageW(probe.ok.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            PostMessageW(probe.ok.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        });
        EXPECT_EQ(form.ShowModal(), ModalAnswer::Ok);
    }
    EXPECT_EQ(form.closed, 1);
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
    {
        // Keys reach the form before the focused edit; Escape answers 2.
        HookScope hook([](TForm& f) {
            auto& probe = static_cast<ProbeForm&>(f);
            probe.edit.SetFocus();
            PostMessageW(probe.edit.Handle(), WM_CHAR, L'a', 0);
            PostMessageW(probe.edit.Handle(), WM_CHAR, VK_ESCAPE, 0);
        });
        EXPECT_EQ(form.ShowModal(), ModalAnswer::Cancel);
    }
    EXPECT_EQ(form.pressed, std::wstring(L"a\x1b"));
    EXPECT_EQ(form.edit.Text(), L"a");
}

TEST(Widgets, FailureInATimerReachesTheReportOnce)
{
    std::vector<std::wstring> reports;
    Application::SetExceptionHook([&](const Failure& f) { reports.push_back(f.Message()); });
    TTimer timer;
    int ticks = 0;
    timer.onTimer = [&] {
        ++ticks;
        timer.SetEnabled(false);
        throw Failure(L"tick failed");
    };
    timer.SetInterval(10);
    timer.SetEnabled(true);
    DWORD start = GetTickCount();
    while (ticks == 0 && GetTickCount() - start < 3000)
        Application::HandleMessage(true);
    Application::ProcessMessages();
    Application::SetExceptionHook(nullptr);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], L"tick failed");
}

TEST(Widgets, MenuItemsKeepStateInTheRealMenu)
{
    TPopupMenu menu;
    int clicks = 0;
    TMenuItem& open = menu.Add(L"&Open", [&] { ++clicks; });
    menu.AddSeparator();
    TMenuItem& zoom = menu.Add(L"Zoom");
    zoom.Add(L"Zoom In 10%");
    zoom.SetEnabled(false);
    open.SetChecked(true);
    ASSERT_EQ(GetMenuItemCount(menu.SubMenu()), 3);
    MENUITEMINFOW info{sizeof(info)};
    wchar_t text[64];
    info.fMask = MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(menu.SubMenu(), 2, TRUE, &info));
    EXPECT_STREQ(text, L"Zoom");
    EXPECT_TRUE(info.fState & MFS_DISABLED);
    EXPECT_EQ(info.hSubMenu, zoom.SubMenu());
    info.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(menu.SubMenu(), 0, TRUE, &info));
    EXPECT_TRUE(info.fState & MFS_CHECKED);
    open.Click();
    zoom.Items()[0]->Click();
    EXPECT_EQ(clicks, 1);
}
