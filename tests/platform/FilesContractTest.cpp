// Files on both platforms: the file tables, and the profile files of the
// system's service against the portable document rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "src/platform/Files.h"
#include "src/platform/ProfileDocument.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/common/Bytes.h"
#include "tests/common/FaultyFiles.h"
#include "tests/platform/TestSupport.h"

using namespace platform;
namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;
using Lines = std::vector<std::wstring>;

namespace {

// What every file table keeps to: the platform's own (posix here, win32
// under Wine) and a wrapper over it, which tests use to inject failures and
// which must change nothing it does not override.
constexpr DWORD kOk = ERROR_SUCCESS;

struct OwnFiles {
  platform::Files& files = platform::PlatformFiles();
};
struct WrappedFiles {
  platform::FilesWrapper wrapper{platform::PlatformFiles()};
  platform::Files& files = wrapper;
};

template <typename T>
class FileTableContract : public ::testing::Test {
 protected:
  std::wstring Path(const std::wstring& name) const { return platform::JoinPath(mDir.wpath(), name); }
  // Names in the folder, sorted, so a test sees any temporary file left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mDir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  platform::Files& Files() { return mImpl.files; }

  testsupport::TempDir mDir;
  T mImpl;
};

using Implementations = ::testing::Types<OwnFiles, WrappedFiles>;
TYPED_TEST_SUITE(FileTableContract, Implementations);

TYPED_TEST(FileTableContract, ReadsARegularFileWholeAndRefusesWhatIsNone) {
  const std::wstring file = this->Path(L"d\x00E9j\x00E0.bin");  // a non-ASCII name
  const std::string bytes("a\0b\r\n\xFF", 6);
  ASSERT_TRUE(WriteBytes(file, bytes));
  std::string out = "untouched";
  EXPECT_EQ(this->Files().ReadFile(file, 6, &out), kOk);
  EXPECT_EQ(out, bytes);
  EXPECT_EQ(this->Files().Kind(file), FileKind::Regular);

  struct Case {
    std::wstring path;
    size_t cap;
    DWORD error;
  } cases[] = {
      {file, 5, ERROR_FILE_TOO_LARGE},
      {this->Path(L"absent"), 100, ERROR_FILE_NOT_FOUND},
      {this->mDir.wpath(), 100, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    out = "untouched";
    EXPECT_EQ(this->Files().ReadFile(c.path, c.cap, &out), c.error) << platform::ToUtf8(c.path);
    EXPECT_EQ(out, "untouched") << "nothing is written on failure";
  }
  EXPECT_EQ(this->Files().Kind(this->Path(L"absent")), FileKind::Missing);
  EXPECT_EQ(this->Files().Kind(this->mDir.wpath()), FileKind::Folder);
}

// An atomic write creates or replaces the whole file and leaves no
// temporary file; a missing folder, and a folder where the file should be,
// change nothing. Folders are made with their parents, once, never over a file.
TYPED_TEST(FileTableContract, AtomicWritesReplaceWholeFilesAndFoldersAreMadeWithTheirParents) {
  const std::wstring file = this->Path(L"data.txt");
  for (const std::string& bytes : {std::string("first version, long"), std::string("2\0", 2), std::string()}) {
    ASSERT_EQ(this->Files().WriteAtomically(file, bytes, {}), kOk);
    EXPECT_EQ(ReadBytes(file), bytes);
  }
  EXPECT_EQ(this->Names(), std::vector<std::string>{"data.txt"});
  EXPECT_NE(this->Files().WriteAtomically(this->Path(L"no-such/x.txt"), "x", {}), kOk);
  const std::wstring deep = this->Path(L"sub") + platform::PathSeparator() + L"b" + platform::PathSeparator() + L"c";
  ASSERT_EQ(this->Files().CreateFolders(deep), kOk);
  EXPECT_EQ(this->Files().Kind(deep), FileKind::Folder);
  EXPECT_EQ(this->Files().CreateFolders(deep), kOk) << "an existing folder is fine";
  EXPECT_NE(this->Files().WriteAtomically(this->Path(L"sub"), "x", {}), kOk);
  EXPECT_EQ(this->Files().Kind(this->Path(L"sub")), FileKind::Folder);
  EXPECT_EQ(this->Files().CreateFolders(file), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadBytes(file), "");
  EXPECT_EQ(this->Names(), (std::vector<std::string>{"data.txt", "sub"}));
}

TYPED_TEST(FileTableContract, AWriterWithItsOwnFileNameCommitsOnlyWhatItFinished) {
  const std::wstring file = this->Path(L"deck.pptx");
  ASSERT_TRUE(WriteBytes(file, "old"));
  auto writes = [](const std::string& bytes, bool result) {
    return [=](const std::wstring& temp) { return WriteBytes(temp, bytes) && result; };
  };
  EXPECT_EQ(this->Files().WriteAtomicallyWith(file, writes("half", false), {}), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_EQ(ReadBytes(file), "old");
  EXPECT_THROW(this->Files().WriteAtomicallyWith(
                   file, [](const std::wstring& temp) -> bool { throw std::runtime_error("writer failed"); }, {}),
               std::runtime_error);
  EXPECT_EQ(ReadBytes(file), "old");
  EXPECT_EQ(this->Names(), std::vector<std::string>{"deck.pptx"});
  ASSERT_EQ(this->Files().WriteAtomicallyWith(file, writes("new", true), {}), kOk);
  EXPECT_EQ(ReadBytes(file), "new");
  EXPECT_EQ(this->Names(), std::vector<std::string>{"deck.pptx"});
}

TYPED_TEST(FileTableContract, KeepingAsideNeverReplacesAnEarlierCopy) {
  const std::wstring file = this->Path(L"cache.tsv");
  std::vector<std::wstring> moved;
  for (const char* content : {"one", "two", "three"}) {
    ASSERT_TRUE(WriteBytes(file, content));
    std::wstring to;
    ASSERT_EQ(this->Files().KeepAside(file, L".damaged", &to), kOk);
    moved.push_back(to);
  }
  EXPECT_EQ(moved, (std::vector<std::wstring>{file + L".damaged", file + L".damaged-1", file + L".damaged-2"}));
  EXPECT_EQ(ReadBytes(moved[0]), "one");
  EXPECT_EQ(ReadBytes(moved[2]), "three");
  EXPECT_EQ(this->Files().Kind(file), FileKind::Missing);
  std::wstring to = L"untouched";
  EXPECT_NE(this->Files().KeepAside(file, L".damaged", &to), kOk);
  EXPECT_EQ(to, L"untouched");
}

TEST(FilesTable, ANewFileIsPrivateOnlyWhenAskedAndAReplacedOneKeepsItsPermissions) {
  if (platform::PathSeparator() != L'/') GTEST_SKIP() << "permission bits are a posix matter";
  testsupport::TempDir dir;
  const std::wstring shared = platform::JoinPath(dir.wpath(), L"shared");
  const std::wstring secret = platform::JoinPath(dir.wpath(), L"secret");
  platform::WriteOptions ownerOnly;
  ownerOnly.ownerOnly = true;
  ASSERT_EQ(platform::PlatformFiles().WriteAtomically(secret, "s", ownerOnly), kOk);
  ASSERT_EQ(platform::PlatformFiles().WriteAtomically(shared, "s", {}), kOk);
  auto perms = [](const std::wstring& p) { return fs::status(platform::NativePath(p)).permissions(); };
  EXPECT_EQ(perms(secret), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(perms(shared) & fs::perms::owner_read, fs::perms::none);
  fs::permissions(platform::NativePath(shared), fs::perms::owner_all | fs::perms::group_read);
  ASSERT_EQ(platform::PlatformFiles().WriteAtomically(shared, "t", ownerOnly), kOk);
  EXPECT_EQ(perms(shared), fs::perms::owner_all | fs::perms::group_read);
}

// The profile-file contract, run against the system's service: Windows' own
// functions under Wine, the posix stand-in (built on the portable document
// rules) on Linux, so that both platforms are held to one behaviour.
class ProfileFileContract : public ::testing::Test {
 protected:
  std::wstring File(const char* name) const { return (mDir.path() / name).wstring(); }

  // The section's lines through a generous buffer.
  static Lines Read(const std::wstring& path, const std::wstring& section) {
    std::vector<wchar_t> buffer(4096, L'#');
    DWORD n = ProfileReadSection(path, section, buffer.data(), static_cast<DWORD>(buffer.size()));
    EXPECT_LT(n, buffer.size() - 2);
    EXPECT_EQ(buffer[n], L'\0') << "the list ends with a NUL";
    Lines lines;
    for (const wchar_t* p = buffer.data(); *p != L'\0'; p += wcslen(p) + 1) lines.emplace_back(p);
    return lines;
  }

  testsupport::TempDir mDir;
};

// Lines come trimmed, quotes and further "=" kept, blank lines left out; a
// UTF-16 file with its mark reads as text; a missing section or file reads
// empty; a small buffer is filled and reported as its size less two.
TEST_F(ProfileFileContract, ReadsTheLinesOfOneSection) {
  const struct {
    std::string bytes;
    const wchar_t* section;
    Lines lines;
  } cases[] = {
      {"[Other]\r\nk=v\r\n", L"S", {}},
      {"  [ S ]  \r\n  name  =  'va=lue'  \r\n\r\nplain\r\n", L"S", {L"name='va=lue'", L"plain"}},
      {"\xFF\xFE" + ToUtf16Le(L"[S]\r\nk=\x3042\x3044\r\n"), L"s", {L"k=\x3042\x3044"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    WriteBytes(File("r.ini"), c.bytes);
    EXPECT_EQ(Read(File("r.ini"), c.section), c.lines);
  }
  wchar_t buffer[10] = {L'#', L'#'};
  EXPECT_EQ(ProfileReadSection(File("none.ini"), L"S", buffer, 10), 0u);
  EXPECT_EQ(buffer[0], L'\0');
  WriteBytes(File("big.ini"), "[S]\r\nabcdef=123456\r\nsecond=2\r\n");
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  EXPECT_EQ(ProfileReadSection(File("big.ini"), L"S", buffer, 10), 8u);
  EXPECT_EQ(std::wstring(buffer, 10), std::wstring(L"abcdef=1\0\0", 10));
}

// A key is added, or updated in place whatever its case, in a file and
// section made when missing; a whole section is replaced, the other
// sections' lines kept as they were, or appended when missing; a file stays
// in its encoding.
TEST_F(ProfileFileContract, WritesKeysAndSectionsAndKeepTheRest) {
  const std::wstring path = File("new.ini");
  const std::wstring name = L"\x65E5\x672C\x8A9E\x00DC\x0416";  // outside any ANSI page
  ASSERT_TRUE(ProfileWriteString(path, L"Sec", L"alpha", L"1"));
  ASSERT_TRUE(ProfileWriteString(path, L"Sec", L"beta", L"two words"));
  ASSERT_TRUE(ProfileWriteString(path, L"SEC", L"ALPHA", L"3"));
  ASSERT_TRUE(ProfileWriteString(path, L"Sec", L"K\x00E9y", name));
  EXPECT_EQ(Read(path, L"sec"), (Lines{L"alpha=3", L"beta=two words", L"K\x00E9y=" + name}));

  const std::wstring body = L"[First]\r\nkeep=1\r\n[Target]\r\nold=x\r\ngone=y\r\n[Last]\r\nz=9\r\n";
  for (const std::string& bytes : {ToUtf8(body), "\xFF\xFE" + ToUtf16Le(body)}) {
    const std::wstring s = File("s.ini");
    WriteBytes(s, bytes);
    ASSERT_TRUE(ProfileWriteSection(s, L"target", std::wstring(L"a=\"1\"\0b=2\0", 11)));
    ASSERT_TRUE(ProfileWriteSection(s, L"New", std::wstring(L"y=2\0", 4)));
    EXPECT_EQ(Read(s, L"Target"), (Lines{L"a=\"1\"", L"b=2"}));
    EXPECT_EQ(Read(s, L"First"), (Lines{L"keep=1"}));
    EXPECT_EQ(Read(s, L"Last"), (Lines{L"z=9"}));
    EXPECT_EQ(Read(s, L"New"), (Lines{L"y=2"}));
    EXPECT_EQ(ReadBytes(s).substr(0, 2), bytes.substr(0, 2)) << "the encoding is kept";
    EXPECT_EQ(ReadBytes(s).find("\r\r"), std::string::npos) << "the kept lines are stored as they were";
  }
  ASSERT_TRUE(ProfileWriteSection(File("fresh.ini"), L"One", std::wstring(L"x=\x65E5\0", 4)));
  EXPECT_EQ(Read(File("fresh.ini"), L"One"), (Lines{L"x=\x65E5"}));
}

TEST_F(ProfileFileContract, MissingFolderFailsAndRelativePathsMeanTheCurrentFolder) {
  const std::wstring missing = File("no/such/folder.ini");
  EXPECT_FALSE(ProfileWriteSection(missing, L"S", std::wstring(L"a=1\0", 4)));
  EXPECT_FALSE(ProfileWriteString(missing, L"S", L"a", L"1"));
  EXPECT_FALSE(PathExists(missing));

  const fs::path before = fs::current_path();
  fs::current_path(mDir.path());
  bool wrote = ProfileWriteString(L"relative.ini", L"S", L"k", L"v");
  wchar_t buffer[16] = {};
  DWORD n = ProfileReadSection(L"relative.ini", L"S", buffer, 16);
  fs::current_path(before);
  ASSERT_TRUE(wrote);
  EXPECT_EQ(n, 4u) << "each line counts with its NUL";
  EXPECT_EQ(std::wstring(buffer), L"k=v");
  EXPECT_TRUE(fs::exists(mDir.path() / "relative.ini"));
}

// The posix stand-in reports a write the disk refuses and keeps the file;
// it reads UTF-8 and refuses to rewrite bytes it cannot keep; it refuses a
// FIFO without waiting and keeps it. (Windows reads files without a mark in
// its ANSI page, and its own functions write past the file table.)
TEST_F(ProfileFileContract, StandInReadsUtf8AndRefusesToRewriteBytesItCannotKeep) {
  if (PathSeparator() != L'/') GTEST_SKIP() << "the stand-in is the posix one";
  const std::wstring path = File("u8.ini");
  const std::string before = "[S]\r\nk=old\r\n";
  WriteBytes(path, before);
  {
    testsupport::FaultyFiles faulty(testsupport::FaultyFiles::kWrite, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ProfileWriteString(path, L"S", L"k", L"new"));
    EXPECT_GT(faulty.Failures(), 0);
  }
  EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(mDir.path()), fs::directory_iterator()), 1);

  WriteBytes(path, "[S]\nk=\xE6\x97\xA5\n");
  EXPECT_EQ(Read(path, L"S"), (Lines{L"k=\x65E5"}));
  const std::string latin1 = "[S]\nk=caf\xE9\n";
  WriteBytes(path, latin1);
  EXPECT_FALSE(ProfileWriteString(path, L"S", L"x", L"1"));
  EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_FALSE(ProfileWriteSection(path, L"T", std::wstring(L"x=1\0", 4)));
  EXPECT_EQ(ReadBytes(path), latin1);

  // A new file is UTF-8 without a mark, with CR LF line ends.
  ASSERT_TRUE(ProfileWriteString(File("fresh.ini"), L"S", L"k", L"\x65E5"));
  EXPECT_EQ(ReadBytes(File("fresh.ini")), "[S]\r\nk=\xE6\x97\xA5\r\n");

  const fs::path fifo = mDir.path() / "pipe.ini";
  if (std::system(("mkfifo '" + fifo.string() + "'").c_str()) != 0) GTEST_SKIP() << "no FIFOs here";
  EXPECT_TRUE(platformtest::ReturnsWithin(std::chrono::seconds(60), "reading a FIFO", [&] {
    wchar_t buffer[32];
    return ProfileReadSection(fifo.wstring(), L"S", buffer, 32) == 0 &&
           !ProfileWriteString(fifo.wstring(), L"S", L"k", L"v");
  }));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// Found by fuzzing the document rules the stand-in is built on: a NUL inside
// a line reads as two entries (entries travel NUL-terminated); rewriting
// would store them as two lines, so the file counts as one that cannot be
// rewritten without change. Both encodings.
TEST(ProfileDocument, ANulInsideALineMakesTheFileUnwritable) {
  const std::string inputs[] = {
      "\xFF\xFE" + ToUtf16Le(std::wstring(L"[S]\r\na\v\0b=1", 11)),
      std::string("[S]\r\na\v\0b=1\r\n", 13),
  };
  for (const std::string& bytes : inputs) {
    bool lossless = true;
    ProfileDocument doc = ProfileDocument::Parse(bytes, &lossless);
    EXPECT_FALSE(lossless);
    EXPECT_EQ(doc.SectionEntries(L"S").size(), 1u) << "the line stays one line when read";
  }
  bool lossless = false;
  ProfileDocument::Parse("[S]\r\na=1\r\n", &lossless);
  EXPECT_TRUE(lossless);
}

}  // namespace
