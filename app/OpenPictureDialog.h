// The picture dialogs: the system's file-open and file-save dialogs with a
// preview pane beside the file list that shows the selected picture fitted
// into it and its natural size as "W x H".
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/ImageFormats.h"
#include "imaging/colour/ColourTransform.h"

class TPictureDialog {
public:
    using FileType = FileDialogEntry;

    std::vector<FileType> FileTypes;
    int FileTypeIndex = 1;          // the chosen entry, counted from 1
    DWORD Options = OFN_EXPLORER;   // OFN_ flags; the preview's own are added
    std::wstring InitialDir;        // empty: the system's default folder
    // Before Execute: the name the file-name box starts with. After a
    // confirmed Execute: the chosen file's full path.
    std::wstring FileName;

    // Without a dot; appended to a name typed without extension. Empty: none.
    std::wstring DefaultExt;

    // With its dot; appended by the program, not by the dialog, to a name
    // chosen without an extension, whatever entry of the file-type list is
    // chosen: FileName comes back with it. A save dialog that asks before a
    // file is replaced asks about the name with it too. Empty: none.
    std::wstring AppendedExtension;

    // The colours the preview is shown in, as the main window shows
    // pictures (the monitor's profile).
    std::shared_ptr<const MonitorColours> Colours = MonitorColours::Standard();

    // Control ids in the dialog's own area (the child of the system dialog).
    static constexpr int kPreviewPaneId = 0x5101;
    static constexpr int kPreviewSizeId = 0x5102;

protected:
    // Shows the open or save dialog modally over owner; true when a file was
    // confirmed. FileTypeIndex follows the entry chosen last, also on cancel.
    bool Run(HWND owner, bool save);
};

class TOpenPictureDialog : public TPictureDialog {
public:
    bool Execute(HWND owner) { return Run(owner, false); }
};

class TSavePictureDialog : public TPictureDialog {
public:
    bool Execute(HWND owner) { return Run(owner, true); }
};
