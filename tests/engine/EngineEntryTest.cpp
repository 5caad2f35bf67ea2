#include <gtest/gtest.h>

#include "src/engine/EngineEntry.h"

using engine::EngineEntry;

namespace {

EngineEntry Make(std::wstring group, std::wstring id) {
  EngineEntry e;
  e.SetEngineGroup(std::move(group));
  e.SetEngineID(std::move(id));
  return e;
}

TEST(EngineEntryKey, FormsOnceGroupAndIdAreBothKnownAndThenKeepsIt) {
  EngineEntry e = Make(L"", L"eng-spa");
  EXPECT_EQ(e.EngineKey(), L"");
  e.SetEngineGroup(L"apertium");
  EXPECT_EQ(e.EngineKey(), L"apertium:eng-spa");
  EXPECT_EQ(Make(L"fake", L"").EngineKey(), L"");
  // The cache indexes entries by the key; a later change of a part must not
  // move the entry under another key.
  e.SetEngineID(L"spa-eng");
  EXPECT_EQ(e.EngineKey(), L"apertium:eng-spa");
}

// The code tables themselves are checked with the language codes; here only
// that each side follows its own code, unknown ones included, and that copies
// do not share what they derived.
TEST(EngineEntryDerived, EachSideFollowsItsOwnCodeAndCopiesKeepTheirOwnValues) {
  EngineEntry a;
  a.SetFromLang(L"ja");
  a.SetToLang(L"zh-hant");
  EngineEntry b = a;
  b.SetFromLang(L"pt-br");
  b.SetToLang(L"ru");
  EXPECT_EQ(a.FromCodePage(), 932);
  EXPECT_EQ(a.ToCharset(), 136);
  EXPECT_EQ(a.ToLcid(), 1028);
  EXPECT_EQ(b.FromCodePage(), 1252);
  EXPECT_EQ(b.FromLcid(), 1033);
  EXPECT_EQ(b.ToCharset(), 204);
  // A language changed after a read is followed, not the first one read.
  a.SetFromLang(L"ru");
  EXPECT_EQ(a.FromCharset(), 204);
  EXPECT_EQ(a.FromCodePage(), 1251);
}

struct NameCase {
  const wchar_t* display;
  const wchar_t* from;
  const wchar_t* to;
};

class EngineEntryNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(EngineEntryNames, SplitsDisplayNameAtTheFirstKnownSeparator) {
  EngineEntry e;
  e.SetDisplayName(GetParam().display);
  EXPECT_EQ(e.FromLangName(), GetParam().from);
  EXPECT_EQ(e.ToLangName(), GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(
    Separators, EngineEntryNames,
    ::testing::Values(NameCase{L"\u82F1\u8A9E - \u65E5\u672C\u8A9E", L"\u82F1\u8A9E", L"\u65E5\u672C\u8A9E"},
                      NameCase{L"English\u2192Spanish", L"English", L"Spanish"},
                      NameCase{L" English \u21D2 Spanish ", L"English", L"Spanish"},
                      // " - " is tried before the arrows even when an arrow comes first.
                      NameCase{L"A\u2192B - C", L"A\u2192B", L"C"},
                      // A hyphen without blanks is no separator.
                      NameCase{L"Anglo-Saxon", L"", L""},
                      NameCase{L"", L"", L""}));

TEST(EngineEntryNamesRetry, NamesFormOnceADisplayNameArrives) {
  EngineEntry e;
  EXPECT_EQ(e.FromLangName(), L"");
  e.SetDisplayName(L"English - Spanish");
  EXPECT_EQ(e.FromLangName(), L"English");
  EXPECT_EQ(e.ToLangName(), L"Spanish");
  e.SetDisplayName(L"English - French");
  EXPECT_EQ(e.ToLangName(), L"French");
}

}  // namespace
