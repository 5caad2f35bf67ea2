#include <gtest/gtest.h>

#include <tuple>

#include "src/engine/EngineEntry.h"
#include "src/engine/TranslationOptionUDTEngine.h"

using namespace options;
using engine::BuildTranslationOptionUDT;

namespace {
engine::EngineEntry Entry(const std::wstring& from, const std::wstring& to) {
  engine::EngineEntry e;
  e.SetEngineGroup(L"Apertium");
  e.SetEngineID(L"eng-spa");
  e.SetFromLang(from);
  e.SetToLang(to);
  return e;
}
}  // namespace

// The option set's and the switches' own fields are checked with the options;
// here that all three parts arrive and what the engine's languages give; no
// engine gives the empty record, no set an empty set part.
TEST(TranslationOptionUDTBuild, CarriesSetSwitchesAndTheEnginesLanguages) {
  TranslationOption set;
  set.SetDualPrint(1);
  engine::EngineEntry entry = Entry(L"en", L"ja");
  const FacadeSwitches switches{1, 1, 0, 77};
  TranslationOptionUDT r = BuildTranslationOptionUDT(&set, &entry, switches, L"ja");
  EXPECT_EQ(r.EngineGroup + L":" + r.EngineID + L":" + r.FromLang + L"-" + r.ToLang, L"Apertium:eng-spa:en-ja");
  // The set's dual print, the switches' progress target, the languages' charset and locales.
  EXPECT_EQ(std::tuple(r.DualPrint, r.ProgressTarget, r.ToCharset, r.FromLcid, r.ToLcid),
            std::tuple(1, 77, 128, 1033, 1041));
  EXPECT_EQ(r.SentenceSeparator, L"") << "Japanese sentences are joined without blanks";
  EXPECT_EQ(r.DisplayLanguage, L"ja");
  EXPECT_EQ(BuildTranslationOptionUDT(&set, nullptr, switches, L"ja"), TranslationOptionUDT{});
  r = BuildTranslationOptionUDT(nullptr, &entry, switches, L"ja");
  EXPECT_EQ(std::tuple(r.FontANSI, r.ToLcid), std::tuple(std::wstring(), 1041));
}
