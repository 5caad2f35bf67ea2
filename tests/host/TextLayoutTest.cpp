// Measuring with a face whose metrics are published (Liberation Sans is
// metric-compatible with the common grotesque: H 1479, e 1139, l 455,
// o 1139, space 569 units of 2048; line height ascender 1854 + descender
// 434 + gap 67).
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include <gtest/gtest.h>

#include "src/host/pptx/FontMetrics.h"
#include "src/host/pptx/TextLayout.h"
#include "tests/host/TextTestSupport.h"

using texttest::Owner;

namespace {

constexpr double kUnits = 2048.0;
constexpr double kHello = (1479 + 1139 + 455 + 455 + 1139) / kUnits;  // in ems
constexpr double kSpace = 569 / kUnits;
constexpr double kLine = (1854 + 434 + 67) / kUnits;

std::string SansRun(const std::string& text, const char* extra = "") {
  return std::string("<a:r><a:rPr lang=\"en-US\" sz=\"1800\" ") + extra +
         "><a:latin typeface=\"Liberation Sans\"/></a:rPr><a:t>" + text + "</a:t></a:r>";
}

class TextLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const host::pptx::FontFace* face = host::pptx::FontMetrics::Instance().Face("Liberation Sans", false, false);
    if (face->Family() != "Liberation Sans") GTEST_SKIP() << "Liberation Sans is not installed (fonts-liberation2)";
  }
};

TEST_F(TextLayoutTest, OneLineMeasuresWithTheFacesAdvancesAndLineHeight) {
  auto o = std::make_shared<Owner>("<a:p>" + SansRun("Hello") + "</a:p>");
  o->frame.wrap = false;
  auto r = host::pptx::MakeTextRange(o);
  EXPECT_NEAR(r->BoundWidth(), kHello * 18, 0.05);
  EXPECT_NEAR(r->BoundHeight(), kLine * 18, 0.05);
  EXPECT_NEAR(r->Characters(1, 1)->BoundWidth(), 1479 / kUnits * 18, 0.05);
  // The same text twice as large is twice as wide; bold is wider still.
  r->Font()->SetSize(36);
  EXPECT_NEAR(r->BoundWidth(), kHello * 36, 0.1);
  double plain = r->BoundWidth();
  r->Font()->SetBold(host::msoTrue);
  EXPECT_GT(r->BoundWidth(), plain);
}

TEST_F(TextLayoutTest, WrapsAtTheFrameWidthLessInsets) {
  // 100 points wide less 2 x 7.2 inset leaves 85.6: "Hello Hello" (87.0) does not fit.
  auto o = std::make_shared<Owner>("<a:p>" + SansRun("Hello Hello Hello Hello") + "</a:p>");
  o->frame.width = 100;
  auto r = host::pptx::MakeTextRange2(o);
  EXPECT_NEAR(r->BoundHeight(), 4 * kLine * 18, 0.1);
  EXPECT_NEAR(r->BoundWidth(), kHello * 18, 0.05);  // trailing blanks hang
  EXPECT_EQ(r->Lines(-1, -1)->Count(), 4);
  EXPECT_EQ(r->Lines(2, 1)->Text(), L"Hello ");
  // Wider frame: two words a line.
  o->frame.width = 110;
  EXPECT_NEAR(r->BoundHeight(), 2 * kLine * 18, 0.1);
  EXPECT_NEAR(r->BoundWidth(), (2 * kHello + kSpace) * 18, 0.05);
  // No wrapping: one line however narrow the frame.
  o->frame.width = 50;
  o->frame.wrap = false;
  EXPECT_NEAR(r->BoundHeight(), kLine * 18, 0.05);
  EXPECT_NEAR(r->BoundWidth(), (4 * kHello + 3 * kSpace) * 18, 0.1);
}

TEST_F(TextLayoutTest, AWordLongerThanTheLineIsCutWhereItOverflowsAndMeasuresWhole) {
  // The renderer cuts it too, but a word cut in two does not fit its box:
  // the bounds take its whole width, so that fitting shrinks it instead.
  auto o = std::make_shared<Owner>("<a:p>" + SansRun("Hi HelloHelloHello") + "</a:p>");
  o->frame.width = 100;
  auto r = host::pptx::MakeTextRange(o);
  EXPECT_EQ(r->Lines(-1, -1)->Count(), 3);
  EXPECT_NEAR(r->BoundWidth(), 3 * kHello * 18, 0.1);
  EXPECT_LE(r->Characters(1, 2)->BoundWidth(), 85.6);
}

TEST_F(TextLayoutTest, LineAndParagraphSpacing) {
  // Space before the first paragraph is no space between paragraphs.
  const std::string before = "<a:spcBef><a:spcPts val=\"600\"/></a:spcBef>";
  auto o = std::make_shared<Owner>("<a:p><a:pPr><a:lnSpc><a:spcPct val=\"150000\"/></a:lnSpc>" + before +
                                   "<a:spcAft><a:spcPts val=\"1200\"/></a:spcAft></a:pPr>" + SansRun("Hello") +
                                   "</a:p><a:p><a:pPr>" + before + "</a:pPr>" + SansRun("Hello") +
                                   "</a:p><a:p><a:pPr><a:lnSpc><a:spcPts val=\"3000\"/></a:lnSpc></a:pPr>" +
                                   SansRun("Hello") + "</a:p>");
  auto r = host::pptx::MakeTextRange(o);
  EXPECT_NEAR(r->Paragraphs(1, 1)->BoundHeight(), 1.5 * kLine * 18, 0.05);
  EXPECT_NEAR(r->Paragraphs(3, 1)->BoundHeight(), 30.0, 0.01);
  // 1.5 lines, 12 points after, 6 before, one line, exactly 30 points.
  EXPECT_NEAR(r->BoundHeight(), 1.5 * kLine * 18 + 12 + 6 + kLine * 18 + 30, 0.1);
  EXPECT_NEAR(r->Paragraphs(2, 1)->BoundTop(), 3.6 + 1.5 * kLine * 18 + 12 + 6, 0.1);
}

TEST_F(TextLayoutTest, ShrinkOnOverflowIsRecomputedAfterAnEdit) {
  auto o = std::make_shared<Owner>("<a:p>" + SansRun("Hi") + "</a:p>", "<a:bodyPr><a:normAutofit/></a:bodyPr>");
  o->frame = {200, 60};
  auto r = host::pptx::MakeTextRange(o);
  r->SetText(L"Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello");
  pugi::xml_node autofit = o->Body(false).child("a:bodyPr").child("a:normAutofit");
  int scale = autofit.attribute("fontScale").as_int(100000);
  EXPECT_LT(scale, 100000);
  EXPECT_GE(scale, 25000);
  // What the renderer now shows fits the frame; one step larger would not.
  host::pptx::TextBody body(o->Body(false));
  EXPECT_LE(host::pptx::LayoutBody(body, o->frame).textHeight, 60 - 7.2);
  EXPECT_GT(host::pptx::LayoutBody(body, o->frame, scale + 7500, 0).textHeight, 60 - 7.2);
  // Short text again: back to full size, attributes gone.
  host::pptx::MakeTextRange(o)->SetText(L"Hi");
  EXPECT_FALSE(autofit.attribute("fontScale"));
  EXPECT_FALSE(autofit.attribute("lnSpcReduction"));
}

TEST_F(TextLayoutTest, EastAsianTextBreaksBetweenCharacters) {
  auto o = std::make_shared<Owner>(
      "<a:p><a:r><a:rPr sz=\"1800\"><a:latin typeface=\"Liberation Sans\"/></a:rPr>"
      "<a:t>\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA"
      "\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E</a:t></a:r></a:p>");
  o->frame.width = 60;
  auto r = host::pptx::MakeTextRange(o);
  EXPECT_GT(r->Lines(-1, -1)->Count(), 1);
  EXPECT_LE(r->BoundWidth(), 60 - 14.4 + 0.01);
}

// Bounds of one frame 200 points wide: the autofit scale shrinks what is
// measured, alignment moves the bounds but not their size, and an empty
// paragraph is as high as its mark.
TEST_F(TextLayoutTest, BoundsFollowScaleAlignmentAndEmptyParagraphs) {
  const struct {
    std::string paragraphs, bodyPr;
    double left, width, height;
  } cases[] = {
      {"<a:p>" + SansRun("Hello") + "</a:p>",
       "<a:bodyPr><a:normAutofit fontScale=\"50000\" lnSpcReduction=\"20000\"/></a:bodyPr>", 7.2, kHello * 9,
       kLine * 9 * 0.8},
      {"<a:p><a:pPr algn=\"ctr\"/>" + SansRun("Hello") + "</a:p>", "<a:bodyPr/>", 7.2 + (200 - 14.4 - kHello * 18) / 2,
       kHello * 18, kLine * 18},
      {"<a:p>" + SansRun("Hello") + "</a:p><a:p><a:endParaRPr sz=\"3600\"><a:latin typeface=\"Liberation Sans\"/>"
       "</a:endParaRPr></a:p>", "<a:bodyPr/>", 7.2, kHello * 18, kLine * 18 + kLine * 36},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paragraphs);
    auto o = std::make_shared<Owner>(c.paragraphs, c.bodyPr);
    o->frame.width = 200;
    auto r = host::pptx::MakeTextRange(o);
    EXPECT_NEAR(r->BoundLeft(), c.left, 0.05);
    EXPECT_NEAR(r->BoundWidth(), c.width, 0.05);
    EXPECT_NEAR(r->BoundHeight(), c.height, 0.1);
    // The font size reads unscaled, as the user set it.
    EXPECT_FLOAT_EQ(r->Characters(1, 1)->Font()->Size(), 18.0f);
  }
}

}  // namespace

namespace {

TEST(FontMetricsTest, AStyledFamilyTheSystemLacksFallsBackOnItsBaseFamily) {
  auto& metrics = host::pptx::FontMetrics::Instance();
  const host::pptx::FontFace* base = metrics.Face("Liberation Sans", false, false);
  if (base->Family() != "Liberation Sans") GTEST_SKIP() << "Liberation Sans is not installed";
  EXPECT_EQ(metrics.Face("Liberation Sans Nonexistentstyle", false, false), base);
  // Cached: the same face object for the same request.
  EXPECT_EQ(metrics.Face("Liberation Sans", false, false), base);
  EXPECT_NE(metrics.Face("Liberation Sans", true, false), base);
  // Characters the face lacks are measured with a face that has them.
  EXPECT_GT(base->Advance(U'\u65E5'), 0.5);
  // A narrow and a wide letter keep their own widths once known.
  const double narrow = base->Advance(U'i'), wide = base->Advance(U'W');
  EXPECT_LT(narrow, wide);
  EXPECT_EQ(base->Advance(U'i'), narrow);
  EXPECT_EQ(base->Advance(U'W'), wide);
}

// What fontconfig itself answers for one missing character: the advance
// in the face it matches, or the half-em stand-in when that face lacks it.
double MatchedAdvance(char32_t c) {
  FcPattern* pattern = FcPatternCreate();
  FcCharSet* set = FcCharSetCreate();
  FcCharSetAddChar(set, c);
  FcPatternAddCharSet(pattern, FC_CHARSET, set);
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  int index = 0;
  double advance = 0.5;
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && FT_Init_FreeType(&library) == 0) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    if (FT_New_Face(library, reinterpret_cast<const char*>(file), index, &face) == 0) {
      FT_Fixed units = 0;
      if (FT_UInt glyph = FT_Get_Char_Index(face, c); glyph && FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &units) == 0)
        advance = static_cast<double>(units) / face->units_per_EM;
      FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
  }
  if (match) FcPatternDestroy(match);
  FcCharSetDestroy(set);
  FcPatternDestroy(pattern);
  return advance;
}

// Missing characters share matches by the fonts that have them; each must
// still get the face fontconfig matches for it alone, whichever came first.
TEST(FontMetricsTest, AMissingCharacterIsMeasuredInTheFaceMatchedForIt) {
  const host::pptx::FontFace* base = host::pptx::FontMetrics::Instance().Face("Liberation Sans", false, false);
  if (base->Family() != "Liberation Sans") GTEST_SKIP() << "Liberation Sans is not installed";
  for (char32_t c : {U'\u27E6', U'\u65E5', U'\u2605', U'\uD55C', U'\u0639', U'\u3042', U'\u27E7', U'\u0915',
                     U'\U0001F600', U'\u672C'}) {
    SCOPED_TRACE(static_cast<unsigned>(c));
    EXPECT_DOUBLE_EQ(base->Advance(c), MatchedAdvance(c));
  }
}

}  // namespace
