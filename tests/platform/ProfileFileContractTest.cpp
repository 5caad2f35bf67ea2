// The profile-file contract, run against the system's service (Windows'
// own functions under Wine, the posix stand-in on Linux) and against the
// portable document rules the stand-in is built on, so that both platforms
// are held to one behaviour.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "src/platform/ProfileDocument.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"
#include "tests/common/Bytes.h"
#include "tests/common/FaultyFiles.h"

using namespace platform;
namespace fs = std::filesystem;

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

struct SystemProfile {
  static constexpr bool kIsSystem = true;
  static DWORD Read(const std::wstring& p, const std::wstring& s, wchar_t* b, DWORD n) {
    return ProfileReadSection(p, s, b, n);
  }
  static bool WriteSection(const std::wstring& p, const std::wstring& s, const std::wstring& lines) {
    return ProfileWriteSection(p, s, lines);
  }
  static bool WriteString(const std::wstring& p, const std::wstring& s, const std::wstring& k,
                          const std::wstring& v) {
    return ProfileWriteString(p, s, k, v);
  }
};

// The document rules over plain file reads and writes.
struct DocumentProfile {
  static constexpr bool kIsSystem = false;
  static DWORD Read(const std::wstring& p, const std::wstring& s, wchar_t* b, DWORD n) {
    std::vector<std::wstring> entries;
    if (fs::exists(fs::path(p))) entries = ProfileDocument::Parse(ReadBytes(p), nullptr).SectionEntries(s);
    return CopyProfileEntries(entries, b, n);
  }
  template <typename Edit>
  static bool Modify(const std::wstring& p, Edit edit) {
    fs::path folder = fs::path(p).parent_path();
    if (!folder.empty() && !fs::is_directory(folder)) return false;
    ProfileDocument doc;
    if (fs::exists(fs::path(p))) doc = ProfileDocument::Parse(ReadBytes(p), nullptr);
    edit(doc);
    WriteBytes(p, doc.Serialize());
    return true;
  }
  static bool WriteSection(const std::wstring& p, const std::wstring& s, const std::wstring& lines) {
    return Modify(p, [&](ProfileDocument& d) { d.ReplaceSection(s, SplitProfileBlock(lines)); });
  }
  static bool WriteString(const std::wstring& p, const std::wstring& s, const std::wstring& k,
                          const std::wstring& v) {
    return Modify(p, [&](ProfileDocument& d) { d.SetKey(s, k, v); });
  }
};

template <typename T>
class ProfileFileContract : public ::testing::Test {
 protected:
  std::wstring File(const char* name) const { return (mDir.path() / name).wstring(); }

  // The section's lines through a generous buffer.
  std::vector<std::wstring> Lines(const std::wstring& path, const std::wstring& section) {
    std::vector<wchar_t> buffer(4096, L'#');
    DWORD n = T::Read(path, section, buffer.data(), static_cast<DWORD>(buffer.size()));
    EXPECT_LT(n, buffer.size() - 2);
    EXPECT_EQ(buffer[n], L'\0') << "the list ends with a NUL";
    std::vector<std::wstring> lines;
    for (const wchar_t* p = buffer.data(); *p != L'\0'; p += wcslen(p) + 1) lines.emplace_back(p);
    return lines;
  }

  testsupport::TempDir mDir;
};

using Implementations = ::testing::Types<SystemProfile, DocumentProfile>;
TYPED_TEST_SUITE(ProfileFileContract, Implementations);

}  // namespace

TYPED_TEST(ProfileFileContract, MissingFileOrSectionReadsEmpty) {
  wchar_t buffer[16] = {L'#', L'#'};
  EXPECT_EQ(TypeParam::Read(this->File("none.ini"), L"S", buffer, 16), 0u);
  EXPECT_EQ(buffer[0], L'\0');
  WriteBytes(this->File("a.ini"), "[Other]\r\nk=v\r\n");
  EXPECT_TRUE(this->Lines(this->File("a.ini"), L"S").empty());
}

TYPED_TEST(ProfileFileContract, WriteStringCreatesFileSectionAndKeyAndUpdatesInPlace) {
  const std::wstring path = this->File("new.ini");
  ASSERT_TRUE(TypeParam::WriteString(path, L"Sec", L"alpha", L"1"));
  ASSERT_TRUE(TypeParam::WriteString(path, L"Sec", L"beta", L"two words"));
  ASSERT_TRUE(TypeParam::WriteString(path, L"SEC", L"ALPHA", L"3"));
  EXPECT_EQ(this->Lines(path, L"sec"), (std::vector<std::wstring>{L"alpha=3", L"beta=two words"}));
}

TYPED_TEST(ProfileFileContract, WriteSectionReplacesOnlyThatSectionOrAppendsIt) {
  const std::wstring path = this->File("s.ini");
  WriteBytes(path, "[First]\r\nkeep=1\r\n[Target]\r\nold=x\r\ngone=y\r\n[Last]\r\nz=9\r\n");
  ASSERT_TRUE(TypeParam::WriteSection(path, L"target", std::wstring(L"a=\"1\"\0b=2\0", 11)));
  EXPECT_EQ(this->Lines(path, L"Target"), (std::vector<std::wstring>{L"a=\"1\"", L"b=2"}));
  EXPECT_EQ(this->Lines(path, L"First"), (std::vector<std::wstring>{L"keep=1"}));
  EXPECT_EQ(this->Lines(path, L"Last"), (std::vector<std::wstring>{L"z=9"}));
  EXPECT_EQ(ReadBytes(path).find("\r\r"), std::string::npos) << "the kept lines are stored as they were";
  // A missing section is appended, in a file that does not exist yet too.
  ASSERT_TRUE(TypeParam::WriteSection(path, L"New", std::wstring(L"y=2\0", 4)));
  EXPECT_EQ(this->Lines(path, L"New"), (std::vector<std::wstring>{L"y=2"}));
  EXPECT_EQ(this->Lines(path, L"Last"), (std::vector<std::wstring>{L"z=9"}));
  const std::wstring fresh = this->File("fresh.ini");
  ASSERT_TRUE(TypeParam::WriteSection(fresh, L"One", std::wstring(L"x=1\0", 4)));
  EXPECT_EQ(this->Lines(fresh, L"One"), (std::vector<std::wstring>{L"x=1"}));
}

TYPED_TEST(ProfileFileContract, LinesComeTrimmedWithQuotesAndExtraEqualsKept) {
  const std::wstring path = this->File("t.ini");
  WriteBytes(path, "  [ S ]  \r\n  name  =  'va=lue'  \r\n\r\nplain\r\n");
  EXPECT_EQ(this->Lines(path, L"S"), (std::vector<std::wstring>{L"name='va=lue'", L"plain"}));
}

TYPED_TEST(ProfileFileContract, ASmallBufferIsFilledAndReportedAsSizeMinusTwo) {
  const std::wstring path = this->File("big.ini");
  WriteBytes(path, "[S]\r\nabcdef=123456\r\nsecond=2\r\n");
  wchar_t buffer[10];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  EXPECT_EQ(TypeParam::Read(path, L"S", buffer, 10), 8u);
  EXPECT_EQ(buffer[8], L'\0');
  EXPECT_EQ(buffer[9], L'\0');
  EXPECT_EQ(std::wstring(buffer, 8), L"abcdef=1");
}

TYPED_TEST(ProfileFileContract, TextOutsideAnyAnsiPageSurvivesAWriteAndRead) {
  const std::wstring path = this->File("u.ini");
  const std::wstring name = L"\x65E5\x672C\x8A9E\x00DC\x0416";
  ASSERT_TRUE(TypeParam::WriteSection(path, L"S", L"Name=\"" + name + L"\"" + std::wstring(1, L'\0')));
  ASSERT_TRUE(TypeParam::WriteString(path, L"S", L"K\x00E9y", name));
  EXPECT_EQ(this->Lines(path, L"S"),
            (std::vector<std::wstring>{L"Name=\"" + name + L"\"", L"K\x00E9y=" + name}));
}

TYPED_TEST(ProfileFileContract, ReadsUtf16FilesWithByteOrderMark) {
  const std::wstring path = this->File("w.ini");
  WriteBytes(path, "\xFF\xFE" + ToUtf16Le(L"[S]\r\nk=\x3042\x3044\r\n"));
  EXPECT_EQ(this->Lines(path, L"S"), (std::vector<std::wstring>{L"k=\x3042\x3044"}));
  ASSERT_TRUE(TypeParam::WriteString(path, L"S", L"n", L"\x3046"));
  EXPECT_EQ(this->Lines(path, L"S"), (std::vector<std::wstring>{L"k=\x3042\x3044", L"n=\x3046"}));
  EXPECT_EQ(ReadBytes(path).substr(0, 2), "\xFF\xFE") << "the file stays UTF-16";
}

TYPED_TEST(ProfileFileContract, WritingIntoAMissingFolderFails) {
  const std::wstring path = this->File("no/such/folder.ini");
  EXPECT_FALSE(TypeParam::WriteSection(path, L"S", std::wstring(L"a=1\0", 4)));
  EXPECT_FALSE(TypeParam::WriteString(path, L"S", L"a", L"1"));
  EXPECT_FALSE(PathExists(path));
}

TYPED_TEST(ProfileFileContract, RelativePathsMeanTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(this->mDir.path());
  bool wrote = TypeParam::WriteString(L"relative.ini", L"S", L"k", L"v");
  wchar_t buffer[16] = {};
  DWORD n = TypeParam::Read(L"relative.ini", L"S", buffer, 16);
  fs::current_path(before);
  ASSERT_TRUE(wrote);
  EXPECT_EQ(n, 4u) << "each line counts with its NUL";
  EXPECT_EQ(std::wstring(buffer), L"k=v");
  EXPECT_TRUE(fs::exists(this->mDir.path() / "relative.ini"));
}

TEST(ProfileFileStandIn, ReadsUtf8AndRefusesToRewriteBytesItCannotKeep) {
  if (PathSeparator() != L'/') GTEST_SKIP() << "Windows reads files without a mark in its ANSI page";
  testsupport::TempDir dir;
  const std::wstring path = (dir.path() / "u8.ini").wstring();
  WriteBytes(path, "[S]\nk=\xE6\x97\xA5\n");
  wchar_t buffer[32];
  ASSERT_EQ(ProfileReadSection(path, L"S", buffer, 32), 4u);
  EXPECT_EQ(std::wstring(buffer), L"k=\x65E5");

  const std::string latin1 = "[S]\nk=caf\xE9\n";
  WriteBytes(path, latin1);
  EXPECT_FALSE(ProfileWriteString(path, L"S", L"x", L"1"));
  EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_EQ(ReadBytes(path), latin1);

  // A new file is UTF-8 without a mark, with CR LF line ends.
  const std::wstring fresh = (dir.path() / "fresh.ini").wstring();
  ASSERT_TRUE(ProfileWriteString(fresh, L"S", L"k", L"\x65E5"));
  EXPECT_EQ(ReadBytes(fresh), "[S]\r\nk=\xE6\x97\xA5\r\n");
}

TEST(ProfileFileStandIn, AFifoIsRefusedWithoutWaitingAndKept) {
  if (PathSeparator() != L'/') GTEST_SKIP() << "FIFOs are a posix matter";
  testsupport::TempDir dir;
  const fs::path fifo = dir.path() / "pipe.ini";
  if (std::system(("mkfifo '" + fifo.string() + "'").c_str()) != 0) GTEST_SKIP() << "no mkfifo here";
  EXPECT_TRUE(platformtest::ReturnsWithin(std::chrono::seconds(60), "reading a FIFO", [&] {
    wchar_t buffer[32];
    DWORD got = ProfileReadSection(fifo.wstring(), L"S", buffer, 32);
    bool wrote = ProfileWriteString(fifo.wstring(), L"S", L"k", L"v");
    return got == 0 && !wrote;
  }));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(ProfileFileStandIn, AWriteTheDiskRefusesReportsItsErrorAndKeepsTheFile) {
  testsupport::TempDir dir;
  const std::wstring path = (dir.path() / "kept.ini").wstring();
  const std::string before = "[S]\r\nk=old\r\n";
  WriteBytes(path, before);
  testsupport::FaultyFiles faulty(testsupport::FaultyFiles::kWrite, ERROR_ACCESS_DENIED);
  bool wrote = ProfileWriteString(path, L"S", L"k", L"new");
  if (faulty.Failures() == 0) GTEST_SKIP() << "the system's own profile functions write here";
  EXPECT_FALSE(wrote);
  EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}
