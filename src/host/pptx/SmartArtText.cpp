// Text of a SmartArt graphic lives twice: in the data model
// (ppt/diagrams/dataN.xml, dgm:pt/dgm:t), which the host rebuilds the
// graphic from, and in the drawing (drawingN.xml, dsp:sp/dsp:txBody), which
// other readers show as it is. The walk edits the drawn shapes; this carries
// each edit into the data model so both show the same text.
//
// A drawn shape names its presentation point (dsp:sp/@modelId). The points
// whose text it shows are the sources of the model's presOf connections to
// that presentation point, in their destOrd order; a layout that draws a
// node together with its children as bullets lists them all, and the drawn
// paragraphs are shared out over them. The presentation point's own
// presAssocID is only the node it belongs to (a child's text shape belongs
// to the parent), so it serves only for models without presOf connections,
// where a node's children are found by parOf connections.
#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string_view>
#include <unordered_map>

#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/TextBody.h"
#include "src/platform/ComError.h"

namespace host::pptx {
namespace {

std::vector<pugi::xml_node> Paragraphs(pugi::xml_node body) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node c = body.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && LocalName(c) == "p") out.push_back(c);
  return out;
}

// Makes target's runs those of source, keeping target's paragraph properties.
void CopyParagraphContent(pugi::xml_node source, pugi::xml_node target) {
  std::vector<pugi::xml_node> old;
  for (pugi::xml_node c = target.first_child(); c; c = c.next_sibling())
    if (!(c.type() == pugi::node_element && LocalName(c) == "pPr")) old.push_back(c);
  for (pugi::xml_node c : old) target.remove_child(c);
  for (pugi::xml_node c = source.first_child(); c; c = c.next_sibling())
    if (!(c.type() == pugi::node_element && LocalName(c) == "pPr")) target.append_copy(c);
}

// Replaces the paragraphs of body with copies of `paragraphs` (runs only,
// body's own paragraph properties kept where a paragraph already existed).
void SetParagraphs(pugi::xml_node body, const std::vector<pugi::xml_node>& paragraphs, Conformance c) {
  std::vector<pugi::xml_node> existing = Paragraphs(body);
  pugi::xml_node bodyPr = Child(body, "bodyPr");
  std::string pName = !existing.empty() ? std::string(existing[0].name())
                      : bodyPr        ? NameLike(bodyPr, "p")
                                      : QualifiedName(NamespacePrefix(body, kDrawingMl, c), "p");
  // A text body keeps at least one paragraph.
  size_t want = std::max<size_t>(paragraphs.size(), 1);
  while (existing.size() < want) {
    pugi::xml_node after = existing.empty() ? pugi::xml_node() : existing.back();
    existing.push_back(after ? body.insert_child_after(pName.c_str(), after) : body.append_child(pName.c_str()));
  }
  while (existing.size() > want) {
    body.remove_child(existing.back());
    existing.pop_back();
  }
  for (size_t i = 0; i < want; ++i)
    CopyParagraphContent(i < paragraphs.size() ? paragraphs[i] : pugi::xml_node(), existing[i]);
}

// The ids it keys by are the model's own attribute values, not copies: a
// sync builds the model for every drawn shape it keeps in step, and it
// changes only the points' texts, never their ids.
class DataModel {
 public:
  explicit DataModel(pugi::xml_node root) {
    for (pugi::xml_node pt : Child(root, "ptLst").children())
      if (LocalName(pt) == "pt") mPoints[pt.attribute("modelId").value()] = pt;
    for (pugi::xml_node cx : Child(root, "cxnLst").children()) {
      if (LocalName(cx) != "cxn") continue;
      const std::string_view type = cx.attribute("type").as_string("parOf");
      if (type == "presOf")
        mShown[cx.attribute("destId").value()].push_back(
            {cx.attribute("destOrd").as_int(0), cx.attribute("srcId").value()});
      if (type != "parOf") continue;
      mChildren[cx.attribute("srcId").value()].push_back(
          {cx.attribute("srcOrd").as_int(0), cx.attribute("destId").value()});
    }
    for (auto& [id, kids] : mChildren) std::stable_sort(kids.begin(), kids.end());
    for (auto& [id, shown] : mShown) std::stable_sort(shown.begin(), shown.end());
    mHasPresOf = !mShown.empty();
  }

  pugi::xml_node Point(std::string_view id) const {
    auto it = mPoints.find(id);
    return it == mPoints.end() ? pugi::xml_node() : it->second;
  }

  // The data points whose text a drawn shape with this model id shows, in
  // the order it shows them; empty when the model does not say.
  std::vector<pugi::xml_node> ShownBy(std::string_view drawnId) const {
    std::vector<pugi::xml_node> out;
    auto it = mShown.find(drawnId);
    if (it != mShown.end())
      for (const auto& [ord, id] : it->second)
        if (pugi::xml_node pt = Point(id)) out.push_back(pt);
    return out;
  }

  // The first data point a drawn shape with this model id shows.
  pugi::xml_node TextPointFor(std::string_view drawnId) const {
    if (auto it = mShown.find(drawnId); it != mShown.end()) {
      for (const auto& [ord, id] : it->second)
        if (pugi::xml_node pt = Point(id)) return pt;
      return {};
    }
    pugi::xml_node pt = Point(drawnId);
    if (!pt) return {};
    if (std::string_view(pt.attribute("type").value()) == "pres")
      return mHasPresOf ? pugi::xml_node() : Point(Child(pt, "prSet").attribute("presAssocID").value());
    return pt;
  }

  bool HasPresOf() const { return mHasPresOf; }

  // The ids a drawn shape may carry to show the point with model id
  // nodeId (those TextPointFor takes to it), found for every point at the
  // first ask: a sync asks at every drawn shape of a drawing.
  const std::vector<std::string_view>& DrawnIdsOf(std::string_view nodeId) const {
    if (!mDrawnBuilt) {
      auto add = [this](std::string_view id) {
        if (pugi::xml_node pt = TextPointFor(id)) {
          std::vector<std::string_view>& ids = mDrawnBy[pt.attribute("modelId").value()];
          if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        }
      };
      for (const auto& [id, pt] : mPoints) add(id);
      for (const auto& [id, shown] : mShown) add(id);
      mDrawnBuilt = true;
    }
    static const std::vector<std::string_view> kNone;
    auto it = mDrawnBy.find(nodeId);
    return it == mDrawnBy.end() ? kNone : it->second;
  }

  // Node points below a node, in model order, depth first.
  void Descendants(std::string_view id, std::vector<pugi::xml_node>& out, int depth = 0) const {
    if (depth > 32) return;
    auto it = mChildren.find(id);
    if (it == mChildren.end()) return;
    for (const auto& [ord, child] : it->second) {
      pugi::xml_node pt = Point(child);
      std::string_view type = pt.attribute("type").value();
      if (!pt || !(type.empty() || type == "node")) continue;
      out.push_back(pt);
      Descendants(child, out, depth + 1);
    }
  }

 private:
  using Ordered = std::vector<std::pair<int, std::string_view>>;
  std::unordered_map<std::string_view, pugi::xml_node> mPoints;
  std::unordered_map<std::string_view, Ordered> mChildren;
  std::unordered_map<std::string_view, Ordered> mShown;
  bool mHasPresOf = false;
  mutable bool mDrawnBuilt = false;
  mutable std::unordered_map<std::string_view, std::vector<std::string_view>> mDrawnBy;
};

// With create, a point without text gets an empty body in the data part's
// DrawingML namespace (declared in class c when the part has none).
pugi::xml_node TextOf(pugi::xml_node pt, bool create, Conformance c = Conformance::Transitional) {
  pugi::xml_node t = Child(pt, "t");
  if (t || !create) return t;
  std::string name = NameLike(pt, "t");
  pugi::xml_node ext = Child(pt, "extLst");
  t = ext ? pt.insert_child_before(name.c_str(), ext) : pt.append_child(name.c_str());
  std::string a = NamespacePrefix(t, kDrawingMl, c);
  t.append_child(QualifiedName(a, "bodyPr").c_str());
  t.append_child(QualifiedName(a, "lstStyle").c_str());
  t.append_child(QualifiedName(a, "p").c_str());
  return t;
}

// The diagram a drawing part draws: the part whose relationships link it
// (a slide, layout or master) and the data part whose dsp:dataModelExt
// names the relationship to the drawing, or whose own relationships link
// the drawing.
struct DiagramParts {
  std::string source, data;
};

// The data part's drawing relationship id in source's relationships, as
// dsp:dataModelExt/@relId names it; empty when it names none.
std::string NamedDrawingId(Package& pkg, const std::string& dataPart) {
  pugi::xml_node root = pkg.Xml(dataPart).document_element();
  for (pugi::xml_node ext : Child(root, "extLst").children())
    for (pugi::xml_node e = ext.first_child(); e; e = e.next_sibling())
      if (LocalName(e) == "dataModelExt") return e.attribute("relId").value();
  return {};
}

// Drawing parts the data part links itself.
std::vector<std::string> OwnDrawings(Package& pkg, const std::string& dataPart) {
  std::vector<std::string> out;
  for (const Relationship& r : pkg.KnownRelationships(dataPart))
    if (kDiagramDrawingRel.Matches(r.type) && !r.targetPart.empty() && pkg.HasPart(r.targetPart))
      out.push_back(r.targetPart);
  return out;
}

std::vector<std::string> DiagramSources(Document& doc) {
  Package& pkg = doc.Pkg();
  std::vector<std::string> sources;
  for (const SlideInfo& s : doc.SlideList()) sources.push_back(s.part);
  for (const std::string& part : pkg.PartNames())
    if (part.find("slideLayouts/") != std::string::npos || part.find("slideMasters/") != std::string::npos)
      if (part.find("_rels") == std::string::npos) sources.push_back(part);
  return sources;
}

std::vector<std::string> DataParts(Package& pkg, const std::vector<Relationship>& rels) {
  std::vector<std::string> out;
  for (const Relationship& r : rels)
    if (kDiagramDataRel.Matches(r.type) && !r.targetPart.empty() && pkg.HasPart(r.targetPart) &&
        std::find(out.begin(), out.end(), r.targetPart) == out.end())
      out.push_back(r.targetPart);
  return out;
}

// `sources`: those of DiagramSources that link the drawing, in that order.
DiagramParts DiagramOf(Package& pkg, const std::vector<std::string>& sources, const std::string& drawingPart) {
  for (const std::string& source : sources) {
    // Looked up without a copy: a sync asks at every drawn shape, over
    // every slide, layout and master, and nothing here changes links.
    const std::vector<Relationship>& rels = pkg.KnownRelationships(source);
    std::string drawingId;
    for (const Relationship& r : rels)
      if (r.targetPart == drawingPart) drawingId = r.id;
    if (drawingId.empty()) continue;
    for (const std::string& data : DataParts(pkg, rels)) {
      std::vector<std::string> own = OwnDrawings(pkg, data);
      if (NamedDrawingId(pkg, data) == drawingId || std::find(own.begin(), own.end(), drawingPart) != own.end())
        return {source, data};
    }
  }
  return {};
}

// Every drawing part of the diagram besides drawingPart: the one its data
// model names, those its data part links, and, where the source holds this
// diagram alone, any other drawing the source links. A drawing that could
// belong to another diagram of the same slide is never one of them.
std::vector<std::string> OtherDrawingsOf(Document& doc, const DiagramParts& diagram, const std::string& drawingPart) {
  Package& pkg = doc.Pkg();
  std::vector<std::string> out = OwnDrawings(pkg, diagram.data);
  const std::string named = NamedDrawingId(pkg, diagram.data);
  const std::vector<Relationship>& rels = pkg.KnownRelationships(diagram.source);
  const bool alone = DataParts(pkg, rels).size() == 1;
  for (const Relationship& r : rels)
    if (kDiagramDrawingRel.Matches(r.type) && pkg.HasPart(r.targetPart) && (alone || r.id == named))
      out.push_back(r.targetPart);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  out.erase(std::remove(out.begin(), out.end(), drawingPart), out.end());
  return out;
}

// The click and hover elements under a node, in document order.
void CollectLinks(pugi::xml_node node, std::vector<pugi::xml_node>* out) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view l = LocalName(c);
    if (l == "hlinkClick" || l == "hlinkMouseOver") out->push_back(c);
    else CollectLinks(c, out);
  }
}

std::vector<pugi::xml_node> Links(pugi::xml_node node) {
  std::vector<pugi::xml_node> out;
  CollectLinks(node, &out);
  return out;
}

pugi::xml_attribute LinkId(pugi::xml_node link) {
  for (pugi::xml_attribute a : link.attributes()) {
    std::string_view n = a.name();
    if (n == "r:id" || (n.ends_with(":id") && n != "id")) return a;
  }
  return {};
}

// Links copied from one drawing name that drawing's relationships; in
// another drawing they name its own, to the same target, found there or added.
void Relink(Package& pkg, const std::string& from, const std::string& to, pugi::xml_node body) {
  std::map<std::string, std::string> ids;
  for (pugi::xml_node link : Links(body)) {
    pugi::xml_attribute id = LinkId(link);
    if (!id || !*id.value()) continue;
    auto known = ids.find(id.value());
    if (known == ids.end()) {
      std::optional<Relationship> rel = pkg.RelationshipById(from, id.value());
      if (!rel) continue;
      std::string mine;
      if (rel->external) {
        mine = pkg.AddExternalRelationship(to, rel->type, rel->target);
      } else {
        for (const Relationship& r : pkg.KnownRelationships(to))
          if (r.type == rel->type && r.targetPart == rel->targetPart) mine = r.id;
        if (mine.empty()) mine = pkg.AddRelationship(to, rel->type, rel->targetPart);
      }
      known = ids.emplace(id.value(), std::move(mine)).first;
    }
    id.set_value(known->second.c_str());
  }
}

// Gives every shape of the other drawings that draws modelId the paragraphs.
void CopyToOtherDrawings(Document& doc, const DiagramParts& diagram, const std::string& drawingPart,
                         const std::string& modelId, const std::vector<pugi::xml_node>& paragraphs,
                         Conformance conformance) {
  for (const std::string& other : OtherDrawingsOf(doc, diagram, drawingPart)) {
    bool changed = false;
    std::vector<pugi::xml_node> stack{Child(doc.Pkg().Xml(other).document_element(), "spTree")};
    while (!stack.empty()) {
      pugi::xml_node n = stack.back();
      stack.pop_back();
      for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        if (LocalName(c) == "grpSp") stack.push_back(c);
        pugi::xml_node body = Child(c, "txBody");
        if (LocalName(c) != "sp" || !body || modelId != c.attribute("modelId").value()) continue;
        SetParagraphs(body, paragraphs, conformance);
        Relink(doc.Pkg(), drawingPart, other, body);
        changed = true;
      }
    }
    if (changed) doc.MarkDirty(other);
  }
}

}  // namespace

namespace {

// Drawn text names its links by the drawing part's relationships, which
// the data part does not share: the data's own links keep their ids, the
// first distinct drawn link taking the first distinct id it had, and so on.
void KeepLinkIds(const std::vector<std::string>& ids, pugi::xml_node body) {
  std::vector<std::string> seen;
  for (pugi::xml_node link : Links(body)) {
    pugi::xml_attribute id = LinkId(link);
    if (!id) continue;
    std::ostringstream key;
    for (pugi::xml_attribute a : link.attributes())
      if (a != id) key << a.name() << '=' << a.value() << ';';
    key << id.value();
    auto at = std::find(seen.begin(), seen.end(), key.str());
    size_t k = static_cast<size_t>(at - seen.begin());
    if (at == seen.end()) seen.push_back(key.str());
    if (k < ids.size()) id.set_value(ids[k].c_str());
  }
}

std::vector<std::string> DistinctLinkIds(pugi::xml_node body) {
  std::vector<std::string> ids;
  for (pugi::xml_node link : Links(body)) {
    pugi::xml_attribute id = LinkId(link);
    if (id && *id.value() && std::find(ids.begin(), ids.end(), id.value()) == ids.end()) ids.push_back(id.value());
  }
  return ids;
}

}  // namespace

// What a sync would otherwise work out again at every drawn shape: which
// parts link each part (in DiagramSources' order), kept while the package's
// links and the slide list stay; and each data part's model, kept while
// nothing but the sync changes that part (the sync changes the points'
// text, never the points and connections the model indexes).
struct SmartArtIndex {
  bool built = false;
  bool complete = false;  // every source's relationships could be read
  std::uint64_t linkEdits = 0, slideListVersion = 0;
  std::unordered_map<std::string, std::vector<std::string>> sourcesOf;
  struct Model {
    std::uint64_t version = 0;
    std::unique_ptr<DataModel> model;
  };
  std::unordered_map<std::string, Model> models;
};

namespace {

SmartArtIndex& IndexOf(Document& doc) {
  std::shared_ptr<SmartArtIndex>& index = doc.SmartArt();
  if (!index) index = std::make_shared<SmartArtIndex>();
  return *index;
}

std::vector<std::string> SourcesLinking(Document& doc, const std::string& part) {
  SmartArtIndex& index = IndexOf(doc);
  Package& pkg = doc.Pkg();
  const std::uint64_t links = pkg.LinkEdits(), slideList = pkg.PartVersion(doc.PresentationPart());
  if (!index.built || index.linkEdits != links || index.slideListVersion != slideList) {
    index = SmartArtIndex{true, true, links, slideList, {}, std::move(index.models)};
    try {
      for (const std::string& source : DiagramSources(doc))
        for (const Relationship& r : pkg.KnownRelationships(source)) {
          std::vector<std::string>& linking = index.sourcesOf[r.targetPart];
          if (linking.empty() || linking.back() != source) linking.push_back(source);
        }
    } catch (const std::exception&) {
      // A source whose relationships cannot be read fails the lookup where
      // the walk over every source meets it.
      index.complete = false;
    }
  }
  if (!index.complete) return DiagramSources(doc);
  auto it = index.sourcesOf.find(part);
  return it == index.sourcesOf.end() ? std::vector<std::string>() : it->second;
}

}  // namespace

void SmartArtDrawingChanged(Document& doc, const std::string& drawingPart, pugi::xml_node drawnShape) {
  std::string modelId = drawnShape.attribute("modelId").value();
  pugi::xml_node drawnBody = Child(drawnShape, "txBody");
  if (modelId.empty() || !drawnBody) return;
  const DiagramParts diagram = DiagramOf(doc.Pkg(), SourcesLinking(doc, drawingPart), drawingPart);
  const std::string& dataPart = diagram.data;
  if (dataPart.empty()) return;  // a drawing without its model: nothing to keep in step
  CopyToOtherDrawings(doc, diagram, drawingPart, modelId, Paragraphs(drawnBody), ConformanceOf(doc));
  SmartArtIndex::Model& kept = IndexOf(doc).models[dataPart];
  if (!kept.model || kept.version != doc.Pkg().PartVersion(dataPart))
    kept = {doc.Pkg().PartVersion(dataPart), std::make_unique<DataModel>(doc.Pkg().Xml(dataPart).document_element())};
  const DataModel& model = *kept.model;
  pugi::xml_node node = model.TextPointFor(modelId);
  if (!node) return;

  std::vector<pugi::xml_node> drawn = Paragraphs(drawnBody);
  // Share the drawn paragraphs out over the points the shape shows when the
  // counts say it shows them all; otherwise the first takes them all.
  std::vector<pugi::xml_node> targets{node};
  std::vector<pugi::xml_node> below;
  if (model.HasPresOf()) {
    std::vector<pugi::xml_node> shown = model.ShownBy(modelId);
    below.assign(shown.begin() + 1, shown.end());
  } else {
    model.Descendants(node.attribute("modelId").value(), below);
  }
  std::vector<size_t> counts{Paragraphs(TextOf(node, false)).size()};
  size_t total = counts[0];
  for (pugi::xml_node b : below) {
    counts.push_back(Paragraphs(TextOf(b, false)).size());
    total += counts.back();
  }
  if (!below.empty() && total == drawn.size() && counts[0] > 0) {
    targets.insert(targets.end(), below.begin(), below.end());
  } else {
    counts = {drawn.size()};
  }
  Conformance conformance = ConformanceOf(doc);
  size_t at = 0;
  for (size_t i = 0; i < targets.size(); ++i) {
    std::vector<pugi::xml_node> mine(drawn.begin() + at, drawn.begin() + at + counts[i]);
    at += counts[i];
    pugi::xml_node text = TextOf(targets[i], true, conformance);
    std::vector<std::string> ids = DistinctLinkIds(text);
    SetParagraphs(text, mine, conformance);
    if (!ids.empty()) KeepLinkIds(ids, text);
  }
  doc.MarkDirty(dataPart);
  kept.version = doc.Pkg().PartVersion(dataPart);  // the change above was text only

  // Other drawn shapes showing the same node (a layout may draw a node's
  // text in a second shape) show the new text too.
  pugi::xml_node tree = drawnShape.parent();
  while (tree && LocalName(tree) != "spTree") tree = tree.parent();
  if (!tree || targets.size() != 1) return;
  const std::vector<std::string_view>& showing = model.DrawnIdsOf(node.attribute("modelId").value());
  bool changed = false;
  std::vector<pugi::xml_node> stack{tree};
  while (!stack.empty()) {
    pugi::xml_node n = stack.back();
    stack.pop_back();
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      std::string_view l = LocalName(c);
      if (l == "grpSp") stack.push_back(c);
      if (l != "sp" || c == drawnShape) continue;
      if (std::find(showing.begin(), showing.end(), std::string_view(c.attribute("modelId").value())) == showing.end())
        continue;
      pugi::xml_node body = Child(c, "txBody");
      if (!body || TextBody(body).Text().empty()) continue;
      SetParagraphs(body, drawn, conformance);
      changed = true;
    }
  }
  if (changed) doc.MarkDirty(drawingPart);
}

}  // namespace host::pptx
