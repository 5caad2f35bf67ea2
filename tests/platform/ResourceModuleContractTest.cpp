#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "src/platform/Files.h"
#include "src/platform/ResourceModules.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"
#include "tests/support/SupportTestPaths.h"

namespace {

using platform::ReadVersionBlock;
using platform::ResourceModuleFile;
using platform::VersionBlock;

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

TEST(ResourceModuleFiles, MissingFileOrOneThatIsNoModuleIsRefused) {
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
}

// Linux programs carry their resources compiled in; Windows reads the module
// file itself, never the block compiled in.
TEST(ResourceModuleFiles, OwnVersionBlock) {
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
