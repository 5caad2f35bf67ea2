#include "src/platform/ResourceModules.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "src/platform/System.h"
#include "src/platform/win32/Bitmaps.h"

namespace platform {
namespace {

// version.dll is loaded on first use rather than linked, so the add-in and
// every test binary need no extra import library.
struct VersionApi {
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  SizeFn getSize = nullptr;
  InfoFn getInfo = nullptr;
  QueryFn query = nullptr;

  static const VersionApi& Get() {
    static const VersionApi api = [] {
      VersionApi a;
      // From the system folder only: a version.dll beside the host program
      // or in the current folder must never be loaded in its place.
      HMODULE dll = LoadLibraryExW(L"version.dll", /*hFile=*/nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
      if (dll) {
        a.getSize = reinterpret_cast<SizeFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GetFileVersionInfoSizeW")));
        a.getInfo = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GetFileVersionInfoW")));
        a.query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VerQueryValueW")));
      }
      return a;
    }();
    return api;
  }
  bool Usable() const { return getSize && getInfo && query; }
};

// VerQueryValueW cannot list a block's names, so the standard ones are read.
const wchar_t* const kStandardNames[] = {
    L"Comments",        L"CompanyName",     L"FileDescription", L"FileVersion",
    L"InternalName",    L"LegalCopyright",  L"LegalTrademarks", L"OriginalFilename",
    L"PrivateBuild",    L"ProductName",     L"ProductVersion",  L"SpecialBuild",
};

class Win32ResourceModuleFile : public ResourceModuleFile {
 public:
  Win32ResourceModuleFile(std::wstring path, HMODULE module) : mPath(std::move(path)), mModule(module) {}
  ~Win32ResourceModuleFile() override { Free(); }

  bool ReadString(unsigned id, std::wstring* text) const override {
    if (!mModule) return false;
    wchar_t buffer[1024];
    int length = LoadStringW(mModule, id, buffer, static_cast<int>(std::size(buffer)));
    if (length <= 0) return false;
    text->assign(buffer, static_cast<size_t>(length));
    return true;
  }
  bool Free() override {
    if (!mModule) return true;
    if (!FreeLibrary(mModule)) return false;
    mModule = nullptr;
    return true;
  }
  const std::wstring& Path() const override { return mPath; }

 private:
  std::wstring mPath;
  HMODULE mModule;
};

// The version functions set the thread's last-error code for every value a
// block lacks (PrivateBuild, say), and loading a picture may set one too;
// that code is how a command signals a failure, so these leave the caller's
// code as it was.
class KeepLastError {
 public:
  KeepLastError() : mCode(GetLastError()) {}
  ~KeepLastError() { SetLastError(mCode); }
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;

 private:
  DWORD mCode;
};

}  // namespace

std::wstring ResourceModuleExtension() { return L".dll"; }

std::unique_ptr<ResourceModuleFile> ResourceModuleFile::Load(const std::wstring& path) {
  // As data: a resource module has no code to run, and one built for another
  // architecture must still give its strings.
  HMODULE module = LoadLibraryExW(path.c_str(), /*hFile=*/nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) module = LoadLibraryExW(path.c_str(), /*hFile=*/nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return nullptr;
  return std::make_unique<Win32ResourceModuleFile>(path, module);
}

bool ReadVersionBlock(const std::wstring& modulePath, VersionBlock* block) {
  KeepLastError keep;
  *block = VersionBlock();
  const VersionApi& api = VersionApi::Get();
  if (!api.Usable() || modulePath.empty()) return false;
  DWORD ignored = 0;
  DWORD size = api.getSize(modulePath.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<unsigned char> data(size);
  if (!api.getInfo(modulePath.c_str(), /*dwHandle=*/0, size, data.data())) return false;

  struct LangAndCodePage {
    WORD language;
    WORD codePage;
  };
  LangAndCodePage* translations = nullptr;
  UINT translationBytes = 0;
  if (!api.query(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                 &translationBytes) ||
      translationBytes < sizeof(LangAndCodePage)) {
    return false;
  }
  wchar_t translation[16];
  swprintf(translation, std::size(translation), L"%04x%04x", translations[0].language, translations[0].codePage);
  block->translation = translation;
  for (const wchar_t* name : kStandardNames) {
    std::wstring query = L"\\StringFileInfo\\" + block->translation + L"\\" + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (api.query(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
      // The length counts the terminating NUL when there is one.
      std::wstring text(value, length);
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      block->values[query] = text;
    }
  }
  return true;
}

bool ReadOwnVersionBlock(const VersionBlock& /*builtIn*/, VersionBlock* block) {
  return ReadVersionBlock(ModuleFilePath(), block);
}

namespace {

HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

}  // namespace

bool ReadOwnBitmap(unsigned id, const Picture& /*builtIn*/, Picture* picture) {
  KeepLastError keep;
  *picture = Picture();
  HANDLE bitmap = LoadImageW(OwnModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  if (!bitmap) return false;
  const bool read = win::BitmapPixels(static_cast<HBITMAP>(bitmap), picture);
  DeleteObject(bitmap);
  return read;
}

bool DrawOwnIcon(unsigned id, int size, const Picture& /*builtIn*/, Picture* picture) {
  KeepLastError keep;
  *picture = Picture();
  HANDLE icon = LoadImageW(OwnModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
  if (!icon) return false;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  bool drawn = false;
  if (dc && bitmap) {
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, size, size};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    drawn = DrawIconEx(dc, 0, 0, static_cast<HICON>(icon), size, size, 0, /*hbrFlickerFreeDraw=*/nullptr, DI_NORMAL);
    SelectObject(dc, old);
  }
  if (dc) DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  if (drawn) drawn = win::BitmapPixels(bitmap, picture);
  if (bitmap) DeleteObject(bitmap);
  DestroyIcon(static_cast<HICON>(icon));
  return drawn;
}

}  // namespace platform
