// What the small dialogs need from their windows: CInputBox (template 117),
// CDialogWaitResult (template 118) and the version box. The Windows views
// are dialogs of those templates (the version box a message box); the Linux
// program uses terminal dialogs, and tests use scripted views.
//
// Views report the user's actions to their dialog (input box: OK 1 and
// Enter cmdOK_Click, Cancel 2, Escape and the close box cmdCancel_Click;
// wait box: Cancel 2 cmdCancel_Click, the close box Form_QueryUnload) and
// keep no state beyond what their controls show. User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace dialogs {

class CInputBox;
class CDialogWaitResult;

namespace inputbox_ids {
inline constexpr int kTemplate = 117;
inline constexpr int kPrompt = 286;
inline constexpr int kText = 229;  // one line, auto-scroll
inline constexpr int kOK = 1;      // default
inline constexpr int kCancel = 2;
}  // namespace inputbox_ids

class InputBoxView {
 public:
  virtual ~InputBoxView() = default;
  // Makes the (hidden) box over `parent` (a window handle, 0 for none),
  // reporting OK and Cancel to `box`. False when it cannot be made.
  virtual bool Create(CInputBox& box, std::uintptr_t parent) = 0;
  // Shows the box centred over its parent and handles the user's actions
  // until Close; returns Close's code.
  virtual int RunModal() = 0;
  virtual void Close(int code) = 0;
  virtual void SetFontName(const std::wstring& fontName) = 0;
  virtual void SetCaption(const std::wstring& text) = 0;
  virtual void SetPrompt(const std::wstring& text) = 0;
  virtual void SetText(const std::wstring& text) = 0;
  virtual std::wstring GetText() = 0;
};

namespace waitresult_ids {
inline constexpr int kTemplate = 118;
inline constexpr int kMessage = 288;  // centred
inline constexpr int kCancel = 2;
}  // namespace waitresult_ids

class WaitResultView {
 public:
  virtual ~WaitResultView() = default;
  // Makes the (hidden) box, reporting Cancel and the window's close box
  // (Form_QueryUnload) to `dialog`. False when it cannot be made.
  virtual bool Create(CDialogWaitResult& dialog) = 0;
  virtual void Destroy() = 0;
  virtual void SetFontName(const std::wstring& fontName) = 0;
  virtual void SetCaption(const std::wstring& text) = 0;
  virtual void SetCancelCaption(const std::wstring& text) = 0;
  virtual void SetMessage(const std::wstring& text) = 0;
  // Shows it centred on the screen, above the host's window.
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Repaint() = 0;
  // Waits up to timeoutMs for one of the user-interface thread's messages
  // (the box's or any other window's) and handles it.
  virtual void DispatchOne(int timeoutMs) = 0;
};

class VersionBoxView {
 public:
  virtual ~VersionBoxView() = default;
  // Shows `text` under `caption` with an OK button until the user closes it.
  virtual void Show(const std::wstring& caption, const std::wstring& text) = 0;
};

using InputBoxViewFactory = std::function<std::unique_ptr<InputBoxView>()>;
using WaitResultViewFactory = std::function<std::unique_ptr<WaitResultView>()>;

}  // namespace dialogs
