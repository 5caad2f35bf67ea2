#include <gtest/gtest.h>

#include "src/options/TranslationOptionUDT.h"
#include "src/options/TranslationOptions.h"

using namespace options;

TEST(TranslationOptions, DuplicateNamesAreKeptAndLookupsReachTheFirst) {
  TranslationOptions opts;
  opts.Reset();
  TranslationOption* first = opts.Add(L"Dup");
  first->SetDualPrint(1);
  TranslationOption* again = opts.Add(L"Dup");
  EXPECT_EQ(opts.Count(), 3u);
  EXPECT_EQ(again, opts.Find(L"Dup"));
  EXPECT_EQ(again->DualPrint(), 1) << "Add returns the first set of that name";
  EXPECT_EQ(opts.At(2), [] {
    TranslationOption fresh;
    fresh.SetName(L"Dup");
    return fresh;
  }()) << "the second set starts from the defaults";
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
  EXPECT_EQ(OptionSubkeyName(L"", 99), L"\\TranslationOption99");
  EXPECT_EQ(OptionSubkeyName(L"", 100), L"\\TranslationOption100");
}

TEST(TranslationOptionUDT, CopiesTheSetAndDerivesKeepStyleAndEditType) {
  TranslationOption o;
  o.SetName(L"not carried");
  o.SetOutputDestType(0);
  o.SetKeepStyleType(1);
  o.SetEditType(5);
  o.SetDualPrintLevel(2);
  o.SetFontHangul(L"Batang");
  o.SetIgnoresComment(1);
  o.SetPostMacroName(L"Post");
  o.SetTimeOutMSec(1000);
  TranslationOptionUDT r;
  CopyOptionToUDT(o, &r);
  EXPECT_EQ(r.TranslationRange, 0);
  EXPECT_EQ(r.OutputDestType, 0);
  EXPECT_EQ(r.WindowAlign, 1);
  EXPECT_EQ(r.KeepStyle, 1);
  EXPECT_EQ(r.EditType, 1);
  EXPECT_EQ(r.FontHangul, L"Batang");
  EXPECT_EQ(r.IgnoresComment, 1);
  EXPECT_EQ(r.PostMacroName, L"Post");
  EXPECT_EQ(r.TimeOutMSec, 1000);

  o.SetKeepStyleType(0);
  o.SetEditType(0);
  CopyOptionToUDT(o, &r);
  EXPECT_EQ(r.KeepStyle, 0);
  EXPECT_EQ(r.EditType, 0);

  FacadeSwitches s;
  s.DisplaysProgressBar = 1;
  s.DisplaysDocument = 1;
  s.ProgressTarget = 0x123456789LL;
  CopySwitchesToUDT(s, &r);
  EXPECT_EQ(r.DisplaysProgressBar, 1);
  EXPECT_EQ(r.DisplaysAlert, 0);
  EXPECT_EQ(r.DisplaysDocument, 1);
  EXPECT_EQ(r.ProgressTarget, 0x123456789LL);
}
