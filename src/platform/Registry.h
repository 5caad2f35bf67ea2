// The registry service. On Windows it is the real registry; on Linux one
// ".reg" text file per hive (see posix/Registry.cpp) stands in for it.
//
// Keys are reached through RegKey, a move-only handle. Every call returns a
// Win32 error code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA ...)
// and never throws. Paths use backslashes and no leading hive name, e.g.
// L"Software\\Talvoren\\OfficeAddIn". Names compare case-insensitively, as
// on Windows.
//
// Threads: any thread may use its own RegKey objects; on posix a write is
// atomic (temporary file and rename) under an advisory lock, so two processes
// writing different values never lose each other's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/platform/Types.h"

namespace platform {

enum class Hive { CurrentUser, LocalMachine, ClassesRoot };

// Registry value types by their Windows numbers.
enum class RegType : std::uint32_t {
  None = 0,
  Sz = 1,
  ExpandSz = 2,
  Binary = 3,
  Dword = 4,
  MultiSz = 7,
  Qword = 11,
};

struct RegValue {
  RegType type = RegType::None;
  std::wstring text;                // Sz, ExpandSz
  std::vector<std::wstring> multi;  // MultiSz
  std::uint32_t dword = 0;          // Dword
  std::uint64_t qword = 0;          // Qword
  std::vector<std::uint8_t> binary; // Binary (and any other type, raw)
  bool raw = false;                 // data did not fit its type: bytes kept in `binary`

  static RegValue String(std::wstring s) { RegValue v; v.type = RegType::Sz; v.text = std::move(s); return v; }
  static RegValue Expand(std::wstring s) { RegValue v; v.type = RegType::ExpandSz; v.text = std::move(s); return v; }
  static RegValue Dword(std::uint32_t d) { RegValue v; v.type = RegType::Dword; v.dword = d; return v; }
  static RegValue Multi(std::vector<std::wstring> m) { RegValue v; v.type = RegType::MultiSz; v.multi = std::move(m); return v; }
  static RegValue Qword(std::uint64_t q) { RegValue v; v.type = RegType::Qword; v.qword = q; return v; }
  // Data given as the registry stores it, for any type.
  static RegValue Bytes(std::vector<std::uint8_t> b, RegType t = RegType::Binary) { RegValue v; v.type = t; v.binary = std::move(b); v.raw = true; return v; }
};

// The value's data as the registry stores it: UTF-16LE text with its
// terminator(s), little-endian numbers, raw bytes for the rest.
std::vector<std::uint8_t> RegValueBytes(const RegValue& value);
// Builds a value from its type and stored bytes. Data whose size does not
// fit its type (a REG_DWORD of 2 bytes, text of an odd byte count) keeps its
// type but stays in `binary` with `raw` set and the typed field left empty;
// readers that need "REG_DWORD of exactly 4 bytes" test IsWellFormedValue.
// QueryValue returns values built this way.
RegValue RegValueFromBytes(RegType type, const std::vector<std::uint8_t>& bytes);
bool IsWellFormedValue(const RegValue& value);

// Which view of the registry a 64-bit process opens: its own, or the one
// 32-bit programs see (KEY_WOW64_32KEY). The posix registry has one view.
enum class RegView { Native, Registry32 };

class RegKeyImpl;  // platform-specific state

class RegKey {
 public:
  RegKey();
  ~RegKey();
  RegKey(RegKey&&) noexcept;
  RegKey& operator=(RegKey&&) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
  static LONG Open(Hive hive, const std::wstring& path, bool writable, RegKey* out);
  // The same in a chosen view; sub-keys opened from the key keep the view.
  static LONG Open(Hive hive, const std::wstring& path, bool writable, RegKey* out, RegView view);
  // Opens or creates a key (and its missing parents) for writing.
  static LONG Create(Hive hive, const std::wstring& path, RegKey* out);

  bool IsOpen() const;
  explicit operator bool() const { return IsOpen(); }
  void Close();

  // Opens or creates a sub-key relative to this key.
  LONG OpenSubkey(const std::wstring& name, bool writable, RegKey* out) const;
  LONG CreateSubkey(const std::wstring& name, RegKey* out) const;

  // Reads one value with its type; ERROR_FILE_NOT_FOUND when absent.
  LONG QueryValue(const std::wstring& name, RegValue* out) const;
  LONG SetValue(const std::wstring& name, const RegValue& value);
  LONG DeleteValue(const std::wstring& name);

  // Direct sub-key names and value names, in the order the registry gives.
  LONG EnumSubkeys(std::vector<std::wstring>* names) const;
  LONG EnumValues(std::vector<std::wstring>* names) const;

  // Deletes a sub-key with everything below it.
  LONG DeleteSubkeyTree(const std::wstring& name);

 private:
  std::unique_ptr<RegKeyImpl> mImpl;
};

// Convenience for whole-key deletion from the hive root.
LONG DeleteKeyTree(Hive hive, const std::wstring& path);

// "HKCU", "HKEY_CURRENT_USER", "HKLM", ... (case-insensitive) to a hive.
bool ParseHiveName(const std::wstring& name, Hive* out);
// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT".
std::wstring HiveLongName(Hive hive);

// "REG_SZ", "REG_DWORD" ... and back (case-insensitive); false when unknown.
std::wstring RegTypeName(RegType type);
bool ParseRegTypeName(const std::wstring& name, RegType* out);

// One logical change (a settings save, one command) as one unit: on posix
// the thread's changes to the hive between construction and Commit are
// kept in memory under the hive's lock and written in one atomic rewrite;
// a batch destroyed without Commit writes nothing. Batches nest; the
// outermost one writes. On Windows every change reaches the registry at
// once and a batch does nothing.
class RegBatch {
 public:
  explicit RegBatch(Hive hive);
  ~RegBatch();
  RegBatch(const RegBatch&) = delete;
  RegBatch& operator=(const RegBatch&) = delete;
  LONG Commit();

 private:
  Hive mHive;
  bool mEnded = false;
};

// For measuring what batches save: switches them off (every change is its
// own rewrite), and counts the hive rewrites of the process (0 on Windows).
void SetRegistryBatching(bool enabled);
std::uint64_t RegistryRewriteCount();

// The file that stands in for a hive (posix: the ".reg" file the key data
// lives in, honouring PELORANT_REGISTRY); empty on Windows, where the real
// registry holds it. Tests use it to reach the file-specific behaviour.
std::wstring RegistryHiveFile(Hive hive);

}  // namespace platform
