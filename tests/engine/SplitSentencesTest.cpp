#include <gtest/gtest.h>

#include "src/engine/Engine.h"
#include "src/engine/SentenceSplitter.h"
#include "engines/fake/FakeEngine.h"

using engine::SplitIntoSentences;
using engine::TextSpan;

namespace {

std::vector<std::wstring> Pieces(const std::wstring& text, const std::vector<std::wstring>& abbreviations = {}) {
  std::vector<std::wstring> out;
  auto spans = SplitIntoSentences(text, abbreviations);
  EXPECT_TRUE(engine::SpansCoverText(spans, static_cast<std::int32_t>(text.size()))) << "spans must cover the text";
  for (const TextSpan& s : spans) out.push_back(text.substr(s.position, s.length));
  return out;
}

using V = std::vector<std::wstring>;

}  // namespace

TEST(SplitSentences, CutsAfterSentenceEndsAndKeepsBlanksWithTheNextSentence) {
  EXPECT_EQ(Pieces(L"The dog is big. It runs fast."), (V{L"The dog is big.", L" It runs fast."}));
  EXPECT_EQ(Pieces(L"Really? Yes! Fine."), (V{L"Really?", L" Yes!", L" Fine."}));
  EXPECT_EQ(Pieces(L"He said \"stop.\" Then left."), (V{L"He said \"stop.\"", L" Then left."}));
  EXPECT_EQ(Pieces(L"Wait... what?"), (V{L"Wait...", L" what?"}));
}

TEST(SplitSentences, DoesNotCutInsideNumbersOrDottedWords) {
  EXPECT_EQ(Pieces(L"Pi is 3.14 roughly. Next."), (V{L"Pi is 3.14 roughly.", L" Next."}));
  EXPECT_EQ(Pieces(L"See www.example.com today"), (V{L"See www.example.com today"}));
}

TEST(SplitSentences, LineEndsStayAtTheEndOfTheirSegment) {
  EXPECT_EQ(Pieces(L"First line\x0BSecond line"), (V{L"First line\x0B", L"Second line"}));
  EXPECT_EQ(Pieces(L"One.\r\n\r\nTwo."), (V{L"One.\r\n\r\n", L"Two."}));
  // Blanks between a full stop and a line end stay before the line end.
  EXPECT_EQ(Pieces(L"One. \x0BTwo."), (V{L"One. \x0B", L"Two."}));
  // A blank line of its own keeps both its blanks and its line end.
  EXPECT_EQ(Pieces(L"A\x0B \x0B" L"B"), (V{L"A\x0B", L" \x0B", L"B"}));
}

TEST(SplitSentences, FullWidthMarksCutWithoutAFollowingBlank) {
  EXPECT_EQ(Pieces(L"\x72AC\x3002\x732B\x3002"), (V{L"\x72AC\x3002", L"\x732B\x3002"}));
  EXPECT_EQ(Pieces(L"\x672C\x5F53\xFF1F\x300D\x306F\x3044"), (V{L"\x672C\x5F53\xFF1F\x300D", L"\x306F\x3044"}));
}

TEST(SplitSentences, AbbreviationsAreNoSentenceEnd) {
  V abbreviations{L"Mr.", L"e.g.", L"U.S."};
  EXPECT_EQ(Pieces(L"Mr. Smith came. He sat.", abbreviations), (V{L"Mr. Smith came.", L" He sat."}));
  EXPECT_EQ(Pieces(L"Fruit, e.g. apples. More.", abbreviations), (V{L"Fruit, e.g. apples.", L" More."}));
  EXPECT_EQ(Pieces(L"In the U.S. today. Yes.", abbreviations), (V{L"In the U.S. today.", L" Yes."}));
  // Without the table the same full stop ends a sentence.
  EXPECT_EQ(Pieces(L"Mr. Smith came."), (V{L"Mr.", L" Smith came."}));
  // An entry only matches a whole word: "Dr." does not protect "Mudr.".
  EXPECT_EQ(Pieces(L"Go Mudr. Now.", V{L"dr."}), (V{L"Go Mudr.", L" Now."}));
  EXPECT_EQ(Pieces(L"xMr. Smith.", abbreviations), (V{L"xMr.", L" Smith."}));
}

TEST(SplitSentences, EdgeTexts) {
  EXPECT_TRUE(SplitIntoSentences(L"", {}).empty());
  EXPECT_EQ(Pieces(L"no end mark"), (V{L"no end mark"}));
  EXPECT_EQ(Pieces(L"."), (V{L"."}));
  EXPECT_EQ(Pieces(L"\x0B\x0B"), (V{L"\x0B\x0B"}));
  EXPECT_EQ(Pieces(L"   "), (V{L"   "}));
}

TEST(SplitSentences, SpansCoverTextRejectsGapsOverlapsAndShortCoverage) {
  EXPECT_TRUE(engine::SpansCoverText({{0, 2}, {2, 3}}, 5));
  EXPECT_FALSE(engine::SpansCoverText({{0, 2}, {3, 2}}, 5));
  EXPECT_FALSE(engine::SpansCoverText({{0, 3}, {2, 3}}, 5));
  EXPECT_FALSE(engine::SpansCoverText({{0, 2}}, 5));
  EXPECT_FALSE(engine::SpansCoverText({{0, 0}, {0, 5}}, 5));
}

class EngineSplitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    impl = &side.AddImplementation(L"FakeMT");
    impl->AddPair({L"en-es", L"en", L"es", 0x9, L"English - Spanish", L"Fake MT", L"Fake"});
  }
  // Opens the pair with the engine splitting into the given spans.
  void OpenSplittingInto(std::vector<engine_server::SentenceSpan> spans) {
    impl->SetSplitter([spans](const std::wstring&) { return spans; });
    ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  }
  std::vector<std::wstring> Sources(const std::wstring& text, std::int32_t start, std::int32_t end) {
    std::vector<engine::TranslationSegment> segs;
    EXPECT_TRUE(eng.SplitSentences(text, start, end, &segs));
    std::vector<std::wstring> out;
    for (const auto& s : segs) out.push_back(s.source);
    return out;
  }
  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation* impl = nullptr;
  engine::Engine eng{engine::Engine::Connectors{
      {}, {}, [](const std::wstring&, std::vector<std::wstring>* e) {
        *e = {L"Mr."};
        return true;
      }}};
};

TEST_F(EngineSplitTest, WithoutAnEngineTheOwnSplitterGivesPositionsInTheEnclosingText) {
  std::vector<engine::TranslationSegment> segs;
  ASSERT_TRUE(eng.SplitSentences(L"One. Two.", 10, 18, &segs));
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[0].source, L"One.");
  EXPECT_EQ(segs[0].start, 10);
  EXPECT_EQ(segs[0].end, 13);
  EXPECT_EQ(segs[1].source, L" Two.");
  EXPECT_EQ(segs[1].start, 14);
  EXPECT_EQ(segs[1].end, 18);
  EXPECT_FALSE(segs[0].translation.has_value());

  ASSERT_TRUE(eng.SplitSentences(L"", 0, -1, &segs));
  EXPECT_TRUE(segs.empty());
}

TEST_F(EngineSplitTest, OpeningLoadsTheSourceLanguagesAbbreviations) {
  ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L"", L"en"));
  EXPECT_EQ(Sources(L"Mr. Smith sat. Ok.", 0, 17), (std::vector<std::wstring>{L"Mr. Smith sat.", L" Ok."}));
}

TEST_F(EngineSplitTest, TheEnginesOwnSplittingComesFirst) {
  impl->SetSplitter([](const std::wstring& text) {
    // Cuts every four characters, whatever the text says.
    std::vector<engine_server::SentenceSpan> spans;
    for (LONG p = 0; p < static_cast<LONG>(text.size()); p += 4)
      spans.push_back({p, std::min<LONG>(4, static_cast<LONG>(text.size()) - p)});
    return spans;
  });
  ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  std::vector<engine::TranslationSegment> segs;
  ASSERT_TRUE(eng.SplitSentences(L"abcdefghij", 5, 14, &segs));
  ASSERT_EQ(segs.size(), 3u);
  EXPECT_EQ(segs[1].source, L"efgh");
  EXPECT_EQ(segs[1].start, 9);
  EXPECT_EQ(segs[2].end, 14);
}

// Line ends stay at the end of their segment: one at the front of an
// engine's sentence goes to the sentence before, and a sentence holding
// line ends is cut after each run of them (the engine would take them for
// blanks, and the paragraphs would run together).
TEST_F(EngineSplitTest, EngineSpansKeepLineEndsAtTheEndOfTheirSegments) {
  OpenSplittingInto({{0, 3}, {3, 4}});
  EXPECT_EQ(Sources(L"One\x0B" L"Two", 0, 6), (std::vector<std::wstring>{L"One\x0B", L"Two"}));
  OpenSplittingInto({{0, 11}, {11, 7}});
  EXPECT_EQ(Sources(L"One\rTwo\x0B\x0B" L"End. Fin\r", 0, 17),
            (std::vector<std::wstring>{L"One\r", L"Two\x0B\x0B", L"En", L"d. Fin\r"}));
}

TEST_F(EngineSplitTest, BrokenEngineSpansFallBackToTheOwnSplitter) {
  OpenSplittingInto({{0, 2}, {5, 100}});
  EXPECT_EQ(Sources(L"One. Two.", 0, 8), (std::vector<std::wstring>{L"One.", L" Two."}));
}
