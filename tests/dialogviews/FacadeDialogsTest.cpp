// The facade's dialog commands open the window views the add-in registers,
// and what the user does in them reaches the running facade.
#include <windows.h>

#include <gtest/gtest.h>

#include "src/addin/AddinApplication.h"
#include "src/dialogs/SetupView.h"
#include "src/dialogs/win32/Win32SmallDialogViews.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/Registry.h"
#include "tests/dialogviews/WindowHarness.h"

namespace dialogviews {
namespace {

namespace ids = dialogs::setup_ids;

TEST(FacadeDialogs, TheOptionsCommandOpensTheWindowAndOkReachesTheRunningFacade) {
  platform::DeleteKeyTree(platform::Hive::CurrentUser, options::kHostKeyPath);
  dialogs::win32::RegisterWindowViews();
  addin::AddinApplication facade({.fillEngineList = [](engine::EngineCaches&, bool) { return true; },
                                  .loadOptions =
                                      [](options::TranslationOptions& sets) {
                                        sets.Reset();
                                        sets.Add(L"Fancy");
                                        return true;
                                      }});

  HWND setup = nullptr;
  std::vector<Step> steps;
  steps.push_back([&] { return (setup = ActiveDialog()) != nullptr; });
  steps.push_back([&] {
    // The option sets page is the first tab: pick "Fancy", then edit it.
    HWND sets = ::FindWindowExW(setup, nullptr, nullptr, nullptr);
    HWND list = nullptr;
    for (; sets && !list; sets = ::FindWindowExW(setup, sets, nullptr, nullptr)) list = ::GetDlgItem(sets, ids::kOptionList);
    EXPECT_NE(list, nullptr);
    if (!list) return true;
    ::SendMessageW(list, LB_SETCURSEL, 1, 0);
    ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(ids::kOptionList, LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));
    for (HWND page = ::FindWindowExW(setup, nullptr, nullptr, nullptr); page;
         page = ::FindWindowExW(setup, page, nullptr, nullptr)) {
      if (HWND dual = ::GetDlgItem(page, ids::kDualPrint)) ::SendMessageW(dual, BM_CLICK, 0, 0);
    }
    return PostClick(::GetDlgItem(setup, ids::kOK));
  });
  EXPECT_TRUE(RunScripted([&] { facade.ShowOptionDialog(nullptr); }, std::move(steps)));
  // Applied without a restart.
  const options::TranslationOption* fancy = facade.GetTranslationOptions().Find(L"Fancy");
  ASSERT_NE(fancy, nullptr);
  EXPECT_EQ(fancy->DualPrint(), 1);
  EXPECT_EQ(facade.GetTranslationOptions().Find(L"default")->DualPrint(), 0);
  platform::DeleteKeyTree(platform::Hive::CurrentUser, options::kHostKeyPath);
}

}  // namespace
}  // namespace dialogviews
