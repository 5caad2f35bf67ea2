#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "resources/MessageIds.h"
#include "src/platform/MessagePump.h"
#include "src/support/ResourceModule.h"
#include "tests/dialogs/LookupFixture.h"

using dialogs::CDialogLookupDict;
using dialogtest::LookupDialog;
using dialogtest::ScriptedLookupView;
using ::testing::ElementsAre;

TEST(LookupWord, ASelectionGivesItsFirstLineTrimmed) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"word", L"word"},
      {L"  two words \t\r\n", L"two words"},
      {L"first\rsecond", L"first"},
      {L"first\vsecond", L"first"},
      {L"first\nsecond", L"first"},
      {L"\x3000wide\x3000\r", L"wide"},
      {L"\r\n", L""},
      {L"", L""},
  };
  for (const auto& [selection, word] : cases) EXPECT_EQ(CDialogLookupDict::InitialWord(selection), word);
}

TEST_F(LookupDialog, OffersTheCheckedDictionariesAndShowsTheirEntries) {
  Run(L"en-ko", L"", [&](ScriptedLookupView& v) {
    EXPECT_THAT(v.dictionaries, ElementsAre(L"English - en-ja  [Fake]", L"English - en-ko  [Fake]"));
    EXPECT_EQ(v.selected, 1);
    EXPECT_EQ(v.word, L"");
    EXPECT_FALSE(v.timerMs.has_value());
    EXPECT_EQ(v.texts[2], support::LoadText(6002));

    Search(v, L"cat");
    EXPECT_EQ(v.result, L"neko\r\nbyo\r\nmao");
    Search(v, L"void");
    EXPECT_EQ(v.result, support::LoadText(resources::msg::kNotRegistered));
    EXPECT_THAT(impl->Lookups(), ElementsAre(L"cat", L"void"));
    // Only a word that was found goes into the history.
    EXPECT_THAT(v.history, ElementsAre(L"cat"));

    Search(v, L"");
    v.selected = -1;
    EXPECT_EQ(v.beeps, 0);
    Search(v, L"cat");
    EXPECT_EQ(v.beeps, 1);
    EXPECT_EQ(v.result, L"");
  });
}

TEST_F(LookupDialog, EngineFailuresAreListed) {
  impl->Script(fake_engine::Operation::LookupDictionary, {.status = 3, .times = 1});
  Run(L"en-ja", L"", [&](ScriptedLookupView& v) {
    Search(v, L"cat");
    EXPECT_THAT(dialogtest::ListedIds(), ElementsAre(resources::msg::kLookupFailed));
    impl->Script(fake_engine::Operation::GetEngine, {.status = 3});
    v.selected = 1;
    Search(v, L"cat");
    EXPECT_THAT(dialogtest::ListedIds(), ::testing::Contains(resources::msg::kEngineInitFailed));
    EXPECT_EQ(v.result, L"");
  });
}

TEST_F(LookupDialog, ASelectedWordIsSearchedByItselfWhileTheDialogIsOpen) {
  Run(L"en-ja", L" cat \rdog", [&](ScriptedLookupView& v) {
    EXPECT_EQ(v.word, L"cat");
    EXPECT_EQ(v.timerMs, CDialogLookupDict::kAutoSearchMs);
    EXPECT_TRUE(impl->Lookups().empty());
    v.FireTimer();
    EXPECT_EQ(v.result, L"neko\r\nbyo\r\nmao");
    EXPECT_FALSE(v.timerMs.has_value());
  });
  EXPECT_THAT(impl->Lookups(), ElementsAre(L"cat"));
  // A timer that has not fired goes with the dialog.
  Run(L"en-ja", L"cat", [](ScriptedLookupView&) {});
  EXPECT_FALSE(timerLeft.has_value());
  EXPECT_EQ(impl->Lookups().size(), 1u);
}

TEST_F(LookupDialog, HistoryKeepsTheNewestWordsOncePerDictionaryAcrossRuns) {
  SetMaxCount(L"3");
  for (const wchar_t* w : {L"a", L"b", L"c", L"d"}) impl->AddDictionaryEntry(w, w);
  Run(L"en-ja", L"", [&](ScriptedLookupView& v) {
    for (const wchar_t* w : {L"a", L"b", L"c", L"a", L"d"}) Search(v, w);
    EXPECT_THAT(v.history, ElementsAre(L"d", L"a", L"c"));
    v.selected = 1;
    v.d->cboDictionary_Change();
    EXPECT_TRUE(v.history.empty());
  });
  Run(L"en-ja", L"", [&](ScriptedLookupView& v) {
    EXPECT_THAT(v.history, ElementsAre(L"d", L"a", L"c"));
    Search(v, L"c");
    EXPECT_THAT(v.history, ElementsAre(L"c", L"d", L"a"));
  });
  dialogs::LookupHistory stored(options::kHostKeyPath);
  stored.Load();
  EXPECT_EQ(stored.MaxCount(), 3);
  EXPECT_THAT(stored.Words(L"FakeMT:en-ja"), ElementsAre(L"c", L"d", L"a"));
  // A smaller stored count keeps the newest words; a stored count counts
  // from 1 to 999, anything else keeps the default.
  const int fallback = dialogs::LookupHistory::kDefaultMaxCount;
  for (auto [text, want] : std::vector<std::pair<const wchar_t*, int>>{
           {L"1", 1}, {L"999", 999}, {L"1000", fallback}, {L"0", fallback}, {L"x", fallback}}) {
    SetMaxCount(text);
    dialogs::LookupHistory shorter(options::kHostKeyPath);
    shorter.Load();
    EXPECT_EQ(shorter.MaxCount(), want) << platform::ToUtf8(text);
    if (want == 1) {
      EXPECT_THAT(shorter.Words(L"FakeMT:en-ja"), ElementsAre(L"c"));
    }
  }
}

// While the engine looks a word up the dialog keeps handling messages; a
// second search from Search, Enter or the timer then does nothing, and the
// controls that start one are off until the first has its answer.
TEST_F(LookupDialog, OneSearchAtATime) {
  const platform::MessageThreadId ui = platform::CurrentMessageThread();
  std::promise<void> interrupted;
  std::future<void> done = interrupted.get_future();
  bool offDuringSearch = false;
  impl->Script(fake_engine::Operation::LookupDictionary,
               {.times = 1, .hold = [&] {
                  platform::PostThreadTask(ui, [&] {
                    offDuringSearch = last->searching;
                    // Another dictionary would close the engine under the search.
                    last->selected = 0;
                    last->d->cmdSearch_onclick();
                    last->d->Timer_Elapsed();
                    interrupted.set_value();
                  });
                  done.wait_for(std::chrono::seconds(30));
                }});
  Run(L"en-ko", L"cat", [&](ScriptedLookupView& v) {
    v.FireTimer();
    EXPECT_EQ(v.result, L"neko\r\nbyo\r\nmao");
    EXPECT_FALSE(v.searching);
  });
  EXPECT_TRUE(offDuringSearch);
  EXPECT_THAT(impl->Lookups(), ElementsAre(L"cat"));
}

// The dialog offers the facade's list without changing it: an empty list is
// refreshed in the dialog's own copy, with the copy's settings reset.
TEST_F(LookupDialog, AnEmptyListIsRefreshedInTheDialogsOwnCopy) {
  engine::EngineCaches facadeList;
  facadeList.SetEnumFlag(7);
  int refreshes = 0;
  auto view = std::make_unique<ScriptedLookupView>([&](ScriptedLookupView& v) {
    EXPECT_THAT(v.dictionaries, ElementsAre(L"English - en-ja  [Fake]", L"English - en-ko  [Fake]"));
  });
  dialogs::CDialogLookupDict dialog(std::move(view), facadeList, eng, options::kHostKeyPath,
                                    [&](engine::EngineCaches& caches) {
                                      ++refreshes;
                                      EXPECT_NE(&caches, &facadeList);
                                      caches.SetEntries(engines.Entries());
                                      return true;
                                    });
  dialog.DoModal(L"FakeMT", L"en-ja", L"");
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(facadeList.Count(), 0u);
  EXPECT_EQ(facadeList.EnumFlag(), 7);
}
