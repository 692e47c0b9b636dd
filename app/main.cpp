// Program entry: the association switches, or the viewer's main window and
// its event loop.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "dialogs/EmailSizeFormUnit.h"
#include "dialogs/RenameDlgUnit.h"
#include "dialogs/SlideShowFormUnit.h"
#include "dialogs/ToolsFormUnit.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/pictures/PictureUtilUnit.h"
#include "imaging/pictures/RasterFileGraphic.h"
#include "system/OpenWith.h"
#include "system/RegistryUnit.h"
#include "widgets/Application.h"

namespace {

std::vector<std::wstring> CommandLineArguments()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!list)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.emplace_back(list[i]);
    LocalFree(list);
    return arguments;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const std::vector<std::wstring> arguments = CommandLineArguments();
    if (!arguments.empty() && arguments[0] == L"-install") {
        Guarded([] {
            InstallAssociations();
            OfferOpenWith(AssociatedFileTypes(Association::OpenWith));
        });
        return 0;
    }
    if (!arguments.empty() && arguments[0] == L"-uninstall") {
        Guarded([] {
            UninstallAssociations();
            WithdrawOpenWith(AssociatedFileTypes(Association::OpenWith));
        });
        return 0;
    }
    Application::SetTitle(L"Pixavo Image Browser");
    PngFormatRegistration png;
    SystemDecoderRegistration systemDecoders;
    Guarded([&] {
        TMainForm mainForm(arguments);
        // The slide-show options, image tools, e-mail size and rename windows
        // are created here, in this order.
        mainForm.SlideShowForm = std::make_unique<TSlideShowForm>();
        mainForm.ToolBox = std::make_unique<TToolBox>(mainForm);
        mainForm.EmailSizeDlg = std::make_unique<TEmailSizeDlg>(mainForm);
        mainForm.RenameDlg = std::make_unique<TRenameDlg>();
        Application::Run(mainForm);
    });
    return 0;
}
