// Files dragged onto a window from the shell (or any program that drags
// files): the system's drop target, so that the pointer shows whether a drop
// would be taken. The owner decides from the dropped paths.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

// OLE for the calling thread while the object lives (the user-interface
// thread: drag and drop and the clipboard need it).
class OleScope {
public:
    OleScope() : result_(OleInitialize(nullptr)) {}
    ~OleScope()
    {
        if (SUCCEEDED(result_))
            OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;
    bool Ready() const { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

// The file names an OLE data object carries (the shell's file list), empty
// when it carries none.
std::vector<std::wstring> DroppedFileNames(IDataObject* data);

// Registers a window as a drop target for file lists while it lives. The
// callbacks run inside Guarded: a failure is reported, never thrown back to
// the dragging program.
class TFileDropTarget final : public IDropTarget {
public:
    // accepts: whether a drop of these paths would be taken (asked once as
    // the drag enters: it is to answer at once, from the names); onDrop: the
    // paths dropped, when they were taken (it is to return at once too: the
    // dragging program waits for it).
    TFileDropTarget(std::function<bool(const std::vector<std::wstring>&)> accepts,
                    std::function<void(std::vector<std::wstring>)> onDrop);
    ~TFileDropTarget();
    TFileDropTarget(const TFileDropTarget&) = delete;
    TFileDropTarget& operator=(const TFileDropTarget&) = delete;

    // Starts taking drops on the window (OLE must be initialised on this
    // thread); false when the system refused. Revoke before the window goes.
    bool Register(HWND window);
    void Revoke();

    // IUnknown: the object's life is its owner's; the counts only guard
    // against a caller that holds on after Revoke.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    // Copy when the drag offers it and the owner would take it.
    DWORD Effect(DWORD allowed) const;

    std::function<bool(const std::vector<std::wstring>&)> accepts_;
    std::function<void(std::vector<std::wstring>)> onDrop_;
    HWND window_ = nullptr;
    bool accepted_ = false;
    LONG references_ = 1;
};
