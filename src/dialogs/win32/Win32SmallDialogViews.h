// The input box (template 117), the wait box (template 118) and the version
// box (a message box) on Windows.
#pragma once

#include <windows.h>

#include "src/dialogs/SmallDialogViews.h"
#include "src/dialogs/win32/DialogWindow.h"

namespace dialogs::win32 {

class Win32InputBoxView : public InputBoxView {
 public:
  Win32InputBoxView() = default;
  ~Win32InputBoxView() override;

  bool Create(CInputBox& box, std::uintptr_t parent) override;
  int RunModal() override;
  void Close(int code) override;
  void SetFontName(const std::wstring& fontName) override;
  void SetCaption(const std::wstring& text) override;
  void SetPrompt(const std::wstring& text) override;
  void SetText(const std::wstring& text) override;
  std::wstring GetText() override;

  HWND Window() const { return mWindow; }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  CInputBox* mBox = nullptr;
  HWND mWindow = nullptr;
  DialogFont mFont;
  bool mDone = false;
  int mCode = 2;
};

class Win32WaitResultView : public WaitResultView {
 public:
  Win32WaitResultView() = default;
  ~Win32WaitResultView() override;

  bool Create(CDialogWaitResult& dialog) override;
  void Destroy() override;
  void SetFontName(const std::wstring& fontName) override;
  void SetCaption(const std::wstring& text) override;
  void SetCancelCaption(const std::wstring& text) override;
  void SetMessage(const std::wstring& text) override;
  void Show() override;
  void Hide() override;
  void Repaint() override;
  void DispatchOne(int timeoutMs) override;

  HWND Window() const { return mWindow; }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  CDialogWaitResult* mDialog = nullptr;
  HWND mWindow = nullptr;
  DialogFont mFont;
};

class Win32VersionBoxView : public VersionBoxView {
 public:
  void Show(const std::wstring& caption, const std::wstring& text) override;
};

// Makes the add-in's dialogs use these window views.
void RegisterWindowViews();

}  // namespace dialogs::win32
