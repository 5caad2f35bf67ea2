// The option sets: their pairs and fields, the collection, the registry
// store and the option files; and the glossary files a set names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "src/options/Glossary.h"
#include "src/options/OptionFile.h"
#include "src/options/RegistrySettings.h"
#include "src/options/TranslationOption.h"
#include "src/options/TranslationOptionUDT.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/common/Bytes.h"
#include "tests/common/FaultyFiles.h"
#include "tests/options/FakeFonts.h"
#include "tests/platform/TestSupport.h"

using namespace options;
namespace fs = std::filesystem;
using platform::Hive;
using platform::RegKey;
using platform::RegValue;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

// A whole collection of option sets as one line, for tests that compare it:
// "name pair=value ...|", with only the pairs that differ from a fresh set's
// and the selected set marked "*".
std::wstring Render(const TranslationOptions& opts) {
  std::vector<std::wstring> names, fresh, values;
  TranslationOptions::ToNameValue(TranslationOption(), &names, &fresh, true);
  std::wstring out;
  for (size_t i = 0; i < opts.Count(); ++i) {
    TranslationOptions::ToNameValue(opts.At(i), &names, &values, true);
    out += (values[0] == opts.SelectedName() ? L"*" : L"") + values[0];
    for (size_t p = 1; p < names.size(); ++p) {
      if (values[p] != fresh[p]) out += L" " + names[p] + L"=" + values[p];
    }
    out += L"|";
  }
  return out;
}

using T = TranslationOption;

std::wstring ValueOf(const TranslationOption& set, const std::wstring& name) {
  std::vector<std::wstring> names, values;
  TranslationOptions::ToNameValue(set, &names, &values, true);
  auto at = std::find(names.begin(), names.end(), name);
  return at == names.end() ? L"<no pair>" : values[at - names.begin()];
}

// The public pairs lead, each hidden one after them with its "_" mark;
// empty slots keep their places and carry no value.
TEST(TranslationOptionEncoding, PairsComeInOrderAndSpellFlagsIntegersAndEnums) {
  const TranslationOption fresh;
  std::vector<std::wstring> pub, names, values;
  ASSERT_TRUE(TranslationOptions::ToNameValue(fresh, &pub, &values, false));
  ASSERT_EQ(pub.size(), 24u);
  ASSERT_TRUE(TranslationOptions::ToNameValue(fresh, &names, &values, true));
  ASSERT_EQ(names.size(), 45u);
  EXPECT_TRUE(std::equal(pub.begin(), pub.end(), names.begin()));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(i >= pub.size(), names[i].starts_with(L"_")) << "pair " << i;
    EXPECT_TRUE(!names[i].empty() || values[i].empty()) << "slot " << i;
  }
  EXPECT_EQ(std::count(pub.begin(), pub.end(), L""), 2);
  // The glossary in a slot that was empty, so that stored pair counts stay.
  EXPECT_EQ(pub.front() + L"|" + pub[11] + L"|" + pub[15] + L"|" + pub.back(),
            L"Name|Glossary|TranslatesMasters|FontEastEurope");

  TranslationOption o;
  o.SetName(L"Mine");
  o.SetDualPrint(7);  // any non-zero flag is "True"
  o.SetOrigFontColorValue(-5);
  o.SetTimeOutMSec(1000);
  const std::pair<const wchar_t*, const wchar_t*> written[] = {
      {L"Name", L"Mine"}, {L"DualPrint", L"True"}, {L"DualPrintExpandShape", L"False"}, {L"OrigFontColorValue", L"-5"},
      {L"OutputDestType", L"1"}, {L"_TimeOutMSec", L"1000"}, {L"_DualPrintLevel", L"0"},
      {L"_PreMacroName", L"fncPreMacro"}};
  for (auto [name, value] : written) EXPECT_EQ(ValueOf(o, name), value) << platform::ToUtf8(name);
  // Values outside an enum's list (only 0 for the level) are written empty.
  o.SetWindowAlign(3);
  o.SetDualPrintLevel(2);
  o.SetOutputDestType(-1);
  for (const wchar_t* name : {L"WindowAlign", L"_DualPrintLevel", L"OutputDestType"})
    EXPECT_EQ(ValueOf(o, name), L"") << platform::ToUtf8(name);
  // The switches of the texts a run translates besides the slides' own are
  // on in a set that never stored them, and each is a pair of its own.
  const std::pair<const wchar_t*, void (T::*)(std::int32_t)> parts[] = {
      {L"TranslatesCharts", &T::SetTranslatesCharts}, {L"TranslatesAltText", &T::SetTranslatesAltText},
      {L"TranslatesLinkTips", &T::SetTranslatesLinkTips}, {L"TranslatesMasters", &T::SetTranslatesMasters}};
  for (auto [name, set] : parts) {
    TranslationOption part;
    EXPECT_EQ(ValueOf(part, name), L"True") << platform::ToUtf8(name);
    (part.*set)(0);
    EXPECT_EQ(ValueOf(part, name), L"False") << platform::ToUtf8(name);
  }
}

// Pairs applied one after another to the same set, each followed by a look
// at the field it names: flags are true only for an exact "True", enums
// change only on a listed value, integers read in automatic base.
TEST(TranslationOptionEncoding, EachKindReadsOnlyWhatItSpellsAndUnknownNamesChangeNothing) {
  const std::tuple<const wchar_t*, const wchar_t*, std::int32_t (T::*)() const, std::int32_t> steps[] = {
      {L"DualPrint", L"True", &T::DualPrint, 1}, {L"DualPrint", L"true", &T::DualPrint, 0},
      {L"DualPrint", L"True", &T::DualPrint, 1}, {L"DualPrint", L"1", &T::DualPrint, 0},
      {L"ChangesTranFontColor", L"", &T::ChangesTranFontColor, 0}, {L"OutputDestType", L"2", &T::OutputDestType, 1},
      {L"OutputDestType", L"0", &T::OutputDestType, 0}, {L"OutputDestType", L" 1", &T::OutputDestType, 0},
      {L"WindowAlign", L"2", &T::WindowAlign, 2}, {L"WindowAlign", L"02", &T::WindowAlign, 2},
      {L"_DualPrintDest", L"2", &T::DualPrintDest, 2}, {L"_EditType", L"2", &T::EditType, 0},
      {L"_DualPrintLevel", L"3", &T::DualPrintLevel, 5}, {L"_DualPrintLevel", L"0", &T::DualPrintLevel, 0},
      {L"_TimeOutMSec", L"0x3E8", &T::TimeOutMSec, 1000}, {L"_TimeOutMSec", L"not a number", &T::TimeOutMSec, 0},
      {L"_TimeOutMSec", L"010", &T::TimeOutMSec, 8}, {L"_TimeOutMSec", L"-1", &T::TimeOutMSec, -1},
      {L"OrigFontColorValue", L"255abc", &T::OrigFontColorValue, 255}};
  TranslationOption o;
  o.SetDualPrintLevel(5);  // a level other than 0 stays until a "0" arrives
  for (auto [name, value, field, expected] : steps) {
    SCOPED_TRACE(platform::ToUtf8(std::wstring(name) + L"=\"" + value + L"\""));
    ASSERT_TRUE(TranslationOptions::FromNameValue(&o, {name}, {value}));
    EXPECT_EQ((o.*field)(), expected);
  }
  const std::pair<const wchar_t*, int> parsed[] = {{L"  42", 42}, {L"0X1f", 31}, {L"0x", 0}, {L"09", 0}, {L"", 0},
                                                   {L"-0x10", -16}, {L"99999999999", 2147483647},
                                                   {L"-99999999999", -2147483647 - 1}};
  for (auto [text, value] : parsed) EXPECT_EQ(ParseAutoBaseInt(text), value) << '"' << platform::ToUtf8(text) << '"';

  TranslationOption kept, expected;
  kept.SetFontANSI(L"Verdana");
  expected.SetFontANSI(L"Verdana");
  ASSERT_TRUE(TranslationOptions::FromNameValue(&kept, {L"fontansi", L"Bogus", L""}, {L"Tahoma", L"x", L"y"}));
  EXPECT_EQ(kept, expected);
  EXPECT_FALSE(TranslationOptions::FromNameValue(&kept, {L"Name"}, {}));
}

// A value is valid or says why not (nullptr: valid).
TEST(OptionFieldTable, ValidationFollowsEachEncoding) {
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
      {L"DualPrint", L"True", nullptr}, {L"DualPrint", L"true", L"True or False"}, {L"WindowAlign", L"2", nullptr},
      {L"WindowAlign", L"3", L""}, {L"_TimeOutMSec", L"0x3E8", nullptr}, {L"_TimeOutMSec", L"-1", nullptr},
      {L"_TimeOutMSec", L"12ms", L""}, {L"_TimeOutMSec", L"", L""}, {L"_DualPrintLevel", L"1", L""},
      {L"_TimeOutMSec", L"4294967296", L""}, {L"_TranPrefix", L"a\nb", L""}};
  for (auto [name, value, reason] : cases) {
    const OptionFieldInfo* field = FindOptionField(name);
    ASSERT_NE(field, nullptr) << platform::ToUtf8(name);
    std::wstring why;
    EXPECT_EQ(IsValidOptionValue(*field, value, &why), reason == nullptr)
        << platform::ToUtf8(name) << "=" << platform::ToUtf8(value);
    EXPECT_TRUE(reason ? !why.empty() && why.find(reason) != std::wstring::npos : why.empty()) << platform::ToUtf8(why);
  }
  EXPECT_TRUE(FindOptionField(L"_TimeOutMSec")->hidden);
  EXPECT_EQ(FindOptionField(L"dualprint"), nullptr);
}

// Duplicate names are kept and lookups reach the first; unknown names select
// nothing; "default" and unknown names cannot be removed, and removing the
// selected set selects "default". A copy takes every set with its hidden
// values and the selection, and a clone is independent.
TEST(TranslationOptions, NamesSelectionRemovalAndCopies) {
  TranslationOptions opts;
  opts.Reset();
  opts.Add(L"Dup")->SetDualPrint(1);
  TranslationOption* again = opts.Add(L"Dup");
  EXPECT_EQ(again, opts.Find(L"Dup")) << "Add returns the first set of that name";
  opts.Add(L"b")->SetTranSuffix(L">");
  EXPECT_EQ(opts.Select(L"Dup"), &opts.At(1));
  EXPECT_EQ(opts.Select(L"nope"), nullptr);
  EXPECT_EQ(opts.Find(L"dup"), nullptr) << "names compare exactly";
  EXPECT_EQ(Render(opts), L"default|*Dup DualPrint=True|*Dup|b _TranSuffix=>|");
  TranslationOptions dups;
  dups.Assign(opts);
  EXPECT_EQ(Render(dups), Render(opts)) << "sets sharing a name are copied each as it is";
  EXPECT_EQ((std::vector<bool>{opts.Remove(L"default"), opts.Remove(L"missing"), opts.Remove(L"Dup"),
                               opts.Remove(L"Dup")}),
            (std::vector<bool>{false, false, true, true}));
  opts.At(0).SetTimeOutMSec(500);
  EXPECT_EQ(Render(opts), L"*default _TimeOutMSec=500|b _TranSuffix=>|");

  opts.Select(L"b");
  TranslationOptions copy;
  copy.Reset();
  copy.Add(L"stale");
  copy.Assign(opts);
  EXPECT_EQ(Render(copy), L"default _TimeOutMSec=500|*b _TranSuffix=>|");
  auto clone = opts.Clone();
  clone->At(1).SetTranSuffix(L"changed");
  EXPECT_EQ(Render(*clone), L"default _TimeOutMSec=500|*b _TranSuffix=changed|");
  EXPECT_EQ(Render(opts), Render(copy)) << "a clone is independent";

  EXPECT_EQ(OptionSubkeyName(L"", 1) + OptionSubkeyName(L"", 100), L"\\TranslationOption01\\TranslationOption100");
}

// The record copies the set's fields; KeepStyle is 1 only for style type 1,
// EditType is 1 for any non-zero edit type; the switches keep 64 bits.
TEST(TranslationOptionUDT, CopiesTheSetAndDerivesKeepStyleAndEditType) {
  // The style and edit types, and the KeepStyle and EditType they give.
  const std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t> cases[] = {
      {1, 5, 1, 1}, {2, 0, 0, 0}, {0, 1, 0, 1}};
  for (auto [keepStyleType, editType, keepStyle, edit] : cases) {
    TranslationOption o;
    o.SetKeepStyleType(keepStyleType);
    o.SetEditType(editType);
    o.SetOutputDestType(0);
    o.SetFontHangul(L"Batang");
    o.SetIgnoresComment(1);
    o.SetPostMacroName(L"Post");
    o.SetTimeOutMSec(1000);
    TranslationOptionUDT r;
    CopyOptionToUDT(o, &r);
    EXPECT_EQ(std::pair(r.KeepStyle, r.EditType), std::pair(keepStyle, edit)) << keepStyleType << " " << editType;
    EXPECT_EQ(std::tie(r.TranslationRange, r.OutputDestType, r.WindowAlign, r.IgnoresComment, r.TimeOutMSec),
              std::make_tuple(0, 0, 1, 1, 1000));
    EXPECT_EQ(r.FontHangul + L"|" + r.PostMacroName, L"Batang|Post");
  }
  TranslationOptionUDT r;
  CopySwitchesToUDT({.DisplaysProgressBar = 1, .DisplaysDocument = 1, .ProgressTarget = 0x123456789LL}, &r);
  EXPECT_EQ(std::tie(r.DisplaysProgressBar, r.DisplaysAlert, r.DisplaysDocument), std::make_tuple(1, 0, 1));
  EXPECT_EQ(r.ProgressTarget, 0x123456789LL);
}

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
  std::unique_ptr<TranslationOptions> Fresh() {
    auto opts = std::make_unique<TranslationOptions>(mHostKey);
    opts->Reset();
    return opts;
  }
  std::unique_ptr<TranslationOptions> Loaded() {
    auto opts = Fresh();
    EXPECT_TRUE(opts->Load(false));
    return opts;
  }

  static inline int sCounter = 0;
  testsupport::TempDir mDir;
  platformtest::ScopedEnv mEnv;
  std::wstring mRoot;
  std::wstring mHostKey;
  optionstest::FakeFonts mFonts;
};

TEST_F(SettingsStore, SaveThenLoadKeepsSetsSelectionAndHiddenValuesAndNothingStale) {
  auto opts = Fresh();
  opts->Find(L"default")->SetWindowAlign(2);
  // A set with a value of every kind in fields all over the pairs; strings
  // are taken as they stand.
  TranslationOption* b = opts->Add(L"Bilingual");
  b->SetOutputDestType(0);
  b->SetWindowAlign(2);
  b->SetKeepStyleType(0);
  b->SetDualPrint(1);
  b->SetTranFontColorValue(0xFF00FF);
  b->SetFontBig5(L"mingliu");  // installed, under another case
  b->SetGlossary(L"C:\\Terms\\\x7528\x8A9E.txt");
  b->SetDualPrintDest(1);
  b->SetTranPrefix(L"  [\"");
  b->SetIgnoresWordArt(1);
  b->SetEditType(1);
  b->SetUsesPostMacro(1);
  b->SetPostMacroName(L"After");
  b->SetNotClearUndo(1);
  b->SetTimeOutMSec(1000);
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
  for (auto [sub, name, text] : {Stored{L"", L"Menu.ToolbarTop", L"42"}, Stored{L"LookupHistory", L"MaxCount", L"10"},
                                 Stored{L"TranslationOption01", L"Stray", L"x"}})
    Put(Hive::CurrentUser, sub, name, RegValue::String(text));
  loaded->Remove(L"Bilingual");
  ASSERT_TRUE(loaded->Save(false));
  ExpectStored({{L"", L"TranslationOption.Count", L"2"}, {L"TranslationOption03", L"Name", L"<no key>"},
                {L"TranslationOption02", L"Name", L"\x65E5\x672C\x8A9E \x00DC"},
                {L"TranslationOption01", L"Stray", L"<absent>"}, {L"", L"Menu.ToolbarTop", L"42"},
                {L"LookupHistory", L"MaxCount", L"10"}});

  // Removing a set moves the later ones to other subkeys; a new set takes the
  // subkey that held another set's hidden values; a hidden value changed in
  // memory is not saved; sets sharing a name keep theirs in order.
  auto stored = Fresh();
  stored->Find(L"default")->SetTimeOutMSec(5000);
  stored->Add(L"gone");
  stored->Add(L"Other")->SetTranPrefix(L"[");
  stored->Add(L"Other");
  stored->At(3).SetTranSuffix(L"]");
  ASSERT_TRUE(stored->Save(true));
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
  // Whether to start over, what to store, whether to load the machine's
  // values only, the sets loaded, and the fonts installed (none: the
  // defaults).
  using Puts = std::vector<std::tuple<Hive, const wchar_t*, const wchar_t*, RegValue>>;
  const std::tuple<bool, Puts, bool, std::wstring, std::map<int, std::vector<std::wstring>>> cases[] = {
      // No key at all: one default set, whatever was in memory.
      {true, {}, false, L"*default|", {}},
      // Subkeys missing below the count are skipped, those above it not
      // read; an unknown selected name leaves the default selected.
      {false,
       {{U, L"", count, T(L"3")}, {U, s1, L"Name", T(L"one")}, {U, L"TranslationOption03", L"Name", T(L"three")},
        {U, L"TranslationOption19", L"Name", T(L"beyond")}, {U, L"", selected, T(L"beyond")}},
       false, L"*default|one|three|", {}},
      // An absurd count still loads what is there.
      {false, {{U, L"", count, T(L"0x7FFFFFFF")}}, false, L"default|one|three|*beyond|", {}},
      // Empty names fold into the default, the later subkey winning whole.
      {true,
       {{U, L"", count, T(L"2")}, {U, s1, L"Name", T(L"")}, {U, s1, L"WindowAlign", T(L"2")},
        {U, s1, L"DualPrint", T(L"True")}, {U, s2, L"WindowAlign", T(L"0")}},
       false, L"*default WindowAlign=0|", {}},
      // Numbers read as text, a list as its first line, other types as absent.
      {true,
       {{U, L"", count, T(L"1")}, {U, s1, L"Name", T(L"typed")}, {U, s1, L"OrigFontColorValue", RegValue::Dword(5)},
        {U, s1, L"_TimeOutMSec", RegValue::Dword(0xFFFFFFFFu)},
        {U, s1, L"TranFontColorValue", RegValue::Bytes({1, 2, 3, 4})},
        {U, s1, L"_TranPrefix", RegValue::Multi({L"first", L"second"})}},
       false, L"*default|typed OrigFontColorValue=5 _TranPrefix=first|", {}},
      // The machine's value stands in for one the user has not; the user's wins.
      {true,
       {{M, L"", count, T(L"1")}, {M, L"", selected, T(L"site")}, {M, s1, L"Name", T(L"site")},
        {M, s1, L"DualPrint", T(L"True")}, {M, s1, L"WindowAlign", T(L"2")}, {U, s1, L"WindowAlign", T(L"0")}},
       false, L"default|*site WindowAlign=0 DualPrint=True|", {}},
      {false, {}, true, L"default|*site WindowAlign=2 DualPrint=True|", {}},
      // A font not installed becomes the first installed one of its
      // character set; one installed under another case, or of a set with
      // no font at all, stays.
      {true,
       {{U, L"", count, T(L"1")}, {U, s1, L"Name", T(L"f")}, {U, s1, L"FontANSI", T(L"Comic Nothing")},
        {U, s1, L"FontRussian", T(L"tahoma")}},
       false, L"*default|f FontANSI=Calibri FontRussian=tahoma|", {{0, {L"Calibri", L"Tahoma"}}, {204, {L"Tahoma"}}}},
  };
  for (const auto& [startOver, puts, machineOnly, rendered, fonts] : cases) {
    SCOPED_TRACE(platform::ToUtf8(rendered));
    if (startOver) {
      platform::DeleteKeyTree(U, mRoot);
      platform::DeleteKeyTree(M, mRoot);
    }
    for (const auto& [hive, sub, name, value] : puts) Put(hive, sub, name, value);
    std::optional<optionstest::FakeFonts> installed;
    if (!fonts.empty()) installed.emplace(fonts);
    auto opts = Fresh();
    opts->Add(L"left over");
    ASSERT_TRUE(opts->Load(machineOnly));
    EXPECT_EQ(Render(*opts), rendered);
  }
}

TEST_F(SettingsStore, SetValueDeletesEmptyTextUnlessAskedToKeepIt) {
  RegistrySettings reg(mHostKey);
  ASSERT_FALSE(reg.OpenRead(Hive::CurrentUser, L""));
  EXPECT_FALSE(reg.SetValue(L"x", L"1")) << "nothing open";
  ASSERT_TRUE(reg.Create(Hive::CurrentUser, L"\\Sub"));
  // Deleting an absent value succeeds, as do a set, an empty text kept, and
  // a value deleted by an empty text.
  EXPECT_EQ((std::vector<bool>{reg.SetValue(L"gone", L""), reg.SetValue(L"a", L"1"), reg.SetValue(L"e", L"", true),
                               reg.SetValue(L"a", L"")}),
            std::vector<bool>(4, true));
  EXPECT_EQ(reg.QueryValue(L"a", L"default"), L"default");
  reg.Close();
  EXPECT_TRUE(reg.OpenRead(Hive::CurrentUser, L"Sub", Hive::LocalMachine));
  EXPECT_EQ(reg.QueryValue(L"e", L"default"), L"");
  reg.Close();
  // Deleted, gone, and deleted again: an absent key counts as deleted.
  EXPECT_EQ((std::vector<bool>{reg.DeleteSubkey(Hive::CurrentUser, L""), reg.OpenRead(Hive::CurrentUser, L"Sub"),
                               reg.DeleteSubkey(Hive::CurrentUser, L"")}),
            (std::vector<bool>{true, false, true}));
}

// A save the disk refuses keeps every set stored before.
TEST_F(SettingsStore, SaveThatFailsKeepsEveryStoredSet) {
  if (platform::RegistryHiveFile(Hive::CurrentUser).empty()) GTEST_SKIP() << "the registry has no files here";
  auto opts = Fresh();
  opts->Find(L"default")->SetWindowAlign(2);
  opts->Add(L"kept")->SetDualPrint(1);
  ASSERT_TRUE(opts->Save(true));
  auto changed = Fresh();
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

class OptionFiles : public ::testing::Test {
 protected:
  OptionFiles() : mFonts(optionstest::DefaultFontsInstalled()) { mOpts.Reset(); }

  std::wstring File(const std::wstring& name) const { return (mDir.path() / name).wstring(); }
  // The file's text as UTF-8 whatever encoding the platform wrote it in
  // (Windows keeps option files UTF-16 so that any name survives), checked
  // to hold every piece and the section header exactly once.
  static std::string ExpectHolds(const std::wstring& path, std::initializer_list<const char*> pieces) {
    std::string text = ReadBytes(path);
    if (text.rfind("\xFF\xFE", 0) == 0) text = platform::ToUtf8(platform::FromUtf16Le(text.substr(2)));
    const size_t header = text.find("[TranslationOption]");
    EXPECT_TRUE(header != std::string::npos && header == text.rfind("[TranslationOption]")) << text;
    for (const char* piece : pieces) EXPECT_NE(text.find(piece), std::string::npos) << piece << " in\n" << text;
    return text;
  }

  testsupport::TempDir mDir;
  optionstest::FakeFonts mFonts;
  TranslationOptions mOpts;
};

// The public pairs, quoted, in one section of a file whose folders are made;
// a second export replaces that section and keeps another program's.
TEST_F(OptionFiles, ExportWritesThePublicPairsQuotedAndReplacesOnlyItsSection) {
  const std::wstring name = L"\x00DC" L"bersicht \x65E5\x672C";  // kept whole by the file's encoding
  TranslationOption* b = mOpts.Add(name);
  b->SetDualPrint(1);
  b->SetTimeOutMSec(5000);
  b->SetWindowAlign(7);  // no listed value: written empty
  mOpts.Add(L"second")->SetWindowAlign(0);
  const std::wstring path = File(L"a/b/c/set.ini");
  ASSERT_TRUE(mOpts.Export(name, path));

  std::string text = ExpectHolds(path, {"Name=\"\xC3\x9C" "bersicht \xE6\x97\xA5\xE6\x9C\xAC\"", "OutputDestType=\"1\"",
                                        "DualPrint=\"True\"", "FontEastEurope=\"Arial\"", "Glossary=\"\"",
                                        "WindowAlign=\"\""});
  EXPECT_EQ(text.find("_TimeOutMSec"), std::string::npos) << "hidden values are not exported";
  EXPECT_EQ(text.find("dummy"), std::string::npos);
  std::vector<std::wstring> names, values;
  ASSERT_TRUE(ReadOptionSection(path, kOptionSection, &names, &values));
  EXPECT_EQ(names.front() + L"=" + values.front(), L"Name=" + name);
  EXPECT_EQ(names.size(), 22u);
  auto align = std::find(names.begin(), names.end(), L"WindowAlign");
  ASSERT_NE(align, names.end());
  EXPECT_EQ(values[align - names.begin()], L"") << "a pair of quotes around nothing reads as nothing";

  ASSERT_TRUE(platform::ProfileWriteString(path, L"Keep", L"value", L"1"));
  ASSERT_TRUE(mOpts.Export(L"second", path));
  text = ExpectHolds(path, {"Name=\"second\"", "[Keep]\r\nvalue=1\r\n", "WindowAlign=\"0\""});
  EXPECT_EQ(text.find("bersicht"), std::string::npos);
}

// Into an existing set under the given name, whatever name the file holds:
// values quoted either way or not at all, hidden ones, and one longer than
// the reader's first buffer; values the file does not name (or names
// without "=") stay; a font not installed is replaced.
TEST_F(OptionFiles, ImportUpdatesTheNamedSetFromAnyQuotingRefusalsSayWhyAndTheDefaultIsTheUserFolder) {
  optionstest::FakeFonts fonts({{0, {L"Calibri"}}});
  mOpts.Add(L"Copy")->SetKeepStyleType(0);
  mOpts.Find(L"Copy")->SetChangesOrigFontColor(1);
  const std::wstring path = File(L"in.ini");
  WriteBytes(path,
             "[Other]\r\nDualPrint=True\r\n"
             "[TranslationOption]\r\n"
             "Name=\"Somebody else\"\r\n"
             "DualPrint='True'\r\n"
             "DualPrintExpandShape=True\r\n"
             "WindowAlign = \"2\"\r\n"
             "_TimeOutMSec=\"5000\"\r\n"
             "_TranPrefix=\"a\r\n"
             "Glossary=\"D:\\Terms\\es.tsv\"\r\n"
             "FontANSI=\"Nowhere Sans\"\r\nFontSJIS=\"Nowhere Gothic\"\r\n"
             "ChangesOrigFontColor\r\n"
             "Unknown=\"x\"\r\n");
  ASSERT_TRUE(platform::ProfileWriteString(path, kOptionSection, L"_TranSuffix", std::wstring(5000, L'x')));
  ASSERT_TRUE(mOpts.Import(L"Copy", path));
  EXPECT_EQ(mOpts.Find(L"Copy")->TranSuffix(), std::wstring(5000, L'x'));
  mOpts.Find(L"Copy")->SetTranSuffix(L"");
  EXPECT_EQ(Render(mOpts),
            L"*default|Copy WindowAlign=2 KeepStyleType=0 DualPrint=True DualPrintExpandShape=True "
            L"ChangesOrigFontColor=True Glossary=D:\\Terms\\es.tsv FontANSI=Calibri FontSJIS=Nowhere Gothic "
            L"_TranPrefix=\"a _TimeOutMSec=5000|");

  // A missing file, one without the section or without values in it, no name;
  // no such set, a folder where the file should be, and a value with a line
  // break (read from a tampered registry, it would write a second line that
  // imports as a value of its own): each fails with its reason and changes
  // nothing.
  WriteBytes(File(L"other.ini"), "[Elsewhere]\nDualPrint=True\n");
  WriteBytes(File(L"empty.ini"), "[TranslationOption]\n\n");
  WriteBytes(File(L"good.ini"), "[TranslationOption]\nDualPrint=True\n");
  fs::create_directories(mDir.path() / "is-a-folder.ini");
  mOpts.Add(L"plain");
  mOpts.Add(L"broken")->SetFontANSI(L"Arial\r\n_TimeOutMSec=\"1\"");
  const std::wstring before = Render(mOpts);
  using Call = bool (TranslationOptions::*)(const std::wstring&, const std::wstring&, std::wstring*);
  const std::tuple<Call, const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
      {&TranslationOptions::Import, L"x", L"missing.ini", L"does not exist"},
      {&TranslationOptions::Import, L"x", L"other.ini", L"TranslationOption"},
      {&TranslationOptions::Import, L"x", L"empty.ini", L""},
      {&TranslationOptions::Import, L"", L"good.ini", L"name"},
      {&TranslationOptions::Export, L"nobody", L"n.ini", L"nobody"},
      {&TranslationOptions::Export, L"plain", L"is-a-folder.ini", L""},
      {&TranslationOptions::Export, L"broken", L"inject.ini", L"FontANSI"}};
  for (auto [call, name, file, reason] : cases) {
    std::wstring why;
    EXPECT_FALSE((mOpts.*call)(name, File(file), &why)) << platform::ToUtf8(file);
    EXPECT_TRUE(!why.empty() && why.find(reason) != std::wstring::npos) << platform::ToUtf8(why);
  }
  EXPECT_EQ(Render(mOpts), before);
  EXPECT_FALSE(!fs::is_directory(mDir.path() / "is-a-folder.ini") || fs::exists(mDir.path() / "inject.ini") ||
               fs::exists(mDir.path() / "n.ini"))
      << "a refusal changes no file";
  EXPECT_FALSE(WriteOptionSection(File(L"inject.ini"), kOptionSection, {L"a"}, {L"x\ny"}));

  std::wstring why;
  EXPECT_EQ(DefaultOptionFilePath(L"../escape", &why), L"");
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(DefaultOptionFilePath(L"a\\b"), L"");
  EXPECT_EQ(DefaultOptionFilePath(L"x:y"), L"");

  platformtest::ScopedEnv xdg(L"XDG_CONFIG_HOME", mDir.wpath());
  const std::wstring folder = UserDataFolder();
  ASSERT_FALSE(folder.empty());
  const std::wstring expected = platform::JoinPath(folder, L"Travel.ini");
  EXPECT_EQ(DefaultOptionFilePath(L"Travel"), expected);
  mOpts.Add(L"Travel")->SetDualPrint(1);
  ASSERT_TRUE(mOpts.Export(L"Travel", L""));
  EXPECT_TRUE(fs::exists(fs::path(expected)));
  TranslationOptions other;
  other.Reset();
  ASSERT_TRUE(other.Import(L"Travel", L""));
  EXPECT_EQ(other.Find(L"Travel")->DualPrint(), 1);
  platform::DeleteFileAt(expected);
}

TEST(Glossary, LinesGiveTermsInFileOrderABadLineRefusesTheWholeFileAndFilesNameTheirReason) {
  const auto read = ParseGlossary(
      "\xEF\xBB\xBF# terms of the product team\r\n"
      "Pelorant\t\r\n"
      "\r\n"
      "  # indented comment\n"
      " Slide Master \t Patr\xC3\xB3n de diapositivas \n"
      "C#\tC#\n"
      "\xE6\x97\xA5\xE6\x9C\xAC\tJapan");
  ASSERT_TRUE(read.ok) << platform::ToUtf8(read.failure);
  const std::vector<GlossaryTerm> expected = {
      {L"Pelorant", L""}, {L"Slide Master", L"Patr\xF3n de diapositivas"}, {L"C#", L"C#"}, {L"\x65E5\x672C", L"Japan"}};
  EXPECT_EQ(read.terms, expected);
  EXPECT_TRUE(ParseGlossary("").ok);

  const std::pair<const char*, const wchar_t*> cases[] = {
      {"a\tb\nno tab here\n", L"line 2 has no tab between the term and its translation"},
      {"a\tb\tc\n", L"line 1 has more than one tab"},
      {"# c\n \tTarget\n", L"line 2 has no term before its tab"},
      {"a\tb\n\nb\tc\na\td\n", L"line 4 repeats the term of line 1"},
      {"caf\xE9\tx\n", L"line 1 is not UTF-8 text"},
  };
  for (const auto& [text, why] : cases) {
    SCOPED_TRACE(text);
    const auto read = ParseGlossary(text);
    EXPECT_EQ(std::tuple(read.ok, read.terms.empty(), read.failure), std::tuple(false, true, why));
  }
  EXPECT_EQ(ParseGlossary(std::string_view("a\0b\tc", 5)).failure, L"line 1 is not UTF-8 text");

  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::WriteBytes(dir / "bad.txt", "x y\n"));
  ASSERT_TRUE(testsupport::WriteBytes(dir / "good.txt", "x\ty\n"));
  // The system's words for a folder vary; the other reasons are ours.
  const std::tuple<std::wstring, std::wstring, bool> files[] = {
      {(dir / "none.txt").wstring(), L": there is no such file", true},
      {dir.wpath(), L": ", false},
      {(dir / "bad.txt").wstring(), L": line 1 has no tab between the term and its translation", true},
  };
  for (const auto& [path, reason, whole] : files) {
    const auto read = ReadGlossary(path);
    EXPECT_EQ(std::pair(read.ok, whole ? read.failure : read.failure.substr(0, path.size() + 2)),
              std::pair(false, path + reason));
  }
  const auto good = ReadGlossary((dir / "good.txt").wstring());
  EXPECT_EQ(std::pair(good.ok, good.terms), std::pair(true, std::vector<GlossaryTerm>{{L"x", L"y"}}));
}

}  // namespace
