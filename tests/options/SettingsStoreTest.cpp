#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <tuple>

#include "src/options/RegistrySettings.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "tests/common/Bytes.h"
#include "tests/options/FakeFonts.h"
#include "tests/platform/TestSupport.h"

using namespace options;
using platform::Hive;
using platform::RegKey;
using platform::RegValue;

namespace {

// Subkey (empty: the settings key itself), value name, and text.
using Stored = std::tuple<const wchar_t*, const wchar_t*, const wchar_t*>;

// Each test gets its own stand-in registry folder (posix) and its own key
// (so that the Windows run under Wine does not meet earlier runs' values).
class SettingsStore : public ::testing::Test {
 protected:
  SettingsStore()
      : mEnv(L"PELORANT_REGISTRY", mDir.wpath()),
        mRoot(L"Software\\PelorantTest\\Options" + std::to_wstring(sCounter++)),
        mHostKey(mRoot + L"\\RegV1\\PowerPoint"),
        mFonts(optionstest::DefaultFontsInstalled()) {}
  ~SettingsStore() override {
    platform::DeleteKeyTree(Hive::CurrentUser, mRoot);
    platform::DeleteKeyTree(Hive::LocalMachine, mRoot);
  }

  std::wstring Key(const std::wstring& sub) const { return sub.empty() ? mHostKey : mHostKey + L"\\" + sub; }
  void Put(Hive hive, const std::wstring& sub, const std::wstring& name, const RegValue& value) {
    RegKey key;
    ASSERT_EQ(RegKey::Create(hive, Key(sub), &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetValue(name, value), ERROR_SUCCESS);
  }
  void Put(Hive hive, std::initializer_list<Stored> values) {
    for (auto [sub, name, text] : values) Put(hive, sub, name, RegValue::String(text));
  }
  // Each stored text, or "<absent>" / "<no key>".
  void ExpectStored(std::initializer_list<Stored> expected) {
    for (auto [sub, name, text] : expected) {
      RegKey key;
      RegValue v;
      std::wstring got = RegKey::Open(Hive::CurrentUser, Key(sub), false, &key) != ERROR_SUCCESS ? L"<no key>"
                         : key.QueryValue(name, &v) != ERROR_SUCCESS                             ? L"<absent>"
                                                                                                 : v.text;
      EXPECT_EQ(got, text) << platform::ToUtf8(sub) << " " << platform::ToUtf8(name);
    }
  }
  std::vector<std::wstring> Subkeys() {
    RegKey key;
    std::vector<std::wstring> names;
    if (RegKey::Open(Hive::CurrentUser, mHostKey, false, &key) == ERROR_SUCCESS) key.EnumSubkeys(&names);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::unique_ptr<TranslationOptions> Fresh(bool reset = false) {
    auto opts = std::make_unique<TranslationOptions>(mHostKey);
    if (reset) opts->Reset();
    return opts;
  }
  std::unique_ptr<TranslationOptions> Loaded(bool machineOnly = false) {
    auto opts = Fresh();
    EXPECT_TRUE(opts->Load(machineOnly));
    return opts;
  }

  static inline std::atomic<int> sCounter{0};
  testsupport::TempDir mDir;
  platformtest::ScopedEnv mEnv;
  std::wstring mRoot;
  std::wstring mHostKey;
  optionstest::FakeFonts mFonts;
};

}  // namespace

TEST_F(SettingsStore, SaveThenLoadKeepsSetsSelectionAndHiddenValuesAndNothingStale) {
  auto opts = Fresh(true);
  opts->Find(L"default")->SetWindowAlign(2);
  TranslationOption* b = opts->Add(L"Bilingual");
  b->SetDualPrint(1);
  b->SetTimeOutMSec(1000);
  b->SetTranPrefix(L"[");
  b->SetGlossary(L"C:\\Terms\\\x7528\x8A9E.txt");
  TranslationOption* j = opts->Add(L"\x65E5\x672C\x8A9E \x00DC");  // a name outside any one ANSI page
  j->SetTranSuffix(std::wstring(3000, L'\x3042'));                 // longer than any fixed buffer
  opts->Select(L"Bilingual");
  ASSERT_TRUE(opts->Save(true)) << platform::ToUtf8(opts->LastFailure());

  // An empty value is not stored; nor is an empty glossary, as programs
  // without glossaries store none.
  ExpectStored({{L"", L"TranslationOption.Count", L"3"}, {L"", L"TranslationOption.Selected", L"Bilingual"},
                {L"TranslationOption02", L"Name", L"Bilingual"}, {L"TranslationOption02", L"DualPrint", L"True"},
                {L"TranslationOption02", L"_TimeOutMSec", L"1000"},
                {L"TranslationOption01", L"_TranPrefix", L"<absent>"},
                {L"TranslationOption01", L"Glossary", L"<absent>"},
                {L"TranslationOption02", L"Glossary", L"C:\\Terms\\\x7528\x8A9E.txt"}});

  auto loaded = Loaded();
  ASSERT_EQ(loaded->Count(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(loaded->At(i), opts->At(i)) << "set " << i;
  EXPECT_EQ(loaded->SelectedName(), L"Bilingual");

  // Saving fewer sets leaves no stale subkey and keeps other settings; a
  // set's subkey holds only what the set wrote.
  Put(Hive::CurrentUser, {{L"", L"Menu.ToolbarTop", L"42"}, {L"LookupHistory", L"MaxCount", L"10"},
                          {L"TranslationOption01", L"Stray", L"x"}});
  loaded->Remove(L"Bilingual");
  ASSERT_TRUE(loaded->Save(false));
  EXPECT_EQ(Subkeys(), (std::vector<std::wstring>{L"LookupHistory", L"TranslationOption01", L"TranslationOption02"}));
  ExpectStored({{L"", L"TranslationOption.Count", L"2"},
                {L"TranslationOption02", L"Name", L"\x65E5\x672C\x8A9E \x00DC"},
                {L"TranslationOption01", L"Stray", L"<absent>"}, {L"", L"Menu.ToolbarTop", L"42"},
                {L"LookupHistory", L"MaxCount", L"10"}});
}

TEST_F(SettingsStore, SaveWithoutHiddenKeepsEachSetsStoredHiddenValues) {
  auto opts = Fresh(true);
  opts->Find(L"default")->SetTimeOutMSec(5000);
  opts->Add(L"gone");
  opts->Add(L"Other")->SetTranPrefix(L"[");
  ASSERT_TRUE(opts->Save(true));

  // Removing a set moves the later ones to other subkeys; a new set takes
  // the subkey that held another set's hidden values.
  auto edited = Loaded();
  edited->Remove(L"gone");
  edited->Find(L"Other")->SetTimeOutMSec(7);  // not shown, so not saved
  edited->Find(L"Other")->SetDualPrint(1);
  edited->Add(L"New");
  ASSERT_TRUE(edited->Save(false));

  auto loaded = Loaded();
  ASSERT_EQ(loaded->OptionNames(), (std::vector<std::wstring>{L"default", L"Other", L"New"}));
  EXPECT_EQ(loaded->At(0).TimeOutMSec(), 5000);
  EXPECT_EQ(loaded->At(1).TranPrefix(), L"[");
  EXPECT_EQ(loaded->At(1).TimeOutMSec(), -1);
  EXPECT_EQ(loaded->At(1).DualPrint(), 1);
  EXPECT_EQ(loaded->At(2).TranPrefix(), L"");
  ExpectStored({{L"TranslationOption03", L"_TranPrefix", L"<absent>"}});
}

TEST_F(SettingsStore, MissingKeyGivesOneDefaultAndTheStoredCountDecides) {
  auto opts = Fresh();
  opts->Add(L"left over");
  ASSERT_TRUE(opts->Load(false));
  ASSERT_EQ(opts->Count(), 1u);
  TranslationOption d;
  d.SetName(L"default");
  EXPECT_EQ(opts->At(0), d);

  // Subkeys missing below the count are skipped, those above it not read.
  Put(Hive::CurrentUser, {{L"", L"TranslationOption.Count", L"3"}, {L"TranslationOption01", L"Name", L"one"},
                          {L"TranslationOption03", L"Name", L"three"},
                          {L"TranslationOption19", L"Name", L"beyond the count"},
                          {L"", L"TranslationOption.Selected", L"beyond the count"}});
  ASSERT_TRUE(opts->Load(false));
  EXPECT_EQ(opts->OptionNames(), (std::vector<std::wstring>{L"default", L"one", L"three"}));
  EXPECT_EQ(opts->SelectedName(), L"default") << "an unknown selected name leaves the default selected";

  // An absurd count still loads what is there.
  Put(Hive::CurrentUser, {{L"", L"TranslationOption.Count", L"0x7FFFFFFF"}});
  ASSERT_TRUE(opts->Load(false));
  EXPECT_EQ(opts->OptionNames(), (std::vector<std::wstring>{L"default", L"one", L"three", L"beyond the count"}));
}

// The switches of the texts a run translates besides the slides' own: a set
// stored or an option file written before they existed reads them on, and
// each one switched off survives the registry and an option file alone.
TEST_F(SettingsStore, PartSwitchesReadOnWhenAbsentAndEachRoundTripsOff) {
  using TO = TranslationOption;
  const std::tuple<const wchar_t*, std::int32_t (TO::*)() const, void (TO::*)(std::int32_t)> parts[] = {
      {L"TranslatesCharts", &TO::TranslatesCharts, &TO::SetTranslatesCharts},
      {L"TranslatesAltText", &TO::TranslatesAltText, &TO::SetTranslatesAltText},
      {L"TranslatesLinkTips", &TO::TranslatesLinkTips, &TO::SetTranslatesLinkTips},
      {L"TranslatesMasters", &TO::TranslatesMasters, &TO::SetTranslatesMasters},
  };
  const std::wstring file = (mDir.path() / "set.ini").wstring();
  Put(Hive::CurrentUser, {{L"", L"TranslationOption.Count", L"1"}, {L"TranslationOption01", L"Name", L"Old"}});
  testsupport::WriteBytes(file, "[TranslationOption]\r\nName=\"Old\"\r\nDualPrint=\"True\"\r\n");
  auto old = Loaded();
  ASSERT_TRUE(old->Import(L"FromFile", file));
  for (auto [name, get, set] : parts) {
    EXPECT_EQ((old->Find(L"Old")->*get)(), 1) << platform::ToUtf8(name);
    EXPECT_EQ((old->Find(L"FromFile")->*get)(), 1) << platform::ToUtf8(name);
  }

  for (auto [off, unused, set] : parts) {
    SCOPED_TRACE(platform::ToUtf8(off));
    auto opts = Fresh(true);
    (opts->Add(L"Off")->*set)(0);
    ASSERT_TRUE(opts->Save(false));
    ASSERT_TRUE(opts->Export(L"Off", file));
    ExpectStored({{L"TranslationOption02", off, L"False"}});
    auto loaded = Loaded();
    ASSERT_TRUE(loaded->Import(L"Imported", file));
    for (auto [name, get, unusedSet] : parts) {
      EXPECT_EQ((loaded->Find(L"Off")->*get)(), name == off ? 0 : 1) << platform::ToUtf8(name);
      EXPECT_EQ((loaded->Find(L"Imported")->*get)(), name == off ? 0 : 1) << platform::ToUtf8(name);
    }
  }
}

TEST_F(SettingsStore, EmptyNamesFoldIntoDefaultTheLaterWinning) {
  Put(Hive::CurrentUser, {{L"", L"TranslationOption.Count", L"2"}, {L"TranslationOption01", L"Name", L""},
                          {L"TranslationOption01", L"WindowAlign", L"2"},
                          {L"TranslationOption01", L"DualPrint", L"True"},
                          {L"TranslationOption02", L"WindowAlign", L"0"}});
  auto opts = Loaded();
  ASSERT_EQ(opts->Count(), 1u);
  EXPECT_EQ(opts->At(0).Name(), L"default");
  EXPECT_EQ(opts->At(0).WindowAlign(), 0);
  EXPECT_EQ(opts->At(0).DualPrint(), 0) << "the later subkey's missing value is the default";
}

TEST_F(SettingsStore, ValueTypesReadAsTextOrCountAsAbsent) {
  Put(Hive::CurrentUser, {{L"", L"TranslationOption.Count", L"1"}, {L"TranslationOption01", L"Name", L"typed"}});
  const std::wstring sub = L"TranslationOption01";
  Put(Hive::CurrentUser, sub, L"OrigFontColorValue", RegValue::Dword(5));
  Put(Hive::CurrentUser, sub, L"_TimeOutMSec", RegValue::Dword(0xFFFFFFFFu));
  Put(Hive::CurrentUser, sub, L"TranFontColorValue", RegValue::Bytes({1, 2, 3, 4}));
  Put(Hive::CurrentUser, sub, L"FontANSI", RegValue::Expand(L"Arial"));
  Put(Hive::CurrentUser, sub, L"_TranPrefix", RegValue::Multi({L"first", L"second"}));
  auto opts = Loaded();
  const TranslationOption* set = opts->Find(L"typed");
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->OrigFontColorValue(), 5);
  EXPECT_EQ(set->TimeOutMSec(), -1);
  EXPECT_EQ(set->TranFontColorValue(), 128) << "a binary value counts as absent";
  EXPECT_EQ(set->TranPrefix(), L"first");
}

TEST_F(SettingsStore, MachineHiveIsTheFallbackAndMachineOnlyIgnoresTheUser) {
  Put(Hive::LocalMachine, {{L"", L"TranslationOption.Count", L"1"}, {L"", L"TranslationOption.Selected", L"site"},
                           {L"TranslationOption01", L"Name", L"site"}, {L"TranslationOption01", L"DualPrint", L"True"},
                           {L"TranslationOption01", L"WindowAlign", L"2"}});
  Put(Hive::CurrentUser, {{L"TranslationOption01", L"WindowAlign", L"0"}});
  auto opts = Loaded();
  const TranslationOption* site = opts->Find(L"site");
  ASSERT_NE(site, nullptr);
  EXPECT_EQ(site->DualPrint(), 1) << "value absent for the user comes from the machine";
  EXPECT_EQ(site->WindowAlign(), 0) << "the user's value wins";
  EXPECT_EQ(opts->SelectedName(), L"site");
  EXPECT_EQ(Loaded(true)->Find(L"site")->WindowAlign(), 2);
}

TEST_F(SettingsStore, FontsThatAreNotInstalledAreReplacedOnLoad) {
  optionstest::FakeFonts fonts({{0, {L"Calibri", L"Tahoma"}}, {204, {L"Tahoma"}}});
  Put(Hive::CurrentUser, {{L"", L"TranslationOption.Count", L"1"}, {L"TranslationOption01", L"Name", L"f"},
                          {L"TranslationOption01", L"FontANSI", L"Comic Nothing"},
                          {L"TranslationOption01", L"FontRussian", L"tahoma"}});
  auto opts = Loaded();
  const TranslationOption* f = opts->Find(L"f");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->FontANSI(), L"Calibri");
  EXPECT_EQ(f->FontRussian(), L"tahoma") << "installed under another case";
  EXPECT_EQ(f->FontHangul(), L"Gulim") << "no Korean font at all: the name stays";
  EXPECT_EQ(f->FontEastEurope(), L"Arial");
}

TEST_F(SettingsStore, SetValueDeletesEmptyTextUnlessAskedToKeepIt) {
  RegistrySettings reg(mHostKey);
  ASSERT_FALSE(reg.OpenRead(Hive::CurrentUser, L""));
  EXPECT_FALSE(reg.SetValue(L"x", L"1")) << "nothing open";
  ASSERT_TRUE(reg.Create(Hive::CurrentUser, L"\\Sub"));
  EXPECT_TRUE(reg.SetValue(L"gone", L"")) << "deleting an absent value succeeds";
  EXPECT_TRUE(reg.SetValue(L"a", L"1"));
  EXPECT_TRUE(reg.SetValue(L"e", L"", true));
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
  auto opts = Fresh(true);
  opts->Find(L"default")->SetWindowAlign(2);
  opts->Add(L"kept")->SetDualPrint(1);
  ASSERT_TRUE(opts->Save(true));

  // The first values of the new sets fit in the file; the long one of the
  // second set makes it outgrow the limit.
  auto changed = Fresh(true);
  changed->Find(L"default")->SetWindowAlign(0);
  changed->Add(L"replacement")->SetTranPrefix(std::wstring(20000, L'x'));
  {
    platformtest::FileSizeLimit limit(std::filesystem::file_size(std::filesystem::path(hiveFile)) + 4096);
    EXPECT_FALSE(changed->Save(true));
  }
  EXPECT_FALSE(changed->LastFailure().empty());

  auto loaded = Loaded();
  ASSERT_EQ(loaded->OptionNames(), (std::vector<std::wstring>{L"default", L"kept"}));
  EXPECT_EQ(loaded->At(0).WindowAlign(), 2);
  EXPECT_EQ(loaded->At(1).DualPrint(), 1);
}
