#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "apps/pelorant/TerminalWindow.h"
#include "src/dialogs/CDialogLookupDict.h"
#include "src/platform/Types.h"

namespace app::terminal {

namespace {

// ---------------------------------------------------------------------------
// Dictionary lookup

class TerminalLookupView : TerminalScreen, public dialogs::LookupDictView {
 public:
  bool Create(dialogs::CDialogLookupDict& dialog) override {
    mDialog = &dialog;
    mWindow = OpenWindow(fc::FSize{60, 20}, [this] { mDialog->cmdClose_Click(); });
    if (!mWindow) return false;
    const std::size_t width = mWindow->getWidth();
    const std::size_t height = mWindow->getHeight();
    mWindow->onTimerFired = [this](int id) {
      if (id == mTimer) mDialog->Timer_Elapsed();
    };
    auto* self = mWindow.get();
    mDictionaryLabel = new fc::FLabel(self);
    mDictionaryLabel->setGeometry(fc::FPoint{2, 1}, fc::FSize{16, 1});
    mDictionaries = new ComboBox(self);
    mDictionaries->setGeometry(fc::FPoint{19, 1}, fc::FSize{width - 24, 1});
    mDictionaries->unsetEditable();
    mDictionaries->addCallback("row-changed", [this] {
      if (!mQuiet) mDialog->cboDictionary_Change();
    });
    mWordLabel = new fc::FLabel(self);
    mWordLabel->setGeometry(fc::FPoint{2, 3}, fc::FSize{16, 1});
    mWord = new ComboBox(self);
    mWord->setGeometry(fc::FPoint{19, 3}, fc::FSize{width - 40, 1});
    mWord->setEditable();
    mSearch = new fc::FButton(self);
    mSearch->setGeometry(fc::FPoint{static_cast<int>(width) - 18, 3}, fc::FSize{12, 1});
    mSearch->addCallback("clicked", [this] { mDialog->cmdSearch_onclick(); });
    mResult = new fc::FTextView(self);
    mResult->setGeometry(fc::FPoint{2, 5}, fc::FSize{width - 4, height - 10});
    mClose = new fc::FButton(self);
    mClose->setGeometry(fc::FPoint{static_cast<int>(width) - 18, static_cast<int>(height) - 4}, fc::FSize{12, 1});
    mClose->addCallback("clicked", [this] { mDialog->cmdClose_Click(); });
    return true;
  }
  int RunModal() override {
    mWindow->onShown = [this] { mWord->setFocus(); };
    // A word from the command line is typed in and searched a moment later,
    // as a word selected in the deck is.
    const std::wstring typed = dialogs::CDialogLookupDict::InitialWord(TakeTypedWord());
    if (!typed.empty()) {
      SetWord(typed);
      StartTimer(dialogs::CDialogLookupDict::kAutoSearchMs);
    }
    mWindow->RunAsMain();
    StopTimer();
    return Closed(mCode);
  }
  void Close(int code) override {
    mCode = code;
    mWindow->Finish();
  }
  void SetFontName(const std::wstring&) override {}
  void SetText(int id, const std::wstring& text) override {
    namespace ids = dialogs::lookup_ids;
    switch (id) {
      case ids::kCaption: mWindow->setText(F(text)); break;
      case ids::kDictionaryLabel: mDictionaryLabel->setText(F(text)); break;
      case ids::kWordLabel: mWordLabel->setText(F(text)); break;
      case ids::kSearch: mSearch->setText(F(text)); break;
      case ids::kClose: mClose->setText(F(text)); break;
      default: break;
    }
  }
  void SetDictionaries(const std::vector<std::wstring>& items) override {
    mItems = items;
    mQuiet = true;
    mDictionaries->clear();
    for (const auto& item : items) mDictionaries->insert(F(item));
    mDictionaries->clearText();
    mQuiet = false;
  }
  void SelectDictionary(int index) override {
    mQuiet = true;
    if (index >= 0 && index < static_cast<int>(mItems.size())) {
      mDictionaries->setCurrentItem(static_cast<std::size_t>(index) + 1);
      mDictionaries->setText(F(mItems[index]));
    } else {
      mDictionaries->clearText();
    }
    mQuiet = false;
  }
  int SelectedDictionary() override {
    const std::wstring text = W(mDictionaries->getText());
    for (size_t i = 0; i < mItems.size(); ++i) {
      if (mItems[i] == text) return static_cast<int>(i);
    }
    return -1;
  }
  void SetWord(const std::wstring& word) override { mWord->setText(F(word)); }
  std::wstring GetWord() override { return W(mWord->getText()); }
  void SetHistory(const std::vector<std::wstring>& words) override {
    const fc::FString word = mWord->getText();
    mWord->clear();
    for (const auto& w : words) mWord->insert(F(w));
    mWord->setText(word);
    mWord->redraw();
  }
  void SetResult(const std::wstring& text) override {
    mResult->clear();
    std::wstring line;
    for (wchar_t c : text) {
      if (c == L'\r') continue;
      if (c == L'\n') {
        mResult->append(F(line));
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) mResult->append(F(line));
    mResult->redraw();
  }
  void Beep() override { std::fputc('\a', stdout); }
  void SetSearching(bool searching) override {
    for (fc::FWidget* w : {static_cast<fc::FWidget*>(mSearch), static_cast<fc::FWidget*>(mWord),
                           static_cast<fc::FWidget*>(mDictionaries)}) {
      w->setEnable(!searching);
      w->redraw();
    }
  }
  void StartTimer(int ms) override {
    StopTimer();
    mTimer = mWindow->addTimer(ms);
  }
  void StopTimer() override {
    if (mTimer != 0 && mWindow) mWindow->delTimer(mTimer);
    mTimer = 0;
  }

 private:
  dialogs::CDialogLookupDict* mDialog = nullptr;
  std::unique_ptr<ModalWindow> mWindow;
  fc::FLabel* mDictionaryLabel = nullptr;
  fc::FComboBox* mDictionaries = nullptr;
  fc::FLabel* mWordLabel = nullptr;
  fc::FComboBox* mWord = nullptr;
  fc::FButton* mSearch = nullptr;
  fc::FTextView* mResult = nullptr;
  fc::FButton* mClose = nullptr;
  std::vector<std::wstring> mItems;
  int mTimer = 0;
  bool mQuiet = false;
  int mCode = IDCANCEL;
};

}  // namespace

std::unique_ptr<dialogs::LookupDictView> MakeLookupView() { return std::make_unique<TerminalLookupView>(); }

}  // namespace app::terminal
