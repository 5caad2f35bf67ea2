// Texts by string id, the language they are in, its character set and the
// user-interface font. Texts come from a language resource module
// "OfficeAddInRes<language id>" beside the add-in, chosen by the system's
// default language, and fall back on the add-in's own Japanese strings.
// Every message box of the add-in goes through ShowMessage.
//
//   std::wstring caption = LoadText(203);
//   ShowMessage(1301, MB_OK | MB_ICONERROR, L"");
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "src/platform/Types.h"

namespace platform {
class ResourceModuleFile;
struct Picture;
}

namespace support {

class ResourceModule {
 public:
  // Where to look and which language the system has. The process-wide
  // instance takes both from the platform; tests pass their own.
  struct Environment {
    std::wstring moduleFolder;  // folder of the add-in's module file
    LANGID systemLanguage = 0;
  };

  static constexpr LANGID kOwnLanguage = 1041;
  static constexpr int kMaxText = 1023;

  ResourceModule();
  explicit ResourceModule(Environment environment);
  ~ResourceModule();
  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;

  // The process-wide instance. It is never destroyed: its module must not
  // be freed while the add-in's DLL unloads (under the loader lock), so
  // the add-in releases it with Release when it shuts down.
  static ResourceModule& Instance();

  // Frees the loaded module; the next text loads it again. False when the
  // system refused to free it.
  bool Release();

  // Chooses and loads the module: the system language, then 2052 for 4100,
  // then the language's default sub-language, then the own strings (1041).
  // Returns whether texts are available (always true unless a loaded module
  // could not be freed).
  bool LoadResourceModule();

  // The text of a string id, at most 1023 characters; empty when the id has
  // no text. Loads the module on first use.
  std::wstring LoadText(int id);

  LANGID GetLanguageId();
bool ReleaseLanguageResources();
  int GetCharset();
  std::wstring GetFontName();
  bool IsOwnModule();
  // Full path of the loaded module file; empty for the own strings.
  std::wstring GetModulePath();

  // Message box over `owner` (a native window handle, 0 for none), topmost,
  // in the language of the texts. An empty caption becomes text 203, or the
  // product name when that is empty. Shown through platform::ShowMessageBox
  // (tests replace its handler).
  int ShowMessage(const std::wstring& text, unsigned style, const std::wstring& caption, std::uintptr_t owner = 0);
  int ShowMessage(int messageId, unsigned style, const std::wstring& caption);

  // Character set of a language from its default ANSI code page, and the
  // default font of a character set.
  static int CharsetFromCodePage(int codePage);
  static std::wstring DefaultFontForCharset(int charset);

 private:
  bool TryLoad(LANGID language);
  void ReleaseModule(bool* freed);
  void EnsureLoaded();
  std::wstring TextLocked(int id);

  Environment mEnvironment;
  bool mLoaded = false;
  bool mOwnModule = false;
  LANGID mLanguageId = 0;
  std::unique_ptr<platform::ResourceModuleFile> mModule;
  int mCharset = 1;
  std::wstring mFontName;
};

// The add-in's own version block, or that of a module file.
class VersionInfo {
 public:
  VersionInfo();
  explicit VersionInfo(const std::wstring& modulePath);

  // A string value of the first translation; empty without version data.
  std::wstring GetValue(const std::wstring& name) const;
  // "%04x%04x" of the first translation ("040904b0"); empty without data.
  std::wstring GetTranslation() const { return mTranslation; }
  std::wstring GetModulePath() const { return mModulePath; }

 private:
  std::wstring mModulePath;
  std::wstring mTranslation;
  std::map<std::wstring, std::wstring> mValues;  // keyed by "\StringFileInfo\<translation>\<name>"
};

// Shorthands over ResourceModule::Instance(). ReleaseLanguageResources
// belongs to the add-in's shut-down (disconnection), never to DLL unload.
std::wstring LoadText(int id);
int ShowMessage(const std::wstring& text, unsigned style, const std::wstring& caption = std::wstring(),
                std::uintptr_t owner = 0);
int ShowMessage(int messageId, unsigned style, const std::wstring& caption = std::wstring());
LANGID GetLanguageId();
bool ReleaseLanguageResources();

// The add-in's own button faces (never from a language module): a bitmap,
// or an icon drawn at 16x16 on the button colour. False when there is none.
bool LoadOwnBitmap(int id, platform::Picture* picture);
bool DrawOwnIcon(int id, platform::Picture* picture);

}  // namespace support
