#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <tuple>

#include "src/platform/Registry.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"
#include "src/support/AddinLogger.h"
#include "src/support/Log.h"
#include "tests/common/Bytes.h"

namespace {

using platform::Hive;
using platform::RegKey;
using platform::RegValue;
namespace fs = std::filesystem;

// Configured from the registry as it stands when the logger is made.
class FixedClockLogger : public support::AddinLogger {
 public:
  explicit FixedClockLogger(int hostKind = 3) { Initialize(hostKind); }

 protected:
  support::LogTime Now() const override { return support::LogTime{2013, 5, 7, 9, 3, 7, 45}; }
};

using testsupport::ReadBytes;
using testsupport::WriteBytes;

// The values the logger reads; tests remove them from both hives before and
// after running.
const wchar_t* const kLogValues[] = {L"OfficeAddinLog", L"LogLotationSize", L"PPLogFileName",
                                     L"LogFileName",    L"WordLogFileName", L"LogFileCount",
                                     L"LogLevel",       L"LogExtention",    L"LogFolderPath"};

// The add-in's key in the 32-bit view, where the logger reads it.
LONG OpenAddinKey(Hive hive, RegKey* out) {
  RegKey software;
  RegKey::Create(hive, L"SOFTWARE", &software);
  software.Close();
  LONG rc = RegKey::Open(hive, L"SOFTWARE", /*writable=*/true, &software, platform::RegView::Registry32);
  if (rc != ERROR_SUCCESS) return rc;
  return software.CreateSubkey(L"Talvoren\\OfficeAddIn", out);
}

// Each test has its own registry files (posix), its own log folder and its
// own temporary folder, so "%temp%" never points at the real one. On Windows
// the add-in's key is the real one of the Wine prefix, shared with other
// test programs that may run at the same time: only the log values are
// touched, never the key's other contents.
class AddinLoggerTest : public ::testing::Test {
 protected:
  AddinLoggerTest() { RemoveLogValues(); }
  ~AddinLoggerTest() override { RemoveLogValues(); }

  static void RemoveLogValues() {
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
      RegKey key;
      if (OpenAddinKey(hive, &key) != ERROR_SUCCESS) continue;
      for (const wchar_t* name : kLogValues) key.DeleteValue(name);
    }
  }

  void SetUser(const std::wstring& name, const RegValue& value) {
    RegKey key;
    ASSERT_EQ(OpenAddinKey(Hive::CurrentUser, &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetValue(name, value), ERROR_SUCCESS);
  }
  // Logging on, into this folder (this test's by default).
  void SwitchOn(const std::wstring& folder = {}) {
    SetUser(L"OfficeAddinLog", RegValue::Dword(1));
    SetUser(L"LogFolderPath", RegValue::String(folder.empty() ? mLogDir.wpath() : folder));
  }

  fs::path LogFile(const std::string& name) const { return mLogDir.path() / name; }
  size_t FileCount() const {
    size_t n = 0;
    for (auto& entry : fs::directory_iterator(mLogDir.path())) n += entry.is_regular_file() ? 1 : 0;
    return n;
  }

  testsupport::TempDir mRegistryDir;
  testsupport::TempDir mLogDir;
  testsupport::TempDir mTempDir;
  platformtest::ScopedEnv mRegistryEnv{L"PELORANT_REGISTRY", mRegistryDir.wpath()};
  platformtest::ScopedEnv mTmpDirEnv{L"TMPDIR", mTempDir.wpath()};
  platformtest::ScopedEnv mTempEnv{L"TEMP", mTempDir.wpath()};
  platformtest::ScopedEnv mTmpEnv{L"TMP", mTempDir.wpath()};
};

const std::string kLine = "2013/5/7 9:3:7.45  2000 GetTranslationOptions AddinApplication 574\r\n";

// Logging is off without the switch; the user's values win, even a switch of
// zero; machine values stand in for absent ones or ones of the wrong type or
// size; numbers are clamped; empty names take the generic ones, the host
// kind the default base name. Lines below the level are dropped; only a
// logger that writes a line makes a file.
TEST_F(AddinLoggerTest, SettingsComeFromBothHivesCheckedAndClamped) {
  const Hive user = Hive::CurrentUser, machine = Hive::LocalMachine;
  struct Setting { Hive hive; const wchar_t* name; RegValue value; };
  struct Case {
    const char* what;
    std::vector<Setting> settings;
    int level = 1001;
    unsigned count = 1;
    int rotation = 104857600;
    int kind = 3;  // of host
    const wchar_t* base = L"TVPPAddinsLog";
    const wchar_t* extension = L".txt";
  };
  const RegValue on = RegValue::Dword(1), off = RegValue::Dword(0), folder = RegValue::String(mLogDir.wpath());
  auto dword = [](std::uint32_t n) { return RegValue::Dword(n); };
  auto text = [](const wchar_t* s) { return RegValue::String(s); };
  // Switched on, into this test's folder, and more.
  auto with = [&](std::vector<Setting> more) {
    more.insert(more.begin(), {{user, L"OfficeAddinLog", on}, {user, L"LogFolderPath", folder}});
    return more;
  };
  const int kOff = support::AddinLogger::kOff;
  const Case cases[] = {
      {.what = "defaults", .settings = with({})},
      {.what = "no switch", .settings = {{user, L"LogFolderPath", folder}}, .level = kOff},
      {.what = "user zero wins",
       .settings = {{user, L"OfficeAddinLog", off}, {machine, L"OfficeAddinLog", on}, {user, L"LogFolderPath", folder}},
       .level = kOff},
      {.what = "machine values",
       .settings = {{user, L"OfficeAddinLog", text(L"1")}, {machine, L"OfficeAddinLog", on},
                    {machine, L"LogFolderPath", folder}, {machine, L"LogLevel", dword(3000)},
                    {user, L"LogExtention", dword(5)}},
       .level = 3000},
      {.what = "dwords of the wrong size",
       .settings = with({{user, L"LogLevel", RegValue::Bytes({0x01, 0x00}, platform::RegType::Dword)},
                         {user, L"LogFileCount", RegValue::Bytes({3, 0, 0, 0, 0, 0, 0, 0}, platform::RegType::Dword)},
                         {machine, L"LogFileCount", dword(4)}}),
       .count = 4},
      {.what = "clamped low",
       .settings = with({{user, L"LogLotationSize", dword(5)}, {user, L"LogFileCount", dword(20)},
                         {user, L"LogLevel", dword(0xFFFFFFFFu)}}),
       .level = kOff, .count = 9, .rotation = 100},
      {.what = "clamped high",
       .settings = with({{user, L"LogLotationSize", dword(0xFFFFFFFFu)}, {user, L"LogFileCount", dword(0)},
                         {user, L"LogLevel", dword(0)}}),
       .level = 0, .count = 0, .rotation = 2147483647},
      {.what = "above errors", .settings = with({{user, L"LogLevel", dword(4001)}}), .level = 4001},
      {.what = "empty names",
       .settings = with({{user, L"PPLogFileName", text(L"")}, {user, L"LogExtention", text(L"")},
                         {user, L"LogFileName", text(L"NotForPowerPoint")}}),
       .base = L"TVAddinsLog"},
      {.what = "own names",
       .settings = with({{user, L"PPLogFileName", text(L"Slides")}, {user, L"LogExtention", text(L".log")}}),
       .base = L"Slides", .extension = L".log"},
      {.what = "word", .settings = with({}), .kind = 1, .base = L"TVWordAddinsLog"},
      {.what = "word's own name", .settings = with({{user, L"WordLogFileName", text(L"WordOnly")}}), .kind = 1,
       .base = L"WordOnly"},
      {.what = "unknown host", .settings = with({}), .kind = 42, .base = L"TVAddinsLog"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& entry : fs::directory_iterator(mLogDir.path())) fs::remove(entry.path());
    // The row's values written, and once the logger has read them removed,
    // in one rewrite of each hive.
    auto change = [&](bool set) {
      for (Hive hive : {user, machine}) {
        platform::RegBatch batch(hive);
        RegKey key;
        ASSERT_EQ(OpenAddinKey(hive, &key), ERROR_SUCCESS);
        for (const Setting& s : c.settings) {
          if (s.hive == hive) set ? key.SetValue(s.name, s.value) : key.DeleteValue(s.name);
        }
        batch.Commit();
      }
    };
    change(true);
    FixedClockLogger logger(c.kind);
    change(false);
    logger.Initialize(c.kind);  // settings are read once: the values gone change nothing
    logger.Detail(L"d", L"src/engine/AppCommon.cpp", 1);
    logger.Error(L"e", L"src\\addin\\AddinMain.cpp", 4);
    EXPECT_EQ(std::tuple(logger.GetLevel(), logger.GetFileCount(), logger.GetRotationSize(), logger.GetExtension()),
              std::tuple(c.level, c.count, c.rotation, std::wstring(c.extension)));
    const std::string written = std::string(c.level <= 1000 ? "2013/5/7 9:3:7.45  1000 d AppCommon 1\r\n" : "") +
                                (c.level <= 4000 ? "2013/5/7 9:3:7.45  4000 e AddinMain 4\r\n" : "");
    EXPECT_EQ(FileCount(), written.empty() ? 0u : 1u);
    if (c.level == kOff) continue;
    EXPECT_EQ(std::tuple(logger.GetFolder(), logger.GetBaseName(), logger.GetCurrentPath()),
              std::tuple(mLogDir.wpath(), c.base,
                         platform::JoinPath(mLogDir.wpath(), c.base + std::wstring(L"0") + c.extension)));
    EXPECT_EQ(ReadBytes(logger.GetCurrentPath()), written);
  }
}

// The folder's environment references are expanded and it is made with its
// parents; a folder that cannot be made falls back to the temporary folder's
// default; without that either, logging turns off quietly.
TEST_F(AddinLoggerTest, FolderIsExpandedAndMadeOrFallsBackToTempDefaultOrLoggingTurnsOff) {
  platformtest::ScopedEnv env(L"PELORANT_LOGTEST", mLogDir.wpath());
  SwitchOn(L"%PELORANT_LOGTEST%\\nested\\deeper");
  FixedClockLogger nested;
  nested.Warning(L"\x7FFB\x8A33 ok", L"a.cpp", 1);  // 翻訳, written in code page 932
  EXPECT_EQ(ReadBytes(mLogDir.path() / "nested" / "deeper" / "TVPPAddinsLog0.txt"),
            "2013/5/7 9:3:7.45  3000 \x96\x7C\x96\xF3 ok a 1\r\n");

  const fs::path plain = mLogDir.path() / "plainfile";
  WriteBytes(plain, "x");
  SwitchOn((plain / "sub").wstring());
  FixedClockLogger logger;
  ASSERT_NE(logger.GetLevel(), support::AddinLogger::kOff);
  logger.Info(L"GetTranslationOptions", L"AddinApplication.cpp", 574);
  EXPECT_EQ(ReadBytes(mTempDir.path() / "Talvoren" / "AddinLog" / "TVPPAddinsLog0.txt"), kLine);

  platformtest::ScopedEnv tmpdir(L"TMPDIR", plain.wstring()), temp(L"TEMP", plain.wstring()), tmp(L"TMP", plain.wstring());
  FixedClockLogger off;
  EXPECT_EQ(off.GetLevel(), support::AddinLogger::kOff);
  off.Error(L"lost", L"a.cpp", 1);
  EXPECT_EQ(FileCount(), 1u);  // only the plain file
}

// A file over the size limit is shifted to the next number (the oldest one
// dropped) before a line is written; one exactly at the limit still takes
// the line; a count of zero never rotates.
TEST_F(AddinLoggerTest, RotationShiftsNumberedFilesOverTheLimit) {
  using Files = std::map<std::string, std::string>;
  struct Case { std::uint32_t count; Files before; int lines; Files after; };
  const std::string full(100, 'a');
  const Case cases[] = {
      {2, {{"0", full + "a"}, {"1", "one"}, {"2", "two"}}, 1, {{"0", kLine}, {"1", full + "a"}, {"2", "one"}}},
      {1, {{"0", full}}, 1, {{"0", full + kLine}}},
      {1, {{"0", full}}, 2, {{"0", kLine}, {"1", full + kLine}}},
      {0, {{"0", full + full}}, 1, {{"0", full + full + kLine}}},
  };
  SwitchOn();
  SetUser(L"LogLotationSize", RegValue::Dword(100));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " files, " << c.before.size() << " there, " << c.lines << " lines");
    for (const auto& entry : fs::directory_iterator(mLogDir.path())) fs::remove(entry.path());
    for (const auto& [n, text] : c.before) WriteBytes(LogFile("TVPPAddinsLog" + n + ".txt"), text);
    SetUser(L"LogFileCount", RegValue::Dword(c.count));
    FixedClockLogger logger;
    for (int i = 0; i < c.lines; ++i) logger.Info(L"GetTranslationOptions", L"AddinApplication.cpp", 574);
    for (const auto& [n, text] : c.after) EXPECT_EQ(ReadBytes(LogFile("TVPPAddinsLog" + n + ".txt")), text) << n;
    EXPECT_EQ(FileCount(), c.after.size());
  }
}

// Without leading zeros (the files the tests above read hold the short
// fields), an empty message, and a base name cut at its last dot.
TEST(AddinLoggerFormat, LineLayoutWithoutLeadingZerosAndTheLocalCalendarTime) {
  using support::AddinLogger;
  EXPECT_EQ(AddinLogger::FormatLine(support::LogTime{2026, 12, 31, 23, 59, 59, 999}, 4000, L"", L"dir.d/x.v2.h", 0),
            L"2026/12/31 23:59:59.999  4000  x.v2 0");
  // The source's base name without an extension, and cut at 256 characters.
  EXPECT_EQ(AddinLogger::SourceBaseName(L"Makefile"), L"Makefile");
  EXPECT_EQ(AddinLogger::SourceBaseName(std::wstring(300, L'n') + L".cpp"), std::wstring(256, L'n'));

  // The clock behind every line is the local calendar time, months from 1.
  struct RealClock : support::AddinLogger { using support::AddinLogger::Now; };
  auto today = [] {
    std::time_t t = std::time(nullptr);
    std::tm local = *std::localtime(&t);
    return std::tuple(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  };
  auto before = today();
  support::LogTime now = RealClock().Now();
  auto after = today();
  auto logged = std::tuple(now.year, now.month, now.day);
  EXPECT_TRUE(logged == before || logged == after) << now.year << "/" << now.month << "/" << now.day;
  EXPECT_TRUE(now.milliseconds >= 0 && now.milliseconds < 1000) << now.milliseconds;
}

// The process-wide logger behind the macros is configured by the first
// line of the process, so this runs in a process of its own, started fresh
// (not forked from one whose logger other tests have configured). The child
// checks what it wrote and answers with its exit code.
TEST_F(AddinLoggerTest, MacrosWriteThroughProcessLogger) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string problem;
        if (support::AddinLogger::Instance().IsInitialized())
          problem = "the logger was configured before the first line";
        SwitchOn();
        // Commands test the last-error code after they ran; logging on the
        // way, configuration and file creation included, must leave it be.
        platform::SetLastErrorCode(0);
        LOG_INFO(L"AddinMain:TranSheetClick", L"start");
        if (platform::GetLastErrorCode() != 0) problem = "the first line changed the last-error code";
        platform::SetLastErrorCode(1234);
        LOG_DETAIL(L"AddinMain:TranSheetClick", L"not at the default level");
        LOG_ERROR(L"", L"CreateMenu FAIL");
        if (platform::GetLastErrorCode() != 1234) problem = "a line changed the last-error code";
        std::string text = ReadBytes(LogFile("TVPPAddinsLog0.txt"));
        if (text.find("  2000 AddinMain:TranSheetClick start AddinLoggerTest ") == std::string::npos ||
            text.find("not at the default level") != std::string::npos ||
            text.find("  4000 CreateMenu FAIL AddinLoggerTest ") == std::string::npos)
          problem = "unexpected log:\n" + text;
        RemoveLogValues();
        for (const fs::path& dir : {mRegistryDir.path(), mLogDir.path(), mTempDir.path()}) {
          std::error_code ec;
          fs::remove_all(dir, ec);
        }
        std::fprintf(stderr, "%s", problem.empty() ? "logged as expected" : problem.c_str());
        std::fflush(stderr);
        std::_Exit(problem.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "logged as expected");
}

}  // namespace
