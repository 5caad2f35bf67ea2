// What CDialogProgress needs from the window that shows it. The Windows view
// is the modeless dialog of template 207; the Linux program uses a progress
// line on the terminal.
//
// Threads: Create, Destroy and DispatchOne run on the dialog's own thread.
// The setters and Show/Hide/BringToTop/Repaint/FocusCancel are called from
// the user-interface thread (and, after a cancel question, from the dialog
// thread); a view hands them to the dialog thread the way window messages
// would travel, and takes no lock of its own.
#pragma once

#include <cstdint>
#include <string>

namespace dialogs {

class CDialogProgress;

class ProgressView {
 public:
  virtual ~ProgressView() = default;

  // Creates the (hidden) window for `dialog`, which it reports the cancel
  // button's click to. False when it cannot be created.
  virtual bool Create(CDialogProgress& dialog) = 0;
  virtual void Destroy() = 0;
  // Waits up to timeoutMs for one message of the dialog thread and handles it.
  virtual void DispatchOne(int timeoutMs) = 0;

  virtual void SetFontName(const std::wstring& fontName) = 0;
  virtual void SetTitle(const std::wstring& text) = 0;
  virtual void SetCancelCaption(const std::wstring& text) = 0;
  virtual void SetStatusText(const std::wstring& text) = 0;   // control 283
  virtual void SetCountLabel(const std::wstring& text) = 0;   // control 284
  virtual void SetCountsText(const std::wstring& text) = 0;   // control 285
  // Sets the bar (range 0..100); false when the bar is missing.
  virtual bool SetBarPosition(int percent) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void BringToTop() = 0;
  virtual void Repaint() = 0;
  virtual void FocusCancel() = 0;
  // The native window that owns the cancel question (0: none, for views
  // without a window of the platform's).
  virtual std::uintptr_t NativeWindow() const { return 0; }
};

}  // namespace dialogs
