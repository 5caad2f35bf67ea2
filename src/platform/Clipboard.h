// The system clipboard at the level of whole jobs: read everything on it,
// replace everything on it. Each call opens the clipboard, does its job and
// closes it again; nothing is held between calls, so a translation never
// keeps other programs from the clipboard.
//
// Windows: the real clipboard (OpenClipboard with no owner window).
// posix: the desktop's clipboard when an X display is set and xclip is
// installed (plain text, HTML and RTF travel as the desktop's text/plain,
// text/html and text/rtf targets); otherwise, or when PELORANT_CLIPBOARD_FILE
// names a file, a per-user file that keeps every format, written whole or
// not at all (default: pelorant/clipboard under the roaming folder).
//
// User-interface thread only. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/platform/Picture.h"

namespace platform {

// Standard formats, with the Windows numbers.
inline constexpr unsigned kCfText = 1;
inline constexpr unsigned kCfSylk = 4;
inline constexpr unsigned kCfDif = 5;
inline constexpr unsigned kCfBitmap = 2;
inline constexpr unsigned kCfOemText = 7;
inline constexpr unsigned kCfDib = 8;
inline constexpr unsigned kCfUnicodeText = 13;
inline constexpr unsigned kCfLocale = 16;

// One format on the clipboard with its data as the system holds it: CF_TEXT
// and CF_OEMTEXT multibyte with a terminating NUL, CF_UNICODETEXT UTF-16LE
// with a terminating NUL, CF_LOCALE a 32-bit little-endian language id.
struct ClipboardEntry {
  unsigned format = 0;
  std::string data;
  bool operator==(const ClipboardEntry&) const = default;
};

// The number of a named format ("HTML Format", "Rich Text Format"); the same
// name gives the same number for the life of the process. 0 on failure.
unsigned RegisterClipboardFormatName(const std::wstring& name);

// Every format on the clipboard that this process can read, in the order the
// clipboard lists them. False when the clipboard cannot be opened (another
// program holds it); *entries is then left alone.
bool ReadClipboard(std::vector<ClipboardEntry>* entries);

// Empties the clipboard and puts the entries on it (none: just empties it).
// False when the clipboard cannot be opened or a format cannot be set; what
// was set before the failure may stay.
bool WriteClipboard(const std::vector<ClipboardEntry>& entries);

// A picture as CF_DIB data (a BITMAPINFOHEADER and 24-bit rows, bottom
// first), the form from which the system also offers it as CF_BITMAP.
std::string DibFromPicture(const Picture& picture);
// Reads CF_DIB data of 24 or 32 bits without compression into opaque
// pixels; false for anything else or data shorter than its header says.
bool PictureFromDib(const std::string& dib, Picture* picture);

// What the posix layer uses ("desktop" or "file"); "system" on Windows.
std::wstring ClipboardKind();

}  // namespace platform
