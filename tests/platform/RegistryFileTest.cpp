// What only the file-backed registry has: the hive files themselves, their
// rescue when they cannot be parsed, and several processes writing at once.
// The Windows registry has no files, so these skip there.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/common/Bytes.h"
#include "tests/common/FaultyFiles.h"
#include "tests/platform/TestSupport.h"

namespace fs = std::filesystem;
using platform::Hive;
using platform::RegKey;
using platform::RegValue;

namespace {

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::RegistryHiveFile(Hive::CurrentUser).empty()) GTEST_SKIP() << "the registry has no files here";
  }
  fs::path HiveFile(Hive hive) { return fs::path(platform::ToUtf8(platform::RegistryHiveFile(hive))); }

  testsupport::TempDir mDir;
  platformtest::ScopedEnv mEnv{L"PELORANT_REGISTRY", mDir.wpath()};
};

// Each hive is a file in the chosen folder, written only when it changes
// (through a link where it is one) and leaving no temporary file, and read
// again when changed by hand.
TEST_F(RegistryFile, EachHiveIsAFileWrittenWhenChangedAndReadAgainWhenChangedByHand) {
  EXPECT_EQ(HiveFile(Hive::CurrentUser), mDir.path() / "HKCU.reg");
  EXPECT_EQ(HiveFile(Hive::LocalMachine), mDir.path() / "HKLM.reg");
  EXPECT_EQ(HiveFile(Hive::ClassesRoot), mDir.path() / "HKCR.reg");
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, L"Software\\Talvoren", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"LogLevel", RegValue::Dword(1)), ERROR_SUCCESS);
  EXPECT_FALSE(fs::exists(HiveFile(Hive::CurrentUser)));
  for (const auto& entry : fs::directory_iterator(mDir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  EXPECT_NE(testsupport::ReadBytes(HiveFile(Hive::LocalMachine)).find("\"LogLevel\"=dword:00000001"),
            std::string::npos);

  std::ofstream(HiveFile(Hive::LocalMachine), std::ios::binary | std::ios::trunc)
      << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Talvoren]\n"
         "\"LogLevel\"=dword:00000fa1\n\"Extra\"=\"typed in an editor\"\n";
  RegValue v;
  ASSERT_EQ(key.QueryValue(L"LogLevel", &v), ERROR_SUCCESS);
  EXPECT_EQ(v.dword, 4001u);
  ASSERT_EQ(key.QueryValue(L"Extra", &v), ERROR_SUCCESS);
  EXPECT_EQ(v.text, L"typed in an editor");

  testsupport::TempDir elsewhere;
  fs::path real = elsewhere.path() / "my-hkcu.reg";
  std::ofstream(real) << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Old]\n\"Kept\"=\"yes\"\n";
  std::error_code ec;
  fs::create_symlink(real, mDir.path() / "HKCU.reg", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here";
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"New", &key), ERROR_SUCCESS);
  EXPECT_TRUE(fs::is_symlink(mDir.path() / "HKCU.reg"));
  std::string text = testsupport::ReadBytes(real);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\New]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Kept\"=\"yes\""), std::string::npos) << text;
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
  EXPECT_EQ(testsupport::ReadBytes(aside[0]), garbage);
  EXPECT_NE(reports[0].find(aside[0].filename().wstring()), std::wstring::npos);
  EXPECT_NE(testsupport::ReadBytes(HiveFile(Hive::CurrentUser)).find("[HKEY_CURRENT_USER\\B]"), std::string::npos);
}

// A write the disk refuses, a hive that cannot be read again (rewritten,
// as by another process, since it was last read), and one that can be
// neither parsed nor moved aside: the change fails with its own error, the
// hive file stays as it was, and the key is not served from memory either.
TEST_F(RegistryFile, AFailedReadWriteOrRescueLeavesTheHiveFileAsItWas) {
  using testsupport::FaultyFiles;
  const struct {
    const char* what;
    unsigned failing;
    LONG error;
    std::string garbage;
  } cases[] = {
      {"write", FaultyFiles::kWrite, ERROR_WRITE_FAULT, ""},
      {"read", FaultyFiles::kRead, ERROR_CANTREAD, ""},
      {"keep aside", FaultyFiles::kKeepAside, ERROR_BADDB,
       "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:zz\n"},
  };
  const fs::path hive = HiveFile(Hive::CurrentUser);
  auto previous = platform::SetDiagnosticSink([](const std::wstring&) {});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Kept", &key), ERROR_SUCCESS);
    const std::string before = c.garbage.empty() ? testsupport::ReadBytes(hive) : c.garbage;
    fs::remove(hive);
    ASSERT_TRUE(testsupport::WriteBytes(hive, before));
    {
      FaultyFiles disk(c.failing, ERROR_WRITE_FAULT);
      EXPECT_EQ(RegKey::Create(Hive::CurrentUser, L"New", &key), c.error);
      EXPECT_GT(disk.Failures(), 0);
    }
    EXPECT_EQ(testsupport::ReadBytes(hive), before);
    EXPECT_EQ(RegKey::Open(Hive::CurrentUser, L"New", false, &key), ERROR_FILE_NOT_FOUND);
  }
  platform::SetDiagnosticSink(previous);
}

// Reads and writes against a hive file that must be refused: each call
// must return (a FIFO would block a plain open or read for ever), report
// once, and leave the file as it was.
void ExpectRefusedAndUntouched(const fs::path& hive, const std::wstring& named = L"HKCU.reg") {
  const fs::file_status before = fs::status(hive);
  const auto sizeBefore = fs::is_regular_file(before) ? fs::file_size(hive) : 0;
  std::vector<std::wstring> reports;
  auto previous = platform::SetDiagnosticSink([&](const std::wstring& m) { reports.push_back(m); });
  std::vector<LONG> rc = platformtest::ReturnsWithin(std::chrono::seconds(60), "using the hive", [] {
    RegKey key;
    std::vector<LONG> rc;
    rc.push_back(RegKey::Open(Hive::CurrentUser, L"A", false, &key));
    rc.push_back(RegKey::Create(Hive::CurrentUser, L"B", &key));
    {
      platform::RegBatch batch(Hive::CurrentUser);
      rc.push_back(RegKey::Create(Hive::CurrentUser, L"C", &key));
    }
    rc.push_back(RegKey::Open(Hive::CurrentUser, L"B", false, &key));
    return rc;
  });
  platform::SetDiagnosticSink(previous);
  EXPECT_EQ(rc[0], ERROR_FILE_NOT_FOUND);
  EXPECT_NE(rc[1], ERROR_SUCCESS);
  EXPECT_NE(rc[2], ERROR_SUCCESS);
  EXPECT_EQ(rc[3], ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(named), std::wstring::npos) << platform::ToUtf8(reports[0]);
  EXPECT_EQ(fs::status(hive).type(), before.type());
  if (fs::is_regular_file(before)) {
    EXPECT_EQ(fs::file_size(hive), sizeBefore);
  }
  for (const auto& entry : fs::directory_iterator(hive.parent_path()))
    EXPECT_EQ(entry.path().filename().string().find(".bad-"), std::string::npos) << entry.path();
}

// A FIFO (which would block a plain read), a sparse file larger than any
// hive, and a link to a device stand where the hive should be.
TEST_F(RegistryFile, WhatIsNoHiveFileIsRefusedWithoutWaiting) {
  const fs::path hive = HiveFile(Hive::CurrentUser);
  struct Case {
    const char* what;
    std::function<bool()> make;
    std::wstring named;
  };
  const Case cases[] = {
      {"fifo", [&] { return std::system(("mkfifo '" + hive.string() + "'").c_str()) == 0; }, L"HKCU.reg"},
      {"large",
       [&] {
         std::ofstream(hive) << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n";
         fs::resize_file(hive, (64u << 20) + 1);  // sparse: no disk used
         return true;
       },
       L"HKCU.reg"},
      {"device",
       [&] {
         std::error_code ec;
         fs::create_symlink("/dev/zero", hive, ec);
         return !ec;
       },
       L"/dev/zero"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(hive);
    if (!c.make()) continue;  // no mkfifo or links here
    ExpectRefusedAndUntouched(hive, c.named);
  }
  EXPECT_TRUE(fs::is_character_file("/dev/zero"));
}

TEST_F(RegistryFile, BatchWritesOnceOnCommitAndNothingWhenAbandoned) {
  RegKey key;
  const std::uint64_t start = platform::RegistryRewriteCount();
  {
    platform::RegBatch outer(Hive::CurrentUser);
    ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Batch\\Deep", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetValue(L"a", RegValue::Dword(1)), ERROR_SUCCESS);
    {
      platform::RegBatch inner(Hive::CurrentUser);
      ASSERT_EQ(key.SetValue(L"b", RegValue::String(L"two")), ERROR_SUCCESS);
      EXPECT_EQ(inner.Commit(), ERROR_SUCCESS);
    }
    RegValue v;
    EXPECT_EQ(key.QueryValue(L"b", &v), ERROR_SUCCESS) << "the batch reads its own changes";
    EXPECT_FALSE(fs::exists(HiveFile(Hive::CurrentUser))) << "nothing is written before the commit";
    EXPECT_EQ(outer.Commit(), ERROR_SUCCESS);
  }
  EXPECT_EQ(platform::RegistryRewriteCount() - start, 1u);
  std::string text = testsupport::ReadBytes(HiveFile(Hive::CurrentUser));
  EXPECT_NE(text.find("\"b\"=\"two\""), std::string::npos) << text;

  {
    platform::RegBatch abandoned(Hive::CurrentUser);
    ASSERT_EQ(key.SetValue(L"c", RegValue::Dword(3)), ERROR_SUCCESS);
    ASSERT_EQ(key.DeleteValue(L"a"), ERROR_SUCCESS);
  }
  EXPECT_EQ(testsupport::ReadBytes(HiveFile(Hive::CurrentUser)), text);
  RegValue v;
  EXPECT_EQ(key.QueryValue(L"c", &v), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.QueryValue(L"a", &v), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegistryRewriteCount() - start, 1u);
}

// Writes the values prefix0 to prefix29 into the key "Shared", one change
// (one rewrite of the hive) each.
void WriteShared(const std::wstring& prefix) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Shared", &key), ERROR_SUCCESS);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(key.SetValue(prefix + std::to_wstring(i), RegValue::Dword(1)), ERROR_SUCCESS);
}

// Run as a child process by the test below; a no-op in a normal run.
TEST_F(RegistryFile, WriterProcess) {
  std::wstring prefix = platform::GetEnvironmentValue(L"PELORANT_TEST_WRITER");
  if (prefix.empty()) GTEST_SKIP() << "only run as a child of ProcessesWritingAtOnceKeepEveryValue";
  platformtest::ScopedEnv dir(L"PELORANT_REGISTRY", platform::GetEnvironmentValue(L"PELORANT_TEST_WRITER_DIR"));
  WriteShared(prefix);
}

TEST_F(RegistryFile, ProcessesWritingAtOnceKeepEveryValue) {
  const std::string child = "PELORANT_TEST_WRITER_DIR='" + mDir.path().string() + "' timeout 120 '" +
                            platform::ToUtf8(platform::ModuleFilePath()) +
                            "' --gtest_filter=RegistryFile.WriterProcess >/dev/null 2>&1";
  std::vector<std::future<int>> children;
  for (std::string prefix : {"child0_", "child1_"}) {
    children.push_back(std::async(
        std::launch::async, [=] { return std::system(("PELORANT_TEST_WRITER=" + prefix + " " + child).c_str()); }));
  }
  WriteShared(L"parent_");
  for (auto& status : children) EXPECT_EQ(status.get(), 0);
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, L"Shared", false, &key), ERROR_SUCCESS);
  std::vector<std::wstring> names;
  ASSERT_EQ(key.EnumValues(&names), ERROR_SUCCESS);
  EXPECT_EQ(names.size(), 90u);
}

}  // namespace
