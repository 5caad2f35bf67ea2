// One named set of translation options, and its name/value encoding shared by
// the registry (RegistrySettings) and option files (OptionFile).
//
// Fields whose stored names begin with "_" are the hidden ones; their C++
// accessors drop the underscore because such names are reserved in C++.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace options {

// Value names as the registry and option files spell them.
namespace names {
inline constexpr const wchar_t* kOutputDestType = L"OutputDestType";
inline constexpr const wchar_t* kWindowAlign = L"WindowAlign";
inline constexpr const wchar_t* kKeepStyleType = L"KeepStyleType";
inline constexpr const wchar_t* kDualPrint = L"DualPrint";
inline constexpr const wchar_t* kDualPrintExpandShape = L"DualPrintExpandShape";
inline constexpr const wchar_t* kChangesOrigFontColor = L"ChangesOrigFontColor";
inline constexpr const wchar_t* kOrigFontColorValue = L"OrigFontColorValue";
inline constexpr const wchar_t* kChangesTranFontColor = L"ChangesTranFontColor";
inline constexpr const wchar_t* kTranFontColorValue = L"TranFontColorValue";
inline constexpr const wchar_t* kFontANSI = L"FontANSI";
inline constexpr const wchar_t* kFontSJIS = L"FontSJIS";
inline constexpr const wchar_t* kFontHangul = L"FontHangul";
inline constexpr const wchar_t* kFontGB2312 = L"FontGB2312";
inline constexpr const wchar_t* kFontBig5 = L"FontBig5";
inline constexpr const wchar_t* kFontRussian = L"FontRussian";
inline constexpr const wchar_t* kFontEastEurope = L"FontEastEurope";
inline constexpr const wchar_t* kName = L"Name";
inline constexpr const wchar_t* kGlossary = L"Glossary";
inline constexpr const wchar_t* kTranslatesCharts = L"TranslatesCharts";
inline constexpr const wchar_t* kTranslatesAltText = L"TranslatesAltText";
inline constexpr const wchar_t* kTranslatesLinkTips = L"TranslatesLinkTips";
inline constexpr const wchar_t* kTranslatesMasters = L"TranslatesMasters";
inline constexpr const wchar_t* kDualPrintDest = L"_DualPrintDest";
inline constexpr const wchar_t* kDualPrintLevel = L"_DualPrintLevel";
inline constexpr const wchar_t* kTranPrefix = L"_TranPrefix";
inline constexpr const wchar_t* kTranSuffix = L"_TranSuffix";
inline constexpr const wchar_t* kIgnoresMainText = L"_IgnoresMainText";
inline constexpr const wchar_t* kIgnoresFootNote = L"_IgnoresFootNote";
inline constexpr const wchar_t* kIgnoresEndNote = L"_IgnoresEndNote";
inline constexpr const wchar_t* kIgnoresComment = L"_IgnoresComment";
inline constexpr const wchar_t* kIgnoresHeader = L"_IgnoresHeader";
inline constexpr const wchar_t* kIgnoresFooter = L"_IgnoresFooter";
inline constexpr const wchar_t* kIgnoresShape = L"_IgnoresShape";
inline constexpr const wchar_t* kIgnoresWordArt = L"_IgnoresWordArt";
inline constexpr const wchar_t* kEditType = L"_EditType";
inline constexpr const wchar_t* kUsesPreMacro = L"_UsesPreMacro";
inline constexpr const wchar_t* kPreMacroName = L"_PreMacroName";
inline constexpr const wchar_t* kUsesPostMacro = L"_UsesPostMacro";
inline constexpr const wchar_t* kPostMacroName = L"_PostMacroName";
inline constexpr const wchar_t* kNotLockField = L"_NotLockField";
inline constexpr const wchar_t* kNotUpdateField = L"_NotUpdateField";
inline constexpr const wchar_t* kNotClearUndo = L"_NotClearUndo";
inline constexpr const wchar_t* kTimeOutMSec = L"_TimeOutMSec";
}  // namespace names

// Number of name/value pairs: the public ones, and all with the hidden ones.
inline constexpr int kPublicPairCount = 24;
inline constexpr int kAllPairCount = 45;

// GDI character sets of the seven font fields, in field order.
inline constexpr int kFontCharsets[7] = {0, 128, 129, 134, 136, 204, 238};

class TranslationOption {
 public:
  TranslationOption();  // every default of the option table

  std::int32_t OutputDestType() const { return mOutputDestType; }
  void SetOutputDestType(std::int32_t v) { mOutputDestType = v; }
  std::int32_t WindowAlign() const { return mWindowAlign; }
  void SetWindowAlign(std::int32_t v) { mWindowAlign = v; }
  std::int32_t KeepStyleType() const { return mKeepStyleType; }
  void SetKeepStyleType(std::int32_t v) { mKeepStyleType = v; }
  std::int32_t DualPrint() const { return mDualPrint; }
  void SetDualPrint(std::int32_t v) { mDualPrint = v; }
  std::int32_t DualPrintExpandShape() const { return mDualPrintExpandShape; }
  void SetDualPrintExpandShape(std::int32_t v) { mDualPrintExpandShape = v; }
  std::int32_t ChangesOrigFontColor() const { return mChangesOrigFontColor; }
  void SetChangesOrigFontColor(std::int32_t v) { mChangesOrigFontColor = v; }
  std::int32_t OrigFontColorValue() const { return mOrigFontColorValue; }
  void SetOrigFontColorValue(std::int32_t v) { mOrigFontColorValue = v; }
  std::int32_t ChangesTranFontColor() const { return mChangesTranFontColor; }
  void SetChangesTranFontColor(std::int32_t v) { mChangesTranFontColor = v; }
  std::int32_t TranFontColorValue() const { return mTranFontColorValue; }
  void SetTranFontColorValue(std::int32_t v) { mTranFontColorValue = v; }
  const std::wstring& FontANSI() const { return mFontANSI; }
  void SetFontANSI(std::wstring v) { mFontANSI = std::move(v); }
  const std::wstring& FontSJIS() const { return mFontSJIS; }
  void SetFontSJIS(std::wstring v) { mFontSJIS = std::move(v); }
  const std::wstring& FontHangul() const { return mFontHangul; }
  void SetFontHangul(std::wstring v) { mFontHangul = std::move(v); }
  const std::wstring& FontGB2312() const { return mFontGB2312; }
  void SetFontGB2312(std::wstring v) { mFontGB2312 = std::move(v); }
  const std::wstring& FontBig5() const { return mFontBig5; }
  void SetFontBig5(std::wstring v) { mFontBig5 = std::move(v); }
  const std::wstring& FontRussian() const { return mFontRussian; }
  void SetFontRussian(std::wstring v) { mFontRussian = std::move(v); }
  const std::wstring& FontEastEurope() const { return mFontEastEurope; }
  void SetFontEastEurope(std::wstring v) { mFontEastEurope = std::move(v); }
  const std::wstring& Name() const { return mName; }
  void SetName(std::wstring v) { mName = std::move(v); }
  // Path of the set's glossary file; empty when the set has none.
  const std::wstring& Glossary() const { return mGlossary; }
  void SetGlossary(std::wstring v) { mGlossary = std::move(v); }
  // Which texts beyond the slides' own a run translates: charts, alternative
  // text and shape titles, hyperlink screen tips, slide masters and layouts.
  std::int32_t TranslatesCharts() const { return mTranslatesCharts; }
  void SetTranslatesCharts(std::int32_t v) { mTranslatesCharts = v; }
  std::int32_t TranslatesAltText() const { return mTranslatesAltText; }
  void SetTranslatesAltText(std::int32_t v) { mTranslatesAltText = v; }
  std::int32_t TranslatesLinkTips() const { return mTranslatesLinkTips; }
  void SetTranslatesLinkTips(std::int32_t v) { mTranslatesLinkTips = v; }
  std::int32_t TranslatesMasters() const { return mTranslatesMasters; }
  void SetTranslatesMasters(std::int32_t v) { mTranslatesMasters = v; }
  std::int32_t DualPrintDest() const { return mDualPrintDest; }
  void SetDualPrintDest(std::int32_t v) { mDualPrintDest = v; }
  std::int32_t DualPrintLevel() const { return mDualPrintLevel; }
  void SetDualPrintLevel(std::int32_t v) { mDualPrintLevel = v; }
  const std::wstring& TranPrefix() const { return mTranPrefix; }
  void SetTranPrefix(std::wstring v) { mTranPrefix = std::move(v); }
  const std::wstring& TranSuffix() const { return mTranSuffix; }
  void SetTranSuffix(std::wstring v) { mTranSuffix = std::move(v); }
  std::int32_t IgnoresMainText() const { return mIgnoresMainText; }
  void SetIgnoresMainText(std::int32_t v) { mIgnoresMainText = v; }
  std::int32_t IgnoresFootNote() const { return mIgnoresFootNote; }
  void SetIgnoresFootNote(std::int32_t v) { mIgnoresFootNote = v; }
  std::int32_t IgnoresEndNote() const { return mIgnoresEndNote; }
  void SetIgnoresEndNote(std::int32_t v) { mIgnoresEndNote = v; }
  std::int32_t IgnoresComment() const { return mIgnoresComment; }
  void SetIgnoresComment(std::int32_t v) { mIgnoresComment = v; }
  std::int32_t IgnoresHeader() const { return mIgnoresHeader; }
  void SetIgnoresHeader(std::int32_t v) { mIgnoresHeader = v; }
  std::int32_t IgnoresFooter() const { return mIgnoresFooter; }
  void SetIgnoresFooter(std::int32_t v) { mIgnoresFooter = v; }
  std::int32_t IgnoresShape() const { return mIgnoresShape; }
  void SetIgnoresShape(std::int32_t v) { mIgnoresShape = v; }
  std::int32_t IgnoresWordArt() const { return mIgnoresWordArt; }
  void SetIgnoresWordArt(std::int32_t v) { mIgnoresWordArt = v; }
  std::int32_t EditType() const { return mEditType; }
  void SetEditType(std::int32_t v) { mEditType = v; }
  std::int32_t UsesPreMacro() const { return mUsesPreMacro; }
  void SetUsesPreMacro(std::int32_t v) { mUsesPreMacro = v; }
  const std::wstring& PreMacroName() const { return mPreMacroName; }
  void SetPreMacroName(std::wstring v) { mPreMacroName = std::move(v); }
  std::int32_t UsesPostMacro() const { return mUsesPostMacro; }
  void SetUsesPostMacro(std::int32_t v) { mUsesPostMacro = v; }
  const std::wstring& PostMacroName() const { return mPostMacroName; }
  void SetPostMacroName(std::wstring v) { mPostMacroName = std::move(v); }
  std::int32_t NotLockField() const { return mNotLockField; }
  void SetNotLockField(std::int32_t v) { mNotLockField = v; }
  std::int32_t NotUpdateField() const { return mNotUpdateField; }
  void SetNotUpdateField(std::int32_t v) { mNotUpdateField = v; }
  std::int32_t NotClearUndo() const { return mNotClearUndo; }
  void SetNotClearUndo(std::int32_t v) { mNotClearUndo = v; }
  std::int32_t TimeOutMSec() const { return mTimeOutMSec; }
  void SetTimeOutMSec(std::int32_t v) { mTimeOutMSec = v; }

  // Font field i (0..6, the order of kFontCharsets).
  const std::wstring& Font(int index) const;
  void SetFont(int index, std::wstring name);

  bool operator==(const TranslationOption&) const = default;

 private:
  friend struct OptionFieldAccess;

  std::int32_t mOutputDestType;
  std::int32_t mWindowAlign;
  std::int32_t mKeepStyleType;
  std::int32_t mDualPrint;
  std::int32_t mDualPrintExpandShape;
  std::int32_t mChangesOrigFontColor;
  std::int32_t mOrigFontColorValue;
  std::int32_t mChangesTranFontColor;
  std::int32_t mTranFontColorValue;
  std::wstring mFontANSI;
  std::wstring mFontSJIS;
  std::wstring mFontHangul;
  std::wstring mFontGB2312;
  std::wstring mFontBig5;
  std::wstring mFontRussian;
  std::wstring mFontEastEurope;
  std::wstring mName;
  std::wstring mGlossary;
  std::int32_t mTranslatesCharts;
  std::int32_t mTranslatesAltText;
  std::int32_t mTranslatesLinkTips;
  std::int32_t mTranslatesMasters;
  std::int32_t mDualPrintDest;
  std::int32_t mDualPrintLevel;
  std::wstring mTranPrefix;
  std::wstring mTranSuffix;
  std::int32_t mIgnoresMainText;
  std::int32_t mIgnoresFootNote;
  std::int32_t mIgnoresEndNote;
  std::int32_t mIgnoresComment;
  std::int32_t mIgnoresHeader;
  std::int32_t mIgnoresFooter;
  std::int32_t mIgnoresShape;
  std::int32_t mIgnoresWordArt;
  std::int32_t mEditType;
  std::int32_t mUsesPreMacro;
  std::wstring mPreMacroName;
  std::int32_t mUsesPostMacro;
  std::wstring mPostMacroName;
  std::int32_t mNotLockField;
  std::int32_t mNotUpdateField;
  std::int32_t mNotClearUndo;
  std::int32_t mTimeOutMSec;
};

// What kind of encoding a value name has; the command line and the options
// dialog use it to check a value before it is applied.
enum class OptionValueKind { Flag, Enum, Integer, ZeroOnly, Text };

struct OptionFieldInfo {
  const wchar_t* name;  // value name
  OptionValueKind kind;
  bool hidden;
  int pairIndex;                        // 0..44
  std::vector<std::int32_t> enumValues;  // Enum only
};

// The 43 fields in table order.
const std::vector<OptionFieldInfo>& OptionFields();
// The field of a value name (exact, case-sensitive), or nullptr.
const OptionFieldInfo* FindOptionField(const std::wstring& valueName);

// Checks that `value` is a well-formed encoding for the field ("True" or
// "False", one of the enum's digits, a whole number in automatic base that
// fits 32 bits, "0", or text without line breaks). `why` gets a one-line
// reason on failure.
bool IsValidOptionValue(const OptionFieldInfo& field, const std::wstring& value, std::wstring* why);

// Integer parsing with automatic base (0x hexadecimal, leading 0 octal,
// decimal otherwise), as strtol does: leading blanks and a sign are taken,
// parsing stops at the first character that does not belong, text that is no
// number gives 0, and values beyond 32 bits are clamped.
std::int32_t ParseAutoBaseInt(const std::wstring& text);

}  // namespace options
