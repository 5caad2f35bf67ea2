#include <gtest/gtest.h>

#include "src/host/pptx/PptxApplication.h"
#include "tests/common/TempDir.h"
#include "tests/host/DeckBuilder.h"
#include "tests/standin/Protocol.h"
#include "tests/standin/server/ObjectServer.h"

namespace {

using standin::Value;

TEST(StandInProtocol, ValuesSurviveTheLineAndBrokenTokensAreRefused) {
  Value array;
  array.type = Value::Type::Array;
  array.items = {Value::Int(-7), Value::String(""), Value()};
  Value nested;
  nested.type = Value::Type::Array;
  nested.items = {array, Value::Null()};
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

class ObjectServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    decktest::Deck d;
    d.slides.push_back(decktest::Sp(2, "Title", 0, 0, 900000, 300000, "Hello") +
                       decktest::Table(3, "Grid", 2,
                                       {decktest::Cell("Wide", " gridSpan=\"2\"") + decktest::Cell("", " hMerge=\"1\""),
                                        decktest::Cell("a") + decktest::Cell("b")}));
    decktest::Write(d, dir / "deck.pptx");
  }
  // The answer's value; fails the test on an error answer.
  Value Get(const std::string& request) {
    const std::string answer = server.Serve(request);
    EXPECT_EQ(answer.rfind("= ", 0), 0u) << request << " -> " << answer;
    size_t at = 1;
    Value v;
    Decode(standin::Tokens(answer), &at, &v);
    return v;
  }
  std::string Obj(const Value& v) { return std::to_string(v.handle); }
  // The first slide of the deck, opened.
  std::string Slide() {
    const Value presentations = Get("G 1 Presentations");
    const Value deck = Get("G " + Obj(presentations) + " Open " + Encode(Value::String((dir / "deck.pptx").string())));
    return Obj(Get("G " + Obj(Get("G " + Obj(deck) + " Slides")) + " Item i1"));
  }

  testsupport::TempDir dir;
  standin::ObjectServer server{host::pptx::CreateApplication()};
};

TEST_F(ObjectServerTest, MembersReachTheDocumentAndFailuresCarryTheHostsCode) {
  const std::string shapes = Obj(Get("G " + Slide() + " Shapes"));
  const Value title = Get("G " + shapes + " Item " + Encode(Value::String("Title")));
  ASSERT_EQ(title.s, "Shape");
  const std::string text = Obj(Get("G " + Obj(Get("G " + Obj(title) + " TextFrame")) + " TextRange"));
  EXPECT_EQ(Get("G " + text + " Text").s, "Hello");
  Get("P " + text + " Text " + Encode(Value::String("Grüße, Welt")));
  EXPECT_EQ(Get("G " + text + " Length").i, 11);
  EXPECT_EQ(Get("G " + Obj(Get("G " + text + " Characters i1 i5")) + " Text").s, "Grüße");
  // An array of names makes a range, in the order given.
  EXPECT_EQ(Get("G " + Obj(Get("G " + shapes + " Range [ sGrid sTitle ]")) + " Count").i, 2);

  struct Case {
    std::string request;
    const char* code;
  };
  for (const Case& c : std::vector<Case>{{"G " + shapes + " Item i9", "! 8002000B "},
                                         {"G " + shapes + " Item sNone", "! 80070057 "},
                                         {"G " + shapes + " Frobnicate", "! 80020003 "},
                                         {"G 999 Count", "! 80004005 "},
                                         {"G " + shapes + " Item s%4", "! 80070057 "},
                                         {"Z 1 Count", "! 80070057 "}}) {
    EXPECT_EQ(server.Serve(c.request).rfind(c.code, 0), 0u) << c.request << " -> " << server.Serve(c.request);
  }
  // A version given to the server is what Application.Version answers.
  EXPECT_EQ(standin::ObjectServer(host::pptx::CreateApplication(), L"9.0").Serve("G 1 Version"), "= s9.0");
  // A released object is gone; the others stay.
  const size_t live = server.LiveHandles();
  EXPECT_EQ(server.Serve("R " + text), "= n");
  EXPECT_EQ(server.LiveHandles(), live - 1);
  EXPECT_EQ(server.Serve("G " + text + " Text").rfind("! 80004005 ", 0), 0u);
}

TEST_F(ObjectServerTest, OneControlIsOneHandleAndANotesPageComesAsARange) {
  const std::string bars = Obj(Get("G 1 CommandBars"));
  const std::string menu = Obj(Get("G " + bars + " Item " + Encode(Value::String("Menu Bar"))));
  const Value added = Get("G " + Obj(Get("G " + menu + " Controls")) + " Add i1 - - - b1");
  Get("P " + Obj(added) + " Tag sMine");
  const Value found = Get("G " + bars + " FindControl - - sMine b0");
  EXPECT_EQ(found.handle, added.handle);
  EXPECT_EQ(Get("G " + bars + " FindControl - - sOther b0").type, Value::Type::Null);
  EXPECT_EQ(Get("G " + Obj(Get("G " + bars + " FindControls - - sMine")) + " Count").i, 1);
  // Released, the next lookup makes a new handle for it.
  server.Serve("R " + Obj(added));
  server.Serve("R " + Obj(found));
  EXPECT_NE(Get("G " + bars + " FindControl - - sMine b0").handle, added.handle);

  const std::string slide = Slide();
  const Value notes = Get("G " + slide + " NotesPage");
  ASSERT_EQ(notes.s, "NotesRange");
  const Value page = Get("G " + Obj(notes) + " Item i1");
  EXPECT_EQ(page.s, "Slide");
  EXPECT_EQ(Get("G " + Obj(page) + " SlideID").i, Get("G " + slide + " SlideID").i);
  EXPECT_EQ(server.Serve("G " + Obj(notes) + " Item i2").rfind("! 8002000B ", 0), 0u);
}

}  // namespace
