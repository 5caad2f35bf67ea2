// Installed fonts by GDI character set (0 ANSI, 128 Shift JIS, 129 Hangul,
// 134 GB 2312, 136 Big5, 204 Russian, 238 East European ...). Windows
// enumerates the TrueType families that the display reports for the
// character set; posix asks fontconfig for the outline fonts that cover the
// languages of that character set.
//
// The process-wide catalog can be replaced (tests, hosts with their own font
// list); callers take FontCatalog::Current() at the moment they need it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

class FontCatalog {
 public:
  virtual ~FontCatalog() = default;

  // Each installed family name once, sorted (ordinal) when there are two or
  // more. Empty when the character set has no font or cannot be asked.
  virtual std::vector<std::wstring> InstalledFonts(int charset) = 0;

  // True when text of the character set set in this font would show in it.
  // The name compares case-insensitively. On posix a name that fontconfig
  // resolves to a metric-compatible family of the character set ("Arial" to
  // "Liberation Sans") counts as installed, so decks keep the names their
  // Windows audience has.
  virtual bool IsInstalled(const std::wstring& name, int charset) = 0;

  // The system's catalog, or the one installed by SetCurrent.
  static FontCatalog& Current();
  // Replaces the process-wide catalog (nullptr restores the system's);
  // returns the previous replacement, if any. Not thread-safe: set it before
  // other threads ask.
  static FontCatalog* SetCurrent(FontCatalog* catalog);
};

// The system's own catalog, whatever SetCurrent installed.
FontCatalog& SystemFontCatalog();

}  // namespace platform
