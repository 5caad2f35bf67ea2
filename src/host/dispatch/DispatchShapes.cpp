// Slides, shapes, tables and comments.
#include <array>

#include "src/host/dispatch/DispatchModel.h"

namespace host::dispatch {

namespace {

// What makes a shape's identity beyond its own id: the table cell or the
// drawn SmartArt shape it stands for, with the frame that holds it.
struct Part {
  std::shared_ptr<Dispatch> table;  // a cell's table
  int row = 0;
  int column = 0;
  int drawnIndex = 0;
  int frameId = 0;
};

Ptr<host::Shape> MakeShape(const Variant& v, Where where, Part part = {});

class DComment;

class DComments : public host::Comments, Base {
 public:
  explicit DComments(IDispatch* o) : Base(o, "Comments") {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::Comment> Item(int index) override;
  Ptr<host::Comment> Add(float left, float top, const std::wstring& author, const std::wstring& authorInitials,
                         const std::wstring& text) override;
};

class DComment : public host::Comment, Base {
 public:
  explicit DComment(IDispatch* o) : Base(o, "Comment") {}
  std::wstring Text() override { return GetString(L"Text"); }
  float Left() override { return GetFloat(L"Left"); }
  float Top() override { return GetFloat(L"Top"); }
  std::wstring Author() override { return GetString(L"Author"); }
  std::wstring AuthorInitials() override { return GetString(L"AuthorInitials"); }
  std::wstring DateTime() override { return GetString(L"DateTime"); }
  Ptr<host::Comments> Replies() override { return Wrap<DComments>(d->Get(L"Replies")); }
  void Delete() override { Do(L"Delete"); }
};

Ptr<host::Comment> DComments::Item(int index) { return Wrap<DComment>(d->Get(L"Item", {index})); }
Ptr<host::Comment> DComments::Add(float left, float top, const std::wstring& author,
                                  const std::wstring& authorInitials, const std::wstring& text) {
  return Wrap<DComment>(d->Call(L"Add", {left, top, author, authorInitials, text}));
}

class DShapes : public host::Shapes, Base {
 public:
  DShapes(IDispatch* o, Where where) : Base(o, "Shapes"), mWhere(where) {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::Shape> Item(int index) override { return MakeShape(d->Get(L"Item", {index}), mWhere); }
  Ptr<host::Shape> Item(const std::wstring& name) override { return MakeShape(d->Get(L"Item", {name}), mWhere); }
  Ptr<host::ShapeRange> Range() override { return MakeShapeRange(d->Get(L"Range"), mWhere); }
  Ptr<host::ShapeRange> Range(const std::vector<std::wstring>& names) override {
    return MakeShapeRange(d->Get(L"Range", {names}), mWhere);
  }
  Ptr<host::ShapeRange> Range(const std::vector<int>& indexes) override {
    return MakeShapeRange(d->Get(L"Range", {indexes}), mWhere);
  }
  Ptr<host::Shape> AddTextbox(int orientation, float left, float top, float width, float height) override {
    return MakeShape(d->Call(L"AddTextbox", {orientation, left, top, width, height}), mWhere);
  }

 private:
  Where mWhere;
};

class DShapeRange : public host::ShapeRange, Base {
 public:
  DShapeRange(IDispatch* o, Where where) : Base(o, "ShapeRange"), mWhere(where) {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::Shape> Item(int index) override { return MakeShape(d->Get(L"Item", {index}), mWhere); }
  void Select(bool replace) override { Do(L"Select", {TriState(replace)}); }

 private:
  Where mWhere;
};

class DGroupShapes : public host::GroupShapes, Base {
 public:
  // smartArtFrame: the id of the SmartArt frame whose drawn shapes these
  // are, 0 for a group's members.
  DGroupShapes(IDispatch* o, Where where, int smartArtFrame)
      : Base(o, "GroupShapes"), mWhere(where), mFrame(smartArtFrame) {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::Shape> Item(int index) override {
    Part part;
    if (mFrame != 0) {
      part.drawnIndex = index;
      part.frameId = mFrame;
    }
    return MakeShape(d->Get(L"Item", {index}), mWhere, part);
  }

 private:
  Where mWhere;
  int mFrame;
};

class DPlaceholderFormat : public host::PlaceholderFormat, Base {
 public:
  explicit DPlaceholderFormat(IDispatch* o) : Base(o, "PlaceholderFormat") {}
  int Type() override { return GetInt(L"Type"); }
  int ContainedType() override { return GetInt(L"ContainedType"); }
  std::wstring Name() override { return GetString(L"Name"); }
};

class DTextEffectFormat : public host::TextEffectFormat, Base {
 public:
  explicit DTextEffectFormat(IDispatch* o) : Base(o, "TextEffectFormat") {}
  std::wstring Text() override { return GetString(L"Text"); }
  void SetText(const std::wstring& text) override { Set(L"Text", text); }
  std::wstring FontName() override { return GetString(L"FontName"); }
  void SetFontName(const std::wstring& name) override { Set(L"FontName", name); }
  float FontSize() override { return GetFloat(L"FontSize"); }
  void SetFontSize(float size) override { Set(L"FontSize", size); }
  int FontBold() override { return GetInt(L"FontBold"); }
  int FontItalic() override { return GetInt(L"FontItalic"); }
};

// The members both text-frame generations share, over either kind of range.
template <class Interface>
class DFrame : public Interface, protected Base {
 public:
  DFrame(IDispatch* o, const char* kind) : Base(o, kind) {}
  int AutoSize() override { return GetInt(L"AutoSize"); }
  void SetAutoSize(int v) override { Set(L"AutoSize", v); }
  int WordWrap() override { return GetInt(L"WordWrap"); }
  void SetWordWrap(int v) override { Set(L"WordWrap", v); }
  int Orientation() override { return GetInt(L"Orientation"); }
  void SetOrientation(int v) override { Set(L"Orientation", v); }
  int VerticalAnchor() override { return GetInt(L"VerticalAnchor"); }
  void SetVerticalAnchor(int v) override { Set(L"VerticalAnchor", v); }
  float MarginLeft() override { return GetFloat(L"MarginLeft"); }
  float MarginRight() override { return GetFloat(L"MarginRight"); }
  float MarginTop() override { return GetFloat(L"MarginTop"); }
  float MarginBottom() override { return GetFloat(L"MarginBottom"); }
  void SetMarginLeft(float v) override { Set(L"MarginLeft", v); }
  void SetMarginRight(float v) override { Set(L"MarginRight", v); }
  void SetMarginTop(float v) override { Set(L"MarginTop", v); }
  void SetMarginBottom(float v) override { Set(L"MarginBottom", v); }
};

class DTextFrame : public DFrame<host::TextFrame> {
 public:
  explicit DTextFrame(IDispatch* o) : DFrame(o, "TextFrame") {}
  bool HasText() override { return GetBool(L"HasText"); }
  Ptr<host::TextRange> TextRange() override { return MakeTextRange(d->Get(L"TextRange")); }
};

class DTextFrame2 : public DFrame<host::TextFrame2> {
 public:
  DTextFrame2(IDispatch* o, std::shared_ptr<Dispatch> shape) : DFrame(o, "TextFrame2"), mShape(std::move(shape)) {}
  int HasText() override { return GetInt(L"HasText"); }
  Ptr<host::TextRange2> TextRange() override { return MakeTextRange2(d->Get(L"TextRange"), {mShape, true}); }

 private:
  std::shared_ptr<Dispatch> mShape;
};

class DRow : public host::Row, Base {
 public:
  explicit DRow(IDispatch* o) : Base(o, "Row") {}
  float Height() override { return GetFloat(L"Height"); }
};

class DColumn : public host::Column, Base {
 public:
  explicit DColumn(IDispatch* o) : Base(o, "Column") {}
  float Width() override { return GetFloat(L"Width"); }
};

class DRows : public Collection<host::Rows, DRow> {
 public:
  explicit DRows(IDispatch* o) : Collection(o, "Rows") {}
};

class DColumns : public Collection<host::Columns, DColumn> {
 public:
  explicit DColumns(IDispatch* o) : Collection(o, "Columns") {}
};

class DCell : public host::Cell, Base {
 public:
  DCell(IDispatch* o, Where where, Part part) : Base(o, "Cell"), mWhere(where), mPart(part) {}
  Ptr<host::Shape> Shape() override { return MakeShape(d->Get(L"Shape"), mWhere, mPart); }
  bool Selected() override { return GetBool(L"Selected"); }
  void Merge(const Ptr<host::Cell>& other) override {
    auto* cell = dynamic_cast<DCell*>(other.get());
    if (!cell) throw platform::ComError(kNotFound, L"the other cell is not one of this host's");
    Do(L"Merge", {cell->d->get()});
  }

 private:
  Where mWhere;
  Part mPart;
};

class DTable : public host::Table, Base {
 public:
  DTable(IDispatch* o, Where where, int frameId) : Base(o, "Table"), mWhere(where), mFrame(frameId) {}
  Ptr<host::Rows> Rows() override { return Wrap<DRows>(d->Get(L"Rows")); }
  Ptr<host::Columns> Columns() override { return Wrap<DColumns>(d->Get(L"Columns")); }
  Ptr<host::Cell> Cell(int row, int column) override {
    Part part;
    part.table = d;
    part.row = row;
    part.column = column;
    part.frameId = mFrame;
    return Wrap<DCell>(d->Get(L"Cell", {row, column}), mWhere, part);
  }

 private:
  Where mWhere;
  int mFrame;
};

// A chart's title, axis title or data label; its text has no classic range.
class DChartText : public host::DataLabel, Base {
 public:
  explicit DChartText(IDispatch* o) : Base(o, "ChartText") {}
  std::wstring Text() override { return GetString(L"Text"); }
  Ptr<host::TextFrame2> TextFrame2() override { return Wrap<DTextFrame2>(d->Get(L"TextFrame2"), nullptr); }
  bool AutoText() override { return GetBool(L"AutoText"); }
};

class DAxis : public host::Axis, Base {
 public:
  explicit DAxis(IDispatch* o) : Base(o, "Axis") {}
  bool HasTitle() override { return GetBool(L"HasTitle"); }
  Ptr<host::ChartText> AxisTitle() override { return Wrap<DChartText>(d->Get(L"AxisTitle")); }
};

class DDataLabels : public Collection<host::DataLabels, DChartText> {
 public:
  explicit DDataLabels(IDispatch* o) : Collection(o, "DataLabels") {}
};

class DSeries : public host::Series, Base {
 public:
  explicit DSeries(IDispatch* o) : Base(o, "Series") {}
  std::wstring Name() override { return GetString(L"Name"); }
  void SetName(const std::wstring& name) override { Set(L"Name", name); }
  std::wstring Formula() override { return GetString(L"Formula"); }
  Ptr<host::DataLabels> DataLabels() override { return Wrap<DDataLabels>(d->Call(L"DataLabels")); }
};

class DSeriesCollection : public Collection<host::SeriesCollection, DSeries> {
 public:
  explicit DSeriesCollection(IDispatch* o) : Collection(o, "SeriesCollection") {}
};

class DChart : public host::Chart, Base {
 public:
  DChart(IDispatch* o, Where where) : Base(o, "Chart"), mWhere(where) {}
  bool HasTitle() override { return GetBool(L"HasTitle"); }
  Ptr<host::ChartText> ChartTitle() override { return Wrap<DChartText>(d->Get(L"ChartTitle")); }
  bool HasAxis(int axisType, int axisGroup) override { return d->Get(L"HasAxis", {axisType, axisGroup}).Bool(); }
  Ptr<host::Axis> Axes(int axisType, int axisGroup) override {
    return Wrap<DAxis>(d->Call(L"Axes", {axisType, axisGroup}));
  }
  Ptr<host::Shapes> Shapes() override { return Wrap<DShapes>(d->Get(L"Shapes"), mWhere); }
  Ptr<host::SeriesCollection> SeriesCollection() override {
    return Wrap<DSeriesCollection>(d->Call(L"SeriesCollection"));
  }

 private:
  Where mWhere;
};

class DShape : public host::Shape, Base {
 public:
  DShape(IDispatch* o, Where where, Part part) : Base(o, "Shape"), mWhere(where), mPart(std::move(part)) {}

  ShapeIdentity Identity() override {
    ShapeIdentity id;
    if (mWhere.slideId == 0) {
      // Reached through a selection: the shape's parent is its slide.
      Variant parent = d->Get(L"Parent");
      auto object = parent.Object();
      if (!object) throw platform::ComError(kNotAvailable, L"the shape has no slide");
      Dispatch slide(object.Get(), "Slide");
      mWhere.slideId = slide.Get(L"SlideID").Int();
    }
    id.slideId = mWhere.slideId;
    id.notesPage = mWhere.notes;
    if (mPart.table) {
      id.shapeId = mPart.frameId;
      Origin(&id.row, &id.column);
    } else if (mPart.drawnIndex != 0) {
      id.shapeId = mPart.frameId;
      id.drawnIndex = mPart.drawnIndex;
    } else {
      id.shapeId = Id();
    }
    return id;
  }
  int Type() override { return GetInt(L"Type"); }
  int Id() override { return GetInt(L"Id"); }
  std::wstring Name() override { return GetString(L"Name"); }
  void SetName(const std::wstring& name) override { Set(L"Name", name); }
  std::wstring AlternativeText() override { return GetString(L"AlternativeText"); }
  void SetAlternativeText(const std::wstring& text) override { Set(L"AlternativeText", text); }
  std::wstring Title() override { return GetString(L"Title"); }
  void SetTitle(const std::wstring& text) override { Set(L"Title", text); }
  bool Visible() override { return GetBool(L"Visible"); }
  void SetVisible(bool v) override { Set(L"Visible", TriState(v)); }
  void Select(bool replace) override { Do(L"Select", {TriState(replace)}); }
  float Left() override { return GetFloat(L"Left"); }
  float Top() override { return GetFloat(L"Top"); }
  float Width() override { return GetFloat(L"Width"); }
  float Height() override { return GetFloat(L"Height"); }
  void SetLeft(float v) override { Set(L"Left", v); }
  void SetTop(float v) override { Set(L"Top", v); }
  void SetWidth(float v) override { Set(L"Width", v); }
  void SetHeight(float v) override { Set(L"Height", v); }
  float Rotation() override { return GetFloat(L"Rotation"); }
  int AutoShapeType() override { return GetInt(L"AutoShapeType"); }
  bool HasTextFrame() override { return GetBool(L"HasTextFrame"); }
  Ptr<host::TextFrame> TextFrame() override { return Wrap<DTextFrame>(d->Get(L"TextFrame")); }
  Ptr<host::TextFrame2> TextFrame2() override { return Wrap<DTextFrame2>(d->Get(L"TextFrame2"), d); }
  bool HasTable() override { return GetBool(L"HasTable"); }
  Ptr<host::Table> Table() override { return Wrap<DTable>(d->Get(L"Table"), mWhere, Id()); }
  bool HasChart() override { return GetBool(L"HasChart"); }
  Ptr<host::Chart> Chart() override { return Wrap<DChart>(d->Get(L"Chart"), mWhere); }
  bool HasSmartArt() override { return GetBool(L"HasSmartArt"); }
  bool HasDiagram() override { return GetBool(L"HasDiagram"); }
  Ptr<host::GroupShapes> GroupItems() override {
    const int frame = HasSmartArt() ? Id() : 0;
    return Wrap<DGroupShapes>(d->Get(L"GroupItems"), mWhere, frame);
  }
  Ptr<host::Shape> ParentGroup() override {
    // The host raises for a shape outside any group; the contract answers null.
    Variant group;
    try {
      group = d->Get(L"ParentGroup");
    } catch (const platform::ComError&) {
      return nullptr;
    }
    return MakeShape(group, mWhere);
  }
  Ptr<host::TextEffectFormat> TextEffect() override { return Wrap<DTextEffectFormat>(d->Get(L"TextEffect")); }
  Ptr<host::PlaceholderFormat> PlaceholderFormat() override {
    return Wrap<DPlaceholderFormat>(d->Get(L"PlaceholderFormat"));
  }
  Ptr<host::ActionSetting> ActionSettings(int mouseEvent) override {
    return MakeActionSetting(d->Get(L"ActionSettings", {mouseEvent}));
  }
  void Delete() override { Do(L"Delete"); }

 private:
  // The top-left cell of the merged area this cell belongs to: cells of one
  // area share their shape's bounds, a neighbour outside it does not (even
  // beside a row of no height, whose cells share a top with the next row).
  void Origin(int* row, int* column) {
    Dispatch& table = *mPart.table;
    auto at = [&](int r, int c) {
      Variant cell = table.Get(L"Cell", {r, c});
      auto object = cell.Object();
      if (!object) throw platform::ComError(kNotAvailable, L"the table has no such cell");
      Dispatch cellObject(object.Get(), "Cell");
      Variant shape = cellObject.Get(L"Shape");
      auto shapeObject = shape.Object();
      if (!shapeObject) throw platform::ComError(kNotAvailable, L"the cell has no shape");
      Dispatch s(shapeObject.Get(), "Shape");
      return std::array<double, 4>{s.Get(L"Left").Double(), s.Get(L"Top").Double(), s.Get(L"Width").Double(),
                                   s.Get(L"Height").Double()};
    };
    int r = mPart.row;
    int c = mPart.column;
    const auto mine = at(r, c);
    // Up and left until neither step stays inside the area: an area is a
    // rectangle, so this ends at its top-left cell from any cell of it.
    for (bool moved = true; moved;) {
      moved = false;
      while (r > 1 && at(r - 1, c) == mine) --r, moved = true;
      while (c > 1 && at(r, c - 1) == mine) --c, moved = true;
    }
    *row = r;
    *column = c;
  }

  Where mWhere;
  Part mPart;
};

Ptr<host::Shape> MakeShape(const Variant& v, Where where, Part part) { return Wrap<DShape>(v, where, part); }

class DSlide : public host::Slide, Base {
 public:
  // notesOf: for a notes page, its slide's id; 0 for a slide.
  DSlide(IDispatch* o, int notesOf) : Base(o, "Slide"), mNotesOf(notesOf) {}
  std::wstring Name() override { return GetString(L"Name"); }
  void SetName(const std::wstring& name) override { Set(L"Name", name); }
  int SlideIndex() override { return GetInt(L"SlideIndex"); }
  int SlideID() override { return mNotesOf != 0 ? mNotesOf : GetInt(L"SlideID"); }
  Ptr<host::Shapes> Shapes() override {
    return Wrap<DShapes>(d->Get(L"Shapes"), Where{SlideID(), mNotesOf != 0});
  }
  Ptr<host::Slide> NotesPage() override {
    if (mNotesOf != 0) throw platform::ComError(kNotAvailable, L"a notes page has no notes page");
    const int id = SlideID();
    // The host answers a range holding the one notes page.
    Variant pages = d->Get(L"NotesPage");
    auto object = pages.Object();
    if (!object) throw platform::ComError(kNotAvailable, L"the slide has no notes page");
    Dispatch range(object.Get(), "SlideRange");
    Variant page = range.Get(L"Item", {1});
    return MakeSlide(page, id);
  }
  Ptr<host::Comments> Comments() override { return Wrap<DComments>(d->Get(L"Comments")); }
  void Select() override { Do(L"Select"); }

 private:
  int mNotesOf;
};

class DSlideRange : public host::SlideRange, Base {
 public:
  explicit DSlideRange(IDispatch* o) : Base(o, "SlideRange") {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::Slide> Item(int index) override { return MakeSlide(d->Get(L"Item", {index})); }
  void Select() override { Do(L"Select"); }
};

class DSlides : public host::Slides, Base {
 public:
  explicit DSlides(IDispatch* o) : Base(o, "Slides") {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::Slide> Item(int index) override { return MakeSlide(d->Get(L"Item", {index})); }
  Ptr<host::Slide> FindBySlideID(int slideId) override { return MakeSlide(d->Call(L"FindBySlideID", {slideId})); }
  Ptr<host::SlideRange> Range() override { return MakeSlideRange(d->Get(L"Range")); }
  Ptr<host::SlideRange> Range(const std::vector<std::wstring>& names) override {
    return MakeSlideRange(d->Get(L"Range", {names}));
  }
  Ptr<host::SlideRange> Range(const std::vector<int>& indexes) override {
    return MakeSlideRange(d->Get(L"Range", {indexes}));
  }
};

// A master's and a layout's shapes belong to no slide.
class DCustomLayout : public host::CustomLayout, Base {
 public:
  explicit DCustomLayout(IDispatch* o) : Base(o, "CustomLayout") {}
  std::wstring Name() override { return GetString(L"Name"); }
  Ptr<host::Shapes> Shapes() override { return Wrap<DShapes>(d->Get(L"Shapes"), Where{}); }
};

class DCustomLayouts : public Collection<host::CustomLayouts, DCustomLayout> {
 public:
  explicit DCustomLayouts(IDispatch* o) : Collection(o, "CustomLayouts") {}
};

class DMaster : public host::Master, Base {
 public:
  explicit DMaster(IDispatch* o) : Base(o, "Master") {}
  std::wstring Name() override { return GetString(L"Name"); }
  Ptr<host::Shapes> Shapes() override { return Wrap<DShapes>(d->Get(L"Shapes"), Where{}); }
  Ptr<host::CustomLayouts> CustomLayouts() override { return Wrap<DCustomLayouts>(d->Get(L"CustomLayouts")); }
};

class DDesign : public host::Design, Base {
 public:
  explicit DDesign(IDispatch* o) : Base(o, "Design") {}
  std::wstring Name() override { return GetString(L"Name"); }
  Ptr<host::Master> SlideMaster() override { return Wrap<DMaster>(d->Get(L"SlideMaster")); }
};

class DDesigns : public Collection<host::Designs, DDesign> {
 public:
  explicit DDesigns(IDispatch* o) : Collection(o, "Designs") {}
};

}  // namespace

Ptr<host::Slides> MakeSlides(const Variant& v) { return Wrap<DSlides>(v); }
Ptr<host::Master> MakeMaster(const Variant& v) { return Wrap<DMaster>(v); }
Ptr<host::Designs> MakeDesigns(const Variant& v) { return Wrap<DDesigns>(v); }
Ptr<host::SlideRange> MakeSlideRange(const Variant& v) { return Wrap<DSlideRange>(v); }
Ptr<host::Slide> MakeSlide(const Variant& v, int notesOf) { return Wrap<DSlide>(v, notesOf); }
Ptr<host::ShapeRange> MakeShapeRange(const Variant& v, Where where) { return Wrap<DShapeRange>(v, where); }

}  // namespace host::dispatch
