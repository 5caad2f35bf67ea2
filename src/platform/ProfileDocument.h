// The text of a profile file as lines, with the private-profile rules for
// finding and replacing sections and keys. Portable: the posix profile-file
// service runs on it, and the Windows tests compare it with the system's own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "src/platform/Types.h"

namespace platform {

class ProfileDocument {
 public:
  enum class Encoding { Utf8, Utf8Bom, Utf16Le, Utf16Be };

  // An empty document that will be written as UTF-8 with CR LF line ends.
  ProfileDocument();

  // Decodes file bytes by their byte-order mark (UTF-8 without one).
  // `lossless` is false when the bytes are not valid in that encoding, or
  // hold a NUL character, so that writing the document back would change them.
  static ProfileDocument Parse(std::string_view bytes, bool* lossless);
  // The file bytes, in the encoding and line ends the file had.
  std::string Serialize() const;

  // The section's entries as "key=value" (or "key"), trimmed; blank lines and
  // ";" comments left out. Empty when the section is missing.
  std::vector<std::wstring> SectionEntries(const std::wstring& section) const;
  // Replaces the section's lines (blank lines before the next section stay);
  // appends the section when missing.
  void ReplaceSection(const std::wstring& section, const std::vector<std::wstring>& lines);
  // Sets the first key of that name in the section, or adds it at the end of
  // the section; appends the section when missing.
  void SetKey(const std::wstring& section, const std::wstring& key, const std::wstring& value);

  Encoding encoding() const { return mEncoding; }

 private:
  // Index of the first header line of the section, or npos.
  size_t FindSection(const std::wstring& section) const;
  // One past the last line of the section starting at header `h`.
  size_t SectionEnd(size_t h) const;

  std::vector<std::wstring> mLines;
  Encoding mEncoding = Encoding::Utf8;
  std::wstring mNewline = L"\r\n";
};

// Copies entries into a GetPrivateProfileSectionW-style buffer: each ended
// by NUL, the list by a further NUL; returns the characters copied without
// the final NUL, or size - 2 when the list had to be cut.
DWORD CopyProfileEntries(const std::vector<std::wstring>& entries, wchar_t* buffer, DWORD size);

// Splits a NUL-separated block ("a=1\0b=2\0\0") into its lines.
std::vector<std::wstring> SplitProfileBlock(const std::wstring& block);

}  // namespace platform
