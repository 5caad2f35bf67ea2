// File services at the level of the tasks the add-in does with files: read a
// whole file of bounded size, replace a file by a complete new one, keep a
// file the program cannot read aside, make folders.
//
// Every call goes through one process-wide table (Files()). Tests replace it
// with a FilesWrapper that fails one call to prove that a failed write loses
// nothing. Paths are wide strings as the rest of the platform layer takes
// them; on posix they hold UTF-8-convertible text and '/' separators.
//
// Errors are Win32 codes (ERROR_SUCCESS on success) on both platforms.
// Out-arguments are written only on success. All calls are safe from any
// thread; the table itself is swapped only while no other thread uses it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "src/platform/Types.h"

namespace platform {

// The std::filesystem path for a platform path. Through UTF-8 on posix: a
// wide path handed to std::filesystem directly is converted by the C locale
// and fails on any non-ASCII folder name.
std::filesystem::path NativePath(const std::wstring& path);

enum class FileKind { Missing, Regular, Folder, Other };

struct WriteOptions {
  // A new file is readable by its owner only (a user's registry hive). A file
  // that is replaced keeps its own permissions either way.
  bool ownerOnly = false;
};

class Files {
 public:
  virtual ~Files() = default;

  // What is at `path`, following links. Missing also when it cannot be
  // examined at all.
  virtual FileKind Kind(const std::wstring& path) = 0;

  // The whole of the regular file at `path`. ERROR_FILE_NOT_FOUND when
  // nothing is there, ERROR_ACCESS_DENIED for a folder or a device,
  // ERROR_FILE_TOO_LARGE when it holds more than `maxBytes`, else the error
  // that stopped the read. Never blocks on a pipe.
  virtual DWORD ReadFile(const std::wstring& path, std::size_t maxBytes, std::string* out) = 0;

  // Replaces (or creates) `path` by a file holding exactly `bytes`: they go
  // to a temporary file beside it, reach the disk, and the temporary file is
  // renamed over `path`. On failure `path` is as it was and no temporary file
  // is left behind.
  virtual DWORD WriteAtomically(const std::wstring& path, std::string_view bytes, const WriteOptions& options) = 0;

  // The same for writers that need a file name of their own (an archive
  // library): `fill` writes the complete file at the temporary path it is
  // given and returns false on failure, which becomes ERROR_WRITE_FAULT.
  virtual DWORD WriteAtomicallyWith(const std::wstring& path, const std::function<bool(const std::wstring& temp)>& fill,
                                    const WriteOptions& options) = 0;

  // Moves the file at `path` to `path + suffix`, or `path + suffix + "-N"`
  // when that name is taken, never over another file. `moved` receives the
  // new name.
  virtual DWORD KeepAside(const std::wstring& path, const std::wstring& suffix, std::wstring* moved) = 0;

  // Creates a folder and its missing parents. ERROR_SUCCESS also when it
  // existed already; ERROR_FILE_EXISTS when a file is in its place.
  virtual DWORD CreateFolders(const std::wstring& path) = 0;
};

// The process's table, and the platform's own implementation behind it.
Files& CurrentFiles();
Files& PlatformFiles();
// Makes `files` the process's table (nullptr: the platform's own) and
// returns the one it replaces. The caller keeps `files` alive while it is set.
Files* SetFiles(Files* files);

// Forwards every call to another table, so a test overrides only the call
// it wants to fail.
class FilesWrapper : public Files {
 public:
  explicit FilesWrapper(Files& target) : mTarget(target) {}
  FileKind Kind(const std::wstring& path) override { return mTarget.Kind(path); }
  DWORD ReadFile(const std::wstring& path, std::size_t maxBytes, std::string* out) override {
    return mTarget.ReadFile(path, maxBytes, out);
  }
  DWORD WriteAtomically(const std::wstring& path, std::string_view bytes, const WriteOptions& options) override {
    return mTarget.WriteAtomically(path, bytes, options);
  }
  DWORD WriteAtomicallyWith(const std::wstring& path, const std::function<bool(const std::wstring& temp)>& fill,
                            const WriteOptions& options) override {
    return mTarget.WriteAtomicallyWith(path, fill, options);
  }
  DWORD KeepAside(const std::wstring& path, const std::wstring& suffix, std::wstring* moved) override {
    return mTarget.KeepAside(path, suffix, moved);
  }
  DWORD CreateFolders(const std::wstring& path) override { return mTarget.CreateFolders(path); }

 protected:
  Files& Target() { return mTarget; }

 private:
  Files& mTarget;
};

// Sets a table for the life of the object (tests).
class ScopedFiles {
 public:
  explicit ScopedFiles(Files& files) : mOld(SetFiles(&files)) {}
  ~ScopedFiles() { SetFiles(mOld); }
  ScopedFiles(const ScopedFiles&) = delete;
  ScopedFiles& operator=(const ScopedFiles&) = delete;

 private:
  Files* mOld;
};

}  // namespace platform
