// What only the file-backed registry has: the hive files themselves, their
// rescue when they cannot be parsed, and several processes writing at once.
// The Windows registry has no files, so these skip there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "platform/Registry.h"
#include "platform/Strings.h"
#include "platform/System.h"

namespace fs = std::filesystem;
using platform::Hive;
using platform::RegKey;
using platform::RegValue;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::RegistryHiveFile(Hive::CurrentUser).empty()) GTEST_SKIP() << "the registry has no files here";
  }
  fs::path HiveFile(Hive hive) { return fs::path(platform::ToUtf8(platform::RegistryHiveFile(hive))); }

  platformtest::TempDir mDir;
  platformtest::ScopedEnv mEnv{L"PELORANT_REGISTRY", mDir.wpath()};
};

TEST_F(RegistryFile, EachHiveIsAFileInTheChosenFolder) {
  EXPECT_EQ(HiveFile(Hive::CurrentUser), mDir.path() / "HKCU.reg");
  EXPECT_EQ(HiveFile(Hive::LocalMachine), mDir.path() / "HKLM.reg");
  EXPECT_EQ(HiveFile(Hive::ClassesRoot), mDir.path() / "HKCR.reg");

  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, L"Software\\Talvoren\\OfficeAddIn", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"OfficeAddinLog", RegValue::Dword(1)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"LogFolderPath", RegValue::Expand(L"%temp%")), ERROR_SUCCESS);
  EXPECT_FALSE(fs::exists(HiveFile(Hive::CurrentUser)));
  std::string text = ReadFile(HiveFile(Hive::LocalMachine));
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << text;
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\OfficeAddIn]\n"
                      "\"OfficeAddinLog\"=dword:00000001\n"
                      "\"LogFolderPath\"=hex(2):25,00,74,00,65,00,6d,00,70,00,25,00,00,00\n"),
            std::string::npos)
      << text;
  // No temporary files are left behind.
  for (const auto& entry : fs::directory_iterator(mDir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(RegistryFile, LinkedHiveFileIsUpdatedWhereItLives) {
  platformtest::TempDir elsewhere;
  fs::path real = elsewhere.path() / "my-hkcu.reg";
  std::ofstream(real) << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Old]\n\"Kept\"=\"yes\"\n";
  std::error_code ec;
  fs::create_symlink(real, mDir.path() / "HKCU.reg", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here";
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"New", &key), ERROR_SUCCESS);
  EXPECT_TRUE(fs::is_symlink(mDir.path() / "HKCU.reg"));
  std::string text = ReadFile(real);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\New]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Kept\"=\"yes\""), std::string::npos) << text;
}

TEST_F(RegistryFile, ChangesMadeByHandAreSeenByTheNextRead) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Software\\Talvoren", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"LogLevel", RegValue::Dword(1)), ERROR_SUCCESS);
  RegValue v;
  ASSERT_EQ(key.QueryValue(L"LogLevel", &v), ERROR_SUCCESS);
  std::ofstream(HiveFile(Hive::CurrentUser), std::ios::binary | std::ios::trunc)
      << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Talvoren]\n"
         "\"LogLevel\"=dword:00000fa1\n\"Extra\"=\"typed in an editor\"\n";
  ASSERT_EQ(key.QueryValue(L"LogLevel", &v), ERROR_SUCCESS);
  EXPECT_EQ(v.dword, 4001u);
  ASSERT_EQ(key.QueryValue(L"Extra", &v), ERROR_SUCCESS);
  EXPECT_EQ(v.text, L"typed in an editor");
}

TEST_F(RegistryFile, UnparsableHiveIsMovedAsideOnceAndNeverOverwritten) {
  const std::string garbage = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:zz\n";
  std::ofstream(HiveFile(Hive::CurrentUser), std::ios::binary) << garbage;
  std::vector<std::wstring> reports;
  auto previous = platform::SetDiagnosticSink([&](const std::wstring& m) { reports.push_back(m); });

  RegKey key;
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, L"A", false, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, L"A", false, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"B", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"v", RegValue::Dword(2)), ERROR_SUCCESS);
  platform::SetDiagnosticSink(previous);

  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(L"HKCU.reg"), std::wstring::npos);
  EXPECT_NE(reports[0].find(L"line 3"), std::wstring::npos) << platform::ToUtf8(reports[0]);
  std::vector<fs::path> aside;
  for (const auto& entry : fs::directory_iterator(mDir.path())) {
    if (entry.path().filename().string().rfind("HKCU.reg.bad-", 0) == 0) aside.push_back(entry.path());
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadFile(aside[0]), garbage);
  EXPECT_NE(reports[0].find(aside[0].filename().wstring()), std::wstring::npos);
  EXPECT_NE(ReadFile(HiveFile(Hive::CurrentUser)).find("[HKEY_CURRENT_USER\\B]"), std::string::npos);
}

TEST_F(RegistryFile, HiveThatCannotBeReadIsNotReplaced) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Kept", &key), ERROR_SUCCESS);
  std::string before = ReadFile(HiveFile(Hive::CurrentUser));
  fs::permissions(HiveFile(Hive::CurrentUser), fs::perms::none);
  if (std::ifstream(HiveFile(Hive::CurrentUser)).good()) {
    fs::permissions(HiveFile(Hive::CurrentUser), fs::perms::owner_read | fs::perms::owner_write);
    GTEST_SKIP() << "this user reads every file";
  }
  EXPECT_NE(key.SetValue(L"v", RegValue::Dword(1)), ERROR_SUCCESS);
  fs::permissions(HiveFile(Hive::CurrentUser), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadFile(HiveFile(Hive::CurrentUser)), before);
}

// Run as a child process by the test below; a no-op in a normal run.
TEST_F(RegistryFile, WriterProcess) {
  std::wstring prefix = platform::GetEnvironmentValue(L"PELORANT_TEST_WRITER");
  if (prefix.empty()) GTEST_SKIP() << "only run as a child of ProcessesWritingAtOnceKeepEveryValue";
  platformtest::ScopedEnv dir(L"PELORANT_REGISTRY", platform::GetEnvironmentValue(L"PELORANT_TEST_WRITER_DIR"));
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Shared", &key), ERROR_SUCCESS);
  for (int i = 0; i < 30; ++i)
    ASSERT_EQ(key.SetValue(prefix + std::to_wstring(i), RegValue::Dword(static_cast<std::uint32_t>(i))), ERROR_SUCCESS);
}

TEST_F(RegistryFile, ProcessesWritingAtOnceKeepEveryValue) {
  std::string exe = platform::ToUtf8(platform::ModuleFilePath());
  std::vector<std::thread> children;
  std::vector<int> status(2, -1);
  for (int c = 0; c < 2; ++c) {
    children.emplace_back([&, c] {
      std::string cmd = "PELORANT_TEST_WRITER=child" + std::to_string(c) + "_ PELORANT_TEST_WRITER_DIR='" +
                        mDir.path().string() + "' '" + exe +
                        "' --gtest_filter=RegistryFile.WriterProcess >/dev/null 2>&1";
      status[c] = std::system(cmd.c_str());
    });
  }
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Shared", &key), ERROR_SUCCESS);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(key.SetValue(L"parent_" + std::to_wstring(i), RegValue::Dword(1)), ERROR_SUCCESS);
  for (auto& t : children) t.join();
  EXPECT_EQ(status[0], 0);
  EXPECT_EQ(status[1], 0);
  std::vector<std::wstring> names;
  ASSERT_EQ(key.EnumValues(&names), ERROR_SUCCESS);
  EXPECT_EQ(names.size(), 90u);
  RegValue v;
  EXPECT_EQ(key.QueryValue(L"child1_29", &v), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryValue(L"child0_0", &v), ERROR_SUCCESS);
}

}  // namespace
