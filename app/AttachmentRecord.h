// The record of the e-mail attachments one run has written into the
// attachment folder: a file of their names beside them, held open (and so
// not deletable) while the run lives. A run that ends without closing leaves
// it behind, and the next start removes exactly the files it names.
#pragma once

#include <windows.h>

#include <string>

#include "base/Handles.h"

class TAttachmentRecord {
public:
    TAttachmentRecord() = default;
    ~TAttachmentRecord() { Remove(); }
    TAttachmentRecord(const TAttachmentRecord&) = delete;
    TAttachmentRecord& operator=(const TAttachmentRecord&) = delete;

    // Notes an attachment written into folder (a plain file name); the
    // record is made there with the first. Fails with "Cannot create file ...".
    void Add(const std::wstring& folder, const std::wstring& name);
    // Closes and deletes the record: the run's attachments are dealt with.
    void Remove();
    const std::wstring& Path() const { return path_; }

    // The records' names start with this, and end with kExtension.
    static constexpr wchar_t kPrefix[] = L"~pixavo-attachments-";
    static constexpr wchar_t kExtension[] = L".lst";
    // Removes what runs that ended without closing left in folder: the image
    // files their records name (plain names of supported images only, and
    // none that a living run's record names too), then the records. Records
    // still held open belong to living runs and are left alone.
    static void RemoveLeftovers(const std::wstring& folder);

private:
    std::wstring path_;
    FileHandle file_;
};
