// The dialogs' surroundings. An options dialog's: a host that keeps what
// the dialog hands it, stored sets "default" and "Fancy" (dual print on),
// three engine pairs, an input box answering from `answers`, message boxes
// answered with `boxes.answer`, and a font catalog of its own. A lookup
// dialog's: four engine pairs, dictionaries en-ja and en-ko only (en-de has
// none and en-fr is unchecked), a fake engine side that knows "cat" and
// "void".
#pragma once

#include "src/dialogs/CDialogSetup.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/ComError.h"
#include "tests/common/MessageBoxes.h"
#include "tests/dialogs/ScriptedViews.h"
#include "tests/engine/EngineCacheTestEnv.h"
#include "tests/options/FakeFonts.h"

namespace dialogtest {

class TestHost : public dialogs::SetupHost {
 public:
  options::TranslationOptions& Options() override { return options; }
  engine::EngineCaches& Engines() override { return engines; }
  dialogs::SetupSwitches Switches() override { return switches; }
  void SetSwitches(const dialogs::SetupSwitches& s) override { switches = s; }
  bool RefreshEngines(engine::EngineCaches& caches) override {
    ++refreshes;
    if (refreshThrows) throw platform::ComError(E_FAIL);
    if (refreshSucceeds) caches.SetEntries(refreshEntries);
    return refreshSucceeds;
  }
  void Applied() override { ++applied; }
  bool ShowHiddenOptions() override { return hidden; }
  engine_server::IServerSettings* Servers() override { return keepsServers ? &servers : nullptr; }

  // Stores what it is given unless told to refuse it.
  struct FakeServers : engine_server::IServerSettings {
    std::vector<engine_server::ServerRow> Servers() override { return rows; }
    bool Add(const engine_server::NewServer& s, std::wstring* error) override {
      if (!refusal.empty()) *error = refusal;
      else rows.push_back({s.name, s.url, s.api});
      return refusal.empty();
    }
    bool Remove(const std::wstring& name, std::wstring*) override {
      std::erase_if(rows, [&](const auto& r) { return r.name == name; });
      return true;
    }
    std::vector<engine_server::ServerRow> rows;
    std::wstring refusal;
  } servers;

  options::TranslationOptions options;
  engine::EngineCaches engines;
  dialogs::SetupSwitches switches;
  engine::EngineEntryList refreshEntries;
  bool keepsServers = true, refreshSucceeds = true, refreshThrows = false, hidden = false;
  int refreshes = 0, applied = 0;
};

class SetupDialog : public enginetest::EngineEnvTest {
 protected:
  void SetUp() override {
    EngineEnvTest::SetUp();
    support::ErrorList::SetDisplay(false);
    options::TranslationOptions sets;
    sets.Reset();
    sets.Add(L"Fancy")->SetDualPrint(1);
    ASSERT_TRUE(sets.Save(true));
    ASSERT_TRUE(host.options.Load(false));
    host.engines.SetEntries({{L"FakeMT:en-ja", FakePair(L"en-ja", 0x9)},
                             {L"FakeMT:en-de", FakePair(L"en-de", 0x1)},
                             {L"FakeMT:en-fr", FakePair(L"en-fr", 0x1)}});
  }

  int Run(ScriptedSetupView::Script script) {
    auto view = std::make_unique<ScriptedSetupView>(std::move(script));
    dialogs::CDialogSetup dialog(host, std::move(view), [this] {
      return std::make_unique<ScriptedInputBox>(&answers, &prompts);
    });
    return dialog.DoModal();
  }
  static options::TranslationOption StoredSet(const std::wstring& name) {
    options::TranslationOptions sets;
    EXPECT_TRUE(sets.Load(false));
    const options::TranslationOption* set = sets.Find(name);
    return set ? *set : options::TranslationOption();
  }
  static std::vector<std::wstring> StoredNames() {
    options::TranslationOptions sets;
    EXPECT_TRUE(sets.Load(false));
    return sets.OptionNames();
  }

  optionstest::FakeFonts fonts{[] {
    auto installed = optionstest::DefaultFontsInstalled();
    installed[0] = {L"Arial", L"Tahoma"};
    return installed;
  }()};
  TestHost host;
  std::deque<std::optional<std::wstring>> answers;
  std::vector<std::wstring> prompts;
  testsupport::MessageBoxes boxes{IDYES};
};

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
    engines.SetEntries({{L"FakeMT:en-de", FakePair(L"en-de", 0x1)},
                        {L"FakeMT:en-ja", FakePair(L"en-ja", 0x9)},
                        {L"FakeMT:en-fr", FakePair(L"en-fr", 0x9, 0)},
                        {L"FakeMT:en-ko", FakePair(L"en-ko", 0x8)}});
  }

  int Run(const std::wstring& id, const std::wstring& selection, ScriptedLookupView::Script script) {
    auto view = std::make_unique<ScriptedLookupView>(std::move(script));
    view->timerLeft = &timerLeft;
    dialogs::CDialogLookupDict dialog(std::move(view), engines, eng, options::kHostKeyPath);
    return dialog.DoModal(L"FakeMT", id, selection);
  }
  static void SetMaxCount(const std::wstring& text) {
    enginetest::SetString(platform::Hive::CurrentUser, std::wstring(options::kHostKeyPath) + L"\\LookupHistory",
                          L"MaxCount", text);
  }
  static void Search(ScriptedLookupView& v, const std::wstring& word) {
    v.word = word;
    v.d->cmdSearch_onclick();
  }

  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation* impl = nullptr;
  engine::EngineCaches engines;
  engine::Engine eng;
  std::optional<int> timerLeft;
};

}  // namespace dialogtest
