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

class NotesPageTest : public ::testing::Test {
 protected:
  static SlideRef First(const std::shared_ptr<Document>& doc) {
    return {doc, doc->SlideList().at(0).id, doc->SlideList().at(0).part, false};
  }
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
  testsupport::TempDir mTemp;
};

TEST_F(NotesPageTest, ReadingAMissingPageWritesNothing) {
  auto doc = Document::Open(testsupport::CorpusDeck("pptx__txt-font-typeface.pptx"));
  auto names = doc->Pkg().PartNames();
  auto page = host::pptx::MakeNotesPage(First(doc));
  EXPECT_EQ(page->SlideIndex(), 1);
  EXPECT_EQ(page->Shapes()->Count(), 2);
  EXPECT_EQ(page->Shapes()->Range()->Count(), 2);
  EXPECT_EQ(Notes(doc)->Text(), L"");
  EXPECT_EQ(Notes(doc)->Font()->Bold(), host::msoFalse);
  EXPECT_THROW(page->NotesPage(), platform::ComError);
  EXPECT_FALSE(doc->Changed());
  EXPECT_EQ(doc->Pkg().PartNames(), names);
}

TEST_F(NotesPageTest, WritingMakesThePageAndANotesMasterWhenTheDeckHasNone) {
  auto doc = Document::Open(testsupport::CorpusDeck("pptx__txt-font-typeface.pptx"));
  ASSERT_EQ(CountParts(*doc, "ppt/notesMasters/"), 0);
  Notes(doc)->SetText(L"Speaker notes\rsecond point");
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), 1);
  EXPECT_EQ(CountParts(*doc, "ppt/notesMasters/"), 1);
  // A second handle on the same slide finds the written page, not a new one.
  EXPECT_EQ(Notes(doc)->Paragraphs(2, 1)->Text(), L"second point");
  Notes(doc)->InsertAfter(L"!");
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), 1);

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
  EXPECT_TRUE(pkg.RelationshipByType(master->targetPart, "theme"));
  // The master is listed in the presentation, right after the slide masters.
  pugi::xml_node list = pkg.Xml(reopened->PresentationPart()).document_element().child("p:notesMasterIdLst");
  EXPECT_STREQ(list.previous_sibling().name(), "p:sldMasterIdLst");
  EXPECT_EQ(Notes(reopened)->Text(), L"Speaker notes\rsecond point!");
}

TEST_F(NotesPageTest, AnExistingNotesMasterIsReused) {
  auto doc = Document::Open(testsupport::CorpusDeck("sc__autoshape-case017_slide-number.pptx"));
  ASSERT_EQ(CountParts(*doc, "ppt/notesMasters/"), 1);
  Notes(doc)->InsertAfter(L"Hello");
  EXPECT_EQ(CountParts(*doc, "ppt/notesMasters/"), 1);
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), 1);
  auto rel = doc->Pkg().RelationshipByType(First(doc).part, "notesSlide");
  ASSERT_TRUE(rel);
  EXPECT_EQ(doc->Pkg().RelationshipByType(rel->targetPart, "notesMaster").value_or(host::pptx::Relationship{}).targetPart,
            "ppt/notesMasters/notesMaster1.xml");
}

TEST_F(NotesPageTest, AnExistingPageIsReadAndEditedInPlace) {
  auto doc = Document::Open(testsupport::CorpusDeck("pptx__prs-notes.pptx"));
  int before = CountParts(*doc, "ppt/notesSlides/");
  std::wstring text = Notes(doc)->Text();
  EXPECT_FALSE(text.empty());
  Notes(doc)->SetText(L"changed " + text);
  EXPECT_EQ(Notes(doc)->Text(), L"changed " + text);
  EXPECT_EQ(CountParts(*doc, "ppt/notesSlides/"), before);
  EXPECT_TRUE(doc->Changed());
}

}  // namespace
