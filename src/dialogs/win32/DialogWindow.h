// What the Windows dialog views share: where their templates come from, the
// dialog font, and a modal loop of their own (the views create their windows
// modeless and hidden, so the dialog logic can fill them before they show).
//
// User-interface thread only.
#pragma once

#include <windows.h>

#include <string>

namespace dialogs::win32 {

// The module holding dialog template `templateId`: the loaded language
// resource module when it carries the template, otherwise the module this
// code is linked into (the add-in DLL, or a test program).
HINSTANCE TemplateModule(int templateId);

// A font of the language resources' name at 9 points, owned by the view.
class DialogFont {
 public:
  DialogFont() = default;
  ~DialogFont();
  DialogFont(const DialogFont&) = delete;
  DialogFont& operator=(const DialogFont&) = delete;
  // Creates the font and gives it to `window` and all its descendants; an
  // empty name keeps the template's font.
  void Apply(HWND window, const std::wstring& name);

 private:
  HFONT mFont = nullptr;
};

// Runs `dialog` modally: disables its owner, shows it, and dispatches the
// thread's messages until *done turns true (or WM_QUIT arrives, which is
// posted again for the outer loop). Re-enables the owner afterwards.
void RunModalLoop(HWND dialog, const bool* done);

// One turn of a modeless dialog's own loop: waits up to `timeoutMs` for a
// message of the calling thread and gives it to the dialog's keyboard
// handling first (Escape is its cancel button, Tab moves between controls),
// else translates and dispatches it. A WM_QUIT is posted again for the
// outer loop.
void DispatchDialogMessage(HWND dialog, int timeoutMs);

// Centres `window` over `over`, or over the work area when `over` is null.
void CentreWindow(HWND window, HWND over);

std::wstring WindowText(HWND window);

}  // namespace dialogs::win32
