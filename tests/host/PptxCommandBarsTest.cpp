#include <gtest/gtest.h>

#include "src/host/pptx/PptxApplication.h"
#include "tests/platform/TestSupport.h"

using namespace host;

using testsupport::ErrorOf;

namespace {

struct Recorder : CommandBarButtonEvents {
  std::vector<std::wstring> clicks;
  std::function<void()> onClick;
  void Click(const Ptr<CommandBarControl>& c, bool&) noexcept override {
    clicks.push_back(c->Tag());
    if (onClick) onClick();
  }
};

class PptxCommandBars : public ::testing::Test {
 protected:
  Ptr<Application> app = pptx::CreateApplication();
  Ptr<CommandBars> bars = app->CommandBars();
};

}  // namespace

TEST_F(PptxCommandBars, BuiltInBarsByNameAndIndex) {
  auto menu = bars->Item(L"Menu Bar");
  EXPECT_EQ(menu->Type(), msoBarTypeMenuBar);
  EXPECT_TRUE(menu->BuiltIn());
  EXPECT_EQ(bars->Item(menu->Index())->Name(), L"Menu Bar");
  EXPECT_GT(menu->Controls()->Count(), 5);
  EXPECT_EQ(menu->Controls()->Item(1)->Type(), msoControlPopup);
  EXPECT_EQ(ErrorOf([&] { bars->Item(L"No Such Bar"); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { bars->Item(0); }), DISP_E_BADINDEX);
  EXPECT_EQ(ErrorOf([&] { menu->Delete(); }), E_ACCESSDENIED);
  // The same application hands out the same bars.
  EXPECT_EQ(app->CommandBars()->Item(L"Menu Bar")->Controls()->Count(), menu->Controls()->Count());
}

TEST_F(PptxCommandBars, PopupMenuWithButtonsRefusesBadValuesAndIsFoundByTag) {
  auto menu = bars->Item(L"Menu Bar");
  int before = menu->Controls()->Count();
  auto popup = menu->Controls()->Add(msoControlPopup, 1, {}, 0, true);
  popup->SetTag(L"Prog.Id");
  EXPECT_EQ(menu->Controls()->Count(), before + 1);
  EXPECT_EQ(popup->Index(), before + 1);
  EXPECT_EQ(ErrorOf([&] { popup->Style(); }), DISP_E_MEMBERNOTFOUND);

  auto b = popup->Controls()->Add(msoControlButton, 1, {}, 0, true);
  b->SetTag(L"Prog.Id.MENU.TRAN-SHEET");
  b->SetCaption(L"Translate slide");
  b->SetVisible(false);  // hidden from a search for visible controls below
  EXPECT_EQ(b->Parent()->Type(), msoBarTypePopup);
  EXPECT_EQ(ErrorOf([&] { b->SetPicture(ButtonPicture{2, 2, {1}}); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { b->SetPriority(9); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { b->SetState(5); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { b->Controls(); }), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(ErrorOf([&] { popup->Controls()->Add(77, 1, {}, 0, false); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { popup->Controls()->Add(msoControlButton, 1, {}, 5, false); }), E_INVALIDARG);

  // Inserted before the first control.
  auto first = popup->Controls()->Add(msoControlButton, 1, {}, 1, true);
  EXPECT_EQ(popup->Controls()->Item(1)->Identity(), first->Identity());
  EXPECT_EQ(b->Index(), 2);

  // Found again by tag, anywhere in the bars.
  auto found = bars->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Identity(), b->Identity());
  EXPECT_FALSE(bars->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", true));
  EXPECT_EQ(menu->FindControl(0, 0, L"Prog.Id", false, false)->Identity(), popup->Identity());
  EXPECT_FALSE(menu->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false, false));
  EXPECT_TRUE(menu->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false, true));

  // Deleting the popup deletes what it holds.
  popup->Delete(false);
  EXPECT_EQ(menu->Controls()->Count(), before);
  EXPECT_EQ(ErrorOf([&] { b->Caption(); }), E_FAIL);
  EXPECT_TRUE(bars->FindControls(0, 0, L"Prog.Id.MENU.TRAN-SHEET").empty());
}

TEST_F(PptxCommandBars, ToolbarsAddedByNameKeepTheirPosition) {
  auto tb = bars->Add(L"Pelorant", msoBarTop, false, true);
  EXPECT_FALSE(tb->Visible());
  EXPECT_EQ(ErrorOf([&] { bars->Add(L"Pelorant", msoBarTop, false, true); }), E_INVALIDARG);
  tb->SetVisible(true);
  tb->SetPosition(msoBarFloating);
  tb->SetLeft(-10);
  tb->SetRowIndex(3);
  EXPECT_EQ(bars->Item(L"Pelorant")->Left(), -10);
  EXPECT_EQ(bars->Item(L"Pelorant")->Position(), msoBarFloating);
  EXPECT_EQ(bars->Item(L"Pelorant")->RowIndex(), 3);
  EXPECT_EQ(ErrorOf([&] { tb->SetPosition(12); }), E_INVALIDARG);
  auto btn = tb->Controls()->Add(msoControlButton, 1, {}, 0, true);
  btn->SetStyle(msoButtonIcon);
  auto btn2 = tb->Controls()->Add(msoControlButton, 1, {}, 0, true);
  btn2->SetStyle(msoButtonIcon);
  EXPECT_EQ(btn2->Left(), btn->Left() + btn->Width());
  EXPECT_GE(tb->Width(), btn->Width() * 2);
  int count = bars->Count();
  tb->Delete();
  EXPECT_EQ(bars->Count(), count - 1);
  EXPECT_EQ(ErrorOf([&] { btn->Execute(); }), E_FAIL);
  EXPECT_EQ(ErrorOf([&] { tb->Name(); }), E_FAIL);
}

TEST_F(PptxCommandBars, ClicksReachConnectedSinksOnly) {
  auto tb = bars->Add(L"Tools2", msoBarTop, false, true);
  auto btn = tb->Controls()->Add(msoControlButton, 1, {}, 0, true);
  btn->SetTag(L"T.1");
  auto first = std::make_shared<Recorder>(), second = std::make_shared<Recorder>();
  auto c1 = btn->Advise(first);
  auto c2 = btn->Advise(second);
  EXPECT_NE(c1, c2);
  btn->Execute();
  EXPECT_EQ(first->clicks, std::vector<std::wstring>{L"T.1"});
  EXPECT_EQ(second->clicks.size(), 1u);
  btn->Unadvise(c1);
  btn->Execute();
  EXPECT_EQ(first->clicks.size(), 1u);
  EXPECT_EQ(second->clicks.size(), 2u);
  EXPECT_EQ(ErrorOf([&] { btn->Unadvise(c1); }), E_INVALIDARG);
  // A sink may disconnect itself while it handles the click.
  second->onClick = [&] { btn->Unadvise(c2); };
  btn->Execute();
  btn->Execute();
  EXPECT_EQ(second->clicks.size(), 3u);
  // A disabled button does not click.
  auto third = std::make_shared<Recorder>();
  btn->Advise(third);
  btn->SetEnabled(false);
  EXPECT_EQ(ErrorOf([&] { btn->Execute(); }), E_FAIL);
  EXPECT_TRUE(third->clicks.empty());
  EXPECT_EQ(ErrorOf([&] { btn->Advise(nullptr); }), E_INVALIDARG);
  auto popup = tb->Controls()->Add(msoControlPopup, 1, {}, 0, true);
  EXPECT_EQ(ErrorOf([&] { popup->Advise(third); }), DISP_E_MEMBERNOTFOUND);
}
