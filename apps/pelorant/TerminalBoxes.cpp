#include <optional>
#include <string>

#include "apps/pelorant/TerminalWindow.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/platform/Types.h"

namespace app::terminal {

namespace {

// ---------------------------------------------------------------------------
// Input box

// A confirmed empty line and a cancel stay apart: AskLine says which.
class TerminalInputBox : TerminalScreen, public dialogs::AskingInputBox {
 protected:
  std::optional<std::wstring> Ask() override {
    std::wstring text = mText;
    if (!AskLine(mCaption, mPrompt, &text)) return std::nullopt;
    return text;
  }
};

}  // namespace

std::unique_ptr<dialogs::InputBoxView> MakeInputBox() { return std::make_unique<TerminalInputBox>(); }

// The add-in's message boxes as terminal dialogs.
int TerminalMessageBox(const platform::MessageBoxRequest& request) {
  using B = fc::FMessageBox::ButtonType;
  const unsigned buttons = request.style & 0xF;
  B b0 = B::Ok, b1 = B::Reject, b2 = B::Reject;
  if (buttons == MB_OKCANCEL) b1 = B::Cancel;
  if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
    b0 = B::Yes;
    b1 = B::No;
    if (buttons == MB_YESNOCANCEL) b2 = B::Cancel;
  }
  fc::FMessageBox box(F(request.caption), F(request.text), b0, b1, b2, OwnerWindow());
  switch (box.exec()) {
    case B::Yes: return IDYES;
    case B::No: return IDNO;
    case B::Cancel: return IDCANCEL;
    case B::Ok: return IDOK;
    default: return buttons == MB_OK ? IDOK : IDCANCEL;
  }
}

}  // namespace app::terminal
