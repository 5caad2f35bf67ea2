#include "apps/pelorant/TerminalWindow.h"

#include <algorithm>

#include "apps/pelorant/TextColumns.h"

namespace app::terminal {

// Boxes open over the dialog that runs; the toolkit draws a window above
// its parent.
fc::FWidget* OwnerWindow() {
  fc::FWidget* main = fc::FWidget::getMainWidget();
  return main != nullptr ? main : fc::FApplication::getApplicationObject();
}

// One line of text asked for in a small modal dialog; false on cancel.
bool AskLine(const std::wstring& caption, const std::wstring& prompt, std::wstring* text) {
  ModalWindow box(OwnerWindow());
  box.setText(F(caption));
  box.setModal();
  const std::size_t width = std::max<std::size_t>(50, TextColumns(prompt, true) + 6);
  box.setGeometry(fc::FPoint{4, 4}, fc::FSize{width, 8});
  fc::FLabel label(F(prompt), &box);
  label.setGeometry(fc::FPoint{2, 1}, fc::FSize{width - 4, 1});
  fc::FLineEdit edit(&box);
  edit.setGeometry(fc::FPoint{2, 2}, fc::FSize{width - 4, 1});
  edit.setText(F(*text));
  fc::FButton ok(L"&OK", &box);
  ok.setGeometry(fc::FPoint{2, 4}, fc::FSize{10, 1});
  fc::FButton cancel(L"&Cancel", &box);
  cancel.setGeometry(fc::FPoint{14, 4}, fc::FSize{10, 1});
  bool accepted = false;
  ok.addCallback("clicked", [&] {
    accepted = true;
    box.Finish();
  });
  edit.addCallback("activate", [&] {
    accepted = true;
    box.Finish();
  });
  cancel.addCallback("clicked", [&] { box.Finish(); });
  box.onCloseRequest = [&] { box.Finish(); };
  edit.setFocus();
  box.exec();
  if (accepted) *text = W(edit.getText());
  return accepted;
}

}  // namespace app::terminal
