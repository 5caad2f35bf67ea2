// What the terminal views share: the widget toolkit's names, the modal
// window they all run in, and the one-line question box. Internal to the
// terminal dialogs; the rest of the program sees TerminalDialogs.h.
#pragma once

#include <final/final.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "src/dialogs/DialogViews.h"
#include "src/platform/System.h"

namespace app::terminal {

namespace fc = finalcut;

inline fc::FString F(const std::wstring& text) { return fc::FString(text); }
inline std::wstring W(const fc::FString& text) { return text.toWString(); }

// A modal dialog whose close box and Escape key are reported instead of
// closing it: the dialog's logic decides.
class ModalWindow : public fc::FDialog {
 public:
  explicit ModalWindow(fc::FWidget* parent) : fc::FDialog(parent) {}
  std::function<void()> onCloseRequest;
  std::function<void(int)> onTimerFired;
  std::function<void()> onShown;

  void onKeyPress(fc::FKeyEvent* event) override {
    // The toolkit ignores Escape in the application's main window, where
    // setup and lookup run; every dialog here treats it as its close box.
    if (fc::isEscapeKey(event->key()) && onCloseRequest) {
      event->accept();
      onCloseRequest();
      return;
    }
    fc::FDialog::onKeyPress(event);
  }
  void onClose(fc::FCloseEvent* event) override {
    event->ignore();
    if (onCloseRequest) onCloseRequest();
  }
  void onTimer(fc::FTimerEvent* event) override {
    if (onTimerFired) onTimerFired(event->getTimerId());
  }
  void onShow(fc::FShowEvent* event) override {
    fc::FDialog::onShow(event);
    if (onShown) onShown();
  }
  void Finish() {
    if (mMain) {
      fc::FApplication::getApplicationObject()->quit();
    } else {
      done(fc::FDialog::ResultCode::Accept);
    }
  }
  // Runs the window as the application's main window until Finish: the
  // toolkit reads the keyboard only in the application's own loop.
  void RunAsMain() {
    mMain = true;
    fc::FWidget::setMainWidget(this);
    show();
    fc::FApplication::getApplicationObject()->exec();
    hide();
  }

 private:
  bool mMain = false;
};

// The toolkit's combo box takes Escape for its list even while the list is
// closed; this one leaves it to the dialog then, which closes as from any
// other control.
class ComboBox : public fc::FComboBox {
 public:
  using fc::FComboBox::FComboBox;
  void onKeyPress(fc::FKeyEvent* event) override {
    if (fc::isEscapeKey(event->key()) && !ListShown()) return;  // not accepted: it goes on to the dialog
    fc::FComboBox::onKeyPress(event);
  }

 private:
  bool ListShown() const {
    for (const fc::FObject* child : getChildren()) {
      if (auto* list = dynamic_cast<const fc::FDropDownListBox*>(child); list && list->isShown()) return true;
    }
    return false;
  }
};

// The toolkit's application object for as long as a terminal view lives:
// the first view made starts it (and, while it runs, the add-in's message
// boxes are terminal dialogs), the last one gone ends it. Views inherit it
// first, so that it outlives their windows.
class TerminalScreen {
 public:
  TerminalScreen(const TerminalScreen&) = delete;
  TerminalScreen& operator=(const TerminalScreen&) = delete;

 protected:
  TerminalScreen();
  ~TerminalScreen();
  // The window a view runs in: the terminal less a border, no smaller than
  // minimum; null without the toolkit. Its close box and Escape go to
  // onCloseRequest.
  static std::unique_ptr<ModalWindow> OpenWindow(fc::FSize minimum, std::function<void()> onCloseRequest);
  // Keeps how a dialog was closed for the command that opened it; returns code.
  static int Closed(int code);
  // The word the command line types into the lookup dialog; empty after.
  static std::wstring TakeTypedWord();

 private:
  std::shared_ptr<void> mScreen;
};

fc::FWidget* OwnerWindow();
bool AskLine(const std::wstring& caption, const std::wstring& prompt, std::wstring* text);

// One file each.
std::unique_ptr<dialogs::SetupView> MakeSetupView();
std::unique_ptr<dialogs::LookupDictView> MakeLookupView();
std::unique_ptr<dialogs::InputBoxView> MakeInputBox();
int TerminalMessageBox(const platform::MessageBoxRequest& request);

}  // namespace app::terminal
