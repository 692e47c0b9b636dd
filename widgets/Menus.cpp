#include "widgets/Menus.h"

#include <map>

#include "widgets/Application.h"

namespace {
std::map<UINT, TMenuItem*>& MenuIds()
{
    static std::map<UINT, TMenuItem*> ids;
    return ids;
}
} // namespace

TMenuItem::TMenuItem(const std::wstring& caption) : caption_(caption)
{
    static UINT next = 1000;
    id_ = next++;
    MenuIds()[id_] = this;
}

TMenuItem::~TMenuItem()
{
    items_.clear();
    if (parent_ && parent_->submenu_)
        RemoveMenu(parent_->submenu_.Get(), id_, MF_BYCOMMAND);
    MenuIds().erase(id_);
}

TMenuItem* TMenuItem::FromId(UINT id)
{
    auto it = MenuIds().find(id);
    return it == MenuIds().end() ? nullptr : it->second;
}

TMenuItem& TMenuItem::Add(const std::wstring& caption, std::function<void()> onClickHandler)
{
    if (!submenu_) {
        submenu_.Reset(CreatePopupMenu());
        UpdateParent();
    }
    items_.push_back(std::make_unique<TMenuItem>(caption));
    TMenuItem& item = *items_.back();
    item.parent_ = this;
    item.onClick = std::move(onClickHandler);
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE;
    info.wID = item.id_;
    info.dwTypeData = item.caption_.data();
    info.fState = MFS_ENABLED;
    InsertMenuItemW(submenu_.Get(), GetMenuItemCount(submenu_.Get()), TRUE, &info);
    return item;
}

void TMenuItem::AddSeparator()
{
    if (!submenu_) {
        submenu_.Reset(CreatePopupMenu());
        UpdateParent();
    }
    items_.push_back(std::make_unique<TMenuItem>());
    TMenuItem& item = *items_.back();
    item.parent_ = this;
    item.separator_ = true;
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_ID | MIIM_FTYPE;
    info.fType = MFT_SEPARATOR;
    info.wID = item.id_;
    InsertMenuItemW(submenu_.Get(), GetMenuItemCount(submenu_.Get()), TRUE, &info);
}

void TMenuItem::UpdateParent()
{
    if (!parent_ || !parent_->submenu_)
        return;
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_STRING | MIIM_STATE | MIIM_SUBMENU;
    info.dwTypeData = caption_.data();
    info.fState = (enabled_ ? MFS_ENABLED : MFS_DISABLED) | (checked_ ? MFS_CHECKED : MFS_UNCHECKED);
    info.hSubMenu = submenu_.Get();
    SetMenuItemInfoW(parent_->submenu_.Get(), id_, FALSE, &info);
}

void TMenuItem::SetCaption(const std::wstring& caption)
{
    caption_ = caption;
    UpdateParent();
}

void TMenuItem::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    UpdateParent();
}

void TMenuItem::SetChecked(bool checked)
{
    checked_ = checked;
    UpdateParent();
}

void TMenuItem::Click()
{
    if (enabled_ && onClick)
        onClick();
}

void TPopupMenu::Popup(HWND owner, POINT screen)
{
    if (!SubMenu())
        return;
    SetForegroundWindow(owner);
    UINT id = UINT(TrackPopupMenuEx(SubMenu(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, screen.x, screen.y,
                                    owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0);
    if (TMenuItem* item = FromId(id))
        item->Click();
}
