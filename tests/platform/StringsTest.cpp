#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <tuple>

#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

using namespace platform;

TEST(Strings, Utf8RoundTripKeepsEveryPlaneAndReplacesWhatIsBroken) {
  std::wstring text = L"A\u00e9\u65e5\u672c";
  text += FromUtf8("\xF0\x9F\x98\x80");  // outside the basic plane
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(text), "A\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80");
  // Broken UTF-8 becomes replacement characters, not loss.
  EXPECT_EQ(FromUtf8("a\xC3"), std::wstring(L"a\uFFFD"));
  EXPECT_EQ(FromUtf8("\xE6\x97z"), std::wstring(L"\uFFFD\uFFFDz"));
  EXPECT_EQ(FromUtf8("\xC0\xAF"), std::wstring(L"\uFFFD"));  // overlong slash
}

// Library and system errors carry UTF-8 in what(); a host error says its
// own description, and its code when it has none.
TEST(Strings, ExceptionTextDecodesWhatAndPrefersTheHostsDescription) {
  EXPECT_EQ(ExceptionText(std::runtime_error("caf\xC3\xA9 \xE6\x97\xA5")), L"caf\u00e9 \u65e5");
  EXPECT_EQ(ExceptionText(ComError(E_FAIL, L"na\u00efve")), L"na\u00efve");
  EXPECT_EQ(ExceptionText(ComError(E_FAIL)), L"HRESULT 0x80004005");
}

TEST(Strings, Utf16LeSurrogatesAndOddLength) {
  std::string bytes(
      "\x3D\xD8\x00\xDE"
      "A\x00",
      6);  // U+1F600, 'A'
  std::wstring w = FromUtf16Le(bytes);
  EXPECT_EQ(ToUtf8(w),
            "\xF0\x9F\x98\x80"
            "A");
  EXPECT_EQ(ToUtf16Le(w), bytes);
  EXPECT_EQ(FromUtf16Le(std::string("A\x00\x41", 3)), std::wstring(L"A\uFFFD"));
}

TEST(Strings, CaseInsensitiveNamesFoldAsciiOnly) {
  EXPECT_TRUE(EqualsNoCase(L"Software\\Talvoren", L"SOFTWARE\\talvoren"));
  EXPECT_FALSE(EqualsNoCase(L"\u00c9", L"\u00e9"));
  EXPECT_EQ(AsciiLower(L"RegV1\\PowerPoint"), L"regv1\\powerpoint");
}

TEST(Strings, CharacterClassesIgnoreTheProcessLocale) {
  // The program often runs under the "C" locale; letters outside ASCII must
  // still be letters there.
  const char* old = setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  setlocale(LC_ALL, "C");
  // Letter or digit, white space, punctuation.
  const std::tuple<wchar_t, bool, bool, bool> cases[] = {
      {L'\u00f1', true, false, false}, {L'\u65e5', true, false, false}, {L'7', true, false, false},
      {L'.', false, false, true},      {L' ', false, true, false},      {L'\u3000', false, true, false},
      {L'\t', false, true, false},     {L'\u00bf', false, false, true}, {L'\u3002', false, false, true},
      {L'\u00e9', true, false, false}};
  for (auto [c, alnum, space, punct] : cases) {
    EXPECT_EQ(IsAlphaNumeric(c), alnum) << static_cast<int>(c);
    EXPECT_EQ(IsWhiteSpace(c), space) << static_cast<int>(c);
    EXPECT_EQ(IsPunctuation(c), punct) << static_cast<int>(c);
  }
  setlocale(LC_ALL, saved.c_str());
}
