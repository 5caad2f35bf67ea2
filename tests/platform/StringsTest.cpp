#include <gtest/gtest.h>

#include "platform/Strings.h"

using namespace platform;

TEST(Strings, Utf8RoundTripKeepsEveryPlane) {
  std::wstring text = L"A\u00e9\u65e5\u672c";
  text += FromUtf8("\xF0\x9F\x98\x80");  // outside the basic plane
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(text), "A\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80");
}

TEST(Strings, BrokenUtf8BecomesReplacementNotLoss) {
  EXPECT_EQ(FromUtf8("a\xC3"), std::wstring(L"a\uFFFD"));
  EXPECT_EQ(FromUtf8("\xE6\x97z"), std::wstring(L"\uFFFD\uFFFDz"));
  EXPECT_EQ(FromUtf8("\xC0\xAF"), std::wstring(L"\uFFFD"));  // overlong slash
}

TEST(Strings, Utf16LeSurrogatesAndOddLength) {
  std::string bytes("\x3D\xD8\x00\xDE" "A\x00", 6);  // U+1F600, 'A'
  std::wstring w = FromUtf16Le(bytes);
  EXPECT_EQ(ToUtf8(w), "\xF0\x9F\x98\x80" "A");
  EXPECT_EQ(ToUtf16Le(w), bytes);
  EXPECT_EQ(FromUtf16Le(std::string("A\x00\x41", 3)), std::wstring(L"A\uFFFD"));
}

TEST(Strings, CaseInsensitiveNamesFoldAsciiOnly) {
  EXPECT_TRUE(EqualsNoCase(L"Software\\Talvoren", L"SOFTWARE\\talvoren"));
  EXPECT_FALSE(EqualsNoCase(L"\u00c9", L"\u00e9"));
  EXPECT_EQ(AsciiLower(L"RegV1\\PowerPoint"), L"regv1\\powerpoint");
}
