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
#include "tests/platform/TestSupport.h"

using namespace options;
namespace fs = std::filesystem;

using testsupport::ReadBytes;
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

TEST_F(OptionFiles, ExportWritesThePublicPairsQuotedInOneSection) {
  TranslationOption* b = mOpts.Add(L"b");
  b->SetDualPrint(1);
  b->SetTimeOutMSec(5000);
  b->SetWindowAlign(7);  // no listed value: written empty
  const std::wstring path = File(L"b.ini");
  ASSERT_TRUE(mOpts.Export(L"b", path));

  std::string text = ReadText(path);
  ExpectHolds(text, {"Name=\"b\"", "OutputDestType=\"1\"", "DualPrint=\"True\"", "FontEastEurope=\"Arial\"",
                     "Glossary=\"\"", "WindowAlign=\"\""});
  EXPECT_EQ(text.find("_TimeOutMSec"), std::string::npos) << "hidden values are not exported";
  EXPECT_EQ(text.find("dummy"), std::string::npos);

  std::vector<std::wstring> names, values;
  ASSERT_TRUE(ReadOptionSection(path, kOptionSection, &names, &values));
  EXPECT_EQ(names.front(), L"Name");
  EXPECT_EQ(values.front(), L"b");
  EXPECT_EQ(names.size(), 22u);
  auto align = std::find(names.begin(), names.end(), L"WindowAlign");
  ASSERT_NE(align, names.end());
  EXPECT_EQ(values[align - names.begin()], L"") << "a pair of quotes around nothing reads as nothing";
}

TEST_F(OptionFiles, ImportTakesTheGivenNameAndAcceptsAnyQuoting) {
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
             "Unknown=\"x\"\r\n");
  ASSERT_TRUE(mOpts.Import(L"Copy", path));
  ASSERT_EQ(mOpts.Find(L"Somebody else"), nullptr);
  const TranslationOption* copy = mOpts.Find(L"Copy");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->DualPrint(), 1);
  EXPECT_EQ(copy->DualPrintExpandShape(), 1);
  EXPECT_EQ(copy->WindowAlign(), 2);
  EXPECT_EQ(copy->TimeOutMSec(), 5000);
  EXPECT_EQ(copy->TranPrefix(), L"\"a") << "a lone quote is not a pair of quotes";
  EXPECT_EQ(copy->Glossary(), L"D:\\Terms\\es.tsv");
}

TEST_F(OptionFiles, EmptyQuotedNameIsReplacedAndAnExistingSetOrTheDefaultIsUpdated) {
  mOpts.Add(L"Copy")->SetKeepStyleType(0);
  mOpts.Find(L"Copy")->SetChangesOrigFontColor(1);
  const std::wstring path = File(L"in.ini");
  WriteBytes(path, "[TranslationOption]\nName=\"\"\nDualPrint=True\nChangesOrigFontColor\n");
  ASSERT_TRUE(mOpts.Import(L"Copy", path));
  EXPECT_EQ(mOpts.Count(), 2u);
  EXPECT_EQ(mOpts.At(1).Name(), L"Copy");
  EXPECT_EQ(mOpts.At(1).DualPrint(), 1);
  EXPECT_EQ(mOpts.At(1).KeepStyleType(), 0) << "values the file does not name stay";
  EXPECT_EQ(mOpts.At(1).ChangesOrigFontColor(), 1) << "a line without \"=\" names no value";
  ASSERT_TRUE(mOpts.Import(L"default", path));
  EXPECT_EQ(mOpts.Count(), 2u) << "no second default";
  EXPECT_EQ(mOpts.At(0).DualPrint(), 1);
}

TEST_F(OptionFiles, BadFilesFailAndChangeNothing) {
  WriteBytes(File(L"other.ini"), "[Elsewhere]\nDualPrint=True\n");
  WriteBytes(File(L"empty.ini"), "[TranslationOption]\n\n");
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> imports[] = {
      {L"x", L"missing.ini", L"does not exist"}, {L"x", L"other.ini", L"TranslationOption"}, {L"x", L"empty.ini", L""},
      {L"", L"other.ini", L""}};
  for (auto [name, file, reason] : imports) {
    std::wstring why;
    EXPECT_FALSE(mOpts.Import(name, File(file), &why)) << platform::ToUtf8(file);
    EXPECT_NE(why.find(reason), std::wstring::npos) << platform::ToUtf8(why);
  }
  EXPECT_EQ(mOpts.Count(), 1u);
  EXPECT_FALSE(mOpts.Export(L"nobody", File(L"n.ini")));
  EXPECT_FALSE(fs::exists(File(L"n.ini")));
}

TEST_F(OptionFiles, ExportCreatesMissingFoldersAndReplacesTheSectionOnly) {
  const std::wstring path = File(L"a/b/c/set.ini");
  mOpts.Add(L"first")->SetDualPrint(1);
  mOpts.Add(L"second")->SetWindowAlign(0);
  ASSERT_TRUE(mOpts.Export(L"first", path));
  // Someone else's section in the same file.
  ASSERT_TRUE(platform::ProfileWriteString(path, L"Keep", L"value", L"1"));
  ASSERT_TRUE(mOpts.Export(L"second", path));

  std::string text = ReadText(path);
  ExpectHolds(text, {"Name=\"second\"", "[Keep]\r\nvalue=1\r\n", "WindowAlign=\"0\""});
  EXPECT_EQ(text.find("Name=\"first\""), std::string::npos);
}

TEST_F(OptionFiles, NonAsciiNamesAndLongValuesSurviveTheRoundTrip) {
  const std::wstring name =
      L"\x00DC"
      L"bersicht \x65E5\x672C";
  mOpts.Add(name);
  const std::wstring path = File(L"unicode.ini");
  ASSERT_TRUE(mOpts.Export(name, path));

  // A long hidden value needs more than the reader's first buffer.
  ASSERT_TRUE(platform::ProfileWriteString(path, kOptionSection, L"_TranSuffix", std::wstring(5000, L'\x3042')));

  TranslationOptions other;
  other.Reset();
  ASSERT_TRUE(other.Import(name, path));
  const TranslationOption* back = other.Find(name);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->TranSuffix(), std::wstring(5000, L'\x3042'));
}

// A folder where the file should be, and a value with a line break (read
// from a tampered registry, it would write a second line that imports as a
// value of its own): the export fails with its reason and writes nothing.
TEST_F(OptionFiles, ExportsThatCannotBeWrittenAreReportedAndChangeNothing) {
  fs::create_directories(mDir.path() / "is-a-folder.ini");
  mOpts.Add(L"plain");
  mOpts.Add(L"broken")->SetFontANSI(L"Arial\r\n_TimeOutMSec=\"1\"");
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {{L"plain", L"is-a-folder.ini", L""},
                                                                              {L"broken", L"inject.ini", L"FontANSI"}};
  for (auto [set, file, reason] : cases) {
    std::wstring why;
    EXPECT_FALSE(mOpts.Export(set, File(file), &why)) << platform::ToUtf8(file);
    EXPECT_FALSE(why.empty());
    EXPECT_NE(why.find(reason), std::wstring::npos) << platform::ToUtf8(why);
  }
  EXPECT_TRUE(fs::is_directory(mDir.path() / "is-a-folder.ini"));
  EXPECT_FALSE(fs::exists(mDir.path() / "inject.ini"));
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

TEST_F(OptionFiles, ImportReplacesFontsThatAreNotInstalled) {
  optionstest::FakeFonts fonts({{0, {L"Calibri"}}});
  const std::wstring path = File(L"f.ini");
  WriteBytes(path, "[TranslationOption]\nFontANSI=\"Nowhere Sans\"\nFontSJIS=\"Nowhere Gothic\"\n");
  ASSERT_TRUE(mOpts.Import(L"f", path));
  EXPECT_EQ(mOpts.Find(L"f")->FontANSI(), L"Calibri");
  EXPECT_EQ(mOpts.Find(L"f")->FontSJIS(), L"Nowhere Gothic");
}
