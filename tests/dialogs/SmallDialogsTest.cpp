#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "resources/MessageIds.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/platform/Types.h"
#include "src/support/ResourceModule.h"
#include "tests/dialogs/ScriptedViews.h"

using dialogs::CDialogWaitResult;
using dialogs::CInputBox;

// What is typed and which button closes the box are the options dialog's
// tests (its names and paths come through the box).
TEST(InputBox, ShowsTheTitleAndIsCancelledWithoutAView) {
  std::deque<std::optional<std::wstring>> answers{L"name"};
  std::vector<std::wstring> prompts;
  auto view = std::make_unique<dialogtest::ScriptedInputBox>(&answers, &prompts);
  auto* shown = view.get();
  CInputBox box(std::move(view));
  EXPECT_EQ(box.DoModal(), IDOK);
  EXPECT_EQ(shown->Caption(), support::LoadText(resources::msg::kTitleTextId));
  EXPECT_EQ(CInputBox(nullptr).DoModal(), IDCANCEL);
}

namespace {

class ScriptedWaitView : public dialogs::WaitResultView {
 public:
  explicit ScriptedWaitView(std::function<void(CDialogWaitResult&, int dispatch)> user) : mUser(std::move(user)) {}
  bool Create(CDialogWaitResult& dialog) override {
    mDialog = &dialog;
    return true;
  }
  void Destroy() override { destroyed = true; }
  void SetFontName(const std::wstring&) override {}
  void SetCaption(const std::wstring&) override {}
  void SetCancelCaption(const std::wstring& text) override { cancelCaption = text; }
  void SetMessage(const std::wstring& text) override { message = text; }
  void Show() override { visible = true; }
  void Hide() override { visible = false; }
  void Repaint() override {}
  void DispatchOne(int) override {
    if (mUser) mUser(*mDialog, ++dispatches);
  }
  std::wstring cancelCaption;
  std::wstring message;
  bool visible = false;
  bool destroyed = false;
  int dispatches = 0;

 private:
  CDialogWaitResult* mDialog = nullptr;
  std::function<void(CDialogWaitResult&, int)> mUser;
};

}  // namespace

// The box returns the engine's status, or 2 once a cancelled request has
// ended; an engine that ignores Cancel gets the same grace as a run's, then
// the box gives up on it instead of waiting for ever.
TEST(WaitBox, ReturnsTheEnginesStatusOrCancelledOnceTheRequestHasEnded) {
  struct Case {
    const char* what;
    LONG finalStatus;
    std::function<void(CDialogWaitResult&, int)> user;
    long expected;
    int cancels;
    bool ignoresCancel = false;
  };
  auto cancelAt2 = [](CDialogWaitResult& d, int n) {
    if (n == 2) d.cmdCancel_Click();
  };
  auto closeBoxAt2 = [](CDialogWaitResult& d, int n) {
    if (n == 2) d.Form_QueryUnload();
  };
  const Case cases[] = {
      {"done", engine_server::kRequestDone, nullptr, 1, 0},
      {"failed", engine_server::kRequestFailed, nullptr, 3, 0},
      {"cancel button", engine_server::kRequestDone, cancelAt2, 2, 1},
      {"close box", engine_server::kRequestDone, closeBoxAt2, 2, 1},
      {"cancel ignored", engine_server::kRequestDone, cancelAt2, 2, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dialogtest::ScriptedRequest request;
    request.finalStatus = c.finalStatus;
    if (c.ignoresCancel) request.runningPolls = request.afterCancelPolls = 1 << 30;
    auto view = std::make_unique<ScriptedWaitView>(c.user);
    ScriptedWaitView* shown = view.get();
    CDialogWaitResult box(std::move(view), c.ignoresCancel ? 20 : CDialogWaitResult::kCancelGraceMs);
    EXPECT_EQ(box.Run(request, 6003), c.expected);
    EXPECT_EQ(request.cancels, c.cancels);
    // The request was asked until it ended, and only from this thread.
    if (c.cancels > 0 && !c.ignoresCancel) {
      EXPECT_EQ(request.pollsAfterCancel, request.afterCancelPolls + 1);
    }
    EXPECT_THAT(request.threads, ::testing::ElementsAre(std::this_thread::get_id()));
    EXPECT_TRUE(shown->destroyed);
    EXPECT_FALSE(shown->visible);
    EXPECT_EQ(shown->message, support::LoadText(6003));
  }
}
