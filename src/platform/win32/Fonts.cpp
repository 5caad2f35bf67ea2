#include "src/platform/Fonts.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

struct EnumState {
  std::vector<std::wstring> fullNames;
  std::vector<std::wstring> faceNames;
};

int CALLBACK CollectFont(const LOGFONTW* logFont, const TEXTMETRICW*, DWORD fontType, LPARAM param) {
  if ((fontType & TRUETYPE_FONTTYPE) == 0) return 1;
  auto* state = reinterpret_cast<EnumState*>(param);
  const auto* ex = reinterpret_cast<const ENUMLOGFONTEXW*>(logFont);
  state->fullNames.emplace_back(ex->elfFullName);
  state->faceNames.emplace_back(logFont->lfFaceName);
  return 1;
}

// The TrueType families the display reports for a character set.
EnumState Enumerate(int charset) {
  EnumState state;
  HDC dc = CreateICW(L"DISPLAY", /*pszDevice=*/nullptr, /*pszPort=*/nullptr, /*pdm=*/nullptr);
  if (dc == nullptr) return state;
  LOGFONTW query{};
  query.lfCharSet = static_cast<BYTE>(charset);
  EnumFontFamiliesExW(dc, &query, CollectFont, reinterpret_cast<LPARAM>(&state), /*dwFlags=*/0);
  DeleteDC(dc);
  return state;
}

bool SameFontName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                              /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

class GdiCatalog : public FontCatalog {
 public:
  std::vector<std::wstring> InstalledFonts(int charset) override {
    std::vector<std::wstring> names = Enumerate(charset).fullNames;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }

  bool IsInstalled(const std::wstring& name, int charset) override {
    if (name.empty()) return false;
    EnumState state = Enumerate(charset);
    for (const auto& n : state.fullNames) {
      if (SameFontName(n, name)) return true;
    }
    for (const auto& n : state.faceNames) {
      if (SameFontName(n, name)) return true;
    }
    return false;
  }
};

FontCatalog* gReplacement = nullptr;

}  // namespace

FontCatalog& SystemFontCatalog() {
  static GdiCatalog catalog;
  return catalog;
}

FontCatalog& FontCatalog::Current() { return gReplacement ? *gReplacement : SystemFontCatalog(); }

FontCatalog* FontCatalog::SetCurrent(FontCatalog* catalog) {
  FontCatalog* previous = gReplacement;
  gReplacement = catalog;
  return previous;
}

}  // namespace platform
