#include "src/options/TranslationOption.h"

#include <cstdint>
#include <cwctype>
#include <limits>
#include <stdexcept>

#include "src/options/TranslationOptions.h"

namespace options {

TranslationOption::TranslationOption()
    : mOutputDestType(1),
      mWindowAlign(1),
      mKeepStyleType(1),
      mDualPrint(0),
      mDualPrintExpandShape(0),
      mChangesOrigFontColor(0),
      mOrigFontColorValue(128),
      mChangesTranFontColor(1),
      mTranFontColorValue(128),
      mFontANSI(L"Arial"),
      mFontSJIS(L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"),  // ＭＳ Ｐゴシック
      mFontHangul(L"Gulim"),
      mFontGB2312(L"SimSun"),
      mFontBig5(L"MingLiU"),
      mFontRussian(L"Arial"),
      mFontEastEurope(L"Arial"),
      mTranslatesCharts(1),
      mTranslatesAltText(1),
      mTranslatesLinkTips(1),
      mTranslatesMasters(1),
      mDualPrintDest(0),
      mDualPrintLevel(0),
      mIgnoresMainText(0),
      mIgnoresFootNote(0),
      mIgnoresEndNote(0),
      mIgnoresComment(0),
      mIgnoresHeader(0),
      mIgnoresFooter(0),
      mIgnoresShape(0),
      mIgnoresWordArt(0),
      mEditType(0),
      mUsesPreMacro(0),
      mPreMacroName(L"fncPreMacro"),
      mUsesPostMacro(0),
      mPostMacroName(L"fncPostMacro"),
      mNotLockField(0),
      mNotUpdateField(0),
      mNotClearUndo(0),
      mTimeOutMSec(-1) {}

const std::wstring& TranslationOption::Font(int index) const {
  switch (index) {
    case 0: return mFontANSI;
    case 1: return mFontSJIS;
    case 2: return mFontHangul;
    case 3: return mFontGB2312;
    case 4: return mFontBig5;
    case 5: return mFontRussian;
    case 6: return mFontEastEurope;
  }
  throw std::out_of_range("font index");
}

void TranslationOption::SetFont(int index, std::wstring name) {
  const_cast<std::wstring&>(Font(index)) = std::move(name);
}

// The table that ties each value name to its field; the name/value encoding
// and the command line both run over it.
struct OptionFieldAccess {
  OptionFieldInfo info;
  std::int32_t TranslationOption::*number = nullptr;
  std::wstring TranslationOption::*text = nullptr;

  static const std::vector<OptionFieldAccess>& Table();
};

namespace {
using K = OptionValueKind;
using TO = TranslationOption;

OptionFieldAccess Num(const wchar_t* name, K kind, bool hidden, int pair, std::int32_t TO::*field,
                      std::vector<std::int32_t> enums = {}) {
  OptionFieldAccess a{{name, kind, hidden, pair, std::move(enums)}, field, nullptr};
  return a;
}
OptionFieldAccess Txt(const wchar_t* name, bool hidden, int pair, std::wstring TO::*field) {
  OptionFieldAccess a{{name, K::Text, hidden, pair, {}}, nullptr, field};
  return a;
}
}  // namespace

const std::vector<OptionFieldAccess>& OptionFieldAccess::Table() {
  namespace n = names;
  static const std::vector<OptionFieldAccess> table = {
      Num(n::kOutputDestType, K::Enum, false, 1, &TO::mOutputDestType, {0, 1}),
      Num(n::kWindowAlign, K::Enum, false, 2, &TO::mWindowAlign, {0, 1, 2}),
      Num(n::kKeepStyleType, K::Enum, false, 3, &TO::mKeepStyleType, {0, 1}),
      Num(n::kDualPrint, K::Flag, false, 5, &TO::mDualPrint),
      Num(n::kDualPrintExpandShape, K::Flag, false, 6, &TO::mDualPrintExpandShape),
      Num(n::kChangesOrigFontColor, K::Flag, false, 7, &TO::mChangesOrigFontColor),
      Num(n::kOrigFontColorValue, K::Integer, false, 8, &TO::mOrigFontColorValue),
      Num(n::kChangesTranFontColor, K::Flag, false, 9, &TO::mChangesTranFontColor),
      Num(n::kTranFontColorValue, K::Integer, false, 10, &TO::mTranFontColorValue),
      Txt(n::kFontANSI, false, 17, &TO::mFontANSI),
      Txt(n::kFontSJIS, false, 18, &TO::mFontSJIS),
      Txt(n::kFontHangul, false, 19, &TO::mFontHangul),
      Txt(n::kFontGB2312, false, 20, &TO::mFontGB2312),
      Txt(n::kFontBig5, false, 21, &TO::mFontBig5),
      Txt(n::kFontRussian, false, 22, &TO::mFontRussian),
      Txt(n::kFontEastEurope, false, 23, &TO::mFontEastEurope),
      Txt(n::kName, false, 0, &TO::mName),
      // A slot that was empty: programs that predate the glossary skip the
      // name, and the pair counts that stored sets rely on stay as they were.
      Txt(n::kGlossary, false, 11, &TO::mGlossary),
      // Empty slots too, for the same reason; a set stored before them has no
      // value and keeps the default, so it goes on translating these texts.
      Num(n::kTranslatesCharts, K::Flag, false, 12, &TO::mTranslatesCharts),
      Num(n::kTranslatesAltText, K::Flag, false, 13, &TO::mTranslatesAltText),
      Num(n::kTranslatesLinkTips, K::Flag, false, 14, &TO::mTranslatesLinkTips),
      Num(n::kTranslatesMasters, K::Flag, false, 15, &TO::mTranslatesMasters),
      Num(n::kDualPrintDest, K::Enum, true, 24, &TO::mDualPrintDest, {0, 1, 2}),
      Num(n::kDualPrintLevel, K::ZeroOnly, true, 25, &TO::mDualPrintLevel),
      Txt(n::kTranPrefix, true, 26, &TO::mTranPrefix),
      Txt(n::kTranSuffix, true, 27, &TO::mTranSuffix),
      Num(n::kIgnoresMainText, K::Flag, true, 28, &TO::mIgnoresMainText),
      Num(n::kIgnoresFootNote, K::Flag, true, 29, &TO::mIgnoresFootNote),
      Num(n::kIgnoresEndNote, K::Flag, true, 30, &TO::mIgnoresEndNote),
      Num(n::kIgnoresComment, K::Flag, true, 31, &TO::mIgnoresComment),
      Num(n::kIgnoresHeader, K::Flag, true, 32, &TO::mIgnoresHeader),
      Num(n::kIgnoresFooter, K::Flag, true, 33, &TO::mIgnoresFooter),
      Num(n::kIgnoresShape, K::Flag, true, 34, &TO::mIgnoresShape),
      Num(n::kIgnoresWordArt, K::Flag, true, 35, &TO::mIgnoresWordArt),
      Num(n::kEditType, K::Enum, true, 36, &TO::mEditType, {0, 1}),
      Num(n::kUsesPreMacro, K::Flag, true, 37, &TO::mUsesPreMacro),
      Txt(n::kPreMacroName, true, 38, &TO::mPreMacroName),
      Num(n::kUsesPostMacro, K::Flag, true, 39, &TO::mUsesPostMacro),
      Txt(n::kPostMacroName, true, 40, &TO::mPostMacroName),
      Num(n::kNotLockField, K::Flag, true, 41, &TO::mNotLockField),
      Num(n::kNotUpdateField, K::Flag, true, 42, &TO::mNotUpdateField),
      Num(n::kNotClearUndo, K::Flag, true, 43, &TO::mNotClearUndo),
      Num(n::kTimeOutMSec, K::Integer, true, 44, &TO::mTimeOutMSec),
  };
  return table;
}

const std::vector<OptionFieldInfo>& OptionFields() {
  static const std::vector<OptionFieldInfo> infos = [] {
    std::vector<OptionFieldInfo> v;
    for (const auto& a : OptionFieldAccess::Table()) v.push_back(a.info);
    return v;
  }();
  return infos;
}

const OptionFieldInfo* FindOptionField(const std::wstring& valueName) {
  for (const auto& f : OptionFields()) {
    if (valueName == f.name) return &f;
  }
  return nullptr;
}

namespace {

// Digits of `text` from `pos` in automatic base, as strtol reads them.
// Returns false when no digit was taken; `end` is where reading stopped.
bool ScanAutoBase(const std::wstring& text, size_t pos, bool* negative, std::int64_t* value,
                  size_t* end) {
  *negative = false;
  if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
    *negative = text[pos] == L'-';
    ++pos;
  }
  int base = 10;
  if (pos < text.size() && text[pos] == L'0') {
    auto hexDigit = [](wchar_t c) {
      return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
    };
    if (pos + 2 < text.size() && (text[pos + 1] == L'x' || text[pos + 1] == L'X') &&
        hexDigit(text[pos + 2])) {
      base = 16;
      pos += 2;
    } else {
      base = 8;
    }
  }
  const std::int64_t cap = std::int64_t{1} << 40;  // far beyond 32 bits: clamped below
  std::int64_t v = 0;
  size_t start = pos;
  for (; pos < text.size(); ++pos) {
    wchar_t c = text[pos];
    int d;
    if (c >= L'0' && c <= L'9') d = c - L'0';
    else if (c >= L'a' && c <= L'f') d = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F') d = c - L'A' + 10;
    else break;
    if (d >= base) break;
    v = v * base + d;
    if (v > cap) v = cap;
  }
  *value = v;
  *end = pos;
  return pos > start;
}

std::int32_t Clamp32(bool negative, std::int64_t magnitude) {
  std::int64_t v = negative ? -magnitude : magnitude;
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

}  // namespace

std::int32_t ParseAutoBaseInt(const std::wstring& text) {
  size_t pos = 0;
  while (pos < text.size() && std::iswspace(text[pos])) ++pos;
  bool negative;
  std::int64_t magnitude;
  size_t end;
  if (!ScanAutoBase(text, pos, &negative, &magnitude, &end)) return 0;
  return Clamp32(negative, magnitude);
}

bool IsValidOptionValue(const OptionFieldInfo& field, const std::wstring& value, std::wstring* why) {
  auto fail = [&](std::wstring reason) {
    if (why) *why = std::move(reason);
    return false;
  };
  switch (field.kind) {
    case OptionValueKind::Flag:
      if (value == L"True" || value == L"False") return true;
      return fail(std::wstring(field.name) + L" takes True or False");
    case OptionValueKind::Enum: {
      std::wstring list;
      for (std::int32_t e : field.enumValues) {
        if (value == std::to_wstring(e)) return true;
        if (!list.empty()) list += L", ";
        list += std::to_wstring(e);
      }
      return fail(std::wstring(field.name) + L" takes one of " + list);
    }
    case OptionValueKind::ZeroOnly:
      if (value == L"0") return true;
      return fail(std::wstring(field.name) + L" takes only 0");
    case OptionValueKind::Integer: {
      bool negative;
      std::int64_t magnitude;
      size_t end;
      if (!ScanAutoBase(value, 0, &negative, &magnitude, &end) || end != value.size()) {
        return fail(std::wstring(field.name) +
                    L" takes a whole number (decimal, 0x hexadecimal or 0 octal)");
      }
      std::int64_t v = negative ? -magnitude : magnitude;
      if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min()) {
        return fail(std::wstring(field.name) + L" takes a number that fits 32 bits");
      }
      return true;
    }
    case OptionValueKind::Text:
      if (value.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos) {
        return fail(std::wstring(field.name) + L" cannot hold a line break");
      }
      return true;
  }
  return fail(L"unknown field");
}

bool TranslationOptions::ToNameValue(const TranslationOption& set, std::vector<std::wstring>* names,
                                     std::vector<std::wstring>* values, bool includeHidden) {
  if (names == nullptr || values == nullptr) return false;
  const size_t count = includeHidden ? kAllPairCount : kPublicPairCount;
  names->assign(count, std::wstring());
  values->assign(count, std::wstring());
  for (const auto& a : OptionFieldAccess::Table()) {
    if (a.info.pairIndex >= static_cast<int>(count)) continue;
    std::wstring text;
    if (a.text != nullptr) {
      text = set.*a.text;
    } else {
      std::int32_t v = set.*a.number;
      switch (a.info.kind) {
        case K::Flag: text = v != 0 ? L"True" : L"False"; break;
        case K::Integer: text = std::to_wstring(v); break;
        case K::ZeroOnly: if (v == 0) text = L"0"; break;
        case K::Enum:
          for (std::int32_t e : a.info.enumValues) {
            if (v == e) text = std::to_wstring(e);
          }
          break;
        case K::Text: break;
      }
    }
    (*names)[a.info.pairIndex] = a.info.name;
    (*values)[a.info.pairIndex] = std::move(text);
  }
  return true;
}

bool TranslationOptions::FromNameValue(TranslationOption* set, const std::vector<std::wstring>& names,
                                       const std::vector<std::wstring>& values) {
  if (set == nullptr || names.size() != values.size()) return false;
  const auto& table = OptionFieldAccess::Table();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    for (const auto& a : table) {
      if (names[i] != a.info.name) continue;
      const std::wstring& value = values[i];
      if (a.text != nullptr) {
        set->*a.text = value;
        break;
      }
      std::int32_t& field = set->*a.number;
      switch (a.info.kind) {
        case K::Flag: field = value == L"True" ? 1 : 0; break;
        case K::Integer: field = ParseAutoBaseInt(value); break;
        case K::ZeroOnly: if (value == L"0") field = 0; break;
        case K::Enum:
          for (std::int32_t e : a.info.enumValues) {
            if (value == std::to_wstring(e)) field = e;
          }
          break;
        case K::Text: break;
      }
      break;
    }
  }
  return true;
}

}  // namespace options
