// How a text is cut: into sentences, and around the stretches that must not
// be translated.
#include <gtest/gtest.h>

#include <cwchar>

#include "src/engine/Engine.h"
#include "src/engine/ProtectedText.h"
#include "src/engine/SentenceSplitter.h"
#include "tests/engine/EngineCacheTestEnv.h"

using engine::ProtectedSpan;

namespace {

using V = std::vector<std::wstring>;

V Pieces(const std::wstring& text, const V& abbreviations = {}) {
  V out;
  auto spans = engine::SplitIntoSentences(text, abbreviations);
  EXPECT_TRUE(engine::SpansCoverText(spans, static_cast<std::int32_t>(text.size()))) << "spans must cover the text";
  for (const engine::TextSpan& s : spans) out.push_back(text.substr(s.position, s.length));
  return out;
}

// The protected stretches of a text, as the texts they cover.
V Found(const std::wstring& text, const std::vector<options::GlossaryTerm>& glossary = {}) {
  V out;
  for (const ProtectedSpan& s : engine::FindProtectedSpans(text, glossary)) out.push_back(text.substr(s.position, s.length));
  return out;
}

}  // namespace

// Sentence ends cut, blanks go with the next sentence and line ends stay at
// the end of theirs; numbers, dotted words and abbreviations (whole words
// only) are no end.
TEST(SplitSentences, Table) {
  const V abbreviations{L"Mr.", L"e.g."};
  // What is cut, the text, its pieces, the abbreviations known.
  const std::tuple<const char*, const wchar_t*, V, V> cases[] = {
      {"full stop", L"The dog is big. It runs fast.", {L"The dog is big.", L" It runs fast."}, {}},
      {"marks", L"Really? Yes! Fine.", {L"Really?", L" Yes!", L" Fine."}, {}},
      {"quote", L"He said \"stop.\" Then left.", {L"He said \"stop.\"", L" Then left."}, {}},
      {"ellipsis", L"Wait... what?", {L"Wait...", L" what?"}, {}},
      {"number", L"Pi is 3.14 roughly. Next.", {L"Pi is 3.14 roughly.", L" Next."}, {}},
      {"a letter after the stop ends the text", L"See x.y", {L"See x.y"}, {}},
      {"line end", L"First line\x0BSecond line", {L"First line\x0B", L"Second line"}, {}},
      {"blank lines", L"One.\r\n\r\nTwo.", {L"One.\r\n\r\n", L"Two."}, {}},
      {"blanks before a line end", L"One. \x0BTwo.", {L"One. \x0B", L"Two."}, {}},
      {"full-width", L"\x72AC\x3002\x732B\x3002", {L"\x72AC\x3002", L"\x732B\x3002"}, {}},
      {"full-width quote", L"\x672C\x5F53\xFF1F\x300D\x306F\x3044", {L"\x672C\x5F53\xFF1F\x300D", L"\x306F\x3044"}, {}},
      {"Mr.", L"Mr. Smith came. He sat.", {L"Mr. Smith came.", L" He sat."}, abbreviations},
      {"e.g.", L"Fruit, e.g. apples. More.", {L"Fruit, e.g. apples.", L" More."}, abbreviations},
      {"no table", L"Mr. Smith came.", {L"Mr.", L" Smith came."}, {}},
      {"word before", L"xMr. Smith.", {L"xMr.", L" Smith."}, abbreviations},
      {"empty", L"", {}, {}},
      {"no end mark", L"no end mark", {L"no end mark"}, {}},
  };
  for (const auto& [what, text, pieces, table] : cases) EXPECT_EQ(Pieces(text, table), pieces) << what;
}

TEST(SplitSentences, SpansCoverTextRejectsGapsOverlapsAndShortCoverage) {
  // Whole; a gap; an overlap; short; an empty span.
  EXPECT_EQ(std::vector<bool>({engine::SpansCoverText({{0, 2}, {2, 3}}, 5), engine::SpansCoverText({{0, 2}, {3, 2}}, 5),
                               engine::SpansCoverText({{0, 3}, {2, 3}}, 5), engine::SpansCoverText({{0, 2}}, 5),
                               engine::SpansCoverText({{0, 0}, {0, 5}}, 5)}),
            std::vector<bool>({true, false, false, false, false}));
}

// The engine here has "Mr." for every language's abbreviations.
class EngineSplitTest : public enginetest::FakeSideTest {
 protected:
  // Opens the pair with the engine splitting into the given spans.
  void OpenSplittingInto(std::vector<engine_server::SentenceSpan> spans) {
    impl->SetSplitter([spans](const std::wstring&) { return spans; });
    ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  }
  // The segments' sources, each with "@start-end" (and "=translation" when
  // it has one) when asked.
  V Sources(const std::wstring& text, std::int32_t start, std::int32_t end, bool positions = false) {
    std::vector<engine::TranslationSegment> segs;
    EXPECT_TRUE(eng.SplitSentences(text, start, end, &segs));
    V out;
    for (const auto& s : segs) {
      out.push_back(s.source);
      if (!positions) continue;
      out.back() += L"@" + std::to_wstring(s.start) + L"-" + std::to_wstring(s.end);
      if (s.translation) out.back() += L"=" + *s.translation;
    }
    return out;
  }
  engine::Engine eng{engine::Engine::Connectors{
      {}, {}, [](const std::wstring&, std::vector<std::wstring>* e) {
        *e = {L"Mr."};
        return true;
      }}};
};

// The own splitter without an engine, or the engine's own splitting when it
// has one, gives positions in the enclosing text.
TEST_F(EngineSplitTest, SegmentsHavePositionsInTheEnclosingTextAndOpeningLoadsAbbreviations) {
  EXPECT_EQ(Sources(L"One. Two.", 10, 18, true), (V{L"One.@10-13", L" Two.@14-18"}));
  EXPECT_EQ(Sources(L"One.", 0, 3, true), V{L"One.@0-3"});
  EXPECT_EQ(Sources(L"", 0, -1), V{});
  // Opening loads the source language's abbreviations.
  ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L"", L"en"));
  EXPECT_EQ(Sources(L"Mr. Smith sat. Ok.", 0, 17), (V{L"Mr. Smith sat.", L" Ok."}));

  OpenSplittingInto({{0, 4}, {4, 4}, {8, 2}});
  EXPECT_EQ(Sources(L"abcdefghij", 5, 14, true), (V{L"abcd@5-8", L"efgh@9-12", L"ij@13-14"}));
}

// Line ends stay at the end of their segment: one at the front of an
// engine's sentence goes to the sentence before, and a sentence holding
// line ends is cut after each run of them (the engine would take them for
// blanks, and the paragraphs would run together). Spans that do not cover
// the text fall back to the own splitter.
TEST_F(EngineSplitTest, EngineSpansKeepLineEndsAtTheEndOfTheirSegmentsOrFallBack) {
  // The engine's spans, the text, the segments' sources.
  const std::tuple<std::vector<engine_server::SentenceSpan>, const wchar_t*, V> cases[] = {
      {{{0, 3}, {3, 4}}, L"One\x0B" L"Two", {L"One\x0B", L"Two"}},
      {{{0, 11}, {11, 7}}, L"One\rTwo\x0B\x0B" L"End. Fin\r", {L"One\r", L"Two\x0B\x0B", L"En", L"d. Fin\r"}},
      {{{0, 2}, {5, 100}}, L"One. Two.", {L"One.", L" Two."}},
  };
  for (const auto& [spans, text, sources] : cases) {
    OpenSplittingInto(spans);
    const auto end = static_cast<std::int32_t>(std::wcslen(text)) - 1;
    EXPECT_EQ(Sources(text, 0, end), sources) << sources.size();
  }
}

// Addresses, paths, symbols and glossary terms, without the sentence around
// them; a glossary term carries its target.
TEST(ProtectedTextTest, AddressesPathsSymbolsAndGlossaryTermsAreFound) {
  const std::vector<options::GlossaryTerm> glossary = {
      {L"Pelorant", L""}, {L"Office", L"Oficina central"}, {L"Office Tools", L"OT"}, {L"C++", L""}};
  // The text, the stretches found.
  const std::pair<const wchar_t*, V> cases[] = {
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
      // Glossary terms match whole words as written, the longest first.
      {L"Pelorant and the office use Pelorants.", {L"Pelorant"}},
      {L"xPelorant", {}},
      {L"Office Tools, the Office and C++.", {L"Office Tools", L"Office", L"C++"}},
  };
  for (const auto& [text, found] : cases) EXPECT_EQ(Found(text, glossary), found) << text;
  EXPECT_EQ(engine::FindProtectedSpans(L"the Office.", glossary), (std::vector<ProtectedSpan>{{4, 6, L"Oficina central"}}));
  EXPECT_FALSE(engine::FindProtectedSpans(L"Pelorant", glossary)[0].replacement.has_value()) << "no target: kept as written";
}

TEST(ProtectedTextTest, HeldSpansWinOverlapsAndEverythingComesInOrder) {
  std::vector<ProtectedSpan> held = {{10, 5, std::nullopt, true}};
  std::vector<ProtectedSpan> found = {{0, 3, std::nullopt, false}, {12, 8, std::nullopt, false}, {20, 2, L"x", false}};
  EXPECT_EQ(engine::MergeProtectedSpans(held, found),
            (std::vector<ProtectedSpan>{{0, 3, std::nullopt, false}, {10, 5, std::nullopt, true}, {20, 2, L"x", false}}));
}
