#include <gtest/gtest.h>

#include <tuple>

#include "src/options/TranslationOptionUDT.h"
#include "src/options/TranslationOptions.h"

using namespace options;

TEST(TranslationOptions, DuplicateNamesAreKeptAndLookupsReachTheFirst) {
  TranslationOptions opts;
  opts.Reset();
  opts.Add(L"Dup")->SetDualPrint(1);
  TranslationOption* again = opts.Add(L"Dup");
  EXPECT_EQ(opts.Count(), 3u);
  EXPECT_EQ(again, opts.Find(L"Dup"));
  EXPECT_EQ(again->DualPrint(), 1) << "Add returns the first set of that name";
  TranslationOption fresh;
  fresh.SetName(L"Dup");
  EXPECT_EQ(opts.At(2), fresh) << "the second set starts from the defaults";
  EXPECT_EQ(opts.Select(L"Dup"), &opts.At(1));
  EXPECT_EQ(opts.Find(L"dup"), nullptr) << "names compare exactly";
}

TEST(TranslationOptions, SelectIgnoresUnknownNamesAndRemoveKeepsDefaultAndMovesTheSelection) {
  TranslationOptions opts;
  opts.Reset();
  opts.Add(L"b");
  EXPECT_EQ(opts.Select(L"nope"), nullptr);
  EXPECT_EQ(opts.SelectedName(), L"default");
  EXPECT_NE(opts.Select(L"b"), nullptr);
  EXPECT_EQ(opts.SelectedName(), L"b");
  EXPECT_FALSE(opts.Remove(L"default"));
  EXPECT_FALSE(opts.Remove(L"missing"));
  EXPECT_TRUE(opts.Remove(L"b"));
  EXPECT_EQ(opts.Count(), 1u);
  EXPECT_EQ(opts.SelectedName(), L"default");
}

TEST(TranslationOptions, AssignCopiesEverySetWithHiddenValuesAndTheSelection) {
  TranslationOptions source;
  source.Reset();
  source.Find(L"default")->SetTimeOutMSec(500);
  TranslationOption* b = source.Add(L"b");
  b->SetDualPrintLevel(3);
  b->SetTranSuffix(L">");
  source.Select(L"b");

  TranslationOptions copy;
  copy.Reset();
  copy.Add(L"stale");
  copy.Assign(source);
  ASSERT_EQ(copy.Count(), 2u);
  EXPECT_EQ(copy.At(0).TimeOutMSec(), 500);
  EXPECT_EQ(copy.At(1), *b);
  EXPECT_EQ(copy.SelectedName(), L"b");

  auto clone = source.Clone();
  ASSERT_EQ(clone->Count(), 2u);
  clone->At(1).SetTranSuffix(L"changed");
  EXPECT_EQ(source.At(1).TranSuffix(), L">") << "a clone is independent";
}

TEST(TranslationOptions, SubkeyNamesUseTwoDigitsAtLeast) {
  EXPECT_EQ(OptionSubkeyName(L"", 1), L"\\TranslationOption01");
  EXPECT_EQ(OptionSubkeyName(L"", 100), L"\\TranslationOption100");
}

// The record copies the set's fields; KeepStyle is 1 only for style type 1,
// EditType is 1 for any non-zero edit type; the switches keep 64 bits.
TEST(TranslationOptionUDT, CopiesTheSetAndDerivesKeepStyleAndEditType) {
  const struct {
    std::int32_t keepStyleType, editType, keepStyle, edit;
  } cases[] = {{1, 5, 1, 1}, {2, 0, 0, 0}, {0, 1, 0, 1}};
  for (const auto& c : cases) {
    TranslationOption o;
    o.SetKeepStyleType(c.keepStyleType);
    o.SetEditType(c.editType);
    o.SetOutputDestType(0);
    o.SetFontHangul(L"Batang");
    o.SetIgnoresComment(1);
    o.SetPostMacroName(L"Post");
    o.SetTimeOutMSec(1000);
    TranslationOptionUDT r;
    CopyOptionToUDT(o, &r);
    EXPECT_EQ(r.KeepStyle, c.keepStyle) << c.keepStyleType;
    EXPECT_EQ(r.EditType, c.edit) << c.editType;
    EXPECT_EQ(std::tie(r.TranslationRange, r.OutputDestType, r.WindowAlign, r.IgnoresComment, r.TimeOutMSec),
              std::make_tuple(0, 0, 1, 1, 1000));
    EXPECT_EQ(r.FontHangul + L"|" + r.PostMacroName, L"Batang|Post");
  }
  FacadeSwitches s;
  s.DisplaysProgressBar = 1;
  s.DisplaysDocument = 1;
  s.ProgressTarget = 0x123456789LL;
  TranslationOptionUDT r;
  CopySwitchesToUDT(s, &r);
  EXPECT_EQ(std::tie(r.DisplaysProgressBar, r.DisplaysAlert, r.DisplaysDocument), std::make_tuple(1, 0, 1));
  EXPECT_EQ(r.ProgressTarget, 0x123456789LL);
}
