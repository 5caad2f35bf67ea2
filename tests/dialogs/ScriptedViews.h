// Views that play a user: they keep what each control shows and, when the
// dialog runs modally, perform the test's script of clicks, typing and
// selections through the dialog's handlers, as a window would report them.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "src/dialogs/CDialogLookupDict.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/platform/MessagePump.h"
#include "src/dialogs/CDialogSetup.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/support/ErrorList.h"

namespace dialogtest {

using dialogs::SetupPage;

// A request that runs for `runningPolls` polls, or until `afterCancelPolls`
// polls after a cancel, and then ends with `finalStatus` (2 after a cancel).
class ScriptedRequest : public engine_server::IRequest {
 public:
  HRESULT WaitForResult(LONG, LONG* status) override {
    threads.insert(std::this_thread::get_id());
    ++polls;
    if (cancels > 0) {
      *status = ++pollsAfterCancel > afterCancelPolls ? LONG{engine_server::kRequestCancelled} : 0;
    } else {
      *status = polls > runningPolls ? finalStatus : 0;
    }
    return S_OK;
  }
  HRESULT Cancel() override {
    ++cancels;
    return S_OK;
  }
  HRESULT ErrorCode(LONG* code) override {
    *code = 0;
    return S_OK;
  }
  int runningPolls = 3, afterCancelPolls = 4;
  LONG finalStatus = engine_server::kRequestDone;
  int polls = 0, pollsAfterCancel = 0, cancels = 0;
  std::set<std::thread::id> threads;
};

// What the progress dialog asked of its window. Calls arrive from the
// user-interface thread and the dialog thread, so the record is locked.
struct ProgressRecord {
  std::mutex lock;
  std::wstring title, cancelCaption, status, countLabel = L"(template)", counts;
  std::vector<std::wstring> statuses;  // every status shown, in order
  int percent = -1, shows = 0, hides = 0, tops = 0, focus = 0, creates = 0, destroys = 0;
  bool barMissing = false, failCreate = false;
  std::atomic<bool> failDispatch{false};
  std::thread::id createdOn;
  // What still named the dialog when its view was freed.
  int freedWhileReferenced = -1;
  // The user's part, on the dialog's thread before each wait for messages;
  // set before the dialog opens.
  std::function<void(dialogs::CDialogProgress&)> onDispatch;
};

class RecordingProgressView : public dialogs::ProgressView {
 public:
  explicit RecordingProgressView(std::shared_ptr<ProgressRecord> r) : r(std::move(r)) {}
  ~RecordingProgressView() override {
    std::lock_guard<std::mutex> g(r->lock);
    r->freedWhileReferenced = (dialogs::CurrentProgressDialog() != nullptr ? 1 : 0) +
                              (engine::AppCommon::Instance().GetProgressReport() != nullptr ? 1 : 0);
  }
  bool Create(dialogs::CDialogProgress& dialog) override {
    std::lock_guard<std::mutex> g(r->lock);
    mDialog = &dialog;
    r->createdOn = std::this_thread::get_id();
    ++r->creates;
    return !r->failCreate;
  }
  void Destroy() override { Set([&] { ++r->destroys; }); }
  void DispatchOne(int timeoutMs) override {
    if (r->failDispatch.load()) throw std::runtime_error("the dialog's window failed");
    if (r->onDispatch) r->onDispatch(*mDialog);
    platform::WaitAndDispatchMessage(timeoutMs);
  }
  void SetFontName(const std::wstring&) override {}
  void SetTitle(const std::wstring& t) override { Set([&] { r->title = t; }); }
  void SetCancelCaption(const std::wstring& t) override { Set([&] { r->cancelCaption = t; }); }
  void SetStatusText(const std::wstring& t) override {
    Set([&] {
      r->status = t;
      r->statuses.push_back(t);
    });
  }
  void SetCountLabel(const std::wstring& t) override { Set([&] { r->countLabel = t; }); }
  void SetCountsText(const std::wstring& t) override { Set([&] { r->counts = t; }); }
  bool SetBarPosition(int p) override {
    std::lock_guard<std::mutex> g(r->lock);
    if (r->barMissing) return false;
    r->percent = p;
    return true;
  }
  void Show() override { Set([&] { ++r->shows; }); }
  void Hide() override { Set([&] { ++r->hides; }); }
  void BringToTop() override { Set([&] { ++r->tops; }); }
  void Repaint() override {}
  void FocusCancel() override { Set([&] { ++r->focus; }); }

 private:
  template <typename F>
  void Set(F f) {
    std::lock_guard<std::mutex> g(r->lock);
    f();
  }
  std::shared_ptr<ProgressRecord> r;
  dialogs::CDialogProgress* mDialog = nullptr;
};

// The message ids in the error list, oldest first.
inline std::vector<int> ListedIds() {
  std::vector<int> ids;
  for (const support::ErrorEntry& e : support::ErrorList::GetEntries()) ids.push_back(e.mMessageId);
  return ids;
}

// A pair "en-xx" of the engine group FakeMT, as the engine list keeps it.
inline engine::EngineEntry FakePair(const std::wstring& id, std::int32_t flags, std::int32_t checked = 1) {
  engine::EngineEntry e;
  e.SetEngineGroup(L"FakeMT");
  e.SetEngineID(id);
  e.SetFromLang(L"en");
  e.SetToLang(id.substr(3));
  e.SetDisplayName(L"English - " + id);
  e.SetProductNameShort(L"Fake");
  e.SetFlags(flags);
  e.SetChecked(checked);
  return e;
}

struct Control {
  std::wstring text;
  int check = 0, selected = -1;
  bool enabled = true, visible = true;
  std::vector<std::wstring> items;
  std::int32_t color = -1;
};

class ScriptedSetupView : public dialogs::SetupView {
 public:
  using Script = std::function<void(ScriptedSetupView&)>;
  explicit ScriptedSetupView(Script script) : mScript(std::move(script)) {}

  bool Create(dialogs::CDialogSetup& dialog) override {
    d = &dialog;
    return true;
  }
  int RunModal() override {
    if (mScript) mScript(*this);
    // A script that does not close the dialog leaves it as the close box does.
    if (!closed) d->cmdCancel_Click();
    return closeCode;
  }
  void Close(int code) override {
    closed = true;
    closeCode = code;
  }
  void SetTabs(const std::vector<SetupPage>& pages, const std::vector<std::wstring>& texts) override {
    tabs = pages;
    tabTexts = texts;
  }
  void ShowPage(SetupPage page) override { shownPage = page; }
  void SetFontName(const std::wstring&) override {}
  void SetText(int page, int id, const std::wstring& text) override { controls[{page, id}].text = text; }
  std::wstring GetText(int page, int id) override { return controls[{page, id}].text; }
  void SetCheck(int page, int id, int state) override { controls[{page, id}].check = state; }
  int GetCheck(int page, int id) override { return controls[{page, id}].check; }
  void SetEnabled(int page, int id, bool enabled) override { controls[{page, id}].enabled = enabled; }
  bool IsEnabled(int page, int id) override { return controls[{page, id}].enabled; }
  void SetVisible(int page, int id, bool visible) override { controls[{page, id}].visible = visible; }
  void SetItems(int page, int id, const std::vector<std::wstring>& items) override {
    controls[{page, id}].items = items;
    controls[{page, id}].selected = -1;
  }
  void SelectItem(int page, int id, int index) override { controls[{page, id}].selected = index; }
  int SelectedItem(int page, int id) override { return controls[{page, id}].selected; }
  void SetSwatchColor(int page, int id, std::int32_t color) override { controls[{page, id}].color = color; }
  bool ChooseColor(std::int32_t* color, std::array<std::int32_t, 16>*) override {
    return Choose(chooserStarts, chooserAnswer, color);
  }
  bool ChooseFile(std::wstring* path) override { return Choose(fileStarts, fileAnswer, path); }
  void SetEngineColumns(const std::vector<std::wstring>& headers) override { engineColumns = headers; }
  void SetEngineRows(const std::vector<dialogs::EngineRow>& newRows) override {
    rows = newRows;
    selectedRows.clear();
  }
  bool IsRowChecked(int row) override { return rows.at(row).checked; }
  void SetRowChecked(int row, bool checked) override {
    rows.at(row).checked = checked;
    d->lvwEngines_ItemCheck(row);  // as the list view's notification would
  }
  bool IsRowSelected(int row) override { return selectedRows.count(row) != 0; }
  void SetServerColumns(const std::vector<std::wstring>&) override {}
  void SetServerRows(const std::vector<std::vector<std::wstring>>& rows) override {
    serverRows = rows;
    selectedServer = -1;
  }
  int SelectedServer() override { return selectedServer; }

  // The user's actions.
  Control& At(SetupPage page, int id) { return controls[{static_cast<int>(page), id}]; }
  void ClickRadio(SetupPage page, int id, std::vector<int> group) {
    for (int other : group) At(page, other).check = 0;
    At(page, id).check = 1;
    Report(page, id);
  }
  void ToggleCheck(SetupPage page, int id) {
    At(page, id).check = At(page, id).check == 1 ? 0 : 1;
    Report(page, id);
  }
  void Type(SetupPage page, int id, const std::wstring& text) {
    At(page, id).text = text;
    Report(page, id);
  }
  void Pick(SetupPage page, int id, int index) {
    At(page, id).selected = index;
    Report(page, id);
  }
  // A control's change, reported to the handler the window reports it to.
  void Report(SetupPage page, int id) {
    if (page == SetupPage::Basic && (id == 222 || id == 223)) {
      d->optOutputDest_Click();
    } else if (page == SetupPage::Details && (id == 267 || id == 268)) {
      d->chkColors_Click(id == 267 ? 0 : 1);
    } else if (page == SetupPage::OptionSets && id == 205) {
      d->lstOptionList_Click();
    } else {
      d->Control_Changed(static_cast<int>(page), id);
    }
  }
  void PickSet(const std::wstring& name) {
    const auto& items = At(SetupPage::OptionSets, 205).items;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] == name) return Pick(SetupPage::OptionSets, 205, static_cast<int>(i));
    }
    ADD_FAILURE() << "no set listed under that name";
  }
  void TickRow(int row) { SetRowChecked(row, !rows.at(row).checked); }
  bool ApplyEnabled() { return controls[{dialogs::kSetupFrame, 201}].enabled; }

  dialogs::CDialogSetup* d = nullptr;
  std::map<std::pair<int, int>, Control> controls;
  std::vector<SetupPage> tabs;
  std::vector<std::wstring> tabTexts, engineColumns, fileStarts;
  std::optional<SetupPage> shownPage;
  std::vector<dialogs::EngineRow> rows;
  std::set<int> selectedRows;
  std::vector<std::vector<std::wstring>> serverRows;
  std::optional<std::int32_t> chooserAnswer;
  std::vector<std::int32_t> chooserStarts;
  std::optional<std::wstring> fileAnswer;
  bool closed = false;
  int selectedServer = -1, closeCode = 0;

 private:
  // A chooser that starts from `*value` and answers `answer`, or is cancelled.
  template <typename T>
  static bool Choose(std::vector<T>& starts, const std::optional<T>& answer, T* value) {
    starts.push_back(*value);
    if (answer) *value = *answer;
    return answer.has_value();
  }
  Script mScript;
};

// Answers prompts from a queue: a text is typed and confirmed, nullopt
// cancels. An empty queue cancels.
class ScriptedInputBox : public dialogs::AskingInputBox {
 public:
  explicit ScriptedInputBox(std::deque<std::optional<std::wstring>>* answers, std::vector<std::wstring>* prompts)
      : mAnswers(answers), mPrompts(prompts) {}

 protected:
  std::optional<std::wstring> Ask() override {
    mPrompts->push_back(mPrompt);
    if (mAnswers->empty()) return std::nullopt;
    std::optional<std::wstring> answer = mAnswers->front();
    mAnswers->pop_front();
    return answer;
  }

 private:
  std::deque<std::optional<std::wstring>>* mAnswers;
  std::vector<std::wstring>* mPrompts;
};

class ScriptedLookupView : public dialogs::LookupDictView {
 public:
  using Script = std::function<void(ScriptedLookupView&)>;
  explicit ScriptedLookupView(Script script) : mScript(std::move(script)) {}
  bool Create(dialogs::CDialogLookupDict& dialog) override {
    d = &dialog;
    return true;
  }
  int RunModal() override {
    if (mScript) mScript(*this);
    if (!closed) d->cmdClose_Click();
    return code;
  }
  void Close(int c) override {
    closed = true;
    code = c;
  }
  void SetFontName(const std::wstring&) override {}
  void SetText(int id, const std::wstring& text) override { texts[id] = text; }
  void SetDictionaries(const std::vector<std::wstring>& items) override { dictionaries = items; }
  void SelectDictionary(int index) override { selected = index; }
  int SelectedDictionary() override { return selected; }
  void SetWord(const std::wstring& w) override { word = w; }
  std::wstring GetWord() override { return word; }
  void SetHistory(const std::vector<std::wstring>& words) override { history = words; }
  void SetResult(const std::wstring& text) override { result = text; }
  void Beep() override { ++beeps; }
  void StartTimer(int ms) override { timerMs = ms; }
  void StopTimer() override { timerMs.reset(); }
  void SetSearching(bool on) override { searching = on; }

  dialogs::CDialogLookupDict* d = nullptr;
  std::map<int, std::wstring> texts;
  std::vector<std::wstring> dictionaries, history;
  std::wstring word, result;
  int selected = -1, beeps = 0, code = 0;
  std::optional<int> timerMs;
  bool searching = false, closed = false;
  // Where the view leaves its timer when the dialog that owns it goes.
  std::optional<int>* timerLeft = nullptr;
  ~ScriptedLookupView() override {
    if (timerLeft) *timerLeft = timerMs;
  }

 private:
  Script mScript;
};

}  // namespace dialogtest
