#include "src/host/pptx/PptxDocument.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "src/platform/Strings.h"

namespace host::pptx {

namespace {


[[noreturn]] void Bad(const std::filesystem::path& file, const std::string& what) {
  throw PackageError(STG_E_INVALIDHEADER, L"\"" + W(file.string()) + L"\": " + W(what));
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::shared_ptr<Document> Document::Open(const std::filesystem::path& file, const PackageLimits& limits) {
  std::shared_ptr<Document> d(new Document());
  d->mPackage = Package::Open(file, limits);
  d->Load();
  return d;
}

void Document::Load() {
  Package& p = *mPackage;
  const auto& file = p.File();
  auto main = p.RelationshipByType("", "officeDocument");
  if (!main || main->targetPart.empty() || !p.HasPart(main->targetPart))
    Bad(file, "the package has no main document part (officeDocument relationship missing or broken)");
  mPresentationPart = main->targetPart;
  std::string ct = p.ContentType(mPresentationPart);
  static const char* kMain[] = {"presentationml.presentation.main+xml", "presentationml.slideshow.main+xml",
                                "ms-powerpoint.presentation.macroEnabled.main+xml",
                                "ms-powerpoint.slideshow.macroEnabled.main+xml",
                                "presentationml.template.main+xml",
                                "ms-powerpoint.template.macroEnabled.main+xml"};
  bool known = false;
  for (const char* k : kMain)
    if (EndsWith(ct, k)) known = true;
  if (!known)
    Bad(file, ct.empty() ? "the main part has no content type"
                         : "is not a presentation (main part is \"" + ct + "\")");
  pugi::xml_node pres = p.Xml(mPresentationPart).document_element();
  if (!Is(pres, "presentation")) Bad(file, "the main part is not a presentation");
  if (pugi::xml_node sz = Child(pres, "sldSz")) {
    double cx = std::atof(Attr(sz, "cx").value()), cy = std::atof(Attr(sz, "cy").value());
    if (cx > 0 && cy > 0 && std::isfinite(cx) && std::isfinite(cy)) {
      mSlideWidth = static_cast<float>(cx / kEmuPerPoint);
      mSlideHeight = static_cast<float>(cy / kEmuPerPoint);
    }
  }
  auto rels = p.Relationships(mPresentationPart);
  for (pugi::xml_node s : Children(Child(pres, "sldIdLst"), "sldId")) {
    SlideInfo info;
    info.id = s.attribute("id").as_int();
    info.relId = AttrIn(s, kRelationshipsNs, "id").value();
    for (auto& r : rels)
      if (r.id == info.relId) info.part = r.targetPart;
    if (info.part.empty() || !p.HasPart(info.part))
      Bad(file, "slide " + std::to_string(mSlides.size() + 1) + " (relationship " + info.relId +
                    ") has no part in the package");
    mSlides.push_back(info);
  }
}


void Document::CheckOpen() const {
  // Only the thread that opened the presentation may use it, as only the
  // user-interface thread may call the real host.
  if (std::this_thread::get_id() != mThread)
    throw platform::ComError(kWrongThread,
                             L"The presentation is used from a thread other than the one that opened it.");
  if (mClosed) throw platform::ComError(E_FAIL, L"The presentation is closed.");
}

int Document::SlideIndexOf(int slideId) const {
  for (std::size_t i = 0; i < mSlides.size(); ++i)
    if (mSlides[i].id == slideId) return static_cast<int>(i + 1);
  return 0;
}

const SlideInfo* Document::SlideById(int slideId) const {
  for (auto& s : mSlides)
    if (s.id == slideId) return &s;
  return nullptr;
}

const std::string& Document::Linked(const std::string& part, Link link) {
  // Every shape asks for its layout and master again and again; the answer
  // holds while the package's links do.
  if (mLinks.links != mPackage->LinkEdits()) {
    mLinks.byPart.clear();
    mLinks.links = mPackage->LinkEdits();
  }
  // The relationship each link follows, and the one tried when it is missing.
  static constexpr const char* kTypes[][2] = {{"slideLayout", nullptr},
                                              {"slideMaster", "notesMaster"},
                                              {"theme", nullptr},
                                              {"notesMaster", nullptr},
                                              {"tableStyles", nullptr}};
  const auto i = static_cast<std::size_t>(link);
  std::optional<std::string>& kept = mLinks.byPart[part][i];
  if (!kept) {
    auto r = mPackage->RelationshipByType(part, kTypes[i][0]);
    if (!r && kTypes[i][1]) r = mPackage->RelationshipByType(part, kTypes[i][1]);
    kept = r && mPackage->HasPart(r->targetPart) ? r->targetPart : std::string();
  }
  return *kept;
}

const std::string& Document::LayoutOf(const std::string& slidePart) { return Linked(slidePart, Link::Layout); }

namespace {
const std::string kNoPart;
}  // namespace

const std::string& Document::MasterOf(const std::string& layoutPart) {
  return layoutPart.empty() ? kNoPart : Linked(layoutPart, Link::Master);
}

const std::string& Document::ThemeOf(const std::string& masterPart) {
  return masterPart.empty() ? kNoPart : Linked(masterPart, Link::Theme);
}

namespace {

std::uint32_t ColorOf(pugi::xml_node holder) {
  for (pugi::xml_node c = holder.first_child(); c; c = c.next_sibling()) {
    std::string_view l = LocalName(c);
    if (l == "srgbClr") return HexColor(c.attribute("val").value()).value_or(0);
    if (l == "sysClr") return HexColor(c.attribute("lastClr").value()).value_or(0);
  }
  return 0;
}

}  // namespace

const ThemeValues& Document::Theme(const std::string& masterPart) {
  static const ThemeValues kNone;
  // The links name the theme; the two parts hold what is read from them.
  const std::uint64_t links = mPackage->LinkEdits();
  auto kept = mThemes.find(masterPart);
  if (kept != mThemes.end() && kept->second.links == links &&
      kept->second.masterVersion == mPackage->PartVersion(masterPart) &&
      kept->second.themeVersion == mPackage->PartVersion(kept->second.theme))
    return kept->second.values;
  std::string theme = ThemeOf(masterPart);
  if (theme.empty()) return kNone;
  KeptTheme k{links, mPackage->PartVersion(masterPart), mPackage->PartVersion(theme), theme, {}};
  ThemeFonts& f = k.values.fonts;
  pugi::xml_node elements = Child(mPackage->Xml(theme).document_element(), "themeElements");
  pugi::xml_node scheme = Child(elements, "fontScheme");
  auto read = [&](const char* which, std::string& latin, std::string& ea, std::string& cs) {
    pugi::xml_node n = Child(scheme, which);
    latin = Attr(Child(n, "latin"), "typeface").value();
    ea = Attr(Child(n, "ea"), "typeface").value();
    cs = Attr(Child(n, "cs"), "typeface").value();
  };
  read("majorFont", f.majorLatin, f.majorEastAsian, f.majorComplex);
  read("minorFont", f.minorLatin, f.minorEastAsian, f.minorComplex);
  std::map<std::string, std::uint32_t>& colors = k.values.colors;
  for (pugi::xml_node c = Child(elements, "clrScheme").first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) colors[std::string(LocalName(c))] = ColorOf(c);
  try {
    pugi::xml_node map = Child(mPackage->Xml(masterPart).document_element(), "clrMap");
    for (const char* alias : {"bg1", "tx1", "bg2", "tx2"}) {
      std::string target = map.attribute(alias).as_string("");
      if (target.empty()) target = std::string(alias[0] == 'b' ? "lt" : "dk") + alias[2];
      auto it = colors.find(target);
      if (it != colors.end()) colors[alias] = it->second;
    }
  } catch (const platform::ComError&) {
    // A damaged master only costs the aliases.
  }
  return (mThemes[masterPart] = std::move(k)).values;
}

pugi::xml_node Document::FindPlaceholder(const std::string& part, const std::string& type, const std::string& idx) {
  if (part.empty() || !mPackage->HasPart(part)) return {};
  // Every shape asks for its placeholder again and again while layouts and
  // masters hardly ever change.
  const std::uint64_t version = mPackage->PartVersion(part);
  auto it = mPlaceholders.find(std::tie(part, type, idx));
  if (it != mPlaceholders.end() && it->second.first == version) return it->second.second;
  pugi::xml_node found = ScanPlaceholder(part, type, idx);
  if (it != mPlaceholders.end())
    it->second = {version, found};
  else
    mPlaceholders.emplace(std::make_tuple(part, type, idx), std::pair{version, found});
  return found;
}

pugi::xml_node Document::ScanPlaceholder(const std::string& part, const std::string& type, const std::string& idx) {
  pugi::xml_node tree = Child(Child(mPackage->Xml(part).document_element(), "cSld"), "spTree");
  // Placeholders match by idx first, then by type; a missing type means "obj"
  // on slides and "body" when inheriting, as the format's readers do.
  auto typeOf = [](pugi::xml_node ph) {
    std::string t = Attr(ph, "type").value();
    return t.empty() ? std::string("obj") : t;
  };
  auto norm = [](const std::string& t) {
    if (t == "ctrTitle") return std::string("title");
    if (t == "subTitle" || t == "obj") return std::string("body");
    return t;
  };
  pugi::xml_node byIdx, byType;
  std::function<void(pugi::xml_node)> scan = [&](pugi::xml_node parent) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
      if (Is(c, "grpSp")) {
        scan(c);
        continue;
      }
      pugi::xml_node nv;
      for (pugi::xml_node k = c.first_child(); k; k = k.next_sibling())
        if (LocalName(k).substr(0, 2) == "nv") nv = k;
      pugi::xml_node ph = Child(Child(nv, "nvPr"), "ph");
      if (!ph) continue;
      std::string t = typeOf(ph);
      if (!idx.empty() && idx == Attr(ph, "idx").value() && !byIdx) byIdx = c;
      if (!byType && (t == type || norm(t) == norm(type))) byType = c;
    }
  };
  scan(tree);
  // Title-like placeholders inherit by type; the rest by idx when it matches.
  if (type == "title" || type == "ctrTitle" || type == "dt" || type == "ftr" || type == "sldNum" || type == "hdr")
    return byType ? byType : byIdx;
  return byIdx ? byIdx : byType;
}

}  // namespace host::pptx
