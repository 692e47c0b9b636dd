#include "app/PrintDialog.h"

#include <cderr.h>
#include <commdlg.h>
#include <winspool.h>

#include <cstring>
#include <vector>

#include "base/Failure.h"
#include "widgets/Form.h"

namespace {

const wchar_t kNoDefaultPrinter[] = L"There is no default printer currently selected";

struct PrinterTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ClosePrinter(h); }
};
using PrinterHandle = UniqueHandle<HANDLE, PrinterTraits>;

std::wstring DefaultPrinterName()
{
    DWORD size = 0;
    if (!GetDefaultPrinterW(nullptr, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        throw Failure(kNoDefaultPrinter);
    std::wstring name(size, L'\0');
    if (size == 0 || !GetDefaultPrinterW(name.data(), &size))
        throw Failure(kNoDefaultPrinter);
    name.resize(wcsnlen(name.c_str(), name.size()));
    if (name.empty())
        throw Failure(kNoDefaultPrinter);
    return name;
}

// A movable block holding bytes, as the dialog wants its settings.
GlobalMemoryHandle GlobalCopy(const void* data, size_t size)
{
    GlobalMemoryHandle block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
    if (!block)
        throw Failure(L"Out of memory");
    GlobalLocked<uint8_t> bytes(block.Get());
    if (!bytes.Get())
        throw Failure(L"Out of memory");
    std::memcpy(bytes.Get(), data, size);
    return block;
}

GlobalMemoryHandle GlobalCopy(const GlobalMemoryHandle& from)
{
    if (!from)
        return {};
    GlobalLocked<uint8_t> bytes(from.Get());
    if (!bytes.Get())
        throw Failure(L"Out of memory");
    return GlobalCopy(bytes.Get(), GlobalSize(from.Get()));
}

// DEVNAMES: the driver, device and port names after the header, each ending
// in a null character.
GlobalMemoryHandle MakeDevNames(const std::wstring& driver, const std::wstring& device, const std::wstring& port)
{
    std::vector<wchar_t> chars(sizeof(DEVNAMES) / sizeof(wchar_t), L'\0');
    DEVNAMES header{};
    header.wDefault = DN_DEFAULTPRN;
    WORD* offsets[] = {&header.wDriverOffset, &header.wDeviceOffset, &header.wOutputOffset};
    const std::wstring* names[] = {&driver, &device, &port};
    for (int i = 0; i < 3; ++i) {
        *offsets[i] = WORD(chars.size());
        chars.insert(chars.end(), names[i]->begin(), names[i]->end());
        chars.push_back(L'\0');
    }
    std::memcpy(chars.data(), &header, sizeof header);
    return GlobalCopy(chars.data(), chars.size() * sizeof(wchar_t));
}

// What CommDlgExtendedError reports as a failure the user can understand.
[[noreturn]] void DialogFailed(DWORD code)
{
    if (code == PDERR_NODEFAULTPRN || code == PDERR_PRINTERNOTFOUND || code == PDERR_NODEVICES)
        throw Failure(kNoDefaultPrinter);
    wchar_t hex[16];
    swprintf(hex, 16, L"%lX", static_cast<unsigned long>(code));
    throw Failure(FormatMessageText(L"The printer could not be used (print dialog error %s)", {hex}));
}

} // namespace

void TPrintDialog::UseDefaultPrinter()
{
    std::wstring name = DefaultPrinterName();
    PrinterHandle printer;
    {
        HANDLE opened = nullptr;
        if (!OpenPrinterW(name.data(), &opened, nullptr))
            throw Failure(kNoDefaultPrinter);
        printer.Reset(opened);
    }
    // The printer's driver and port, for the dialog's printer selection.
    DWORD needed = 0;
    GetPrinterW(printer.Get(), 2, nullptr, 0, &needed);
    std::vector<uint8_t> info(needed);
    std::wstring driver = L"winspool", port;
    if (needed && GetPrinterW(printer.Get(), 2, info.data(), needed, &needed)) {
        const auto* details = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
        if (details->pPortName)
            port = details->pPortName;
    }
    // The printer's own settings.
    const LONG size = DocumentPropertiesW(nullptr, printer.Get(), name.data(), nullptr, nullptr, 0);
    if (size < LONG(sizeof(DEVMODEW)))
        throw Failure(kNoDefaultPrinter);
    std::vector<uint8_t> settings(size_t(size), 0);
    auto* mode = reinterpret_cast<DEVMODEW*>(settings.data());
    if (DocumentPropertiesW(nullptr, printer.Get(), name.data(), mode, nullptr, DM_OUT_BUFFER) != IDOK)
        throw Failure(kNoDefaultPrinter);

    devMode_ = GlobalCopy(settings.data(), settings.size());
    devNames_ = MakeDevNames(driver, name, port);
}

bool TPrintDialog::UseLastChoice()
{
    if (!chosenMode_ || !chosenNames_)
        return false;
    // A printer removed meanwhile is no choice any more.
    std::wstring name;
    {
        GlobalLocked<DEVNAMES> names(chosenNames_.Get());
        if (names.Get())
            name = reinterpret_cast<const wchar_t*>(names.Get()) + names->wDeviceOffset;
    }
    HANDLE opened = nullptr;
    if (name.empty() || !OpenPrinterW(name.data(), &opened, nullptr)) {
        chosenMode_.Reset();
        chosenNames_.Reset();
        return false;
    }
    PrinterHandle{opened};
    devMode_ = GlobalCopy(chosenMode_);
    devNames_ = GlobalCopy(chosenNames_);
    return true;
}

void TPrintDialog::Prepare(short suitedOrientation)
{
    if (!UseLastChoice())
        UseDefaultPrinter();
    offeredOrientation_ = chosenOrientation_ ? chosenOrientation_ : suitedOrientation;
    SetOrientation(offeredOrientation_);
}

void TPrintDialog::SetOrientation(short orientation)
{
    if (!devMode_)
        return;
    GlobalLocked<DEVMODEW> mode(devMode_.Get());
    if (!mode.Get())
        return;
    mode->dmOrientation = orientation;
    mode->dmFields |= DM_ORIENTATION;
}

short TPrintDialog::Orientation() const
{
    if (!devMode_)
        return 0;
    GlobalLocked<DEVMODEW> mode(devMode_.Get());
    return mode.Get() ? mode->dmOrientation : 0;
}

std::wstring TPrintDialog::PrinterName() const
{
    if (!devNames_)
        return {};
    GlobalLocked<DEVNAMES> names(devNames_.Get());
    if (!names.Get())
        return {};
    return reinterpret_cast<const wchar_t*>(names.Get()) + names->wDeviceOffset;
}

bool TPrintDialog::Execute(HWND owner)
{
    dc_.Reset();
    PRINTDLGW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    // One page, drawn by the program: no page ranges, no selection and no
    // printing into a file of the user's; copies go to the driver.
    dialog.Flags = PD_RETURNDC | PD_USEDEVMODECOPIESANDCOLLATE | PD_NOPAGENUMS | PD_NOSELECTION | PD_HIDEPRINTTOFILE;
    dialog.nCopies = 1;
    // The dialog may free these and hand back others: they are taken back
    // whatever it answers.
    dialog.hDevMode = devMode_.Release();
    dialog.hDevNames = devNames_.Release();
    BOOL confirmed = FALSE;
    {
        const SystemDialogPlacement placed;
        confirmed = PrintDlgW(&dialog);
    }
    devMode_.Reset(dialog.hDevMode);
    devNames_.Reset(dialog.hDevNames);
    dc_.Reset(dialog.hDC);
    if (!confirmed) {
        dc_.Reset();
        if (const DWORD code = CommDlgExtendedError())
            DialogFailed(code);
        return false;
    }
    if (!dc_)
        throw Failure(kNoDefaultPrinter);
    chosenMode_ = GlobalCopy(devMode_);
    chosenNames_ = GlobalCopy(devNames_);
    if (const short chosen = Orientation(); offeredOrientation_ && chosen != offeredOrientation_)
        chosenOrientation_ = chosen;
    return true;
}
