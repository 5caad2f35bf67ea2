// The progress dialog of a translation run: a status text, a percentage bar,
// a position count and a cancel button, on a thread of its own so that it
// stays responsive while the user-interface thread works through the host.
//
// The user-interface thread opens it (OpenProgressDialog), drives it through
// the current dialog (SetMessages, SetProgress) and closes it. The dialog's
// only way back is the cancel request: a confirmed click on its cancel
// button raises the run's cancel flag. The current-dialog pointer and the
// cancel-confirmation flag are the only shared state; both are atomic words.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "src/dialogs/ProgressView.h"
#include "src/engine/ProgressReport.h"

namespace dialogs {

class CDialogProgress : public engine::ProgressReport {
 public:
  static constexpr int kTemplateId = 207;

  // What a confirmed cancel does (by default AppCommon's cancel flag).
  using CancelTarget = std::function<void()>;

  CDialogProgress(std::unique_ptr<ProgressView> view, CancelTarget cancel);
  ~CDialogProgress() override;

  // Dialog initialisation (on the dialog thread, once the view exists).
  void Form_Load();

  // User-interface thread.
  void SetMessages(int statusId, int countLabelId) override;
  // Throws ComError(E_FAIL) when the view has no progress bar.
  void SetProgress(std::int64_t position, std::int64_t total) override;

  // Dialog thread: the cancel button was clicked (or Ctrl-C on a terminal).
  // Asks whether to stop; a request while the question is open does nothing.
  void cmdCancel_Click();

  bool IsConfirming() const { return mConfirming.load() != 0; }
  ProgressView& View() { return *mView; }
  const std::wstring& CountLabel() const { return mCountLabel; }

  // The texts and percentage SetProgress shows (exposed for the views).
  static int Percentage(std::int64_t position, std::int64_t total);
  static std::wstring CountsText(const std::wstring& countLabel, std::int64_t position, std::int64_t total);

 private:
  // Holds the calling thread while the cancel question is open.
  void WaitWhileConfirming();

  std::unique_ptr<ProgressView> mView;
  CancelTarget mCancel;
  std::wstring mCountLabel;
  std::atomic<int> mConfirming{0};
};

// Makes the view on the dialog thread (a window belongs to the thread that
// creates it).
using ProgressViewFactory = std::function<std::unique_ptr<ProgressView>()>;

// Starts the dialog thread and shows the dialog; false when the thread or the
// window could not be made (the caller reports message 2005 and runs without
// it). An empty cancel target raises AppCommon::Instance()'s cancel flag.
bool OpenProgressDialog(ProgressViewFactory makeView, CDialogProgress::CancelTarget cancel = {});
// Hides the dialog and lets its thread end; the thread is joined by the next
// open or by WaitForProgressDialogThread.
void CloseProgressDialog();
// Disconnection: closes a dialog that still exists and waits for its thread.
// Then frees the dialog, after clearing the current-dialog pointer and
// AppCommon's progress target where it names the dialog.
void WaitForProgressDialogThread();
// The current dialog, or null (also once its thread has failed). For the
// user-interface thread. The dialog stays valid until the next open or
// WaitForProgressDialogThread, even when its thread fails.
CDialogProgress* CurrentProgressDialog();

}  // namespace dialogs
