#include "tests/powerpoint/PowerPointFixture.h"
#include "src/host/Comments.h"
#include "src/powerpoint/ShapeHandlers.h"
#include "src/powerpoint/SlideContent.h"
#include "src/host/Shapes.h"
#include "src/host/Slides.h"
#include "src/host/TextRange.h"
#include "src/platform/ComError.h"

using namespace pptest;

namespace {

class SlideContent : public PowerPointTest {
 protected:
  // Three comments, the first with two replies, on the first slide.
  void OpenCommented(int version) {
    OpenCopies({Box(2, "Box", Para({{"Slide text.", ""}}))});
    auto comments = work->Slides()->Item(1)->Comments();
    auto first = comments->Add(10, 20, L"Ana Lima", L"AL", L"First note.");
    comments->Add(30, 40, L"Bo Berg", L"BB", L"Second note.");
    comments->Add(50, 60, L"Ana Lima", L"AL", L"Third note.");
    first->Replies()->Add(0, 0, L"Bo Berg", L"BB", L"A reply.");
    first->Replies()->Add(0, 0, L"Cy Dahl", L"CD", L"Another reply.");
    work->SaveAs(W(dir / "commented.pptx"), host::ppSaveAsOpenXMLPresentation);
    OpenCopiesOf(dir / "commented.pptx", version);
  }
  bool TranslateComments() {
    return powerpoint::TranslateSlideComment(ctx, work->Slides()->Item(1)->Comments(),
                                             tran->Slides()->Item(1)->Comments());
  }
  // "author@left,top: text" of each comment, or of the replies of comment n.
  std::vector<std::wstring> Target(int replyOf = 0) {
    auto comments = tran->Slides()->Item(1)->Comments();
    if (replyOf) comments = comments->Item(replyOf)->Replies();
    std::vector<std::wstring> out;
    for (int i = 1; i <= comments->Count(); ++i) {
      auto c = comments->Item(i);
      out.push_back(c->Author() + (replyOf ? L"" : L"@" + std::to_wstring(int(c->Left())) + L"," +
                                                       std::to_wstring(int(c->Top()))) + L": " + c->Text());
    }
    return out;
  }
  using PowerPointTest::Target;
};

TEST_F(SlideContent, MergedTableAreaIsTranslatedOnceAtItsTopLeftCell) {
  using decktest::Cell;
  OpenCopies({decktest::Table(
      2, "Grid", 3,
      {Cell("A", " gridSpan=\"2\" rowSpan=\"2\"") + Cell("", " hMerge=\"1\" rowSpan=\"2\"") + Cell("B"),
       Cell("", " gridSpan=\"2\" vMerge=\"1\"") + Cell("", " hMerge=\"1\" vMerge=\"1\"") + Cell("C"),
       Cell("D") + Cell("E") + Cell("F")})});
  impl->SetTranslator(Bracket);
  ASSERT_TRUE(powerpoint::TranslateShape_Table(ctx, Source("Grid"), Target("Grid")));
  auto table = Target("Grid")->Table();
  auto text = [&](int r, int c) { return table->Cell(r, c)->Shape()->TextFrame2()->TextRange()->Text(); };
  EXPECT_EQ(text(2, 2), L"[A]");
  EXPECT_EQ(text(1, 3), L"[B]");
  EXPECT_EQ(text(3, 2), L"[E]");
  // Column by column, the merged area once.
  EXPECT_EQ(SentTexts(), (std::vector<std::wstring>{L"A", L"D", L"E", L"B", L"C", L"F"}));
}

TEST_F(SlideContent, CommentsAndRepliesKeepOrderAuthorsAndPositions) {
  // The first host with replies of its own, the last without, the classic text model.
  EXPECT_EQ(ctx.Version(), 0);  // no application yet
  for (int version : {15, 14, 11}) {
    SCOPED_TRACE(version);
    OpenCommented(version);
    EXPECT_EQ(ctx.Version(), version);
    ASSERT_TRUE(TranslateComments());
    EXPECT_EQ(Target(), (std::vector<std::wstring>{L"Ana Lima@10,20: FIRST NOTE.", L"Bo Berg@30,40: SECOND NOTE.",
                                                   L"Ana Lima@50,60: THIRD NOTE."}));
    // Hosts without replies of their own keep them untranslated.
    EXPECT_EQ(Target(1), version >= 15
                             ? (std::vector<std::wstring>{L"Bo Berg: A REPLY.", L"Cy Dahl: ANOTHER REPLY."})
                             : (std::vector<std::wstring>{L"Bo Berg: A reply.", L"Cy Dahl: Another reply."}));
  }
}

// The engine answers the second comment with nothing while the user
// cancels: it and the one after keep their text, and none is lost.
TEST_F(SlideContent, CommentsKeepTheirSourceWhenTheTranslationComesBackEmpty) {
  OpenCommented(16);
  impl->SetTranslator([this](const std::wstring& s) -> std::wstring {
    if (s != L"Second note.") return L"<" + s + L">";
    appCommon.SetCancel(true);
    return L"";
  });
  ASSERT_TRUE(TranslateComments());
  EXPECT_EQ(Target(), (std::vector<std::wstring>{L"Ana Lima@10,20: <First note.>", L"Bo Berg@30,40: Second note.",
                                                 L"Ana Lima@50,60: Third note."}));
  EXPECT_EQ(Target(1).size(), 2u);
  EXPECT_EQ(stats.comments, 3);
  EXPECT_EQ(stats.segmentsLeft[L"cancelled"], 2);
}

// The target's comments as a host that refuses every add after the first few.
class RefusingComments : public host::Comments {
 public:
  RefusingComments(host::Ptr<host::Comments> inner, int allowed) : mInner(std::move(inner)), mAllowed(allowed) {}
  int Count() override { return mInner->Count(); }
  host::Ptr<host::Comment> Item(int index) override { return mInner->Item(index); }
  host::Ptr<host::Comment> Add(float left, float top, const std::wstring& author, const std::wstring& initials,
                               const std::wstring& text) override {
    if (mAllowed-- <= 0) throw platform::ComError(E_FAIL, L"the host refused the comment");
    return mInner->Add(left, top, author, initials, text);
  }

 private:
  host::Ptr<host::Comments> mInner;
  int mAllowed;
};

TEST_F(SlideContent, ACommentTheHostRefusesHalfWayLeavesTheOriginalsAlone) {
  OpenCommented(16);
  auto target = std::make_shared<RefusingComments>(tran->Slides()->Item(1)->Comments(), 2);
  EXPECT_THROW(powerpoint::TranslateSlideComment(ctx, work->Slides()->Item(1)->Comments(), target),
               platform::ComError);
  EXPECT_EQ(Target(), (std::vector<std::wstring>{L"Ana Lima@10,20: First note.", L"Bo Berg@30,40: Second note.",
                                                 L"Ana Lima@50,60: Third note."}));
  EXPECT_EQ(Target(1).size(), 2u);
}

TEST_F(SlideContent, WordArtTextsInEveryLayout) {
  struct Case { std::string source; int dualPrint, dest; std::wstring expected; };
  for (const Case& c : {Case{"Big Sale", 0, 0, L"BIG SALE"}, Case{"Big Sale", 1, 0, L"Big Sale\rBIG SALE"},
                        Case{"Big Sale", 1, 1, L"Big SaleBIG SALE"}, Case{"Big Sale", 1, 2, L"Big SaleBIG SALE"},
                        Case{"", 0, 0, L" "}}) {  // a text effect cannot be empty
    SCOPED_TRACE(c.expected);
    OpenCopies({Box(2, "Art", c.source.empty() ? "<a:p/>" : Para({{c.source, ""}}), 300 * P, 80 * P,
                    "<a:bodyPr fromWordArt=\"1\"><a:prstTxWarp prst=\"textPlain\"/></a:bodyPr>")});
    ASSERT_EQ(Source("Art")->Type(), host::msoTextEffect);
    o.DualPrint = c.dualPrint;
    o.DualPrintDest = c.dest;
    std::pair<std::wstring, std::wstring> text;
    int skip = -1;
    ASSERT_TRUE(powerpoint::TranslateShape_WordArt(ctx, Source("Art"), Target("Art"), text, skip));
    EXPECT_EQ(Target("Art")->TextEffect()->Text(), c.expected);
    EXPECT_EQ(skip, 0);
  }
}

}  // namespace

// Comment shapes (which only the real host has) follow the comment switch,
// and a selection overrides it.
TEST_F(SlideContent, CommentShapesFollowTheCommentSwitchUnlessSelected) {
  struct Case { int ignore, range; bool translated; };
  for (const Case& c : {Case{0, 0, true}, Case{1, 0, false}, Case{1, 2, true}}) {
    SCOPED_TRACE(testing::Message() << c.ignore << c.range);
    OpenCopies({Box(2, "Note", Para({{"Remark", ""}}))});
    impl->SetTranslator(Bracket);
    o.IgnoresComment = c.ignore;
    o.TranslationRange = c.range;
    bool handled = false;
    const powerpoint::ShapeHandler* handler = powerpoint::ShapeHandlerOfKind(host::msoComment, powerpoint::ShapeLevel::Page);
    ASSERT_NE(handler, nullptr);
    ASSERT_TRUE(handler->Translate(ctx, Source("Note"), Target("Note"), powerpoint::ShapeLevel::Page, handled));
    EXPECT_EQ(Target("Note")->TextFrame()->TextRange()->Text(), c.translated ? L"[Remark]" : L"Remark");
    EXPECT_EQ(handled, c.translated);
  }
}
