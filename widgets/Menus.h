// Menus: a tree of items with captions, check marks and enabled states.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Handles.h"

class TMenuItem {
public:
    explicit TMenuItem(const std::wstring& caption = L"");
    ~TMenuItem();
    TMenuItem(const TMenuItem&) = delete;
    TMenuItem& operator=(const TMenuItem&) = delete;

    TMenuItem& Add(const std::wstring& caption, std::function<void()> onClick = nullptr);
    void AddSeparator();
    void SetCaption(const std::wstring& caption);
    const std::wstring& Caption() const { return caption_; }
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    void SetChecked(bool checked);
    bool Checked() const { return checked_; }
    bool IsSeparator() const { return separator_; }
    const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return items_; }
    UINT Id() const { return id_; }
    HMENU SubMenu() const { return submenu_.Get(); }
    void Click();
    std::function<void()> onClick;

    static TMenuItem* FromId(UINT id);

private:
    void UpdateParent();
    void Rebuild();
    std::wstring caption_;
    bool enabled_ = true;
    bool checked_ = false;
    bool separator_ = false;
    UINT id_ = 0;
    TMenuItem* parent_ = nullptr;
    MenuHandle submenu_;
    std::vector<std::unique_ptr<TMenuItem>> items_;
};

class TPopupMenu : public TMenuItem {
public:
    // Shows the menu at a screen point, owned by the window; runs the chosen item.
    void Popup(HWND owner, POINT screen);
};
