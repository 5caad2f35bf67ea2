#include "src/support/ResourceModule.h"

#include <algorithm>
#include <mutex>

#include "resources/MessageIds.h"
#include "src/platform/ResourceModules.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "resources/OwnResources.h"

namespace support {

namespace msg = resources::msg;

namespace {

constexpr unsigned kTopmost = 0x00040000;  // MB_TOPMOST

std::mutex& ModuleMutex() {
  static std::mutex mutex;
  return mutex;
}

std::wstring OwnText(int id) {
  auto strings = resources::OwnStrings();
  auto it = std::lower_bound(strings.begin(), strings.end(), static_cast<unsigned>(id),
                             [](const resources::StringEntry& e, unsigned key) { return e.id < key; });
  if (it == strings.end() || it->id != static_cast<unsigned>(id)) return std::wstring();
  return platform::FromUtf8(it->utf8);
}

platform::VersionBlock BuiltInVersionBlock() {
  platform::VersionBlock block;
  block.translation = platform::FromUtf8(resources::OwnVersionTranslation());
  for (const resources::VersionEntry& e : resources::OwnVersion())
    block.values[L"\\StringFileInfo\\" + block.translation + L"\\" + platform::FromUtf8(e.name)] =
        platform::FromUtf8(e.utf8);
  return block;
}

}  // namespace

ResourceModule::ResourceModule()
    : ResourceModule(Environment{platform::ModuleFolder(), platform::SystemDefaultLangId()}) {}

ResourceModule::ResourceModule(Environment environment) : mEnvironment(std::move(environment)) {}

ResourceModule::~ResourceModule() {
  bool freed = true;
  ReleaseModule(&freed);
}

ResourceModule& ResourceModule::Instance() {
  static ResourceModule* instance = new ResourceModule;  // see the header: never destroyed
  return *instance;
}

bool ResourceModule::Release() {
  std::lock_guard<std::mutex> lock(ModuleMutex());
  bool freed = true;
  ReleaseModule(&freed);
  if (freed) mLoaded = false;
  return freed;
}

void ResourceModule::ReleaseModule(bool* freed) {
  *freed = true;
  // The own strings are part of the add-in itself: nothing to free.
  if (mModule && !mOwnModule) *freed = mModule->Free();
  if (*freed) mModule.reset();
}

bool ResourceModule::TryLoad(LANGID language) {
  std::wstring path = mEnvironment.moduleFolder + L"OfficeAddInRes" + std::to_wstring(language) +
                      platform::ResourceModuleExtension();
  auto module = platform::ResourceModuleFile::Load(path);
  if (!module) return false;
  mModule = std::move(module);
  mLanguageId = language;
  mOwnModule = false;
  return true;
}

bool ResourceModule::LoadResourceModule() {
  std::lock_guard<std::mutex> lock(ModuleMutex());
  try {
    if (mLoaded) {
      bool freed = true;
      ReleaseModule(&freed);
      if (!freed) return false;
      mLoaded = false;
    }
    LANGID language = mEnvironment.systemLanguage;
    bool loaded = TryLoad(language);
    if (!loaded && language == 4100) {
      language = 2052;
      loaded = TryLoad(language);
    }
    if (!loaded) {
      // Same primary language, default sub-language: 2057 (en-GB) -> 1033.
      LANGID fallback = static_cast<LANGID>(language % 1024 + 1024);
      if (fallback != language) loaded = TryLoad(fallback);
    }
    if (!loaded) {
      mModule.reset();
      mOwnModule = true;
      mLanguageId = kOwnLanguage;
    }
    mLoaded = true;
    mCharset = CharsetFromCodePage(static_cast<int>(platform::DefaultAnsiCodePage(mLanguageId)));
    mFontName = TextLocked(msg::kFontTextId);
    if (mFontName.empty()) mFontName = DefaultFontForCharset(mCharset);
    return true;
  } catch (...) {
    // Out of memory while choosing: the own strings still work.
    mModule.reset();
    mOwnModule = true;
    mLanguageId = kOwnLanguage;
    mLoaded = true;
    return true;
  }
}

std::wstring ResourceModule::TextLocked(int id) {
  if (id < 0 || id > 0xFFFF) return std::wstring();
  std::wstring text;
  if (mOwnModule)
    text = OwnText(id);
  else if (mModule && !mModule->ReadString(static_cast<unsigned>(id), &text))
    text.clear();
  if (text.size() > static_cast<size_t>(kMaxText)) text.resize(kMaxText);
  return text;
}

void ResourceModule::EnsureLoaded() {
  bool loaded;
  {
    std::lock_guard<std::mutex> lock(ModuleMutex());
    loaded = mLoaded;
  }
  if (!loaded) LoadResourceModule();
}

std::wstring ResourceModule::LoadText(int id) {
  try {
    EnsureLoaded();
    std::lock_guard<std::mutex> lock(ModuleMutex());
    if (!mLoaded) return std::wstring();
    return TextLocked(id);
  } catch (...) {
    return std::wstring();
  }
}

LANGID ResourceModule::GetLanguageId() {
  EnsureLoaded();
  std::lock_guard<std::mutex> lock(ModuleMutex());
  return mLanguageId;
}

int ResourceModule::GetCharset() {
  EnsureLoaded();
  std::lock_guard<std::mutex> lock(ModuleMutex());
  return mCharset;
}

std::wstring ResourceModule::GetFontName() {
  EnsureLoaded();
  std::lock_guard<std::mutex> lock(ModuleMutex());
  return mFontName;
}

bool ResourceModule::IsOwnModule() {
  EnsureLoaded();
  std::lock_guard<std::mutex> lock(ModuleMutex());
  return mOwnModule;
}

std::wstring ResourceModule::GetModulePath() {
  EnsureLoaded();
  std::lock_guard<std::mutex> lock(ModuleMutex());
  return mModule ? mModule->Path() : std::wstring();
}

int ResourceModule::ShowMessage(const std::wstring& text, unsigned style, const std::wstring& caption,
                                std::uintptr_t owner) {
  // The box and the look-ups for its caption may set the thread's last-error
  // code; a box shown is no failure, and that code is what tells the
  // command's handler that one happened.
  const DWORD code = platform::GetLastErrorCode();
  struct Restore {
    DWORD code;
    ~Restore() { platform::SetLastErrorCode(code); }
  } restore{code};
  try {
    platform::MessageBoxRequest request;
    request.text = text;
    request.caption = caption;
    if (request.caption.empty()) request.caption = LoadText(msg::kTitleTextId);
    if (request.caption.empty()) request.caption = VersionInfo().GetValue(L"ProductName");
    request.style = style | kTopmost;
    request.langId = GetLanguageId();
    request.owner = owner;
    return platform::ShowMessageBox(request);
  } catch (...) {
    return platform::DefaultButton(style);
  }
}

int ResourceModule::ShowMessage(int messageId, unsigned style, const std::wstring& caption) {
  return ShowMessage(LoadText(messageId), style, caption);
}

int ResourceModule::CharsetFromCodePage(int codePage) {
  switch (codePage) {
    case 874: return 222;
    case 932: return 128;
    case 936: return 134;
    case 949: return 129;
    case 950: return 136;
    case 1250: return 238;
    case 1251: return 204;
    case 1252: return 0;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    default: return 1;
  }
}

std::wstring ResourceModule::DefaultFontForCharset(int charset) {
  switch (charset) {
    case 128: return L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF";  // ＭＳ Ｐゴシック
    case 129: return L"\xAD74\xB9BC";                                  // 굴림
    case 134: return L"\x5B8B\x4F53";                                  // 宋体
    case 136: return L"\x65B0\x7D30\x660E\x9AD4";                      // 新細明體
    default: return std::wstring();
  }
}

VersionInfo::VersionInfo() : mModulePath(platform::ModuleFilePath()) {
  try {
    platform::VersionBlock block;
    if (platform::ReadOwnVersionBlock(BuiltInVersionBlock(), &block)) {
      mTranslation = block.translation;
      mValues = std::move(block.values);
    }
  } catch (...) {
    mTranslation.clear();
    mValues.clear();
  }
}

VersionInfo::VersionInfo(const std::wstring& modulePath) : mModulePath(modulePath) {
  try {
    platform::VersionBlock block;
    if (platform::ReadVersionBlock(modulePath, &block)) {
      mTranslation = block.translation;
      mValues = std::move(block.values);
    }
  } catch (...) {
    mTranslation.clear();
    mValues.clear();
  }
}

std::wstring VersionInfo::GetValue(const std::wstring& name) const {
  if (mTranslation.empty()) return std::wstring();
  auto it = mValues.find(L"\\StringFileInfo\\" + mTranslation + L"\\" + name);
  return it == mValues.end() ? std::wstring() : it->second;
}

std::wstring LoadText(int id) { return ResourceModule::Instance().LoadText(id); }

int ShowMessage(const std::wstring& text, unsigned style, const std::wstring& caption, std::uintptr_t owner) {
  return ResourceModule::Instance().ShowMessage(text, style, caption, owner);
}

int ShowMessage(int messageId, unsigned style, const std::wstring& caption) {
  return ResourceModule::Instance().ShowMessage(messageId, style, caption);
}

LANGID GetLanguageId() { return ResourceModule::Instance().GetLanguageId(); }

bool ReleaseLanguageResources() { return ResourceModule::Instance().Release(); }

namespace {

platform::Picture BuiltInPicture(int id, bool icon) {
  platform::Picture picture;
  for (const resources::PictureEntry& e : resources::OwnPictures()) {
    if (e.id != static_cast<unsigned>(id) || e.icon != icon || !e.pixels) continue;
    picture.width = e.width;
    picture.height = e.height;
    picture.pixels.assign(e.pixels, e.pixels + static_cast<size_t>(e.width) * static_cast<size_t>(e.height));
  }
  return picture;
}

}  // namespace

bool LoadOwnBitmap(int id, platform::Picture* picture) {
  return platform::ReadOwnBitmap(static_cast<unsigned>(id), BuiltInPicture(id, false), picture);
}

bool DrawOwnIcon(int id, platform::Picture* picture) {
  return platform::DrawOwnIcon(static_cast<unsigned>(id), 16, BuiltInPicture(id, true), picture);
}

}  // namespace support
