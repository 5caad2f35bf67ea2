// Decks the fuzz targets (fuzz/) found faults with, rebuilt as small decks,
// so that the faults stay fixed.
#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/Strings.h"

using namespace host;

namespace {

class HostRegress : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  Ptr<Application> app = pptx::CreateApplication();
  Ptr<Presentation> Open(const decktest::Deck& d) {
    decktest::Write(d, dir / "deck.pptx");
    return app->Presentations()->Open(platform::FromUtf8((dir / "deck.pptx").string()), true, false, false);
  }
};

// Spans far past the grid (up to the largest int) overflowed the cell's
// extent sums; they end at the grid's edge.
TEST_F(HostRegress, CellSpansPastTheGridEndAtItsEdge) {
  for (const char* span : {"2147483647", "3"}) {
    decktest::Deck d;
    std::string attrs = std::string(" gridSpan=\"") + span + "\" rowSpan=\"" + span + "\"";
    d.slides = {decktest::Table(2, "Table", 2,
                                {decktest::Cell("a") + decktest::Cell("b", attrs),
                                 decktest::Cell("c") + decktest::Cell("d")})};
    auto table = Open(d)->Slides()->Item(1)->Shapes()->Item(1)->Table();
    auto cell = table->Cell(1, 2)->Shape();
    EXPECT_FLOAT_EQ(cell->Left(), table->Cell(1, 1)->Shape()->Left() + 100) << span;
    EXPECT_FLOAT_EQ(cell->Width(), 100) << span;  // one 100 pt column is left
    EXPECT_FLOAT_EQ(cell->Height(), 60) << span;  // both 30 pt rows
  }
}

// "nan", "inf" and overflowing numbers in coordinates and insets gave shapes
// positions and margins that are not numbers; they count as absent.
TEST_F(HostRegress, CoordinatesThatAreNotFiniteCountAsAbsent) {
  decktest::Deck d;
  d.slides = {"<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Odd\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm>"
              "<a:off x=\"nan\" y=\"inf\"/><a:ext cx=\"1e999\" cy=\"-nan\"/></a:xfrm></p:spPr>" +
              decktest::Body("text", "<a:bodyPr lIns=\"nan\" tIns=\"-inf\"/>") + "</p:sp>"};
  auto shape = Open(d)->Slides()->Item(1)->Shapes()->Item(1);
  for (float v : {shape->Left(), shape->Top(), shape->Width(), shape->Height()}) EXPECT_EQ(v, 0);
  EXPECT_FLOAT_EQ(shape->TextFrame()->MarginLeft(), 7.2f);
  EXPECT_FLOAT_EQ(shape->TextFrame()->MarginTop(), 3.6f);
}

}  // namespace
