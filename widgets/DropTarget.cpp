#include "widgets/DropTarget.h"

#include <shellapi.h>

#include "widgets/Application.h"

std::vector<std::wstring> DroppedFileNames(IDataObject* data)
{
    std::vector<std::wstring> names;
    if (!data)
        return names;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
        return names;
    // The medium is released however the reading ends.
    struct Medium {
        STGMEDIUM& m;
        ~Medium() { ReleaseStgMedium(&m); }
    } release{medium};
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal)
        return names;
    auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (!drop)
        return names;
    struct Unlock {
        HGLOBAL g;
        ~Unlock() { GlobalUnlock(g); }
    } unlock{medium.hGlobal};
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0)
            continue;
        std::wstring name(length + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), length + 1));
        names.push_back(std::move(name));
    }
    return names;
}

TFileDropTarget::TFileDropTarget(std::function<bool(const std::vector<std::wstring>&)> accepts,
                                 std::function<void(std::vector<std::wstring>)> onDrop)
    : accepts_(std::move(accepts)), onDrop_(std::move(onDrop))
{
}

TFileDropTarget::~TFileDropTarget() { Revoke(); }

bool TFileDropTarget::Register(HWND window)
{
    Revoke();
    if (FAILED(RegisterDragDrop(window, this)))
        return false;
    window_ = window;
    return true;
}

void TFileDropTarget::Revoke()
{
    if (window_)
        RevokeDragDrop(window_);
    window_ = nullptr;
}

HRESULT TFileDropTarget::QueryInterface(REFIID id, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TFileDropTarget::AddRef() { return ULONG(InterlockedIncrement(&references_)); }

ULONG TFileDropTarget::Release() { return ULONG(InterlockedDecrement(&references_)); }

DWORD TFileDropTarget::Effect(DWORD allowed) const
{
    return accepted_ && (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT TFileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
    if (!effect)
        return E_INVALIDARG;
    accepted_ = false;
    Guarded([&] { accepted_ = accepts_(DroppedFileNames(data)); });
    *effect = Effect(*effect);
    return S_OK;
}

HRESULT TFileDropTarget::DragOver(DWORD, POINTL, DWORD* effect)
{
    if (!effect)
        return E_INVALIDARG;
    *effect = Effect(*effect);
    return S_OK;
}

HRESULT TFileDropTarget::DragLeave()
{
    accepted_ = false;
    return S_OK;
}

HRESULT TFileDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
    if (!effect)
        return E_INVALIDARG;
    *effect = Effect(*effect);
    accepted_ = false;
    // A drop the owner refused as the drag entered does nothing.
    if (*effect != DROPEFFECT_NONE)
        Guarded([&] { onDrop_(DroppedFileNames(data)); });
    return S_OK;
}
