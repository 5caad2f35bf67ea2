#include <cwchar>
#include <exception>

#include "src/engine/AppCommon.h"
#include "src/platform/MessagePump.h"
#include "src/platform/Types.h"
#include "src/powerpoint/RunContext.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace powerpoint {

int RunContext::Version() const {
  if (!prop.Application) return 0;
  try {
    std::wstring text = prop.Application->Version();
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    long value = std::wcstol(begin, &end, 10);
    if (end == begin || value < 0 || value > 1000) return 0;
    return static_cast<int>(value);
  } catch (const std::exception&) {
    return 0;
  }
}

bool RunContext::IsCancelled() const { return app.IsCancelled(); }

void RunContext::DrainMessages() const { platform::DrainMessageQueue(); }

void RunContext::ReportRunError(int messageId, const RunPlace& where, const std::wstring& detail) {
  std::wstring text = support::LoadText(messageId);
  if (!detail.empty()) text += L"\r\n\r\n" + detail;
  std::wstring at = DescribePlace(where);
  LOG_ERROR(L"PowerPointTranslationProcess::ReportRunError",
            std::to_wstring(messageId) + L": " + text + (at.empty() ? L"" : L" (" + at + L")"));
  try {
    errors.push_back(RunError{messageId, text, messageId / 1000, where});
  } catch (const std::exception&) {
    // Out of memory: the message is still logged, listed and shown below.
  }
  // With its display switch on the error list shows the entry itself; a
  // second box for the same message would only make the user click twice.
  bool shown = support::ErrorList::GetDisplay();
  support::ErrorList::Add(messageId, detail);
  if (!shown) support::ShowMessage(text, MB_OK | MB_ICONERROR);
}

}  // namespace powerpoint
