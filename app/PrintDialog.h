// The print dialog: the system's standard print dialog with its defaults
// (choice of printer, the printer's own properties, copies), started with
// the default printer in a given orientation. Confirmed, it leaves the
// chosen printer's device context, set up as the user chose, for the job.
#pragma once

#include <windows.h>

#include <string>

#include "base/Handles.h"

class TPrintDialog {
public:
    // Takes the default printer with its own settings as the dialog's
    // starting point. Fails with "There is no default printer currently
    // selected" when there is none (no printer installed, or one that
    // cannot be reached any more).
    void UseDefaultPrinter();
    // The dialog's starting point: the printer and settings last confirmed
    // in it in this run, or the default printer; in the orientation that
    // suits the image (DMORIENT_PORTRAIT or DMORIENT_LANDSCAPE), unless the
    // user confirmed another one over what was offered: then in the user's.
    void Prepare(short suitedOrientation);
    // DMORIENT_PORTRAIT or DMORIENT_LANDSCAPE, for the printer taken.
    void SetOrientation(short orientation);
    // The orientation of the printer's settings (0 before a printer is taken).
    short Orientation() const;
    // The name of the printer taken or chosen.
    std::wstring PrinterName() const;

    // Shows the dialog modally over owner. True when the user confirmed:
    // the settings become those chosen and TakeDC gives the printer's DC.
    bool Execute(HWND owner);
    DcHandle TakeDC() { return std::move(dc_); }

private:
    // Takes the printer and settings last confirmed; false when there are
    // none (or the printer is gone).
    bool UseLastChoice();

    GlobalMemoryHandle devMode_;    // DEVMODEW
    GlobalMemoryHandle devNames_;   // DEVNAMES
    // Copies of what the user last confirmed (a cancelled dialog's changes
    // are not kept).
    GlobalMemoryHandle chosenMode_, chosenNames_;
    // The orientation the dialog was opened in, and the one the user chose
    // over an offered one (0: none yet).
    short offeredOrientation_ = 0, chosenOrientation_ = 0;
    DcHandle dc_;
};
