// The dictionary lookup dialog, the wait box and the progress dialog on the
// screen, in the system's language, driven with window messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "src/dialogs/CDialogLookupDict.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/dialogs/win32/Win32LookupDictView.h"
#include "src/dialogs/win32/Win32ProgressView.h"
#include "src/dialogs/win32/Win32SmallDialogViews.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/MessagePump.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/dialogs/LookupFixture.h"
#include "tests/dialogviews/WindowHarness.h"

namespace dialogviews {
namespace {

namespace ids = dialogs::lookup_ids;

RECT ChildRect(HWND dialog, int id) {
  RECT r;
  ::GetWindowRect(::GetDlgItem(dialog, id), &r);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The dialog's surroundings are those of its logic's tests.
class LookupDialogTest : public dialogtest::LookupDialog {
 protected:
  std::map<int, std::wstring> mStrings = ExpectedStrings();
};

TEST_F(LookupDialogTest, ASelectedWordIsSearchedByItselfAndTheResultGrowsWithTheWindow) {
  auto view = std::make_unique<dialogs::win32::Win32LookupDictView>();
  dialogs::win32::Win32LookupDictView* shown = view.get();
  dialogs::CDialogLookupDict dialog(std::move(view), engines, eng, options::kHostKeyPath);
  HWND window = nullptr;
  std::vector<Step> steps;
  steps.push_back([&] {
    window = ActiveDialog();
    return window == shown->Window();
  });
  steps.push_back([&] {
    EXPECT_EQ(PlainText(window), mStrings[8501]);
    for (auto [id, text] : {std::pair{ids::kDictionaryLabel, 8504}, {ids::kWordLabel, 8502}, {ids::kSearch, 8503},
                            {ids::kClose, 6002}}) {
      EXPECT_EQ(PlainText(::GetDlgItem(window, id)), WithoutAccelerators(mStrings[text])) << id;
    }
    HWND list = ::GetDlgItem(window, ids::kDictionaryList);
    EXPECT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageW(list, CB_GETCURSEL, 0, 0), 1);
    // The first line of the selection, trimmed; the search has not run yet.
    EXPECT_EQ(PlainText(::GetDlgItem(window, ids::kWord)), L"cat");
    EXPECT_EQ(PlainText(::GetDlgItem(window, ids::kResult)), L"");
    return true;
  });
  // The automatic search arrives through the dialog's own timer.
  steps.push_back([&] { return !PlainText(::GetDlgItem(window, ids::kResult)).empty(); });
  steps.push_back([&] {
    EXPECT_EQ(PlainText(::GetDlgItem(window, ids::kResult)), L"neko\r\nbyo\r\nmao");
    Shot shot = Capture(window);
    EXPECT_FALSE(SavePng(shot, L"lookup-" + LanguageTag()).empty());
    EXPECT_GT(shot.Ink(ChildRect(window, ids::kResult)), 30u);
    for (const std::wstring& problem : TextProblems(window)) ADD_FAILURE() << platform::ToUtf8(problem);

    RECT before = ChildRect(window, ids::kResult);
    RECT close = ChildRect(window, ids::kClose);
    RECT frame;
    ::GetWindowRect(window, &frame);
    ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 120, frame.bottom - frame.top + 80,
                   SWP_NOMOVE | SWP_NOZORDER);
    RECT after = ChildRect(window, ids::kResult);
    RECT closeAfter = ChildRect(window, ids::kClose);
    EXPECT_EQ(after.right - before.right, 120);
    EXPECT_EQ(after.bottom - before.bottom, 80);
    EXPECT_EQ(closeAfter.left - close.left, 120);
    EXPECT_EQ(closeAfter.top - close.top, 80);
    EXPECT_FALSE(SavePng(Capture(window), L"lookup-" + LanguageTag() + L"-resized").empty());

    // Typing another word and pressing Search.
    ::SendMessageW(::GetDlgItem(window, ids::kWord), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"void"));
    ::SendMessageW(::GetDlgItem(window, ids::kSearch), BM_CLICK, 0, 0);
    EXPECT_EQ(PlainText(::GetDlgItem(window, ids::kResult)), mStrings[8505]);
    return PostClick(::GetDlgItem(window, ids::kClose));
  });
  EXPECT_TRUE(RunScripted([&] { dialog.DoModal(L"FakeMT", L"en-ko", L" cat \r\ndog"); }, std::move(steps)));
}

// The cancel button, the close box and the Escape key all cancel.
TEST(WaitBoxTest, CancelTheCloseBoxAndEscapeEndTheRequestAsCancelled) {
  std::map<int, std::wstring> strings = ExpectedStrings();
  const struct {
    const char* way;
    UINT message;
    WPARAM param;
  } ways[] = {{"button", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
              {"close box", WM_SYSCOMMAND, SC_CLOSE},
              {"Escape", WM_KEYDOWN, VK_ESCAPE}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.way);
    auto view = std::make_unique<dialogs::win32::Win32WaitResultView>();
    dialogs::win32::Win32WaitResultView* shown = view.get();
    dialogs::CDialogWaitResult box(std::move(view));
    dialogtest::ScriptedRequest request;  // runs until cancelled
    request.runningPolls = 1 << 30;
    request.afterCancelPolls = 0;
    std::vector<Step> steps;
    steps.push_back([&] { return shown->Window() && ::IsWindowVisible(shown->Window()); });
    steps.push_back([&] {
      HWND window = shown->Window();
      EXPECT_EQ(PlainText(::GetDlgItem(window, 288)), strings[1252]);
      EXPECT_EQ(PlainText(::GetDlgItem(window, IDCANCEL)), strings[6003]);
      // The title bar names the product, from the version block, beside a close box.
      EXPECT_EQ(PlainText(window), ExpectedVersionValue("ProductName"));
      EXPECT_NE(::GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU, 0);
      Shot shot = Capture(window);
      EXPECT_FALSE(SavePng(shot, L"wait-" + LanguageTag()).empty());
      EXPECT_GT(shot.Ink(), 100u);
      for (const std::wstring& problem : TextProblems(window)) ADD_FAILURE() << platform::ToUtf8(problem);
      ::PostMessageW(window, way.message, way.param, 0);
      return true;
    });
    long status = 0;
    EXPECT_TRUE(RunScripted([&] { status = box.Run(request, 1252, 0); }, std::move(steps)));
    EXPECT_EQ(status, 2);
    EXPECT_EQ(request.cancels, 1);
  }
}

// The first visible window of this process that `match` takes, waiting up
// to ten seconds for one.
HWND WaitForWindow(std::function<bool(HWND)> match) {
  struct Search {
    std::function<bool(HWND)>* match;
    HWND found;
  } search{&match, nullptr};
  for (int waited = 0; !search.found && waited < 10000; waited += 10) {
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD process = 0;
          ::GetWindowThreadProcessId(window, &process);
          if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window) || !(*s->match)(window)) return TRUE;
          s->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) platform::SleepMilliseconds(10);
  }
  return search.found;
}

// Escape is the cancel button: it asks, in a question the progress window
// owns and which keeps it from clicks; a second cancel or the close box
// reaching the window all the same does nothing, and once the question is
// answered no the run's progress goes on.
TEST(ProgressWindowTest, EscapeAsksInAnOwnedQuestionAndASecondRequestDoesNothing) {
  std::atomic<int> cancels{0};
  ASSERT_TRUE(dialogs::OpenProgressDialog(&dialogs::win32::MakeProgressView, [&] { ++cancels; }));
  // The dialog's window, on the dialog's own thread.
  HWND window = WaitForWindow([](HWND w) {
    wchar_t cls[16] = {};
    ::GetClassNameW(w, cls, 16);
    return ::GetWindowThreadProcessId(w, nullptr) != ::GetCurrentThreadId() && std::wstring(cls) == L"#32770";
  });
  ASSERT_NE(window, nullptr);
  ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
  HWND question = WaitForWindow([&](HWND w) { return ::GetWindow(w, GW_OWNER) == window; });
  EXPECT_NE(question, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(window));
  // Sent, so each is handled inside the question's own loop before the call
  // returns; a handler that waited for the question would never return.
  DWORD_PTR ignored = 0;
  EXPECT_NE(::SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0, SMTO_NORMAL, 10000, &ignored), 0);
  EXPECT_NE(::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &ignored), 0);
  if (question) ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
  dialogs::CurrentProgressDialog()->SetProgress(1, 2);
  EXPECT_TRUE(::IsWindowEnabled(window));
  dialogs::CloseProgressDialog();
  dialogs::WaitForProgressDialogThread();
  EXPECT_EQ(cancels.load(), 0);
}

}  // namespace
}  // namespace dialogviews
