// Linux resource modules are UTF-8 text files, generated at build time from
// the same tables as the Windows DLLs:
//
//   PELORANT-RESOURCE-MODULE 1
//   # comment
//   [StringTable]
//   101<TAB>en
//   [VersionInfo]
//   Translation<TAB>040904b0
//   ProductName<TAB>Talvoren PowerPoint AddIn
//
// Texts use the escapes \n \r \t \\. A file without the first line is not a
// module and is refused as a whole.
#include "src/platform/ResourceModules.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace platform {
namespace {

constexpr const char* kMagic = "PELORANT-RESOURCE-MODULE 1";
// A module holds a few hundred short texts; anything far larger is not one.
constexpr std::streamoff kMaxModuleBytes = 16 * 1024 * 1024;

std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size()) {
      wchar_t next = text[i + 1];
      if (next == L'n') { out += L'\n'; ++i; continue; }
      if (next == L'r') { out += L'\r'; ++i; continue; }
      if (next == L't') { out += L'\t'; ++i; continue; }
      if (next == L'\\') { out += L'\\'; ++i; continue; }
    }
    out += text[i];
  }
  return out;
}

struct ParsedModule {
  std::map<unsigned, std::wstring> strings;
  VersionBlock version;
};

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  std::ifstream in(ToUtf8(path), std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxModuleBytes) return false;
  in.seekg(0, std::ios::beg);
  bytes->resize(static_cast<size_t>(size));
  if (size > 0 && !in.read(bytes->data(), size)) return false;
  return true;
}

bool Parse(const std::wstring& path, ParsedModule* module) {
  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) return false;
  std::istringstream lines(bytes);
  std::string line;
  if (!std::getline(lines, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line != kMagic) {
    ReportDiagnostic(L"Not a resource module (bad first line): " + path);
    return false;
  }
  enum class Section { None, Strings, Version } section = Section::None;
  std::map<std::wstring, std::wstring> versionValues;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line == "[StringTable]") { section = Section::Strings; continue; }
    if (line == "[VersionInfo]") { section = Section::Version; continue; }
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) continue;
    std::wstring key = FromUtf8(line.substr(0, tab));
    std::wstring text = Unescape(FromUtf8(line.substr(tab + 1)));
    if (section == Section::Strings) {
      unsigned long id = 0;
      bool digits = key.size() <= 5;
      for (wchar_t c : key) {
        if (c < L'0' || c > L'9') { digits = false; break; }
        id = id * 10 + static_cast<unsigned long>(c - L'0');
      }
      if (digits && id <= 0xFFFF) module->strings[static_cast<unsigned>(id)] = std::move(text);
    } else if (section == Section::Version) {
      versionValues[key] = std::move(text);
    }
  }
  auto translation = versionValues.find(L"Translation");
  if (translation != versionValues.end() && !translation->second.empty()) {
    module->version.translation = translation->second;
    for (auto& [name, value] : versionValues) {
      if (name == L"Translation") continue;
      module->version.values[L"\\StringFileInfo\\" + translation->second + L"\\" + name] = value;
    }
  }
  return true;
}

class PosixResourceModuleFile : public ResourceModuleFile {
 public:
  PosixResourceModuleFile(std::wstring path, std::map<unsigned, std::wstring> strings)
      : mPath(std::move(path)), mStrings(std::move(strings)) {}

  bool ReadString(unsigned id, std::wstring* text) const override {
    auto it = mStrings.find(id);
    if (it == mStrings.end()) return false;
    *text = it->second;
    return true;
  }
  bool Free() override {
    mStrings.clear();
    return true;
  }
  const std::wstring& Path() const override { return mPath; }

 private:
  std::wstring mPath;
  std::map<unsigned, std::wstring> mStrings;
};

}  // namespace

std::wstring ResourceModuleExtension() { return L".res"; }

std::unique_ptr<ResourceModuleFile> ResourceModuleFile::Load(const std::wstring& path) {
  try {
    ParsedModule parsed;
    if (!Parse(path, &parsed)) return nullptr;
    return std::make_unique<PosixResourceModuleFile>(path, std::move(parsed.strings));
  } catch (...) {
    return nullptr;
  }
}

bool ReadVersionBlock(const std::wstring& modulePath, VersionBlock* block) {
  *block = VersionBlock();
  try {
    ParsedModule parsed;
    if (!Parse(modulePath, &parsed)) return false;
    *block = std::move(parsed.version);
  } catch (...) {
    *block = VersionBlock();
  }
  return !block->empty();
}

bool ReadOwnVersionBlock(const VersionBlock& builtIn, VersionBlock* block) {
  *block = builtIn;
  return !block->empty();
}

bool ReadOwnBitmap(unsigned /*id*/, const Picture& builtIn, Picture* picture) {
  *picture = builtIn;
  for (std::uint32_t& p : picture->pixels) p |= 0xFF000000u;
  return !picture->pixels.empty();
}

bool DrawOwnIcon(unsigned /*id*/, int size, const Picture& builtIn, Picture* picture) {
  *picture = Picture();
  if (builtIn.pixels.empty() || builtIn.width != size || builtIn.height != size) return false;
  // The classic button face colour, which the desktop here does not name.
  constexpr std::uint32_t kButtonFace = 0xD4D0C8;
  picture->width = size;
  picture->height = size;
  for (std::uint32_t p : builtIn.pixels) {
    const std::uint32_t alpha = p >> 24;
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const std::uint32_t over = (p >> shift) & 0xFF, under = (kButtonFace >> shift) & 0xFF;
      out |= ((over * alpha + under * (255 - alpha) + 127) / 255) << shift;
    }
    picture->pixels.push_back(out);
  }
  return true;
}

}  // namespace platform
