// The process-wide list of user-visible messages of the current command.
//
// Code deep inside a command adds a numbered message as soon as it detects a
// problem; with the display switch on, each message is shown at once. After
// the command, the handler asks HasError() and, when the thread's last-error
// code is set, adds an unexpected-error report naming the place:
//
//   ErrorList::Clear();
//   try { ...command... } catch (...) {}
//   if (ErrorList::HasError()) ErrorList::ErrorReport(L"OfficeMenummnuTranSheet_Click");
//
// Message ids are string resources (see ResourceModule.h); the thousands digit
// of an id chooses the message-box icon. Nothing here throws.
#pragma once

#include <string>
#include <vector>

namespace support {

struct ErrorEntry {
  int mMessageId = 0;
  int mIcon = 0;          // MB_ICONERROR (1xxx), MB_ICONEXCLAMATION (2xxx), MB_ICONINFORMATION (3xxx), else 0
  std::wstring mFullText; // what the message box shows
  std::wstring mHeading;  // resource text of the id ("" when the id has none)
  std::wstring mDetail;   // caller's text, may be empty
};

class ErrorList {
 public:
  static constexpr int kMaxInfoTexts = 10;

  // Drops all entries and sets the calling thread's last-error code to 0.
  static void Clear();

  static void SetDisplay(bool display);
  static bool GetDisplay();

  // Appends an entry and returns a copy of it; shows it when the display
  // switch is on (empty caption, so the add-in's title is used).
  static ErrorEntry Add(int messageId, const std::wstring& detail = std::wstring());

  // True when the calling thread's last-error code is not 0; leaves it as is.
  static bool HasError();

  // Adds message 1001 with a block naming the last-error code, the system's
  // text for it and the source name. A code already reported since the last
  // Clear is not reported again: the outer layers of a click find the same
  // code pending that the inner one reported.
  static void ErrorReport(const std::wstring& source);

  // As ErrorReport under message 3001, with up to ten "[InfoN]" lines; an
  // empty text ends the list early.
  static void ErrorReportWithInfo(const std::wstring& source, const std::vector<std::wstring>& info);
  template <typename... Texts>
  static void ErrorReportWithInfo(const std::wstring& source, const Texts&... info) {
    ErrorReportWithInfo(source, std::vector<std::wstring>{std::wstring(info)...});
  }

  // Engine status codes (30000...) to message ids (1201...); 1249 otherwise.
  static int EngineErrorToMessageId(long engineError);

  static int GetCount();
  // Copies, so a caller never holds a reference into a list that another
  // thread (the progress dialog's cancel) may clear.
  static std::vector<ErrorEntry> GetEntries();
  static ErrorEntry GetEntry(int index);  // empty entry when out of range
};

}  // namespace support
