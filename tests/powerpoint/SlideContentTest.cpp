#include <algorithm>
#include <string>
#include <vector>

#include "RunFixture.h"
#include "host/Comments.h"
#include "host/Shapes.h"
#include "host/Slides.h"
#include "host/TextRange.h"

using namespace runtest;

namespace {

class SlideContent : public RunFixture {
 protected:
  // A deck whose first slide has three comments, the first with two
  // replies, opened as source and target.
  void OpenCommented(int version) {
    decktest::Deck d;
    d.slides = {Box(2, "Box", Para({{"Slide text.", ""}}))};
    decktest::Write(d, dir / "plain.pptx");
    {
      auto maker = host::pptx::CreateApplication();
      auto deck = maker->Presentations()->Open(W(dir / "plain.pptx"), false, false, false);
      auto comments = deck->Slides()->Item(1)->Comments();
      auto first = comments->Add(10, 20, L"Ana Lima", L"AL", L"First note.");
      comments->Add(30, 40, L"Bo Berg", L"BB", L"Second note.");
      comments->Add(50, 60, L"Ana Lima", L"AL", L"Third note.");
      first->Replies()->Add(0, 0, L"Bo Berg", L"BB", L"A reply.");
      first->Replies()->Add(0, 0, L"Cy Dahl", L"CD", L"Another reply.");
      deck->SaveAs(W(dir / "commented.pptx"));
    }
    OpenFile(dir / "commented.pptx", version);
  }
  bool TranslateComments() {
    return powerpoint::TranslateSlideComment(ctx, work->Slides()->Item(1)->Comments(),
                                             tran->Slides()->Item(1)->Comments());
  }
  struct Seen {
    std::wstring author, text;
    float left, top;
    bool operator==(const Seen&) const = default;
  };
  static std::vector<Seen> Read(const host::Ptr<host::Comments>& comments) {
    std::vector<Seen> out;
    for (int i = 1; i <= comments->Count(); ++i) {
      auto c = comments->Item(i);
      out.push_back({c->Author(), c->Text(), c->Left(), c->Top()});
    }
    return out;
  }
  std::vector<Seen> TargetComments() { return Read(tran->Slides()->Item(1)->Comments()); }
  std::vector<Seen> TargetReplies(int comment) {
    return Read(tran->Slides()->Item(1)->Comments()->Item(comment)->Replies());
  }
};

TEST_F(SlideContent, MergedTableAreaIsTranslatedOnceAtItsTopLeftCell) {
  using decktest::Cell;
  Open({decktest::Table(2, "Grid", 3,
                        {Cell("A", " gridSpan=\"2\" rowSpan=\"2\"") + Cell("", " hMerge=\"1\" rowSpan=\"2\"") + Cell("B"),
                         Cell("", " gridSpan=\"2\" vMerge=\"1\"") + Cell("", " hMerge=\"1\" vMerge=\"1\"") + Cell("C"),
                         Cell("D") + Cell("E") + Cell("F")})});
  impl->SetTranslator(Bracket);
  ASSERT_TRUE(powerpoint::TranslateShape_Table(ctx, Source("Grid"), Target("Grid")));
  auto table = Target("Grid")->Table();
  auto text = [&](int r, int c) { return table->Cell(r, c)->Shape()->TextFrame2()->TextRange()->Text(); };
  EXPECT_EQ(text(1, 1), L"[A]");
  EXPECT_EQ(text(2, 2), L"[A]");
  EXPECT_EQ(text(1, 3), L"[B]");
  EXPECT_EQ(text(3, 2), L"[E]");
  // Column by column, and the merged area once.
  EXPECT_EQ(SentTexts(), (std::vector<std::wstring>{L"A", L"D", L"E", L"B", L"C", L"F"}));
}

TEST_F(SlideContent, CommentsAndRepliesKeepOrderAuthorsAndPositions) {
  for (int version : {16, 11}) {
    SCOPED_TRACE(version);
    OpenCommented(version);
    ASSERT_TRUE(TranslateComments());
    EXPECT_EQ(TargetComments(), (std::vector<Seen>{{L"Ana Lima", L"FIRST NOTE.", 10, 20},
                                                   {L"Bo Berg", L"SECOND NOTE.", 30, 40},
                                                   {L"Ana Lima", L"THIRD NOTE.", 50, 60}}));
    // Hosts without replies of their own still keep them, untranslated.
    std::vector<std::wstring> replies;
    for (const Seen& r : TargetReplies(1)) replies.push_back(r.author + L": " + r.text);
    const std::vector<std::wstring> translated{L"Bo Berg: A REPLY.", L"Cy Dahl: ANOTHER REPLY."};
    const std::vector<std::wstring> kept{L"Bo Berg: A reply.", L"Cy Dahl: Another reply."};
    EXPECT_EQ(replies, version >= 15 ? translated : kept);
    EXPECT_EQ(stats.comments, version >= 15 ? 5 : 3);
    stats = {};
  }
}

// The engine answers the second comment with nothing while the user cancels:
// that comment and the one after keep their text, none is lost.
TEST_F(SlideContent, CommentsKeepTheirSourceWhenTheTranslationComesBackEmpty) {
  OpenCommented(16);
  impl->SetTranslator([this](const std::wstring& s) -> std::wstring {
    if (s != L"Second note.") return L"<" + s + L">";
    appCommon.SetCancel(true);
    return L"";
  });
  ASSERT_TRUE(TranslateComments());
  EXPECT_EQ(TargetComments(), (std::vector<Seen>{{L"Ana Lima", L"<First note.>", 10, 20},
                                                 {L"Bo Berg", L"Second note.", 30, 40},
                                                 {L"Ana Lima", L"Third note.", 50, 60}}));
  EXPECT_EQ(TargetReplies(1).size(), 2u);
  EXPECT_EQ(stats.comments, 3);
  EXPECT_EQ(stats.segmentsLeft[L"cancelled"], 2);

  // Still cancelled: nothing is translated and the target is not touched.
  OpenCommented(16);
  impl->ClearRecord();
  ASSERT_TRUE(TranslateComments());
  EXPECT_TRUE(impl->Translations().empty());
  EXPECT_EQ(TargetComments()[0].text, L"First note.");
}

TEST_F(SlideContent, WordArtTextsInEveryLayout) {
  struct Case {
    std::string source;
    int dualPrint, dest;
    std::wstring expected;
  };
  const Case cases[] = {
      {"Big Sale", 0, 0, L"BIG SALE"},
      {"Big Sale", 1, 0, L"Big Sale\rBIG SALE"},
      {"Big Sale", 1, 1, L"Big SaleBIG SALE"},
      {"Big Sale", 1, 2, L"Big SaleBIG SALE"},
      {"", 0, 0, L" "},  // a text effect cannot be empty
  };
  const std::string bodyPr = "<a:bodyPr fromWordArt=\"1\"><a:prstTxWarp prst=\"textPlain\"/></a:bodyPr>";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Open({Box(2, "Art", c.source.empty() ? "<a:p/>" : Para({{c.source, ""}}), 300 * P, 80 * P, bodyPr)});
    ASSERT_EQ(Source("Art")->Type(), host::msoTextEffect);
    prop.TranOption.DualPrint = c.dualPrint;
    prop.TranOption.DualPrintDest = c.dest;
    std::pair<std::wstring, std::wstring> text;
    int skip = -1;
    ASSERT_TRUE(powerpoint::TranslateShape_WordArt(ctx, Source("Art"), Target("Art"), text, skip));
    EXPECT_EQ(Target("Art")->TextEffect()->Text(), c.expected);
    EXPECT_EQ(skip, 0);
  }
  // Ignored outside a selection run.
  prop.TranOption.IgnoresWordArt = 1;
  Open({Box(2, "Art", Para({{"Keep", ""}}), 300 * P, 80 * P, bodyPr)});
  std::pair<std::wstring, std::wstring> text;
  int skip = 0;
  ASSERT_TRUE(powerpoint::TranslateShape_WordArt(ctx, Source("Art"), Target("Art"), text, skip));
  EXPECT_EQ(skip, 1);
  EXPECT_EQ(Target("Art")->TextEffect()->Text(), L"Keep");
}

}  // namespace
