// What CDialogLookupDict, the dictionary lookup dialog, needs from the
// window that shows it. The Windows view is the resizable modal dialog of
// template 115; the Linux program shows a full-screen terminal dialog.
//
// The view reports the user's actions to the dialog (Search button 1 and
// Enter: cmdSearch_onclick; Close 2, Escape and the close box:
// cmdClose_Click; a new dictionary chosen in 250: cboDictionary_Change) and
// the expiry of the timer the dialog starts (Timer_Elapsed); it keeps no state of its own beyond
// what its controls show. User-interface thread only.
#pragma once

#include <string>
#include <vector>

namespace dialogs {

class CDialogLookupDict;

namespace lookup_ids {
inline constexpr int kTemplate = 115;
inline constexpr int kCaption = 0;            // text 8501
inline constexpr int kDictionaryLabel = 248;  // text 8504
inline constexpr int kDictionaryList = 250;
inline constexpr int kWordLabel = 247;        // text 8502
inline constexpr int kWord = 249;
inline constexpr int kSearch = 1;             // default button, text 8503
inline constexpr int kResult = 229;           // multi-line, read-only, scroll bars
inline constexpr int kClose = 2;              // text 6002
}  // namespace lookup_ids

class LookupDictView {
 public:
  virtual ~LookupDictView() = default;

  // Makes the (hidden) dialog over the host's active window, reporting to
  // `dialog`. False when it cannot be made.
  virtual bool Create(CDialogLookupDict& dialog) = 0;
  // Shows the dialog and handles the user's actions until Close or the
  // window's close box (reported as cmdClose_Click); returns Close's code.
  // Nothing is reported to the dialog after it returns.
  virtual int RunModal() = 0;
  virtual void Close(int code) = 0;

  virtual void SetFontName(const std::wstring& fontName) = 0;
  // Caption (id 0), labels and buttons.
  virtual void SetText(int id, const std::wstring& text) = 0;

  virtual void SetDictionaries(const std::vector<std::wstring>& items) = 0;
  virtual void SelectDictionary(int index) = 0;  // -1: none
  virtual int SelectedDictionary() = 0;          // -1: none

  virtual void SetWord(const std::wstring& word) = 0;
  // Earlier search words of the selected dictionary, newest first; the word
  // box offers them for picking (picking one only fills the box).
  virtual void SetHistory(const std::vector<std::wstring>& words) = 0;
  virtual std::wstring GetWord() = 0;
  // The result box; lines are separated by CR LF.
  virtual void SetResult(const std::wstring& text) = 0;
  virtual void Beep() = 0;
  // Off while a search waits for the engine: the Search button, the word
  // box and the dictionary list, whatever would start another search.
  virtual void SetSearching(bool searching) = 0;

  // One-shot timer on the dialog's own message loop: after `ms` it reports
  // Timer_Elapsed once. A timer pending when the window goes is dropped with
  // it; StopTimer drops it earlier.
  virtual void StartTimer(int ms) = 0;
  virtual void StopTimer() = 0;
};

}  // namespace dialogs
