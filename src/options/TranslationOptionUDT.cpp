#include "src/options/TranslationOptionUDT.h"

namespace options {

void CopyOptionToUDT(const TranslationOption& set, TranslationOptionUDT* r) {
  r->OutputDestType = set.OutputDestType();
  r->WindowAlign = set.WindowAlign();
  r->DualPrint = set.DualPrint();
  r->KeepStyle = set.KeepStyleType() == 1 ? 1 : 0;
  r->DualPrintExpandShape = set.DualPrintExpandShape();
  r->ChangesOrigFontColor = set.ChangesOrigFontColor();
  r->OrigFontColorValue = set.OrigFontColorValue();
  r->ChangesTranFontColor = set.ChangesTranFontColor();
  r->TranFontColorValue = set.TranFontColorValue();
  r->FontANSI = set.FontANSI();
  r->FontSJIS = set.FontSJIS();
  r->FontHangul = set.FontHangul();
  r->FontGB2312 = set.FontGB2312();
  r->FontBig5 = set.FontBig5();
  r->FontRussian = set.FontRussian();
  r->FontEastEurope = set.FontEastEurope();
  r->IgnoresMainText = set.IgnoresMainText();
  r->IgnoresFootNote = set.IgnoresFootNote();
  r->IgnoresEndNote = set.IgnoresEndNote();
  r->IgnoresComment = set.IgnoresComment();
  r->IgnoresHeader = set.IgnoresHeader();
  r->IgnoresFooter = set.IgnoresFooter();
  r->IgnoresShape = set.IgnoresShape();
  r->IgnoresWordArt = set.IgnoresWordArt();
  r->EditType = set.EditType() != 0 ? 1 : 0;
  r->DualPrintDest = set.DualPrintDest();
  r->TranPrefix = set.TranPrefix();
  r->TranSuffix = set.TranSuffix();
  r->UsesPreMacro = set.UsesPreMacro();
  r->UsesPostMacro = set.UsesPostMacro();
  r->PreMacroName = set.PreMacroName();
  r->PostMacroName = set.PostMacroName();
  r->NotLockField = set.NotLockField();
  r->NotUpdateField = set.NotUpdateField();
  r->NotClearUndo = set.NotClearUndo();
  r->TimeOutMSec = set.TimeOutMSec();
}

TranslatedParts TranslatedPartsOf(const TranslationOption& set) {
  return {set.TranslatesCharts(), set.TranslatesAltText(), set.TranslatesLinkTips(), set.TranslatesMasters()};
}

const std::wstring* FontForCharset(const TranslationOptionUDT& r) {
  switch (r.ToCharset) {
    case 0: return &r.FontANSI;
    case 128: return &r.FontSJIS;
    case 129: return &r.FontHangul;
    case 134: return &r.FontGB2312;
    case 136: return &r.FontBig5;
    case 204: return &r.FontRussian;
    case 238: return &r.FontEastEurope;
    default: return nullptr;
  }
}

void CopySwitchesToUDT(const FacadeSwitches& s, TranslationOptionUDT* r) {
  r->DisplaysProgressBar = s.DisplaysProgressBar;
  r->DisplaysAlert = s.DisplaysAlert;
  r->DisplaysDocument = s.DisplaysDocument;
  r->ProgressTarget = s.ProgressTarget;
}

}  // namespace options
