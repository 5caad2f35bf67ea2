// Charts of graphic frames (the chart part the frame refers to, and the
// drawing of shapes over it) and the slide masters and layouts.
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "src/host/Charts.h"
#include "src/host/pptx/PptxShapes.h"
#include "src/host/pptx/TextBody.h"

namespace host::pptx {

namespace shapes {

namespace {

// A chart's own text (a title or a typed data label): c:tx/c:rich is a
// DrawingML text body, so the shape side's text frames work on it as on a
// shape's. It is laid out by the chart inside the chart's frame.
class ChartTextShape : public ShapeBase {
 public:
  Rect SlideRect() override { return parent->SlideRect(); }
  void SetSlideRect(const Rect&) override { Check(); }
  ShapeIdentity Identity() override { return parent->Identity(); }
  std::wstring Name() override { return parent->Name(); }
  int Id() override { return parent->Id(); }
  bool HiddenFlag() override { return false; }
  pugi::xml_node TextHost() override { return Child(node, "tx"); }
  const char* BodyName() override { return "rich"; }
  bool ParagraphDefaults() override { return true; }
  bool HasTextFrame() override {
    Check();
    return static_cast<bool>(Child(TextHost(), "rich"));
  }
  Ptr<host::Shape> SelectionTarget() override { return parent; }
};

// A shape drawn over a chart (c:userShapes): placed in fractions of the
// chart's frame, or in EMU from its corner.
class UserShape : public ShapeBase {
 public:
  pugi::xml_node anchor;
  int index = 0;

  Rect SlideRect() override {
    Rect f = parent->SlideRect();
    Rect r;
    r.present = true;
    pugi::xml_node from = Child(anchor, "from"), to = Child(anchor, "to");
    auto at = [](pugi::xml_node n, const char* axis) { return std::atof(Child(n, axis).text().get()); };
    if (Is(anchor, "relSizeAnchor")) {
      r.x = f.x + at(from, "x") * f.cx;
      r.y = f.y + at(from, "y") * f.cy;
      r.cx = std::max(0.0, at(to, "x") - at(from, "x")) * f.cx;
      r.cy = std::max(0.0, at(to, "y") - at(from, "y")) * f.cy;
    } else {
      pugi::xml_node ext = Child(anchor, "ext");
      r.x = f.x + at(from, "x");
      r.y = f.y + at(from, "y");
      r.cx = Emu(ext, "cx");
      r.cy = Emu(ext, "cy");
    }
    return r;
  }
  void SetSlideRect(const Rect&) override {
    Check();
    throw platform::ComError(E_FAIL, L"A shape over a chart is placed by the chart.");
  }
  ShapeIdentity Identity() override {
    ShapeIdentity id = parent->Identity();
    id.drawnIndex = index;
    return id;
  }
  int Type() override {
    Check();
    return Attr(Child(NvBlock(node), "cNvSpPr"), "txBox").as_bool() ? msoTextBox : msoAutoShape;
  }
  bool HasTextFrame() override {
    Check();
    return Is(node, "sp");
  }
};

class UserShapesImpl : public host::Shapes {
 public:
  explicit UserShapesImpl(std::vector<Ptr<host::Shape>> items) : mItems(std::move(items)) {}
  int Count() override { return static_cast<int>(mItems.size()); }
  Ptr<host::Shape> Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return mItems[index - 1];
  }
  Ptr<host::Shape> Item(const std::wstring& name) override {
    for (auto& s : mItems)
      if (s->Name() == name) return s;
    throw platform::ComError(E_INVALIDARG, L"The item with the specified name wasn't found.");
  }
  Ptr<host::ShapeRange> Range() override { return MakeShapeRange(mItems); }
  Ptr<host::ShapeRange> Range(const std::vector<std::wstring>& names) override {
    std::vector<Ptr<host::Shape>> out;
    for (auto& n : names) out.push_back(Item(n));
    return MakeShapeRange(std::move(out));
  }
  Ptr<host::ShapeRange> Range(const std::vector<int>& indexes) override {
    std::vector<Ptr<host::Shape>> out;
    for (int i : indexes) out.push_back(Item(i));
    return MakeShapeRange(std::move(out));
  }
  Ptr<host::Shape> AddTextbox(int, float, float, float, float) override {
    throw platform::ComError(E_FAIL, L"Shapes cannot be added over this chart.");
  }

 private:
  std::vector<Ptr<host::Shape>> mItems;
};

// What every chart object holds: the frame it is drawn in and the chart part.
struct ChartPlace {
  std::shared_ptr<ShapeBase> frame;
  std::string part;
  int generation = 0;

  void Check() const {
    frame->Check();
    if (frame->doc->Deletions(part) != generation)
      throw platform::ComError(E_FAIL, L"The chart changed since this object was fetched; fetch it again.");
  }
  pugi::xml_node Root() const { return frame->doc->Pkg().Xml(part).document_element(); }
  pugi::xml_node ChartNode() const { return Child(Root(), "chart"); }
  pugi::xml_node PlotArea() const { return Child(ChartNode(), "plotArea"); }
  Ptr<host::ChartText> Text(pugi::xml_node holder) const;
};

std::shared_ptr<ChartTextShape> MakeChartTextShape(const ChartPlace& c, pugi::xml_node holder) {
  auto s = std::make_shared<ChartTextShape>();
  s->doc = c.frame->doc;
  s->slide = c.frame->slide;
  s->part = c.part;
  s->node = holder;
  s->parent = c.frame;
  s->generation = c.generation;
  return s;
}

// A typed text: the element holds c:tx/c:rich.
bool HasRich(pugi::xml_node holder) { return static_cast<bool>(Child(Child(holder, "tx"), "rich")); }

class ChartTextImpl : public host::DataLabel {
 public:
  ChartTextImpl(ChartPlace c, pugi::xml_node holder) : mPlace(std::move(c)), mHolder(holder) {}
  std::wstring Text() override {
    mPlace.Check();
    return HasRich(mHolder) ? BodyText(Child(Child(mHolder, "tx"), "rich")) : std::wstring();
  }
  Ptr<host::TextFrame2> TextFrame2() override {
    mPlace.Check();
    if (!HasRich(mHolder)) throw platform::ComError(E_FAIL, L"This text is made by the chart and has no text frame.");
    return MakeChartTextShape(mPlace, mHolder)->TextFrame2();
  }
  bool AutoText() override {
    mPlace.Check();
    return !HasRich(mHolder);
  }

 private:
  ChartPlace mPlace;
  pugi::xml_node mHolder;
};

Ptr<host::ChartText> ChartPlace::Text(pugi::xml_node holder) const {
  return std::make_shared<ChartTextImpl>(*this, holder);
}

class AxisImpl : public host::Axis {
 public:
  AxisImpl(ChartPlace c, pugi::xml_node axis) : mPlace(std::move(c)), mAxis(axis) {}
  bool HasTitle() override {
    mPlace.Check();
    return static_cast<bool>(Child(mAxis, "title"));
  }
  Ptr<host::ChartText> AxisTitle() override {
    if (!HasTitle()) throw platform::ComError(E_FAIL, L"This axis has no title.");
    return mPlace.Text(Child(mAxis, "title"));
  }

 private:
  ChartPlace mPlace;
  pugi::xml_node mAxis;
};

// The points of a series: the cached values' count.
int PointCount(pugi::xml_node ser) {
  for (const char* values : {"val", "yVal", "bubbleSize"}) {
    pugi::xml_node v = Child(ser, values);
    if (!v) continue;
    for (pugi::xml_node data = v.first_child(); data; data = data.next_sibling()) {
      pugi::xml_node cache = Child(data, "numCache");
      if (!cache) cache = Child(data, "strCache");
      if (!cache && (Is(data, "numLit") || Is(data, "strLit"))) cache = data;
      if (cache) return std::max(0, Attr(Child(cache, "ptCount"), "val").as_int());
    }
  }
  return 0;
}

class DataLabelsImpl : public host::DataLabels {
 public:
  DataLabelsImpl(ChartPlace c, pugi::xml_node ser) : mPlace(std::move(c)), mSeries(ser) {}
  int Count() override {
    mPlace.Check();
    return PointCount(mSeries);
  }
  Ptr<host::DataLabel> Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    pugi::xml_node label;
    for (pugi::xml_node l : Children(Child(mSeries, "dLbls"), "dLbl"))
      if (Attr(Child(l, "idx"), "val").as_int(-1) == index - 1) label = l;
    return std::make_shared<ChartTextImpl>(mPlace, label);
  }

 private:
  ChartPlace mPlace;
  pugi::xml_node mSeries;
};

// "Sheet1!$B$1" as a formula argument, or a text in double quotes.
std::wstring Quoted(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) out += c == L'"' ? std::wstring(L"\"\"") : std::wstring(1, c);
  return out + L"\"";
}

std::wstring Reference(pugi::xml_node data) {
  for (pugi::xml_node d = data.first_child(); d; d = d.next_sibling())
    if (pugi::xml_node f = Child(d, "f")) return W(f.text().get());
  return {};
}

class SeriesImpl : public host::Series {
 public:
  SeriesImpl(ChartPlace c, pugi::xml_node ser) : mPlace(std::move(c)), mSeries(ser) {}
  std::wstring Name() override {
    mPlace.Check();
    pugi::xml_node tx = Child(mSeries, "tx");
    if (pugi::xml_node v = Child(tx, "v")) return W(v.text().get());
    pugi::xml_node pt = Child(Child(Child(tx, "strRef"), "strCache"), "pt");
    if (pt) return W(Child(pt, "v").text().get());
    return L"Series" + std::to_wstring(Attr(Child(mSeries, "order"), "val").as_int() + 1);
  }
  // As the host does, a name set by hand replaces a name read from the data.
  void SetName(const std::wstring& name) override {
    mPlace.Check();
    Document& doc = *mPlace.frame->doc;
    pugi::xml_node tx = Child(mSeries, "tx");
    if (!tx) {
      pugi::xml_node before = Child(mSeries, "spPr");
      if (!before) before = Child(mSeries, "invertIfNegative");
      tx = AppendChildLike(mSeries, "tx", before);
    }
    pugi::xml_node v = Child(tx, "v");
    if (!v) {
      while (tx.first_child()) tx.remove_child(tx.first_child());
      doc.NoteDeletion(mPlace.part);
      mPlace.generation = doc.Deletions(mPlace.part);
      v = AppendChildLike(tx, "v");
    }
    v.text().set(U(name).c_str());
    doc.MarkDirty(mPlace.part);
  }
  std::wstring Formula() override {
    mPlace.Check();
    pugi::xml_node tx = Child(mSeries, "tx");
    std::wstring name = Child(tx, "v") ? Quoted(Name()) : Reference(tx);
    pugi::xml_node cat = Child(mSeries, "cat");
    if (!cat) cat = Child(mSeries, "xVal");
    pugi::xml_node val = Child(mSeries, "val");
    if (!val) val = Child(mSeries, "yVal");
    return L"=SERIES(" + name + L"," + Reference(cat) + L"," + Reference(val) + L"," +
           std::to_wstring(Attr(Child(mSeries, "order"), "val").as_int() + 1) + L")";
  }
  Ptr<host::DataLabels> DataLabels() override {
    mPlace.Check();
    return std::make_shared<DataLabelsImpl>(mPlace, mSeries);
  }

 private:
  ChartPlace mPlace;
  pugi::xml_node mSeries;
};

std::vector<pugi::xml_node> AllSeries(pugi::xml_node plotArea) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node kind = plotArea.first_child(); kind; kind = kind.next_sibling())
    if (LocalName(kind).size() > 5 && LocalName(kind).ends_with("Chart"))
      for (pugi::xml_node ser : Children(kind, "ser")) out.push_back(ser);
  return out;
}

class SeriesCollectionImpl : public host::SeriesCollection {
 public:
  explicit SeriesCollectionImpl(ChartPlace c) : mPlace(std::move(c)) {}
  int Count() override {
    mPlace.Check();
    return static_cast<int>(AllSeries(mPlace.PlotArea()).size());
  }
  Ptr<host::Series> Item(int index) override {
    mPlace.Check();
    auto all = AllSeries(mPlace.PlotArea());
    if (index < 1 || index > static_cast<int>(all.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return std::make_shared<SeriesImpl>(mPlace, all[index - 1]);
  }

 private:
  ChartPlace mPlace;
};

class ChartImpl : public host::Chart {
 public:
  explicit ChartImpl(ChartPlace c) : mPlace(std::move(c)) {}
  bool HasTitle() override {
    mPlace.Check();
    return static_cast<bool>(Child(mPlace.ChartNode(), "title")) &&
           !Attr(Child(mPlace.ChartNode(), "autoTitleDeleted"), "val").as_bool();
  }
  Ptr<host::ChartText> ChartTitle() override {
    if (!HasTitle()) throw platform::ComError(E_FAIL, L"This chart has no title.");
    return mPlace.Text(Child(mPlace.ChartNode(), "title"));
  }
  bool HasAxis(int type, int group) override {
    mPlace.Check();
    return static_cast<bool>(AxisOf(type, group));
  }
  Ptr<host::Axis> Axes(int type, int group) override {
    mPlace.Check();
    pugi::xml_node axis = AxisOf(type, group);
    if (!axis) throw platform::ComError(E_INVALIDARG, L"The chart has no axis of this type.");
    return std::make_shared<AxisImpl>(mPlace, axis);
  }
  Ptr<host::Shapes> Shapes() override {
    mPlace.Check();
    std::vector<Ptr<host::Shape>> items;
    Document& doc = *mPlace.frame->doc;
    pugi::xml_node user = Child(mPlace.Root(), "userShapes");
    auto rel = user ? doc.Pkg().RelationshipById(mPlace.part, Attr(user, "id").value()) : std::nullopt;
    if (rel && !rel->external && doc.Pkg().HasPart(rel->targetPart)) {
      pugi::xml_node root = doc.Pkg().Xml(rel->targetPart).document_element();
      for (pugi::xml_node anchor = root.first_child(); anchor; anchor = anchor.next_sibling()) {
        if (!Is(anchor, "relSizeAnchor") && !Is(anchor, "absSizeAnchor")) continue;
        pugi::xml_node sp = Child(anchor, "sp");
        if (!sp) continue;
        auto s = std::make_shared<UserShape>();
        s->doc = mPlace.frame->doc;
        s->slide = mPlace.frame->slide;
        s->part = rel->targetPart;
        s->node = sp;
        s->anchor = anchor;
        s->parent = mPlace.frame;
        s->generation = doc.Deletions(rel->targetPart);
        s->index = static_cast<int>(items.size()) + 1;
        items.push_back(s);
      }
    }
    return std::make_shared<UserShapesImpl>(std::move(items));
  }
  Ptr<host::SeriesCollection> SeriesCollection() override {
    mPlace.Check();
    return std::make_shared<SeriesCollectionImpl>(mPlace);
  }

 private:
  // The primary axes are those the plot area's first group of series is
  // drawn on; the secondary ones those of the first later group drawn on
  // others (a combination chart's second group). Category axes are the
  // category and date axes; a group that has none (a scatter chart) plots
  // its first value axis as the category axis.
  pugi::xml_node AxisOf(int type, int group) {
    if (group != xlPrimary && group != xlSecondary) return {};
    pugi::xml_node plot = mPlace.PlotArea();
    std::vector<pugi::xml_node> axes;
    for (pugi::xml_node a = plot.first_child(); a; a = a.next_sibling())
      if (Is(a, "valAx") || Is(a, "catAx") || Is(a, "dateAx") || Is(a, "serAx")) axes.push_back(a);
    std::vector<std::vector<std::string>> groups;
    for (pugi::xml_node kind = plot.first_child(); kind; kind = kind.next_sibling()) {
      if (LocalName(kind).size() <= 5 || !LocalName(kind).ends_with("Chart")) continue;
      std::vector<std::string> ids;
      for (pugi::xml_node id : Children(kind, "axId")) ids.push_back(Attr(id, "val").value());
      if (!ids.empty()) groups.push_back(std::move(ids));
    }
    auto on = [](const std::vector<std::string>& ids, pugi::xml_node axis) {
      return std::find(ids.begin(), ids.end(), Attr(Child(axis, "axId"), "val").value()) != ids.end();
    };
    // A chart whose groups name no axes keeps every axis primary.
    std::vector<pugi::xml_node> mine;
    if (groups.empty()) {
      if (group == xlPrimary) mine = axes;
    } else {
      const std::vector<std::string>& first = groups.front();
      const std::vector<std::string>* ids = &first;
      if (group == xlSecondary) {
        auto elsewhere = [&](const std::vector<std::string>& g) {
          return std::any_of(g.begin(), g.end(), [&](const std::string& id) {
            return std::find(first.begin(), first.end(), id) == first.end();
          });
        };
        auto other = std::find_if(groups.begin() + 1, groups.end(), elsewhere);
        if (other == groups.end()) return {};
        ids = &*other;
      }
      for (pugi::xml_node a : axes)
        if (on(*ids, a)) mine.push_back(a);
    }
    std::vector<pugi::xml_node> values;
    pugi::xml_node category, series;
    for (pugi::xml_node a : mine) {
      if (Is(a, "valAx")) values.push_back(a);
      else if ((Is(a, "catAx") || Is(a, "dateAx")) && !category) category = a;
      else if (Is(a, "serAx") && !series) series = a;
    }
    if (!category && values.size() > 1) {
      category = values.front();
      values.erase(values.begin());
    }
    if (type == xlCategory) return category;
    if (type == xlValue) return values.empty() ? pugi::xml_node() : values.front();
    if (type == xlSeriesAxis) return series;
    return {};
  }

  ChartPlace mPlace;
};

}  // namespace

Ptr<host::Chart> GraphicFrameShape::Chart() {
  Check();
  if (!HasChart()) throw platform::ComError(E_FAIL, L"This shape does not have a chart.");
  Package& pkg = doc->Pkg();
  // A chart of the newer kind (chartEx) lays out its texts in a model of its
  // own, which this host does not read; read as the older kind, its
  // elements of the same names would be taken for what they are not.
  if (std::string_view(Attr(GraphicData(node), "uri").value()).find("chartex") != std::string_view::npos)
    throw platform::ComError(E_FAIL, L"This chart is of the newer kind, whose texts are not read.");
  pugi::xml_node ref = Child(GraphicData(node), "chart");
  auto rel = ref ? pkg.RelationshipById(part, Attr(ref, "id").value()) : std::nullopt;
  if (!rel || rel->external || !pkg.HasPart(rel->targetPart))
    throw platform::ComError(E_FAIL, L"This chart's part cannot be read.");
  ChartPlace place{shared_from_this(), rel->targetPart, doc->Deletions(rel->targetPart)};
  return std::make_shared<ChartImpl>(std::move(place));
}

}  // namespace shapes

namespace {

class LayoutImpl : public host::CustomLayout {
 public:
  LayoutImpl(std::shared_ptr<Document> d, std::string p) : doc(std::move(d)), part(std::move(p)) {}
  std::wstring Name() override {
    doc->CheckOpen();
    return W(Attr(Child(doc->Pkg().Xml(part).document_element(), "cSld"), "name").value());
  }
  Ptr<host::Shapes> Shapes() override {
    doc->CheckOpen();
    return MakeShapes(SlideRef{doc, 0, part, false});
  }
  std::shared_ptr<Document> doc;
  std::string part;
};

// Parts listed by an id list of a part (p:sldMasterIdLst, p:sldLayoutIdLst)
// through its relationships, in the list's order.
std::vector<std::string> ListedParts(Document& doc, const std::string& part, const char* list) {
  std::vector<std::string> out;
  Package& pkg = doc.Pkg();
  pugi::xml_node root = pkg.Xml(part).document_element();
  for (pugi::xml_node id = Child(root, list).first_child(); id; id = id.next_sibling()) {
    // The entry's own id is an unqualified "id" beside the relationship's "r:id".
    std::string relId;
    for (pugi::xml_attribute a = id.first_attribute(); a; a = a.next_attribute()) {
      const std::string name = a.name();
      if (name.size() > 3 && name.ends_with(":id")) relId = a.value();
    }
    auto rel = pkg.RelationshipById(part, relId);
    if (rel && !rel->external && pkg.HasPart(rel->targetPart)) out.push_back(rel->targetPart);
  }
  return out;
}

// The parts a list names (a master's layouts, the deck's masters), one
// object each.
template <class Collection, class Object>
class PartsImpl : public Collection {
 public:
  PartsImpl(std::shared_ptr<Document> d, std::vector<std::string> parts)
      : mDoc(std::move(d)), mParts(std::move(parts)) {}
  int Count() override {
    mDoc->CheckOpen();
    return static_cast<int>(mParts.size());
  }
  decltype(std::declval<Collection&>().Item(1)) Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return std::make_shared<Object>(mDoc, mParts[index - 1]);
  }

 private:
  std::shared_ptr<Document> mDoc;
  std::vector<std::string> mParts;
};

class MasterImpl : public host::Master {
 public:
  MasterImpl(std::shared_ptr<Document> d, std::string p) : mLayout(std::move(d), std::move(p)) {}
  std::wstring Name() override { return mLayout.Name(); }
  Ptr<host::Shapes> Shapes() override { return mLayout.Shapes(); }
  Ptr<host::CustomLayouts> CustomLayouts() override {
    mLayout.doc->CheckOpen();
    return std::make_shared<PartsImpl<host::CustomLayouts, LayoutImpl>>(
        mLayout.doc, ListedParts(*mLayout.doc, mLayout.part, "sldLayoutIdLst"));
  }

 private:
  LayoutImpl mLayout;
};

class DesignImpl : public host::Design {
 public:
  DesignImpl(std::shared_ptr<Document> d, std::string p) : mMaster(std::make_shared<MasterImpl>(d, p)) {}
  std::wstring Name() override { return mMaster->Name(); }
  Ptr<host::Master> SlideMaster() override { return mMaster; }

 private:
  Ptr<host::Master> mMaster;
};

}  // namespace

Ptr<host::Designs> MakeDesigns(const std::shared_ptr<Document>& doc) {
  doc->CheckOpen();
  return std::make_shared<PartsImpl<host::Designs, DesignImpl>>(
      doc, ListedParts(*doc, doc->PresentationPart(), "sldMasterIdLst"));
}

}  // namespace host::pptx
