// Fonts through fontconfig. A GDI character set is stood in for by the
// languages a font must cover to show text of that set; fontconfig knows each
// font's language coverage.
#include "src/platform/Fonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <mutex>

#include "src/platform/Strings.h"

namespace platform {

namespace {

struct InstalledFont {
  std::vector<std::wstring> families;  // the first is the listed name
  FcLangSet* langs = nullptr;          // owned by the font set
};

std::vector<const char*> LanguagesOf(int charset) {
  switch (charset) {
    case 0: return {"en", "fr", "de"};
    case 128: return {"ja"};
    case 129: return {"ko"};
    case 134: return {"zh-cn"};
    case 136: return {"zh-tw"};
    case 161: return {"el"};
    case 162: return {"tr"};
    case 177: return {"he"};
    case 178: return {"ar"};
    case 186: return {"lt", "lv"};
    case 204: return {"ru"};
    case 222: return {"th"};
    case 238: return {"pl", "cs", "hu"};
    default: return {};
  }
}

class FontconfigCatalog : public FontCatalog {
 public:
  ~FontconfigCatalog() override {
    if (mSet) FcFontSetDestroy(mSet);
  }

  std::vector<std::wstring> InstalledFonts(int charset) override {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<std::wstring> names;
    for (const InstalledFont* font : Covering(charset)) names.push_back(font->families.front());
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }

  bool IsInstalled(const std::wstring& name, int charset) override {
    if (name.empty()) return false;
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<const InstalledFont*> covering = Covering(charset);
    auto listed = [&](const std::wstring& family) {
      for (const InstalledFont* font : covering) {
        for (const auto& f : font->families) {
          if (EqualsNoCase(f, family)) return true;
        }
      }
      return false;
    };
    if (listed(name)) return true;
    // Not installed under that name: it still counts when fontconfig puts a
    // metric-compatible family of this character set in its place. A name
    // fontconfig knows nothing about falls to the same default as a name
    // that cannot exist, so only a different answer is a real alias.
    std::vector<const char*> langs = LanguagesOf(charset);
    const char* lang = langs.empty() ? nullptr : langs.front();
    std::wstring substitute = Match(ToUtf8(name), lang);
    if (substitute.empty()) return false;
    if (substitute == Match("Pelorant No Such Font 7f3a", lang)) return false;
    return listed(substitute);
  }

 private:
  void LoadOnce() {
    if (mLoaded) return;
    mLoaded = true;
    if (!FcInit()) return;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_LANG, FC_FONTFORMAT, nullptr);
    mSet = FcFontList(nullptr, pattern, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    if (!mSet) return;
    for (int i = 0; i < mSet->nfont; ++i) {
      FcPattern* font = mSet->fonts[i];
      FcChar8* format = nullptr;
      // Outline fonts only, as the Windows list holds TrueType fonts only:
      // TrueType and OpenType (CFF) outlines, not Type 1 or bitmaps.
      if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) == FcResultMatch) {
        std::string f = reinterpret_cast<const char*>(format);
        if (f != "TrueType" && f != "CFF") continue;
      }
      InstalledFont entry;
      FcChar8* family = nullptr;
      for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &family) == FcResultMatch; ++n) {
        entry.families.push_back(FromUtf8(reinterpret_cast<const char*>(family)));
      }
      if (entry.families.empty()) continue;
      if (FcPatternGetLangSet(font, FC_LANG, 0, &entry.langs) != FcResultMatch) entry.langs = nullptr;
      mFonts.push_back(std::move(entry));
    }
  }

  std::vector<const InstalledFont*> Covering(int charset) {
    LoadOnce();
    std::vector<const InstalledFont*> out;
    std::vector<const char*> langs = LanguagesOf(charset);
    if (langs.empty()) return out;
    for (const InstalledFont& font : mFonts) {
      if (font.langs == nullptr) continue;
      bool all = true;
      for (const char* lang : langs) {
        all = all && FcLangSetHasLang(font.langs, reinterpret_cast<const FcChar8*>(lang)) == FcLangEqual;
      }
      if (all) out.push_back(&font);
    }
    return out;
  }

  std::wstring Match(const std::string& family, const char* lang) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (lang) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::wstring name;
    FcChar8* found = nullptr;
    if (match && FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch) {
      name = FromUtf8(reinterpret_cast<const char*>(found));
    }
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return name;
  }

  std::mutex mMutex;
  bool mLoaded = false;
  FcFontSet* mSet = nullptr;
  std::vector<InstalledFont> mFonts;
};

FontCatalog* gReplacement = nullptr;

}  // namespace

FontCatalog& SystemFontCatalog() {
  static FontconfigCatalog catalog;
  return catalog;
}

FontCatalog& FontCatalog::Current() { return gReplacement ? *gReplacement : SystemFontCatalog(); }

FontCatalog* FontCatalog::SetCurrent(FontCatalog* catalog) {
  FontCatalog* previous = gReplacement;
  gReplacement = catalog;
  return previous;
}

}  // namespace platform
