// The makers of every dialog's view, chosen once per process: the Windows
// add-in registers its window views at start-up, the Linux program its
// terminal views, tests their scripted ones. A dialog whose maker is missing
// does not open (its command logs that and returns).
#pragma once

#include <functional>
#include <memory>

#include "src/dialogs/LookupDictView.h"
#include "src/dialogs/SetupView.h"
#include "src/dialogs/SmallDialogViews.h"

namespace dialogs {

struct DialogViewFactories {
  std::function<std::unique_ptr<SetupView>()> setup;
  std::function<std::unique_ptr<LookupDictView>()> lookup;
  InputBoxViewFactory inputBox;
  WaitResultViewFactory waitResult;
  std::function<std::unique_ptr<VersionBoxView>()> versionBox;
};

// User-interface thread only.
inline DialogViewFactories& ViewFactories() {
  static DialogViewFactories factories;
  return factories;
}

}  // namespace dialogs
