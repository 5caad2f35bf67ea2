// The HTML Help control comes from the file its class registration names,
// else from the system folder; never from a file of its name that a load by
// bare name finds first (the program's folder, the current folder).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/common/TempDir.h"
#include "tests/win32/WinTestSupport.h"

namespace {

// The control's class registration, changed here in the suite's own Wine
// prefix and put back as it was (Wine's classes have no per-user view that
// could hide it instead).
const wchar_t kServerKey[] = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::wstring SystemControl() {
  wchar_t folder[MAX_PATH] = {};
  ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\hhctrl.ocx";
}

// A copy of the fake control, unloaded (should anything have loaded it) and
// removed when it goes.
class Planted {
 public:
  Planted(const std::wstring& source, std::wstring path) : mPath(std::move(path)) {
    mCopied = ::CopyFileW(source.c_str(), mPath.c_str(), FALSE);
  }
  ~Planted() {
    while (HMODULE module = ::GetModuleHandleW(mPath.c_str())) {
      if (!::FreeLibrary(module)) break;
    }
    ::DeleteFileW(mPath.c_str());
  }
  Planted(const Planted&) = delete;
  Planted& operator=(const Planted&) = delete;
  bool Copied() const { return mCopied; }
  bool Loaded() const { return ::GetModuleHandleW(mPath.c_str()) != nullptr; }
  const std::wstring& Path() const { return mPath; }

 private:
  std::wstring mPath;
  bool mCopied = false;
};

TEST(HelpControlTest, ComesFromItsRegistrationOrTheSystemFolderNeverFromTheSearchPath) {
  const std::wstring fake = wintest::ModuleFromEnv("PELORANT_FAKE_HELP_DLL");
  ASSERT_FALSE(fake.empty()) << "PELORANT_FAKE_HELP_DLL names the fake help control";
  const std::optional<std::wstring> server = wintest::ReadString(HKEY_CLASSES_ROOT, kServerKey, L"");
  ASSERT_TRUE(server) << "the system registers no help control";
  testsupport::TempDir temp;
  Planted besideProgram(fake, FolderOf(ProgramPath()) + L"\\hhctrl.ocx");
  Planted inCurrentFolder(fake, temp.wpath() + L"\\hhctrl.ocx");
  Planted registered(fake, temp.wpath() + L"\\registered-help.ocx");
  ASSERT_TRUE(besideProgram.Copied() && inCurrentFolder.Copied() && registered.Copied());
  struct Restore {
    std::wstring folder, server;
    ~Restore() {
      ::SetCurrentDirectoryW(folder.c_str());
      wintest::WriteString(HKEY_CLASSES_ROOT, kServerKey, L"", server);
    }
  } restore{std::filesystem::current_path().wstring(), *server};
  ASSERT_TRUE(::SetCurrentDirectoryW(temp.wpath().c_str()));

  const std::wstring help = temp.wpath() + L"\\Pelorant.chm";
  // A name that is not a full path, and a full path to nothing, fall back
  // to the system folder; the first of them is where a load by bare name
  // would take a planted copy.
  const struct {
    std::wstring server;
    bool registeredOne;
  } cases[] = {
      {L"hhctrl.ocx", false},
      {temp.wpath() + L"\\missing\\hhctrl.ocx", false},
      {registered.Path(), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.server));
    wintest::WriteString(HKEY_CLASSES_ROOT, kServerKey, L"", c.server);
    const bool shown = platform::OpenHelpFile(help);
    EXPECT_FALSE(besideProgram.Loaded());
    EXPECT_FALSE(inCurrentFolder.Loaded());
    EXPECT_EQ(registered.Loaded(), c.registeredOne);
    // Only the fake answers a help file that is not there with a window.
    EXPECT_EQ(shown, c.registeredOne);
    if (!c.registeredOne) {
      EXPECT_NE(::GetModuleHandleW(SystemControl().c_str()), nullptr);
    }
  }
}

}  // namespace
