// The text functions over a source and a target copy: sentences, styles,
// fonts and fitting in a shape's text; tables, comments and WordArt.
#include <cwctype>

#include "tests/powerpoint/PowerPointFixture.h"
#include "src/engine/LangCode.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/platform/ComError.h"
#include "src/powerpoint/ShapeHandlers.h"
#include "src/powerpoint/SlideContent.h"

using namespace pptest;

namespace {

// Run on both text models: the classic one below version 12, the newer one from 12 on.
class ShapeTextModels : public PowerPointTest, public ::testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(Versions, ShapeTextModels, ::testing::Values(11, 16));

TEST_P(ShapeTextModels, SentencesLandInPlaceWithFormattingAndSeparators) {
  OpenCopies({Box(2, "Box",
                  Para({{"One cat.", ""}, {" Two dogs.", "b=\"1\""}}) + Para({{"Three birds.", "i=\"1\""}}) +
                      Para({{"\xE7\x8C\xAB\xE3\x80\x82\xE7\x8A\xAC\xE3\x80\x82", ""}}))},  // 猫。犬。
             GetParam());
  o.SentenceSeparator = engine::SentenceSeparator(L"es");
  impl->SetTranslation(L"\x732B\x3002", L"Cat.").SetTranslation(L"\x72AC\x3002", L"Dog.");
  ASSERT_TRUE(Translate("Box"));
  // The blank the sentence brought is the gap; the separator goes only
  // between sentences that have none, never before a line end nor after
  // the last.
  EXPECT_EQ(TargetText("Box")->Text(), L"ONE CAT. TWO DOGS.\rTHREE BIRDS.\rCat.  Dog.");
  EXPECT_EQ(std::tuple(TargetChars("Box", L"ONE CAT.")->Font()->Bold(),
                       TargetChars("Box", L" TWO DOGS.")->Font()->Bold(),
                       TargetChars("Box", L"THREE BIRDS.")->Font()->Italic(), stats.segmentsTranslated),
            std::tuple(host::msoFalse, host::msoTrue, host::msoTrue, 5));
  // The whole range was announced before its first sentence, each sentence
  // then asked for once, in order.
  const std::vector<std::wstring> sent = {L"One cat.", L"Two dogs.", L"Three birds.", L"\x732B\x3002", L"\x72AC\x3002"};
  EXPECT_EQ(std::tuple(impl->AheadCalls(), SentTexts(), impl->AnsweredAhead()),
            std::tuple(std::vector<std::vector<std::wstring>>{sent}, sent, 5));
}

// Translations longer than their sources move every later position; each
// piece must still be written over itself.
TEST_P(ShapeTextModels, ParagraphsAndSelectionsAreWrittenWhereTheyAre) {
  impl->SetTranslator(Bracket);
  OpenCopies({Box(2, "Body",
                  Para({{"First one.", ""}}) + Para({{"Second one. More here.", ""}}) + Para({{"Third.", ""}}),
                  400 * P, 300 * P, "<a:bodyPr/>", "type=\"body\" idx=\"1\"") +
              Box(3, "Box", Para({{"Alpha one. Beta two. Gamma three. Delta four.", ""}}))},
             GetParam());
  ASSERT_TRUE(Translate("Body", false, true));
  EXPECT_EQ(TargetText("Body")->Text(), L"[First one.]\r[Second one.] [More here.]\r[Third.]");

  prop.SelectedTextStart = 12;  // "Beta two. Gamma three. "
  prop.SelectedTextSize = 23;
  o.DisplaysDocument = 1;  // the window follows each segment
  ASSERT_TRUE(Translate("Box", true));
  EXPECT_EQ(TargetText("Box")->Text(), L"Alpha one. [Beta two.] [Gamma three.] Delta four.");
  prop.SelectedTextSize = 0;
  EXPECT_FALSE(Translate("Box", true));
}

// A link that reads as its own address never reaches the engine and keeps
// its characters. (Fields, and links carried onto the words that translate
// them, are checked by the e2e translation of the corpus.)
TEST_P(ShapeTextModels, ALinkShowingItsAddressStaysAsItIs) {
  decktest::Deck d;
  d.slides = {Box(2, "Box",
                  "<a:p><a:r><a:rPr lang=\"en-US\"/><a:t>See </a:t></a:r><a:r><a:rPr lang=\"en-US\">"
                  "<a:hlinkClick r:id=\"rId9\"/></a:rPr><a:t>example.com/help</a:t></a:r>"
                  "<a:r><a:rPr lang=\"en-US\"/><a:t> today.</a:t></a:r></a:p>")};
  d.slideRels[0] = {{"rId9", "hyperlink", "https://example.com/help/"}};
  decktest::Write(d, dir / "deck.pptx");
  OpenCopiesOf(dir / "deck.pptx", GetParam());
  ASSERT_TRUE(Translate("Box"));
  EXPECT_EQ(SentTexts(), (std::vector<std::wstring>{L"See \xE000 today."}));
  EXPECT_EQ(TargetText("Box")->Text(), L"SEE example.com/help TODAY.");
}

// Each colour switch colours its own part only; the other keeps the
// source's colour.
TEST_P(ShapeTextModels, DualPrintLayoutsAndColours) {
  const std::pair<int, std::wstring> cases[] = {
      {0, L"Hello there.\vHELLO THERE.\v Bye now.\v BYE NOW."},
      {1, L"Hello there.HELLO THERE. Bye now. BYE NOW."},
      {2, L"Hello there.HELLO THERE.\v Bye now. BYE NOW."},
  };
  for (const auto& [dest, expected] : cases) {
    for (const auto& [original, translation] : {std::pair{1, 0}, std::pair{0, 1}, std::pair{1, 1}}) {
      SCOPED_TRACE(testing::Message() << dest << " " << original << translation);
      OpenCopies({Box(2, "Box", Para({{"Hello there. Bye now.", ""}}))}, GetParam());
      o.DualPrint = 1;
      o.ChangesOrigFontColor = original;
      o.ChangesTranFontColor = translation;
      o.DualPrintDest = dest;
      o.OrigFontColorValue = 0x0000FF;
      o.TranFontColorValue = 0xFF0000;
      const int plain = Source("Box")->TextFrame2()->TextRange()->Font()->Fill()->ForeColor()->Rgb();
      ASSERT_TRUE(Translate("Box"));
      EXPECT_EQ(TargetText("Box")->Text(), expected);
      for (const wchar_t* piece : {L"Hello there.", L"Bye now.", L"HELLO THERE.", L"BYE NOW."}) {
        const bool isTranslation = std::iswupper(piece[1]);
        const int want = isTranslation ? (translation ? 0xFF0000 : plain) : (original ? 0x0000FF : plain);
        EXPECT_EQ(TargetChars("Box", piece)->Font()->Fill()->ForeColor()->Rgb(), want) << piece;
      }
    }
  }
}

// Shrinking works on the host's real text metrics, in whole points from
// each run's own size, on a translation three times its source's length.
TEST_P(ShapeTextModels, FitTextShrinksUntilTheTextFitsAndNeverToNothing) {
  OpenCopies({Box(7, "Huge", Para({{"Small words.", "sz=\"2400\""}, {" Huge words.", "sz=\"410000\""}}), 200 * P,
                  60 * P) +
              Box(2, "Long", Para({{"Several words in one small box.", "sz=\"2400\""}, {" More.", "sz=\"2000\""}}),
                  200 * P, 100 * P) +
              Box(3, "Short", Para({{"Fits.", "sz=\"1800\""}}), 300 * P, 80 * P) +
              Box(4, "Tiny", Para({{"Never gone", "sz=\"200\""}}), 10 * P, 1 * P) +
              Box(5, "Fraction", Para({{"Small print", "sz=\"150\""}}), 10 * P, 1 * P) +
              Box(6, "Unsized", Para({{"line", "sz=\"1800\""}}), 0, 0)},
             GetParam());
  impl->SetTranslator([](const std::wstring& s) { return s + L" " + s + L" " + s; });
  for (const char* name : {"Huge", "Long", "Short", "Tiny", "Fraction", "Unsized"}) {
    ASSERT_TRUE(Translate(name));
    ASSERT_TRUE(powerpoint::FitTextToShape(ctx, Source(name), Target(name)));
  }
  auto frame = Target("Long")->TextFrame2();
  float room = Target("Long")->Height() - frame->MarginTop() - frame->MarginBottom();
  // The source fits, so the room is the shape's own.
  ASSERT_LE(Source("Long")->TextFrame2()->TextRange()->BoundHeight(), room);
  EXPECT_LE(TargetText("Long")->BoundHeight(), room);
  float big = TargetChars("Long", L"Several")->Font()->Size();
  EXPECT_LT(big, 24.0f);
  EXPECT_FLOAT_EQ(TargetChars("Long", L"More")->Font()->Size(), big - 4.0f);
  // It stopped at the first size that fits.
  auto all = TargetText("Long");
  int split = static_cast<int>(all->Text().find(L" More."));
  all->Characters(1, split)->Font()->SetSize(big + 1);
  all->Characters(split + 1, all->Length() - split)->Font()->SetSize(big - 3);
  EXPECT_GT(TargetText("Long")->BoundHeight(), room);

  EXPECT_FLOAT_EQ(TargetText("Short")->Font()->Size(), 18.0f);
  // What cannot fit stops at one point, fractional sizes included, and is
  // reported by name.
  EXPECT_EQ(std::tuple(TargetText("Tiny")->Font()->Size(), TargetText("Fraction")->Font()->Size()),
            std::tuple(1.0f, 1.0f));
  // A shape without a size gets the room its source text took.
  EXPECT_LE(TargetText("Unsized")->BoundWidth(), Source("Unsized")->TextFrame2()->TextRange()->BoundWidth());
  EXPECT_GT(TargetText("Unsized")->Font()->Size(), 4.0f);
  std::vector<std::wstring> over;
  for (const auto& o : stats.overflowing) {
    EXPECT_GT(o.over, 0.0f);
    over.push_back(o.where.shape);
  }
  EXPECT_EQ(over, (std::vector<std::wstring>{L"Huge", L"Tiny", L"Fraction"}));
  // A size the host refuses half-way through a shape's fitting (a run larger
  // than the host takes) puts the shape back as the translation wrote it.
  EXPECT_EQ(std::tuple(TargetChars("Huge", L"Small")->Font()->Size(), TargetChars("Huge", L"Huge")->Font()->Size()),
            std::tuple(24.0f, 4100.0f));
}

class ShapeText : public PowerPointTest {};

TEST_F(ShapeText, TargetLanguageAndFontsByCharacterSet) {
  struct Case { int charset; std::wstring sjis, expected; };  // expected empty: the font stays
  for (const Case& c : {Case{128, L"IPAGothic", L"IPAGothic"}, Case{128, L"", L""},
                        Case{204, L"IPAGothic", L"DejaVu Serif"}, Case{161, L"IPAGothic", L""}}) {
    SCOPED_TRACE(c.charset);
    OpenCopies({Box(2, "Box", Para({{"Good morning.", ""}}))});
    auto names = [](const host::Ptr<host::Font2>& f) { return std::tuple(f->Name(), f->NameFarEast()); };
    const auto before = names(TargetText("Box")->Font());
    o.ToCharset = c.charset;
    o.ToLcid = 1041;
    o.FontSJIS = c.sjis;
    o.FontRussian = L"DejaVu Serif";
    ASSERT_TRUE(Translate("Box"));
    EXPECT_EQ(names(TargetText("Box")->Font()), c.expected.empty() ? before : std::tuple(c.expected, c.expected));
    EXPECT_EQ(TargetText("Box")->LanguageID(), 1041);
  }
}

// A bold, lowered word lands on the word the engine pairs it with, wherever that is.
TEST_P(ShapeTextModels, KeepStyleFollowsTheEnginesCorrespondence) {
  OpenCopies({Box(2, "Box", Para({{"The ", ""}, {"big", "b=\"1\" baseline=\"-100000\""}, {" dog.", ""}}))},
             GetParam());
  impl->SetTranslation(L"The big dog.", L"El perro grande.");
  impl->SetCorrespondence(L"The big dog.", {{{{0, 3}}, {{0, 2}}}, {{{4, 3}}, {{9, 6}}}, {{{8, 4}}, {{3, 5}}}});
  o.KeepStyle = 1;
  ASSERT_TRUE(Translate("Box"));
  EXPECT_EQ(TargetText("Box")->Text(), L"El perro grande.");
  // Bold and as low as there is on "grande", not bold before it.
  auto grande = TargetChars("Box", L"grande")->Font();
  EXPECT_EQ(std::tuple(grande->Bold(), grande->BaselineOffset(), TargetChars("Box", L"El perro ")->Font()->Bold()),
            std::tuple(host::msoTrue, -1.0f, host::msoFalse));
}

TEST_F(ShapeText, SegmentsLeftByEngineFailureOrCancelAreCounted) {
  OpenCopies({Box(2, "Box", Para({{"Keep this. Change that.", ""}}))});
  impl->Script(fake_engine::Operation::Translate, {.status = 3, .errorCode = 30006, .times = 1});
  ASSERT_TRUE(Translate("Box"));
  EXPECT_EQ(TargetText("Box")->Text(), L"Keep this. CHANGE THAT.");
  EXPECT_EQ(std::tuple(stats.segmentsTranslated, stats.segmentsLeft[L"engine failed"]), std::tuple(1, 1));

  // A cancel during the second of three sentences leaves it and the third.
  OpenCopies({Box(2, "Box", Para({{"One. Two. Three.", ""}}))});
  impl->SetTranslator([this](const std::wstring& s) {
    if (s == L"Two.") appCommon.SetCancel(true);
    return L"<" + s + L">";
  });
  ASSERT_TRUE(Translate("Box"));
  EXPECT_EQ(std::tuple(TargetText("Box")->Text(), stats.segmentsLeft[L"cancelled"]),
            std::tuple(L"<One.> Two. Three.", 2));
  // A failed sentence was still answered from what was announced; the one
  // never asked for after the cancel is dropped.
  EXPECT_EQ(std::tuple(impl->Translations().size(), impl->AnsweredAhead(), impl->DroppedAhead()),
            std::tuple(4u, 4, 1));
}

// A body that shrinks on overflow is measured at its own font scale, and
// the scale it is saved with is the one its translation needs: a shorter
// text drops the source's scale, a longer one takes a smaller scale before
// any run is made smaller, so the renderer never shrinks twice.
TEST_F(ShapeText, ShrinkOnOverflowBodiesKeepTheScaleTheirTranslationNeeds) {
  // copies: of the source text; 0: a short word.
  struct Case { int copies; bool scaled, runsShrunk; };
  for (const Case& c : {Case{0, false, false}, Case{2, true, false}, Case{12, true, true}}) {
    SCOPED_TRACE(c.copies);
    OpenCopies({Box(2, "Auto", Para({{"Several words in one small box that need a few lines.", "sz=\"2400\""}}), 200 * P,
                    60 * P, "<a:bodyPr><a:normAutofit fontScale=\"62500\" lnSpcReduction=\"20000\"/></a:bodyPr>")});
    impl->SetTranslator([&c](const std::wstring& s) {
      std::wstring r = c.copies ? s : L"Hi.";
      for (int i = 1; i < c.copies; ++i) r += L" " + s;
      return r;
    });
    ASSERT_TRUE(Translate("Auto"));
    ASSERT_TRUE(powerpoint::FitTextToShape(ctx, Source("Auto"), Target("Auto")));
    auto frame = Target("Auto")->TextFrame2();
    EXPECT_LE(TargetText("Auto")->BoundHeight(), 60.0f - frame->MarginTop() - frame->MarginBottom());
    EXPECT_EQ(std::tuple(TargetText("Auto")->Font()->Size() < 24.0f, stats.overflowing.size()),
              std::tuple(c.runsShrunk, 0u));
    tran->SaveCopyAs(W(dir / "out.pptx"), host::ppSaveAsOpenXMLPresentation, false);
    pugi::xml_node fit =
        host::pptx::Package::Open(dir / "out.pptx")->Xml("ppt/slides/slide1.xml").select_node("//a:normAutofit").node();
    const int scale = fit.attribute("fontScale").as_int(100000);
    if (c.scaled) {
      EXPECT_LT(scale, 62500);
    } else {
      EXPECT_FALSE(fit.attribute("fontScale") || fit.attribute("lnSpcReduction"));
    }
    // Runs are made smaller only once the smallest scale is not enough.
    if (c.runsShrunk) {
      EXPECT_EQ(scale, 25000);
    }
  }
}

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
  EXPECT_EQ(std::tuple(text(2, 2), text(1, 3), text(3, 2)), std::tuple(L"[A]", L"[B]", L"[E]"));
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
  // Replies kept, comments counted, segments left by the cancel.
  EXPECT_EQ(std::tuple(Target(1).size(), stats.comments, stats.segmentsLeft[L"cancelled"]), std::tuple(2u, 3, 2));
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
    EXPECT_EQ(std::tuple(Target("Art")->TextEffect()->Text(), skip), std::tuple(c.expected, 0));
  }
}

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
    EXPECT_EQ(std::tuple(Target("Note")->TextFrame()->TextRange()->Text(), handled),
              std::tuple(c.translated ? L"[Remark]" : L"Remark", c.translated));
  }
}

}  // namespace
