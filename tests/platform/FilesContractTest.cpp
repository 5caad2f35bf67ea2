// What every file table keeps to: the platform's own (posix here, win32
// under Wine) and a wrapper over it, which tests use to inject failures and
// which must change nothing it does not override.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "src/platform/Files.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/common/Bytes.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;
using platform::FileKind;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

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

}  // namespace

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
