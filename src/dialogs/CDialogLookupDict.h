// The dictionary lookup dialog: the user picks one of the checked engines
// that have a dictionary, types a word and searches; the engine's entry is
// shown. Words found are kept per dictionary in LookupHistory.
//
// User-interface thread only. Handlers report through the error list with
// the source "CDialogLookupDict:<handler>"; none throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/dialogs/LookupDictView.h"
#include "src/engine/Engine.h"
#include "src/engine/EngineCaches.h"

namespace dialogs {

// Words found, per dictionary, newest first, without duplicates, at most
// MaxCount of them; kept in the registry below the add-in's settings key:
// "<settings>\LookupHistory" holds "MaxCount" and one sub-key per
// dictionary (its engine key) with "History000", "History001" ...
class LookupHistory {
 public:
  static constexpr int kDefaultMaxCount = 20;

  // `settingsKey` is the add-in's settings key (below the user hive).
  explicit LookupHistory(std::wstring settingsKey);
  // Reads MaxCount; a missing or unusable value (below 1) keeps the default.
  void Load();
  // Writes MaxCount and the lists read or changed, when anything changed;
  // false when a write failed.
  bool Save();

  int MaxCount() const { return mMaxCount; }
  // The words of one dictionary, newest first (read on first request).
  const std::vector<std::wstring>& Words(const std::wstring& dictionary);
  // Puts `word` first, dropping an earlier copy and the oldest beyond MaxCount.
  void Add(const std::wstring& dictionary, const std::wstring& word);
  bool Changed() const { return mChanged; }

 private:
  struct List {
    std::wstring dictionary;
    std::vector<std::wstring> words;
  };
  List& Find(const std::wstring& dictionary);

  std::wstring mKey;
  int mMaxCount = kDefaultMaxCount;
  std::vector<List> mLists;
  bool mChanged = false;
};

class CDialogLookupDict {
 public:
  // The search starts by itself this long after the dialog opens with a word.
  static constexpr int kAutoSearchMs = 1000;

  // Refills an empty engine list (display on while the dialog is shown).
  using EngineRefresher = std::function<bool(engine::EngineCaches& caches)>;

  // `engines` is the list to offer (the facade's); the dialog works on a
  // copy of its own and never changes it. `engine` looks words up.
  CDialogLookupDict(std::unique_ptr<LookupDictView> view, const engine::EngineCaches& engines, engine::Engine& engine,
                    std::wstring settingsKey, EngineRefresher refresher = {});
  ~CDialogLookupDict();
  CDialogLookupDict(const CDialogLookupDict&) = delete;
  CDialogLookupDict& operator=(const CDialogLookupDict&) = delete;

  // Fills the dictionary list, preselects the entry of group and id, and
  // runs the dialog modally; a non-empty word is searched by itself after
  // kAutoSearchMs. Returns the close code, 0 when the view could not be made.
  int DoModal(const std::wstring& engineGroup, const std::wstring& engineID, const std::wstring& selection);

  // Handlers the view calls.
  void OnInitDialog();
  void cmdSearch_onclick();
  void cmdClose_Click();
  void cboDictionary_Change();
  void Timer_Elapsed();

  // The word a selection gives: trailing breaks and blanks (including
  // U+3000) removed, cut before the first line break (CR, LF or vertical
  // tab), trimmed.
  static std::wstring InitialWord(const std::wstring& selection);
  // The dictionaries offered: checked entries with a dictionary (flag 0x8).
  const std::vector<engine::EngineEntry>& Dictionaries() const { return mDictionaries; }
  LookupHistory& History() { return mHistory; }

 private:
  void ShowHistory();
  void Search();

  std::unique_ptr<LookupDictView> mView;
  std::unique_ptr<engine::EngineCaches> mEngines;
  engine::Engine& mEngine;
  EngineRefresher mRefresh;
  LookupHistory mHistory;
  std::vector<engine::EngineEntry> mDictionaries;
  std::wstring mInitialWord;
  int mPreselect = -1;
  bool mOpen = false;
  // A search waits for the engine while the dialog's messages are handled;
  // a second one would close the engine under the first.
  bool mSearching = false;
};

}  // namespace dialogs
