// Drives the Windows dialog views under Wine and Xvfb: scripted steps that
// run inside a dialog's modal loop, screenshots saved as PNG, and checks that
// what the screen shows is the captions of the string table in a font that
// has their glyphs and room for them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dialogviews {

// One step of a script; returns true when done, false to be called again on
// the next tick (waiting for a window to appear, say).
using Step = std::function<bool()>;

// Runs `open` (which runs a dialog modally) while a thread timer plays
// `steps` from inside its message loop. Returns false when the steps did not
// all finish within the tick budget (about ten seconds); the windows still
// open are then closed so that `open` returns.
bool RunScripted(const std::function<void()>& open, std::vector<Step> steps);

// The visible, enabled top-level window of this thread that is active, or
// null; steps wait for it to change to know that a dialog opened.
HWND ActiveDialog();

// Clicks a button the way the user's click arrives: posted, so a dialog it
// opens runs its own loop while the script goes on. True, as a step that is
// done returns.
bool PostClick(HWND button);

struct Shot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top row first
  // Dark pixels (text, lines, check marks) in a rectangle, in window
  // coordinates; the whole shot when the rectangle is empty. A blank or
  // unpainted area has none.
  size_t Ink(RECT area = RECT{}) const;
};

// Paints `window` and captures it, frame and children included.
Shot Capture(HWND window);
// Saves the shot as PNG under the build's screenshot folder; the full path.
std::wstring SavePng(const Shot& shot, const std::wstring& name);

// A control's text without its '&' accelerator marks.
std::wstring PlainText(HWND control);
std::wstring WithoutAccelerators(const std::wstring& text);

// "ja" when Wine's system language is Japanese, else "en": the language the
// dialogs must speak, and the tag of the screenshots' names.
std::wstring LanguageTag();
// The string table of that language, read from the source tree.
std::map<int, std::wstring> ExpectedStrings();
// A value of the version block (ProductName, say), read from the source tree.
std::wstring ExpectedVersionValue(const std::string& name);

// Problems of `root`'s title bar and of the visible text controls under it:
// a caption with glyphs its font (the system's caption font for the title
// bar) lacks, a list entry with glyphs the list's font lacks, or a control's
// text wider than the control. Empty when every caption can be read in full.
std::vector<std::wstring> TextProblems(HWND root);

}  // namespace dialogviews
