#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/options/FakeFonts.h"
#include "src/options/OptionFile.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"
#include "tests/common/Bytes.h"

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
  static size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
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
  EXPECT_EQ(Occurrences(text, "[TranslationOption]"), 1u);
  EXPECT_NE(text.find("Name=\"b\""), std::string::npos);
  EXPECT_NE(text.find("OutputDestType=\"1\""), std::string::npos);
  EXPECT_NE(text.find("DualPrint=\"True\""), std::string::npos);
  EXPECT_NE(text.find("FontEastEurope=\"Arial\""), std::string::npos);
  EXPECT_NE(text.find("Glossary=\"\""), std::string::npos);
  EXPECT_EQ(text.find("_TimeOutMSec"), std::string::npos) << "hidden values are not exported";
  EXPECT_EQ(text.find("dummy"), std::string::npos);

  std::vector<std::wstring> names, values;
  ASSERT_TRUE(ReadOptionSection(path, kOptionSection, &names, &values));
  EXPECT_EQ(names.front(), L"Name");
  EXPECT_EQ(values.front(), L"b");
  EXPECT_EQ(names.size(), 22u);
  auto align = std::find(names.begin(), names.end(), L"WindowAlign");
  ASSERT_NE(align, names.end());
  EXPECT_EQ(values[align - names.begin()], L"");
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

  // A later export leaves the hidden value out.
  const std::wstring out = File(L"out.ini");
  ASSERT_TRUE(mOpts.Export(L"Copy", out));
  EXPECT_NE(ReadText(out).find("DualPrint=\"True\""), std::string::npos);
  EXPECT_NE(ReadText(out).find("Glossary=\"D:\\Terms\\es.tsv\""), std::string::npos);
  EXPECT_EQ(ReadText(out).find("_TimeOutMSec"), std::string::npos);
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
  std::wstring why;
  EXPECT_FALSE(mOpts.Import(L"x", File(L"missing.ini"), &why));
  EXPECT_NE(why.find(L"does not exist"), std::wstring::npos);

  const std::wstring other = File(L"other.ini");
  WriteBytes(other, "[Elsewhere]\nDualPrint=True\n");
  EXPECT_FALSE(mOpts.Import(L"x", other, &why));
  EXPECT_NE(why.find(L"TranslationOption"), std::wstring::npos);

  const std::wstring empty = File(L"empty.ini");
  WriteBytes(empty, "[TranslationOption]\n\n");
  EXPECT_FALSE(mOpts.Import(L"x", empty, &why));

  EXPECT_FALSE(mOpts.Import(L"", other, &why));
  EXPECT_EQ(mOpts.Count(), 1u);
  EXPECT_FALSE(mOpts.Export(L"nobody", File(L"n.ini"), &why));
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
  EXPECT_EQ(Occurrences(text, "[TranslationOption]"), 1u);
  EXPECT_NE(text.find("Name=\"second\""), std::string::npos);
  EXPECT_EQ(text.find("Name=\"first\""), std::string::npos);
  EXPECT_NE(text.find("[Keep]\r\nvalue=1\r\n"), std::string::npos);
  std::vector<std::wstring> names, values;
  ASSERT_TRUE(ReadOptionSection(path, L"Keep", &names, &values));
  EXPECT_EQ(values, std::vector<std::wstring>{L"1"});
  EXPECT_NE(text.find("WindowAlign=\"0\""), std::string::npos);
}

TEST_F(OptionFiles, NonAsciiNamesAndLongValuesSurviveTheRoundTrip) {
  const std::wstring name = L"\x00DC" L"bersicht \x65E5\x672C";
  TranslationOption* set = mOpts.Add(name);
  set->SetFontANSI(L"Arial");
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

TEST_F(OptionFiles, WriteFailureIsReportedAndLosesNothing) {
  mOpts.Add(L"s");
  const std::wstring folder = File(L"is-a-folder.ini");
  fs::create_directories(fs::path(folder));
  std::wstring why;
  EXPECT_FALSE(mOpts.Export(L"s", folder, &why));
  EXPECT_TRUE(fs::is_directory(fs::path(folder)));

  const std::wstring damaged = File(L"damaged.ini");
  // Not UTF-8, no byte-order mark: rewriting it would change bytes it holds.
  const std::string original = "[Mine]\nname=caf\xE9\n";
  WriteBytes(damaged, original);
  if (platform::PathSeparator() == L'/') {
    EXPECT_FALSE(mOpts.Export(L"s", damaged, &why));
    EXPECT_EQ(ReadBytes(damaged), original);
  }
}

TEST_F(OptionFiles, ValuesWithLineBreaksAreNotExported) {
  // Such a value, read from a tampered registry, would write a second line
  // that imports as a value of its own.
  mOpts.Add(L"s")->SetFontANSI(L"Arial\r\n_TimeOutMSec=\"1\"");
  const std::wstring path = File(L"inject.ini");
  std::wstring why;
  EXPECT_FALSE(mOpts.Export(L"s", path, &why));
  EXPECT_NE(why.find(L"FontANSI"), std::wstring::npos);
  EXPECT_FALSE(fs::exists(fs::path(path)));
  EXPECT_FALSE(WriteOptionSection(path, kOptionSection, {L"a"}, {L"x\ny"}));
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
