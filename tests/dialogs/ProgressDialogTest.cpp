#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "src/dialogs/CDialogProgress.h"
#include "src/platform/ComError.h"
#include "src/platform/System.h"
#include "src/support/ResourceModule.h"
#include "tests/common/Errors.h"
#include "tests/dialogs/ScriptedViews.h"

using dialogs::CDialogProgress;
using dialogs::CDialogWaitResult;

namespace {

using RecordingView = dialogtest::RecordingProgressView;
using ViewRecord = dialogtest::ProgressRecord;

// Puts the handler before back when it goes.
struct AnswerBoxes {
  ~AnswerBoxes() { platform::SetMessageBoxHandler(previous); }
  platform::MessageBoxHandler previous;
};

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
  void SetCancelCaption(const std::wstring&) override {}
  void SetMessage(const std::wstring& text) override { message = text; }
  void Show() override { visible = true; }
  void Hide() override { visible = false; }
  void Repaint() override {}
  void DispatchOne(int) override {
    if (mUser) mUser(*mDialog, ++dispatches);
  }
  std::wstring message;
  bool visible = false, destroyed = false;
  int dispatches = 0;

 private:
  CDialogWaitResult* mDialog = nullptr;
  std::function<void(CDialogWaitResult&, int)> mUser;
};

class ProgressDialogTest : public ::testing::Test {
 protected:
  std::shared_ptr<ViewRecord> record = std::make_shared<ViewRecord>();
  int cancels = 0;
  CDialogProgress dialog{std::make_unique<RecordingView>(record), [this] { ++cancels; }};
};

}  // namespace

TEST(ProgressDialogRules, PercentagesAreTruncatedAndCountsNeverBelowThePosition) {
  // Exact fractions stay exact (29/100 is no 28); a negative position shows an empty bar.
  const std::int64_t cases[][3] = {{5, 3, 100}, {1, 3, 33},   {2, 3, 66},   {0, 0, 100},          {0, 7, 0},
                                   {29, 100, 29}, {57, 100, 57}, {999999, 1000000, 99}, {-1, 5, 0}};
  for (const auto& c : cases) EXPECT_EQ(CDialogProgress::Percentage(c[0], c[1]), c[2]) << c[0] << "/" << c[1];
  EXPECT_EQ(CDialogProgress::CountsText(L"Sentences:", 1, 3), L"Sentences: (1/3)");
  EXPECT_EQ(CDialogProgress::CountsText(L"Sentences:", 5, 3), L"Sentences: (5/5)");
  EXPECT_EQ(CDialogProgress::CountsText(L"Sentences:", -1, -1), L"Sentences: (--/--)");
  EXPECT_EQ(CDialogProgress::CountsText(L"", 0, 0), L" (0/0)");
  EXPECT_EQ(CDialogProgress::CountsText(L"x", 4000000000LL, 5000000000LL), L"x (4000000000/5000000000)");
}

// The first report shows text 5052's label with "(--/--)" and no bar
// position; texts come by id, emptied below one; without a total the bar
// stays as it was and needs no bar, with one a missing bar fails.
TEST_F(ProgressDialogTest, TheWindowShowsTheResourceTextsAndEachReport) {
  dialog.Form_Load();
  EXPECT_EQ(record->title, support::LoadText(5051));
  EXPECT_EQ(record->cancelCaption, support::LoadText(6003));
  EXPECT_EQ(record->status, support::LoadText(5051));
  EXPECT_EQ(record->counts, support::LoadText(5052) + L" (--/--)");
  EXPECT_EQ(record->percent, -1);
  EXPECT_FALSE(dialog.IsConfirming());
  dialog.SetMessages(5066, 5101);
  EXPECT_EQ(record->status, support::LoadText(5066));
  EXPECT_EQ(dialog.CountLabel(), support::LoadText(5101));
  EXPECT_EQ(record->countLabel, L"(template)") << "the label control is only touched to empty it";
  int tops = record->tops;
  dialog.SetMessages(0, -3);
  EXPECT_EQ(record->status + dialog.CountLabel() + record->countLabel, L"");
  EXPECT_EQ(record->tops, tops + 1);
  dialog.SetProgress(1, 3);
  EXPECT_EQ(record->percent, 33);
  dialog.SetProgress(-1, -1);
  EXPECT_EQ(record->percent, 33);
  EXPECT_EQ(record->counts, L" (--/--)");
  record->barMissing = true;
  EXPECT_EQ(testsupport::ErrorOf([&] { dialog.SetProgress(1, 2); }), E_FAIL);
  EXPECT_NO_THROW(dialog.SetProgress(-1, -1));
}

TEST_F(ProgressDialogTest, CancelAsksAndOnlyYesCancelsTheRun) {
  for (int answer : {IDNO, IDYES}) {
    platform::MessageBoxRequest asked;
    AnswerBoxes boxes{platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& r) {
      asked = r;
      EXPECT_TRUE(dialog.IsConfirming());
      return answer;
    })};
    const int tops = record->tops, focus = record->focus;
    dialog.cmdCancel_Click();
    EXPECT_EQ(cancels, answer == IDYES ? 1 : 0);
    EXPECT_EQ(asked.text, support::LoadText(4002));
    EXPECT_EQ(asked.caption, support::LoadText(4001));
    EXPECT_EQ(asked.style & 0xF, static_cast<unsigned>(MB_YESNO));
    EXPECT_FALSE(dialog.IsConfirming());
    // Answered no, the dialog comes back on top; either way the cancel button keeps the focus.
    EXPECT_EQ(record->tops - tops, answer == IDNO ? 1 : 0);
    EXPECT_EQ(record->focus - focus, 1);
  }
}

TEST_F(ProgressDialogTest, ProgressReportsWaitWhileTheQuestionIsOpen) {
  std::atomic<bool> asking{false};
  std::atomic<bool> answer{false};
  AnswerBoxes boxes{platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest&) {
    asking = true;
    while (!answer.load()) platform::SleepMilliseconds(1);
    return IDNO;
  })};
  std::thread dialogThread([&] { dialog.cmdCancel_Click(); });
  while (!asking.load()) platform::SleepMilliseconds(1);
  std::atomic<bool> reported{false};
  std::thread uiThread([&] {
    dialog.SetProgress(2, 4);
    reported = true;
  });
  platform::SleepMilliseconds(30);
  EXPECT_FALSE(reported.load()) << "the report must wait for the answer";
  answer = true;
  uiThread.join();
  dialogThread.join();
  EXPECT_TRUE(reported.load());
  EXPECT_EQ(record->percent, 50);
}

// A click arrives through the dialog thread's own queue and raises the
// cancel target there; only Close takes the dialog down.
TEST(ProgressDialogThread, OpenRunsTheDialogOnItsOwnThreadWhereAClickCancelsAndCloseEndsIt) {
  auto record = std::make_shared<ViewRecord>();
  std::atomic<int> cancels{0};
  AnswerBoxes boxes{platform::SetMessageBoxHandler([](const platform::MessageBoxRequest&) { return IDYES; })};
  platform::MessageThreadId dialogThread = 0;
  ASSERT_TRUE(dialogs::OpenProgressDialog(
      [record, &dialogThread] {
        dialogThread = platform::CurrentMessageThread();
        return std::make_unique<RecordingView>(record);
      },
      [&] { ++cancels; }));
  CDialogProgress* dialog = dialogs::CurrentProgressDialog();
  ASSERT_NE(dialog, nullptr);
  {
    std::lock_guard<std::mutex> g(record->lock);
    EXPECT_NE(record->createdOn, std::this_thread::get_id());
    EXPECT_EQ(record->title, support::LoadText(5051));
    EXPECT_EQ(record->status, support::LoadText(5052));
    EXPECT_EQ(record->counts, L" (--/--)");
    EXPECT_EQ(record->shows, 1);
  }
  ASSERT_TRUE(platform::PostThreadTask(dialogThread, [dialog] { dialog->cmdCancel_Click(); }));
  while (cancels.load() == 0) platform::SleepMilliseconds(1);
  EXPECT_EQ(dialogs::CurrentProgressDialog(), dialog);
  dialogs::CloseProgressDialog();
  EXPECT_EQ(dialogs::CurrentProgressDialog(), nullptr);
  dialogs::WaitForProgressDialogThread();
  std::lock_guard<std::mutex> g(record->lock);
  EXPECT_EQ(record->hides, 1);
  EXPECT_EQ(record->destroys, 1);
  EXPECT_EQ(cancels.load(), 1);
}

TEST(ProgressDialogThread, AWindowThatCannotBeMadeFailsTheOpen) {
  auto record = std::make_shared<ViewRecord>();
  record->failCreate = true;
  EXPECT_FALSE(dialogs::OpenProgressDialog([record] { return std::make_unique<RecordingView>(record); }, [] {}));
  EXPECT_EQ(dialogs::CurrentProgressDialog(), nullptr);
  EXPECT_FALSE(dialogs::OpenProgressDialog([] { return std::unique_ptr<dialogs::ProgressView>(); }, [] {}));
}

TEST(ProgressDialogThread, AFailingDialogThreadLeavesNoReferenceToAFreedDialog) {
  auto record = std::make_shared<ViewRecord>();
  ASSERT_TRUE(dialogs::OpenProgressDialog([record] { return std::make_unique<RecordingView>(record); }, [] {}));
  CDialogProgress* dialog = dialogs::CurrentProgressDialog();
  ASSERT_NE(dialog, nullptr);
  engine::AppCommon::Instance().SetProgressReport(dialog);
  struct ForgetTarget {
    ~ForgetTarget() { engine::AppCommon::Instance().SetProgressReport(nullptr); }
  } forget;
  record->failDispatch = true;
  for (int waited = 0; dialogs::CurrentProgressDialog() != nullptr && waited < 20000; waited += 5)
    platform::SleepMilliseconds(5);
  EXPECT_EQ(dialogs::CurrentProgressDialog(), nullptr);
  {
    std::lock_guard<std::mutex> g(record->lock);
    ASSERT_EQ(record->freedWhileReferenced, -1) << "the failing thread freed the dialog the run still reports to";
  }
  // The run still holds the dialog as its progress target and keeps reporting.
  dialog->SetProgress(1, 2);
  dialogs::WaitForProgressDialogThread();
  std::lock_guard<std::mutex> g(record->lock);
  EXPECT_EQ(record->freedWhileReferenced, 0) << "the dialog was freed while a pointer still named it";
  EXPECT_EQ(record->destroys, 1);
  EXPECT_EQ(engine::AppCommon::Instance().GetProgressReport(), nullptr);
}

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
