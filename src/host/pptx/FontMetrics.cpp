#include "src/host/pptx/FontMetrics.h"

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

namespace host::pptx {
namespace {

// Used when no font file can be loaded at all: an average sans face.
class EstimatedFace : public FontFace {
 public:
  double Advance(char32_t c) const override {
    if (c == U' ') return 0.28;
    if (c >= 0x2E80) return 1.0;
    return 0.55;
  }
  double LineHeight() const override { return 1.2; }
  double Ascent() const override { return 0.9; }
  const std::string& File() const override { return mEmpty; }
  const std::string& Family() const override { return mEmpty; }

 private:
  std::string mEmpty;
};

}  // namespace

struct FontMetrics::Impl {
  class FtFace : public FontFace {
   public:
    FtFace(Impl& owner, FT_Face face, std::string file, std::string family, bool bold)
        : mOwner(owner), mFace(face), mFile(std::move(file)), mFamily(std::move(family)), mBold(bold) {
      double em = face->units_per_EM ? face->units_per_EM : 1000;
      mLineHeight = face->height / em;
      mAscent = face->ascender / em;
      if (mLineHeight <= 0) mLineHeight = 1.2;
      if (mAscent <= 0) mAscent = 0.9;
      for (auto& a : mLatin) a.store(-1, std::memory_order_relaxed);
    }
    ~FtFace() override { FT_Done_Face(mFace); }

    double Advance(char32_t c) const override {
      // Nearly every character measured is in the first 256: those are
      // answered without the lock once known.
      if (c < mLatin.size()) {
        double known = mLatin[c].load(std::memory_order_relaxed);
        if (known >= 0) return known;
      }
      std::lock_guard<std::recursive_mutex> lock(mOwner.mutex);
      auto it = mAdvances.find(c);
      if (it != mAdvances.end()) return it->second;
      double adv;
      FT_UInt glyph = FT_Get_Char_Index(mFace, c);
      if (glyph == 0 && c > U' ') {
        // Renderers draw a missing character from another face that has it.
        const FontFace* other = mOwner.FallbackFor(c, mBold);
        adv = other && other != this ? other->Advance(c) : 0.5;
      } else {
        FT_Fixed units = 0;
        if (FT_Get_Advance(mFace, glyph, FT_LOAD_NO_SCALE, &units) != 0) units = 0;
        adv = static_cast<double>(units) / (mFace->units_per_EM ? mFace->units_per_EM : 1000);
      }
      mAdvances.emplace(c, adv);
      if (c < mLatin.size() && adv >= 0) mLatin[c].store(adv, std::memory_order_relaxed);
      return adv;
    }
    double LineHeight() const override { return mLineHeight; }
    double Ascent() const override { return mAscent; }
    const std::string& File() const override { return mFile; }
    const std::string& Family() const override { return mFamily; }

   private:
    Impl& mOwner;
    FT_Face mFace;
    std::string mFile;
    std::string mFamily;
    bool mBold;
    double mLineHeight = 1.2;
    double mAscent = 0.9;
    mutable std::unordered_map<char32_t, double> mAdvances;
    mutable std::array<std::atomic<double>, 256> mLatin;  // -1 until measured
  };

  std::recursive_mutex mutex;
  // Set by LoadConfiguration, which runs once, on the loader thread or on
  // the first caller; the loader fills the caches below too, so everything
  // but Prepare waits in Ready first.
  FT_Library library = nullptr;
  bool fcReady = false;
  bool started = false;
  std::thread loader;
  std::map<std::tuple<std::string, bool, bool>, const FontFace*> byRequest;
  // What fontconfig answered for a family (or "" for its default) in a
  // style: a family of several words asks for the default too, to tell a
  // real match from a fallback, and matching costs far more than the lookup.
  std::map<std::tuple<std::string, bool, bool>, const FontFace*> matched;
  std::map<std::tuple<std::string, int>, std::unique_ptr<FtFace>> byFile;
  // A missing character's face is matched by weight only, so the italic
  // and upright styles share one answer.
  std::map<std::tuple<char32_t, bool>, const FontFace*> fallbacks;
  // The same answers by which of the installed fonts have the character:
  // matching weighs a character only by whether a font has it, so two
  // characters the same fonts have get the same face, and a deck full of
  // symbols or of another script is matched once per weight, not per
  // character.
  std::map<std::tuple<std::vector<bool>, bool>, const FontFace*> byCoverage;
  // Each font's character set, in that order (null where a font declares
  // none): looking a set up in its pattern costs more than the test.
  std::vector<const FcCharSet*> charsets;
  EstimatedFace estimate;

  ~Impl() {
    if (loader.joinable()) loader.join();
    byFile.clear();
    if (library) FT_Done_FreeType(library);
  }

  // Parsing fontconfig's configuration costs as much as some twenty
  // matches.
  void LoadConfiguration() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
    fcReady = FcInit() == FcTrue;
  }

  void Prepare() {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    if (started) return;
    started = true;
    try {
      // Most decks have regular text in a family of several words, which is
      // told from the default regular face: the loader matches that too.
      loader = std::thread([this] {
        LoadConfiguration();
        if (fcReady) Match("", false, false);
      });
    } catch (const std::system_error&) {
      LoadConfiguration();
    }
  }

  // With the mutex held: the configuration is loaded once this returns.
  void Ready() {
    if (loader.joinable()) loader.join();
    if (started) return;
    started = true;
    LoadConfiguration();
  }

  const FontFace* Load(FcPattern* pattern, bool bold) {
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    const FontFace* face = nullptr;
    if (match) {
      FcChar8* file = nullptr;
      FcChar8* family = nullptr;
      int index = 0;
      if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetString(match, FC_FAMILY, 0, &family);
        face = Open(reinterpret_cast<const char*>(file), index, family ? reinterpret_cast<const char*>(family) : "",
                    bold);
      }
      FcPatternDestroy(match);
    }
    return face;
  }

  const FontFace* Open(const std::string& file, int index, const std::string& family, bool bold) {
    auto key = std::make_tuple(file, index);
    auto it = byFile.find(key);
    if (it != byFile.end()) return it->second.get();
    if (!library) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0) return nullptr;
    auto owned = std::make_unique<FtFace>(*this, face, file, family, bold);
    const FontFace* raw = owned.get();
    byFile.emplace(key, std::move(owned));
    return raw;
  }

  const FontFace* Find(const std::string& family, bool bold, bool italic) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto key = std::make_tuple(family, bold, italic);
    auto it = byRequest.find(key);
    if (it != byRequest.end()) return it->second;
    Ready();
    const FontFace* face = nullptr;
    if (fcReady) {
      face = Match(family, bold, italic);
      // A styled family the system lacks ("Calibri Light") is closer to its
      // base family, or that family's metric twin, than to the default face.
      // Only a name that can be shortened needs the default to compare with.
      std::string base = family;
      for (auto space = base.find_last_of(' '); face && space != std::string::npos; space = base.find_last_of(' ')) {
        const FontFace* fallback = Match("", bold, italic);
        if (face != fallback || face->Family().empty()) break;
        base.erase(space);
        const FontFace* shorter = Match(base, bold, italic);
        if (shorter && shorter != fallback) face = shorter;
      }
    }
    if (!face) face = &estimate;
    byRequest.emplace(key, face);
    return face;
  }

  const FontFace* Match(const std::string& family, bool bold, bool italic) {
    auto key = std::make_tuple(family, bold, italic);
    auto it = matched.find(key);
    if (it != matched.end()) return it->second;
    FcPattern* pattern = FcPatternCreate();
    if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    const FontFace* face = Load(pattern, bold);
    FcPatternDestroy(pattern);
    matched.emplace(std::move(key), face);
    return face;
  }

  const FontFace* FallbackFor(char32_t c, bool bold) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto key = std::make_tuple(c, bold);
    auto it = fallbacks.find(key);
    if (it != fallbacks.end()) return it->second;
    const FontFace* face = nullptr;
    if (fcReady) {
      auto coverage = std::make_tuple(Coverage(c), bold);
      if (auto known = byCoverage.find(coverage); known != byCoverage.end()) {
        face = known->second;
      } else {
        FcPattern* pattern = FcPatternCreate();
        FcCharSet* set = FcCharSetCreate();
        FcCharSetAddChar(set, c);
        FcPatternAddCharSet(pattern, FC_CHARSET, set);
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        face = Load(pattern, bold);
        FcCharSetDestroy(set);
        FcPatternDestroy(pattern);
        byCoverage.emplace(std::move(coverage), face);
      }
    }
    if (!face) face = &estimate;
    fallbacks.emplace(key, face);
    return face;
  }

  // Which fonts of the configuration have c, in the order matching visits
  // them; a font that declares no character set counts the same for every c.
  std::vector<bool> Coverage(char32_t c) {
    if (charsets.empty()) {
      // The fonts are read once, and the process never rescans them.
      for (FcSetName which : {FcSetSystem, FcSetApplication}) {
        FcFontSet* fonts = FcConfigGetFonts(nullptr, which);
        for (int i = 0; fonts && i < fonts->nfont; ++i) {
          FcCharSet* set = nullptr;
          charsets.push_back(FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &set) == FcResultMatch ? set
                                                                                                        : nullptr);
        }
      }
    }
    std::vector<bool> has;
    has.reserve(charsets.size());
    for (const FcCharSet* set : charsets) has.push_back(!set || FcCharSetHasChar(set, c));
    return has;
  }
};

FontMetrics& FontMetrics::Instance() {
  static FontMetrics instance;
  return instance;
}

FontMetrics::FontMetrics() : mImpl(std::make_unique<Impl>()) {}
FontMetrics::~FontMetrics() = default;

void FontMetrics::Prepare() { mImpl->Prepare(); }

const FontFace* FontMetrics::Face(const std::string& family, bool bold, bool italic) {
  return mImpl->Find(family, bold, italic);
}

}  // namespace host::pptx
