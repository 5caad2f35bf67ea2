#include "src/engine/LangCode.h"

#include <array>
#include <string_view>

namespace engine {

namespace {

std::wstring AsciiLowerCopy(const std::wstring& code) {
  std::wstring lower = code;
  for (wchar_t& c : lower)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return lower;
}

struct LangRow {
  std::wstring_view code;
  std::int32_t charset;
  std::int32_t codePage;
  std::uint32_t lcid;
};

constexpr std::array<LangRow, 19> kLangs{{
    {L"ja", 128, 932, 0x0411},
    {L"ko", 129, 949, 0x0412},
    {L"zh", 134, 936, 0x0804},
    {L"zh-cn", 134, 936, 0x0804},
    {L"zh-sg", 134, 936, 0x1004},
    {L"zh-hans", 134, 936, 0x0804},
    {L"zh-hant", 136, 950, 0x0404},
    {L"zh-tw", 136, 950, 0x0404},
    {L"zh-hk", 136, 950, 0x0C04},
    {L"zh-mo", 136, 950, 0x1404},
    {L"en", 0, 1252, 0x0409},
    {L"fr", 0, 1252, 0x040C},
    {L"de", 0, 1252, 0x0407},
    {L"it", 0, 1252, 0x0410},
    {L"pt", 0, 1252, 0x0816},
    {L"es", 0, 1252, 0x040A},
    {L"ru", 204, 1251, 0x0419},
    {L"uk", 204, 1251, 0x0422},
    {L"pl", 238, 1250, 0x0415},
}};
constexpr LangRow kDefault{L"", 0, 1252, 0x0409};

const LangRow& Find(const std::wstring& code) {
  std::wstring lower = AsciiLowerCopy(code);
  for (const LangRow& row : kLangs)
    if (row.code == lower) return row;
  return kDefault;
}

}  // namespace

std::wstring NormalizeLangCode(const std::wstring& code) {
  std::wstring lower = AsciiLowerCopy(code);
  if (lower == L"zh-cn" || lower == L"zh-sg") return L"zh-hans";
  if (lower == L"zh-tw" || lower == L"zh-hk" || lower == L"zh-mo") return L"zh-hant";
  return code;
}

std::int32_t LangCharset(const std::wstring& code) { return Find(code).charset; }

std::int32_t LangCodePage(const std::wstring& code) { return Find(code).codePage; }

std::uint32_t LangLcid(const std::wstring& code) { return Find(code).lcid; }

std::wstring SentenceSeparator(const std::wstring& code) {
  const LangRow& row = Find(code);
  // Japanese and every Chinese code share the property that sentences run on
  // without spaces; the table's charsets 128/134/136 identify exactly them.
  if (row.charset == 128 || row.charset == 134 || row.charset == 136) return L"";
  if (row.charset == 129) return L" ";
  return L"  ";
}

}  // namespace engine
