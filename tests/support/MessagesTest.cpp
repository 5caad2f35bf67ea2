// The messages the user reads: the error list that gathers and shows them,
// the resource modules their texts come from (the language's own, its
// fallback, or the compiled-in Japanese tables), and the version block.
#include <gtest/gtest.h>

#include <cctype>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "src/platform/Files.h"
#include "src/platform/ResourceModules.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"
#include "resources/OwnResources.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"
#include "tests/common/MessageBoxes.h"
#include "tests/common/Paths.h"
#include "tests/support/SupportTestPaths.h"

namespace {

constexpr unsigned kTopmost = 0x00040000;

const std::wstring kJapaneseFont = L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF";  // ＭＳ Ｐゴシック
const std::wstring kJapaneseTitle = L"PowerPoint\x30A2\x30C9\x30A4\x30F3\x7FFB\x8A33";  // PowerPointアドイン翻訳

bool IsTextModulePlatform() { return platform::ResourceModuleExtension() == L".res"; }

// The report block opens with a line of 25 hyphens.
const wchar_t* const kRule = L"-------------------------\r\n";
// A code no system has a text for.
constexpr DWORD kCodeWithoutText = 0x1FFFFFFFu;

// Every test starts from an empty list, display off, and a clean last-error
// code, and sees the message boxes instead of a terminal.
class ErrorListTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    support::ErrorList::SetDisplay(false);
    support::ErrorList::Clear();
  }

  testsupport::MessageBoxes mBoxes;
};

// The thousands digit of the id chooses the icon; the text is the heading
// alone, or heading, blank line and detail; entries are kept in order, as
// copies.
TEST_F(ErrorListTest, EntriesTakeIconAndTextFromTheirId) {
  struct Case { int id; const wchar_t* detail; int icon; };
  const Case cases[] = {{1301, L"", MB_ICONERROR},  {2001, L"why", MB_ICONEXCLAMATION}, {3001, L"", MB_ICONINFORMATION},
                        {4002, L"", 0},             {9001, L"", 0},                     {203, L"", 0},
                        {1999, L"only the detail", MB_ICONERROR}};  // 1999: an id without text
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    support::ErrorEntry e = support::ErrorList::Add(c.id, c.detail);
    const std::wstring heading = support::LoadText(c.id), detail = c.detail;
    EXPECT_EQ(std::tuple(e.mMessageId, e.mIcon, e.mHeading, e.mDetail, e.mFullText),
              std::tuple(c.id, c.icon, heading, detail, detail.empty() ? heading : heading + L"\r\n\r\n" + detail));
    EXPECT_EQ(heading.empty(), c.id == 1999);
  }
  auto entries = support::ErrorList::GetEntries();
  ASSERT_EQ(entries.size(), std::size(cases));
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].mMessageId, cases[i].id);
  EXPECT_EQ(support::ErrorList::GetEntry(1).mFullText, support::LoadText(2001) + L"\r\n\r\nwhy");
  EXPECT_EQ(support::ErrorList::GetEntry(-1).mMessageId, 0);
  // A clear empties the list and resets the last-error code; asking for an
  // error leaves the code alone.
  platform::SetLastErrorCode(5);
  ASSERT_TRUE(support::ErrorList::HasError());
  EXPECT_EQ(platform::GetLastErrorCode(), 5u);
  support::ErrorList::Clear();
  EXPECT_EQ(std::tuple(support::ErrorList::GetCount(), support::ErrorList::HasError(), platform::GetLastErrorCode()),
            std::tuple(0, false, 0u));
  // Past the end, also where an entry stood before the list was cleared.
  support::ErrorList::Add(1301);
  EXPECT_EQ(support::ErrorList::GetEntry(1).mMessageId, 0);
}

// Without display nothing is shown; with it each entry is shown at once with
// its icon: a failing command's message, then one report.
TEST_F(ErrorListTest, DisplayShowsAFailingCommandsMessageThenOneReport) {
  support::ErrorList::Add(1301);
  EXPECT_TRUE(mBoxes.requests.empty());
  support::ErrorList::SetDisplay(true);
  support::ErrorList::Clear();
  // The command fails with a system error and adds its specific message,
  // which leaves the pending code to the report.
  platform::SetLastErrorCode(2);
  support::ErrorList::Add(1302);
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(L"AddinMain:TranSheetClick");
  // The click's outer layers find the same code pending: no second report.
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(L"OfficeMenummnuTranSheet_Click");
  support::ErrorList::ErrorReportWithInfo(L"OfficeMenummnuTranSheet_Click", L"info");
  ASSERT_EQ(mBoxes.requests.size(), 2u);
  EXPECT_EQ(std::tuple(mBoxes.requests[0].text, mBoxes.requests[0].style),
            std::tuple(support::LoadText(1302), MB_ICONERROR | kTopmost));
  EXPECT_NE(mBoxes.requests[1].text.find(L"[Number]\r\n  2\r\n"), std::wstring::npos);
  EXPECT_NE(mBoxes.requests[1].text.find(L"AddinMain:TranSheetClick"), std::wstring::npos);
  // Another code, or the same one in the next command, is reported again.
  platform::SetLastErrorCode(5);
  support::ErrorList::ErrorReport(L"AddinMain:TranSheetClick");
  support::ErrorList::Clear();
  platform::SetLastErrorCode(5);
  support::ErrorList::ErrorReport(L"AddinMain:TranSheetClick");
  EXPECT_EQ(mBoxes.requests.size(), 4u);
}

// The report names the code (signed), the system's text of it or "(null)",
// the source, and under message 3001 up to ten texts up to the first empty
// one; it leaves the code in place.
TEST_F(ErrorListTest, ErrorReportNamesNumberSystemTextSourceAndInfo) {
  const std::wstring systemText = platform::SystemErrorText(2);
  ASSERT_FALSE(systemText.empty());
  const std::wstring failText = platform::SystemErrorText(0x80004005u);
  const std::wstring failMessage = failText.empty() ? L"(null)" : failText;
  const std::wstring null = L"\r\n[Message]\r\n  (null)\r\n[Source]\r\n  src";
  struct Case { DWORD code; std::vector<std::wstring> info; std::wstring detail; };
  const Case cases[] = {
      {2, {}, L"[Number]\r\n  2\r\n[Message]\r\n  " + systemText + L"\r\n[Source]\r\n  src"},
      {0x80004005u, {}, L"[Number]\r\n  -2147467259\r\n[Message]\r\n  " + failMessage + L"\r\n[Source]\r\n  src"},
      {kCodeWithoutText, {}, L"[Number]\r\n  536870911" + null},
      {kCodeWithoutText, {L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i", L"j", L"k", L"l"},
       L"[Number]\r\n  536870911" + null + L"\r\n[Info1] a\r\n[Info2] b\r\n[Info3] c\r\n[Info4] d\r\n[Info5] e"
           L"\r\n[Info6] f\r\n[Info7] g\r\n[Info8] h\r\n[Info9] i\r\n[Info10] j"},
      {kCodeWithoutText, {L"first", L"second", L"", L"never"},
       L"[Number]\r\n  536870911" + null + L"\r\n[Info1] first\r\n[Info2] second"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.code << " " << c.info.size());
    support::ErrorList::Clear();
    platform::SetLastErrorCode(c.code);
    if (c.info.empty()) {
      support::ErrorList::ErrorReport(L"src");
    } else {
      support::ErrorList::ErrorReportWithInfo(L"src", c.info);
    }
    ASSERT_EQ(support::ErrorList::GetCount(), 1);
    support::ErrorEntry entry = support::ErrorList::GetEntry(0);
    const int id = c.info.empty() ? 1001 : 3001;
    EXPECT_EQ(std::tuple(entry.mMessageId, entry.mIcon, entry.mDetail, entry.mFullText),
              std::tuple(id, c.info.empty() ? MB_ICONERROR : MB_ICONINFORMATION, kRule + c.detail,
                         support::LoadText(id) + L"\r\n\r\n" + kRule + c.detail));
    EXPECT_EQ(platform::GetLastErrorCode(), c.code);
  }
}

TEST(ErrorListMapping, EngineErrorsToMessageIds) {
  const std::pair<long, int> cases[] = {{30000, 1201}, {30001, 1202}, {30002, 1249}, {30003, 1204}, {30004, 1205},
                                        {30005, 1206}, {30006, 1207}, {30007, 1249}, {0, 1249},     {-1, 1249}};
  for (auto [engine, id] : cases) EXPECT_EQ(support::ErrorList::EngineErrorToMessageId(engine), id) << engine;
}

// A folder of module files: copies of the built English module under the
// names of other languages, or hand-written text modules where the platform
// reads them (Linux).
class ResourceModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mEnglish = supporttest::BuiltEnglishModule();
    mFolder = mDir.wpath() + std::wstring(1, platform::PathSeparator());
  }

  std::wstring ModulePath(LANGID language) const {
    return mFolder + L"OfficeAddInRes" + std::to_wstring(language) + platform::ResourceModuleExtension();
  }

  void CopyEnglishAs(LANGID language) {
    ASSERT_FALSE(mEnglish.empty()) << "the English resource module was not built";
    std::filesystem::copy_file(std::filesystem::path(mEnglish), std::filesystem::path(ModulePath(language)));
  }

  void WriteTextModule(LANGID language, const std::string& body) {
    std::ofstream out(std::filesystem::path(ModulePath(language)), std::ios::binary);
    out << "PELORANT-RESOURCE-MODULE 1\n" << body;
  }

  support::ResourceModule::Environment Env(LANGID language) const { return {mFolder, language}; }

  testsupport::TempDir mDir;
  std::wstring mFolder;
  std::wstring mEnglish;
};

// The exact module wins; else the language's default sub-language, or PRC
// Chinese for Singapore; without any, the own Japanese strings. The module
// loads on first use, and loading again switches cleanly.
TEST_F(ResourceModuleTest, ModuleOfTheLanguageOrItsFallback) {
  // font nullptr: not checked.
  struct Case { std::vector<LANGID> installed; LANGID system, chosen; int charset; const wchar_t* font; };
  const Case cases[] = {{{}, 1041, 1041, 128, kJapaneseFont.c_str()}, {{}, 1036, 1041, 128, nullptr},
                        {{1033}, 1033, 1033, 0, L"Segoe UI"},       {{2052}, 4100, 2052, 134, nullptr},
                        {{1034}, 3082, 1034, 0, nullptr},          {{1033}, 2057, 1033, 0, nullptr},
                        {{2057, 1033}, 2057, 2057, 0, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.system);
    for (LANGID language : c.installed) CopyEnglishAs(language);
    support::ResourceModule module(Env(c.system));
    const bool own = c.installed.empty();
    EXPECT_EQ(module.LoadText(101), own ? L"ja" : L"en");
    ASSERT_TRUE(module.LoadResourceModule());
    EXPECT_EQ(std::tuple(module.IsOwnModule(), module.GetLanguageId(), module.GetCharset()),
              std::tuple(own, c.chosen, c.charset));
    if (c.font) {
      EXPECT_EQ(module.GetFontName(), c.font);
    }
    // Path, title, a text both tables share; an id neither table has gives
    // an empty text, never a Japanese one.
    EXPECT_EQ(std::tuple(module.GetModulePath(), module.LoadText(203), module.LoadText(3001), module.LoadText(4999)),
              std::tuple(own ? L"" : ModulePath(c.chosen), own ? kJapaneseTitle : L"PowerPoint Add-in Translation",
                         L"DEBUG_INFO:", L""));
    // Released, the module file is free, and the next text loads again.
    ASSERT_TRUE(module.Release());
    for (LANGID language : c.installed) {
      std::error_code ec;
      EXPECT_TRUE(std::filesystem::remove(std::filesystem::path(ModulePath(language)), ec)) << ec.message();
    }
    EXPECT_EQ(std::tuple(module.LoadText(101), module.IsOwnModule()), std::tuple(L"ja", true));
  }
}

TEST_F(ResourceModuleTest, ShowMessageCaptionRules) {
  testsupport::MessageBoxes boxes;
  support::ResourceModule module(Env(1041));
  EXPECT_EQ((std::vector<int>{module.ShowMessage(L"text", MB_OK | MB_ICONERROR, L""),
                              module.ShowMessage(L"text", MB_YESNO, L"Own caption"), module.ShowMessage(1301, MB_OK, L"")}),
            std::vector<int>(3, IDOK));
  // Caption, style, language and text of each box.
  using Box = std::tuple<std::wstring, unsigned, int, std::wstring>;
  std::vector<Box> shown;
  for (const auto& r : boxes.requests) shown.emplace_back(r.caption, r.style, r.langId, r.text);
  EXPECT_EQ(shown, (std::vector<Box>{{kJapaneseTitle, MB_OK | MB_ICONERROR | kTopmost, 1041, L"text"},
                                     {L"Own caption", MB_YESNO | kTopmost, 1041, L"text"},
                                     {kJapaneseTitle, MB_OK | kTopmost, 1041, module.LoadText(1301)}}));
  EXPECT_FALSE(module.LoadText(1301).empty());
}

// Hand-written modules: an empty font text takes the charset's default; a
// file without the magic line is not used; a module without a title text
// captions its messages with the product name; texts are cut at 1023
// characters and take escapes.
TEST_F(ResourceModuleTest, HandWrittenModules) {
  if (!IsTextModulePlatform()) GTEST_SKIP() << "hand-written modules are a Linux format";
  WriteTextModule(1041, "[StringTable]\n101\tja\n");
  support::ResourceModule japanese(Env(1041));
  ASSERT_TRUE(japanese.LoadResourceModule());
  EXPECT_EQ(std::tuple(japanese.IsOwnModule(), japanese.GetFontName()), std::tuple(false, kJapaneseFont));
  WriteTextModule(1049, "[StringTable]\n101\tru\n102\t\n");
  support::ResourceModule russian(Env(1049));
  ASSERT_TRUE(russian.LoadResourceModule());
  EXPECT_EQ(std::tuple(russian.GetCharset(), russian.GetFontName()), std::tuple(204, L""));

  std::ofstream(std::filesystem::path(ModulePath(1036)), std::ios::binary) << "101\tfr\n";
  auto previous = platform::SetDiagnosticSink([](const std::wstring&) {});
  support::ResourceModule unmarked(Env(1036));
  EXPECT_EQ(std::tuple(unmarked.LoadText(101), unmarked.IsOwnModule()), std::tuple(L"ja", true));
  platform::SetDiagnosticSink(previous);

  WriteTextModule(1033, "[StringTable]\n101\ten\n500\t" + std::string(3000, 'x') + "\n501\tline\\none\\ttab\\\\\n");
  testsupport::MessageBoxes boxes;
  support::ResourceModule module(Env(1033));
  EXPECT_EQ(std::tuple(module.LoadText(500), module.LoadText(501)),
            std::tuple(std::wstring(1023, L'x'), L"line\none\ttab\\"));
  module.ShowMessage(L"text", MB_OK, L"");
  ASSERT_EQ(boxes.requests.size(), 1u);
  EXPECT_EQ(std::tuple(boxes.requests[0].caption, support::VersionInfo().GetValue(L"ProductName"),
                       boxes.requests[0].langId),
            std::tuple(L"Talvoren PowerPoint AddIn", L"Talvoren PowerPoint AddIn", 1033));
}

// Every id of the own Japanese table has an English text in the module the
// build makes, so an English system never sees an empty message. The module
// is read from a copy in a folder whose name is not ASCII (user profiles
// often are not); its version block lacks some standard values, and reading
// it is no failure of the caller's, whose last-error code stays as it was.
TEST(ResourceTables, EnglishModuleFromAUnicodeFolderCoversEveryOwnIdAndCarriesTheVersion) {
  const std::wstring built = supporttest::BuiltEnglishModule();
  ASSERT_FALSE(built.empty()) << "the English resource module was not built";
  testsupport::TempDir dir;
  std::filesystem::path folder = dir.path() / platform::NativePath(L"\x30E2\x30B8\x30E5\x30FC\x30EB \x00E9");
  std::filesystem::create_directories(folder);
  std::filesystem::path target = folder / platform::NativePath(built).filename();
  std::filesystem::copy_file(platform::NativePath(built), target);
  std::u8string utf8 = target.u8string();
  const std::wstring path = platform::FromUtf8(std::string(utf8.begin(), utf8.end()));
  auto module = platform::ResourceModuleFile::Load(path);
  ASSERT_TRUE(module);
  size_t count = 0;
  for (const resources::StringEntry& e : resources::OwnStrings()) {
    std::wstring text;
    EXPECT_TRUE(module->ReadString(e.id, &text) && !text.empty()) << "id " << e.id << " has no English text";
    bool japanese = false;
    for (wchar_t c : text) japanese = japanese || c >= 0x3000;
    EXPECT_FALSE(japanese) << "id " << e.id << " is not English";
    // English marks its accelerator on a letter of its own words, never as
    // a letter in brackets after them.
    const size_t amp = text.find(L'&');
    EXPECT_TRUE(amp == std::wstring::npos ||
                (amp + 1 < text.size() && std::iswalpha(text[amp + 1]) && (amp == 0 || text[amp - 1] != L'(')))
        << "id " << e.id << " marks its accelerator as another language would";
    ++count;
  }
  EXPECT_GT(count, 150u);
  std::wstring text;
  ASSERT_TRUE(module->ReadString(2123, &text));
  EXPECT_NE(text.find(L"\"Mark as Final\""), std::wstring::npos) << "quotes survive the build";
  // No string 4999 nor 0; freed, no strings; freeing twice is harmless.
  EXPECT_EQ((std::vector<bool>{module->ReadString(4999, &text), module->ReadString(0, &text), module->Free(),
                               module->ReadString(203, &text), module->Free()}),
            (std::vector<bool>{false, false, true, false, true}));

  platform::VersionBlock block;
  platform::SetLastErrorCode(0);
  ASSERT_TRUE(platform::ReadVersionBlock(path, &block));
  EXPECT_EQ(platform::GetLastErrorCode(), 0u);
  const std::wstring at = L"\\StringFileInfo\\040904b0\\";
  EXPECT_EQ(std::tuple(block.translation, block.values[at + L"InternalName"], block.values[at + L"ProductName"],
                       block.values[at + L"FileVersion"], block.values[at + L"CompanyName"]),
            std::tuple(L"040904b0", L"OfficeAddInRes1033.dll", L"Talvoren PowerPoint AddIn", L"3, 0, 5, 20",
                       L"Talvoren"));
}

// The message ids the sources pass to the error list and the resource
// functions, as literals or as constants of the same sources; `named` counts
// the calls that name an id by the generated header, which holds only ids
// of the table.
std::set<int> MessageIdsInSources(std::vector<std::string>* unresolved, size_t* named) {
  const std::filesystem::path root = testsupport::SourceRoot();
  const std::regex call(R"((?:ErrorList::Add|ShowMessage|LoadText|TextOrEmpty)\s*\(\s*)"
                        R"((\d+|(?:resources::)?msg::k\w+|k\w+)\b)");
  const std::regex constant(R"(\b(k\w+)\s*=\s*(\d+)\s*;)");
  std::map<std::string, int> constants;
  std::vector<std::string> names;
  std::set<int> ids;
  for (const char* area : {"src", "apps", "engines"}) {
    const std::filesystem::path folder = std::filesystem::path(root) / area;
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".cpp" && ext != ".h") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      // The expressions run only where they can match: they are slow.
      std::istringstream lines(text);
      for (std::string line; std::getline(lines, line);) {
        if (line.find('=') == std::string::npos) continue;
        for (std::sregex_iterator m(line.begin(), line.end(), constant), end; m != end; ++m)
          constants[(*m)[1]] = std::stoi((*m)[2]);
      }
      if (text.find("ErrorList::Add") == std::string::npos && text.find("ShowMessage") == std::string::npos &&
          text.find("LoadText") == std::string::npos && text.find("TextOrEmpty") == std::string::npos)
        continue;
      for (std::sregex_iterator m(text.begin(), text.end(), call), end; m != end; ++m) {
        const std::string arg = (*m)[1];
        if (std::isdigit(static_cast<unsigned char>(arg[0]))) ids.insert(std::stoi(arg));
        else if (arg[0] != 'k') ++*named;
        else names.push_back(arg);
      }
    }
  }
  for (const auto& name : names) {
    auto it = constants.find(name);
    if (it == constants.end()) unresolved->push_back(name);
    else ids.insert(it->second);
  }
  return ids;
}

// Every message id the add-in uses has a text in its own table (and so, by
// the test above, in the English module).
TEST(ResourceTables, EveryIdTheSourcesUseHasATextAndPairNamesSplit) {
  std::vector<std::string> unresolved;
  size_t named = 0;
  std::set<int> ids = MessageIdsInSources(&unresolved, &named);
  ASSERT_GT(ids.size() + named, 10u) << "the sources were not found (PELORANT_TEST_SOURCE_DIR)";
  EXPECT_TRUE(unresolved.empty()) << "ids passed by a name the scan cannot resolve: " << unresolved.front();
  for (long code = 29990; code < 30020; ++code) ids.insert(support::ErrorList::EngineErrorToMessageId(code));
  support::ResourceModule own(support::ResourceModule::Environment{L"", 1041});
  for (int id : ids) EXPECT_FALSE(own.LoadText(id).empty()) << "id " << id << " has no text";
  // Pair names of the built-in families are used by range; they read
  // "source - target", and the engine list splits them there.
  for (int id = 9001; id <= 9032; ++id) EXPECT_NE(own.LoadText(id).find(L" - "), std::wstring::npos) << "id " << id;
  EXPECT_EQ(own.LoadText(9001), L"\x82F1\x8A9E - \x65E5\x672C\x8A9E");  // 英語 - 日本語
}

// The DLL's own resources come from the same tables as the compiled-in ones
// (the English module's version block is the platform suite's).
TEST(VersionInfoTest, AddinDllCarriesVersionBlockAndJapaneseStrings) {
  const std::wstring sep(1, platform::PathSeparator());
  const std::wstring dll =
      platform::ModuleFolder() + L".." + sep + L"src" + sep + L"addin" + sep + L"win32" + sep + L"Pelorant.dll";
  if (!platform::PathExists(dll)) GTEST_SKIP() << "Pelorant.dll is built on Windows only";
  support::VersionInfo version(dll);
  EXPECT_EQ(std::tuple(version.GetTranslation(), version.GetValue(L"ProductName"), version.GetValue(L"FileVersion"),
                       version.GetValue(L"InternalName"), version.GetValue(L"OriginalFilename")),
            std::tuple(L"040904b0", L"Talvoren PowerPoint AddIn", L"3, 0, 5, 20", L"Pelorant.dll", L"Pelorant.dll"));
  auto module = platform::ResourceModuleFile::Load(dll);
  ASSERT_TRUE(module);
  for (const resources::StringEntry& e : resources::OwnStrings()) {
    std::wstring text;
    EXPECT_TRUE(module->ReadString(e.id, &text)) << "id " << e.id;
    EXPECT_EQ(text, platform::FromUtf8(e.utf8)) << "id " << e.id;
  }
}

}  // namespace
