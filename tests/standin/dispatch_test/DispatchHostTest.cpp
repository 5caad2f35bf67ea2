// The host object model over IDispatch, against the PowerPoint stand-in's
// objects backed by real decks on the Linux side: the host contract holds
// through late binding, where only a caller of the contract sees it. Runs
// as the child of the Linux stand-in program (run_dispatch_host.sh); what
// the add-in's whole-deck translation reads and writes through the same
// objects (texts, fields, links, merged cells, the running host found
// again) is checked on the saved decks by standin_e2e.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

TEST(DispatchHostTest, TheContractHoldsThroughLateBinding) {
  auto app = host::dispatch::MakeApplication(gApplication);
  // A deck of the corpus (named as the Linux side names it once links are
  // resolved), as Windows programs under Wine name it.
  const char* corpus = std::getenv("PELORANT_CORPUS_DIR");
  std::wstring file = L"Z:" + platform::FromUtf8(std::string(corpus ? corpus : "") + "/sc__autoshape-case001.pptx");
  std::replace(file.begin(), file.end(), L'/', L'\\');
  auto deck = app->Presentations()->Open(file, false, false, true);
  // Paths come back as Windows names them.
  EXPECT_EQ(deck->FullName(), file);

  // A failure reaches the caller with the host's code, not DISP_E_EXCEPTION.
  const auto [code, description] = Failure([&] { deck->Slides()->Item(99); });
  EXPECT_EQ(std::tuple(code, description.empty()), std::tuple(host::kBadIndex, false));

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

  // The same shape by index, by name and through a selection is one identity.
  auto shapes = slide->Shapes();
  auto shape = shapes->Item(1);
  shape->Select(true);
  EXPECT_EQ(std::tuple(app->ActiveWindow()->Selection()->ShapeRange()->Item(1)->Identity(),
                       shapes->Range(std::vector<std::wstring>{shape->Name()})->Item(1)->Identity()),
            std::tuple(shape->Identity(), shape->Identity()));

  // A link read from one range is given to another and taken off again.
  host::Ptr<host::TextRange2> plain;
  host::TextObject link;
  for (int i = 1; i <= shapes->Count(); ++i) {
    if (!shapes->Item(i)->HasTextFrame()) continue;
    auto range = shapes->Item(i)->TextFrame2()->TextRange();
    const std::vector<host::TextObject> objects = range->TextObjects();
    for (const host::TextObject& o : objects)
      if (o.kind == host::TextObject::Action) link = o;
    if (objects.empty() && range->Length() > 4) plain = range;
  }
  ASSERT_TRUE(plain && !link.action.empty());
  plain->Characters(2, 3)->SetAction(link.action);
  EXPECT_EQ(plain->TextObjects(),
            (std::vector<host::TextObject>{{host::TextObject::Action, 2, 3, link.action, link.address}}));
  plain->SetAction(L"");
  EXPECT_TRUE(plain->TextObjects().empty());
  deck->Close();
}

TEST(DispatchHostTest, ClicksArriveThroughConnectionPointsUntilUnadvised) {
  auto app = host::dispatch::MakeApplication(gApplication);
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
  EXPECT_EQ(std::tuple(sink->clicks, sink->clicked), std::tuple(1, button->Identity()));

  // Unadvised: the sink is let go and hears no more clicks.
  button->Unadvise(cookie);
  button->Execute();
  EXPECT_EQ(std::tuple(host::dispatch::LiveEventSinks(), sink->clicks), std::tuple(sinks, 1));
  EXPECT_EQ(Failure([&] { button->Unadvise(cookie); }).first, host::kNotFound);
  button->Delete(true);
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
  const std::string left = standin::LiveObjects();
  CoUninitialize();
  if (!left.empty()) std::fprintf(stderr, "stand-in objects were never released: %s\n", left.c_str());
  return left.empty() ? result : 1;
}
