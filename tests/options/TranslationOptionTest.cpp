#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "src/options/TranslationOption.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Strings.h"

using namespace options;
using T = TranslationOption;

namespace {

std::wstring ValueOf(const TranslationOption& set, const std::wstring& name) {
  std::vector<std::wstring> names, values;
  TranslationOptions::ToNameValue(set, &names, &values, true);
  auto at = std::find(names.begin(), names.end(), name);
  return at == names.end() ? L"<no pair>" : values[at - names.begin()];
}

}  // namespace

// The public pairs lead, each hidden one after them with its "_" mark;
// empty slots keep their places and carry no value.
TEST(TranslationOptionEncoding, PublicPairsFirstThenHiddenOnesWithEmptySlotsKept) {
  TranslationOption o;
  std::vector<std::wstring> pub, names, values;
  ASSERT_TRUE(TranslationOptions::ToNameValue(o, &pub, &values, false));
  ASSERT_EQ(pub.size(), 24u);
  EXPECT_EQ(pub.front(), L"Name");
  EXPECT_EQ(pub.back(), L"FontEastEurope");
  ASSERT_TRUE(TranslationOptions::ToNameValue(o, &names, &values, true));
  ASSERT_EQ(names.size(), 45u);
  EXPECT_TRUE(std::equal(pub.begin(), pub.end(), names.begin()));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(i >= pub.size(), names[i].starts_with(L"_")) << "pair " << i;
    EXPECT_TRUE(!names[i].empty() || values[i].empty()) << "slot " << i;
  }
  EXPECT_EQ(std::count(pub.begin(), pub.end(), L""), 2);
  EXPECT_EQ(pub[11], L"Glossary") << "in a slot that was empty, so stored pair counts stay";
  EXPECT_EQ(pub[15], L"TranslatesMasters");
}

TEST(TranslationOptionEncoding, WritesFlagsIntegersAndEnumsAsThePairsSpellThem) {
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
TEST(TranslationOptionEncoding, EachKindReadsOnlyWhatItSpells) {
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
}

TEST(TranslationOptionEncoding, UnknownAndMissingNamesLeaveFieldsAlone) {
  TranslationOption o, expected;
  o.SetFontANSI(L"Verdana");
  expected.SetFontANSI(L"Verdana");
  ASSERT_TRUE(TranslationOptions::FromNameValue(&o, {L"fontansi", L"Bogus", L""}, {L"Tahoma", L"x", L"y"}));
  EXPECT_EQ(o, expected);
  EXPECT_FALSE(TranslationOptions::FromNameValue(&o, {L"Name"}, {}));
}

TEST(TranslationOptionEncoding, AllPairsRoundTripIntoAFreshSet) {
  TranslationOption o;
  o.SetName(L"\x65E5\x672C\x8A9E \x00DC");  // strings are taken as they stand
  o.SetOutputDestType(0);
  o.SetWindowAlign(2);
  o.SetKeepStyleType(0);
  o.SetDualPrint(1);
  o.SetTranFontColorValue(0xFF00FF);
  o.SetFontBig5(L"PMingLiU");
  o.SetGlossary(L"/home/user/Terms \x7528\x8A9E.tsv");
  o.SetDualPrintDest(1);
  o.SetTranPrefix(L"  [\"");
  o.SetIgnoresWordArt(1);
  o.SetEditType(1);
  o.SetUsesPostMacro(1);
  o.SetPostMacroName(L"After");
  o.SetNotClearUndo(1);
  o.SetTimeOutMSec(30000);
  std::vector<std::wstring> names, values;
  ASSERT_TRUE(TranslationOptions::ToNameValue(o, &names, &values, true));
  TranslationOption copy;
  ASSERT_TRUE(TranslationOptions::FromNameValue(&copy, names, values));
  EXPECT_EQ(copy, o);

  // Without hidden pairs the hidden fields keep the receiver's values.
  ASSERT_TRUE(TranslationOptions::ToNameValue(o, &names, &values, false));
  TranslationOption pub;
  ASSERT_TRUE(TranslationOptions::FromNameValue(&pub, names, values));
  EXPECT_EQ(pub.TranFontColorValue(), 0xFF00FF);
  EXPECT_EQ(pub.TimeOutMSec(), -1);
  EXPECT_EQ(pub.PostMacroName(), L"fncPostMacro");
  EXPECT_EQ(pub.Glossary(), o.Glossary()) << "the glossary is a public value";
}

TEST(OptionFieldTable, ValidationFollowsEachEncoding) {
  const std::tuple<const wchar_t*, const wchar_t*, bool> cases[] = {
      {L"DualPrint", L"True", true},     {L"DualPrint", L"true", false},    {L"WindowAlign", L"2", true},
      {L"WindowAlign", L"3", false},     {L"_TimeOutMSec", L"0x3E8", true}, {L"_TimeOutMSec", L"-1", true},
      {L"_TimeOutMSec", L"12ms", false}, {L"_TimeOutMSec", L"", false},     {L"_TimeOutMSec", L"4294967296", false},
      {L"_DualPrintLevel", L"1", false}, {L"_TranPrefix", L"a\nb", false}};
  for (auto [name, value, valid] : cases) {
    const OptionFieldInfo* field = FindOptionField(name);
    ASSERT_NE(field, nullptr) << platform::ToUtf8(name);
    std::wstring why;
    EXPECT_EQ(IsValidOptionValue(*field, value, &why), valid)
        << platform::ToUtf8(name) << "=" << platform::ToUtf8(value);
    EXPECT_EQ(why.empty(), valid) << platform::ToUtf8(name);
  }
  std::wstring why;
  IsValidOptionValue(*FindOptionField(L"DualPrint"), L"1", &why);
  EXPECT_NE(why.find(L"True or False"), std::wstring::npos);
  EXPECT_TRUE(FindOptionField(L"_TimeOutMSec")->hidden);
  EXPECT_EQ(FindOptionField(L"dualprint"), nullptr);
}
