// The system services contract: the same expectations hold for the Win32
// implementation (under Wine) and the posix stand-ins.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "src/platform/Display.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"

namespace {

using platformtest::ScopedEnv;
using testsupport::TempDir;

// True where the platform layer stands in for Windows (posix); the few
// expectations that only make sense there are guarded by it.
bool StandsIn() { return !platform::RegistryHiveFile(platform::Hive::CurrentUser).empty(); }

bool EndsWithSeparator(const std::wstring& s) { return !s.empty() && (s.back() == L'\\' || s.back() == L'/'); }

// The code belongs to the calling thread, and looking a text up does not
// change the code being reported.
TEST(LastErrorContract, CodeBelongsToTheCallingThreadAndHasASystemText) {
  platform::SetLastErrorCode(1223);
  DWORD initial = 99;
  std::thread([&] {
    initial = platform::GetLastErrorCode();
    platform::SetLastErrorCode(5);
  }).join();
  EXPECT_EQ(initial, 0u);
  EXPECT_NE(platform::GetLastErrorCode(), 5u);
  platform::SetLastErrorCode(5);
  EXPECT_FALSE(platform::SystemErrorText(ERROR_FILE_NOT_FOUND).empty());
  EXPECT_FALSE(platform::SystemErrorText(ERROR_ACCESS_DENIED).empty());
  EXPECT_NE(platform::SystemErrorText(ERROR_FILE_NOT_FOUND), platform::SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(platform::SystemErrorText(0x1FFFFFFFu).empty());
  EXPECT_EQ(platform::GetLastErrorCode(), 5u);
  platform::SetLastErrorCode(0);
  EXPECT_EQ(platform::GetLastErrorCode(), 0u);
}

// The well-known folders, and paths joined with one separator.
TEST(FoldersContract, WellKnownFoldersAndJoinedPaths) {
  std::wstring temp = platform::TempFolder();
  EXPECT_TRUE(EndsWithSeparator(temp)) << platform::ToUtf8(temp);
  EXPECT_TRUE(platform::PathExists(temp));
  EXPECT_FALSE(platform::RoamingAppDataFolder().empty());
  EXPECT_FALSE(EndsWithSeparator(platform::RoamingAppDataFolder()));

  std::wstring folder = platform::ModuleFolder();
  std::wstring file = platform::ModuleFilePath();
  EXPECT_TRUE(EndsWithSeparator(folder));
  ASSERT_GT(file.size(), folder.size());
  EXPECT_EQ(file.substr(0, folder.size()), folder);
  EXPECT_NE(platform::AsciiLower(file).find(L"test_platform"), std::wstring::npos) << platform::ToUtf8(file);
  EXPECT_TRUE(platform::PathExists(file));

  wchar_t sep = platform::PathSeparator();
  std::wstring s(1, sep);
  EXPECT_EQ(platform::JoinPath(L"dir", L"TVPPAddinsLog0.txt"), L"dir" + s + L"TVPPAddinsLog0.txt");
  EXPECT_EQ(platform::JoinPath(L"dir" + s, L"x"), L"dir" + s + L"x");
  EXPECT_EQ(platform::JoinPath(L"", L"x"), L"x");
  EXPECT_EQ(platform::JoinPath(L"dir", L""), L"dir");
}

TEST(FoldersContract, CreateFolderTreeReportsWhatHappened) {
  TempDir dir;
  std::wstring sep(1, platform::PathSeparator());
  std::wstring deep = dir.wpath() + sep + L"Talvoren" + sep + L"AddinLog" + sep + L"deeper";
  EXPECT_EQ(platform::CreateFolderTree(deep), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(deep)));
  EXPECT_EQ(platform::CreateFolderTree(deep), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(platform::GetLastErrorCode(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  std::wstring file = dir.wpath() + sep + L"plain.txt";
  std::ofstream(std::filesystem::path(file)) << "x";
  EXPECT_EQ(platform::CreateFolderTree(file), static_cast<DWORD>(ERROR_FILE_EXISTS));
  // Below a file, and on a drive that does not exist (a log folder copied
  // from another machine): an error, never a folder made somewhere else.
  for (const std::wstring& bad : {file + sep + L"sub", std::wstring(L"Q:\\Talvoren\\AddinLog")}) {
    const DWORD rc = platform::CreateFolderTree(bad);
    EXPECT_TRUE(rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS) << rc << " " << platform::ToUtf8(bad);
    EXPECT_FALSE(platform::PathExists(bad));
  }
}

// References expand like Windows'; a variable removed expands no more.
TEST(EnvironmentContract, SetExpandAndRemoveVariables) {
  {
    ScopedEnv var(L"PELORANT_TEST_DIR", L"/d\x65E5");
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"%PELORANT_TEST_DIR%\\Talvoren", L"/d\x65E5\\Talvoren"}, {L"%pelorant_test_dir%", L"/d\x65E5"},
        {L"%PELORANT_NO_SUCH_VAR%\\x", L"%PELORANT_NO_SUCH_VAR%\\x"}, {L"100% sure", L"100% sure"}, {L"a%%b", L"a%%b"},
        {L"%PELORANT_NO_SUCH_VAR%PELORANT_TEST_DIR%", L"%PELORANT_NO_SUCH_VAR%PELORANT_TEST_DIR%"},
        {L"%PELORANT_NO_SUCH_VAR%%PELORANT_TEST_DIR%", L"%PELORANT_NO_SUCH_VAR%/d\x65E5"}};
    for (auto [in, out] : cases) EXPECT_EQ(platform::ExpandEnvironment(in), out) << platform::ToUtf8(in);
    EXPECT_EQ(platform::GetEnvironmentValue(L"PELORANT_TEST_DIR"), L"/d\x65E5");
  }
  EXPECT_EQ(platform::GetEnvironmentValue(L"PELORANT_TEST_DIR"), L"");
  EXPECT_EQ(platform::ExpandEnvironment(L"%PELORANT_TEST_DIR%"), L"%PELORANT_TEST_DIR%");

  std::wstring folder = platform::TempFolder();
  folder.pop_back();
  EXPECT_EQ(platform::NormalizePath(platform::ExpandEnvironment(L"%temp%")), platform::NormalizePath(folder));
}

TEST(CodePageContract, ConvertsBothWaysAndRefusesUnknownPages) {
  const std::tuple<unsigned, std::wstring, std::string> samples[] = {
      {932, L"\x65E5\x672C\x8A9E ABC \xFF71", "\x93\xFA\x96\x7B\x8C\xEA ABC \xB1"},
      {874, L"\x0E01\x0E02", "\xA1\xA2"}, {936, L"\x4E2D\x6587", "\xD6\xD0\xCE\xC4"},
      {949, L"\xD55C\xAE00", "\xC7\xD1\xB1\xDB"}, {950, L"\x4E2D\x6587", "\xA4\xA4\xA4\xE5"},
      {1250, L"\x0159\x0161", "\xF8\x9A"}, {1251, L"\x041F\x0440\x0438", "\xCF\xF0\xE8"},
      {1252, L"\x00E9\x20AC", "\xE9\x80"}, {1253, L"\x03B1\x03B2", "\xE1\xE2"}, {1254, L"\x011F\x015F", "\xF0\xFE"},
      {1255, L"\x05D0\x05D1", "\xE0\xE1"}, {1256, L"\x0639", "\xDA"}, {1257, L"\x0101\x0113", "\xE2\xE7"},
      {1258, L"\x0111\x01B0", "\xF0\xFD"}, {65001, L"\x65E5", "\xE6\x97\xA5"}};
  for (const auto& [page, text, bytes] : samples) {
    SCOPED_TRACE(page);
    ASSERT_TRUE(platform::IsCodePageSupported(page));
    std::string encoded;
    ASSERT_TRUE(platform::WideToMultiByte(page, text, &encoded));
    EXPECT_EQ(encoded, bytes);
    std::wstring decoded;
    ASSERT_TRUE(platform::MultiByteToWide(page, bytes, &decoded));
    EXPECT_EQ(decoded, text);
  }
  // A character the page lacks becomes "?"; an unknown page converts nothing.
  std::string bytes;
  ASSERT_TRUE(platform::WideToMultiByte(932, std::wstring(L"a\x0E01") + L"b", &bytes));
  EXPECT_EQ(bytes, "a?b");
  ASSERT_TRUE(platform::WideToMultiByte(932, L"", &bytes));
  EXPECT_EQ(bytes, "");
  std::wstring text;
  EXPECT_FALSE(platform::MultiByteToWide(12345, "abc", &text));
  EXPECT_FALSE(platform::WideToMultiByte(12345, L"abc", &bytes));
  EXPECT_FALSE(platform::IsCodePageSupported(12345));
  // A lead byte at the end of the input is not silently dropped with the
  // rest of the text.
  ASSERT_TRUE(platform::MultiByteToWide(932, "ab\x93", &text));
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(0, 2), L"ab");
}

// Each language's ANSI code page, and locale names to language ids.
TEST(LanguageContract, DefaultAnsiCodePagesAndLocaleNames) {
  const std::pair<LANGID, unsigned> cases[] = {{1041, 932},  {1033, 1252}, {2057, 1252}, {2052, 936},  {4100, 936},
                                               {1028, 950},  {1042, 949},  {1054, 874},  {1029, 1250}, {1049, 1251},
                                               {1032, 1253}, {1055, 1254}, {1037, 1255}, {1025, 1256}, {1063, 1257},
                                               {1066, 1258}, {3082, 1252}};
  for (auto [lang, page] : cases) EXPECT_EQ(platform::DefaultAnsiCodePage(lang), page) << lang;
  // "de-LI": an unlisted country gives the language's default.
  const std::pair<const char*, int> names[] = {{"ja_JP.UTF-8", 1041}, {"en_US", 1033},      {"en_GB.utf8", 2057},
                                               {"C", 1033},           {"POSIX", 1033},      {"zh_TW.Big5", 1028},
                                               {"zh_SG", 4100},       {"es_ES@euro", 3082}, {"de", 1031},
                                               {"de-LI", 1031},       {"xx_YY", 0},         {"", 0}};
  for (auto [name, id] : names) EXPECT_EQ(platform::LangIdFromLocaleName(name), id) << '"' << name << '"';
}

TEST(LanguageContract, SystemDefaultLanguage) {
  EXPECT_NE(platform::SystemDefaultLangId(), 0);
  if (!StandsIn()) return;  // Windows takes it from the system, not the environment
  // LC_ALL first, then LC_MESSAGES, then LANG; "C" and unknown names are English.
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, LANGID> cases[] = {
      {L"ja_JP.UTF-8", L"", L"en_US.UTF-8", 1041}, {L"", L"", L"ja_JP.UTF-8", 1041},
      {L"", L"ko_KR.UTF-8", L"en_US.UTF-8", 1042}, {L"", L"C", L"en_US.UTF-8", 1033},
      {L"", L"xx_YY", L"en_US.UTF-8", 1033}};
  for (auto [all, messages, lang, id] : cases) {
    ScopedEnv a(L"LC_ALL", all), m(L"LC_MESSAGES", messages), l(L"LANG", lang);
    EXPECT_EQ(platform::SystemDefaultLangId(), id) << platform::ToUtf8(all) << platform::ToUtf8(messages);
  }
}

TEST(MessageBoxContract, DefaultButtonOfEachButtonSet) {
  const std::pair<unsigned, int> cases[] = {{MB_OK | MB_ICONERROR, IDOK}, {MB_OKCANCEL, IDOK},
                                            {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL}, {MB_YESNO, IDYES},
                                            {MB_YESNO | MB_DEFBUTTON2, IDNO}, {MB_YESNOCANCEL | 0x200, IDCANCEL}};
  for (auto [style, button] : cases) EXPECT_EQ(platform::DefaultButton(style), button) << std::hex << style;
}

TEST(FilesContract, DeleteFileAtRemovesAFileAndKeepsTheErrorCode) {
  TempDir dir;
  std::wstring file = platform::JoinPath(dir.wpath(), L"copy.pptm");
  std::ofstream(std::filesystem::path(dir.path()) / "copy.pptm") << "x";
  ASSERT_TRUE(platform::PathExists(file));
  platform::SetLastErrorCode(1223);
  EXPECT_TRUE(platform::DeleteFileAt(file));
  EXPECT_FALSE(platform::PathExists(file));
  // A file that is already gone is what the caller wanted.
  EXPECT_TRUE(platform::DeleteFileAt(file));
  EXPECT_EQ(platform::GetLastErrorCode(), 1223u);
  // A folder is no file.
  EXPECT_FALSE(platform::DeleteFileAt(dir.wpath()));
}

// A work area and pixels per inch the window arrangement can convert to
// points, on the real screen and the virtual one.
TEST(DisplayContract, TheScreenHasAnAreaAndADensity) {
  platform::ScreenInfo info;
  ASSERT_TRUE(platform::GetScreenInfo(&info));
  EXPECT_GT(info.dpiX, 0);
  EXPECT_GT(info.dpiY, 0);
  EXPECT_GT(info.workArea.width, 0);
  EXPECT_GT(info.workArea.height, 0);
  platform::ScreenRect frame;
  if (!StandsIn()) {  // the stand-in answers for any frame
    EXPECT_FALSE(platform::GetFrameClientArea(L"PelorantNoSuchFrameClass", &frame));
  }
}

}  // namespace
