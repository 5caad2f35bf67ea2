#include "src/dialogs/TerminalProgressView.h"

#include <signal.h>
#include <unistd.h>

#include <string>

#include "src/dialogs/CDialogProgress.h"
#include "src/platform/MessagePump.h"
#include "src/platform/Strings.h"

namespace dialogs {

namespace {

volatile sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) { gInterrupted = 1; }

void WriteAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(STDERR_FILENO, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// The texts live on the dialog thread; other threads post their changes to
// it, the way window messages reach a dialog's controls.
class TerminalProgressView : public ProgressView {
 public:
  explicit TerminalProgressView(bool forceOutput) : mOutput(forceOutput || ::isatty(STDERR_FILENO)) {}

  bool Create(CDialogProgress& dialog) override {
    mDialog = &dialog;
    mThread = platform::CurrentMessageThread();
    gInterrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // A Ctrl-C must not cut short the system calls other threads are in
    // (reading from an engine's pipeline, reaping its processes).
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    mHaveOldAction = sigaction(SIGINT, &action, &mOldAction) == 0;
    return true;
  }

  void Destroy() override {
    ClearLine();
    if (mHaveOldAction) sigaction(SIGINT, &mOldAction, nullptr);
    mHaveOldAction = false;
  }

  void DispatchOne(int timeoutMs) override {
    platform::WaitAndDispatchMessage(timeoutMs);
    if (gInterrupted) {
      gInterrupted = 0;
      ClearLine();
      if (mDialog) mDialog->cmdCancel_Click();
    }
  }

  void SetFontName(const std::wstring&) override {}
  void SetTitle(const std::wstring&) override {}
  void SetCancelCaption(const std::wstring&) override {}
  void SetStatusText(const std::wstring& text) override {
    Post([this, text] { mStatus = text; });
  }
  void SetCountLabel(const std::wstring&) override {}
  void SetCountsText(const std::wstring& text) override {
    Post([this, text] { mCounts = text; });
  }
  bool SetBarPosition(int percent) override {
    Post([this, percent] { mPercent = percent; });
    return true;
  }
  void Show() override {
    Post([this] {
      mVisible = true;
      Render();
    });
  }
  void Hide() override {
    Post([this] {
      ClearLine();
      mVisible = false;
    });
  }
  void BringToTop() override {}
  void Repaint() override {
    Post([this] { Render(); });
  }
  void FocusCancel() override {}

 private:
  void Post(platform::ThreadTask task) {
    if (platform::CurrentMessageThread() == mThread) {
      task();
    } else {
      platform::PostThreadTask(mThread, std::move(task));
    }
  }

  void Render() {
    if (!mOutput || !mVisible) return;
    std::wstring line = mStatus;
    if (!mCounts.empty()) line += L"  " + mCounts;
    if (mPercent >= 0) line += L"  " + std::to_wstring(mPercent) + L"%";
    WriteAll("\r\x1b[K" + platform::ToUtf8(line));
    mShown = true;
  }

  void ClearLine() {
    if (mOutput && mShown) WriteAll("\r\x1b[K");
    mShown = false;
  }

  bool mOutput;
  CDialogProgress* mDialog = nullptr;
  platform::MessageThreadId mThread = 0;
  struct sigaction mOldAction {};
  bool mHaveOldAction = false;
  std::wstring mStatus;
  std::wstring mCounts;
  int mPercent = -1;
  bool mVisible = false;
  bool mShown = false;
};

}  // namespace

std::unique_ptr<ProgressView> MakeTerminalProgressView(bool forceOutput) {
  return std::make_unique<TerminalProgressView>(forceOutput);
}


}  // namespace dialogs
