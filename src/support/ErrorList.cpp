#include "src/support/ErrorList.h"

#include <cstdio>
#include <mutex>

#include "resources/MessageIds.h"
#include "src/platform/System.h"
#include "src/support/ResourceModule.h"

namespace support {

namespace msg = resources::msg;

namespace {

// The list belongs to the user-interface thread, but the progress dialog's
// cancel handler clears it from its own thread, so every access is locked.
// The lock is never held while a message box is up.
struct ErrorListState {
  std::mutex mutex;
  std::vector<int> ids;
  std::vector<ErrorEntry> entries;
  bool display = false;
  // The code the last report of this command named: the layers a click
  // passes through (facade, handler, button) each check the code, and the
  // user is told of one failure once.
  bool reported = false;
  DWORD reportedCode = 0;
};

ErrorListState& State() {
  static ErrorListState state;
  return state;
}

// True when this code was reported since the last Clear; else marks it.
bool AlreadyReported(DWORD code) {
  ErrorListState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.reported && s.reportedCode == code) return true;
  s.reported = true;
  s.reportedCode = code;
  return false;
}

int IconForMessage(int messageId) {
  switch (messageId / 1000) {
    case 1: return MB_ICONERROR;
    case 2: return MB_ICONEXCLAMATION;
    case 3: return MB_ICONINFORMATION;
    default: return 0;
  }
}

// What the message box and the log show for an error code, as one block:
// number, the system's text for it, and where the command was handled.
std::wstring ReportBlock(DWORD code, const std::wstring& source) {
  std::wstring systemText = platform::SystemErrorText(code);
  // A code the system has no text for prints the way a null text would.
  if (systemText.empty()) systemText = L"(null)";
  return L"-------------------------\r\n[Number]\r\n  " + std::to_wstring(static_cast<std::int32_t>(code)) +
         L"\r\n[Message]\r\n  " + systemText + L"\r\n[Source]\r\n  " + source;
}

// Message boxes and resource lookups may touch the thread's last-error code
// (on Windows they do); the code is what signals a pending error, so it
// must survive the error list's own work.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : mCode(platform::GetLastErrorCode()) {}
  ~LastErrorKeeper() { platform::SetLastErrorCode(mCode); }
  DWORD Code() const { return mCode; }

 private:
  DWORD mCode;
};

}  // namespace

void ErrorList::Clear() {
  ErrorListState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.ids.clear();
    s.entries.clear();
    s.reported = false;
  }
  platform::SetLastErrorCode(0);
}

void ErrorList::SetDisplay(bool display) {
  ErrorListState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.display = display;
}

bool ErrorList::GetDisplay() {
  ErrorListState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.display;
}

ErrorEntry ErrorList::Add(int messageId, const std::wstring& detail) {
  LastErrorKeeper keep;
  ErrorEntry entry;
  bool display = false;
  try {
    entry.mMessageId = messageId;
    entry.mIcon = IconForMessage(messageId);
    entry.mDetail = detail;
    entry.mHeading = support::LoadText(messageId);
    entry.mFullText = entry.mHeading;
    if (!detail.empty()) entry.mFullText += L"\r\n\r\n" + detail;

    ErrorListState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    display = s.display;
    try {
      s.ids.push_back(static_cast<int>(s.entries.size()));
      try {
        s.entries.push_back(entry);
      } catch (...) {
        s.ids.pop_back();
        throw;
      }
    } catch (...) {
      // Out of memory: the entry is not stored, but it is still shown.
    }
  } catch (...) {
    return entry;
  }
  if (display) support::ShowMessage(entry.mFullText, static_cast<unsigned>(entry.mIcon), std::wstring());
  return entry;
}

bool ErrorList::HasError() { return platform::GetLastErrorCode() != 0; }

void ErrorList::ErrorReport(const std::wstring& source) {
  try {
    LastErrorKeeper keep;
    if (AlreadyReported(keep.Code())) return;
    std::wstring detail = ReportBlock(keep.Code(), source);
    Add(msg::kUnexpectedError, detail);
  } catch (...) {
  }
}

void ErrorList::ErrorReportWithInfo(const std::wstring& source, const std::vector<std::wstring>& info) {
  try {
    LastErrorKeeper keep;
    if (AlreadyReported(keep.Code())) return;
    std::wstring text = ReportBlock(keep.Code(), source);
    int taken = 0;
    for (const std::wstring& line : info) {
      if (line.empty() || taken >= kMaxInfoTexts) break;
      ++taken;
      text += L"\r\n[Info" + std::to_wstring(taken) + L"] " + line;
    }
    Add(msg::kDebugInfo, text);
  } catch (...) {
  }
}

int ErrorList::EngineErrorToMessageId(long engineError) {
  switch (engineError) {
    case 30000: return 1201;
    case 30001: return 1202;
    case 30003: return 1204;
    case 30004: return 1205;
    case 30005: return 1206;
    case 30006: return 1207;
    default: return 1249;
  }
}

int ErrorList::GetCount() {
  ErrorListState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return static_cast<int>(s.entries.size());
}

std::vector<ErrorEntry> ErrorList::GetEntries() {
  ErrorListState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.entries;
}

ErrorEntry ErrorList::GetEntry(int index) {
  ErrorListState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (index < 0 || index >= static_cast<int>(s.entries.size())) return ErrorEntry();
  return s.entries[static_cast<size_t>(index)];
}

}  // namespace support
