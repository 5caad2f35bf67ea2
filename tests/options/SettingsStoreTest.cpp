#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "tests/options/FakeFonts.h"
#include "src/options/RegistrySettings.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "tests/platform/TestSupport.h"
#include "tests/common/Bytes.h"

using namespace options;
using platform::Hive;
using platform::RegKey;
using platform::RegValue;

namespace {

// Each test gets its own stand-in registry folder (posix) and its own key
// (so that the Windows run under Wine does not meet earlier runs' values).
class SettingsStore : public ::testing::Test {
 protected:
  SettingsStore()
      : mEnv(L"PELORANT_REGISTRY", mDir.wpath()),
        mRoot(L"Software\\PelorantTest\\Options" + std::to_wstring(Counter()++)),
        mHostKey(mRoot + L"\\RegV1\\PowerPoint"),
        mFonts(optionstest::DefaultFontsInstalled()) {}
  ~SettingsStore() override {
    platform::DeleteKeyTree(Hive::CurrentUser, mRoot);
    platform::DeleteKeyTree(Hive::LocalMachine, mRoot);
  }

  static std::atomic<int>& Counter() {
    static std::atomic<int> n{0};
    return n;
  }

  void Put(Hive hive, const std::wstring& sub, const std::wstring& name, const RegValue& value) {
    RegKey key;
    ASSERT_EQ(RegKey::Create(hive, sub.empty() ? mHostKey : mHostKey + L"\\" + sub, &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetValue(name, value), ERROR_SUCCESS);
  }
  void PutText(Hive hive, const std::wstring& sub, const std::wstring& name, const std::wstring& text) {
    Put(hive, sub, name, RegValue::String(text));
  }
  std::wstring Get(Hive hive, const std::wstring& sub, const std::wstring& name) {
    RegKey key;
    if (RegKey::Open(hive, sub.empty() ? mHostKey : mHostKey + L"\\" + sub, false, &key) != ERROR_SUCCESS)
      return L"<no key>";
    RegValue v;
    if (key.QueryValue(name, &v) != ERROR_SUCCESS) return L"<absent>";
    return v.text;
  }
  std::vector<std::wstring> Subkeys(Hive hive) {
    RegKey key;
    std::vector<std::wstring> names;
    if (RegKey::Open(hive, mHostKey, false, &key) == ERROR_SUCCESS) key.EnumSubkeys(&names);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::unique_ptr<TranslationOptions> Fresh() { return std::make_unique<TranslationOptions>(mHostKey); }

  testsupport::TempDir mDir;
  platformtest::ScopedEnv mEnv;
  std::wstring mRoot;
  std::wstring mHostKey;
  optionstest::FakeFonts mFonts;
};

}  // namespace

TEST_F(SettingsStore, MissingKeyGivesOneSelectedDefault) {
  auto opts = Fresh();
  opts->Add(L"left over");
  ASSERT_TRUE(opts->Load(false));
  ASSERT_EQ(opts->Count(), 1u);
  EXPECT_EQ(opts->At(0), [] {
    TranslationOption d;
    d.SetName(L"default");
    return d;
  }());
  EXPECT_EQ(opts->SelectedName(), L"default");
}

TEST_F(SettingsStore, SaveThenLoadKeepsSetsSelectionAndHiddenValues) {
  auto opts = Fresh();
  opts->Reset();
  opts->Find(L"default")->SetWindowAlign(2);
  TranslationOption* b = opts->Add(L"Bilingual");
  b->SetDualPrint(1);
  b->SetTimeOutMSec(1000);
  b->SetTranPrefix(L"[");
  b->SetGlossary(L"C:\\Terms\\\x7528\x8A9E.txt");
  TranslationOption* j = opts->Add(L"\x65E5\x672C\x8A9E \x00DC");  // a name outside any one ANSI page
  j->SetTranSuffix(std::wstring(3000, L'\x3042'));                // longer than any fixed buffer
  opts->Select(L"Bilingual");
  ASSERT_TRUE(opts->Save(true)) << std::string(opts->LastFailure().begin(), opts->LastFailure().end());

  EXPECT_EQ(Get(Hive::CurrentUser, L"", L"TranslationOption.Count"), L"3");
  EXPECT_EQ(Get(Hive::CurrentUser, L"", L"TranslationOption.Selected"), L"Bilingual");
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption02", L"Name"), L"Bilingual");
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption02", L"DualPrint"), L"True");
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption02", L"_TimeOutMSec"), L"1000");
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption01", L"_TranPrefix"), L"<absent>")
      << "an empty value is not stored";
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption01", L"Glossary"), L"<absent>")
      << "a set without a glossary stores what programs without glossaries store";
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption02", L"Glossary"), L"C:\\Terms\\\x7528\x8A9E.txt");

  auto loaded = Fresh();
  ASSERT_TRUE(loaded->Load(false));
  ASSERT_EQ(loaded->Count(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(loaded->At(i), opts->At(i)) << "set " << i;
  EXPECT_EQ(loaded->SelectedName(), L"Bilingual");
}

TEST_F(SettingsStore, SaveWithoutHiddenKeepsEachSetsStoredHiddenValues) {
  auto opts = Fresh();
  opts->Reset();
  opts->Find(L"default")->SetTimeOutMSec(5000);
  opts->Add(L"gone");
  opts->Add(L"Other")->SetTranPrefix(L"[");
  ASSERT_TRUE(opts->Save(true));

  // Removing a set moves the later ones to other subkeys; a new set takes
  // the subkey that held another set's hidden values.
  auto edited = Fresh();
  ASSERT_TRUE(edited->Load(false));
  edited->Remove(L"gone");
  edited->Find(L"Other")->SetTimeOutMSec(7);  // not shown, so not saved
  edited->Find(L"Other")->SetDualPrint(1);
  edited->Add(L"New");
  ASSERT_TRUE(edited->Save(false));

  auto loaded = Fresh();
  ASSERT_TRUE(loaded->Load(false));
  ASSERT_EQ(loaded->OptionNames(), (std::vector<std::wstring>{L"default", L"Other", L"New"}));
  EXPECT_EQ(loaded->At(0).TimeOutMSec(), 5000);
  EXPECT_EQ(loaded->At(1).TranPrefix(), L"[");
  EXPECT_EQ(loaded->At(1).TimeOutMSec(), -1);
  EXPECT_EQ(loaded->At(1).DualPrint(), 1);
  EXPECT_EQ(loaded->At(2).TranPrefix(), L"");
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption03", L"_TranPrefix"), L"<absent>");
}

TEST_F(SettingsStore, SavingFewerSetsLeavesNoStaleSubkeysAndKeepsOtherSettings) {
  auto opts = Fresh();
  opts->Reset();
  opts->Add(L"a");
  opts->Add(L"b");
  ASSERT_TRUE(opts->Save(false));
  PutText(Hive::CurrentUser, L"", L"Menu.ToolbarTop", L"42");
  PutText(Hive::CurrentUser, L"LookupHistory", L"MaxCount", L"10");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"Stray", L"x");
  EXPECT_EQ(Subkeys(Hive::CurrentUser),
            (std::vector<std::wstring>{L"LookupHistory", L"TranslationOption01", L"TranslationOption02",
                                       L"TranslationOption03"}));

  opts->Remove(L"a");
  ASSERT_TRUE(opts->Save(false));
  EXPECT_EQ(Subkeys(Hive::CurrentUser),
            (std::vector<std::wstring>{L"LookupHistory", L"TranslationOption01", L"TranslationOption02"}));
  EXPECT_EQ(Get(Hive::CurrentUser, L"", L"TranslationOption.Count"), L"2");
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption02", L"Name"), L"b");
  EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption01", L"Stray"), L"<absent>")
      << "a set's subkey holds only what the set wrote";
  EXPECT_EQ(Get(Hive::CurrentUser, L"", L"Menu.ToolbarTop"), L"42");
  EXPECT_EQ(Get(Hive::CurrentUser, L"LookupHistory", L"MaxCount"), L"10");
}

TEST_F(SettingsStore, StoredCountDecidesAndMissingSubkeysAreSkipped) {
  PutText(Hive::CurrentUser, L"", L"TranslationOption.Count", L"3");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"Name", L"one");
  PutText(Hive::CurrentUser, L"TranslationOption03", L"Name", L"three");
  PutText(Hive::CurrentUser, L"TranslationOption19", L"Name", L"beyond the count");
  PutText(Hive::CurrentUser, L"", L"TranslationOption.Selected", L"beyond the count");
  auto opts = Fresh();
  ASSERT_TRUE(opts->Load(false));
  EXPECT_EQ(opts->OptionNames(), (std::vector<std::wstring>{L"default", L"one", L"three"}));
  EXPECT_EQ(opts->SelectedName(), L"default") << "an unknown selected name leaves the default selected";

  // An absurd count still loads what is there.
  PutText(Hive::CurrentUser, L"", L"TranslationOption.Count", L"0x7FFFFFFF");
  ASSERT_TRUE(opts->Load(false));
  EXPECT_EQ(opts->OptionNames(), (std::vector<std::wstring>{L"default", L"one", L"three", L"beyond the count"}));
}

// The switches of the texts a run translates besides the slides' own: a set
// stored or an option file written before they existed reads them on, and
// each one switched off survives the registry and an option file alone.
TEST_F(SettingsStore, PartSwitchesReadOnWhenAbsentAndEachRoundTripsOff) {
  struct Part {
    const wchar_t* name;
    std::int32_t (TranslationOption::*get)() const;
    void (TranslationOption::*set)(std::int32_t);
  };
  const Part parts[] = {
      {L"TranslatesCharts", &TranslationOption::TranslatesCharts, &TranslationOption::SetTranslatesCharts},
      {L"TranslatesAltText", &TranslationOption::TranslatesAltText, &TranslationOption::SetTranslatesAltText},
      {L"TranslatesLinkTips", &TranslationOption::TranslatesLinkTips, &TranslationOption::SetTranslatesLinkTips},
      {L"TranslatesMasters", &TranslationOption::TranslatesMasters, &TranslationOption::SetTranslatesMasters},
  };
  const std::wstring file = (mDir.path() / "set.ini").wstring();
  PutText(Hive::CurrentUser, L"", L"TranslationOption.Count", L"1");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"Name", L"Old");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"DualPrint", L"True");
  testsupport::WriteBytes(file, "[TranslationOption]\r\nName=\"Old\"\r\nDualPrint=\"True\"\r\n");
  auto old = Fresh();
  ASSERT_TRUE(old->Load(false));
  ASSERT_TRUE(old->Import(L"FromFile", file));
  for (const Part& p : parts) {
    SCOPED_TRACE(platform::ToUtf8(p.name));
    EXPECT_EQ((old->Find(L"Old")->*p.get)(), 1);
    EXPECT_EQ((old->Find(L"FromFile")->*p.get)(), 1);
  }

  for (const Part& off : parts) {
    SCOPED_TRACE(platform::ToUtf8(off.name));
    auto opts = Fresh();
    opts->Reset();
    (opts->Add(L"Off")->*off.set)(0);
    ASSERT_TRUE(opts->Save(false));
    EXPECT_EQ(Get(Hive::CurrentUser, L"TranslationOption02", off.name), L"False");
    ASSERT_TRUE(opts->Export(L"Off", file));
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->Load(false));
    ASSERT_TRUE(loaded->Import(L"Imported", file));
    for (const Part& p : parts) {
      EXPECT_EQ((loaded->Find(L"Off")->*p.get)(), p.name == off.name ? 0 : 1) << platform::ToUtf8(p.name);
      EXPECT_EQ((loaded->Find(L"Imported")->*p.get)(), p.name == off.name ? 0 : 1) << platform::ToUtf8(p.name);
    }
  }
}

TEST_F(SettingsStore, EmptyNamesFoldIntoDefaultTheLaterWinning) {
  PutText(Hive::CurrentUser, L"", L"TranslationOption.Count", L"2");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"Name", L"");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"WindowAlign", L"2");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"DualPrint", L"True");
  PutText(Hive::CurrentUser, L"TranslationOption02", L"WindowAlign", L"0");
  auto opts = Fresh();
  ASSERT_TRUE(opts->Load(false));
  ASSERT_EQ(opts->Count(), 1u);
  EXPECT_EQ(opts->At(0).Name(), L"default");
  EXPECT_EQ(opts->At(0).WindowAlign(), 0);
  EXPECT_EQ(opts->At(0).DualPrint(), 0) << "the later subkey's missing value is the default";
}

TEST_F(SettingsStore, ValueTypesReadAsTextOrCountAsAbsent) {
  PutText(Hive::CurrentUser, L"", L"TranslationOption.Count", L"1");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"Name", L"typed");
  Put(Hive::CurrentUser, L"TranslationOption01", L"OrigFontColorValue", RegValue::Dword(5));
  Put(Hive::CurrentUser, L"TranslationOption01", L"_TimeOutMSec", RegValue::Dword(0xFFFFFFFFu));
  Put(Hive::CurrentUser, L"TranslationOption01", L"TranFontColorValue", RegValue::Bytes({1, 2, 3, 4}));
  Put(Hive::CurrentUser, L"TranslationOption01", L"FontANSI", RegValue::Expand(L"Arial"));
  Put(Hive::CurrentUser, L"TranslationOption01", L"_TranPrefix", RegValue::Multi({L"first", L"second"}));
  auto opts = Fresh();
  ASSERT_TRUE(opts->Load(false));
  const TranslationOption* set = opts->Find(L"typed");
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->OrigFontColorValue(), 5);
  EXPECT_EQ(set->TimeOutMSec(), -1);
  EXPECT_EQ(set->TranFontColorValue(), 128) << "a binary value counts as absent";
  EXPECT_EQ(set->TranPrefix(), L"first");

  RegistrySettings reg(mHostKey);
  ASSERT_TRUE(reg.OpenRead(Hive::CurrentUser, L"TranslationOption01"));
  EXPECT_EQ(reg.QueryValue(L"OrigFontColorValue", L"d"), L"5");
  EXPECT_EQ(reg.QueryValue(L"TranFontColorValue", L"d"), L"d");
}

TEST_F(SettingsStore, MachineHiveIsTheFallbackAndMachineOnlyIgnoresTheUser) {
  PutText(Hive::LocalMachine, L"", L"TranslationOption.Count", L"1");
  PutText(Hive::LocalMachine, L"", L"TranslationOption.Selected", L"site");
  PutText(Hive::LocalMachine, L"TranslationOption01", L"Name", L"site");
  PutText(Hive::LocalMachine, L"TranslationOption01", L"DualPrint", L"True");
  PutText(Hive::LocalMachine, L"TranslationOption01", L"WindowAlign", L"2");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"WindowAlign", L"0");

  auto opts = Fresh();
  ASSERT_TRUE(opts->Load(false));
  const TranslationOption* site = opts->Find(L"site");
  ASSERT_NE(site, nullptr);
  EXPECT_EQ(site->DualPrint(), 1) << "value absent for the user comes from the machine";
  EXPECT_EQ(site->WindowAlign(), 0) << "the user's value wins";
  EXPECT_EQ(opts->SelectedName(), L"site");

  auto machine = Fresh();
  ASSERT_TRUE(machine->Load(true));
  EXPECT_EQ(machine->Find(L"site")->WindowAlign(), 2);
}

TEST_F(SettingsStore, FontsThatAreNotInstalledAreReplacedOnLoad) {
  optionstest::FakeFonts fonts({{0, {L"Calibri", L"Tahoma"}}, {204, {L"Tahoma"}}});
  PutText(Hive::CurrentUser, L"", L"TranslationOption.Count", L"1");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"Name", L"f");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"FontANSI", L"Comic Nothing");
  PutText(Hive::CurrentUser, L"TranslationOption01", L"FontRussian", L"tahoma");
  auto opts = Fresh();
  ASSERT_TRUE(opts->Load(false));
  const TranslationOption* f = opts->Find(L"f");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->FontANSI(), L"Calibri");
  EXPECT_EQ(f->FontRussian(), L"tahoma") << "installed under another case";
  EXPECT_EQ(f->FontHangul(), L"Gulim") << "no Korean font at all: the name stays";
  EXPECT_EQ(f->FontEastEurope(), L"Arial");
}

TEST(RegistrySettingsApi, SetValueDeletesEmptyTextUnlessAskedToKeepIt) {
  testsupport::TempDir dir;
  platformtest::ScopedEnv env(L"PELORANT_REGISTRY", dir.wpath());
  const std::wstring base = L"Software\\PelorantTest\\SetValue";
  RegistrySettings reg(base);
  ASSERT_FALSE(reg.OpenRead(Hive::CurrentUser, L""));
  EXPECT_FALSE(reg.SetValue(L"x", L"1")) << "nothing open";
  ASSERT_TRUE(reg.Create(Hive::CurrentUser, L"\\Sub"));
  EXPECT_TRUE(reg.SetValue(L"gone", L"")) << "deleting an absent value succeeds";
  EXPECT_TRUE(reg.SetValue(L"a", L"1"));
  EXPECT_TRUE(reg.SetValue(L"e", L"", true));
  EXPECT_EQ(reg.QueryValue(L"e", L"default"), L"");
  EXPECT_TRUE(reg.SetValue(L"a", L""));
  EXPECT_EQ(reg.QueryValue(L"a", L"default"), L"default");
  reg.Close();
  EXPECT_TRUE(reg.OpenRead(Hive::CurrentUser, L"Sub", Hive::LocalMachine));
  EXPECT_EQ(reg.QueryValue(L"e", L"default"), L"");
  reg.Close();
  EXPECT_TRUE(reg.DeleteSubkey(Hive::CurrentUser, L""));
  EXPECT_FALSE(reg.OpenRead(Hive::CurrentUser, L"Sub"));
  EXPECT_TRUE(reg.DeleteSubkey(Hive::CurrentUser, L"")) << "an absent key counts as deleted";
}

TEST_F(SettingsStore, SaveThatFailsPartWayKeepsEveryStoredSet) {
  const std::wstring hiveFile = platform::RegistryHiveFile(Hive::CurrentUser);
  if (hiveFile.empty()) GTEST_SKIP() << "the fault is injected through the stand-in's file size";
  auto opts = Fresh();
  opts->Reset();
  opts->Find(L"default")->SetWindowAlign(2);
  opts->Add(L"kept")->SetDualPrint(1);
  ASSERT_TRUE(opts->Save(true));

  // The first values of the new sets fit in the file; the long one of the
  // second set makes it outgrow the limit.
  auto changed = Fresh();
  changed->Reset();
  changed->Find(L"default")->SetWindowAlign(0);
  changed->Add(L"replacement")->SetTranPrefix(std::wstring(20000, L'x'));
  {
    platformtest::FileSizeLimit limit(std::filesystem::file_size(std::filesystem::path(hiveFile)) + 4096);
    EXPECT_FALSE(changed->Save(true));
  }
  EXPECT_FALSE(changed->LastFailure().empty());

  auto loaded = Fresh();
  ASSERT_TRUE(loaded->Load(false));
  ASSERT_EQ(loaded->OptionNames(), (std::vector<std::wstring>{L"default", L"kept"}));
  EXPECT_EQ(loaded->At(0).WindowAlign(), 2);
  EXPECT_EQ(loaded->At(1).DualPrint(), 1);
}
