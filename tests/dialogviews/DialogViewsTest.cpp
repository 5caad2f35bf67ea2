// The dialogs on the screen, in the system's language, driven with window
// messages as a user would: the options dialog with its input box and the
// facade's command that opens it, the dictionary lookup dialog, the wait box
// and the progress dialog.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>

#include "resources/MessageIds.h"
#include "src/addin/AddinApplication.h"
#include "src/dialogs/win32/Win32LookupDictView.h"
#include "src/dialogs/win32/Win32ProgressView.h"
#include "src/dialogs/win32/Win32SetupView.h"
#include "src/dialogs/win32/Win32SmallDialogViews.h"
#include "tests/dialogs/Fixtures.h"
#include "tests/dialogviews/WindowHarness.h"

namespace dialogviews {
namespace {

using dialogs::SetupPage;
namespace ids = dialogs::setup_ids;
namespace look = dialogs::lookup_ids;

// Saves a shot of `window` as `name`; it shows more than `ink` dark pixels
// in `area` (all of it when empty), and every caption can be read in full.
void ExpectReadable(HWND window, const std::wstring& name, size_t ink, RECT area = RECT{}) {
  Shot shot = Capture(window);
  EXPECT_FALSE(SavePng(shot, name).empty()) << platform::ToUtf8(name);
  EXPECT_GT(shot.Ink(area), ink) << platform::ToUtf8(name);
  for (const std::wstring& problem : TextProblems(window)) ADD_FAILURE() << platform::ToUtf8(problem);
}

// The dialog's surroundings are those of its logic's tests, with one server
// to show.
class SetupDialogTest : public dialogtest::SetupDialog {
 protected:
  void SetUp() override {
    SetupDialog::SetUp();
    host.servers.rows = {{L"team", L"https://mt.example.org:8443/apy", L"libretranslate"}};
    mStrings = ExpectedStrings();
    ASSERT_GT(mStrings.size(), 100u) << "string table not found";
  }

  // Runs the dialog with `steps`; the view is kept to reach its windows.
  int Run(std::vector<Step> steps) {
    auto view = std::make_unique<dialogs::win32::Win32SetupView>();
    mView = view.get();
    dialogs::CDialogSetup dialog(host, std::move(view),
                                 [] { return std::make_unique<dialogs::win32::Win32InputBoxView>(); });
    int code = -1;
    EXPECT_TRUE(RunScripted([&] { code = dialog.DoModal(); }, std::move(steps))) << "script did not finish";
    mView = nullptr;
    return code;
  }

  HWND Item(SetupPage page, int id) { return ::GetDlgItem(mView->Page(page), id); }
  // A step that waits for the dialog to be the active window again.
  Step FrameActive() {
    return [this] { return ActiveDialog() == mView->Frame(); };
  }

  // Every text control of the table on `page` shows its string-table text
  // (the hidden page its own names).
  void ExpectCaptions(int page) {
    for (const dialogs::SetupControl& control : dialogs::kSetupControls) {
      if (control.page != page || control.hidden || (!control.name && control.textId == 0)) continue;
      HWND window = page == dialogs::kSetupFrame
                        ? (control.id == 0 ? mView->Frame() : ::GetDlgItem(mView->Frame(), control.id))
                        : Item(static_cast<SetupPage>(page), control.id);
      EXPECT_EQ(PlainText(window), control.name ? control.name : WithoutAccelerators(mStrings[control.textId]))
          << "page " << page << " control " << control.id;
    }
  }

  std::map<int, std::wstring> mStrings;
  dialogs::win32::Win32SetupView* mView = nullptr;
};

// With hidden options on, all six pages: the "&debug" page first.
TEST_F(SetupDialogTest, EveryPageRendersItsCaptionsInTheSystemLanguage) {
  host.hidden = true;
  std::vector<Step> steps{FrameActive(), [&] {
    EXPECT_EQ(TabCtrl_GetItemCount(::GetDlgItem(mView->Frame(), ids::kTab)), dialogs::kSetupPageCount);
    EXPECT_TRUE(::IsWindowVisible(mView->Page(SetupPage::Hidden)));
    ExpectCaptions(dialogs::kSetupFrame);
    const char* names[] = {"debug", "options", "basic", "details", "fonts", "engines"};
    for (int tab = 0; tab < dialogs::kSetupPageCount; ++tab) {
      HWND tabs = ::GetDlgItem(mView->Frame(), ids::kTab);
      TabCtrl_SetCurSel(tabs, tab);
      NMHDR change{tabs, static_cast<UINT_PTR>(ids::kTab), static_cast<UINT>(TCN_SELCHANGE)};
      ::SendMessageW(mView->Frame(), WM_NOTIFY, ids::kTab, reinterpret_cast<LPARAM>(&change));
      SetupPage page = static_cast<SetupPage>(tab);
      EXPECT_TRUE(::IsWindowVisible(mView->Page(page))) << names[tab];
      ExpectCaptions(tab);
      // The page area shows more than a background and a frame.
      RECT area, frame;
      ::GetWindowRect(mView->Page(page), &area);
      ::GetWindowRect(mView->Frame(), &frame);
      ::OffsetRect(&area, -frame.left, -frame.top);
      ExpectReadable(mView->Frame(), L"setup-" + LanguageTag() + L"-" + platform::FromUtf8(names[tab]), 500, area);
    }
    // In both lists every column header fits its column and every cell
    // shows whole; engine names, product names and every server cell are there.
    struct ListLook {
      int id;
      const dialogs::EngineColumn* columns;
      int count, filled;  // filled: the leading columns that are never empty
    };
    for (const ListLook& look : {ListLook{ids::kEngineList, dialogs::kEngineColumns, 5, 2},
                                 ListLook{ids::kServerList, dialogs::kServerColumns, 3, 3}}) {
      HWND list = Item(SetupPage::Engines, look.id);
      EXPECT_TRUE(::IsWindowVisible(list)) << look.id;
      EXPECT_GT(ListView_GetItemCount(list), 0) << look.id;
      for (int column = 0; column < look.count; ++column) {
        wchar_t header[128] = {};
        LVCOLUMNW info{};
        info.mask = LVCF_TEXT;
        info.pszText = header;
        info.cchTextMax = 128;
        EXPECT_TRUE(ListView_GetColumn(list, column, &info));
        EXPECT_EQ(header, mStrings[look.columns[column].textId]);
        EXPECT_LE(ListView_GetStringWidth(list, header) + 12, ListView_GetColumnWidth(list, column)) << column;
      }
      for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        for (int column = 0; column < look.count; ++column) {
          wchar_t cell[256] = {};
          ListView_GetItemText(list, row, column, cell, 256);
          EXPECT_TRUE(column >= look.filled || cell[0] != L'\0') << "empty cell " << row << "," << column;
          EXPECT_LE(ListView_GetStringWidth(list, cell) + 12, ListView_GetColumnWidth(list, column))
              << platform::ToUtf8(cell);
        }
      }
    }
    // Each font list shows the set's font, installed here or not, or the
    // text saying there is none.
    const options::TranslationOption* set = host.options.Find(options::kDefaultOptionName);
    for (int i = 0; i < 7; ++i) {
      HWND fonts = Item(SetupPage::Fonts, ids::kFontLists[i]);
      const std::wstring expected = set->Font(i).empty() ? mStrings[resources::msg::kNoFontText] : set->Font(i);
      EXPECT_GE(::SendMessageW(fonts, CB_GETCURSEL, 0, 0), 0) << i;
      EXPECT_TRUE(platform::EqualsNoCase(PlainText(fonts), expected))
          << i << ": " << platform::ToUtf8(PlainText(fonts)) << " for " << platform::ToUtf8(expected);
    }
    return PostClick(::GetDlgItem(mView->Frame(), ids::kCancel));
  }};
  EXPECT_EQ(Run(std::move(steps)), IDCANCEL);
}

// A click of each kind reaches the handler its page routes it to; the
// enabling rules and what OK stores are the dialogs suite's. The system
// colour chooser starts from the set's colour: a cancel changes nothing,
// not even Apply; OK keeps that colour as an edit.
TEST_F(SetupDialogTest, ClicksOfEachKindEditTheSetAndOkKeepsThem) {
  host.options.Find(options::kDefaultOptionName)->SetChangesOrigFontColor(1);
  host.options.Find(options::kDefaultOptionName)->SetOrigFontColorValue(0x00336699);
  // A dialog over the options dialog, owned by it, which takes no clicks meanwhile.
  HWND owned = nullptr;
  const Step ownedActive = [&] {
    owned = ActiveDialog();
    if (!owned || owned == mView->Frame()) return false;
    EXPECT_EQ(::GetWindow(owned, GW_OWNER), mView->Frame());
    EXPECT_FALSE(::IsWindowEnabled(mView->Frame()));
    return true;
  };
  std::vector<Step> steps{FrameActive()};
  for (int button : {IDCANCEL, IDOK}) {
    steps.push_back([&] { return PostClick(Item(SetupPage::Details, ids::kChooseOrigColor)); });
    steps.push_back(ownedActive);
    steps.push_back([&, button] {
      if (button == IDCANCEL) {
        EXPECT_FALSE(SavePng(Capture(owned), L"colour-" + LanguageTag()).empty());
      }
      return PostClick(::GetDlgItem(owned, button));
    });
    steps.push_back(FrameActive());
    steps.push_back([&, button] {
      EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(mView->Frame(), ids::kApply)) != FALSE, button == IDOK);
      return true;
    });
  }
  steps.push_back([&] {
    ::SendMessageW(Item(SetupPage::Basic, ids::kAlignAbove), BM_CLICK, 0, 0);
    // The new-window choice has a handler of its own, which closes the arrangement.
    ::SendMessageW(Item(SetupPage::Basic, ids::kOutputOriginal), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindowEnabled(Item(SetupPage::Basic, ids::kAlignAbove)));
    ::SendMessageW(Item(SetupPage::Details, ids::kChangeOrigColor), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindowEnabled(Item(SetupPage::Details, ids::kChooseOrigColor)));

    // Rows 0 and 2 selected; unticking row 0 unticks row 2 too, not row 1.
    HWND list = Item(SetupPage::Engines, ids::kEngineList);
    EXPECT_EQ(ListView_GetItemCount(list), 3);
    ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(list, 2, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetCheckState(list, 0, FALSE);
    EXPECT_FALSE(ListView_GetCheckState(list, 2));
    EXPECT_TRUE(ListView_GetCheckState(list, 1));
    return PostClick(Item(SetupPage::OptionSets, ids::kAdd));
  });
  // Add asks for a name in the input box (what the name does is the dialogs
  // suite's): title, prompt and buttons.
  steps.push_back(ownedActive);
  steps.push_back([&] {
    EXPECT_EQ(PlainText(owned) + L"|" + PlainText(::GetDlgItem(owned, 286)) + L"|" +
                  PlainText(::GetDlgItem(owned, IDOK)) + L"|" + PlainText(::GetDlgItem(owned, IDCANCEL)),
              mStrings[203] + L"|New Option Name : |" + mStrings[6001] + L"|" + mStrings[6003]);
    ExpectReadable(owned, L"inputbox-" + LanguageTag(), 300);
    ::SendMessageW(::GetDlgItem(owned, 229), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Team"));
    return PostClick(::GetDlgItem(owned, IDOK));
  });
  steps.push_back(FrameActive());
  steps.push_back([&] {
    EXPECT_EQ(PlainText(Item(SetupPage::OptionSets, ids::kCurrentName)), L"Team");
    EXPECT_EQ(::SendMessageW(Item(SetupPage::OptionSets, ids::kOptionList), LB_GETCURSEL, 0, 0), 2);
    return PostClick(::GetDlgItem(mView->Frame(), ids::kOK));
  });
  EXPECT_EQ(Run(std::move(steps)), IDOK);
  const options::TranslationOption& set = *host.options.Find(options::kDefaultOptionName);
  // Applied once; output, arrangement, colour switch and colour; the three check marks.
  EXPECT_EQ(std::vector<int>({host.applied, set.OutputDestType(), set.WindowAlign(), set.ChangesOrigFontColor(),
                              set.OrigFontColorValue(), host.engines.Checked(0), host.engines.Checked(1),
                              host.engines.Checked(2)}),
            std::vector<int>({1, 0, 2, 0, 0x00336699, 0, 1, 0}));
}

// The only test of the window views' registration: the options command
// opens the window, and a box ticked there reaches the running facade on OK.
TEST(FacadeDialogs, TheOptionsCommandOpensTheWindowAndOkReachesTheRunningFacade) {
  platform::DeleteKeyTree(platform::Hive::CurrentUser, options::kHostKeyPath);
  dialogs::win32::RegisterWindowViews();
  addin::AddinApplication facade({.fillEngineList = [](engine::EngineCaches&, bool) { return true; }});
  HWND setup = nullptr;
  std::vector<Step> steps{[&] { return (setup = ActiveDialog()) != nullptr; }};
  steps.push_back([&] {
    // The basic page's dual print box, for the set shown.
    for (HWND page = ::FindWindowExW(setup, nullptr, nullptr, nullptr); page;
         page = ::FindWindowExW(setup, page, nullptr, nullptr)) {
      if (HWND dual = ::GetDlgItem(page, ids::kDualPrint)) ::SendMessageW(dual, BM_CLICK, 0, 0);
    }
    return PostClick(::GetDlgItem(setup, ids::kOK));
  });
  EXPECT_TRUE(RunScripted([&] { facade.ShowOptionDialog(nullptr); }, std::move(steps)));
  // Applied without a restart.
  EXPECT_EQ(facade.GetTranslationOptions().Find(options::kDefaultOptionName)->DualPrint(), 1);
  platform::DeleteKeyTree(platform::Hive::CurrentUser, options::kHostKeyPath);
}

RECT ChildRect(HWND dialog, int id) {
  RECT r;
  ::GetWindowRect(::GetDlgItem(dialog, id), &r);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The dialog's surroundings are those of its logic's tests.
using LookupDialogTest = dialogtest::LookupDialog;

TEST_F(LookupDialogTest, ASelectedWordIsSearchedByItselfAndTheResultGrowsWithTheWindow) {
  std::map<int, std::wstring> strings = ExpectedStrings();
  auto view = std::make_unique<dialogs::win32::Win32LookupDictView>();
  dialogs::win32::Win32LookupDictView* shown = view.get();
  dialogs::CDialogLookupDict dialog(std::move(view), engines, eng, options::kHostKeyPath);
  HWND window = nullptr;
  std::vector<Step> steps{[&] { return (window = ActiveDialog()) == shown->Window(); }};
  steps.push_back([&] {
    EXPECT_EQ(PlainText(window), strings[8501]);
    for (auto [id, text] : {std::pair{look::kDictionaryLabel, 8504}, {look::kWordLabel, 8502}, {look::kSearch, 8503},
                            {look::kClose, 6002}}) {
      EXPECT_EQ(PlainText(::GetDlgItem(window, id)), WithoutAccelerators(strings[text])) << id;
    }
    // Two dictionaries, the second chosen; the selection's first line,
    // trimmed; the search has not run yet.
    HWND list = ::GetDlgItem(window, look::kDictionaryList);
    EXPECT_EQ(std::to_wstring(::SendMessageW(list, CB_GETCOUNT, 0, 0)) + L"|" +
                  std::to_wstring(::SendMessageW(list, CB_GETCURSEL, 0, 0)) + L"|" +
                  PlainText(::GetDlgItem(window, look::kWord)) + L"|" + PlainText(::GetDlgItem(window, look::kResult)),
              L"2|1|cat|");
    return true;
  });
  // The automatic search arrives through the dialog's own timer.
  steps.push_back([&] { return !PlainText(::GetDlgItem(window, look::kResult)).empty(); });
  steps.push_back([&] {
    EXPECT_EQ(PlainText(::GetDlgItem(window, look::kResult)), L"neko\r\nbyo\r\nmao");
    ExpectReadable(window, L"lookup-" + LanguageTag(), 30, ChildRect(window, look::kResult));

    RECT before = ChildRect(window, look::kResult);
    RECT close = ChildRect(window, look::kClose);
    RECT frame;
    ::GetWindowRect(window, &frame);
    ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 120, frame.bottom - frame.top + 80,
                   SWP_NOMOVE | SWP_NOZORDER);
    RECT after = ChildRect(window, look::kResult);
    RECT closeAfter = ChildRect(window, look::kClose);
    EXPECT_EQ(std::vector<LONG>({after.right - before.right, after.bottom - before.bottom, closeAfter.left - close.left,
                                 closeAfter.top - close.top}),
              std::vector<LONG>({120, 80, 120, 80}));
    EXPECT_FALSE(SavePng(Capture(window), L"lookup-" + LanguageTag() + L"-resized").empty());

    // Typing another word and pressing Search.
    ::SendMessageW(::GetDlgItem(window, look::kWord), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"void"));
    ::SendMessageW(::GetDlgItem(window, look::kSearch), BM_CLICK, 0, 0);
    EXPECT_EQ(PlainText(::GetDlgItem(window, look::kResult)), strings[8505]);
    return PostClick(::GetDlgItem(window, look::kClose));
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
    std::vector<Step> steps{[&] { return shown->Window() && ::IsWindowVisible(shown->Window()); }};
    steps.push_back([&] {
      HWND window = shown->Window();
      // The message, the button, and a title bar naming the product, from
      // the version block, beside a close box.
      EXPECT_EQ(PlainText(::GetDlgItem(window, 288)) + L"|" + PlainText(::GetDlgItem(window, IDCANCEL)) + L"|" +
                    PlainText(window),
                strings[1252] + L"|" + strings[6003] + L"|" + ExpectedVersionValue("ProductName"));
      EXPECT_NE(::GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU, 0);
      ExpectReadable(window, L"wait-" + LanguageTag(), 100);
      ::PostMessageW(window, way.message, way.param, 0);
      return true;
    });
    long status = 0;
    EXPECT_TRUE(RunScripted([&] { status = box.Run(request, 1252, 0); }, std::move(steps)));
    EXPECT_EQ(status, 2);
    EXPECT_EQ(request.cancels, 1);
  }
}

// Escape is the cancel button: it asks, in a question the progress window
// owns and which keeps it from clicks; a second cancel or the close box
// reaching the window all the same does nothing, and once the question is
// answered no the run's progress goes on.
TEST(ProgressWindowTest, EscapeAsksInAnOwnedQuestionAndASecondRequestDoesNothing) {
  std::atomic<int> cancels{0};
  ASSERT_TRUE(dialogs::OpenProgressDialog(&dialogs::win32::MakeProgressView, [&] { ++cancels; }));
  // The dialog's window, on the dialog's own thread.
  const auto window = reinterpret_cast<HWND>(dialogs::CurrentProgressDialog()->View().NativeWindow());
  ASSERT_NE(window, nullptr);
  EXPECT_NE(::GetWindowThreadProcessId(window, nullptr), ::GetCurrentThreadId());
  ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
  // The question, shown as a window the progress window owns.
  HWND question = nullptr;
  for (int waited = 0; !question && waited < 10000; waited += 10) {
    platform::SleepMilliseconds(10);
    for (HWND w = ::FindWindowExW(nullptr, nullptr, nullptr, nullptr); w && !question;
         w = ::FindWindowExW(nullptr, w, nullptr, nullptr)) {
      if (::GetWindow(w, GW_OWNER) == window && ::IsWindowVisible(w)) question = w;
    }
  }
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
