// Language codes, the engine entries built on them, and the option record an
// entry gives.
#include <gtest/gtest.h>

#include <tuple>

#include "src/engine/EngineEntry.h"
#include "src/engine/LangCode.h"
#include "src/engine/TranslationOptionUDTEngine.h"

using namespace engine;

namespace {

// Every known code with everything the engine list and the option set derive
// from it (charset, code page, locale id, sentence separator); a typo in one
// row of the table shows up here. Capital letters fold, ASCII ones only;
// unknown codes get the English defaults.
const std::tuple<const wchar_t*, std::int32_t, std::int32_t, std::uint32_t, const wchar_t*> kTable[] = {
    {L"ja", 128, 932, 1041, L""},         {L"ko", 129, 949, 1042, L" "},
    {L"zh", 134, 936, 2052, L""},         {L"zh-cn", 134, 936, 2052, L""},
    {L"zh-sg", 134, 936, 4100, L""},      {L"zh-hans", 134, 936, 2052, L""},
    {L"zh-hant", 136, 950, 1028, L""},    {L"zh-tw", 136, 950, 1028, L""},
    {L"zh-hk", 136, 950, 3076, L""},      {L"zh-mo", 136, 950, 5124, L""},
    {L"en", 0, 1252, 1033, L"  "},        {L"fr", 0, 1252, 1036, L"  "},
    {L"de", 0, 1252, 1031, L"  "},        {L"it", 0, 1252, 1040, L"  "},
    {L"pt", 0, 1252, 2070, L"  "},        {L"es", 0, 1252, 1034, L"  "},
    {L"ru", 204, 1251, 1049, L"  "},      {L"uk", 204, 1251, 1058, L"  "},
    {L"pl", 238, 1250, 1045, L"  "},      {L"ZH-TW", 136, 950, 1028, L""},
    {L"\u212Ao", 0, 1252, 1033, L"  "},   // KELVIN SIGN folds to "k" only under Unicode rules
    {L"pt-br", 0, 1252, 1033, L"  "},     {L"zh-", 0, 1252, 1033, L"  "},
    {L"", 0, 1252, 1033, L"  "},
};

TEST(LangCode, CodesMapToCharsetCodePageLcidAndSeparator) {
  for (const auto& [code, charset, codePage, lcid, separator] : kTable) {
    EXPECT_EQ(std::tuple(LangCharset(code), LangCodePage(code), LangLcid(code), SentenceSeparator(code)),
              std::tuple(charset, codePage, lcid, std::wstring(separator)))
        << "code " << code;
  }
}

TEST(LangCode, NormalizeFoldsChineseRegionsIntoScriptsAndLeavesTheRest) {
  // Plain "zh", the script codes and other languages stay as they are.
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"zh-cn", L"zh-hans"}, {L"zh-sg", L"zh-hans"}, {L"zh-tw", L"zh-hant"}, {L"zh-hk", L"zh-hant"},
      {L"zh-mo", L"zh-hant"}, {L"zh", L"zh"},           {L"zh-hans", L"zh-hans"}, {L"zh-Hant", L"zh-Hant"},
      {L"EN", L"EN"},         {L"ZH-TW", L"zh-hant"},   {L"", L""}};
  for (const auto& [code, normal] : cases) EXPECT_EQ(NormalizeLangCode(code), normal) << code;
}

EngineEntry Make(std::wstring group, std::wstring id, std::wstring from = L"", std::wstring to = L"") {
  EngineEntry e;
  e.SetEngineGroup(std::move(group));
  e.SetEngineID(std::move(id));
  e.SetFromLang(std::move(from));
  e.SetToLang(std::move(to));
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

// Each side follows its own code, unknown ones included, and copies do not
// share what they derived.
TEST(EngineEntryDerived, EachSideFollowsItsOwnCodeAndCopiesKeepTheirOwnValues) {
  EngineEntry a = Make(L"", L"", L"ja", L"zh-hant");
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
  // The display name and the two language names in it.
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
      {L"\u82F1\u8A9E - \u65E5\u672C\u8A9E", L"\u82F1\u8A9E", L"\u65E5\u672C\u8A9E"},
      {L"English\u2192Spanish", L"English", L"Spanish"},
      {L" English \u21D2 Spanish ", L"English", L"Spanish"},
      {L"A\u2192B - C", L"A\u2192B", L"C"},  // " - " is tried before the arrows even when an arrow comes first
      {L"Anglo-Saxon", L"", L""},            // a hyphen without blanks is no separator
      {L"", L"", L""},
  };
  EngineEntry e;
  // One entry for every case: the names follow each new display name.
  for (const auto& [display, from, to] : cases) {
    e.SetDisplayName(display);
    EXPECT_EQ(e.FromLangName() + L"|" + e.ToLangName(), std::wstring(from) + L"|" + to) << display;
  }
}

// The option set's and the switches' own fields are checked with the options;
// here that all three parts arrive and what the engine's languages give; no
// engine gives the empty record, no set an empty set part.
TEST(TranslationOptionUDTBuild, CarriesSetSwitchesAndTheEnginesLanguages) {
  options::TranslationOption set;
  set.SetDualPrint(1);
  EngineEntry entry = Make(L"Apertium", L"eng-spa", L"en", L"ja");
  const options::FacadeSwitches switches{1, 1, 0, 77};
  options::TranslationOptionUDT r = BuildTranslationOptionUDT(&set, &entry, switches, L"ja");
  // The engine, its languages, the sentence separator (Japanese sentences are
  // joined without blanks), the display language.
  EXPECT_EQ(r.EngineGroup + L":" + r.EngineID + L":" + r.FromLang + L"-" + r.ToLang + L"|" + r.SentenceSeparator + L"|" +
                r.DisplayLanguage,
            L"Apertium:eng-spa:en-ja||ja");
  // The set's dual print, the switches' progress target, the languages' charset and locales.
  EXPECT_EQ(std::tuple(r.DualPrint, r.ProgressTarget, r.ToCharset, r.FromLcid, r.ToLcid),
            std::tuple(1, 77, 128, 1033, 1041));
  EXPECT_EQ(BuildTranslationOptionUDT(&set, nullptr, switches, L"ja"), options::TranslationOptionUDT{});
  r = BuildTranslationOptionUDT(nullptr, &entry, switches, L"ja");
  EXPECT_EQ(std::tuple(r.FontANSI, r.ToLcid), std::tuple(std::wstring(), 1041));
}

}  // namespace
