#include <filesystem>

#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/platform/ComError.h"

namespace fs = std::filesystem;
using host::pptx::Document;
using host::pptx::SlideRef;

namespace {


constexpr const char* kNotesType = "application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml";

class NotesPageTest : public ::testing::Test {
 protected:
  std::shared_ptr<Document> Open(const fs::path& p) {
    if (!fs::exists(p)) throw std::runtime_error("deck missing: " + p.string());
    return Document::Open(p);
  }
  static SlideRef First(const std::shared_ptr<Document>& doc) {
    return {doc, doc->SlideList().at(0).id, doc->SlideList().at(0).part, false};
  }
  static int CountParts(Document& doc, const std::string& stem) {
    int n = 0;
    for (const auto& p : doc.Pkg().PartNames())
      if (p.rfind(stem, 0) == 0 && p.find("_rels") == std::string::npos) ++n;
    return n;
  }
  // The notes placeholder of a page, found by its placeholder type.
  static host::Ptr<host::Shape> NotesBody(const host::Ptr<host::Slide>& page) {
    auto shapes = page->Shapes();
    for (int i = 1; i <= shapes->Count(); ++i) {
      auto s = shapes->Item(i);
      if (s->Type() == host::msoPlaceholder && s->PlaceholderFormat()->Type() == host::ppPlaceholderBody) return s;
    }
    throw std::runtime_error("no notes placeholder");
  }
  // The picture of the slide is a placeholder without a text frame.
  static void ExpectSlideImageWithoutText(const host::Ptr<host::Slide>& page) {
    auto image = page->Shapes()->Item(1);
    ASSERT_EQ(image->Type(), host::msoPlaceholder);
    EXPECT_FALSE(image->HasTextFrame());
    EXPECT_THROW(image->TextFrame(), platform::ComError);
    EXPECT_THROW(image->TextFrame2(), platform::ComError);
  }

  testsupport::TempDir mTemp;
};

TEST_F(NotesPageTest, ReadingAMissingPageWritesNothing) {
  auto doc = Open(testsupport::CorpusDeck("pptx__txt-font-typeface.pptx"));
  auto names = doc->Pkg().PartNames();
  auto page = host::pptx::MakeNotesPage(First(doc));
  EXPECT_EQ(page->SlideIndex(), 1);
  ASSERT_EQ(page->Shapes()->Count(), 2);
  EXPECT_EQ(page->Shapes()->Range()->Count(), 2);
  ExpectSlideImageWithoutText(page);
  auto body = NotesBody(page);
  EXPECT_TRUE(body->HasTextFrame());
  EXPECT_FALSE(body->TextFrame()->HasText());
  EXPECT_EQ(body->TextFrame()->TextRange()->Text(), L"");
  EXPECT_EQ(body->TextFrame2()->TextRange()->Font()->Bold(), host::msoFalse);
  EXPECT_THROW(page->NotesPage(), platform::ComError);
  EXPECT_FALSE(doc->Changed());
  EXPECT_EQ(doc->Pkg().PartNames(), names);
}

TEST_F(NotesPageTest, WritingMakesThePageAndANotesMasterWhenTheDeckHasNone) {
  auto doc = Open(testsupport::CorpusDeck("pptx__txt-font-typeface.pptx"));
  ASSERT_EQ(CountParts(*doc, "ppt/notesMasters/"), 0);
  SlideRef slide = First(doc);
  auto page = host::pptx::MakeNotesPage(slide);
  auto range = NotesBody(page)->TextFrame()->TextRange();
  range->SetText(L"Speaker notes\rsecond point");
  EXPECT_EQ(range->Text(), L"Speaker notes\rsecond point");
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), 1);
  EXPECT_EQ(CountParts(*doc, "ppt/notesMasters/"), 1);
  // A second handle on the same slide finds the written page, not a new one.
  auto again = host::pptx::MakeNotesPage(slide);
  EXPECT_EQ(NotesBody(again)->TextFrame()->TextRange()->Paragraphs(2, 1)->Text(), L"second point");
  NotesBody(again)->TextFrame()->TextRange()->InsertAfter(L"!");
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), 1);

  fs::path out = mTemp / "notes.pptx";
  doc->Pkg().Save(out);
  auto reopened = Open(out);
  host::pptx::Package& pkg = reopened->Pkg();
  auto notesRel = pkg.RelationshipByType(slide.part, "notesSlide");
  ASSERT_TRUE(notesRel);
  EXPECT_EQ(pkg.ContentType(notesRel->targetPart), kNotesType);
  auto back = pkg.RelationshipByType(notesRel->targetPart, "slide");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->targetPart, slide.part);
  auto master = pkg.RelationshipByType(notesRel->targetPart, "notesMaster");
  ASSERT_TRUE(master);
  EXPECT_TRUE(pkg.RelationshipByType(master->targetPart, "theme"));
  // The master is listed in the presentation, right after the slide masters.
  pugi::xml_node list = pkg.Xml(reopened->PresentationPart()).document_element().child("p:notesMasterIdLst");
  ASSERT_TRUE(list);
  EXPECT_STREQ(list.previous_sibling().name(), "p:sldMasterIdLst");
  auto page2 = host::pptx::MakeNotesPage(First(reopened));
  EXPECT_EQ(NotesBody(page2)->TextFrame2()->TextRange()->Text(), L"Speaker notes\rsecond point!");
}

TEST_F(NotesPageTest, AnExistingNotesMasterIsReused) {
  auto doc = Open(testsupport::CorpusDeck("sc__autoshape-case017_slide-number.pptx"));
  ASSERT_EQ(CountParts(*doc, "ppt/notesMasters/"), 1);
  auto page = host::pptx::MakeNotesPage(First(doc));
  NotesBody(page)->TextFrame2()->TextRange()->InsertAfter(L"Hello");
  EXPECT_EQ(CountParts(*doc, "ppt/notesMasters/"), 1);
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), 1);
  auto rel = doc->Pkg().RelationshipByType(First(doc).part, "notesSlide");
  ASSERT_TRUE(rel);
  auto master = doc->Pkg().RelationshipByType(rel->targetPart, "notesMaster");
  ASSERT_TRUE(master);
  EXPECT_EQ(master->targetPart, "ppt/notesMasters/notesMaster1.xml");
}

TEST_F(NotesPageTest, AnExistingPageIsReadAndEditedInPlace) {
  auto doc = Open(testsupport::CorpusDeck("pptx__prs-notes.pptx"));
  int before = CountParts(*doc, "ppt/notesSlides/");
  auto page = host::pptx::MakeNotesPage(First(doc));
  ExpectSlideImageWithoutText(page);
  auto range = NotesBody(page)->TextFrame()->TextRange();
  std::wstring text = range->Text();
  EXPECT_FALSE(text.empty());
  range->SetText(L"changed " + text);
  EXPECT_EQ(NotesBody(host::pptx::MakeNotesPage(First(doc)))->TextFrame()->TextRange()->Text(), L"changed " + text);
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), before);
  EXPECT_TRUE(doc->Changed());
}

}  // namespace
