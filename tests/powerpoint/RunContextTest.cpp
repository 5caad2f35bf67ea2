#include "tests/powerpoint/PowerPointFixture.h"
#include "src/platform/System.h"
#include "src/support/ResourceModule.h"

using namespace pptest;

namespace {

class RunContextTest : public PowerPointTest {};

// Each report is listed in both lists and shown exactly once, whether or not
// the error list shows its entries itself.
TEST_F(RunContextTest, RunErrorsAreListedAndShownOnce) {
  const auto& shown = boxes.requests;
  for (bool display : {false, true}) {
    support::ErrorList::SetDisplay(display);
    ctx.ReportRunError(1505);
  }
  support::ErrorList::SetDisplay(false);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].id, 1505);
  EXPECT_EQ(errors[0].category, 1);
  EXPECT_FALSE(errors[0].text.empty());
  EXPECT_EQ(errors[0].text, support::LoadText(1505));
  EXPECT_EQ(support::ErrorList::GetCount(), 2);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, errors[0].text);
  EXPECT_EQ(shown[0].style & 0xF0u, static_cast<unsigned>(MB_ICONERROR));
}

}  // namespace
