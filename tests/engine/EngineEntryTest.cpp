#include <gtest/gtest.h>

#include <tuple>

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
  EXPECT_EQ(std::tuple(a.FromCodePage(), a.ToCharset(), a.ToLcid()), std::tuple(932, 136, 1028));
  EXPECT_EQ(std::tuple(b.FromCodePage(), b.FromLcid(), b.ToCharset()), std::tuple(1252, 1033, 204));
  // A language changed after a read is followed, not the first one read.
  a.SetFromLang(L"ru");
  EXPECT_EQ(std::tuple(a.FromCharset(), a.FromCodePage()), std::tuple(204, 1251));
}

TEST(EngineEntryNames, SplitDisplayNameAtTheFirstKnownSeparatorOnceItArrives) {
  const struct {
    const wchar_t* display;
    const wchar_t* from;
    const wchar_t* to;
  } cases[] = {{L"\u82F1\u8A9E - \u65E5\u672C\u8A9E", L"\u82F1\u8A9E", L"\u65E5\u672C\u8A9E"},
               {L"English\u2192Spanish", L"English", L"Spanish"},
               {L" English \u21D2 Spanish ", L"English", L"Spanish"},
               {L"A\u2192B - C", L"A\u2192B", L"C"},  // " - " is tried before the arrows even when an arrow comes first
               {L"Anglo-Saxon", L"", L""},             // a hyphen without blanks is no separator
               {L"", L"", L""}};
  EngineEntry e;
  EXPECT_EQ(e.FromLangName(), L"");
  // One entry for every case: the names follow each new display name.
  for (const auto& c : cases) {
    e.SetDisplayName(c.display);
    EXPECT_EQ(e.FromLangName(), c.from) << c.display;
    EXPECT_EQ(e.ToLangName(), c.to) << c.display;
  }
}

}  // namespace
