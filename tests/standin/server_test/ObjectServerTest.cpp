#include <gtest/gtest.h>

#include "src/host/pptx/PptxApplication.h"
#include "tests/common/TempDir.h"
#include "tests/host/DeckBuilder.h"
#include "tests/standin/Protocol.h"
#include "tests/standin/server/ObjectServer.h"

namespace {

using standin::Value;

TEST(StandInProtocol, ValuesSurviveTheLineAndBrokenTokensAreRefused) {
  const Value nested = Value::Array({Value::Array({Value::Int(-7), Value::String(""), Value()}), Value::Null()});
  const std::vector<Value> values = {Value::Int(-2147483648LL), Value::Double(12.75), Value::Double(-0.1),
                                     Value::Bool(true), Value::String("two words\r\nand 100% ⟦日本⟧"),
                                     Value::String(""), Value::Object(42, "Shape"), Value(), Value::Null(), nested};
  std::string line;
  for (const auto& v : values) line += Encode(v) + " ";
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const auto tokens = standin::Tokens(line);
  size_t at = 0;
  for (const auto& expected : values) {
    Value got;
    ASSERT_TRUE(Decode(tokens, &at, &got)) << Encode(expected);
    // Encoding is one to one (texts escaped, numbers to 17 digits): equal
    // lines are equal values.
    EXPECT_EQ(Encode(got), Encode(expected));
  }
  EXPECT_EQ(at, tokens.size());
  for (const char* bad : {"s%4", "s%G0", "o0:Shape", "o3", "i12x", "i", "b2", "[ i1", "x1"}) {
    size_t start = 0;
    Value v;
    EXPECT_FALSE(Decode(standin::Tokens(bad), &start, &v)) << bad;
  }
}

// What a call reaches is the add-in's run over real decks under Wine
// (standin_e2e); here, how a call that cannot be served fails.
TEST(ObjectServer, FailuresCarryTheHostsCodeAndReleasedObjectsAreGone) {
  testsupport::TempDir dir;
  decktest::Deck d;
  d.slides.push_back(decktest::Sp(2, "Title", 0, 0, 900000, 300000, "Hello"));
  decktest::Write(d, dir / "deck.pptx");
  standin::ObjectServer server{host::pptx::CreateApplication()};
  // Each answer's handle: presentations, deck, slides, slide, shapes.
  const std::string open = "Open " + Encode(Value::String((dir / "deck.pptx").string()));
  std::string shapes = "1";
  for (const std::string& member : std::vector<std::string>{"Presentations", open, "Slides", "Item i1", "Shapes"}) {
    const std::string answer = server.Serve("G " + shapes + " " + member);
    ASSERT_EQ(answer.rfind("= o", 0), 0u) << member << " -> " << answer;
    shapes = answer.substr(3, answer.find(':') - 3);
  }
  for (const auto& [request, code] : std::vector<std::pair<std::string, const char*>>{
           {"G " + shapes + " Item i9", "! 8002000B "}, {"G " + shapes + " Item sNone", "! 80070057 "},
           {"G " + shapes + " Frobnicate", "! 80020003 "}, {"G 999 Count", "! 80004005 "},
           {"G " + shapes + " Item s%4", "! 80070057 "}, {"Z 1 Count", "! 80070057 "}}) {
    EXPECT_EQ(server.Serve(request).rfind(code, 0), 0u) << request << " -> " << server.Serve(request);
  }
  // A version given to the server is what Application.Version answers.
  EXPECT_EQ(standin::ObjectServer(host::pptx::CreateApplication(), L"9.0").Serve("G 1 Version"), "= s9.0");
  // A released object is gone; the others stay.
  const size_t live = server.LiveHandles();
  EXPECT_EQ(server.Serve("R " + shapes), "= n");
  EXPECT_EQ(server.LiveHandles(), live - 1);
  EXPECT_EQ(server.Serve("G " + shapes + " Count").rfind("! 80004005 ", 0), 0u);
}

}  // namespace
