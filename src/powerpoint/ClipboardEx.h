// The add-in's view of the clipboard: text in the forms other programs
// paste (Unicode text, ANSI text with its locale, "HTML Format", "Rich Text
// Format"), and a save and restore of the user's text around work that
// disturbs the clipboard.
//
// One object per use, on the user-interface thread. The clipboard is opened
// and closed inside each call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/platform/Clipboard.h"

namespace powerpoint {

class ClipboardEx {
 public:
  // Accepted by the text calls for the RTF format, whose number is known
  // only at run time.
  static constexpr unsigned kRtfStandIn = 3338;

  ClipboardEx();

  unsigned HtmlFormat() const { return mHtmlFormat; }
  unsigned RtfFormat() const { return mRtfFormat; }

  // Keeps a copy of the text-like formats on the clipboard (plain, OEM and
  // Unicode text, SYLK, DIF, locale, HTML, RTF; empty data is left out).
  // False, with nothing kept, when the clipboard cannot be read.
  bool SaveClipboard();
  // Puts the kept formats back, but only after a successful save and only
  // when the clipboard changed since; otherwise the clipboard is left alone
  // (what the text-like formats cannot hold, a picture the user copied,
  // survives). Forgets the kept copy either way. False when writing failed.
  bool RestoreClipboard();
  void DiscardSaved();
  bool HasSaved() const { return mSaved; }
  bool EmptyClipboard();

  // format 0: the Unicode text, else the ANSI text read with the clipboard's
  // locale (unless noLocale); 13: the Unicode text only; the RTF format (or
  // kRtfStandIn) and any other: the bytes as text. Empty when the clipboard
  // cannot be read or holds no such format.
  std::wstring GetText(unsigned format, bool noLocale);
  // format 0: Unicode, ANSI and OEM text, plus the locale when not 0;
  // 13: Unicode text only; others: the text in the ANSI code page under
  // that format (with the locale when given). The clipboard is replaced.
  bool SetText(const std::wstring& text, unsigned format, std::uint32_t locale);

 private:
  bool IsTextLike(unsigned format) const;

  std::wstring mName = L"ClipboardEx";
  unsigned mHtmlFormat = 0;
  unsigned mRtfFormat = 0;
  std::vector<platform::ClipboardEntry> mSavedEntries;
  bool mSaved = false;
};

}  // namespace powerpoint
