// Whole files as bytes: read in cancellable chunks, written so that a
// failure never destroys the file that was there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The whole file's bytes ("Cannot open file %s", "Stream read error").
std::vector<uint8_t> ReadWholeFile(const std::wstring& fileName);
// Writes the bytes into a temporary file beside the file, flushed to the
// disk, which then replaces the file: a failure leaves the old file as it
// was and no temporary file ("Cannot create file %s", "Stream write error").
void WriteFileReplacing(const std::wstring& fileName, const std::vector<uint8_t>& bytes);
// Test seam: while set, a save writes this many bytes of its file and then
// fails as a full disk does.
std::optional<size_t>& SaveWriteLimit();
// The file name made full (relative to the current folder); the name as
// given when that fails.
std::wstring FullPathName(const std::wstring& fileName);
