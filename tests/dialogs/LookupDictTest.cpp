#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engines/fake/FakeEngine.h"
#include "src/dialogs/CDialogLookupDict.h"
#include "src/options/RegistrySettings.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"
#include "tests/dialogs/ScriptedViews.h"
#include "tests/engine/EngineCacheTestEnv.h"

using dialogs::CDialogLookupDict;
using dialogtest::ScriptedLookupView;
using ::testing::ElementsAre;

namespace {

engine::EngineEntry Pair(const std::wstring& id, std::int32_t flags, std::int32_t checked = 1) {
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

// Dictionaries en-ja and en-ko; en-de has none and en-fr is unchecked.
class LookupDialog : public enginetest::EngineEnvTest {
 protected:
  void SetUp() override {
    EngineEnvTest::SetUp();
    support::ErrorList::SetDisplay(false);
    impl = &side.AddImplementation(L"FakeMT");
    for (const wchar_t* id : {L"en-ja", L"en-ko", L"en-de", L"en-fr"})
      impl->AddPair({id, L"en", std::wstring(id).substr(3), 0x9, L"English", L"Fake MT", L"Fake"});
    impl->AddDictionaryEntry(L"cat", L"neko\nbyo\r\nmao");
    impl->AddDictionaryEntry(L"void", L"(null)");
    engines.SetEntries({{L"FakeMT:en-de", Pair(L"en-de", 0x1)},
                        {L"FakeMT:en-ja", Pair(L"en-ja", 0x9)},
                        {L"FakeMT:en-fr", Pair(L"en-fr", 0x9, 0)},
                        {L"FakeMT:en-ko", Pair(L"en-ko", 0x8)}});
  }

  int Run(const std::wstring& id, const std::wstring& selection, ScriptedLookupView::Script script) {
    auto view = std::make_unique<ScriptedLookupView>(std::move(script));
    last = view.get();
    CDialogLookupDict dialog(std::move(view), engines, eng, options::kHostKeyPath);
    return dialog.DoModal(L"FakeMT", id, selection);
  }
  static std::vector<int> Listed() {
    std::vector<int> ids;
    for (const support::ErrorEntry& e : support::ErrorList::GetEntries()) ids.push_back(e.mMessageId);
    return ids;
  }
  static void Search(ScriptedLookupView& v, const std::wstring& word) {
    v.word = word;
    v.d->cmdSearch_onclick();
  }

  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation* impl = nullptr;
  engine::EngineCaches engines;
  engine::Engine eng;
  ScriptedLookupView* last = nullptr;
};

}  // namespace

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
    EXPECT_EQ(v.result, support::LoadText(CDialogLookupDict::kNotRegistered));
    EXPECT_THAT(impl->Lookups(), ElementsAre(L"cat", L"void"));

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
    EXPECT_THAT(Listed(), ElementsAre(CDialogLookupDict::kLookupFailed));
    impl->Script(fake_engine::Operation::GetEngine, {.status = 3});
    v.selected = 1;
    Search(v, L"cat");
    EXPECT_THAT(Listed(), ::testing::Contains(CDialogLookupDict::kEngineFailed));
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
  EXPECT_FALSE(last->timerMs.has_value());
  EXPECT_EQ(impl->Lookups().size(), 1u);
}

TEST_F(LookupDialog, HistoryKeepsTheNewestWordsOncePerDictionaryAcrossRuns) {
  enginetest::SetString(platform::Hive::CurrentUser, std::wstring(options::kHostKeyPath) + L"\\LookupHistory",
                        L"MaxCount", L"3");
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
  stored.SetMaxCount(1);
  EXPECT_TRUE(stored.Save());
  dialogs::LookupHistory shorter(options::kHostKeyPath);
  shorter.Load();
  EXPECT_THAT(shorter.Words(L"FakeMT:en-ja"), ElementsAre(L"c"));
}
