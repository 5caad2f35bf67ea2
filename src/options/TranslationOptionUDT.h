// The run option record: one option set together with the engine language
// pair and the facade's switches, built afresh for each command and passed by
// value to the translation layers. A default-constructed record is the empty
// record (strings empty, numbers 0).
//
// Fields whose option names begin with "_" drop the underscore here, as such
// names are reserved in C++.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/options/Glossary.h"
#include "src/options/TranslationOption.h"

namespace options {

struct TranslationOptionUDT {
  std::int32_t TranslationRange = 0;  // 0 all slides, 1 current slide, 2 selection
  std::int32_t OutputDestType = 0;
  std::int32_t WindowAlign = 0;
  std::int32_t DualPrint = 0;
  std::int32_t KeepStyle = 0;  // 1 when the set's KeepStyleType is 1
  std::int32_t DualPrintExpandShape = 0;
  std::int32_t ChangesOrigFontColor = 0;
  std::int32_t OrigFontColorValue = 0;
  std::int32_t ChangesTranFontColor = 0;
  std::int32_t TranFontColorValue = 0;
  std::wstring FontANSI;
  std::wstring FontSJIS;
  std::wstring FontHangul;
  std::wstring FontGB2312;
  std::wstring FontBig5;
  std::wstring FontRussian;
  std::wstring FontEastEurope;
  std::int32_t IgnoresMainText = 0;
  std::int32_t IgnoresFootNote = 0;
  std::int32_t IgnoresEndNote = 0;
  std::int32_t IgnoresComment = 0;
  std::int32_t IgnoresHeader = 0;
  std::int32_t IgnoresFooter = 0;
  std::int32_t IgnoresShape = 0;
  std::int32_t IgnoresWordArt = 0;
  std::int32_t EditType = 0;  // 1 when the set's _EditType is non-zero
  std::int32_t DualPrintDest = 0;
  std::wstring TranPrefix;
  std::wstring TranSuffix;
  std::int32_t UsesPreMacro = 0;
  std::int32_t UsesPostMacro = 0;
  std::wstring PreMacroName;
  std::wstring PostMacroName;
  std::int32_t NotLockField = 0;
  std::int32_t NotUpdateField = 0;
  std::int32_t NotClearUndo = 0;
  std::int32_t TimeOutMSec = 0;
  // The option set's glossary, read from its file when the command starts.
  std::vector<GlossaryTerm> GlossaryTerms;
  // The facade's switches: the first makes runs show the add-in's own progress
  // dialog, the third makes the translation window follow the walk.
  std::int32_t DisplaysProgressBar = 0;
  std::int32_t DisplaysAlert = 0;
  std::int32_t DisplaysDocument = 0;
  std::int64_t ProgressTarget = 0;
  // The engine language pair.
  std::wstring EngineGroup;
  std::wstring EngineID;
  std::wstring FromLang;
  std::wstring ToLang;
  std::int32_t FromCharset = 0;
  std::int32_t ToCharset = 0;
  std::int32_t FromLcid = 0;
  std::int32_t ToLcid = 0;
  std::wstring SentenceSeparator;  // put after each translated sentence
  std::wstring DisplayLanguage;    // the engine list's display language

  bool operator==(const TranslationOptionUDT&) const = default;
};

// The record's font for the target language's character set (ANSI,
// Shift-JIS, Hangul, GB2312, Big5, Cyrillic, Central European); null for
// any other set. An empty font means: keep the text's own.
const std::wstring* FontForCharset(const TranslationOptionUDT& record);

// The facade's part of the record.
struct FacadeSwitches {
  std::int32_t DisplaysProgressBar = 0;
  std::int32_t DisplaysAlert = 0;
  std::int32_t DisplaysDocument = 0;
  std::int64_t ProgressTarget = 0;
};

// Which texts beyond the slides' own a run translates, from the option set.
// They travel beside the run record rather than in it: the record's fields
// are the ones the engines were built against.
struct TranslatedParts {
  std::int32_t TranslatesCharts = 1;
  std::int32_t TranslatesAltText = 1;
  std::int32_t TranslatesLinkTips = 1;
  std::int32_t TranslatesMasters = 1;

  bool operator==(const TranslatedParts&) const = default;
};
TranslatedParts TranslatedPartsOf(const TranslationOption& set);

// Copies the option set's values (all but Name and _DualPrintLevel).
void CopyOptionToUDT(const TranslationOption& set, TranslationOptionUDT* record);
void CopySwitchesToUDT(const FacadeSwitches& switches, TranslationOptionUDT* record);

}  // namespace options
