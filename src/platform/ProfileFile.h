// Profile ("ini") files with the Windows private-profile semantics. Windows
// uses GetPrivateProfileSectionW and friends; posix gives the same results on
// plain files: it reads UTF-16LE (with byte-order mark) and UTF-8, writes new
// files as UTF-8, keeps the encoding of an existing file, and rewrites only
// the section it was asked to change.
//
// Section and key names compare case-insensitively. Lines are handed over
// trimmed of surrounding blanks, as "key=value" (or just "key" for a line
// without "="); blank lines and ";" comments are not returned.
//
// Paths may be relative; they are taken relative to the current folder on
// both platforms (Windows would otherwise look in its own folder).
//
// Threads: any thread; two writers of one file are not serialised.
#pragma once

#include <string>

#include "src/platform/Types.h"

namespace platform {

// Copies the section's lines into `buffer`, each ended by NUL, the list ended
// by a further NUL, and returns the number of characters copied without that
// final NUL. When the lines do not fit, the last one is cut, the buffer ends
// with two NULs and the result is `size` - 2. A missing file or section gives
// 0 (and an empty list).
DWORD ProfileReadSection(const std::wstring& path, const std::wstring& section, wchar_t* buffer,
                         DWORD size);

// Replaces every line of the section by `lines` (each "key=value" ended by
// NUL, an empty line or the end of the string ends the list). Creates the
// section, and the file, when missing. Other sections stay as they were.
// Returns false (and sets the thread's last-error code) when the file could
// not be read or written; a file that cannot be read is never overwritten.
bool ProfileWriteSection(const std::wstring& path, const std::wstring& section,
                         const std::wstring& lines);

// Sets one key of a section, creating the key, the section and the file as
// needed. Same failure rules as ProfileWriteSection.
bool ProfileWriteString(const std::wstring& path, const std::wstring& section,
                        const std::wstring& key, const std::wstring& value);

}  // namespace platform
