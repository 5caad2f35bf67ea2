#include <gtest/gtest.h>

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

TEST(TranslationOptionUDTBuild, CarriesSetSwitchesAndTheEnginesLanguages) {
  TranslationOption set;
  set.SetDualPrint(1);
  set.SetTimeOutMSec(2500);
  FacadeSwitches switches{1, 1, 0, 77};
  engine::EngineEntry entry = Entry(L"en", L"ja");
  TranslationOptionUDT r = BuildTranslationOptionUDT(&set, &entry, switches, L"ja");
  EXPECT_EQ(r.TranslationRange, 0);
  EXPECT_EQ(r.DualPrint, 1);
  EXPECT_EQ(r.TimeOutMSec, 2500);
  EXPECT_EQ(r.DisplaysProgressBar, 1);
  EXPECT_EQ(r.DisplaysDocument, 0);
  EXPECT_EQ(r.ProgressTarget, 77);
  EXPECT_EQ(r.EngineGroup, L"Apertium");
  EXPECT_EQ(r.EngineID, L"eng-spa");
  EXPECT_EQ(r.FromLang, L"en");
  EXPECT_EQ(r.ToLang, L"ja");
  EXPECT_EQ(r.FromCharset, 0);
  EXPECT_EQ(r.ToCharset, 128);
  EXPECT_EQ(r.FromLcid, 1033);
  EXPECT_EQ(r.ToLcid, 1041);
  EXPECT_EQ(r.SentenceSeparator, L"") << "Japanese sentences are joined without blanks";
  EXPECT_EQ(r.DisplayLanguage, L"ja");
}

TEST(TranslationOptionUDTBuild, NoEngineGivesTheEmptyRecord) {
  TranslationOption set;
  FacadeSwitches switches{1, 1, 1, 5};
  EXPECT_EQ(BuildTranslationOptionUDT(&set, nullptr, switches, L"ja"), TranslationOptionUDT{});
  engine::EngineEntry entry = Entry(L"en", L"es");
  TranslationOptionUDT r = BuildTranslationOptionUDT(nullptr, &entry, switches, L"ja");
  EXPECT_EQ(r.OutputDestType, 0) << "no option set: its part stays empty";
  EXPECT_EQ(r.FontANSI, L"");
  EXPECT_EQ(r.ToLcid, 1034);
}
