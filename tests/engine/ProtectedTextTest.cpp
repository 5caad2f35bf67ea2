#include <gtest/gtest.h>

#include <iterator>

#include "src/engine/ProtectedText.h"

using engine::FindProtectedSpans;
using engine::MergeProtectedSpans;
using engine::ProtectedSpan;

namespace {

// The protected stretches of a text, as the texts they cover.
std::vector<std::wstring> Found(const std::wstring& text, const std::vector<options::GlossaryTerm>& glossary = {}) {
  std::vector<std::wstring> out;
  for (const ProtectedSpan& s : FindProtectedSpans(text, glossary)) out.push_back(text.substr(s.position, s.length));
  return out;
}

}  // namespace

TEST(ProtectedTextTest, AddressesPathsAndSymbolsAreFoundWithoutTheSentenceAroundThem) {
  const struct {
    const wchar_t* text;
    std::vector<std::wstring> found;
  } cases[] = {
      {L"See https://intranet.example.com/office/teams/Tools?a=1.", {L"https://intranet.example.com/office/teams/Tools?a=1"}},
      {L"Go to www.example.org, then log in.", {L"www.example.org"}},
      {L"(see http://x.org/a_(b))", {L"http://x.org/a_(b)"}},
      {L"Mail help.desk@example.com or mailto:a@b.co.uk!", {L"help.desk@example.com", L"mailto:a@b.co.uk"}},
      {L"Open C:\\Users\\Public\\Report.docx; then \\\\server\\share\\x.", {L"C:\\Users\\Public\\Report.docx", L"\\\\server\\share\\x"}},
      {L"Logs are in /var/log/app/ and (/etc/hosts).", {L"/var/log/app/", L"/etc/hosts"}},
      {L"Symbol \xF0A7 here", {L"\xF0A7"}},
      // Words with slashes, dates, abbreviations and bare domains stay text.
      {L"and/or km/h 1/2/2024 e.g. i.e. example.com user@", {}},
      {L"foo.www.example.com", {}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Found(cases[i].text), cases[i].found);
  }
}

TEST(ProtectedTextTest, GlossaryTermsMatchWholeWordsAsWrittenAndCarryTheirTarget) {
  const std::vector<options::GlossaryTerm> glossary = {
      {L"Pelorant", L""}, {L"Office", L"Oficina central"}, {L"Office Tools", L"OT"}, {L"C++", L""}};
  EXPECT_EQ(Found(L"Pelorant and the office use Pelorants.", glossary), (std::vector<std::wstring>{L"Pelorant"}));
  EXPECT_EQ(Found(L"xPelorant", glossary), std::vector<std::wstring>{});
  EXPECT_EQ(Found(L"Office Tools, the Office and C++.", glossary),
            (std::vector<std::wstring>{L"Office Tools", L"Office", L"C++"}));
  auto spans = FindProtectedSpans(L"the Office.", glossary);
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0].replacement, L"Oficina central");
  EXPECT_FALSE(FindProtectedSpans(L"Pelorant", glossary)[0].replacement.has_value()) << "no target: kept as written";
}

TEST(ProtectedTextTest, HeldSpansWinOverlapsAndEverythingComesInOrder) {
  std::vector<ProtectedSpan> held = {{10, 5, std::nullopt, true}};
  std::vector<ProtectedSpan> found = {{0, 3, std::nullopt, false}, {12, 8, std::nullopt, false}, {20, 2, L"x", false}};
  auto merged = MergeProtectedSpans(held, found);
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[0].position, 0);
  EXPECT_TRUE(merged[1].held);
  EXPECT_EQ(merged[2].position, 20);
}
