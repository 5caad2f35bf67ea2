#include <gtest/gtest.h>

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

// The thousands digit of the id chooses the icon; the text is the heading
// alone, or heading, blank line and detail; entries are kept in order, as
// copies.
TEST_F(ErrorListTest, EntriesTakeIconAndTextFromTheirId) {
  struct Case { int id; const wchar_t* detail; int icon; };
  const Case cases[] = {{1301, L"", MB_ICONERROR},  {2001, L"why", MB_ICONEXCLAMATION}, {3001, L"", MB_ICONINFORMATION},
                        {4002, L"", 0},             {9001, L"", 0},                     {203, L"", 0},
                        {1999, L"only the detail", MB_ICONERROR}};  // 1999: an id without text
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    support::ErrorEntry e = support::ErrorList::Add(c.id, c.detail);
    EXPECT_EQ(e.mMessageId, c.id);
    EXPECT_EQ(e.mIcon, c.icon);
    EXPECT_EQ(e.mHeading, support::LoadText(c.id));
    EXPECT_EQ(e.mHeading.empty(), c.id == 1999);
    EXPECT_EQ(e.mDetail, c.detail);
    EXPECT_EQ(e.mFullText, *c.detail ? e.mHeading + L"\r\n\r\n" + c.detail : e.mHeading);
  }
  auto entries = support::ErrorList::GetEntries();
  ASSERT_EQ(entries.size(), std::size(cases));
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].mMessageId, cases[i].id);
  EXPECT_EQ(support::ErrorList::GetEntry(1).mFullText, support::LoadText(2001) + L"\r\n\r\nwhy");
  EXPECT_EQ(support::ErrorList::GetEntry(-1).mMessageId, 0);
  // Past the end, also where an entry stood before the list was cleared.
  support::ErrorList::Clear();
  support::ErrorList::Add(1301);
  EXPECT_EQ(support::ErrorList::GetEntry(1).mMessageId, 0);
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

// Without display nothing is shown; with it each entry is shown at once with
// its icon: a failing command's message, then one report.
TEST_F(ErrorListTest, DisplayShowsAFailingCommandsMessageThenOneReport) {
  support::ErrorList::Add(1301);
  EXPECT_TRUE(mBoxes.requests.empty());
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
  EXPECT_EQ(mBoxes.requests[0].style, MB_ICONERROR | kTopmost);
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

// The report names the code (signed), the system's text of it or "(null)",
// the source, and under message 3001 up to ten texts up to the first empty
// one; it leaves the code in place.
TEST_F(ErrorListTest, ErrorReportNamesNumberSystemTextSourceAndInfo) {
  const std::wstring systemText = platform::SystemErrorText(2);
  ASSERT_FALSE(systemText.empty());
  const std::wstring failText = platform::SystemErrorText(0x80004005u);
  const std::wstring failMessage = failText.empty() ? L"(null)" : failText;
  const std::wstring null = L"\r\n[Message]\r\n  (null)\r\n[Source]\r\n  src";
  struct Case { DWORD code; std::vector<std::wstring> info; std::wstring detail; };
  const Case cases[] = {
      {2, {}, L"[Number]\r\n  2\r\n[Message]\r\n  " + systemText + L"\r\n[Source]\r\n  src"},
      {0x80004005u, {}, L"[Number]\r\n  -2147467259\r\n[Message]\r\n  " + failMessage + L"\r\n[Source]\r\n  src"},
      {kCodeWithoutText, {}, L"[Number]\r\n  536870911" + null},
      {kCodeWithoutText, {L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i", L"j", L"k", L"l"},
       L"[Number]\r\n  536870911" + null + L"\r\n[Info1] a\r\n[Info2] b\r\n[Info3] c\r\n[Info4] d\r\n[Info5] e"
           L"\r\n[Info6] f\r\n[Info7] g\r\n[Info8] h\r\n[Info9] i\r\n[Info10] j"},
      {kCodeWithoutText, {L"first", L"second", L"", L"never"},
       L"[Number]\r\n  536870911" + null + L"\r\n[Info1] first\r\n[Info2] second"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.code << " " << c.info.size());
    support::ErrorList::Clear();
    platform::SetLastErrorCode(c.code);
    if (c.info.empty()) {
      support::ErrorList::ErrorReport(L"src");
    } else {
      support::ErrorList::ErrorReportWithInfo(L"src", c.info);
    }
    ASSERT_EQ(support::ErrorList::GetCount(), 1);
    support::ErrorEntry entry = support::ErrorList::GetEntry(0);
    const int id = c.info.empty() ? 1001 : 3001;
    EXPECT_EQ(entry.mMessageId, id);
    EXPECT_EQ(entry.mIcon, c.info.empty() ? MB_ICONERROR : MB_ICONINFORMATION);
    EXPECT_EQ(entry.mDetail, kRule + c.detail) << platform::ToUtf8(entry.mDetail);
    EXPECT_EQ(entry.mFullText, support::LoadText(id) + L"\r\n\r\n" + entry.mDetail);
    EXPECT_EQ(platform::GetLastErrorCode(), c.code);
  }
}

TEST(ErrorListMapping, EngineErrorsToMessageIds) {
  const std::pair<long, int> cases[] = {{30000, 1201}, {30001, 1202}, {30002, 1249}, {30003, 1204}, {30004, 1205},
                                        {30005, 1206}, {30006, 1207}, {30007, 1249}, {0, 1249},     {-1, 1249}};
  for (auto [engine, id] : cases) EXPECT_EQ(support::ErrorList::EngineErrorToMessageId(engine), id) << engine;
}

}  // namespace
