#include "src/dialogs/CDialogProgress.h"

#include <algorithm>
#include <thread>

#include "resources/MessageIds.h"
#include "src/engine/AppCommon.h"
#include "src/platform/ComError.h"
#include "src/platform/MessagePump.h"
#include "src/platform/System.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace dialogs {

namespace msg = resources::msg;

namespace {

constexpr wchar_t kClassName[] = L"frmProgress";
// The dialog thread waits this long for a message before it looks at the
// current-dialog pointer again; a busy poll would take a whole core from the
// translation for the length of the run.
constexpr int kDialogPollMs = 20;

// One open of the dialog: the dialog, the thread that runs it, and the two
// words that thread shares with the user-interface thread.
struct ProgressOpen {
  std::thread thread;
  // Made by the dialog thread; freed by the user-interface thread once that
  // thread has ended and every reference to it is cleared, so that a pointer
  // the user-interface thread still holds never outlives the dialog,
  // whatever became of its thread.
  std::unique_ptr<CDialogProgress> dialog;
  std::atomic<CDialogProgress*> current{nullptr};
  // Set by the dialog thread when it could not make its window, so that the
  // opener stops waiting.
  std::atomic<int> failed{0};
};

// The last open, until the next one or WaitForProgressDialogThread.
// User-interface thread only; the dialog thread has its own reference.
std::unique_ptr<ProgressOpen> gOpen;

std::wstring TextOrEmpty(int id) { return id < 1 ? std::wstring() : support::LoadText(id); }

void DialogThreadProc(ProgressOpen& open, ProgressViewFactory makeView, CDialogProgress::CancelTarget cancel) {
  CDialogProgress* dialog = nullptr;
  try {
    std::unique_ptr<ProgressView> view = makeView ? makeView() : nullptr;
    if (!view) {
      open.failed.store(1);
      return;
    }
    open.dialog = std::make_unique<CDialogProgress>(std::move(view), std::move(cancel));
    dialog = open.dialog.get();
    if (!dialog->View().Create(*dialog)) {
      dialog = nullptr;
      open.failed.store(1);
      return;
    }
    dialog->Form_Load();
    open.current.store(dialog);
    while (open.current.load() != nullptr) {
      if (!dialog->IsConfirming()) {
        dialog->View().DispatchOne(kDialogPollMs);
      } else {
        platform::SleepMilliseconds(kDialogPollMs);
      }
    }
    dialog->View().Destroy();
  } catch (...) {
    LOG_ERROR(std::wstring(kClassName) + L":DialogThreadProc", L"the progress dialog thread failed");
    open.current.store(nullptr);
    open.failed.store(1);
    // The window belongs to this thread; the dialog object stays for the
    // user-interface thread to free.
    if (dialog) {
      try {
        dialog->View().Destroy();
      } catch (...) {
      }
    }
  }
}

// User-interface thread, once the dialog thread has ended.
void FreeOpen() {
  if (!gOpen) return;
  engine::AppCommon& common = engine::AppCommon::Instance();
  if (gOpen->dialog && common.GetProgressReport() == gOpen->dialog.get()) common.SetProgressReport(nullptr);
  gOpen.reset();
}

}  // namespace

CDialogProgress::CDialogProgress(std::unique_ptr<ProgressView> view, CancelTarget cancel)
    : mView(std::move(view)), mCancel(std::move(cancel)) {
  if (!mCancel) mCancel = [] { engine::AppCommon::Instance().SetCancel(true); };
}

CDialogProgress::~CDialogProgress() = default;

void CDialogProgress::Form_Load() {
  mConfirming.store(0);
  mView->SetFontName(support::ResourceModule::Instance().GetFontName());
  SetMessages(msg::kTranslating, msg::kPreparing);
  SetProgress(-1, -1);
  mView->SetTitle(support::LoadText(msg::kTranslating));
  mView->SetCancelCaption(support::LoadText(msg::kCancelText));
}

void CDialogProgress::SetMessages(int statusId, int countLabelId) {
  mView->SetStatusText(TextOrEmpty(statusId));
  mCountLabel = TextOrEmpty(countLabelId);
  if (countLabelId < 1) mView->SetCountLabel(std::wstring());
  mView->BringToTop();
  mView->Repaint();
}

int CDialogProgress::Percentage(std::int64_t position, std::int64_t total) {
  total = std::max(position, total);
  if (total < 1) return 100;
  // Multiplying first keeps exact fractions exact (29 of 100 is 29, where
  // 29 / 100 * 100 gives 28.999...); a negative position shows an empty bar.
  double percent = static_cast<double>(position) * 100.0 / static_cast<double>(total);
  int truncated = static_cast<int>(percent);
  return std::clamp(truncated, 0, 100);
}

std::wstring CDialogProgress::CountsText(const std::wstring& countLabel, std::int64_t position,
                                         std::int64_t total) {
  if (total < 0) return countLabel + L" (--/--)";
  total = std::max(position, total);
  std::int64_t shown = std::max<std::int64_t>(position, 0);
  return countLabel + L" (" + std::to_wstring(shown) + L"/" + std::to_wstring(total) + L")";
}

void CDialogProgress::SetProgress(std::int64_t position, std::int64_t total) {
  WaitWhileConfirming();
  if (total >= 0) {
    if (!mView->SetBarPosition(Percentage(position, total)))
      throw platform::ComError(E_FAIL, L"the progress bar is missing");
  }
  mView->SetCountsText(CountsText(mCountLabel, position, total));
  mView->Repaint();
}

void CDialogProgress::WaitWhileConfirming() {
  // The run halts at its progress report while the question is open; the
  // waiting thread keeps handling its own messages meanwhile.
  while (mConfirming.load() == 1) platform::WaitAndDispatchMessage(kDialogPollMs);
}

void CDialogProgress::cmdCancel_Click() {
  // The question's own message loop runs on this thread, and a click or a
  // close that reaches the dialog through it would wait here for the
  // question it interrupts: while one question is open, another request
  // does nothing.
  if (mConfirming.exchange(1) == 1) return;
  // Only this thread's last-error code is reset here: the error list belongs
  // to the user-interface thread, which may be adding to it right now.
  platform::SetLastErrorCode(0);
  int answer = IDNO;
  try {
    // Owned by the dialog, which takes no clicks while it is open.
    answer = support::ShowMessage(support::LoadText(msg::kQuestionText), MB_YESNO | MB_ICONQUESTION,
                                  support::LoadText(msg::kQuestionCaption), mView->NativeWindow());
  } catch (...) {
    LOG_ERROR(std::wstring(kClassName) + L":cmdCancel_Click", L"the cancel question failed");
  }
  if (answer == IDYES) {
    mCancel();
  } else {
    mView->BringToTop();
    mView->Repaint();
  }
  mConfirming.store(0);
  mView->FocusCancel();
}

bool OpenProgressDialog(ProgressViewFactory makeView, CDialogProgress::CancelTarget cancel) {
  WaitForProgressDialogThread();
  gOpen = std::make_unique<ProgressOpen>();
  ProgressOpen& open = *gOpen;
  try {
    open.thread = std::thread(DialogThreadProc, std::ref(open), std::move(makeView), std::move(cancel));
  } catch (...) {
    gOpen.reset();
    return false;
  }
  // The dialog stays valid once published, even if its thread fails now.
  CDialogProgress* dialog = nullptr;
  while ((dialog = open.current.load()) == nullptr) {
    if (open.failed.load() != 0) {
      open.thread.join();
      FreeOpen();
      return false;
    }
    platform::WaitAndDispatchMessage(1);
  }
  dialog->SetMessages(msg::kPreparing, 0);
  dialog->SetProgress(-1, -1);
  dialog->View().Show();
  dialog->View().BringToTop();
  dialog->View().Repaint();
  return true;
}

void CloseProgressDialog() {
  if (!gOpen) return;
  CDialogProgress* dialog = gOpen->current.load();
  if (dialog) dialog->View().Hide();
  gOpen->current.store(nullptr);
}

void WaitForProgressDialogThread() {
  CloseProgressDialog();
  if (gOpen && gOpen->thread.joinable()) gOpen->thread.join();
  FreeOpen();
}

CDialogProgress* CurrentProgressDialog() { return gOpen ? gOpen->current.load() : nullptr; }

}  // namespace dialogs
