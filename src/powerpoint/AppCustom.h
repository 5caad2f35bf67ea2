// Translation through the clipboard: translate the selection's text onto the
// clipboard, or the clipboard's text into the selection. User-interface
// thread; failures go to the error list, nothing escapes.
#pragma once

#include <cstdint>
#include <string>

#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/powerpoint/RunCaller.h"

namespace powerpoint {

class AppCustom {
 public:
  // Both return true when the clipboard (copy) or the selection (paste) got
  // a whole translation. With the record's progress switch on they show the
  // progress dialog that `progressView` makes, with its cancel button. A
  // translation the user cancelled changes neither; one the time limit cut
  // short is copied as far as it got (not pasted), and the user is told.
  static bool TranslateCopy(RunCaller& caller, std::int64_t progressTarget,
                            const options::TranslationOptionUDT& record,
                            const dialogs::ProgressViewFactory& progressView = {});
  static bool TranslatePaste(RunCaller& caller, std::int64_t progressTarget,
                             const options::TranslationOptionUDT& record,
                             const dialogs::ProgressViewFactory& progressView = {});

  // The texts of the window's selection as copy gathers them: the selected
  // characters, or each selected shape's text followed by an empty line.
  static std::wstring SelectionText(const host::Ptr<host::Application>& application);
  // Where a paste goes: the selected text (or the caret), the one selected
  // shape's text, or else a new text box on `slide`; both empty: nowhere.
  struct PasteTarget {
    host::Ptr<host::TextRange> range;
    host::Ptr<host::Slide> slide;
  };
  static PasteTarget FindPasteTarget(const host::Ptr<host::Application>& application);
  // Writes text at the target in the record's target language; false when
  // there is nothing to write or nowhere to write it.
  static bool WritePaste(const PasteTarget& target, const std::wstring& text,
                         const options::TranslationOptionUDT& record);

};

}  // namespace powerpoint
