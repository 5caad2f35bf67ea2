// The host object model over IDispatch, against the PowerPoint stand-in's
// objects backed by real decks on the Linux side: the host contract holds
// through late binding. Runs as the child of the Linux stand-in program
// (run_dispatch_host.sh); the add-in's whole-deck translation through the
// same objects is standin_e2e's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "src/host/dispatch/Dispatch.h"
#include "src/host/dispatch/DispatchHost.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "tests/standin/bridge/Bridge.h"

namespace {

IDispatch* gApplication = nullptr;

// A deck of the corpus (named as the Linux side names it once links are
// resolved), as Windows programs under Wine name it.
std::wstring CorpusDeck(const std::string& name) {
  const char* corpus = std::getenv("PELORANT_CORPUS_DIR");
  std::wstring path = L"Z:" + platform::FromUtf8(std::string(corpus ? corpus : "") + "/" + name);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// The code and description a host call fails with; S_OK when it does not.
template <class F>
std::pair<HRESULT, std::wstring> Failure(F call) {
  try {
    call();
  } catch (const platform::ComError& e) {
    return {e.Error(), e.Description()};
  }
  return {S_OK, L""};
}

// Counts the clicks it is given and remembers the control.
class CountingSink : public host::CommandBarButtonEvents {
 public:
  void Click(const host::Ptr<host::CommandBarControl>& control, bool& cancelDefault) noexcept override {
    ++clicks;
    clicked = control ? control->Identity() : nullptr;
    cancelDefault = true;
  }
  int clicks = 0;
  const void* clicked = nullptr;
};

class DispatchHostTest : public ::testing::Test {
 protected:
  void SetUp() override { app = host::dispatch::MakeApplication(gApplication); }
  void TearDown() override {
    while (app->Presentations()->Count() > 0) app->Presentations()->Item(1)->Close();
  }
  host::Ptr<host::Application> app;
};

TEST_F(DispatchHostTest, TheContractHoldsThroughLateBinding) {
  const std::wstring file = CorpusDeck("poi__table_test2.pptx");
  auto deck = app->Presentations()->Open(file, false, false, true);
  // Paths come back as Windows names them.
  EXPECT_EQ(deck->FullName(), file);

  // A failure reaches the caller with the host's code, not DISP_E_EXCEPTION.
  const auto [code, description] = Failure([&] { deck->Slides()->Item(99); });
  EXPECT_EQ(code, host::kBadIndex);
  EXPECT_FALSE(description.empty());

  // Names resolve once: walking the shapes a second time resolves nothing new.
  auto slide = deck->Slides()->Item(1);
  auto walk = [&] {
    auto shapes = slide->Shapes();
    for (int i = 1; i <= shapes->Count(); ++i) shapes->Item(i)->Name();
  };
  walk();
  const size_t resolved = host::dispatch::ResolvedNameCount();
  walk();
  EXPECT_EQ(host::dispatch::ResolvedNameCount(), resolved);

  // One table with merged areas: every cell answers its area's top-left
  // cell, which answers itself; the areas are fewer than the cells.
  host::Ptr<host::Shape> frame;
  for (int i = 1; i <= slide->Shapes()->Count(); ++i)
    if (slide->Shapes()->Item(i)->HasTable()) frame = slide->Shapes()->Item(i);
  ASSERT_TRUE(frame);
  auto table = frame->Table();
  const int rows = table->Rows()->Count();
  const int columns = table->Columns()->Count();
  std::set<std::pair<int, int>> origins;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= columns; ++c) {
      const host::ShapeIdentity id = table->Cell(r, c)->Shape()->Identity();
      EXPECT_EQ(id.slideId, slide->SlideID());
      EXPECT_EQ(id.shapeId, frame->Id());
      ASSERT_TRUE(id.row >= 1 && id.row <= r && id.column >= 1 && id.column <= c) << r << "," << c;
      EXPECT_EQ(table->Cell(id.row, id.column)->Shape()->Identity(), id);
      origins.insert({id.row, id.column});
    }
  }
  EXPECT_LT(origins.size(), static_cast<size_t>(rows * columns));

  // The same shape by index, by name and through a selection is one identity.
  frame->Select(true);
  auto selected = app->ActiveWindow()->Selection()->ShapeRange()->Item(1);
  EXPECT_EQ(selected->Identity(), frame->Identity());
  EXPECT_EQ(slide->Shapes()->Range(std::vector<std::wstring>{frame->Name()})->Item(1)->Identity(),
            frame->Identity());

  // Text crosses as BSTR both ways, whatever it holds.
  auto text = table->Cell(1, 1)->Shape()->TextFrame()->TextRange();
  const std::wstring written = L"⟦Grüße⟧\r日本語 \"quoted\" 100%";
  text->SetText(written);
  EXPECT_EQ(text->Text(), written);
  EXPECT_EQ(text->Paragraphs(2, 1)->Text(), L"日本語 \"quoted\" 100%");
  deck->Close();
  EXPECT_THROW(deck->Name(), platform::ComError);
}

// Fields and links reach the walk through either text model, and a link
// read from one range is given to another and taken off again.
TEST_F(DispatchHostTest, FieldsAndLinksCrossBothTextModels) {
  auto deck = app->Presentations()->Open(CorpusDeck("sc__autoshape-case001.pptx"), false, false, true);
  auto shapes = deck->Slides()->Item(1)->Shapes();
  host::Ptr<host::TextRange2> linked, plain;
  host::TextObject link;
  int fields = 0;
  for (int i = 1; i <= shapes->Count(); ++i) {
    auto shape = shapes->Item(i);
    if (!shape->HasTextFrame()) continue;
    auto range = shape->TextFrame2()->TextRange();
    const std::vector<host::TextObject> objects = range->TextObjects();
    EXPECT_EQ(objects, shape->TextFrame()->TextRange()->TextObjects()) << i;
    for (const host::TextObject& o : objects) {
      fields += o.kind == host::TextObject::Field;
      if (o.kind == host::TextObject::Action) {
        linked = range;
        link = o;
      }
    }
    if (objects.empty() && range->Length() > 4) plain = range;
  }
  EXPECT_EQ(fields, 1);
  ASSERT_TRUE(linked && plain);
  EXPECT_EQ(link.address.rfind(L"http", 0), 0u) << platform::ToUtf8(link.address);
  EXPECT_EQ(linked->Characters(link.start, link.length)->Text(), L"Link to Competency Document");

  plain->Characters(2, 3)->SetAction(link.action);
  EXPECT_EQ(plain->TextObjects(),
            (std::vector<host::TextObject>{{host::TextObject::Action, 2, 3, link.action, link.address}}));
  plain->SetAction(L"");
  EXPECT_TRUE(plain->TextObjects().empty());
  deck->Close();
}

TEST_F(DispatchHostTest, ClicksArriveThroughConnectionPointsUntilUnadvised) {
  auto menu = app->CommandBars()->Item(std::wstring(L"Menu Bar"));
  auto button = menu->Controls()->Add(host::msoControlButton, 0, L"", 0, true);
  button->SetTag(L"dispatch-test");
  auto sink = std::make_shared<CountingSink>();
  // The module counts the sinks the host holds, for its unload answer.
  const long sinks = host::dispatch::LiveEventSinks();
  const std::uint32_t cookie = button->Advise(sink);
  EXPECT_EQ(host::dispatch::LiveEventSinks(), sinks + 1);
  // Another reference to the same control is the same control.
  auto again = app->CommandBars()->FindControl(0, 0, L"dispatch-test", false);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Identity(), button->Identity());
  again->Execute();
  EXPECT_EQ(sink->clicks, 1);
  EXPECT_EQ(sink->clicked, button->Identity());

  button->Unadvise(cookie);
  EXPECT_EQ(host::dispatch::LiveEventSinks(), sinks);
  button->Execute();
  EXPECT_EQ(sink->clicks, 1);
  EXPECT_EQ(Failure([&] { button->Unadvise(cookie); }).first, host::kNotFound);
  button->Delete(true);
}

// A host reference that died is replaced by the running host, found as
// PowerPoint is: the class of its ProgID among the active objects.
TEST_F(DispatchHostTest, TheRunningHostIsFoundThroughItsProgId) {
  const wchar_t* const key = L"PowerPoint.Application\\CLSID";
  const CLSID clsid = {0x5C1E2B77, 0x3D0A, 0x4F6B, {0x9E, 0x21, 0x7A, 0x44, 0x0C, 0x91, 0x3B, 0x58}};
  wchar_t text[64] = {};
  ASSERT_GT(StringFromGUID2(clsid, text, 64), 0);
  EXPECT_FALSE(host::dispatch::RunningApplication()) << "no host registered yet";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, text,
                            static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  EXPECT_FALSE(host::dispatch::RunningApplication()) << "the host is not running";
  DWORD token = 0;
  ASSERT_EQ(RegisterActiveObject(gApplication, clsid, ACTIVEOBJECT_STRONG, &token), S_OK);
  host::Ptr<host::Application> found = host::dispatch::RunningApplication();
  RevokeActiveObject(token, nullptr);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"PowerPoint.Application");
  ASSERT_TRUE(found);
  EXPECT_FALSE(found->Version().empty());
  EXPECT_EQ(found->Name(), app->Name());
}

}  // namespace

int main(int argc, char** argv) {
  // The channel to the Linux side takes standard output before anything
  // else can write to it.
  std::wstring error;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  gApplication = standin::ConnectToHost(&error);
  if (!gApplication) {
    std::fprintf(stderr, "%s\n", platform::ToUtf8(error).c_str());
    return 2;
  }
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  gApplication->Release();
  const int left = standin::LiveObjects();
  const std::string kinds = standin::DescribeLiveObjects();
  CoUninitialize();
  if (left != 0) {
    std::fprintf(stderr, "%d stand-in object(s) were never released: %s\n", left, kinds.c_str());
    return 1;
  }
  return result;
}
