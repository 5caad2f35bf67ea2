#include <gtest/gtest.h>

#include <cwchar>

#include "src/engine/LangCode.h"

using namespace engine;

namespace {

struct Expected {
  const wchar_t* code;
  std::int32_t charset;
  std::int32_t codePage;
  std::uint32_t lcid;
  const wchar_t* separator;
};

// Every known code with everything the engine list and the option set derive
// from it; a typo in one row of the table shows up here.
const Expected kTable[] = {
    {L"ja", 128, 932, 1041, L""},         {L"ko", 129, 949, 1042, L" "},
    {L"zh", 134, 936, 2052, L""},         {L"zh-cn", 134, 936, 2052, L""},
    {L"zh-sg", 134, 936, 4100, L""},      {L"zh-hans", 134, 936, 2052, L""},
    {L"zh-hant", 136, 950, 1028, L""},    {L"zh-tw", 136, 950, 1028, L""},
    {L"zh-hk", 136, 950, 3076, L""},      {L"zh-mo", 136, 950, 5124, L""},
    {L"en", 0, 1252, 1033, L"  "},        {L"fr", 0, 1252, 1036, L"  "},
    {L"de", 0, 1252, 1031, L"  "},        {L"it", 0, 1252, 1040, L"  "},
    {L"pt", 0, 1252, 2070, L"  "},        {L"es", 0, 1252, 1034, L"  "},
    {L"ru", 204, 1251, 1049, L"  "},      {L"uk", 204, 1251, 1058, L"  "},
    {L"pl", 238, 1250, 1045, L"  "},
};

TEST(LangCode, KnownCodesMapToCharsetCodePageLcidAndSeparator) {
  for (const Expected& e : kTable) {
    SCOPED_TRACE(testing::Message() << "code index " << (&e - kTable));
    EXPECT_EQ(LangCharset(e.code), e.charset);
    EXPECT_EQ(LangCodePage(e.code), e.codePage);
    EXPECT_EQ(LangLcid(e.code), e.lcid);
    EXPECT_EQ(SentenceSeparator(e.code), e.separator);
  }
}

TEST(LangCode, CapitalLettersFoldOnlyAsciiCase) {
  EXPECT_EQ(NormalizeLangCode(L"ZH-TW"), L"zh-hant");
  EXPECT_EQ(LangCharset(L"ZH-TW"), 136);
  EXPECT_EQ(LangCodePage(L"Zh-Tw"), 950);
  EXPECT_EQ(LangLcid(L"ZH-TW"), 1028u);
  EXPECT_EQ(SentenceSeparator(L"JA"), L"");
  // A non-ASCII letter that folds to "k" under Unicode rules (KELVIN SIGN)
  // must not be taken for Korean.
  EXPECT_EQ(LangLcid(L"\u212Ao"), 1033u);
  EXPECT_EQ(SentenceSeparator(L"\u212Ao"), L"  ");
}

TEST(LangCode, NormalizeFoldsChineseRegionsIntoScriptsAndLeavesTheRest) {
  // Plain "zh", the script codes and other languages stay as they are.
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"zh-cn", L"zh-hans"}, {L"zh-sg", L"zh-hans"}, {L"zh-tw", L"zh-hant"}, {L"zh-hk", L"zh-hant"},
      {L"zh-mo", L"zh-hant"}, {L"zh", L"zh"},           {L"zh-hans", L"zh-hans"}, {L"zh-Hant", L"zh-Hant"},
      {L"EN", L"EN"},         {L"", L""}};
  for (const auto& [code, normal] : cases) EXPECT_EQ(NormalizeLangCode(code), normal) << code;
}

TEST(LangCode, UnknownCodesGetTheEnglishDefaults) {
  for (const wchar_t* code : {L"pt-br", L"xx", L"", L"ja-jp", L"english", L"zh-"}) {
    SCOPED_TRACE(testing::Message() << "unknown code #" << wcslen(code));
    EXPECT_EQ(LangCharset(code), 0);
    EXPECT_EQ(LangCodePage(code), 1252);
    EXPECT_EQ(LangLcid(code), 1033u);
    EXPECT_EQ(SentenceSeparator(code), L"  ");
  }
}

}  // namespace
