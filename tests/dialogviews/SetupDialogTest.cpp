// The options dialog and the input box on the screen: each page rendered in
// the system's language and driven with window messages as a user would.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "resources/MessageIds.h"
#include "src/dialogs/CDialogSetup.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/dialogs/win32/Win32SetupView.h"
#include "src/dialogs/win32/Win32SmallDialogViews.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/ResourceModule.h"
#include "tests/dialogs/SetupFixture.h"
#include "tests/dialogviews/WindowHarness.h"

namespace dialogviews {
namespace {

using dialogs::SetupPage;
namespace ids = dialogs::setup_ids;

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

  void SelectTab(int index) {
    HWND tab = ::GetDlgItem(mView->Frame(), ids::kTab);
    TabCtrl_SetCurSel(tab, index);
    NMHDR change{tab, static_cast<UINT_PTR>(ids::kTab), static_cast<UINT>(TCN_SELCHANGE)};
    ::SendMessageW(mView->Frame(), WM_NOTIFY, ids::kTab, reinterpret_cast<LPARAM>(&change));
  }

  // Every text control of the table on `page` shows its string-table text
  // (the hidden page its own names).
  void ExpectCaptions(int page) {
    for (const dialogs::SetupControl& control : dialogs::kSetupControls) {
      if (control.page != page || control.hidden) continue;
      if (control.name) {
        EXPECT_EQ(PlainText(Item(SetupPage::Hidden, control.id)), control.name) << control.id;
        continue;
      }
      if (control.textId == 0) continue;
      HWND window = page == dialogs::kSetupFrame
                        ? (control.id == 0 ? mView->Frame() : ::GetDlgItem(mView->Frame(), control.id))
                        : Item(static_cast<SetupPage>(page), control.id);
      ASSERT_NE(window, nullptr) << "page " << page << " control " << control.id;
      EXPECT_EQ(PlainText(window), WithoutAccelerators(mStrings[control.textId]))
          << "page " << page << " control " << control.id;
    }
  }

  std::map<int, std::wstring> mStrings;
  dialogs::win32::Win32SetupView* mView = nullptr;
};

// With hidden options on, all six pages: the "&debug" page first.
TEST_F(SetupDialogTest, EveryPageRendersItsCaptionsInTheSystemLanguage) {
  host.hidden = true;
  std::vector<Step> steps;
  steps.push_back(FrameActive());
  steps.push_back([&] {
    EXPECT_EQ(TabCtrl_GetItemCount(::GetDlgItem(mView->Frame(), ids::kTab)), dialogs::kSetupPageCount);
    EXPECT_TRUE(::IsWindowVisible(mView->Page(SetupPage::Hidden)));
    ExpectCaptions(dialogs::kSetupFrame);
    const char* names[] = {"debug", "options", "basic", "details", "fonts", "engines"};
    for (int tab = 0; tab < dialogs::kSetupPageCount; ++tab) {
      SelectTab(tab);
      SetupPage page = static_cast<SetupPage>(tab);
      EXPECT_TRUE(::IsWindowVisible(mView->Page(page))) << names[tab];
      ExpectCaptions(tab);
      Shot shot = Capture(mView->Frame());
      EXPECT_FALSE(SavePng(shot, L"setup-" + LanguageTag() + L"-" + platform::FromUtf8(names[tab])).empty());
      // The page area shows more than a background and a frame.
      RECT area;
      ::GetWindowRect(mView->Page(page), &area);
      RECT frame;
      ::GetWindowRect(mView->Frame(), &frame);
      ::OffsetRect(&area, -frame.left, -frame.top);
      EXPECT_GT(shot.Ink(area), 500u) << names[tab];
      for (const std::wstring& problem : TextProblems(mView->Frame())) ADD_FAILURE() << platform::ToUtf8(problem);
    }
    // In both lists every column header fits its column and every cell
    // shows whole; engine names, product names and every server cell are there.
    struct ListLook {
      int id;
      const dialogs::EngineColumn* columns;
      int count;
      int filled;  // the leading columns that are never empty
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
          if (column < look.filled) {
            EXPECT_NE(cell[0], L'\0') << row << "," << column;
          }
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
  });
  EXPECT_EQ(Run(std::move(steps)), IDCANCEL);
  EXPECT_EQ(host.applied, 0);
}

// A click of each kind reaches the handler its page routes it to; the
// enabling rules and what OK stores are the dialogs suite's.
TEST_F(SetupDialogTest, ClicksOfEachKindEditTheSetAndOkKeepsThem) {
  std::vector<Step> steps;
  steps.push_back(FrameActive());
  steps.push_back([&] {
    HWND apply = ::GetDlgItem(mView->Frame(), ids::kApply);
    EXPECT_FALSE(::IsWindowEnabled(apply));
    ::SendMessageW(Item(SetupPage::Basic, ids::kAlignAbove), BM_CLICK, 0, 0);
    EXPECT_TRUE(::IsWindowEnabled(apply));
    // The new-window choice has a handler of its own, which closes the arrangement.
    ::SendMessageW(Item(SetupPage::Basic, ids::kOutputOriginal), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindowEnabled(Item(SetupPage::Basic, ids::kAlignAbove)));
    ::SendMessageW(Item(SetupPage::Details, ids::kChangeOrigColor), BM_CLICK, 0, 0);
    EXPECT_TRUE(::IsWindowEnabled(Item(SetupPage::Details, ids::kChooseOrigColor)));

    // Rows 0 and 2 selected; unticking row 0 unticks row 2 too, not row 1.
    HWND list = Item(SetupPage::Engines, ids::kEngineList);
    EXPECT_EQ(ListView_GetItemCount(list), 3);
    ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(list, 2, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetCheckState(list, 0, FALSE);
    EXPECT_FALSE(ListView_GetCheckState(list, 2));
    EXPECT_TRUE(ListView_GetCheckState(list, 1));
    return PostClick(::GetDlgItem(mView->Frame(), ids::kOK));
  });
  EXPECT_EQ(Run(std::move(steps)), IDOK);
  EXPECT_EQ(host.applied, 1);
  const options::TranslationOption* set = host.options.Find(options::kDefaultOptionName);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->OutputDestType(), 0);
  EXPECT_EQ(set->WindowAlign(), 2);
  EXPECT_EQ(set->ChangesOrigFontColor(), 1);
  EXPECT_EQ(host.engines.Checked(0), 0);
  EXPECT_EQ(host.engines.Checked(1), 1);
  EXPECT_EQ(host.engines.Checked(2), 0);
}

// The system colour chooser over the dialog starts from the set's colour: a
// cancel changes nothing, not even Apply; OK keeps that colour as an edit.
TEST_F(SetupDialogTest, TheColourChooserStartsFromTheSetAndCancelKeepsApplyOff) {
  options::TranslationOption* set = host.options.Find(options::kDefaultOptionName);
  set->SetChangesOrigFontColor(1);
  set->SetOrigFontColorValue(0x00336699);
  HWND chooser = nullptr;
  std::vector<Step> steps;
  steps.push_back(FrameActive());
  for (int button : {IDCANCEL, IDOK}) {
    steps.push_back([&] { return PostClick(Item(SetupPage::Details, ids::kChooseOrigColor)); });
    steps.push_back([&] {
      chooser = ActiveDialog();
      return chooser && chooser != mView->Frame();
    });
    steps.push_back([&, button] {
      EXPECT_EQ(::GetWindow(chooser, GW_OWNER), mView->Frame());
      if (button == IDCANCEL) {
        EXPECT_FALSE(SavePng(Capture(chooser), L"colour-" + LanguageTag()).empty());
      }
      return PostClick(::GetDlgItem(chooser, button));
    });
    steps.push_back(FrameActive());
    steps.push_back([&, button] {
      EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(mView->Frame(), ids::kApply)) != FALSE, button == IDOK);
      return true;
    });
  }
  steps.push_back([&] { return PostClick(::GetDlgItem(mView->Frame(), ids::kOK)); });
  EXPECT_EQ(Run(std::move(steps)), IDOK);
  EXPECT_EQ(host.options.Find(options::kDefaultOptionName)->OrigFontColorValue(), 0x00336699);
}

// What a name typed there does is the dialogs suite's.
TEST_F(SetupDialogTest, AddAsksForANameInTheInputBoxOverTheDialog) {
  HWND inputBox = nullptr;
  std::vector<Step> steps{FrameActive(), [&] { return PostClick(Item(SetupPage::OptionSets, ids::kAdd)); }};
  steps.push_back([&] {
    inputBox = ActiveDialog();
    return inputBox && inputBox != mView->Frame();
  });
  steps.push_back([&] {
    // Owned by the options dialog, which takes no clicks meanwhile.
    EXPECT_EQ(::GetWindow(inputBox, GW_OWNER), mView->Frame());
    EXPECT_FALSE(::IsWindowEnabled(mView->Frame()));
    EXPECT_EQ(PlainText(inputBox), mStrings[203]);
    EXPECT_EQ(PlainText(::GetDlgItem(inputBox, 286)), L"New Option Name : ");
    EXPECT_EQ(PlainText(::GetDlgItem(inputBox, IDOK)), mStrings[6001]);
    EXPECT_EQ(PlainText(::GetDlgItem(inputBox, IDCANCEL)), mStrings[6003]);
    Shot shot = Capture(inputBox);
    EXPECT_FALSE(SavePng(shot, L"inputbox-" + LanguageTag()).empty());
    EXPECT_GT(shot.Ink(), 300u);
    for (const std::wstring& problem : TextProblems(inputBox)) ADD_FAILURE() << platform::ToUtf8(problem);
    ::SendMessageW(::GetDlgItem(inputBox, 229), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Team"));
    return PostClick(::GetDlgItem(inputBox, IDOK));
  });
  steps.push_back(FrameActive());
  steps.push_back([&] {
    EXPECT_EQ(PlainText(Item(SetupPage::OptionSets, ids::kCurrentName)), L"Team");
    EXPECT_EQ(::SendMessageW(Item(SetupPage::OptionSets, ids::kOptionList), LB_GETCURSEL, 0, 0), 2);
    return PostClick(::GetDlgItem(mView->Frame(), ids::kCancel));
  });
  EXPECT_EQ(Run(std::move(steps)), IDCANCEL);
}

}  // namespace
}  // namespace dialogviews
