#include "src/dialogs/CDialogLookupDict.h"

#include <algorithm>
#include <cstdio>

#include "resources/MessageIds.h"
#include "src/engine/server/EngineServer.h"
#include "src/platform/ComError.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/Types.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace dialogs {

namespace msg = resources::msg;

namespace {

namespace ids = lookup_ids;
using platform::Hive;
using platform::RegKey;
using platform::RegValue;

constexpr wchar_t kHistoryKey[] = L"\\LookupHistory";
constexpr wchar_t kMaxCountValue[] = L"MaxCount";

std::wstring HistoryValueName(int index) {
  wchar_t name[16];
  std::swprintf(name, 16, L"History%03d", index);
  return name;
}

// A sub-key name for a dictionary: its engine key, without the one
// character a key name cannot hold.
std::wstring DictionarySubkey(const std::wstring& dictionary) {
  std::wstring name = dictionary;
  std::replace(name.begin(), name.end(), L'\\', L'_');
  return name.empty() ? std::wstring(L"_") : name;
}

bool ReadText(const RegKey& key, const std::wstring& name, std::wstring* text) {
  RegValue value;
  if (key.QueryValue(name, &value) != ERROR_SUCCESS) return false;
  if (value.type == platform::RegType::Sz || value.type == platform::RegType::ExpandSz) {
    *text = value.text;
  } else if (value.type == platform::RegType::Dword && !value.raw) {
    *text = std::to_wstring(value.dword);
  } else {
    return false;
  }
  return true;
}

bool IsLookupBlank(wchar_t c) { return c == L'\x3000' || platform::IsWhiteSpace(c); }

std::wstring DictionaryKey(const engine::EngineEntry& entry) {
  return entry.EngineGroup() + L":" + entry.EngineID();
}

}  // namespace

LookupHistory::LookupHistory(std::wstring settingsKey) : mKey(std::move(settingsKey) + kHistoryKey) {}

void LookupHistory::Load() {
  mMaxCount = kDefaultMaxCount;
  mLists.clear();
  mChanged = false;
  RegKey key;
  if (RegKey::Open(Hive::CurrentUser, mKey, false, &key) != ERROR_SUCCESS) return;
  std::wstring text;
  if (!ReadText(key, kMaxCountValue, &text)) return;
  // Decimal only; text that is no number, or a count below 1, keeps the default.
  wchar_t* end = nullptr;
  long count = std::wcstol(text.c_str(), &end, 10);
  if (end != text.c_str() && count >= 1 && count <= 999) mMaxCount = static_cast<int>(count);
}

LookupHistory::List& LookupHistory::Find(const std::wstring& dictionary) {
  for (List& list : mLists) {
    if (list.dictionary == dictionary) return list;
  }
  List list;
  list.dictionary = dictionary;
  RegKey key;
  if (RegKey::Open(Hive::CurrentUser, mKey + L"\\" + DictionarySubkey(dictionary), false, &key) == ERROR_SUCCESS) {
    for (int i = 0; i < mMaxCount; ++i) {
      std::wstring word;
      if (!ReadText(key, HistoryValueName(i), &word) || word.empty()) continue;
      if (std::find(list.words.begin(), list.words.end(), word) == list.words.end()) list.words.push_back(word);
    }
  }
  mLists.push_back(std::move(list));
  return mLists.back();
}

const std::vector<std::wstring>& LookupHistory::Words(const std::wstring& dictionary) {
  return Find(dictionary).words;
}

void LookupHistory::Add(const std::wstring& dictionary, const std::wstring& word) {
  if (word.empty()) return;
  std::vector<std::wstring>& words = Find(dictionary).words;
  if (!words.empty() && words.front() == word) return;
  words.erase(std::remove(words.begin(), words.end(), word), words.end());
  words.insert(words.begin(), word);
  if (static_cast<int>(words.size()) > mMaxCount) words.resize(mMaxCount);
  mChanged = true;
}

bool LookupHistory::Save() {
  if (!mChanged) return true;
  RegKey key;
  if (RegKey::Create(Hive::CurrentUser, mKey, &key) != ERROR_SUCCESS) return false;
  bool ok = key.SetValue(kMaxCountValue, RegValue::String(std::to_wstring(mMaxCount))) == ERROR_SUCCESS;
  for (const List& list : mLists) {
    RegKey sub;
    if (key.CreateSubkey(DictionarySubkey(list.dictionary), &sub) != ERROR_SUCCESS) {
      ok = false;
      continue;
    }
    for (size_t i = 0; i < list.words.size(); ++i) {
      if (sub.SetValue(HistoryValueName(static_cast<int>(i)), RegValue::String(list.words[i])) != ERROR_SUCCESS)
        ok = false;
    }
    // Older entries beyond the list's end would come back on the next read.
    std::vector<std::wstring> names;
    sub.EnumValues(&names);
    for (const std::wstring& name : names) {
      if (name.size() != 10 || name.compare(0, 7, L"History") != 0) continue;
      int index = std::wcstol(name.c_str() + 7, nullptr, 10);
      if (index >= static_cast<int>(list.words.size())) sub.DeleteValue(name);
    }
  }
  if (ok) mChanged = false;
  return ok;
}

CDialogLookupDict::CDialogLookupDict(std::unique_ptr<LookupDictView> view, const engine::EngineCaches& engines,
                                     engine::Engine& engine, std::wstring settingsKey, EngineRefresher refresher)
    : mView(std::move(view)),
      mEngines(engines.Clone()),
      mEngine(engine),
      mRefresh(std::move(refresher)),
      mHistory(std::move(settingsKey)) {}

CDialogLookupDict::~CDialogLookupDict() {
  try {
    mEngine.CloseEngine();
  } catch (...) {
  }
}

std::wstring CDialogLookupDict::InitialWord(const std::wstring& selection) {
  std::wstring word = selection;
  while (!word.empty() && IsLookupBlank(word.back())) word.pop_back();
  // The host separates a text's lines with CR, and lines within a paragraph
  // with a vertical tab; any of them ends the word.
  size_t cut = word.find_first_of(L"\r\n\v");
  if (cut != std::wstring::npos) word.erase(cut);
  size_t first = 0;
  while (first < word.size() && IsLookupBlank(word[first])) ++first;
  word.erase(0, first);
  while (!word.empty() && IsLookupBlank(word.back())) word.pop_back();
  return word;
}

int CDialogLookupDict::DoModal(const std::wstring& engineGroup, const std::wstring& engineID,
                               const std::wstring& selection) {
  if (mEngines->Count() == 0) {
    mEngines->ResetCacheSettings();
    try {
      if (mRefresh) mRefresh(*mEngines);
    } catch (...) {
      LOG_ERROR(L"CDialogLookupDict:DoModal", L"the engine list could not be refreshed");
    }
  }
  mDictionaries.clear();
  mPreselect = -1;
  for (const auto& [key, entry] : mEngines->Entries()) {
    if (entry.Checked() != 1 || (entry.Flags() & engine_server::kPairFlagDictionary) == 0) continue;
    if (mPreselect < 0 && entry.EngineGroup() == engineGroup && entry.EngineID() == engineID)
      mPreselect = static_cast<int>(mDictionaries.size());
    mDictionaries.push_back(entry);
  }
  mInitialWord = InitialWord(selection);
  if (!mView || !mView->Create(*this)) {
    LOG_ERROR(L"CDialogLookupDict:DoModal", L"the dictionary lookup dialog could not be made");
    return 0;
  }
  OnInitDialog();
  mOpen = true;
  if (!mInitialWord.empty()) mView->StartTimer(kAutoSearchMs);
  int code = mView->RunModal();
  mOpen = false;
  mView->StopTimer();
  if (!mHistory.Save()) LOG_WARNING(L"CDialogLookupDict:DoModal", L"the lookup history could not be written");
  try {
    mEngine.CloseEngine();
  } catch (...) {
  }
  return code;
}

void CDialogLookupDict::OnInitDialog() {
  mView->SetFontName(support::ResourceModule::Instance().GetFontName());
  mView->SetText(ids::kCaption, support::LoadText(msg::kLookupTitle));
  mView->SetText(ids::kDictionaryLabel, support::LoadText(msg::kDictionaryLabel));
  mView->SetText(ids::kWordLabel, support::LoadText(msg::kSearchWordLabel));
  mView->SetText(ids::kSearch, support::LoadText(msg::kSearchText));
  mView->SetText(ids::kClose, support::LoadText(msg::kCloseText));
  std::vector<std::wstring> items;
  for (const engine::EngineEntry& e : mDictionaries) items.push_back(e.DisplayName() + L"  [" + e.ProductNameShort() + L"]");
  mView->SetDictionaries(items);
  mView->SelectDictionary(mPreselect);
  mView->SetWord(mInitialWord);
  mView->SetResult(std::wstring());
  mHistory.Load();
  ShowHistory();
}

void CDialogLookupDict::ShowHistory() {
  int selected = mView->SelectedDictionary();
  if (selected < 0 || selected >= static_cast<int>(mDictionaries.size())) {
    mView->SetHistory({});
    return;
  }
  mView->SetHistory(mHistory.Words(DictionaryKey(mDictionaries[selected])));
}

void CDialogLookupDict::cboDictionary_Change() {
  try {
    ShowHistory();
  } catch (...) {
    LOG_ERROR(L"CDialogLookupDict:cboDictionary_Change", L"the history could not be shown");
  }
}

void CDialogLookupDict::Timer_Elapsed() {
  mView->StopTimer();
  if (mOpen) cmdSearch_onclick();
}

void CDialogLookupDict::cmdClose_Click() { mView->Close(IDCANCEL); }

void CDialogLookupDict::cmdSearch_onclick() {
  if (mSearching) return;
  mSearching = true;
  mView->SetSearching(true);
  try {
    Search();
  } catch (...) {
    LOG_ERROR(L"CDialogLookupDict:cmdSearch_onclick", L"the search failed");
  }
  mSearching = false;
  mView->SetSearching(false);
}

void CDialogLookupDict::Search() {
  const std::wstring source = L"CDialogLookupDict:cmdSearch_onclick";
  support::ErrorList::Clear();
  mView->SetResult(std::wstring());
  const std::wstring word = mView->GetWord();
  if (word.empty()) return;
  const int selected = mView->SelectedDictionary();
  if (selected < 0 || selected >= static_cast<int>(mDictionaries.size())) {
    mView->Beep();
    return;
  }
  const engine::EngineEntry& entry = mDictionaries[selected];
  bool open = false;
  try {
    if (mEngine.IsOpen() && mEngine.OpenGroup() == entry.EngineGroup() && mEngine.OpenEngineID() == entry.EngineID()) {
      open = true;
    } else {
      mEngine.CloseEngine();
      open = mEngine.OpenEngine(entry.EngineGroup(), entry.EngineID(), mEngines->DisplayLanguage(), entry.FromLang());
    }
  } catch (...) {
    open = false;
  }
  if (!open) {
    support::ErrorList::Add(msg::kEngineInitFailed);
    if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(source);
    return;
  }
  std::wstring result;
  bool found = false;
  try {
    found = mEngine.LookupWord(word, &result);
  } catch (...) {
    found = false;
  }
  if (!found) {
    support::ErrorList::Add(msg::kLookupFailed);
    return;
  }
  const bool registered = !result.empty() && result != L"(null)";
  if (!registered) result = support::LoadText(msg::kNotRegistered);
  std::wstring shown;
  shown.reserve(result.size() + 16);
  for (size_t i = 0; i < result.size(); ++i) {
    if (result[i] == L'\n' && (i == 0 || result[i - 1] != L'\r')) shown += L'\r';
    shown += result[i];
  }
  mView->SetResult(shown);
  // The history offers words worth picking again: those the dictionary has.
  if (!registered) return;
  mHistory.Add(DictionaryKey(entry), word);
  ShowHistory();
}

}  // namespace dialogs
