#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <tuple>

#include "src/options/RegistrySettings.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "tests/common/FaultyFiles.h"
#include "tests/options/FakeFonts.h"
#include "tests/options/Render.h"
#include "tests/platform/TestSupport.h"

using namespace options;
using optionstest::Render;
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

// Removing a set moves the later ones to other subkeys; a new set takes the
// subkey that held another set's hidden values; a hidden value changed in
// memory is not saved; sets sharing a name keep theirs in order.
TEST_F(SettingsStore, SaveWithoutHiddenKeepsEachSetsStoredHiddenValues) {
  auto opts = Fresh(true);
  opts->Find(L"default")->SetTimeOutMSec(5000);
  opts->Add(L"gone");
  opts->Add(L"Other")->SetTranPrefix(L"[");
  opts->Add(L"Other");
  opts->At(3).SetTranSuffix(L"]");
  ASSERT_TRUE(opts->Save(true));
  auto edited = Loaded();
  edited->Remove(L"gone");
  edited->Find(L"Other")->SetTimeOutMSec(7);
  edited->Find(L"Other")->SetDualPrint(1);
  edited->Add(L"New");
  ASSERT_TRUE(edited->Save(false));
  EXPECT_EQ(Render(*Loaded()), L"*default _TimeOutMSec=5000|Other DualPrint=True _TranPrefix=[|Other _TranSuffix=]|New|");
}

// What a load makes of stored values: each case adds to the previous one's
// store unless it starts over.
TEST_F(SettingsStore, LoadReadsTheStoredSets) {
  const Hive U = Hive::CurrentUser, M = Hive::LocalMachine;
  const wchar_t *count = L"TranslationOption.Count", *selected = L"TranslationOption.Selected";
  const wchar_t *s1 = L"TranslationOption01", *s2 = L"TranslationOption02";
  auto T = [](const wchar_t* text) { return RegValue::String(text); };
  struct Case {
    bool startOver;
    std::vector<std::tuple<Hive, const wchar_t*, const wchar_t*, RegValue>> puts;
    bool machineOnly;
    std::wstring rendered;
    std::map<int, std::vector<std::wstring>> fonts = {};  // empty: the defaults are installed
  };
  const Case cases[] = {
      // No key at all: one default set, whatever was in memory.
      {true, {}, false, L"*default|"},
      // Subkeys missing below the count are skipped, those above it not
      // read; an unknown selected name leaves the default selected.
      {false,
       {{U, L"", count, T(L"3")}, {U, s1, L"Name", T(L"one")}, {U, L"TranslationOption03", L"Name", T(L"three")},
        {U, L"TranslationOption19", L"Name", T(L"beyond")}, {U, L"", selected, T(L"beyond")}},
       false, L"*default|one|three|"},
      // An absurd count still loads what is there.
      {false, {{U, L"", count, T(L"0x7FFFFFFF")}}, false, L"default|one|three|*beyond|"},
      // Empty names fold into the default, the later subkey winning whole.
      {true,
       {{U, L"", count, T(L"2")}, {U, s1, L"Name", T(L"")}, {U, s1, L"WindowAlign", T(L"2")},
        {U, s1, L"DualPrint", T(L"True")}, {U, s2, L"WindowAlign", T(L"0")}},
       false, L"*default WindowAlign=0|"},
      // Numbers read as text, a list as its first line, other types as absent.
      {true,
       {{U, L"", count, T(L"1")}, {U, s1, L"Name", T(L"typed")}, {U, s1, L"OrigFontColorValue", RegValue::Dword(5)},
        {U, s1, L"_TimeOutMSec", RegValue::Dword(0xFFFFFFFFu)},
        {U, s1, L"TranFontColorValue", RegValue::Bytes({1, 2, 3, 4})},
        {U, s1, L"_TranPrefix", RegValue::Multi({L"first", L"second"})}},
       false, L"*default|typed OrigFontColorValue=5 _TranPrefix=first|"},
      // The machine's value stands in for one the user has not; the user's wins.
      {true,
       {{M, L"", count, T(L"1")}, {M, L"", selected, T(L"site")}, {M, s1, L"Name", T(L"site")},
        {M, s1, L"DualPrint", T(L"True")}, {M, s1, L"WindowAlign", T(L"2")}, {U, s1, L"WindowAlign", T(L"0")}},
       false, L"default|*site WindowAlign=0 DualPrint=True|"},
      {false, {}, true, L"default|*site WindowAlign=2 DualPrint=True|"},
      // A font not installed becomes the first installed one of its
      // character set; one installed under another case, or of a set with
      // no font at all, stays.
      {true,
       {{U, L"", count, T(L"1")}, {U, s1, L"Name", T(L"f")}, {U, s1, L"FontANSI", T(L"Comic Nothing")},
        {U, s1, L"FontRussian", T(L"tahoma")}},
       false, L"*default|f FontANSI=Calibri FontRussian=tahoma|", {{0, {L"Calibri", L"Tahoma"}}, {204, {L"Tahoma"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.rendered));
    if (c.startOver) {
      platform::DeleteKeyTree(U, mRoot);
      platform::DeleteKeyTree(M, mRoot);
    }
    for (const auto& [hive, sub, name, value] : c.puts) Put(hive, sub, name, value);
    std::optional<optionstest::FakeFonts> fonts;
    if (!c.fonts.empty()) fonts.emplace(c.fonts);
    auto opts = Fresh();
    opts->Add(L"left over");
    ASSERT_TRUE(opts->Load(c.machineOnly));
    EXPECT_EQ(Render(*opts), c.rendered);
  }
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

// A save the disk refuses keeps every set stored before.
TEST_F(SettingsStore, SaveThatFailsKeepsEveryStoredSet) {
  if (platform::RegistryHiveFile(Hive::CurrentUser).empty()) GTEST_SKIP() << "the registry has no files here";
  auto opts = Fresh(true);
  opts->Find(L"default")->SetWindowAlign(2);
  opts->Add(L"kept")->SetDualPrint(1);
  ASSERT_TRUE(opts->Save(true));
  auto changed = Fresh(true);
  changed->Find(L"default")->SetWindowAlign(0);
  changed->Add(L"replacement")->SetTranPrefix(L"x");
  {
    testsupport::FaultyFiles disk(testsupport::FaultyFiles::kWrite);
    EXPECT_FALSE(changed->Save(true));
    EXPECT_GT(disk.Failures(), 0);
  }
  EXPECT_FALSE(changed->LastFailure().empty());
  EXPECT_EQ(Render(*Loaded()), L"*default WindowAlign=2|kept DualPrint=True|");
}
