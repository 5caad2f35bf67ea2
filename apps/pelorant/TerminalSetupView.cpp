#include <array>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "apps/pelorant/TerminalWindow.h"
#include "apps/pelorant/TextColumns.h"
#include "src/dialogs/CDialogSetup.h"
#include "src/platform/Types.h"

namespace app::terminal {

namespace {

using dialogs::ControlKind;
using dialogs::SetupControl;

std::wstring ColorText(std::int32_t color) {
  wchar_t text[16];
  // Shown as the web writes colours; the value keeps its 0x00BBGGRR order.
  std::swprintf(text, 16, L"#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  return text;
}

bool ParseColorText(const std::wstring& text, std::int32_t* color) {
  std::wstring hex = text;
  hex.erase(std::remove(hex.begin(), hex.end(), L' '), hex.end());
  if (!hex.empty() && hex[0] == L'#') hex.erase(0, 1);
  if (hex.size() != 6 || hex.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos) return false;
  unsigned long rgb = std::wcstoul(hex.c_str(), nullptr, 16);
  *color = static_cast<std::int32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
  return true;
}

// ---------------------------------------------------------------------------
// Options dialog

struct SetupEntry {
  ControlKind kind = ControlKind::Label;
  fc::FWidget* widget = nullptr;  // null for controls never shown
  std::wstring text;
  int check = 0;
  std::vector<std::wstring> items;
  int selected = -1;
  bool enabled = true;
};

class TerminalSetupView : TerminalScreen, public dialogs::SetupView {
 public:
  bool Create(dialogs::CDialogSetup& dialog) override {
    mDialog = &dialog;
    mWindow = OpenWindow(fc::FSize{80, 24}, [this] { mDialog->cmdCancel_Click(); });
    if (!mWindow) return false;
    for (int p = 0; p < dialogs::kSetupPageCount; ++p) BuildPage(p);
    BuildFrame();
    return true;
  }

  int RunModal() override {
    mWindow->onShown = [this] {
      mWindowShown = true;
      ShowPage(mCurrentPage);
    };
    mWindow->RunAsMain();
    return Closed(mCode);
  }
  void Close(int code) override {
    mCode = code;
    mWindow->Finish();
  }

  void SetTabs(const std::vector<dialogs::SetupPage>& pages, const std::vector<std::wstring>& texts) override {
    for (fc::FButton* b : mTabButtons) delete b;
    mTabButtons.clear();
    mTabPages = pages;
    int x = 1;
    for (size_t i = 0; i < pages.size(); ++i) {
      auto* button = new fc::FButton(F(texts[i]), mWindow.get());
      const std::size_t width = TextColumns(texts[i], true) + 4;
      button->setGeometry(fc::FPoint{x, 1}, fc::FSize{width, 1});
      button->setFlat();
      button->addCallback("clicked", [this, i] { mDialog->Tab_Change(static_cast<int>(i)); });
      x += static_cast<int>(width) + 1;
      mTabButtons.push_back(button);
    }
  }
  void ShowPage(dialogs::SetupPage page) override {
    mCurrentPage = page;
    // Widgets hidden before their window is first shown never appear; the
    // pages are sorted out once it is up.
    if (!mWindowShown) return;
    // The pages share the window: a page is the set of widgets made for it.
    for (int p = 0; p < dialogs::kSetupPageCount; ++p) {
      if (p == static_cast<int>(page)) continue;
      for (fc::FWidget* w : mPageWidgets[p]) w->hide();
    }
    for (fc::FWidget* w : mPageWidgets[static_cast<int>(page)]) {
      if (mNeverShown.count(w)) continue;
      // Hiding the other pages cleared what overlaps them: draw again.
      w->hide();
      w->setVisible(true);
      w->show();
    }
    for (size_t i = 0; i < mTabPages.size(); ++i) mTabButtons[i]->setFlat(mTabPages[i] != page);
    mWindow->redraw();
  }
  void SetFontName(const std::wstring&) override {}

  void SetText(int page, int id, const std::wstring& text) override {
    SetupEntry& e = At(page, id);
    e.text = text;
    if (page == dialogs::kSetupFrame && id == 0) {
      mWindow->setText(F(text));
      return;
    }
    if (!e.widget) return;
    Quietly([&] {
      switch (e.kind) {
        case ControlKind::Label:
        case ControlKind::Swatch:
          static_cast<fc::FLabel*>(e.widget)->setText(F(text));
          break;
        case ControlKind::Button:
          static_cast<fc::FButton*>(e.widget)->setText(F(text));
          break;
        case ControlKind::Group:
          static_cast<fc::FButtonGroup*>(e.widget)->setText(F(text));
          break;
        case ControlKind::Radio:
        case ControlKind::CheckBox:
          static_cast<fc::FToggleButton*>(e.widget)->setText(F(text));
          break;
        case ControlKind::Edit:
        case ControlKind::ReadOnlyEdit:
          static_cast<fc::FLineEdit*>(e.widget)->setText(F(text));
          break;
        default:
          break;
      }
    });
    e.widget->redraw();
  }
  std::wstring GetText(int page, int id) override {
    SetupEntry& e = At(page, id);
    if (e.widget && (e.kind == ControlKind::Edit || e.kind == ControlKind::ReadOnlyEdit))
      return W(static_cast<fc::FLineEdit*>(e.widget)->getText());
    return e.text;
  }
  void SetCheck(int page, int id, int state) override {
    SetupEntry& e = At(page, id);
    e.check = state;
    if (e.widget && (e.kind == ControlKind::Radio || e.kind == ControlKind::CheckBox))
      Quietly([&] { static_cast<fc::FToggleButton*>(e.widget)->setChecked(state != 0); });
  }
  int GetCheck(int page, int id) override {
    SetupEntry& e = At(page, id);
    if (e.widget && (e.kind == ControlKind::Radio || e.kind == ControlKind::CheckBox))
      return static_cast<fc::FToggleButton*>(e.widget)->isChecked() ? 1 : 0;
    return e.check;
  }
  void SetEnabled(int page, int id, bool enabled) override {
    SetupEntry& e = At(page, id);
    e.enabled = enabled;
    if (e.widget) {
      e.widget->setEnable(enabled);
      e.widget->redraw();
    }
  }
  bool IsEnabled(int page, int id) override { return At(page, id).enabled; }
  void SetVisible(int page, int id, bool visible) override {
    SetupEntry& e = At(page, id);
    if (!e.widget) return;
    if (visible) {
      mNeverShown.erase(e.widget);
    } else {
      mNeverShown.insert(e.widget);
      if (mWindowShown) e.widget->hide();
    }
  }
  void SetItems(int page, int id, const std::vector<std::wstring>& items) override {
    SetupEntry& e = At(page, id);
    e.items = items;
    e.selected = -1;
    if (!e.widget) return;
    Quietly([&] {
      if (e.kind == ControlKind::ListBox) {
        auto* list = static_cast<fc::FListBox*>(e.widget);
        list->clear();
        for (const auto& item : items) list->insert(fc::FListBoxItem(F(item)));
      } else if (e.kind == ControlKind::DropDown) {
        auto* combo = static_cast<fc::FComboBox*>(e.widget);
        combo->clear();
        for (const auto& item : items) combo->insert(F(item));
        combo->clearText();
      }
    });
    e.widget->redraw();
  }
  void SelectItem(int page, int id, int index) override {
    SetupEntry& e = At(page, id);
    e.selected = index;
    if (!e.widget || index < 0 || index >= static_cast<int>(e.items.size())) {
      if (e.widget && e.kind == ControlKind::DropDown)
        Quietly([&] { static_cast<fc::FComboBox*>(e.widget)->clearText(); });
      return;
    }
    Quietly([&] {
      if (e.kind == ControlKind::ListBox) {
        static_cast<fc::FListBox*>(e.widget)->setCurrentItem(static_cast<std::size_t>(index) + 1);
      } else if (e.kind == ControlKind::DropDown) {
        auto* combo = static_cast<fc::FComboBox*>(e.widget);
        combo->setCurrentItem(static_cast<std::size_t>(index) + 1);
        combo->setText(F(e.items[index]));
      }
    });
    e.widget->redraw();
  }
  int SelectedItem(int page, int id) override {
    SetupEntry& e = At(page, id);
    if (e.widget && e.kind == ControlKind::ListBox) {
      auto* list = static_cast<fc::FListBox*>(e.widget);
      return list->getCount() == 0 ? -1 : static_cast<int>(list->currentItem()) - 1;
    }
    if (e.widget && e.kind == ControlKind::DropDown) {
      const std::wstring text = W(static_cast<fc::FComboBox*>(e.widget)->getText());
      for (size_t i = 0; i < e.items.size(); ++i) {
        if (e.items[i] == text) return static_cast<int>(i);
      }
      return -1;
    }
    return e.selected;
  }
  void SetSwatchColor(int page, int id, std::int32_t color) override { SetText(page, id, ColorText(color)); }
  bool ChooseColor(std::int32_t* color, std::array<std::int32_t, 16>*) override {
    std::wstring text = ColorText(*color);
    while (AskLine(L"Colour", L"Colour as #RRGGBB:", &text)) {
      if (ParseColorText(text, color)) return true;
    }
    return false;
  }
  bool ChooseFile(std::wstring* path) override {
    std::wstring text = *path;
    if (!AskLine(L"Glossary", L"File:", &text) || text.empty()) return false;
    *path = text;
    return true;
  }

  void SetEngineColumns(const std::vector<std::wstring>& headers) override {
    auto* view = EngineList();
    if (!view) return;
    for (size_t c = 0; c < headers.size(); ++c) {
      const int width = dialogs::kEngineColumns[c].width / 5 + 4;
      view->addColumn(F(headers[c]), width);
      if (dialogs::kEngineColumns[c].align == dialogs::ColumnAlign::Centre)
        view->setColumnAlignment(static_cast<int>(c) + 1, fc::Align::Center);
    }
  }
  void SetEngineRows(const std::vector<dialogs::EngineRow>& rows) override {
    auto* view = EngineList();
    if (!view) return;
    Quietly([&] {
      view->clear();
      mRows.clear();
      for (const auto& row : rows) {
        fc::FStringList cells;
        for (const auto& cell : row.cells) cells.push_back(F(cell));
        auto it = view->insert(cells);
        auto* item = static_cast<fc::FListViewItem*>(*it);
        item->setCheckable(true);
        item->setChecked(row.checked);
        mRows.push_back({item, row.checked});
      }
    });
    view->redraw();
  }
  bool IsRowChecked(int row) override { return mRows.at(row).item->isChecked(); }
  void SetRowChecked(int row, bool checked) override {
    mRows.at(row).item->setChecked(checked);
    mRows.at(row).checked = checked;
    if (auto* view = EngineList()) view->redraw();
  }
  bool IsRowSelected(int row) override {
    auto* view = EngineList();
    return view && view->getCurrentItem() == mRows.at(row).item;
  }
  void SetServerColumns(const std::vector<std::wstring>& headers) override {
    auto* view = static_cast<fc::FListView*>(At(static_cast<int>(dialogs::SetupPage::Engines), 277).widget);
    for (size_t c = 0; view && c < headers.size(); ++c)
      view->addColumn(F(headers[c]), dialogs::kServerColumns[c].width / 5 + 4);
  }
  void SetServerRows(const std::vector<std::vector<std::wstring>>& rows) override {
    auto* view = static_cast<fc::FListView*>(At(static_cast<int>(dialogs::SetupPage::Engines), 277).widget);
    if (!view) return;
    view->clear();
    mServerItems.clear();
    for (const auto& row : rows) {
      fc::FStringList cells;
      for (const auto& cell : row) cells.push_back(F(cell));
      mServerItems.push_back(*view->insert(cells));
    }
    view->redraw();
  }
  int SelectedServer() override {
    auto* view = static_cast<fc::FListView*>(At(static_cast<int>(dialogs::SetupPage::Engines), 277).widget);
    for (size_t r = 0; view && r < mServerItems.size(); ++r) {
      if (view->getCurrentItem() == mServerItems[r]) return static_cast<int>(r);
    }
    return -1;
  }

 private:
  struct Row {
    fc::FListViewItem* item;
    bool checked;
  };

  SetupEntry& At(int page, int id) { return mEntries[{page, id}]; }
  fc::FListView* EngineList() {
    return static_cast<fc::FListView*>(At(static_cast<int>(dialogs::SetupPage::Engines), 276).widget);
  }
  // Changes made from code are not the user's; the handlers ignore them.
  template <typename Body>
  void Quietly(Body body) {
    const bool was = mQuiet;
    mQuiet = true;
    body();
    mQuiet = was;
  }

  void Report(int page, int id) {
    if (mQuiet) return;
    using P = dialogs::SetupPage;
    const int basic = static_cast<int>(P::Basic), details = static_cast<int>(P::Details);
    if (page == static_cast<int>(P::OptionSets) && id == 205) return mDialog->lstOptionList_Click();
    if (page == basic && (id == 222 || id == 223)) return mDialog->optOutputDest_Click();
    if (page == details && (id == 267 || id == 268)) return mDialog->chkColors_Click(id == 267 ? 0 : 1);
    mDialog->Control_Changed(page, id);
  }

  void Clicked(int page, int id) {
    using P = dialogs::SetupPage;
    if (page == static_cast<int>(P::OptionSets) && id >= 257 && id <= 260)
      return mDialog->cmdOptionsOp_Click(id - 257);
    if (page == static_cast<int>(P::Details) && (id == 271 || id == 207))
      return mDialog->cmdColor_Click(id == 271 ? 0 : 1);
    if (page == static_cast<int>(P::Details) && id == dialogs::setup_ids::kBrowseGlossary)
      return mDialog->cmdBrowseGlossary_Click();
    if (page == static_cast<int>(P::Engines) && id == 206) return mDialog->cmdRefreshEngineList_Click();
    if (page == static_cast<int>(P::Engines) && id == 278) return mDialog->cmdAddServer_Click();
    if (page == static_cast<int>(P::Engines) && id == 279) return mDialog->cmdRemoveServer_Click();
  }

  void EngineRowsChanged() {
    if (mQuiet) return;
    for (size_t r = 0; r < mRows.size(); ++r) {
      const bool now = mRows[r].item->isChecked();
      if (now == mRows[r].checked) continue;
      mRows[r].checked = now;
      mDialog->lvwEngines_ItemCheck(static_cast<int>(r));
      for (Row& row : mRows) row.checked = row.item->isChecked();
    }
  }

  void BuildFrame() {
    struct FrameButton {
      int id;
      void (dialogs::CDialogSetup::*handler)();
    };
    const FrameButton buttons[] = {{273, &dialogs::CDialogSetup::cmdOK_Click},
                                   {2, &dialogs::CDialogSetup::cmdCancel_Click},
                                   {201, &dialogs::CDialogSetup::cmdApply_Click},
                                   {202, &dialogs::CDialogSetup::cmdReset_Click}};
    int x = static_cast<int>(mWindow->getWidth()) - 4 * 15 - 2;
    for (const FrameButton& b : buttons) {
      auto* button = new fc::FButton(mWindow.get());
      button->setGeometry(fc::FPoint{x, static_cast<int>(mWindow->getHeight()) - 4}, fc::FSize{13, 1});
      button->addCallback("clicked", [this, b] { (mDialog->*b.handler)(); });
      SetupEntry& e = At(dialogs::kSetupFrame, b.id);
      e.kind = ControlKind::Button;
      e.widget = button;
      x += 15;
    }
  }

  void BuildPage(int page) {
    std::vector<const SetupControl*> controls;
    for (const SetupControl& c : dialogs::kSetupControls) {
      if (c.page == page) controls.push_back(&c);
    }
    fc::FWidget* parent = mWindow.get();
    std::vector<fc::FWidget*>& made = mPageWidgets[page];
    const int pageHeight = static_cast<int>(mWindow->getHeight()) - 7;
    const int width = static_cast<int>(mWindow->getWidth()) - 4;
    const int columnWidth = page == 0 ? width / 2 : width;
    // Pages start below the tab row.
    const int top = 3, bottom = pageHeight + 2;
    int x = 2, y = top;
    auto room = [&](int lines) {
      if (y + lines > bottom && y > top) {
        x += columnWidth + 1;
        y = top;
      }
    };
    auto size = [&](int w, int h) { return fc::FSize{static_cast<std::size_t>(w), static_cast<std::size_t>(h)}; };
    for (size_t i = 0; i < controls.size(); ++i) {
      const SetupControl& c = *controls[i];
      SetupEntry& e = At(page, c.id);
      e.kind = c.kind;
      if (c.hidden) continue;
      switch (c.kind) {
        case ControlKind::Group: {
          // The check boxes and radios that follow belong to the group.
          size_t end = i + 1;
          while (end < controls.size() && !controls[end]->hidden &&
                 (controls[end]->kind == ControlKind::Radio || controls[end]->kind == ControlKind::CheckBox))
            ++end;
          const int members = static_cast<int>(end - i - 1);
          if (members == 0) {
            room(1);
            auto* label = new fc::FLabel(parent);
            label->setGeometry(fc::FPoint{x, y++}, size(columnWidth, 1));
            made.push_back(label);
            e.kind = ControlKind::Label;
            e.widget = label;
            break;
          }
          room(members + 2);
          auto* group = new fc::FButtonGroup(parent);
          group->setGeometry(fc::FPoint{x, y}, size(columnWidth, members + 2));
          made.push_back(group);
          e.widget = group;
          for (int m = 0; m < members; ++m) {
            const SetupControl& member = *controls[i + 1 + m];
            SetupEntry& me = At(page, member.id);
            me.kind = member.kind;
            fc::FToggleButton* toggle = nullptr;
            if (member.kind == ControlKind::Radio) {
              toggle = new fc::FRadioButton(group);
            } else {
              toggle = new fc::FCheckBox(group);
            }
            toggle->setGeometry(fc::FPoint{1, m + 1}, size(columnWidth - 4, 1));
            WireToggle(toggle, page, member.id, member.kind);
            me.widget = toggle;
            // A group shown again does not draw its members by itself.
            made.push_back(toggle);
          }
          y += members + 2;
          i = end - 1;
          break;
        }
        case ControlKind::Label: {
          const bool fieldFollows = i + 1 < controls.size() &&
                                    (controls[i + 1]->kind == ControlKind::Edit ||
                                     controls[i + 1]->kind == ControlKind::ReadOnlyEdit ||
                                     controls[i + 1]->kind == ControlKind::DropDown);
          room(fieldFollows && controls[i + 1]->kind == ControlKind::DropDown ? 2 : 1);
          auto* label = new fc::FLabel(parent);
          const int labelWidth = fieldFollows ? std::min(28, columnWidth / 2) : columnWidth;
          label->setGeometry(fc::FPoint{x, y}, size(labelWidth, 1));
          made.push_back(label);
          e.widget = label;
          if (!fieldFollows) {
            ++y;
            break;
          }
          const SetupControl& field = *controls[++i];
          SetupEntry& fe = At(page, field.id);
          fe.kind = field.kind;
          const int fieldWidth = std::min(40, columnWidth - labelWidth - 1);
          if (field.kind == ControlKind::DropDown) {
            auto* combo = new ComboBox(parent);
            combo->setGeometry(fc::FPoint{x + labelWidth + 1, y}, size(fieldWidth, 1));
            made.push_back(combo);
            combo->unsetEditable();
            combo->addCallback("row-changed", [this, page, id = field.id] { Report(page, id); });
            fe.widget = combo;
            y += 2;
          } else {
            auto* edit = new fc::FLineEdit(parent);
            edit->setGeometry(fc::FPoint{x + labelWidth + 1, y}, size(fieldWidth, 1));
            made.push_back(edit);
            if (field.kind == ControlKind::ReadOnlyEdit) {
              edit->setReadOnly();
            } else {
              edit->addCallback("changed", [this, page, id = field.id] { Report(page, id); });
            }
            fe.widget = edit;
            ++y;
          }
          break;
        }
        case ControlKind::Edit:
        case ControlKind::ReadOnlyEdit: {
          room(1);
          auto* edit = new fc::FLineEdit(parent);
          edit->setGeometry(fc::FPoint{x, y++}, size(std::min(40, columnWidth), 1));
          made.push_back(edit);
          if (c.kind == ControlKind::ReadOnlyEdit) edit->setReadOnly();
          else edit->addCallback("changed", [this, page, id = c.id] { Report(page, id); });
          e.widget = edit;
          break;
        }
        case ControlKind::ListBox: {
          room(7);
          auto* list = new fc::FListBox(parent);
          list->setGeometry(fc::FPoint{x, y}, size(std::min(40, columnWidth), 7));
          made.push_back(list);
          list->addCallback("row-changed", [this, page, id = c.id] { Report(page, id); });
          e.widget = list;
          y += 8;
          break;
        }
        case ControlKind::Button: {
          // Buttons in a row, with a swatch that follows beside them.
          room(1);
          int bx = x;
          for (; i < controls.size() && !controls[i]->hidden &&
                 (controls[i]->kind == ControlKind::Button || controls[i]->kind == ControlKind::Swatch);
               ++i) {
            const SetupControl& b = *controls[i];
            SetupEntry& be = At(page, b.id);
            be.kind = b.kind;
            if (b.kind == ControlKind::Button) {
              auto* button = new fc::FButton(parent);
              button->setGeometry(fc::FPoint{bx, y}, size(18, 1));
              made.push_back(button);
              button->addCallback("clicked", [this, page, id = b.id] { Clicked(page, id); });
              be.widget = button;
              bx += 20;
            } else {
              auto* swatch = new fc::FLabel(parent);
              swatch->setGeometry(fc::FPoint{bx, y}, size(10, 1));
              made.push_back(swatch);
              be.widget = swatch;
              bx += 12;
            }
          }
          --i;
          y += 2;
          break;
        }
        case ControlKind::Radio:
        case ControlKind::CheckBox: {
          room(1);
          fc::FToggleButton* toggle = nullptr;
          if (c.kind == ControlKind::Radio) {
            toggle = new fc::FRadioButton(parent);
          } else {
            toggle = new fc::FCheckBox(parent);
          }
          toggle->setGeometry(fc::FPoint{x, y++}, size(columnWidth, 1));
          made.push_back(toggle);
          WireToggle(toggle, page, c.id, c.kind);
          e.widget = toggle;
          break;
        }
        case ControlKind::ListView: {
          // The engine list leaves room for the server list below it.
          const int lines = c.id == 276 ? std::max(5, (bottom - y) / 2 - 1) : std::max(3, bottom - y - 2);
          auto* view = new fc::FListView(parent);
          view->setGeometry(fc::FPoint{x, y}, size(columnWidth, lines));
          made.push_back(view);
          view->addCallback("clicked", [this] { EngineRowsChanged(); });
          view->addCallback("changed", [this] { EngineRowsChanged(); });
          view->addCallback("row-changed", [this] { EngineRowsChanged(); });
          e.widget = view;
          y = c.id == 276 ? y + lines : bottom - 1;
          break;
        }
        default:
          break;
      }
    }
  }

  void WireToggle(fc::FToggleButton* toggle, int page, int id, ControlKind kind) {
    toggle->addCallback("toggled", [this, toggle, page, id, kind] {
      // A radio reports the one the user checked, not the one it cleared.
      if (kind == ControlKind::Radio && !toggle->isChecked()) return;
      Report(page, id);
    });
  }

  dialogs::CDialogSetup* mDialog = nullptr;
  std::unique_ptr<ModalWindow> mWindow;
  std::vector<fc::FWidget*> mPageWidgets[dialogs::kSetupPageCount];
  std::set<fc::FWidget*> mNeverShown;
  std::vector<fc::FButton*> mTabButtons;
  std::vector<dialogs::SetupPage> mTabPages;
  dialogs::SetupPage mCurrentPage = dialogs::SetupPage::OptionSets;
  bool mWindowShown = false;
  std::map<std::pair<int, int>, SetupEntry> mEntries;
  std::vector<Row> mRows;
  std::vector<fc::FObject*> mServerItems;
  bool mQuiet = false;
  int mCode = IDCANCEL;
};

}  // namespace

std::unique_ptr<dialogs::SetupView> MakeSetupView() { return std::make_unique<TerminalSetupView>(); }

}  // namespace app::terminal
