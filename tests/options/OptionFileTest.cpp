#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "src/options/OptionFile.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/common/Bytes.h"
#include "tests/options/FakeFonts.h"
#include "tests/options/Render.h"
#include "tests/platform/TestSupport.h"

using namespace options;
namespace fs = std::filesystem;

using testsupport::ReadBytes;
using optionstest::Render;
using testsupport::WriteBytes;

namespace {

class OptionFiles : public ::testing::Test {
 protected:
  OptionFiles() : mFonts(optionstest::DefaultFontsInstalled()) { mOpts.Reset(); }

  std::wstring File(const std::wstring& name) const { return (mDir.path() / name).wstring(); }
  // The file's text as UTF-8 whatever encoding the platform wrote it in
  // (Windows keeps option files UTF-16 so that any name survives).
  static std::string ReadText(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    if (bytes.rfind("\xFF\xFE", 0) == 0) return platform::ToUtf8(platform::FromUtf16Le(bytes.substr(2)));
    return bytes;
  }
  // Every piece is in the file's text, the section header exactly once.
  static void ExpectHolds(const std::string& text, std::initializer_list<const char*> pieces) {
    const size_t header = text.find("[TranslationOption]");
    EXPECT_TRUE(header != std::string::npos && header == text.rfind("[TranslationOption]")) << text;
    for (const char* piece : pieces) EXPECT_NE(text.find(piece), std::string::npos) << piece << " in\n" << text;
  }

  testsupport::TempDir mDir;
  optionstest::FakeFonts mFonts;
  TranslationOptions mOpts;
};

}  // namespace

// The public pairs, quoted, in one section of a file whose folders are made;
// a second export replaces that section and keeps another program's.
TEST_F(OptionFiles, ExportWritesThePublicPairsQuotedAndReplacesOnlyItsSection) {
  const std::wstring name = L"\x00DC" L"bersicht \x65E5\x672C";  // kept whole by the file's encoding
  TranslationOption* b = mOpts.Add(name);
  b->SetDualPrint(1);
  b->SetTimeOutMSec(5000);
  b->SetWindowAlign(7);  // no listed value: written empty
  mOpts.Add(L"second")->SetWindowAlign(0);
  const std::wstring path = File(L"a/b/c/set.ini");
  ASSERT_TRUE(mOpts.Export(name, path));

  std::string text = ReadText(path);
  ExpectHolds(text, {"Name=\"\xC3\x9C" "bersicht \xE6\x97\xA5\xE6\x9C\xAC\"", "OutputDestType=\"1\"", "DualPrint=\"True\"",
                     "FontEastEurope=\"Arial\"", "Glossary=\"\"", "WindowAlign=\"\""});
  EXPECT_EQ(text.find("_TimeOutMSec"), std::string::npos) << "hidden values are not exported";
  EXPECT_EQ(text.find("dummy"), std::string::npos);
  std::vector<std::wstring> names, values;
  ASSERT_TRUE(ReadOptionSection(path, kOptionSection, &names, &values));
  EXPECT_EQ(names.front() + L"=" + values.front(), L"Name=" + name);
  EXPECT_EQ(names.size(), 22u);
  auto align = std::find(names.begin(), names.end(), L"WindowAlign");
  ASSERT_NE(align, names.end());
  EXPECT_EQ(values[align - names.begin()], L"") << "a pair of quotes around nothing reads as nothing";

  ASSERT_TRUE(platform::ProfileWriteString(path, L"Keep", L"value", L"1"));
  ASSERT_TRUE(mOpts.Export(L"second", path));
  text = ReadText(path);
  ExpectHolds(text, {"Name=\"second\"", "[Keep]\r\nvalue=1\r\n", "WindowAlign=\"0\""});
  EXPECT_EQ(text.find("bersicht"), std::string::npos);
}

// Into an existing set under the given name, whatever name the file holds:
// values quoted either way or not at all, hidden ones, and one longer than
// the reader's first buffer; values the file does not name (or names
// without "=") stay; a font not installed is replaced.
TEST_F(OptionFiles, ImportUpdatesTheNamedSetFromAnyQuoting) {
  optionstest::FakeFonts fonts({{0, {L"Calibri"}}});
  mOpts.Add(L"Copy")->SetKeepStyleType(0);
  mOpts.Find(L"Copy")->SetChangesOrigFontColor(1);
  const std::wstring path = File(L"in.ini");
  WriteBytes(path,
             "[Other]\r\nDualPrint=True\r\n"
             "[TranslationOption]\r\n"
             "Name=\"Somebody else\"\r\n"
             "DualPrint='True'\r\n"
             "DualPrintExpandShape=True\r\n"
             "WindowAlign = \"2\"\r\n"
             "_TimeOutMSec=\"5000\"\r\n"
             "_TranPrefix=\"a\r\n"
             "Glossary=\"D:\\Terms\\es.tsv\"\r\n"
             "FontANSI=\"Nowhere Sans\"\r\nFontSJIS=\"Nowhere Gothic\"\r\n"
             "ChangesOrigFontColor\r\n"
             "Unknown=\"x\"\r\n");
  ASSERT_TRUE(platform::ProfileWriteString(path, kOptionSection, L"_TranSuffix", std::wstring(5000, L'x')));
  ASSERT_TRUE(mOpts.Import(L"Copy", path));
  EXPECT_EQ(mOpts.Find(L"Copy")->TranSuffix(), std::wstring(5000, L'x'));
  mOpts.Find(L"Copy")->SetTranSuffix(L"");
  EXPECT_EQ(Render(mOpts),
            L"*default|Copy WindowAlign=2 KeepStyleType=0 DualPrint=True DualPrintExpandShape=True "
            L"ChangesOrigFontColor=True Glossary=D:\\Terms\\es.tsv FontANSI=Calibri FontSJIS=Nowhere Gothic "
            L"_TranPrefix=\"a _TimeOutMSec=5000|");
}

// A missing file, one without the section or without values in it, no name;
// no such set, a folder where the file should be, and a value with a line
// break (read from a tampered registry, it would write a second line that
// imports as a value of its own): each fails with its reason and changes
// nothing.
TEST_F(OptionFiles, RefusedImportsAndExportsSayWhyAndChangeNothing) {
  WriteBytes(File(L"other.ini"), "[Elsewhere]\nDualPrint=True\n");
  WriteBytes(File(L"empty.ini"), "[TranslationOption]\n\n");
  WriteBytes(File(L"good.ini"), "[TranslationOption]\nDualPrint=True\n");
  fs::create_directories(mDir.path() / "is-a-folder.ini");
  mOpts.Add(L"plain");
  mOpts.Add(L"broken")->SetFontANSI(L"Arial\r\n_TimeOutMSec=\"1\"");
  const std::wstring before = Render(mOpts);
  using Call = bool (TranslationOptions::*)(const std::wstring&, const std::wstring&, std::wstring*);
  const std::tuple<Call, const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
      {&TranslationOptions::Import, L"x", L"missing.ini", L"does not exist"},
      {&TranslationOptions::Import, L"x", L"other.ini", L"TranslationOption"},
      {&TranslationOptions::Import, L"x", L"empty.ini", L""},
      {&TranslationOptions::Import, L"", L"good.ini", L"name"},
      {&TranslationOptions::Export, L"nobody", L"n.ini", L"nobody"},
      {&TranslationOptions::Export, L"plain", L"is-a-folder.ini", L""},
      {&TranslationOptions::Export, L"broken", L"inject.ini", L"FontANSI"}};
  for (auto [call, name, file, reason] : cases) {
    std::wstring why;
    EXPECT_FALSE((mOpts.*call)(name, File(file), &why)) << platform::ToUtf8(file);
    EXPECT_FALSE(why.empty());
    EXPECT_NE(why.find(reason), std::wstring::npos) << platform::ToUtf8(why);
  }
  EXPECT_EQ(Render(mOpts), before);
  EXPECT_TRUE(fs::is_directory(mDir.path() / "is-a-folder.ini"));
  EXPECT_FALSE(fs::exists(mDir.path() / "inject.ini"));
  EXPECT_FALSE(fs::exists(mDir.path() / "n.ini"));
  EXPECT_FALSE(WriteOptionSection(File(L"inject.ini"), kOptionSection, {L"a"}, {L"x\ny"}));
}

TEST_F(OptionFiles, DefaultLocationIsTheUserDataFolder) {
  std::wstring why;
  EXPECT_EQ(DefaultOptionFilePath(L"../escape", &why), L"");
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(DefaultOptionFilePath(L"a\\b"), L"");
  EXPECT_EQ(DefaultOptionFilePath(L"x:y"), L"");

  platformtest::ScopedEnv xdg(L"XDG_CONFIG_HOME", mDir.wpath());
  const std::wstring folder = UserDataFolder();
  ASSERT_FALSE(folder.empty());
  const std::wstring expected = platform::JoinPath(folder, L"Travel.ini");
  EXPECT_EQ(DefaultOptionFilePath(L"Travel"), expected);
  mOpts.Add(L"Travel")->SetDualPrint(1);
  ASSERT_TRUE(mOpts.Export(L"Travel", L""));
  EXPECT_TRUE(fs::exists(fs::path(expected)));
  TranslationOptions other;
  other.Reset();
  ASSERT_TRUE(other.Import(L"Travel", L""));
  EXPECT_EQ(other.Find(L"Travel")->DualPrint(), 1);
  std::error_code ec;
  fs::remove(fs::path(expected), ec);
}
