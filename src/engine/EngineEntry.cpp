#include "src/engine/EngineEntry.h"

#include <array>
#include <string_view>

#include "src/engine/LangCode.h"

namespace engine {

namespace {

std::wstring Trim(std::wstring_view text) {
  auto isSpace = [](wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' ||
           c == 0x3000 || c == 0x00A0;
  };
  size_t b = 0;
  size_t e = text.size();
  while (b < e && isSpace(text[b])) ++b;
  while (e > b && isSpace(text[e - 1])) --e;
  return std::wstring(text.substr(b, e - b));
}

}  // namespace

const std::wstring& EngineEntry::EngineKey() const {
  if (mEngineKey.empty() && !mEngineGroup.empty() && !mEngineID.empty()) {
    mEngineKey = mEngineGroup + L":" + mEngineID;
  }
  return mEngineKey;
}

std::int32_t EngineEntry::FromCharset() const {
  if (mFromCharset == -1) mFromCharset = LangCharset(mFromLang);
  return mFromCharset;
}

std::int32_t EngineEntry::ToCharset() const {
  if (mToCharset == -1) mToCharset = LangCharset(mToLang);
  return mToCharset;
}

std::int32_t EngineEntry::FromCodePage() const {
  if (mFromCodePage == -1) mFromCodePage = LangCodePage(mFromLang);
  return mFromCodePage;
}

std::int32_t EngineEntry::ToCodePage() const {
  if (mToCodePage == -1) mToCodePage = LangCodePage(mToLang);
  return mToCodePage;
}

std::int32_t EngineEntry::FromLcid() const {
  if (mFromLcid == -1) mFromLcid = LangLcid(mFromLang);
  return mFromLcid;
}

std::int32_t EngineEntry::ToLcid() const {
  if (mToLcid == -1) mToLcid = LangLcid(mToLang);
  return mToLcid;
}

void EngineEntry::DeriveNames() const {
  if (!mFromLangName.empty() || !mToLangName.empty()) return;
  static constexpr std::array<std::wstring_view, 3> kSeparators = {L" - ", L"\u2192", L"\u21D2"};
  for (std::wstring_view sep : kSeparators) {
    size_t at = mDisplayName.find(sep);
    if (at == std::wstring::npos) continue;
    mFromLangName = Trim(std::wstring_view(mDisplayName).substr(0, at));
    mToLangName = Trim(std::wstring_view(mDisplayName).substr(at + sep.size()));
    return;
  }
}

const std::wstring& EngineEntry::FromLangName() const {
  DeriveNames();
  return mFromLangName;
}

const std::wstring& EngineEntry::ToLangName() const {
  DeriveNames();
  return mToLangName;
}

}  // namespace engine
