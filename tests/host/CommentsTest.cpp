#include <filesystem>

#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "src/host/Comments.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/platform/ComError.h"

namespace fs = std::filesystem;
using host::pptx::Document;
using host::pptx::SlideRef;

namespace {


SlideRef SlideByPart(const std::shared_ptr<Document>& doc, const std::string& part) {
  for (const auto& s : doc->SlideList())
    if (s.part == part) return {doc, s.id, s.part, false};
  throw std::runtime_error("no slide " + part);
}

class CommentsTest : public ::testing::Test {
 protected:
  std::shared_ptr<Document> Open(const char* name) {
    fs::path p = testsupport::CorpusDeck(name);
    if (!fs::exists(p)) throw std::runtime_error("corpus deck missing: " + p.string());
    return Document::Open(p);
  }
  std::shared_ptr<Document> SaveAndReopen(const std::shared_ptr<Document>& doc) {
    fs::path out = mTemp / "saved.pptx";
    doc->Pkg().Save(out);
    return Document::Open(out);
  }

  testsupport::TempDir mTemp;
};

TEST_F(CommentsTest, LegacyCommentsReadTheirTextPositionAndAuthor) {
  auto doc = Open("poi__45545_Comment.pptx");
  auto comments = host::pptx::MakeSlideComments(SlideByPart(doc, "ppt/slides/slide1.xml"));
  ASSERT_EQ(comments->Count(), 1);
  auto c = comments->Item(1);
  EXPECT_EQ(c->Text(), L"testdoc");
  EXPECT_FLOAT_EQ(c->Left(), 3472 / 8.0f);
  EXPECT_FLOAT_EQ(c->Top(), 1558 / 8.0f);
  EXPECT_EQ(c->Author(), L"XPVMWARE01");
  EXPECT_EQ(c->AuthorInitials(), L"X");
  EXPECT_EQ(c->DateTime(), L"2007-10-23T09:14:49.723");
  EXPECT_EQ(c->Replies()->Count(), 0);
  EXPECT_EQ(host::pptx::MakeSlideComments(SlideByPart(doc, "ppt/slides/slide3.xml"))->Count(), 0);
  EXPECT_THROW(comments->Item(2), platform::ComError);
}

TEST_F(CommentsTest, RebuildingCommentsWithRepliesSurvivesSaving) {
  auto doc = Open("poi__45545_Comment.pptx");
  SlideRef slide = SlideByPart(doc, "ppt/slides/slide1.xml");
  auto comments = host::pptx::MakeSlideComments(slide);
  // The walk's order: delete from the last, then add in source order.
  for (int i = comments->Count(); i >= 1; --i) comments->Item(i)->Delete();
  EXPECT_EQ(comments->Count(), 0);
  auto first = comments->Add(12.5f, 30, L"Ana Lima", L"AL", L"Primera nota");
  auto second = comments->Add(100, 200, L"XPVMWARE01", L"X", L"Segunda\rlinea");
  first->Replies()->Add(0, 0, L"Bo", L"B", L"Respuesta uno");
  first->Replies()->Add(0, 0, L"XPVMWARE01", L"X", L"Respuesta dos");

  auto reopened = SaveAndReopen(doc);
  auto again = host::pptx::MakeSlideComments(SlideByPart(reopened, "ppt/slides/slide1.xml"));
  ASSERT_EQ(again->Count(), 2);
  auto c1 = again->Item(1);
  EXPECT_EQ(c1->Text(), L"Primera nota");
  EXPECT_EQ(c1->Author(), L"Ana Lima");
  EXPECT_EQ(c1->AuthorInitials(), L"AL");
  EXPECT_FLOAT_EQ(c1->Left(), 12.5f);
  EXPECT_FLOAT_EQ(c1->Top(), 30.0f);
  auto replies = c1->Replies();
  ASSERT_EQ(replies->Count(), 2);
  EXPECT_EQ(replies->Item(1)->Text(), L"Respuesta uno");
  EXPECT_EQ(replies->Item(1)->Author(), L"Bo");
  EXPECT_EQ(replies->Item(2)->Text(), L"Respuesta dos");
  EXPECT_EQ(replies->Item(2)->AuthorInitials(), L"X");
  EXPECT_FLOAT_EQ(replies->Item(2)->Left(), 12.5f);  // replies sit with their comment
  auto c2 = again->Item(2);
  EXPECT_EQ(c2->Text(), L"Segunda\nlinea");
  EXPECT_EQ(c2->Replies()->Count(), 0);
  EXPECT_FLOAT_EQ(c2->Top(), 200.0f);

  // The existing author was reused and its index moved on; indexes stay
  // unique per author.
  pugi::xml_node authors = reopened->Pkg().Xml("ppt/commentAuthors.xml").document_element();
  int count = 0;
  for (pugi::xml_node a : authors.children()) {
    ++count;
    if (std::string(a.attribute("name").value()) == "XPVMWARE01") {
      EXPECT_STREQ(a.attribute("lastIdx").value(), "4");
    }
  }
  EXPECT_EQ(count, 3);
  // Deleting a comment takes its replies along; other handles on it and
  // on its replies fail cleanly afterwards.
  auto otherHandle = again->Item(1);
  auto replyHandle = c1->Replies()->Item(1);
  c1->Delete();
  EXPECT_EQ(again->Count(), 1);
  EXPECT_EQ(again->Item(1)->Text(), L"Segunda\nlinea");
  EXPECT_THROW(c1->Text(), platform::ComError);
  EXPECT_THROW(otherHandle->Text(), platform::ComError);
  EXPECT_THROW(otherHandle->Delete(), platform::ComError);
  EXPECT_THROW(replyHandle->Author(), platform::ComError);
}

TEST_F(CommentsTest, TheFirstCommentOfADeckCreatesItsPartsAndTypes) {
  auto doc = Open("pptx__prs-notes.pptx");
  SlideRef slide{doc, doc->SlideList().at(0).id, doc->SlideList().at(0).part, false};
  auto comments = host::pptx::MakeSlideComments(slide);
  EXPECT_EQ(comments->Count(), 0);
  comments->Add(1, 2, L"Zoe", L"Z", L"New <&> text");
  auto reopened = SaveAndReopen(doc);
  auto again = host::pptx::MakeSlideComments({reopened, slide.slideId, slide.part, false});
  ASSERT_EQ(again->Count(), 1);
  EXPECT_EQ(again->Item(1)->Text(), L"New <&> text");
  EXPECT_EQ(reopened->Pkg().ContentType("ppt/comments/comment1.xml"),
            "application/vnd.openxmlformats-officedocument.presentationml.comments+xml");
  EXPECT_EQ(reopened->Pkg().ContentType("ppt/commentAuthors.xml"),
            "application/vnd.openxmlformats-officedocument.presentationml.commentAuthors+xml");
}

TEST_F(CommentsTest, ThreadedCommentsWithRepliesRoundTrip) {
  auto doc = Open("pptx__prs-notes.pptx");
  SlideRef slide{doc, doc->SlideList().at(0).id, doc->SlideList().at(0).part, false};
  // A deck as current versions write it: authors.xml and a threaded part.
  host::pptx::Package& pkg = doc->Pkg();
  const char* ns = "http://schemas.microsoft.com/office/powerpoint/2018/8/main";
  pugi::xml_document& authors = pkg.AddXmlPart("ppt/authors.xml", "application/vnd.ms-powerpoint.authors+xml");
  authors.load_string((std::string("<p188:authorLst xmlns:p188=\"") + ns +
                       "\"><p188:author id=\"{A1}\" name=\"Kim\" initials=\"K\" userId=\"k\" providerId=\"None\"/>"
                       "</p188:authorLst>").c_str());
  pkg.AddRelationship(doc->PresentationPart(), "http://schemas.microsoft.com/office/2018/10/relationships/authors",
                      "ppt/authors.xml");
  pugi::xml_document& part =
      pkg.AddXmlPart("ppt/comments/modernComment_100_1.xml", "application/vnd.ms-powerpoint.comments+xml");
  part.load_string(
      (std::string("<p188:cmLst xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:p188=\"") +
       ns +
       "\"><p188:cm id=\"{C1}\" authorId=\"{A1}\" created=\"2024-01-02T03:04:05.000\">"
       "<p188:pos x=\"1270000\" y=\"635000\"/><p188:replyLst><p188:reply id=\"{R1}\" authorId=\"{A1}\">"
       "<p188:txBody><a:bodyPr/><a:p><a:r><a:t>first reply</a:t></a:r></a:p></p188:txBody></p188:reply>"
       "</p188:replyLst><p188:txBody><a:bodyPr/><a:p><a:r><a:t>line one</a:t></a:r></a:p><a:p><a:r><a:t>two</a:t>"
       "</a:r></a:p></p188:txBody></p188:cm></p188:cmLst>")
          .c_str());
  pkg.AddRelationship(slide.part, "http://schemas.microsoft.com/office/2018/10/relationships/comments",
                      "ppt/comments/modernComment_100_1.xml");

  auto comments = host::pptx::MakeSlideComments(slide);
  ASSERT_EQ(comments->Count(), 1);
  auto c = comments->Item(1);
  EXPECT_EQ(c->Text(), L"line one\rtwo");
  EXPECT_FLOAT_EQ(c->Left(), 100.0f);
  EXPECT_FLOAT_EQ(c->Top(), 50.0f);
  EXPECT_EQ(c->Author(), L"Kim");
  ASSERT_EQ(c->Replies()->Count(), 1);
  EXPECT_EQ(c->Replies()->Item(1)->Text(), L"first reply");
  c->Replies()->Add(0, 0, L"Lee", L"L", L"second\rreply");
  // A new comment in a threaded deck is threaded too.
  comments->Add(10, 20, L"Kim", L"K", L"another");

  auto reopened = SaveAndReopen(doc);
  auto again = host::pptx::MakeSlideComments({reopened, slide.slideId, slide.part, false});
  ASSERT_EQ(again->Count(), 2);
  auto replies = again->Item(1)->Replies();
  ASSERT_EQ(replies->Count(), 2);
  EXPECT_EQ(replies->Item(2)->Text(), L"second\rreply");
  EXPECT_EQ(replies->Item(2)->Author(), L"Lee");
  EXPECT_EQ(again->Item(2)->Text(), L"another");
  EXPECT_FLOAT_EQ(again->Item(2)->Top(), 20.0f);
  EXPECT_FALSE(reopened->Pkg().HasPart("ppt/commentAuthors.xml"));
  // The threaded body is in schema order: moniker, position, text.
  pugi::xml_node cm = reopened->Pkg().Xml("ppt/comments/modernComment_100_1.xml").document_element().last_child();
  std::vector<std::string> order;
  for (pugi::xml_node n : cm.children()) order.push_back(n.name());
  EXPECT_EQ(order, (std::vector<std::string>{"pc:sldMkLst", "p188:pos", "p188:txBody"}));
  // Deleting the last reply leaves no empty reply list behind.
  replies->Item(2)->Delete();
  replies->Item(1)->Delete();
  EXPECT_EQ(again->Item(1)->Replies()->Count(), 0);
  EXPECT_FALSE(reopened->Pkg().Xml("ppt/comments/modernComment_100_1.xml").document_element().first_child().child(
      "p188:replyLst"));
}

}  // namespace
