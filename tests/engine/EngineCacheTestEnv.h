// A private registry and roaming folder for tests of the engine cache and the
// built-in families. On Linux the stand-in registry files and the roaming
// folder move into a fresh temporary folder; on Windows (under Wine) the real
// registry keys and the cache file are cleared before and after each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "src/engine/EngineCaches.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Files.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/ErrorList.h"
#include "engines/fake/FakeEngine.h"
#include "tests/common/Bytes.h"

namespace enginetest {

// Through the platform's environment, so that the variables reach the code
// under test whichever way it reads them.
inline void SetEnv(const char* name, const std::string& value) {
  platform::SetEnvironmentValue(platform::FromUtf8(name), platform::FromUtf8(value));
}

inline void UnsetEnv(const char* name) { platform::SetEnvironmentValue(platform::FromUtf8(name), L""); }

inline std::string GetEnv(const char* name) {
  return platform::ToUtf8(platform::GetEnvironmentValue(platform::FromUtf8(name)));
}

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

inline bool GetString(platform::Hive hive, const std::wstring& path, const std::wstring& name, std::wstring* out) {
  platform::RegKey key;
  if (platform::RegKey::Open(hive, path, false, &key) != ERROR_SUCCESS) return false;
  platform::RegValue v;
  if (key.QueryValue(name, &v) != ERROR_SUCCESS) return false;
  *out = v.text;
  return true;
}

// A pair as the engine side lists it.
inline fake_engine::FakePair Pair(std::wstring id, std::wstring from, std::wstring to, std::wstring display,
                                  std::wstring product = L"Prod") {
  return {std::move(id), std::move(from), std::move(to), 1, std::move(display), std::move(product), L"P"};
}

// The fixture every cache and family test derives from.
class EngineEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mOldRegistry = GetEnv("PELORANT_REGISTRY");
    mOldConfig = GetEnv("XDG_CONFIG_HOME");
    std::random_device rd;
    mRoot = std::filesystem::temp_directory_path() / ("pelorant-ecache-" + std::to_string(rd()));
    std::filesystem::create_directories(mRoot / "registry");
    std::filesystem::create_directories(mRoot / "config");
    SetEnv("PELORANT_REGISTRY", (mRoot / "registry").string());
    SetEnv("XDG_CONFIG_HOME", (mRoot / "config").string());
    Clean();
    support::ErrorList::Clear();
  }

  void TearDown() override {
    Clean();
    support::ErrorList::Clear();
    if (mOldRegistry.empty()) UnsetEnv("PELORANT_REGISTRY"); else SetEnv("PELORANT_REGISTRY", mOldRegistry);
    if (mOldConfig.empty()) UnsetEnv("XDG_CONFIG_HOME"); else SetEnv("XDG_CONFIG_HOME", mOldConfig);
    std::error_code ec;
    std::filesystem::remove_all(mRoot, ec);
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

  std::filesystem::path mRoot;
  std::string mOldRegistry;
  std::string mOldConfig;
};

}  // namespace enginetest
