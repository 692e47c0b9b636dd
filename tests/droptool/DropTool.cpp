// Test fixture, not part of the program: drags a list of files with OLE, as
// the shell does, and drops it at a point of the screen.
//
//     pixavo_test_drop.exe X Y PATH...
//
// The pointer is put at (X, Y) and the drag starts there; the drop comes once
// the window under the pointer has answered twice (it has seen the drag
// enter and move). Prints "effect: copy" or "effect: none" (what the target
// answered at the drop) and ends with 0, or with 1 when the drag failed.
#include <cstdio>

#include "FileListData.h"

namespace {

using drop_fixture::FileListData;

// Drops once the target has answered twice; gives up after about a minute
// of the system's checks.
class DropWhenAnswered final : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropSource)) {
            *object = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override
    {
        if (escape || ++checks_ > 1200)
            return DRAGDROP_S_CANCEL;
        return answers_ >= 2 ? DRAGDROP_S_DROP : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override
    {
        ++answers_;
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }

private:
    int answers_ = 0, checks_ = 0;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: pixavo_test_drop X Y PATH...\n");
        return 2;
    }
    if (FAILED(OleInitialize(nullptr))) {
        std::fprintf(stderr, "OleInitialize failed\n");
        return 1;
    }
    std::vector<std::wstring> paths(argv + 3, argv + argc);
    FileListData data(paths);
    DropWhenAnswered source;
    SetCursorPos(_wtoi(argv[1]), _wtoi(argv[2]));
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = DoDragDrop(&data, &source, DROPEFFECT_COPY, &effect);
    std::printf("result: %s\neffect: %s\n", result == DRAGDROP_S_DROP ? "drop" : result == DRAGDROP_S_CANCEL ? "cancel" : "failed",
                effect & DROPEFFECT_COPY ? "copy" : "none");
    std::fflush(stdout);
    OleUninitialize();
    return result == DRAGDROP_S_DROP || result == DRAGDROP_S_CANCEL ? 0 : 1;
}
