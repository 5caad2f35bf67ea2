#include "src/platform/Display.h"
#include "src/powerpoint/PowerPointTranslationUtil.h"
#include "tests/powerpoint/PowerPointFixture.h"

using namespace pptest;
using powerpoint::PowerPointTranslationUtil;
using powerpoint::WindowRect;

TEST(WindowSplit, HalvesByRoundingSoTheSecondTakesTheRest) {
  struct Case { int align; WindowRect area, first, second; };
  const WindowRect area{7.5, 12, 1001, 701};
  for (const Case& c : {
           Case{1, area, {7.5, 12, 501, 701}, {508.5, 12, 500, 701}},
           Case{2, area, {7.5, 12, 1001, 351}, {7.5, 363, 1001, 350}},
           Case{1, {0, 0, 1000.5, 10}, {0, 0, 500, 10}, {500, 0, 500.5, 10}},
           Case{3, area, area, area},
       }) {
    SCOPED_TRACE(c.align);
    WindowRect first, second;
    PowerPointTranslationUtil::SplitArea(c.area, c.align, &first, &second);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
  }
}

// 1921 x 1040 pixels from (10, 20) at 96 x 120 dpi: 1440.75 x 624 points
// from (7.5, 12).
constexpr platform::ScreenInfo kScreen{{10, 20, 1921, 1040}, 96, 120};

class WindowArrangement : public RunTest {
 protected:
  WindowArrangement() : RunTest(kScreen) {}
  static WindowRect Geometry(const host::Ptr<host::Presentation>& p) {
    auto w = p->Windows()->Item(1);
    return WindowRect{w->Left(), w->Top(), w->Width(), w->Height()};
  }
};

// The source left of or above the translation; without arrangement the
// source stays as it was and the translation only comes forward.
TEST_F(WindowArrangement, SourceLeftOrAboveTranslationRightOrBelow) {
  struct Case { int align; std::optional<WindowRect> orig, tran; };
  for (const Case& c : {Case{1, WindowRect{7.5, 12, 720, 624}, WindowRect{727.5, 12, 720.75, 624}},
                        Case{2, WindowRect{7.5, 12, 1440.75, 312}, WindowRect{7.5, 324, 1440.75, 312}},
                        Case{0, std::nullopt, std::nullopt}}) {
    SCOPED_TRACE(c.align);
    app.reset();
    record.WindowAlign = c.align;
    Open(ThreeSlides());
    const WindowRect before = Geometry(original);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Geometry(original), c.orig.value_or(before));
    if (c.tran) {
      EXPECT_EQ(Geometry(Outcome().translation), *c.tran);
    }
    EXPECT_EQ(original->Windows()->Item(1)->WindowState(), c.align ? host::ppWindowNormal : host::ppWindowMaximized);
    EXPECT_TRUE(Outcome().translation->Windows()->Item(1)->Active());
  }
}
