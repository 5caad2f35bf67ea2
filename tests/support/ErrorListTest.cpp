#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"
#include "tests/common/MessageBoxes.h"

namespace {

constexpr unsigned kTopmost = 0x00040000;
// The report block opens with a line of 25 hyphens.
const wchar_t* const kRule = L"-------------------------\r\n";
// A code no system has a text for.
constexpr DWORD kCodeWithoutText = 0x1FFFFFFFu;

// Every test starts from an empty list, display off, and a clean last-error
// code, and sees the message boxes instead of a terminal.
class ErrorListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    support::ErrorList::SetDisplay(false);
    support::ErrorList::Clear();
  }
  void TearDown() override {
    support::ErrorList::SetDisplay(false);
    support::ErrorList::Clear();
  }

  testsupport::MessageBoxes mBoxes;
};

TEST_F(ErrorListTest, IconComesFromThousandsDigit) {
  const std::pair<int, int> cases[] = {{1301, MB_ICONERROR}, {2001, MB_ICONEXCLAMATION}, {3001, MB_ICONINFORMATION},
                                       {4002, 0},            {9001, 0},                  {203, 0}};
  for (auto [id, icon] : cases) EXPECT_EQ(support::ErrorList::Add(id).mIcon, icon) << id;
  EXPECT_EQ(support::ErrorList::GetCount(), 6);
}

TEST_F(ErrorListTest, TextIsHeadingAloneOrHeadingBlankLineDetail) {
  support::ErrorEntry plain = support::ErrorList::Add(1301, L"");
  EXPECT_EQ(plain.mMessageId, 1301);
  EXPECT_EQ(plain.mHeading, support::LoadText(1301));
  EXPECT_FALSE(plain.mHeading.empty());
  EXPECT_EQ(plain.mFullText, plain.mHeading);

  support::ErrorEntry detailed = support::ErrorList::Add(1302, L"toolbar detail");
  EXPECT_EQ(detailed.mDetail, L"toolbar detail");
  EXPECT_EQ(detailed.mFullText, support::LoadText(1302) + L"\r\n\r\ntoolbar detail");

  // Entries are kept in order, as copies.
  auto entries = support::ErrorList::GetEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].mMessageId, 1301);
  EXPECT_EQ(entries[1].mMessageId, 1302);
  EXPECT_EQ(support::ErrorList::GetEntry(1).mFullText, detailed.mFullText);
  EXPECT_EQ(support::ErrorList::GetEntry(2).mMessageId, 0);
  EXPECT_EQ(support::ErrorList::GetEntry(-1).mMessageId, 0);

  support::ErrorEntry orphan = support::ErrorList::Add(1999, L"only the detail");  // an id without text
  EXPECT_EQ(orphan.mHeading, L"");
  EXPECT_EQ(orphan.mFullText, L"\r\n\r\nonly the detail");
}

TEST_F(ErrorListTest, DisplayShowsEachEntryAtOnceWithAddinCaption) {
  support::ErrorList::Add(1301);
  EXPECT_TRUE(mBoxes.requests.empty());

  support::ErrorList::SetDisplay(true);
  EXPECT_TRUE(support::ErrorList::GetDisplay());
  support::ErrorList::Add(2002, L"why");
  ASSERT_EQ(mBoxes.requests.size(), 1u);
  EXPECT_EQ(mBoxes.requests[0].text, support::LoadText(2002) + L"\r\n\r\nwhy");
  EXPECT_EQ(mBoxes.requests[0].style, MB_ICONEXCLAMATION | kTopmost);
  EXPECT_EQ(mBoxes.requests[0].caption, support::LoadText(203));
  EXPECT_EQ(mBoxes.requests[0].langId, support::GetLanguageId());
}

TEST_F(ErrorListTest, ClearEmptiesListAndResetsLastError) {
  support::ErrorList::Add(1301);
  platform::SetLastErrorCode(5);
  ASSERT_TRUE(support::ErrorList::HasError());
  EXPECT_EQ(platform::GetLastErrorCode(), 5u) << "asking leaves the code alone";
  support::ErrorList::Clear();
  EXPECT_EQ(support::ErrorList::GetCount(), 0);
  EXPECT_FALSE(support::ErrorList::HasError());
  EXPECT_EQ(platform::GetLastErrorCode(), 0u);
}

TEST_F(ErrorListTest, ClearResetsOnlyTheCallingThread) {
  // The threads meet through atomics only: waiting on the system's objects
  // would itself touch the last-error codes under test.
  std::atomic<int> step{0};
  std::atomic<DWORD> seen{0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto reached = [&](int value) {
    while (step.load() < value) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  };
  std::thread other([&] {
    platform::SetLastErrorCode(7);
    step = 1;
    if (reached(2)) seen = platform::GetLastErrorCode();
  });
  const bool started = reached(1);
  if (started) support::ErrorList::Clear();
  step = 2;
  other.join();
  ASSERT_TRUE(started) << "the other thread did not start";
  EXPECT_EQ(seen.load(), 7u);
}

TEST_F(ErrorListTest, ErrorReportNamesNumberSystemTextAndSource) {
  const std::wstring systemText = platform::SystemErrorText(2);
  ASSERT_FALSE(systemText.empty());
  platform::SetLastErrorCode(2);
  support::ErrorList::ErrorReport(L"OfficeMenummnuTranSheet_Click");
  ASSERT_EQ(support::ErrorList::GetCount(), 1);
  support::ErrorEntry entry = support::ErrorList::GetEntry(0);
  EXPECT_EQ(entry.mMessageId, 1001);
  EXPECT_EQ(entry.mIcon, MB_ICONERROR);
  EXPECT_EQ(entry.mDetail, kRule + std::wstring(L"[Number]\r\n  2\r\n[Message]\r\n  ") + systemText +
                               L"\r\n[Source]\r\n  OfficeMenummnuTranSheet_Click");
  EXPECT_EQ(entry.mFullText, support::LoadText(1001) + L"\r\n\r\n" + entry.mDetail);
  // The report itself leaves the code in place.
  EXPECT_EQ(platform::GetLastErrorCode(), 2u);
}

TEST_F(ErrorListTest, ErrorReportPrintsCodeSignedAndMissingTextAsNull) {
  platform::SetLastErrorCode(0x80004005u);
  support::ErrorList::ErrorReport(L"AddinApplication:TranslateSheet");
  std::wstring detail = support::ErrorList::GetEntry(0).mDetail;
  EXPECT_EQ(detail.substr(0, detail.find(L"[Message]")), kRule + std::wstring(L"[Number]\r\n  -2147467259\r\n"))
      << platform::ToUtf8(detail);
  support::ErrorList::Clear();
  platform::SetLastErrorCode(kCodeWithoutText);
  support::ErrorList::ErrorReport(L"AddinApplication:TranslateSheet");
  EXPECT_EQ(support::ErrorList::GetEntry(0).mDetail,
            kRule + std::wstring(L"[Number]\r\n  536870911\r\n[Message]\r\n  (null)\r\n[Source]\r\n  "
                                 L"AddinApplication:TranslateSheet"));
}

TEST_F(ErrorListTest, FailingCommandShowsItsMessageThenOneReport) {
  support::ErrorList::SetDisplay(true);
  support::ErrorList::Clear();
  // The command fails with a system error and adds its specific message,
  // which leaves the pending code to the report.
  platform::SetLastErrorCode(2);
  support::ErrorList::Add(1302);
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(L"AddinMain:TranSheetClick");
  // The click's outer layers find the same code pending: no second report.
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(L"OfficeMenummnuTranSheet_Click");
  support::ErrorList::ErrorReportWithInfo(L"OfficeMenummnuTranSheet_Click", L"info");
  ASSERT_EQ(mBoxes.requests.size(), 2u);
  EXPECT_EQ(mBoxes.requests[0].text, support::LoadText(1302));
  EXPECT_NE(mBoxes.requests[1].text.find(L"[Number]\r\n  2\r\n"), std::wstring::npos);
  EXPECT_NE(mBoxes.requests[1].text.find(L"AddinMain:TranSheetClick"), std::wstring::npos);
  // Another code, or the same one in the next command, is reported again.
  platform::SetLastErrorCode(5);
  support::ErrorList::ErrorReport(L"AddinMain:TranSheetClick");
  support::ErrorList::Clear();
  platform::SetLastErrorCode(5);
  support::ErrorList::ErrorReport(L"AddinMain:TranSheetClick");
  EXPECT_EQ(mBoxes.requests.size(), 4u);
}

TEST_F(ErrorListTest, ReportWithInfoTakesTenTextsAtMost) {
  platform::SetLastErrorCode(kCodeWithoutText);
  support::ErrorList::ErrorReportWithInfo(
      L"CDialogSetup::optOutputDest_Click",
      std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i", L"j", L"k", L"l"});
  support::ErrorEntry entry = support::ErrorList::GetEntry(0);
  EXPECT_EQ(entry.mMessageId, 3001);
  EXPECT_EQ(entry.mIcon, MB_ICONINFORMATION);
  EXPECT_EQ(entry.mHeading, L"DEBUG_INFO:");
  EXPECT_EQ(entry.mDetail, kRule + std::wstring(L"[Number]\r\n  536870911\r\n[Message]\r\n  (null)\r\n"
                                                L"[Source]\r\n  CDialogSetup::optOutputDest_Click"
                                                L"\r\n[Info1] a\r\n[Info2] b\r\n[Info3] c\r\n[Info4] d\r\n[Info5] e"
                                                L"\r\n[Info6] f\r\n[Info7] g\r\n[Info8] h\r\n[Info9] i\r\n[Info10] j"));
  EXPECT_EQ(platform::GetLastErrorCode(), kCodeWithoutText);
}

TEST_F(ErrorListTest, ReportWithInfoStopsAtFirstEmptyText) {
  platform::SetLastErrorCode(kCodeWithoutText);
  support::ErrorList::ErrorReportWithInfo(L"src", L"first", std::wstring(L"second"), L"", L"never");
  std::wstring detail = support::ErrorList::GetEntry(0).mDetail;
  EXPECT_EQ(detail.substr(detail.find(L"[Source]")), L"[Source]\r\n  src\r\n[Info1] first\r\n[Info2] second");
}

TEST(ErrorListMapping, EngineErrorsToMessageIds) {
  const std::pair<long, int> cases[] = {{30000, 1201}, {30001, 1202}, {30002, 1249}, {30003, 1204}, {30004, 1205},
                                        {30005, 1206}, {30006, 1207}, {30007, 1249}, {0, 1249},     {-1, 1249}};
  for (auto [engine, id] : cases) EXPECT_EQ(support::ErrorList::EngineErrorToMessageId(engine), id) << engine;
}

}  // namespace
