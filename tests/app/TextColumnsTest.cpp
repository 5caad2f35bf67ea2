#include <gtest/gtest.h>

#include "apps/pelorant/TextColumns.h"

namespace {

TEST(TextColumns, WideCharactersTakeTwoAndAcceleratorsNone) {
  struct Case {
    const wchar_t* text;
    bool accelerators;
    std::size_t columns;
  } const cases[] = {
      {L"", false, 0},
      {L"Apertium", false, 8},
      {L"\x65E5\x672C\x8A9E", false, 6},            // CJK ideographs
      {L"\x1100\x115F\x1160", false, 5},            // Hangul leading jamo wide, vowel jamo narrow
      {L"\xAC00\xD7A3\xD7A4", false, 5},            // Hangul syllables up to their last
      {L"\x2E7F\x2E80\xA4CF\xA4D0", false, 6},      // the CJK block's edges
      {L"\xF900\xFAFF\xFB00", false, 5},            // compatibility ideographs
      {L"\xFE2F\xFE30\xFE4F\xFE50", false, 6},      // vertical forms
      {L"\xFF01\xFF60\xFF61\xFFE0\xFFE6\xFFE7", false, 10},  // full-width forms, half-width katakana narrow
      {L"\U00020000\U0003FFFD\U0003FFFE", false, 5},  // supplementary ideographs
      {L"&Save", false, 5},
      {L"&Save", true, 4},
      {L"\x4FDD\x5B58(&S)", true, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::TextColumns(c.text, c.accelerators), c.columns) << testing::PrintToString(std::wstring(c.text));
  }
}

}  // namespace
