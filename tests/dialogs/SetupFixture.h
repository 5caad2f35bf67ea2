// An options dialog's surroundings: a host that keeps what the dialog
// hands it, stored sets "default" and "Fancy" (dual print on), three engine
// pairs, an input box answering from `answers`, message boxes answered with
// `boxes.answer`, and a font catalog of its own.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/dialogs/CDialogSetup.h"
#include "src/platform/ComError.h"
#include "src/support/ErrorList.h"
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
  bool keepsServers = true;

  options::TranslationOptions options;
  engine::EngineCaches engines;
  dialogs::SetupSwitches switches;
  engine::EngineEntryList refreshEntries;
  bool refreshSucceeds = true;
  bool refreshThrows = false;
  bool hidden = false;
  int refreshes = 0;
  int applied = 0;
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

}  // namespace dialogtest
