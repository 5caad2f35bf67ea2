#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "src/options/Glossary.h"
#include "src/platform/Strings.h"
#include "tests/common/Bytes.h"
#include "tests/common/TempDir.h"

using options::GlossaryTerm;
using options::ParseGlossary;
using options::ReadGlossary;

TEST(Glossary, LinesGiveTermsInFileOrder) {
  const auto read = ParseGlossary(
      "\xEF\xBB\xBF# terms of the product team\r\n"
      "Pelorant\t\r\n"
      "\r\n"
      "  # indented comment\n"
      " Slide Master \t Patr\xC3\xB3n de diapositivas \n"
      "C#\tC#\n"
      "\xE6\x97\xA5\xE6\x9C\xAC\tJapan");
  ASSERT_TRUE(read.ok) << platform::ToUtf8(read.failure);
  const std::vector<GlossaryTerm> expected = {
      {L"Pelorant", L""}, {L"Slide Master", L"Patr\xF3n de diapositivas"}, {L"C#", L"C#"}, {L"\x65E5\x672C", L"Japan"}};
  EXPECT_EQ(read.terms, expected);
  EXPECT_TRUE(ParseGlossary("").ok);
}

TEST(Glossary, ABadLineRefusesTheWholeFileAndNamesTheLine) {
  const std::pair<const char*, const wchar_t*> cases[] = {
      {"a\tb\nno tab here\n", L"line 2 has no tab between the term and its translation"},
      {"a\tb\tc\n", L"line 1 has more than one tab"},
      {"# c\n \tTarget\n", L"line 2 has no term before its tab"},
      {"a\tb\n\nb\tc\na\td\n", L"line 4 repeats the term of line 1"},
      {"caf\xE9\tx\n", L"line 1 is not UTF-8 text"},
  };
  for (const auto& [text, why] : cases) {
    SCOPED_TRACE(text);
    const auto read = ParseGlossary(text);
    EXPECT_FALSE(read.ok);
    EXPECT_TRUE(read.terms.empty());
    EXPECT_EQ(read.failure, why);
  }
  EXPECT_EQ(ParseGlossary(std::string_view("a\0b\tc", 5)).failure, L"line 1 is not UTF-8 text");
}

TEST(Glossary, AFileIsReadOrNamedWithItsReason) {
  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::WriteBytes(dir / "bad.txt", "x y\n"));
  ASSERT_TRUE(testsupport::WriteBytes(dir / "good.txt", "x\ty\n"));
  // The system's words for a folder vary; the other reasons are ours.
  const std::tuple<std::wstring, std::wstring, bool> cases[] = {
      {(dir / "none.txt").wstring(), L": there is no such file", true},
      {dir.wpath(), L": ", false},
      {(dir / "bad.txt").wstring(), L": line 1 has no tab between the term and its translation", true},
  };
  for (const auto& [path, reason, whole] : cases) {
    const auto read = ReadGlossary(path);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(whole ? read.failure : read.failure.substr(0, path.size() + 2), path + reason);
  }
  const auto read = ReadGlossary((dir / "good.txt").wstring());
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.terms, (std::vector<GlossaryTerm>{{L"x", L"y"}}));
}
