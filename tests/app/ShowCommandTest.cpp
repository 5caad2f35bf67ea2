// `pelorant show` prints every text as the document holds it, however long.
#include <gtest/gtest.h>

#include "apps/pelorant/Json.h"
#include "tests/app/CallMain.h"
#include "tests/common/TempDir.h"
#include "tests/host/DeckBuilder.h"

namespace {

// A text box whose paragraphs hold the given texts (already XML-escaped).
std::string TextBox(const std::vector<std::string>& paragraphs) {
  std::string body = "<p:txBody><a:bodyPr/><a:lstStyle/>";
  for (const std::string& p : paragraphs) body += "<a:p><a:r><a:rPr lang=\"en-US\"/><a:t>" + p + "</a:t></a:r></a:p>";
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Box\"/><p:cNvSpPr txBox=\"1\"/><p:nvPr/></p:nvSpPr><p:spPr>" +
         decktest::Xfrm(0, 0, 127000, 127000) + "</p:spPr>" + body + "</p:txBody></p:sp>";
}

apptest::Outcome Show(const testsupport::TempDir& dir, const std::vector<std::string>& paragraphs, bool json) {
  decktest::Deck d;
  d.slides = {TextBox(paragraphs)};
  decktest::Write(d, dir / "deck.pptx");
  std::vector<std::string> args{"show", (dir / "deck.pptx").string()};
  if (json) args.insert(args.begin() + 1, "--json");
  return apptest::Call(args);
}

}  // namespace

// The text goes out in slices of 65,536 characters; with characters that
// JSON escapes, a tab, one outside the BMP and paragraph marks spread over
// them, nothing is lost, doubled or escaped otherwise at their edges.
TEST(ShowCommand, AJsonTextOfManySlicesIsWholeAndEscapedAlike) {
  testsupport::TempDir dir;
  const std::string unit = "ab&quot;c\\\t\xF0\x9F\x98\x80\xC3\xA9&amp;&lt;d";  // 11 characters
  const std::string plain = "ab\"c\\\t\xF0\x9F\x98\x80\xC3\xA9&<d";
  std::vector<std::string> paragraphs, expected;
  for (int p = 0; p < 3; ++p) {
    std::string xml, text;
    for (int i = 0; i < 7001 + p; ++i) {
      xml += unit;
      text += plain;
    }
    paragraphs.push_back(xml);
    expected.push_back(text);
  }
  apptest::Outcome r = Show(dir, paragraphs, true);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string shown = app::JsonValue::parse(r.out)["slides"][0]["shapes"][0]["text"];
  // Compared whole rather than printed: a difference would print 400 kB.
  const std::string whole = expected[0] + "\r" + expected[1] + "\r" + expected[2];
  EXPECT_TRUE(shown == whole) << shown.size() << " bytes shown of " << whole.size();
}

// The tree shows the first 59 characters and an ellipsis once a text is
// longer than 60.
TEST(ShowCommand, TheTreeCutsTextsLongerThanSixty) {
  struct Case { int length; bool cut; } cases[] = {{60, false}, {61, true}, {5000, true}};
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    apptest::Outcome r = Show(dir, {std::string(c.length, 'x')}, false);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string line = c.cut ? std::string(59, 'x') + "\xE2\x80\xA6\"" : std::string(60, 'x') + "\"";
    EXPECT_NE(r.out.find("Box: \"" + line + "\n"), std::string::npos) << c.length << ": " << r.out;
  }
}
