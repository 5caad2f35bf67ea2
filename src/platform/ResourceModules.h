// Language resource modules: files that carry a string table and a version
// block. On Windows they are resource-only DLLs loaded as data; on Linux a
// UTF-8 text file with the same content (see posix/ResourceModules.cpp for
// its layout), named like the Windows module but ending in ".res".
#pragma once

#include <map>
#include <memory>
#include <string>

#include "src/platform/Picture.h"
#include "src/platform/Types.h"

namespace platform {

// What a module file name ends with on this platform: ".dll" or ".res".
std::wstring ResourceModuleExtension();

// A version block: its first translation as "%04x%04x" and its string values
// keyed by the query path "\StringFileInfo\<translation>\<name>".
struct VersionBlock {
  std::wstring translation;
  std::map<std::wstring, std::wstring> values;
  bool empty() const { return translation.empty(); }
};

class ResourceModuleFile {
 public:
  virtual ~ResourceModuleFile() = default;

  // Opens a module file as data; null when it is missing or unreadable.
  static std::unique_ptr<ResourceModuleFile> Load(const std::wstring& path);

  // The text of string resource `id`; false when the module has none (on
  // Windows an empty string resource reads as absent, as LoadStringW has it).
  virtual bool ReadString(unsigned id, std::wstring* text) const = 0;
  // Releases the module; false when the system refuses.
  virtual bool Free() = 0;
  virtual const std::wstring& Path() const = 0;
};

// The version block of a module file; false (and an empty block) when the
// file has none or cannot be read.
bool ReadVersionBlock(const std::wstring& modulePath, VersionBlock* block);

// The version block of the program's own module. Windows reads the add-in
// DLL's own resource; where modules carry no resources (Linux), `builtIn`
// stands in for it.
bool ReadOwnVersionBlock(const VersionBlock& builtIn, VersionBlock* block);

// The program's own bitmap resource `id`, every pixel opaque; false (and an
// empty picture) when there is none. Windows reads the add-in DLL's
// resource; where modules carry no resources (Linux), `builtIn` (empty when
// the program has no such picture) stands in for it.
bool ReadOwnBitmap(unsigned id, const Picture& builtIn, Picture* picture);

// The program's own icon resource `id` drawn at size x size onto the colour
// of a button face, as a bitmap of opaque pixels; false when there is none.
bool DrawOwnIcon(unsigned id, int size, const Picture& builtIn, Picture* picture);

}  // namespace platform
