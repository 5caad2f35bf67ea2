#include <gtest/gtest.h>

#include <tuple>

#include "src/options/TranslationOptionUDT.h"
#include "src/options/TranslationOptions.h"
#include "tests/options/Render.h"

using namespace options;
using optionstest::Render;

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
  EXPECT_FALSE(opts.Remove(L"default"));
  EXPECT_FALSE(opts.Remove(L"missing"));
  EXPECT_TRUE(opts.Remove(L"Dup"));
  EXPECT_TRUE(opts.Remove(L"Dup"));
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
