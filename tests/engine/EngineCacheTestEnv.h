// A private registry and roaming folder for tests of the engine cache and the
// built-in families. On Linux the stand-in registry files and the roaming
// folder move into a fresh temporary folder; on Windows (under Wine) the real
// registry keys and the cache file are cleared before and after each test.
// And a fake engine side in this process with one implementation, FakeMT,
// serving English - Spanish (its translation is the text in capitals), and
// an engine to open it with no abbreviation tables.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "src/engine/Engine.h"
#include "src/engine/EngineCaches.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Files.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/ErrorList.h"
#include "engines/fake/FakeEngine.h"
#include "tests/common/Bytes.h"
#include "tests/common/TempDir.h"
#include "tests/platform/TestSupport.h"

namespace enginetest {

using testsupport::ReadBytes;
using testsupport::WriteBytes;

inline std::string Utf16File(const std::wstring& text, bool bom = true) {
  return (bom ? std::string("\xFF\xFE", 2) : std::string()) + platform::ToUtf16Le(text);
}

inline void SetString(platform::Hive hive, const std::wstring& path, const std::wstring& name,
                      const std::wstring& value) {
  platform::RegKey key;
  ASSERT_EQ(platform::RegKey::Create(hive, path, &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(name, platform::RegValue::String(value)), ERROR_SUCCESS);
}

// The value's text, or "<none>" when it is not there.
inline std::wstring ValueOf(platform::Hive hive, const std::wstring& path, const std::wstring& name) {
  platform::RegKey key;
  platform::RegValue v;
  if (platform::RegKey::Open(hive, path, false, &key) != ERROR_SUCCESS || key.QueryValue(name, &v) != ERROR_SUCCESS)
    return L"<none>";
  return v.text;
}

// A pair as the engine side lists it.
inline fake_engine::FakePair Pair(std::wstring id, std::wstring from, std::wstring to, std::wstring display,
                                  std::wstring product = L"Prod") {
  return {std::move(id), std::move(from), std::move(to), 1, std::move(display), std::move(product), L"P"};
}

// An entry of the cache, English to Spanish.
inline engine::EngineEntry Entry(std::wstring group, std::wstring id, std::wstring display, int checked = 1,
                                 int flags = 1, std::wstring product = L"Prod") {
  engine::EngineEntry e;
  e.SetEngineGroup(std::move(group));
  e.SetEngineID(std::move(id));
  e.SetFromLang(L"en");
  e.SetToLang(L"es");
  e.SetDisplayName(std::move(display));
  e.SetProductName(std::move(product));
  e.SetProductNameShort(L"P");
  e.SetChecked(checked);
  e.SetFlags(flags);
  return e;
}

inline engine::EngineEntryList List(std::initializer_list<engine::EngineEntry> entries) {
  engine::EngineEntryList list;
  for (const auto& e : entries) list.emplace_back(e.EngineKey(), e);
  return list;
}

// Every field of an entry on one line: "key checked from>to flags display|product|short".
inline std::wstring Describe(const engine::EngineEntry& e) {
  return e.EngineKey() + L" " + std::to_wstring(e.Checked()) + L" " + e.FromLang() + L">" + e.ToLang() + L" " +
         std::to_wstring(e.Flags()) + L" " + e.DisplayName() + L"|" + e.ProductName() + L"|" + e.ProductNameShort();
}

// The fixture every cache and family test derives from.
class EngineEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(mRoot / "registry");
    std::filesystem::create_directories(mRoot / "config");
    Clean();
    support::ErrorList::Clear();
  }

  void TearDown() override {
    Clean();
    support::ErrorList::Clear();
  }

  void Clean() {
    platform::DeleteKeyTree(platform::Hive::CurrentUser, engine::kAddinKeyPath);
    platform::DeleteKeyTree(platform::Hive::LocalMachine, engine::kAddinKeyPath);
    std::error_code ec;
    std::filesystem::remove_all(platform::NativePath(engine::EngineCacheFolder()), ec);
  }

  // A folder for files the test makes (server files, abbreviation tables).
  std::wstring Folder() const { return platform::FromUtf8((mRoot / "files").string()); }
  std::wstring MakeFile(const std::wstring& name, const std::string& bytes = "x") {
    std::filesystem::create_directories(mRoot / "files");
    std::wstring path = platform::JoinPath(Folder(), name);
    WriteBytes(path, bytes);
    return path;
  }

  testsupport::TempDir mRoot;
  platformtest::ScopedEnv mRegistry{L"PELORANT_REGISTRY", platform::FromUtf8((mRoot / "registry").string())};
  platformtest::ScopedEnv mConfig{L"XDG_CONFIG_HOME", platform::FromUtf8((mRoot / "config").string())};
};

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
