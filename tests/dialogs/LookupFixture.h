// A lookup dialog's surroundings: four engine pairs, dictionaries en-ja and
// en-ko only (en-de has none and en-fr is unchecked), a fake engine side
// that knows "cat" and "void".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engines/fake/FakeEngine.h"
#include "src/dialogs/CDialogLookupDict.h"
#include "src/options/RegistrySettings.h"
#include "src/support/ErrorList.h"
#include "tests/dialogs/ScriptedViews.h"
#include "tests/engine/EngineCacheTestEnv.h"

namespace dialogtest {

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
    last = view.get();
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
  ScriptedLookupView* last = nullptr;  // only while its dialog is open
  std::optional<int> timerLeft;
};

}  // namespace dialogtest
