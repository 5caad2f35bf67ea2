// The system services on both platforms: the same expectations hold for the
// Win32 implementation (under Wine) and the posix stand-ins.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "src/platform/Clipboard.h"
#include "src/platform/ComError.h"
#include "src/platform/ConsoleMessageBox.h"
#include "src/platform/Display.h"
#include "src/platform/Files.h"
#include "src/platform/Fonts.h"
#include "src/platform/MessagePump.h"
#include "src/platform/Registry.h"
#include "src/platform/ResourceModules.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"
#include "tests/support/SupportTestPaths.h"

using namespace platform;
using platformtest::ScopedEnv;
using testsupport::TempDir;

namespace {

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
TEST(FoldersContract, WellKnownFoldersJoinedPathsAndFolderTrees) {
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

  const std::wstring sep(1, platform::PathSeparator());
  EXPECT_EQ(JoinPath(L"dir", L"Log0.txt") + L"|" + JoinPath(L"dir" + sep, L"x") + L"|" + JoinPath(L"", L"x") + L"|" +
                JoinPath(L"dir", L""),
            L"dir" + sep + L"Log0.txt|dir" + sep + L"x|x|dir");

  TempDir dir;
  std::wstring deep = dir.wpath() + sep + L"Talvoren" + sep + L"AddinLog" + sep + L"deeper";
  EXPECT_EQ(platform::CreateFolderTree(deep), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(deep)));
  EXPECT_EQ(platform::CreateFolderTree(deep), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(platform::GetLastErrorCode(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  std::wstring plain = dir.wpath() + sep + L"plain.txt";
  std::ofstream(std::filesystem::path(plain)) << "x";
  EXPECT_EQ(platform::CreateFolderTree(plain), static_cast<DWORD>(ERROR_FILE_EXISTS));
  // Below a file, and on a drive that does not exist (a log folder copied
  // from another machine): an error, never a folder made somewhere else.
  for (const std::wstring& bad : {plain + sep + L"sub", std::wstring(L"Q:\\Talvoren\\AddinLog")}) {
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

  EXPECT_NE(platform::SystemDefaultLangId(), 0);
  if (!StandsIn()) return;  // Windows takes it from the system, not the environment
  // LC_ALL first, then LC_MESSAGES, then LANG; "C" and unknown names are English.
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, LANGID> environments[] = {
      {L"ja_JP.UTF-8", L"", L"en_US.UTF-8", 1041}, {L"", L"", L"ja_JP.UTF-8", 1041},
      {L"", L"ko_KR.UTF-8", L"en_US.UTF-8", 1042}, {L"", L"C", L"en_US.UTF-8", 1033},
      {L"", L"xx_YY", L"en_US.UTF-8", 1033}};
  for (auto [all, messages, lang, id] : environments) {
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
  EXPECT_TRUE(info.dpiX > 0 && info.dpiY > 0 && info.workArea.width > 0 && info.workArea.height > 0)
      << info.dpiX << " " << info.dpiY << " " << info.workArea.width << "x" << info.workArea.height;
  platform::ScreenRect frame;
  // The stand-in answers for any frame.
  EXPECT_TRUE(StandsIn() || !platform::GetFrameClientArea(L"PelorantNoSuchFrameClass", &frame));
}

TEST(Strings, Utf8AndUtf16KeepEveryPlaneAndReplaceWhatIsBroken) {
  std::wstring text = L"A\u00e9\u65e5\u672c";
  text += FromUtf8("\xF0\x9F\x98\x80");  // outside the basic plane
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(text), "A\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80");
  // Broken UTF-8 becomes replacement characters, not loss.
  EXPECT_EQ(FromUtf8("a\xC3"), std::wstring(L"a\uFFFD"));
  EXPECT_EQ(FromUtf8("\xE6\x97z"), std::wstring(L"\uFFFD\uFFFDz"));
  EXPECT_EQ(FromUtf8("\xC0\xAF"), std::wstring(L"\uFFFD"));  // overlong slash

  // Library and system errors carry UTF-8 in what(); a host error says its
  // own description, and its code when it has none.
  EXPECT_EQ(ExceptionText(std::runtime_error("caf\xC3\xA9 \xE6\x97\xA5")), L"caf\u00e9 \u65e5");
  EXPECT_EQ(ExceptionText(ComError(E_FAIL, L"na\u00efve")), L"na\u00efve");
  EXPECT_EQ(ExceptionText(ComError(E_FAIL)), L"HRESULT 0x80004005");

  std::string bytes(
      "\x3D\xD8\x00\xDE"
      "A\x00",
      6);  // U+1F600, 'A'
  std::wstring w = FromUtf16Le(bytes);
  EXPECT_EQ(ToUtf8(w),
            "\xF0\x9F\x98\x80"
            "A");
  EXPECT_EQ(ToUtf16Le(w), bytes);
  EXPECT_EQ(FromUtf16Le(std::string("A\x00\x41", 3)), std::wstring(L"A\uFFFD"));
}

TEST(Strings, CaseAndCharacterClassesIgnoreTheProcessLocale) {
  EXPECT_TRUE(EqualsNoCase(L"Software\\Talvoren", L"SOFTWARE\\talvoren"));
  EXPECT_FALSE(EqualsNoCase(L"\u00c9", L"\u00e9"));
  EXPECT_EQ(AsciiLower(L"RegV1\\PowerPoint"), L"regv1\\powerpoint");

  // The program often runs under the "C" locale; letters outside ASCII must
  // still be letters there.
  const char* old = setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  setlocale(LC_ALL, "C");
  // Letter or digit, white space, punctuation.
  const std::tuple<wchar_t, bool, bool, bool> cases[] = {
      {L'\u00f1', true, false, false}, {L'\u65e5', true, false, false}, {L'7', true, false, false},
      {L'.', false, false, true},      {L' ', false, true, false},      {L'\u3000', false, true, false},
      {L'\t', false, true, false},     {L'\u00bf', false, false, true}, {L'\u3002', false, false, true},
      {L'\u00e9', true, false, false}};
  for (auto [c, alnum, space, punct] : cases) {
    EXPECT_EQ(IsAlphaNumeric(c), alnum) << static_cast<int>(c);
    EXPECT_EQ(IsWhiteSpace(c), space) << static_cast<int>(c);
    EXPECT_EQ(IsPunctuation(c), punct) << static_cast<int>(c);
  }
  setlocale(LC_ALL, saved.c_str());
}

constexpr int kCharsets[] = {0, 128, 129, 134, 136, 204, 238};

// Each list is sorted, unique, and every font in it counts as installed for
// its character set only; unknown names never do; names compare without case.
TEST(FontsContract, ListsAreSortedUniqueAndHoldOnlyInstalledFontsAndTheirAliases) {
  FontCatalog& fonts = SystemFontCatalog();
  for (int charset : kCharsets) {
    SCOPED_TRACE(charset);
    std::vector<std::wstring> list = fonts.InstalledFonts(charset);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
    for (const auto& name : list) EXPECT_TRUE(fonts.IsInstalled(name, charset)) << ToUtf8(name);
    EXPECT_FALSE(fonts.IsInstalled(L"Pelorant Missing Face 42", charset));
    EXPECT_FALSE(fonts.IsInstalled(L"", charset));
  }
  std::vector<std::wstring> western = fonts.InstalledFonts(0);
  ASSERT_FALSE(western.empty()) << "every system has a TrueType font for Western text";
  std::wstring upper = western.front();
  for (auto& c : upper) c = c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c;
  EXPECT_TRUE(fonts.IsInstalled(upper, 0));
  // A Western-only font does not count for Japanese.
  std::vector<std::wstring> japanese = fonts.InstalledFonts(128);
  auto outside = std::find_if(western.begin(), western.end(), [&](const std::wstring& name) {
    return std::find(japanese.begin(), japanese.end(), name) == japanese.end();
  });
  if (outside != western.end()) {
    EXPECT_FALSE(fonts.IsInstalled(*outside, 128)) << ToUtf8(*outside);
  }
  // On Linux the fontconfig aliases make metric-compatible families count
  // as installed.
  if (PathSeparator() == L'/' && std::find(western.begin(), western.end(), L"Liberation Sans") != western.end()) {
    EXPECT_TRUE(fonts.IsInstalled(L"Arial", 0));
    EXPECT_FALSE(fonts.IsInstalled(L"Arial", 128)) << "Liberation Sans has no Japanese";
  }
}


// Runs on a thread of its own so that no test sees another's leftovers,
// within a time limit (a wait that never wakes ends the run).
template <typename F>
void OnFreshThread(F body) {
  platformtest::ReturnsWithin(std::chrono::seconds(60), "the message-queue test", body);
}

// Tasks posted from another thread wait for the owner and run there in
// order; one dispatch runs one task, a drain also runs what tasks queue
// while it drains, and a task that throws stops neither; a wait without
// limit wakes for a task posted later.
TEST(MessagePumpContract, TasksRunInOrderOnTheOwnerAndPostingToNoThreadOrAnEndedOneFails) {
  OnFreshThread([] {
    MessageThreadId self = CurrentMessageThread();
    ASSERT_NE(self, 0u);
    EXPECT_FALSE(WaitAndDispatchMessage(0));
    EXPECT_FALSE(WaitAndDispatchMessage(5));
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread poster([&] {
      for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(PostThreadTask(self, [&order, &ranOn, i] {
          order.push_back(i);
          ranOn = std::this_thread::get_id();
        }));
      ASSERT_TRUE(PostThreadTask(self, [&] {
        order.push_back(3);
        PostThreadTask(self, [&] { order.push_back(5); });
        throw std::runtime_error("boom");
      }));
      ASSERT_TRUE(PostThreadTask(self, [&] { order.push_back(4); }));
    });
    poster.join();
    EXPECT_TRUE(order.empty()) << "tasks must wait until the owner drains";
    EXPECT_TRUE(DispatchOneMessage());
    EXPECT_EQ(order, std::vector<int>{0});
    EXPECT_EQ(DrainMessageQueue(), 5);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(DrainMessageQueue(), 0);
    EXPECT_FALSE(DispatchOneMessage());

    std::thread later([&] {
      SleepMilliseconds(20);
      PostThreadTask(self, [&] { order.push_back(6); });
    });
    EXPECT_TRUE(WaitAndDispatchMessage(-1));
    EXPECT_EQ(order.back(), 6);
    later.join();
  });

  EXPECT_FALSE(PostThreadTask(0, [] {}));
  MessageThreadId ended = 0;
  OnFreshThread([&] { ended = CurrentMessageThread(); });
  ASSERT_NE(ended, 0u);
  bool ran = false;
  EXPECT_FALSE(PostThreadTask(ended, [&] { ran = true; }));
  EXPECT_FALSE(ran);
  // Each thread has its own queue.
  OnFreshThread([] {
    MessageThreadId mine = CurrentMessageThread();
    MessageThreadId other = 0;
    OnFreshThread([&] { other = CurrentMessageThread(); });
    EXPECT_NE(mine, other);
    EXPECT_EQ(mine, CurrentMessageThread());
  });
}

struct FakeConsole {
  std::string written;
  std::deque<std::string> answers;
  int reads = 0;
  platform::ConsoleIo io;

  explicit FakeConsole(bool interactive, std::string preset = {}) {
    io.write = [this](const std::string& s) { written += s; };
    io.readLine = [this](std::string* line) {
      ++reads;
      if (answers.empty()) return false;
      *line = answers.front();
      answers.pop_front();
      return true;
    };
    io.interactive = interactive;
    io.presetAnswer = std::move(preset);
  }
};

// A box with one button shows its icon kind, caption and text, one line
// each, and asks nothing even at a terminal.
TEST(ConsoleMessageBox, PlainBoxesAskNothingAndQuestionsTakeThePresetTheTerminalOrTheDefault) {
  const std::tuple<unsigned, const wchar_t*, const char*> cases[] = {
      {MB_OK | MB_ICONERROR, L"Caption", "[error] Caption\nFirst line\nSecond line\n"},
      {MB_ICONEXCLAMATION, L"C", "[warning] C\nFirst line\nSecond line\n"},
      {MB_OK | MB_ICONINFORMATION, L"C", "[information] C\nFirst line\nSecond line\n"},
      {MB_OK, L"", "[message]\nFirst line\nSecond line\n"}};
  for (auto [style, caption, written] : cases) {
    FakeConsole c(true);
    c.answers = {"no"};
    EXPECT_EQ(platform::ConsoleMessageBox({L"First line\r\nSecond line", caption, style, 1041}, c.io), IDOK);
    EXPECT_EQ(c.reads, 0);
    EXPECT_EQ(c.written, written);
  }

  // The preset answer wins over the terminal, and one preset serves every
  // button set; an answer typed at the terminal is asked for again until it
  // fits; an unusable preset, the end of input or no terminal take the default.
  struct Case {
    bool interactive;
    const char* preset;
    std::deque<std::string> typed;
    unsigned style;
    int answer;
    int reads;
    const char* said;
  };
  const unsigned question = MB_YESNO | MB_ICONQUESTION;
  const Case questions[] = {
      {true, "no", {"yes"}, question, IDNO, 0, "[question] Pelorant"},
      {false, " YES ", {}, question, IDYES, 0, ""},
      {false, "no", {}, MB_OKCANCEL, IDCANCEL, 0, ""},
      {false, "cancel", {}, MB_YESNOCANCEL, IDCANCEL, 0, ""},
      {false, "maybe", {}, question | MB_DEFBUTTON2, IDNO, 0, "PELORANT_ANSWER=\"maybe\" does not answer"},
      {false, "maybe", {}, question | MB_DEFBUTTON2, IDNO, 0, "default button, No"},
      {true, "", {"perhaps", "n"}, question, IDNO, 2, "[Y/n]"},
      {true, "", {""}, question | MB_DEFBUTTON2, IDNO, 1, "[y/N]"},
      {true, "", {}, question, IDYES, 1, "default button, Yes"},
      {false, "", {"no"}, question | MB_DEFBUTTON2, IDNO, 0, "PELORANT_ANSWER not set"},
  };
  for (const Case& c : questions) {
    FakeConsole console(c.interactive, c.preset);
    console.answers = c.typed;
    EXPECT_EQ(platform::ConsoleMessageBox({L"Delete the key?", L"Pelorant", c.style, 1033}, console.io), c.answer)
        << c.preset << " " << c.reads;
    EXPECT_EQ(console.reads, c.reads) << c.preset;
    EXPECT_NE(console.written.find(c.said), std::string::npos) << console.written;
  }
}

// The clipboard service on both platforms: on Linux against the per-user file
// stand-in, under Wine against the Windows clipboard.
class ClipboardContract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ClipboardEntry> probe;
    if (!platform::ReadClipboard(&probe)) GTEST_SKIP() << "no clipboard in this session";
  }
  testsupport::TempDir dir;
  platformtest::ScopedEnv file{L"PELORANT_CLIPBOARD_FILE", (dir.path() / "clipboard").wstring()};
};

TEST_F(ClipboardContract, WhatIsWrittenIsReadBackAndEmptyingClearsIt) {
  const unsigned html = platform::RegisterClipboardFormatName(L"HTML Format");
  EXPECT_NE(html, 0u);
  EXPECT_EQ(platform::RegisterClipboardFormatName(L"HTML Format"), html);
  EXPECT_NE(platform::RegisterClipboardFormatName(L"Rich Text Format"), html);

  std::string text = platform::ToUtf16Le(L"Grüße\r\n日本") + std::string(2, '\0');
  // Binary data with newlines and NULs must come back byte for byte.
  const std::vector<ClipboardEntry> entries{{platform::kCfUnicodeText, text},
                                            {html, std::string("<b>x</b>\n\0tail\n", 15)}};
  ASSERT_TRUE(platform::WriteClipboard(entries));
  std::vector<ClipboardEntry> read;
  ASSERT_TRUE(platform::ReadClipboard(&read));
  for (const ClipboardEntry& e : read) {
    // The system may round blocks up; what was written leads.
    if (e.format == platform::kCfUnicodeText) {
      EXPECT_EQ(e.data.substr(0, text.size()), text);
    } else if (e.format == html) {
      EXPECT_EQ(e.data.substr(0, 15), entries[1].data);
    }
  }
  EXPECT_EQ(std::count_if(read.begin(), read.end(), [&](const auto& e) { return e.format == html; }), 1);

  ASSERT_TRUE(platform::WriteClipboard({}));
  ASSERT_TRUE(platform::ReadClipboard(&read));
  EXPECT_TRUE(read.empty());
}

TEST_F(ClipboardContract, APictureTravelsAsDibAndDamagedDibsAndStandInsAreRefused) {
  platform::Picture picture{3, 2, {0xFF102030u, 0xFF405060u, 0xFF708090u, 0xFFA0B0C0u, 0xFFD0E0F0u, 0xFF000000u}};
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfDib, platform::DibFromPicture(picture)}}));
  std::vector<ClipboardEntry> read;
  ASSERT_TRUE(platform::ReadClipboard(&read));
  auto dib = std::find_if(read.begin(), read.end(), [](const auto& e) { return e.format == platform::kCfDib; });
  ASSERT_NE(dib, read.end());
  platform::Picture back;
  ASSERT_TRUE(platform::PictureFromDib(dib->data, &back));
  EXPECT_EQ(std::make_pair(back.width, back.height), std::make_pair(3, 2));
  EXPECT_EQ(back.pixels, picture.pixels);

  const std::string good = platform::DibFromPicture(picture);
  auto with = [&](size_t at, char value) {
    std::string d = good;
    d[at] = value;
    return d;
  };
  const struct {
    const char* what;
    std::string dib;
  } bad[] = {
      {"shorter than its header", good.substr(0, 39)},
      {"rows missing", good.substr(0, good.size() - 1)},
      {"8 bits a pixel", with(14, 8)},
      {"compressed", with(16, 1)},
      {"no width", with(4, 0)},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    platform::Picture untouched = picture;
    EXPECT_FALSE(platform::PictureFromDib(b.dib, &untouched));
    EXPECT_EQ(untouched.pixels, picture.pixels);
  }

  if (platform::ClipboardKind() != L"file") return;  // only the file stand-in has a file
  for (const std::string& damaged :
       {std::string("something else\n"), std::string("PELORANT-CLIPBOARD 1\n13 - 999\nshort\n"),
        std::string("PELORANT-CLIPBOARD 1\n13 - 2\nabc")}) {
    std::ofstream(dir.path() / "clipboard", std::ios::binary) << damaged;
    std::vector<ClipboardEntry> read{{1, "before"}};
    EXPECT_FALSE(platform::ReadClipboard(&read));
    EXPECT_EQ(read.size(), 1u);
    std::ifstream in(dir.path() / "clipboard", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
  }
}

// The module the build makes, read from a copy in a folder whose name is not
// ASCII (user profiles often are not): its strings by id, and its version
// block, which lacks some standard values; reading it is no failure of the
// caller's, whose last-error code stays as it was.
TEST(ResourceModuleContract, ReadsStringsAndVersionBlockFromAUnicodeFolder) {
  const std::wstring built = supporttest::BuiltEnglishModule();
  ASSERT_FALSE(built.empty()) << "build the OfficeAddInRes1033 target first";
  testsupport::TempDir dir;
  std::filesystem::path folder = dir.path() / platform::NativePath(L"\x30E2\x30B8\x30E5\x30FC\x30EB \x00E9");
  std::filesystem::create_directories(folder);
  std::filesystem::path target = folder / platform::NativePath(built).filename();
  std::filesystem::copy_file(platform::NativePath(built), target);
  std::u8string utf8 = target.u8string();
  const std::wstring path = platform::FromUtf8(std::string(utf8.begin(), utf8.end()));

  auto module = ResourceModuleFile::Load(path);
  ASSERT_TRUE(module);
  std::wstring text;
  ASSERT_TRUE(module->ReadString(203, &text));
  EXPECT_EQ(text, L"PowerPoint Add-in Translation");
  ASSERT_TRUE(module->ReadString(2123, &text));
  EXPECT_NE(text.find(L"\"Mark as Final\""), std::wstring::npos) << "quotes survive the build";
  EXPECT_FALSE(module->ReadString(4999, &text));
  EXPECT_FALSE(module->ReadString(0, &text));
  EXPECT_TRUE(module->Free());
  EXPECT_FALSE(module->ReadString(203, &text));
  EXPECT_TRUE(module->Free()) << "freeing twice is harmless";

  VersionBlock block;
  platform::SetLastErrorCode(0);
  ASSERT_TRUE(ReadVersionBlock(path, &block));
  EXPECT_EQ(platform::GetLastErrorCode(), 0u);
  EXPECT_EQ(block.values[L"\\StringFileInfo\\040904b0\\InternalName"], L"OfficeAddInRes1033.dll");
}

TEST(ResourceModuleFiles, MissingFileOrOneThatIsNoModuleIsRefusedAndTheOwnBlockIsCompiledInOnLinux) {
  testsupport::TempDir dir;
  const std::wstring missing = platform::JoinPath(dir.wpath(), L"OfficeAddInRes1041" + platform::ResourceModuleExtension());
  const std::wstring junk = platform::JoinPath(dir.wpath(), L"OfficeAddInRes1033" + platform::ResourceModuleExtension());
  { std::ofstream(platform::NativePath(junk)) << "101\tnot a module\n"; }
  auto previous = platform::SetDiagnosticSink([](const std::wstring&) {});
  for (const std::wstring& path : {missing, junk}) {
    EXPECT_FALSE(ResourceModuleFile::Load(path));
    VersionBlock block;
    block.translation = L"stale";
    EXPECT_FALSE(ReadVersionBlock(path, &block));
    EXPECT_TRUE(block.empty());
  }
  platform::SetDiagnosticSink(previous);

  // Linux programs carry their resources compiled in; Windows reads the module
  // file itself, never the block compiled in.
  const std::wstring name = L"\\StringFileInfo\\040904b0\\ProductName";
  VersionBlock builtIn;
  builtIn.translation = L"040904b0";
  builtIn.values[name] = L"Built In";
  VersionBlock block;
  const bool found = platform::ReadOwnVersionBlock(builtIn, &block);
  const bool compiledIn = platform::ResourceModuleExtension() == L".res";
  EXPECT_EQ(found, compiledIn || !block.empty());
  EXPECT_EQ(block.values[name] == L"Built In", compiledIn);
}

}  // namespace
