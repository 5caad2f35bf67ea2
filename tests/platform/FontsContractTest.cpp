#include <gtest/gtest.h>

#include <algorithm>

#include "src/platform/Fonts.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

using namespace platform;

namespace {

constexpr int kCharsets[] = {0, 128, 129, 134, 136, 204, 238};

std::wstring AsciiUpper(std::wstring s) {
  for (auto& c : s) {
    if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
  }
  return s;
}

}  // namespace

// Each list is sorted, unique, and every font in it counts as installed for
// its character set only; unknown names never do; names compare without case.
TEST(FontsContract, ListsAreSortedUniqueAndHoldOnlyInstalledFonts) {
  FontCatalog& fonts = SystemFontCatalog();
  for (int charset : kCharsets) {
    SCOPED_TRACE(charset);
    std::vector<std::wstring> list = fonts.InstalledFonts(charset);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
    for (const auto& name : list) EXPECT_TRUE(fonts.IsInstalled(name, charset)) << ToUtf8(name);
    EXPECT_FALSE(fonts.IsInstalled(L"Pelorant Missing Face 42", charset));
    EXPECT_FALSE(fonts.IsInstalled(L"", charset));
  }
  std::vector<std::wstring> western = fonts.InstalledFonts(0);
  ASSERT_FALSE(western.empty()) << "every system has a TrueType font for Western text";
  EXPECT_TRUE(fonts.IsInstalled(AsciiUpper(western.front()), 0));
  // A Western-only font does not count for Japanese.
  std::vector<std::wstring> japanese = fonts.InstalledFonts(128);
  auto outside = std::find_if(western.begin(), western.end(), [&](const std::wstring& name) {
    return std::find(japanese.begin(), japanese.end(), name) == japanese.end();
  });
  if (outside != western.end()) {
    EXPECT_FALSE(fonts.IsInstalled(*outside, 128)) << ToUtf8(*outside);
  }
}

TEST(FontsStandIn, MetricCompatibleFamiliesCountAsInstalled) {
  if (PathSeparator() != L'/') GTEST_SKIP() << "fontconfig aliases are the Linux stand-in's";
  FontCatalog& fonts = SystemFontCatalog();
  std::vector<std::wstring> western = fonts.InstalledFonts(0);
  if (std::find(western.begin(), western.end(), L"Liberation Sans") == western.end())
    GTEST_SKIP() << "Liberation Sans is not installed";
  EXPECT_TRUE(fonts.IsInstalled(L"Arial", 0));
  EXPECT_FALSE(fonts.IsInstalled(L"Arial", 128)) << "Liberation Sans has no Japanese";
}
