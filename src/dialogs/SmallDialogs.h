// The small dialogs: CInputBox, a one-line prompt; CDialogWaitResult, a
// "please wait" box with a cancel button over an engine request; and the
// version box. User-interface thread only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "src/dialogs/SmallDialogViews.h"
#include "src/engine/server/EngineServer.h"

namespace dialogs {

class CInputBox {
 public:
  explicit CInputBox(std::unique_ptr<InputBoxView> view);
  void SetPrompt(std::wstring prompt) { mPrompt = std::move(prompt); }
  // 1 (OK) or 2 (Cancel, also when the view cannot be made).
  int DoModal(std::uintptr_t parent = 0);
  const std::wstring& Result() const { return mResult; }

  // Handlers the view calls.
  void OnInitDialog();
  void cmdOK_Click();
  void cmdCancel_Click();

 private:
  std::unique_ptr<InputBoxView> mView;
  std::wstring mPrompt;
  std::wstring mResult;
};

// An input box that asks for its text in one go, however Ask does it: an
// answer confirms the box, nullopt cancels it.
class AskingInputBox : public InputBoxView {
 public:
  bool Create(CInputBox& box, std::uintptr_t) override {
    mBox = &box;
    return true;
  }
  int RunModal() override {
    if (std::optional<std::wstring> answer = Ask()) {
      mText = *answer;
      mBox->cmdOK_Click();
    } else {
      mBox->cmdCancel_Click();
    }
    return mCode;
  }
  void Close(int code) override { mCode = code; }
  void SetFontName(const std::wstring&) override {}
  void SetCaption(const std::wstring& text) override { mCaption = text; }
  void SetPrompt(const std::wstring& text) override { mPrompt = text; }
  void SetText(const std::wstring& text) override { mText = text; }
  std::wstring GetText() override { return mText; }
  const std::wstring& Caption() const { return mCaption; }

 protected:
  virtual std::optional<std::wstring> Ask() = 0;

  std::wstring mCaption, mPrompt, mText;

 private:
  CInputBox* mBox = nullptr;
  int mCode = 0;
};

class CDialogWaitResult {
 public:
  // Run's flag: close as soon as the request is done.
  static constexpr int kCloseOnDone = 1;

  // A cancelled request that still runs is given cancelGraceMs to end before
  // the box gives up on it, as a run gives up on one (an engine that ignores
  // Cancel must not hold the host for ever).
  static constexpr int kCancelGraceMs = 10000;

  explicit CDialogWaitResult(std::unique_ptr<WaitResultView> view, int cancelGraceMs = kCancelGraceMs);
  ~CDialogWaitResult();
  CDialogWaitResult(const CDialogWaitResult&) = delete;
  CDialogWaitResult& operator=(const CDialogWaitResult&) = delete;

  // Shows the box with the message of `messageId` and polls the request
  // from this thread until it ends: 1 done, 2 cancelled by the user, 3
  // failed (also when the view cannot be made and the request fails).
  long Run(engine_server::IRequest& request, int messageId, int flags = kCloseOnDone);

  // Handlers the view calls.
  void cmdCancel_Click();
  void Form_QueryUnload();

  bool Cancelled() const { return mCancelled; }

 private:
  std::unique_ptr<WaitResultView> mView;
  engine_server::IRequest* mRequest = nullptr;
  bool mCancelled = false;
  std::chrono::steady_clock::time_point mCancelledAt;
  int mCancelGraceMs;
  bool mDone = false;
  long mStatus = 0;
};

// "<title>  Version <version>\n\n<copyright>" from the program's version
// information, shown in `view` (a message box when null).
std::wstring VersionBoxText();
void ShowVersionBox(VersionBoxView* view);

}  // namespace dialogs
