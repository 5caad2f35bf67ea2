#include <filesystem>

#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "tests/host/TextTestSupport.h"
#include "src/host/Comments.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/platform/ComError.h"

namespace fs = std::filesystem;
using host::pptx::Document;
using host::pptx::SlideRef;
using texttest::ShowComments;

namespace {

// A slide's comments and its notes page, over documents opened without an
// application.
class CommentsTest : public ::testing::Test {
 protected:
  std::shared_ptr<Document> Open(const char* name) { return Document::Open(testsupport::CorpusDeck(name)); }
  static SlideRef Slide(const std::shared_ptr<Document>& doc, std::size_t index = 0) {
    return {doc, doc->SlideList().at(index).id, doc->SlideList().at(index).part, false};
  }
  std::shared_ptr<Document> SaveAndReopen(const std::shared_ptr<Document>& doc) {
    doc->Pkg().Save(mTemp / "saved.pptx");
    return Document::Open(mTemp / "saved.pptx");
  }
  testsupport::TempDir mTemp;
};

// Legacy comments are read, then rebuilt as the walk does and saved.
TEST_F(CommentsTest, LegacyCommentsAreReadAndRebuiltWithReplies) {
  auto doc = Open("poi__45545_Comment.pptx");
  auto comments = host::pptx::MakeSlideComments(Slide(doc));
  EXPECT_EQ(ShowComments(comments), L"XPVMWARE01 (X) @434,194.75: testdoc\n");
  EXPECT_EQ(comments->Item(1)->DateTime(), L"2007-10-23T09:14:49.723");
  EXPECT_EQ(host::pptx::MakeSlideComments(Slide(doc, 2))->Count(), 0);
  EXPECT_THROW(comments->Item(2), platform::ComError);
  // The walk's order: delete from the last, then add in source order.
  for (int i = comments->Count(); i >= 1; --i) comments->Item(i)->Delete();
  EXPECT_EQ(comments->Count(), 0);
  auto first = comments->Add(12.5f, 30, L"Ana Lima", L"AL", L"Primera nota");
  comments->Add(100, 200, L"XPVMWARE01", L"X", L"Segunda\rlinea");
  first->Replies()->Add(0, 0, L"Bo", L"B", L"Respuesta uno");
  first->Replies()->Add(0, 0, L"XPVMWARE01", L"X", L"Respuesta dos");

  // Replies sit with their comment.
  auto reopened = SaveAndReopen(doc);
  auto again = host::pptx::MakeSlideComments(Slide(reopened));
  EXPECT_EQ(ShowComments(again),
            L"Ana Lima (AL) @12.5,30: Primera nota\n  Bo (B) @12.5,30: Respuesta uno\n"
            L"  XPVMWARE01 (X) @12.5,30: Respuesta dos\nXPVMWARE01 (X) @100,200: Segunda\nlinea\n");
  // The existing author was reused and its index moved on; indexes stay
  // unique per author.
  std::vector<std::string> authors;
  for (pugi::xml_node a : reopened->Pkg().Xml("ppt/commentAuthors.xml").document_element().children())
    authors.push_back(std::string(a.attribute("name").value()) + " " + a.attribute("lastIdx").value());
  EXPECT_EQ(authors.size(), 3u);
  EXPECT_EQ(authors[0], "XPVMWARE01 4");
  // Deleting a comment takes its replies along; other handles on it and
  // on its replies fail cleanly afterwards.
  auto c1 = again->Item(1), otherHandle = again->Item(1), replyHandle = c1->Replies()->Item(1);
  c1->Delete();
  EXPECT_EQ(ShowComments(again), L"XPVMWARE01 (X) @100,200: Segunda\nlinea\n");
  EXPECT_THROW(c1->Text(), platform::ComError);
  EXPECT_THROW(otherHandle->Text(), platform::ComError);
  EXPECT_THROW(otherHandle->Delete(), platform::ComError);
  EXPECT_THROW(replyHandle->Author(), platform::ComError);
}

TEST_F(CommentsTest, TheFirstCommentOfADeckCreatesItsPartsAndTypes) {
  auto doc = Open("pptx__prs-notes.pptx");
  auto comments = host::pptx::MakeSlideComments(Slide(doc));
  EXPECT_EQ(comments->Count(), 0);
  comments->Add(1, 2, L"Zoe", L"Z", L"New <&> text");
  auto reopened = SaveAndReopen(doc);
  EXPECT_EQ(ShowComments(host::pptx::MakeSlideComments(Slide(reopened))), L"Zoe (Z) @1,2: New <&> text\n");
  EXPECT_EQ(reopened->Pkg().ContentType("ppt/comments/comment1.xml"),
            "application/vnd.openxmlformats-officedocument.presentationml.comments+xml");
  EXPECT_EQ(reopened->Pkg().ContentType("ppt/commentAuthors.xml"),
            "application/vnd.openxmlformats-officedocument.presentationml.commentAuthors+xml");
}

TEST_F(CommentsTest, ThreadedCommentsWithRepliesRoundTrip) {
  auto doc = Open("pptx__prs-notes.pptx");
  SlideRef slide = Slide(doc);
  // A deck as current versions write it: authors.xml and a threaded part.
  host::pptx::Package& pkg = doc->Pkg();
  const std::string ns = "http://schemas.microsoft.com/office/powerpoint/2018/8/main";
  pkg.AddXmlPart("ppt/authors.xml", "application/vnd.ms-powerpoint.authors+xml")
      .load_string(("<p188:authorLst xmlns:p188=\"" + ns +
                    "\"><p188:author id=\"{A1}\" name=\"Kim\" initials=\"K\" userId=\"k\" providerId=\"None\"/>"
                    "</p188:authorLst>").c_str());
  pkg.AddRelationship(doc->PresentationPart(), "http://schemas.microsoft.com/office/2018/10/relationships/authors",
                      "ppt/authors.xml");
  pkg.AddXmlPart("ppt/comments/modernComment_100_1.xml", "application/vnd.ms-powerpoint.comments+xml")
      .load_string(("<p188:cmLst xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:p188=\"" + ns +
                    "\"><p188:cm id=\"{C1}\" authorId=\"{A1}\" created=\"2024-01-02T03:04:05.000\">"
                    "<p188:pos x=\"1270000\" y=\"635000\"/><p188:replyLst><p188:reply id=\"{R1}\" authorId=\"{A1}\">"
                    "<p188:txBody><a:bodyPr/><a:p><a:r><a:t>first reply</a:t></a:r></a:p></p188:txBody></p188:reply>"
                    "</p188:replyLst><p188:txBody><a:bodyPr/><a:p><a:r><a:t>line one</a:t></a:r></a:p><a:p><a:r>"
                    "<a:t>two</a:t></a:r></a:p></p188:txBody></p188:cm></p188:cmLst>").c_str());
  pkg.AddRelationship(slide.part, "http://schemas.microsoft.com/office/2018/10/relationships/comments",
                      "ppt/comments/modernComment_100_1.xml");

  auto comments = host::pptx::MakeSlideComments(slide);
  EXPECT_EQ(ShowComments(comments), L"Kim (K) @100,50: line one\rtwo\n  Kim (K) @100,50: first reply\n");
  comments->Item(1)->Replies()->Add(0, 0, L"Lee", L"L", L"second\rreply");
  // A new comment in a threaded deck is threaded too.
  comments->Add(10, 20, L"Kim", L"K", L"another");

  auto reopened = SaveAndReopen(doc);
  auto again = host::pptx::MakeSlideComments(Slide(reopened));
  EXPECT_EQ(ShowComments(again), L"Kim (K) @100,50: line one\rtwo\n  Kim (K) @100,50: first reply\n"
                                 L"  Lee (L) @100,50: second\rreply\nKim (K) @10,20: another\n");
  EXPECT_FALSE(reopened->Pkg().HasPart("ppt/commentAuthors.xml"));
  // The threaded body is in schema order: moniker, position, text.
  pugi::xml_node cm = reopened->Pkg().Xml("ppt/comments/modernComment_100_1.xml").document_element().last_child();
  std::vector<std::string> order;
  for (pugi::xml_node n : cm.children()) order.push_back(n.name());
  EXPECT_EQ(order, (std::vector<std::string>{"pc:sldMkLst", "p188:pos", "p188:txBody"}));
  // Deleting the last reply leaves no empty reply list behind.
  auto replies = again->Item(1)->Replies();
  replies->Item(2)->Delete();
  replies->Item(1)->Delete();
  EXPECT_EQ(again->Item(1)->Replies()->Count(), 0);
  EXPECT_FALSE(reopened->Pkg().Xml("ppt/comments/modernComment_100_1.xml").document_element().first_child().child(
      "p188:replyLst"));
}

class NotesPageTest : public CommentsTest {
 protected:
  static SlideRef First(const std::shared_ptr<Document>& doc) { return Slide(doc); }
  static int CountParts(Document& doc, const std::string& stem) {
    int n = 0;
    for (const auto& p : doc.Pkg().PartNames()) n += p.starts_with(stem) && p.find("_rels") == std::string::npos;
    return n;
  }
  // The notes placeholder of the first slide's page, found by its placeholder
  // type; the picture of the slide before it is a placeholder without text.
  static host::Ptr<host::TextRange> Notes(const std::shared_ptr<Document>& doc) {
    auto shapes = host::pptx::MakeNotesPage(First(doc))->Shapes();
    auto image = shapes->Item(1);
    EXPECT_EQ(image->Type(), host::msoPlaceholder);
    EXPECT_THROW(image->TextFrame(), platform::ComError);
    EXPECT_THROW(image->TextFrame2(), platform::ComError);
    for (int i = 1; i <= shapes->Count(); ++i) {
      auto s = shapes->Item(i);
      if (s->Type() == host::msoPlaceholder && s->PlaceholderFormat()->Type() == host::ppPlaceholderBody)
        return s->TextFrame()->TextRange();
    }
    throw std::runtime_error("no notes placeholder");
  }
};

// Reading a missing page writes nothing; writing it makes it, and a notes
// master only where the deck has none; a second handle on the same slide
// finds the written page.
TEST_F(NotesPageTest, AMissingPageIsMadeOnlyWhenWritten) {
  for (auto [deck, masters] : {std::pair{"pptx__txt-font-typeface.pptx", 0}, {"sc__autoshape-case017_slide-number.pptx", 1}}) {
    SCOPED_TRACE(deck);
    auto doc = Open(deck);
    ASSERT_EQ(CountParts(*doc, "ppt/notesMasters/"), masters);
    auto names = doc->Pkg().PartNames();
    auto page = host::pptx::MakeNotesPage(First(doc));
    EXPECT_EQ((std::vector<int>{page->SlideIndex(), page->Shapes()->Count(), page->Shapes()->Range()->Count()}),
              (std::vector<int>{1, 2, 2}));
    EXPECT_EQ(Notes(doc)->Text(), L"");
    EXPECT_EQ(Notes(doc)->Font()->Bold(), host::msoFalse);
    EXPECT_THROW(page->NotesPage(), platform::ComError);
    EXPECT_FALSE(doc->Changed());
    EXPECT_EQ(doc->Pkg().PartNames(), names);
    Notes(doc)->SetText(L"Speaker notes\rsecond point");
    EXPECT_EQ(Notes(doc)->Paragraphs(2, 1)->Text(), L"second point");
    Notes(doc)->InsertAfter(L"!");
    EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), 1);
    EXPECT_EQ(CountParts(*doc, "ppt/notesMasters/"), 1);

    doc->Pkg().Save(mTemp / "notes.pptx");
    auto reopened = Document::Open(mTemp / "notes.pptx");
    host::pptx::Package& pkg = reopened->Pkg();
    auto notesRel = pkg.RelationshipByType(First(doc).part, "notesSlide");
    ASSERT_TRUE(notesRel);
    EXPECT_EQ(pkg.ContentType(notesRel->targetPart),
              "application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml");
    EXPECT_EQ(pkg.RelationshipByType(notesRel->targetPart, "slide").value_or(host::pptx::Relationship{}).targetPart,
              First(doc).part);
    auto master = pkg.RelationshipByType(notesRel->targetPart, "notesMaster");
    ASSERT_TRUE(master);
    EXPECT_EQ(master->targetPart, "ppt/notesMasters/notesMaster1.xml");
    EXPECT_TRUE(pkg.RelationshipByType(master->targetPart, "theme"));
    // The master is listed in the presentation, right after the slide masters.
    pugi::xml_node list = pkg.Xml(reopened->PresentationPart()).document_element().child("p:notesMasterIdLst");
    EXPECT_STREQ(list.previous_sibling().name(), "p:sldMasterIdLst");
    EXPECT_EQ(Notes(reopened)->Text(), L"Speaker notes\rsecond point!");
  }
}

TEST_F(NotesPageTest, AnExistingPageIsReadAndEditedInPlace) {
  auto doc = Open("pptx__prs-notes.pptx");
  int before = CountParts(*doc, "ppt/notesSlides/");
  std::wstring text = Notes(doc)->Text();
  EXPECT_FALSE(text.empty());
  Notes(doc)->SetText(L"changed " + text);
  EXPECT_EQ(Notes(doc)->Text(), L"changed " + text);
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), before);
  EXPECT_TRUE(doc->Changed());
}

}  // namespace
