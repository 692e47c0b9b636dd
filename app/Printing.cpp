// Printing the current image on one page: scaled with its proportions kept
// to the largest size that fits the printable area, at its top-left corner.
#include "app/MainUnit.h"

#include "base/Failure.h"
#include "rules/PrintLayout.h"

namespace {

// The job's title: the printer's queue and its output are named after it.
const wchar_t kJobTitle[] = L"Pixavo Image Bowser - ";

// A failed printer call: its system message, or nothing at all when the
// user cancelled (a driver's own prompt, for example).
[[noreturn]] void PrinterFailed()
{
    const DWORD code = GetLastError();
    if (code == ERROR_CANCELLED)
        throw SilentAbort();
    std::wstring text;
    wchar_t* buffer = nullptr;
    if (code && FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr) && buffer) {
        text = buffer;
        LocalFree(buffer);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
            text.pop_back();
    }
    throw Failure(text.empty() ? std::wstring(L"Printing failed") : L"Printing failed: " + text);
}

// A document begun on a printer. Once begun it is always ended, also when
// drawing or the driver fails on the way: the destructor ends what End did
// not.
class PrintDocument {
public:
    PrintDocument(HDC dc, const std::wstring& title) : dc_(dc)
    {
        DOCINFOW info{};
        info.cbSize = sizeof(info);
        info.lpszDocName = title.c_str();
        if (StartDocW(dc_, &info) <= 0)
            PrinterFailed();
        begun_ = true;
    }
    ~PrintDocument()
    {
        if (pageOpen_)
            EndPage(dc_);
        if (begun_)
            EndDoc(dc_);
    }
    PrintDocument(const PrintDocument&) = delete;
    PrintDocument& operator=(const PrintDocument&) = delete;

    void BeginPage()
    {
        if (StartPage(dc_) <= 0)
            PrinterFailed();
        pageOpen_ = true;
    }
    // Sends the page to the printer. A failure is reported with the error
    // of the call that failed; the destructor still ends the document.
    void End()
    {
        if (pageOpen_) {
            pageOpen_ = false;
            if (EndPage(dc_) <= 0)
                PrinterFailed();
        }
        begun_ = false;
        if (EndDoc(dc_) <= 0)
            PrinterFailed();
    }

private:
    HDC dc_;
    bool begun_ = false;
    bool pageOpen_ = false;
};

// The picture as printed on a page whose printable area is pageWidth ×
// pageHeight device pixels.
void PrintPictureOnPage(HDC dc, const TPicture& picture, int pageWidth, int pageHeight)
{
    const TGraphic* graphic = picture.Graphic();
    if (!graphic || graphic->Empty())
        return;
    const PrintedSize size = PrintedImageSize(picture.Width(), picture.Height(), pageWidth, pageHeight);
    // Each kind draws itself: rasters and JPEG images stretched (halftoned
    // on a printer of few colours), PNG images blended, metafiles played
    // back at the size, icons at their natural size in device pixels.
    graphic->Draw(dc, RECT{0, 0, size.width, size.height});
}

} // namespace

void TMainForm::PrintCurrentImage()
{
    if (!CurrentIndexValid())
        return;
    const int width = state_.CurrentPicture.Width(), height = state_.CurrentPicture.Height();
    // The printer last chosen in this run, or the default one. The dialog
    // opens in the orientation that suits the image, unless the user chose
    // another one over that in an earlier dialog: then in the user's. The
    // user can still change it there.
    DlgPrint.Prepare(width >= height ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT);
    if (!DlgPrint.Execute(handle_))
        return;
    const DcHandle printer = DlgPrint.TakeDC();

    PrintDocument document(printer.Get(), kJobTitle + state_.CurrentFileName);
    document.BeginPage();
    // The printable area as the dialog left the printer (orientation, paper).
    PrintPictureOnPage(printer.Get(), state_.CurrentPicture, GetDeviceCaps(printer.Get(), HORZRES),
                       GetDeviceCaps(printer.Get(), VERTRES));
    document.End();
}
