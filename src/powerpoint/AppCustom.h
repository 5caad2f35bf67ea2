// Translation through the clipboard: translate the selection's text onto the
// clipboard, or the clipboard's text into the selection. User-interface
// thread; failures go to the error list, nothing escapes.
#pragma once

#include <cstdint>
#include <string>

#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"

namespace powerpoint {

class AppCustom {
 public:
  static constexpr int kTranslationFailed = 1501;
  static constexpr int kNothingToTranslate = 2001;
  static constexpr int kSelectSomething = 2002;
  static constexpr int kCannotCopy = 2051;
  static constexpr int kCannotPaste = 2052;

  // Both return true when the clipboard (copy) or the selection (paste) got
  // a translation. A cancelled translation changes neither.
  static bool TranslateCopy(RunCaller& caller, std::int64_t progressTarget,
                            const options::TranslationOptionUDT& record);
  static bool TranslatePaste(RunCaller& caller, std::int64_t progressTarget,
                             const options::TranslationOptionUDT& record);

  // The texts of the window's selection as copy gathers them: the selected
  // characters, or each selected shape's text followed by an empty line.
  static std::wstring SelectionText(const host::Ptr<host::Application>& application);
  // Writes text over the selection (or into a new text box); false when
  // there is nothing to write or nowhere to write it.
  static bool PasteIntoSelection(const host::Ptr<host::Application>& application, const std::wstring& text,
                                 const options::TranslationOptionUDT& record);
};

}  // namespace powerpoint
