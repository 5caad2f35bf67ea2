#include "engines/apertium/ApertiumFormat.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace apertium;
using engine_server::TextRange;

TEST(ApertiumFormatTest, DeformatEscapesReservedCharactersMarksWordsAndEndsWithTheMarker) {
  std::string chunk = Deformat(L"a[b]^c$/d\\@<e>{f}*", nullptr, 7);
  EXPECT_EQ("a\\[b\\]\\^c\\$\\/d\\\\\\@\\<e\\>\\{f\\}*[\\[pelorant-end-7\\]].[]", chunk);
  // Words given are marked.
  std::wstring source = L"The big dog.";
  auto words = FindWords(source);
  EXPECT_EQ("[[w:0]]The[[/]] [[w:1]]big[[/]] [[w:2]]dog[[/]].[\\[pelorant-end-7\\]].[]", Deformat(source, &words, 7));
}

// Both round trips keep every character of a source the pipeline left alone.
TEST(ApertiumFormatTest, ControlAndPlaceholderCharactersTravelAsSuperblanksAndNulIsDropped) {
  // The Private Use Area's first and last characters, and the one after it.
  std::wstring text = L"a\tb\nc\xE000\xF8FF\xF900";
  text.push_back(L'\0');
  EXPECT_EQ("a[\t]b[\n]c[\xEE\x80\x80][\xEF\xA3\xBF]\xEF\xA4\x80[\\[pelorant-end-7\\]].[]",
            Deformat(text, nullptr, 7));
  EXPECT_EQ(L"a\tb\nc\xE000\xF8FF\xF900", Reformat(Deformat(text, nullptr, 7), 0, 7).text);
  const std::wstring reserved = L"Price: <5$> [approx] {a/b} \\ @home\u00e9.";
  EXPECT_EQ(reserved, Reformat(Deformat(reserved, nullptr, 7), 0, 7).text);
}

// The text up to this request's marker, which must be there: another
// request's marker is an answer out of step.
TEST(ApertiumFormatTest, ReformatRestoresTheTextUpToTheRequestsOwnMarker) {
  // The chunk, whether it is complete, whether it is out of step, its text.
  const std::tuple<const char*, bool, bool, const wchar_t*> cases[] = {
      {"Hola \\[x\\] \\^ mundo.[\n]fin.[\\[pelorant-end-7\\]].[]", true, false, L"Hola [x] ^ mundo.\nfin."},
      {"Hola.", false, false, nullptr},
      {"Uno.[\\[pelorant-end-6\\]].[]", false, true, nullptr},                          // a late or repeated answer
      {"Uno.[\\[pelorant-end-71\\]].[]", false, true, nullptr},                         // the number must match as a whole
      {"Uno.[\\[pelorant-end-6\\]]Dos.[\\[pelorant-end-7\\]].[]", false, true, nullptr},  // two answers run together
      {"Uno.[\\[pelorant-end-7\\]]Dos.[\\[pelorant-end-8\\]].[]", false, true, nullptr},  // ours, then another's
      {"Uno.[\\[pelorant-end-\\]].[]", false, true, nullptr},
  };
  for (const auto& [chunk, complete, outOfStep, text] : cases) {
    Reformatted r = Reformat(chunk, 0, 7);
    EXPECT_EQ(std::pair(r.complete, r.outOfStep), std::pair(complete, outOfStep)) << chunk;
    if (text) {
      EXPECT_EQ(r.text, text) << chunk;
    }
  }
}

TEST(ApertiumFormatTest, WordsAreLetterAndDigitRunsWithInnerApostrophesAndHyphens) {
  const std::wstring text = L"It's a well-known fact, 42 'x'.";
  std::vector<std::wstring> words;
  for (const auto& w : FindWords(text)) words.push_back(text.substr(w.position, w.length));
  EXPECT_EQ(words, (std::vector<std::wstring>{L"It's", L"a", L"well-known", L"fact", L"42", L"x"}));
}

// What the pipeline gives back becomes the text and one group a source word
// the marks name: reordered words, unknown or malformed marks ignored, blanks
// the pipeline added at the ends trimmed with the marks moved along (those of
// the source kept).
TEST(ApertiumFormatTest, WordMarksBecomeCorrespondenceGroups) {
  // The source's words, the chunk, the source for trimming (none: no trim),
  // the text, each group's source and translation range.
  const std::tuple<std::vector<SourceWord>, const char*, const wchar_t*, const wchar_t*, std::vector<TextRange>>
      cases[] = {
      {{{0, 3}, {4, 3}, {8, 3}}, "[[w:0]]El[[/]] [[w:2]]perro[[/]] [[w:1]]grande[[/]].[\\[pelorant-end-7\\]].[]",
       nullptr, L"El perro grande.", {{0, 3}, {0, 2}, {4, 3}, {9, 6}, {8, 3}, {3, 5}}},
      {{{0, 3}}, "[[w:7]]x[[/]] [[t:b]]y[[/]] [[w:0]]z[[/]][\\[pelorant-end-7\\]].[]", nullptr, L"x y z",
       {{0, 3}, {4, 1}}},
      {{{0, 2}, {3, 1}}, " [[w:0]]Es[[/]] [[w:1]]un[[/]] [\\[pelorant-end-7\\]].[]", L"It a", L"Es un",
       {{0, 2}, {0, 2}, {3, 1}, {3, 2}}},
      {{}, "  Hola [\\[pelorant-end-7\\]].[]", L"  Hello ", L"  Hola ", {}},
  };
  for (const auto& [words, chunk, trimFor, text, ranges] : cases) {
    SCOPED_TRACE(chunk);
    Reformatted r = Reformat(chunk, words.size(), 7);
    if (trimFor) TrimAddedBlanks(trimFor, &r);
    EXPECT_EQ(r.text, text);
    std::vector<TextRange> seen;
    for (const auto& g : CorrespondenceGroups(words, r)) seen.insert(seen.end(), {g.source.at(0), g.translation.at(0)});
    EXPECT_EQ(seen, ranges);
  }
}

TEST(ApertiumFormatTest, LanguageCodesMapToTheAddinsCodes) {
  std::wstring codes;
  for (const wchar_t* code : {L"eng", L"spa", L"eng_US", L"por_BR", L"ast"}) codes += LanguageCode(code) + L" ";
  EXPECT_EQ(codes, L"en es en-us pt-br ast ");
  EXPECT_EQ(L"English - Spanish - English (US)",
            LanguageName(L"eng") + L" - " + LanguageName(L"spa") + L" - " + LanguageName(L"eng_US"));
}

