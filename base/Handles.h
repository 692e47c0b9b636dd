// Owning wrappers for Win32 handles: every handle the program opens is
// closed by a destructor, also when a failure leaves the scope.
#pragma once

#include <windows.h>

#include <utility>

template <class T, class Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    T Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }
    T Release() { return std::exchange(handle_, Traits::Invalid()); }
    void Reset(T handle = Traits::Invalid())
    {
        if (handle_ != Traits::Invalid())
            Traits::Close(handle_);
        handle_ = handle;
    }

private:
    T handle_ = Traits::Invalid();
};

namespace handle_traits {
template <class T> struct Gdi { static T Invalid() { return nullptr; } static void Close(T h) { DeleteObject(h); } };
struct Dc { static HDC Invalid() { return nullptr; } static void Close(HDC h) { DeleteDC(h); } };
struct File { static HANDLE Invalid() { return INVALID_HANDLE_VALUE; } static void Close(HANDLE h) { CloseHandle(h); } };
struct Find { static HANDLE Invalid() { return INVALID_HANDLE_VALUE; } static void Close(HANDLE h) { FindClose(h); } };
struct Module { static HMODULE Invalid() { return nullptr; } static void Close(HMODULE h) { FreeLibrary(h); } };
struct Icon { static HICON Invalid() { return nullptr; } static void Close(HICON h) { DestroyIcon(h); } };
struct Cursor { static HCURSOR Invalid() { return nullptr; } static void Close(HCURSOR h) { DestroyCursor(h); } };
struct Menu { static HMENU Invalid() { return nullptr; } static void Close(HMENU h) { DestroyMenu(h); } };
struct EnhMeta { static HENHMETAFILE Invalid() { return nullptr; } static void Close(HENHMETAFILE h) { DeleteEnhMetaFile(h); } };
struct Key { static HKEY Invalid() { return nullptr; } static void Close(HKEY h) { RegCloseKey(h); } };
struct Global { static HGLOBAL Invalid() { return nullptr; } static void Close(HGLOBAL h) { GlobalFree(h); } };
struct Hook { static HHOOK Invalid() { return nullptr; } static void Close(HHOOK h) { UnhookWindowsHookEx(h); } };
} // namespace handle_traits

using BitmapHandle = UniqueHandle<HBITMAP, handle_traits::Gdi<HBITMAP>>;
using FontHandle = UniqueHandle<HFONT, handle_traits::Gdi<HFONT>>;
using BrushHandle = UniqueHandle<HBRUSH, handle_traits::Gdi<HBRUSH>>;
using PenHandle = UniqueHandle<HPEN, handle_traits::Gdi<HPEN>>;
using RegionHandle = UniqueHandle<HRGN, handle_traits::Gdi<HRGN>>;
using PaletteHandle = UniqueHandle<HPALETTE, handle_traits::Gdi<HPALETTE>>;
using MemoryDcHandle = UniqueHandle<HDC, handle_traits::Dc>;
using DcHandle = UniqueHandle<HDC, handle_traits::Dc>;   // CreateDC and printer DCs
using FileHandle = UniqueHandle<HANDLE, handle_traits::File>;
using FindHandle = UniqueHandle<HANDLE, handle_traits::Find>;
using ModuleHandle = UniqueHandle<HMODULE, handle_traits::Module>;
using IconHandle = UniqueHandle<HICON, handle_traits::Icon>;
using MenuHandle = UniqueHandle<HMENU, handle_traits::Menu>;
using EnhMetaFileHandle = UniqueHandle<HENHMETAFILE, handle_traits::EnhMeta>;
using KeyHandle = UniqueHandle<HKEY, handle_traits::Key>;
using GlobalMemoryHandle = UniqueHandle<HGLOBAL, handle_traits::Global>;
using HookHandle = UniqueHandle<HHOOK, handle_traits::Hook>;

// A movable memory block locked for the scope (GlobalLock/GlobalUnlock).
template <class T>
class GlobalLocked {
public:
    explicit GlobalLocked(HGLOBAL block) : block_(block), data_(static_cast<T*>(GlobalLock(block))) {}
    ~GlobalLocked() { if (data_) GlobalUnlock(block_); }
    GlobalLocked(const GlobalLocked&) = delete;
    GlobalLocked& operator=(const GlobalLocked&) = delete;
    T* Get() const { return data_; }
    T* operator->() const { return data_; }

private:
    HGLOBAL block_;
    T* data_;
};

// A window's DC for the scope (GetDC/ReleaseDC; null window = the screen).
class WindowDc {
public:
    explicit WindowDc(HWND window = nullptr) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { if (dc_) ReleaseDC(window_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint for the scope.
class PaintDc {
public:
    explicit PaintDc(HWND window) : window_(window) { dc_ = BeginPaint(window, &ps_); }
    ~PaintDc() { EndPaint(window_, &ps_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC Get() const { return dc_; }
    const RECT& Area() const { return ps_.rcPaint; }

private:
    HWND window_;
    HDC dc_;
    PAINTSTRUCT ps_{};
};

// Selects an object into a DC for the scope and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() { if (old_) SelectObject(dc_, old_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves and restores a DC's whole state for the scope.
class SavedDcState {
public:
    explicit SavedDcState(HDC dc) : dc_(dc), id_(SaveDC(dc)) {}
    ~SavedDcState() { RestoreDC(dc_, id_); }
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;

private:
    HDC dc_;
    int id_;
};
