#include <gtest/gtest.h>

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
// from it; a typo in one row of the table shows up here. Capital letters fold,
// ASCII ones only; unknown codes get the English defaults.
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
    {L"pl", 238, 1250, 1045, L"  "},      {L"ZH-TW", 136, 950, 1028, L""},
    {L"\u212Ao", 0, 1252, 1033, L"  "},   // KELVIN SIGN folds to "k" only under Unicode rules
    {L"pt-br", 0, 1252, 1033, L"  "},     {L"zh-", 0, 1252, 1033, L"  "},
    {L"", 0, 1252, 1033, L"  "},
};

TEST(LangCode, CodesMapToCharsetCodePageLcidAndSeparator) {
  for (const Expected& e : kTable) {
    SCOPED_TRACE(testing::Message() << "code index " << (&e - kTable));
    EXPECT_EQ(LangCharset(e.code), e.charset);
    EXPECT_EQ(LangCodePage(e.code), e.codePage);
    EXPECT_EQ(LangLcid(e.code), e.lcid);
    EXPECT_EQ(SentenceSeparator(e.code), e.separator);
  }
}

TEST(LangCode, NormalizeFoldsChineseRegionsIntoScriptsAndLeavesTheRest) {
  // Plain "zh", the script codes and other languages stay as they are.
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"zh-cn", L"zh-hans"}, {L"zh-sg", L"zh-hans"}, {L"zh-tw", L"zh-hant"}, {L"zh-hk", L"zh-hant"},
      {L"zh-mo", L"zh-hant"}, {L"zh", L"zh"},           {L"zh-hans", L"zh-hans"}, {L"zh-Hant", L"zh-Hant"},
      {L"EN", L"EN"},         {L"ZH-TW", L"zh-hant"},   {L"", L""}};
  for (const auto& [code, normal] : cases) EXPECT_EQ(NormalizeLangCode(code), normal) << code;
}

}  // namespace
