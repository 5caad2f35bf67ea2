// A fake engine side in this process with one implementation, FakeMT,
// serving English - Spanish (its translation is the text in capitals), and
// an engine to open it with no abbreviation tables.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/fake/FakeEngine.h"
#include "src/engine/Engine.h"
#include "src/support/ErrorList.h"

namespace enginetest {

inline engine::Engine::Connectors NoAbbreviations() {
  return {{}, {}, [](const std::wstring&, std::vector<std::wstring>*) { return false; }};
}

// A pair of the fake implementation, from English unless told.
inline fake_engine::FakePair FakeMT(std::wstring id, std::wstring to, LONG flags = 0x9, std::wstring from = L"en") {
  return {std::move(id), std::move(from), std::move(to), flags, L"Fake pair", L"Fake MT", L"Fake"};
}

// The message ids in the error list, in order.
inline std::vector<int> MessageIds() {
  std::vector<int> ids;
  for (const auto& e : support::ErrorList::GetEntries()) ids.push_back(e.mMessageId);
  return ids;
}

class FakeSideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    support::ErrorList::SetDisplay(false);
    support::ErrorList::Clear();
    impl = &side.AddImplementation(L"FakeMT");
    impl->AddPair(FakeMT(L"en-es", L"es"));
  }
  void TearDown() override { support::ErrorList::Clear(); }

  std::vector<std::wstring> SentTexts() const {
    std::vector<std::wstring> out;
    for (auto& c : impl->Translations()) out.push_back(c.text);
    return out;
  }

  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation* impl = nullptr;
  engine::Engine eng{NoAbbreviations()};
};

}  // namespace enginetest
