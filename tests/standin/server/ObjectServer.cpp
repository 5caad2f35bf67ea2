#include "tests/standin/server/ObjectServer.h"

#include <array>
#include <cstdio>
#include <functional>
#include <pugixml.hpp>
#include <sstream>
#include <type_traits>
#include <unordered_map>

#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

namespace standin {

namespace {

template <class T>
struct Kind;
#define STANDIN_KIND(T) \
  template <>           \
  struct Kind<host::T> {  \
    static constexpr const char* name = #T; \
  };
STANDIN_KIND(Application)
STANDIN_KIND(Presentations)
STANDIN_KIND(Presentation)
STANDIN_KIND(DocumentWindows)
STANDIN_KIND(DocumentWindow)
STANDIN_KIND(Panes)
STANDIN_KIND(Pane)
STANDIN_KIND(View)
STANDIN_KIND(Selection)
STANDIN_KIND(SlideShowWindows)
STANDIN_KIND(Slides)
STANDIN_KIND(SlideRange)
STANDIN_KIND(Slide)
STANDIN_KIND(Shapes)
STANDIN_KIND(ShapeRange)
STANDIN_KIND(GroupShapes)
STANDIN_KIND(Shape)
STANDIN_KIND(TextFrame)
STANDIN_KIND(TextFrame2)
STANDIN_KIND(TextRange)
STANDIN_KIND(TextRange2)
STANDIN_KIND(Font)
STANDIN_KIND(Font2)
STANDIN_KIND(ColorFormat)
STANDIN_KIND(FillFormat)
STANDIN_KIND(PlaceholderFormat)
STANDIN_KIND(TextEffectFormat)
STANDIN_KIND(Table)
STANDIN_KIND(Rows)
STANDIN_KIND(Columns)
STANDIN_KIND(Row)
STANDIN_KIND(Column)
STANDIN_KIND(Cell)
STANDIN_KIND(Chart)
STANDIN_KIND(ChartText)
STANDIN_KIND(Axis)
STANDIN_KIND(SeriesCollection)
STANDIN_KIND(Series)
STANDIN_KIND(DataLabels)
STANDIN_KIND(DataLabel)
STANDIN_KIND(Master)
STANDIN_KIND(CustomLayouts)
STANDIN_KIND(CustomLayout)
STANDIN_KIND(Designs)
STANDIN_KIND(Design)
STANDIN_KIND(Comments)
STANDIN_KIND(Comment)
STANDIN_KIND(CommandBars)
STANDIN_KIND(CommandBar)
STANDIN_KIND(CommandBarControls)
STANDIN_KIND(CommandBarControl)
#undef STANDIN_KIND

// The list FindControls answers, as a collection object.
struct ControlList {
  std::vector<host::Ptr<host::CommandBarControl>> items;
};

// One call being served: the object, its arguments and how to answer.
struct Call {
  ObjectServer& server;
  const ObjectServer::Object& self;
  std::vector<Value>& args;
  bool put;

  template <class T>
  T& Self() const {
    return *static_cast<T*>(self.p.get());
  }
  bool Has(size_t i) const { return i < args.size() && args[i].type != Value::Type::Missing; }
  template <class T>
  T Arg(size_t i) const {
    if (!Has(i)) throw platform::ComError(host::kNotFound, L"an argument is missing");
    const Value& v = args[i];
    if constexpr (std::is_same_v<T, std::wstring>) {
      if (v.type != Value::Type::String) throw platform::ComError(DISP_E_TYPEMISMATCH, L"a text argument was expected");
      return platform::FromUtf8(v.s);
    } else if constexpr (std::is_same_v<T, bool>) {
      return v.type == Value::Type::Double ? v.d != 0 : v.i != 0;
    } else {
      if (v.type == Value::Type::Double) return static_cast<T>(v.d);
      if (v.type == Value::Type::Int || v.type == Value::Type::Bool) return static_cast<T>(v.i);
      throw platform::ComError(DISP_E_TYPEMISMATCH, L"a number argument was expected");
    }
  }
  template <class T>
  T ArgOr(size_t i, T fallback) const {
    return Has(i) ? Arg<T>(i) : fallback;
  }
  // The object an argument names.
  template <class T>
  host::Ptr<T> ObjectArg(size_t i) const {
    if (!Has(i) || args[i].type != Value::Type::Object)
      throw platform::ComError(host::kNotFound, L"an object was expected");
    const ObjectServer::Object* o = server.Find(args[i].handle);
    if (!o || o->kind != Kind<T>::name) throw platform::ComError(host::kNotFound, L"the object is of another kind");
    return std::static_pointer_cast<T>(o->p);
  }

  Value Out(int v) const { return Value::Int(v); }
  Value Out(float v) const { return Value::Double(v); }
  Value Out(bool v) const { return Value::Bool(v); }
  Value Out(const std::wstring& v) const { return Value::String(platform::ToUtf8(v)); }
  template <class T>
  Value Out(const host::Ptr<T>& p) const {
    if (!p) return Value::Null();
    const void* identity = nullptr;
    if constexpr (std::is_same_v<T, host::CommandBarControl>) identity = p->Identity();
    return server.Register(Kind<T>::name, p, identity);
  }
  Value As(const char* kind) const { return server.Register(kind, self.p, nullptr); }
};

using Member = std::function<Value(Call&)>;

// What the host calls a link: one mouse event's action over a range.
// Hyperlink is the same object, with what it has been given so far.
// The host keeps a field's text up to date; the object model has no word
// for it, so the stand-in tells a run that is one whole field apart here.
template <class Range>
Value RunIsField(Range& range) {
  const int length = range.Length();
  for (const host::TextObject& o : range.TextObjects())
    if (o.kind == host::TextObject::Field && o.start == 1 && o.length == length) return Value::Bool(true);
  return Value::Bool(false);
}

struct ActionSetting {
  host::Ptr<host::TextRange> range;
  int event = 1;  // ppMouseClick, ppMouseOver
  std::wstring address;
  std::wstring subAddress;
};
constexpr int kActionHyperlink = 7;  // ppActionHyperlink

// The click and the hover element of the action over a range's first
// characters, in the document host's own spelling.
std::array<std::string, 2> Fragments(host::TextRange& range, std::wstring* clickAddress = nullptr) {
  std::array<std::string, 2> out;
  for (const host::TextObject& o : range.TextObjects()) {
    if (o.kind != host::TextObject::Action || o.start != 1) continue;
    if (clickAddress) *clickAddress = o.address;
    pugi::xml_document parsed;
    if (!parsed.load_string(platform::ToUtf8(o.action).c_str())) continue;
    for (pugi::xml_node n = parsed.first_child(); n; n = n.next_sibling()) {
      std::string_view name = n.name();
      name = name.substr(name.find(':') + 1);
      std::ostringstream text;
      n.print(text, "", pugi::format_raw);
      if (name == "hlinkClick") out[0] = text.str();
      if (name == "hlinkMouseOver") out[1] = text.str();
    }
  }
  return out;
}

// An action as the object model shows it: a link whose address is the
// click's target and whose sub-address is the element's own action. The
// stand-in gives a range back only an action it has shown, which is all a
// translation carries.
ActionSetting Shown(ObjectServer& server, const ActionSetting& s, int* action) {
  ActionSetting shown = s;
  std::wstring clickAddress;
  const std::string fragment = Fragments(*s.range, &clickAddress)[s.event == 1 ? 0 : 1];
  *action = fragment.empty() ? 0 : kActionHyperlink;
  shown.address = s.event == 1 && !fragment.empty() ? clickAddress : std::wstring();
  pugi::xml_document parsed;
  if (parsed.load_string(fragment.c_str()))
    shown.subAddress = platform::FromUtf8(parsed.first_child().attribute("action").value());
  if (!fragment.empty()) server.shownActions[{shown.event, shown.address, shown.subAddress}] = fragment;
  return shown;
}

void GiveAction(host::TextRange& range, int event, const std::string& fragment) {
  std::array<std::string, 2> both = Fragments(range);
  both[event == 1 ? 0 : 1] = fragment;
  range.SetAction(platform::FromUtf8(both[0] + both[1]));
}

// A button's Picture or Mask, as a text (PictureText) either way.
Value Face(Call& c, bool mask) {
  auto& control = c.Self<host::CommandBarControl>();
  if (c.put) {
    platform::Picture read;
    if (!c.Has(0) || c.args[0].type != Value::Type::String || !ParsePictureText(c.args[0].s, &read))
      throw platform::ComError(DISP_E_TYPEMISMATCH, L"a picture was expected");
    host::ButtonPicture face{read.width, read.height, std::move(read.pixels)};
    mask ? control.SetMask(face) : control.SetPicture(face);
    return Value();
  }
  const host::ButtonPicture face = mask ? control.Mask() : control.Picture();
  return Value::String(PictureText(platform::Picture{face.width, face.height, face.pixels}));
}

// Reads every item a Range argument names: names or 1-based indexes.
template <class Collection, class Result>
host::Ptr<Result> RangeOf(Call& c, Collection& collection) {
  if (!c.Has(0)) return collection.Range();
  const Value& a = c.args[0];
  std::vector<Value> items = a.type == Value::Type::Array ? a.items : std::vector<Value>{a};
  if (items.empty()) throw platform::ComError(host::kNotFound, L"an empty range");
  if (items[0].type == Value::Type::String) {
    std::vector<std::wstring> names;
    for (const auto& v : items) names.push_back(platform::FromUtf8(v.s));
    return collection.Range(names);
  }
  std::vector<int> indexes;
  for (const auto& v : items) indexes.push_back(static_cast<int>(v.type == Value::Type::Double ? v.d : v.i));
  return collection.Range(indexes);
}

#define GET(K, M) {#K "." #M, [](Call& c) { return c.Out(c.Self<host::K>().M()); }}
#define PROP(K, M)                                                      \
  {#K "." #M, [](Call& c) {                                             \
     auto& s = c.Self<host::K>();                                       \
     if (c.put) {                                                       \
       s.Set##M(c.Arg<std::decay_t<decltype(s.M())>>(0));               \
       return Value();                                                  \
     }                                                                  \
     return c.Out(s.M());                                               \
   }}
#define DO(K, M) {#K "." #M, [](Call& c) { c.Self<host::K>().M(); return Value(); }}
#define ITEM(K) {#K ".Item", [](Call& c) { return c.Out(c.Self<host::K>().Item(c.Arg<int>(0))); }}
// Select(Replace = true).
#define SELECT(K) {#K ".Select", [](Call& c) { c.Self<host::K>().Select(c.ArgOr(0, true)); return Value(); }}
// Item by name or by 1-based index.
#define NAMED_ITEM(K)                                                                                       \
  {#K ".Item", [](Call& c) {                                                                                \
     auto& all = c.Self<host::K>();                                                                         \
     if (c.Has(0) && c.args[0].type == Value::Type::String) return c.Out(all.Item(c.Arg<std::wstring>(0))); \
     return c.Out(all.Item(c.Arg<int>(0)));                                                                 \
   }}
#define INSERT(K, M) {#K "." #M, [](Call& c) { return c.Out(c.Self<host::K>().M(c.ArgOr(0, std::wstring()))); }}
#define SUBRANGE(K, M)                                                                   \
  {#K "." #M, [](Call& c) {                                                              \
     return c.Out(c.Self<host::K>().M(c.ArgOr<int>(0, -1), c.ArgOr<int>(1, -1)));        \
   }}

// (interface, member) -> the host call, for every member the add-in may reach.
const std::unordered_map<std::string, Member>& Members() {
  static const std::unordered_map<std::string, Member> table = {
      GET(Application, Version), GET(Application, Name), GET(Application, Presentations),
      GET(Application, ActivePresentation), GET(Application, Windows), GET(Application, ActiveWindow),
      GET(Application, SlideShowWindows), GET(Application, CommandBars),
      {"Application.Run",
       [](Call& c) {
         std::vector<std::wstring> rest;
         for (size_t i = 1; i < c.args.size(); ++i) rest.push_back(c.Arg<std::wstring>(i));
         return c.Out(c.Self<host::Application>().Run(c.Arg<std::wstring>(0), rest));
       }},

      GET(Presentations, Count), ITEM(Presentations),
      {"Presentations.Open",
       [](Call& c) {
         return c.Out(c.Self<host::Presentations>().Open(c.Arg<std::wstring>(0), c.ArgOr(1, false),
                                                         c.ArgOr(2, false), c.ArgOr(3, true)));
       }},
      {"Presentations.Add", [](Call& c) { return c.Out(c.Self<host::Presentations>().Add(c.ArgOr(0, true))); }},

      GET(Presentation, Name), GET(Presentation, FullName), GET(Presentation, Path), PROP(Presentation, Saved),
      PROP(Presentation, Final), GET(Presentation, ReadOnly), GET(Presentation, Windows), GET(Presentation, Slides),
      GET(Presentation, SlideMaster), GET(Presentation, Designs),
      DO(Presentation, Save), DO(Presentation, Close), GET(Presentation, NewWindow),
      {"Presentation.Container",
       [](Call&) -> Value { throw platform::ComError(host::kNotAvailable, L"the presentation is not embedded"); }},
      {"Presentation.PageSetup", [](Call& c) { return c.As("PageSetup"); }},
      {"PageSetup.SlideWidth", [](Call& c) { return c.Out(c.Self<host::Presentation>().SlideWidth()); }},
      {"PageSetup.SlideHeight", [](Call& c) { return c.Out(c.Self<host::Presentation>().SlideHeight()); }},
      {"Presentation.SaveAs",
       [](Call& c) {
         c.Self<host::Presentation>().SaveAs(c.Arg<std::wstring>(0), c.ArgOr(1, host::ppSaveAsDefault));
         return Value();
       }},
      {"Presentation.SaveCopyAs",
       [](Call& c) {
         c.Self<host::Presentation>().SaveCopyAs(c.Arg<std::wstring>(0), c.ArgOr(1, host::ppSaveAsDefault),
                                                 c.ArgOr(2, false));
         return Value();
       }},

      GET(DocumentWindows, Count), ITEM(DocumentWindows),
      {"DocumentWindows.Arrange",
       [](Call& c) {
         c.Self<host::DocumentWindows>().Arrange(c.ArgOr(0, host::ppArrangeTiled));
         return Value();
       }},
      PROP(DocumentWindow, ViewType), GET(DocumentWindow, ActivePane), GET(DocumentWindow, Panes),
      GET(DocumentWindow, Selection), GET(DocumentWindow, View), GET(DocumentWindow, Presentation),
      GET(DocumentWindow, Caption), GET(DocumentWindow, Active), DO(DocumentWindow, Activate),
      PROP(DocumentWindow, WindowState), PROP(DocumentWindow, Left), PROP(DocumentWindow, Top),
      PROP(DocumentWindow, Width), PROP(DocumentWindow, Height), DO(DocumentWindow, Close),
      GET(Panes, Count), ITEM(Panes), GET(Pane, ViewType), GET(Pane, Active), DO(Pane, Activate),
      GET(View, Type), GET(View, Slide), PROP(View, Zoom),
      {"View.GotoSlide",
       [](Call& c) {
         c.Self<host::View>().GotoSlide(c.Arg<int>(0));
         return Value();
       }},
      GET(Selection, Type), GET(Selection, SlideRange), GET(Selection, ShapeRange), GET(Selection, TextRange),
      GET(Selection, TextRange2), GET(Selection, HasChildShapeRange), GET(Selection, ChildShapeRange),
      DO(Selection, Unselect), GET(SlideShowWindows, Count),

      GET(Slides, Count), ITEM(Slides),
      {"Slides.FindBySlideID", [](Call& c) { return c.Out(c.Self<host::Slides>().FindBySlideID(c.Arg<int>(0))); }},
      {"Slides.Range",
       [](Call& c) { return c.Out(RangeOf<host::Slides, host::SlideRange>(c, c.Self<host::Slides>())); }},
      GET(SlideRange, Count), ITEM(SlideRange), DO(SlideRange, Select),
      PROP(Slide, Name), GET(Slide, SlideIndex), GET(Slide, SlideID), GET(Slide, Shapes), GET(Slide, Comments),
      DO(Slide, Select),
      // The host answers a range holding the one notes page.
      {"Slide.NotesPage", [](Call& c) { return c.server.Register("NotesRange", c.Self<host::Slide>().NotesPage(), nullptr); }},
      {"NotesRange.Count", [](Call&) { return Value::Int(1); }},
      {"NotesRange.Item",
       [](Call& c) {
         if (c.Arg<int>(0) != 1) throw platform::ComError(host::kBadIndex, L"the notes range holds one page");
         return c.server.Register("Slide", c.self.p, nullptr);
       }},

      GET(Shapes, Count), NAMED_ITEM(Shapes),
      {"Shapes.Range",
       [](Call& c) { return c.Out(RangeOf<host::Shapes, host::ShapeRange>(c, c.Self<host::Shapes>())); }},
      {"Shapes.AddTextbox",
       [](Call& c) {
         return c.Out(c.Self<host::Shapes>().AddTextbox(c.Arg<int>(0), c.Arg<float>(1), c.Arg<float>(2),
                                                        c.Arg<float>(3), c.Arg<float>(4)));
       }},
      GET(ShapeRange, Count), ITEM(ShapeRange), SELECT(ShapeRange),
      GET(GroupShapes, Count), ITEM(GroupShapes),

      GET(Shape, Type), GET(Shape, Id), PROP(Shape, Name), PROP(Shape, AlternativeText), PROP(Shape, Title), PROP(Shape, Visible), PROP(Shape, Left), PROP(Shape, Top),
      PROP(Shape, Width), PROP(Shape, Height), GET(Shape, Rotation), GET(Shape, AutoShapeType),
      GET(Shape, HasTextFrame), GET(Shape, TextFrame), GET(Shape, TextFrame2), GET(Shape, HasTable),
      GET(Shape, Table), GET(Shape, HasChart), GET(Shape, Chart), GET(Shape, HasSmartArt), GET(Shape, HasDiagram),
      GET(Shape, GroupItems), GET(Shape, TextEffect), GET(Shape, PlaceholderFormat), DO(Shape, Delete),
      SELECT(Shape),
      // A shape's own link is the document host's; the range's above are
      // the stand-in's.
      {"Shape.ActionSettings",
       [](Call& c) { return c.server.Register("ShapeAction", c.Self<host::Shape>().ActionSettings(c.Arg<int>(0)), nullptr); }},
      {"ShapeAction.Hyperlink",
       [](Call& c) { return c.server.Register("ShapeLink", c.Self<host::ActionSetting>().Hyperlink(), nullptr); }},
      {"ShapeLink.Address", [](Call& c) { return c.Out(c.Self<host::Hyperlink>().Address()); }},
      {"ShapeLink.ScreenTip",
       [](Call& c) {
         auto& link = c.Self<host::Hyperlink>();
         if (!c.put) return c.Out(link.ScreenTip());
         link.SetScreenTip(c.Arg<std::wstring>(0));
         return Value();
       }},
      {"Shape.Parent",
       [](Call& c) {
         if (!c.self.slide) throw platform::ComError(host::kNotAvailable, L"the shape was not reached from a slide");
         return c.server.Register("Slide", c.self.slide, nullptr);
       }},
      {"Shape.ParentGroup",
       [](Call& c) {
         auto group = c.Self<host::Shape>().ParentGroup();
         if (!group) throw platform::ComError(host::kNotAvailable, L"the shape is not in a group");
         return c.Out(group);
       }},
      GET(Chart, HasTitle), GET(Chart, ChartTitle), GET(Chart, Shapes), GET(Chart, SeriesCollection),
      {"Chart.HasAxis",
       [](Call& c) { return c.Out(c.Self<host::Chart>().HasAxis(c.Arg<int>(0), c.ArgOr(1, host::xlPrimary))); }},
      {"Chart.Axes",
       [](Call& c) { return c.Out(c.Self<host::Chart>().Axes(c.Arg<int>(0), c.ArgOr(1, host::xlPrimary))); }},
      GET(ChartText, Text), GET(ChartText, TextFrame2), GET(ChartText, AutoText), GET(Axis, HasTitle), GET(Axis, AxisTitle),
      GET(SeriesCollection, Count), ITEM(SeriesCollection), PROP(Series, Name), GET(Series, Formula),
      GET(Series, DataLabels), GET(DataLabels, Count), ITEM(DataLabels), GET(DataLabel, Text),
      GET(DataLabel, TextFrame2), GET(DataLabel, AutoText),
      GET(Master, Name), GET(Master, Shapes), GET(Master, CustomLayouts), GET(CustomLayouts, Count),
      ITEM(CustomLayouts), GET(CustomLayout, Name), GET(CustomLayout, Shapes), GET(Designs, Count), ITEM(Designs),
      GET(Design, Name), GET(Design, SlideMaster),
      GET(PlaceholderFormat, Type), GET(PlaceholderFormat, ContainedType), GET(PlaceholderFormat, Name),
      PROP(TextEffectFormat, Text), PROP(TextEffectFormat, FontName), PROP(TextEffectFormat, FontSize),
      GET(TextEffectFormat, FontBold), GET(TextEffectFormat, FontItalic),

      GET(TextFrame, HasText), GET(TextFrame, TextRange), PROP(TextFrame, AutoSize), PROP(TextFrame, WordWrap),
      PROP(TextFrame, Orientation), PROP(TextFrame, VerticalAnchor), PROP(TextFrame, MarginLeft),
      PROP(TextFrame, MarginRight), PROP(TextFrame, MarginTop), PROP(TextFrame, MarginBottom),
      GET(TextFrame2, HasText), GET(TextFrame2, TextRange), PROP(TextFrame2, AutoSize), PROP(TextFrame2, WordWrap),
      PROP(TextFrame2, Orientation), PROP(TextFrame2, VerticalAnchor), PROP(TextFrame2, MarginLeft),
      PROP(TextFrame2, MarginRight), PROP(TextFrame2, MarginTop), PROP(TextFrame2, MarginBottom),

      GET(Table, Rows), GET(Table, Columns),
      {"Table.Cell", [](Call& c) { return c.Out(c.Self<host::Table>().Cell(c.Arg<int>(0), c.Arg<int>(1))); }},
      GET(Rows, Count), ITEM(Rows), GET(Columns, Count), ITEM(Columns), GET(Row, Height), GET(Column, Width),
      GET(Cell, Shape), GET(Cell, Selected),
      {"Cell.Merge",
       [](Call& c) {
         c.Self<host::Cell>().Merge(c.ObjectArg<host::Cell>(0));
         return Value();
       }},

      GET(Comments, Count), ITEM(Comments),
      {"Comments.Add",
       [](Call& c) {
         return c.Out(c.Self<host::Comments>().Add(c.Arg<float>(0), c.Arg<float>(1), c.Arg<std::wstring>(2),
                                                   c.Arg<std::wstring>(3), c.Arg<std::wstring>(4)));
       }},
      GET(Comment, Text), GET(Comment, Left), GET(Comment, Top), GET(Comment, Author), GET(Comment, AuthorInitials),
      GET(Comment, DateTime), GET(Comment, Replies), DO(Comment, Delete),

      PROP(TextRange, Text), GET(TextRange, Start), GET(TextRange, Length), GET(TextRange, Count),
      SUBRANGE(TextRange, Characters), SUBRANGE(TextRange, Paragraphs), SUBRANGE(TextRange, Runs),
      SUBRANGE(TextRange, Lines), DO(TextRange, Select), DO(TextRange, Delete), PROP(TextRange, LanguageID),
      GET(TextRange, BoundLeft), GET(TextRange, BoundTop), GET(TextRange, BoundWidth), GET(TextRange, BoundHeight),
      GET(TextRange, Font), INSERT(TextRange, InsertAfter), INSERT(TextRange, InsertBefore),
      {"TextRange.ActionSettings",
       [](Call& c) {
         const int event = c.Arg<int>(0);
         if (event != 1 && event != 2) throw platform::ComError(host::kBadIndex, L"no such mouse event");
         auto s = std::make_shared<ActionSetting>();
         s->range = std::static_pointer_cast<host::TextRange>(c.self.p);
         s->event = event;
         return c.server.Register("ActionSetting", s, nullptr);
       }},
      // The host keeps a field's text up to date; the object model has no
      // word for it, so the stand-in tells its runs apart here.
      {"TextRange.IsField", [](Call& c) { return RunIsField(c.Self<host::TextRange>()); }},
      {"TextRange2.IsField", [](Call& c) { return RunIsField(c.Self<host::TextRange2>()); }},
      {"ActionSetting.Action",
       [](Call& c) {
         auto& s = c.Self<ActionSetting>();
         if (!c.put) {
           int action = 0;
           Shown(c.server, s, &action);
           return c.Out(action);
         }
         if (c.Arg<int>(0) == 0) GiveAction(*s.range, s.event, "");
         return Value();
       }},
      {"ActionSetting.Hyperlink",
       [](Call& c) {
         auto link = std::make_shared<ActionSetting>(c.Self<ActionSetting>());
         int action = 0;
         *link = Shown(c.server, *link, &action);
         return c.server.Register("Hyperlink", link, nullptr);
       }},
      {"Hyperlink.Address",
       [](Call& c) {
         auto& s = c.Self<ActionSetting>();
         if (!c.put) return c.Out(s.address);
         s.address = c.Arg<std::wstring>(0);
         c.server.GiveShownAction(s.range, s.event, s.address, s.subAddress);
         return Value();
       }},
      {"Hyperlink.SubAddress",
       [](Call& c) {
         auto& s = c.Self<ActionSetting>();
         if (!c.put) return c.Out(s.subAddress);
         s.subAddress = c.Arg<std::wstring>(0);
         c.server.GiveShownAction(s.range, s.event, s.address, s.subAddress);
         return Value();
       }},
      {"Hyperlink.ScreenTip",
       [](Call& c) {
         auto& s = c.Self<ActionSetting>();
         host::Ptr<host::Hyperlink> link = s.range->ActionSettings(s.event)->Hyperlink();
         if (!c.put) return c.Out(link->ScreenTip());
         link->SetScreenTip(c.Arg<std::wstring>(0));
         return Value();
       }},
      PROP(TextRange2, Text), GET(TextRange2, Start), GET(TextRange2, Length), GET(TextRange2, Count),
      ITEM(TextRange2), SUBRANGE(TextRange2, Characters), SUBRANGE(TextRange2, Paragraphs),
      SUBRANGE(TextRange2, Runs), SUBRANGE(TextRange2, Lines), DO(TextRange2, Select), DO(TextRange2, Delete),
      PROP(TextRange2, LanguageID), GET(TextRange2, BoundLeft), GET(TextRange2, BoundTop),
      GET(TextRange2, BoundWidth), GET(TextRange2, BoundHeight), GET(TextRange2, Font),
      INSERT(TextRange2, InsertAfter), INSERT(TextRange2, InsertBefore),

      PROP(Font, Bold), PROP(Font, Italic), PROP(Font, Underline), PROP(Font, Shadow), PROP(Font, Emboss),
      PROP(Font, Subscript), PROP(Font, Superscript), PROP(Font, BaselineOffset), PROP(Font, AutoRotateNumbers),
      PROP(Font, Size), PROP(Font, Name), PROP(Font, NameAscii), PROP(Font, NameFarEast),
      PROP(Font, NameComplexScript), PROP(Font, NameOther), GET(Font, Color),
      PROP(Font2, Bold), PROP(Font2, Italic), PROP(Font2, UnderlineStyle), PROP(Font2, Shadow), PROP(Font2, Emboss),
      PROP(Font2, Subscript), PROP(Font2, Superscript), PROP(Font2, BaselineOffset), PROP(Font2, Strike),
      PROP(Font2, Caps), PROP(Font2, Spacing), PROP(Font2, Size), PROP(Font2, Name), PROP(Font2, NameAscii),
      PROP(Font2, NameFarEast), PROP(Font2, NameComplexScript), PROP(Font2, NameOther), GET(Font2, Fill),
      GET(ColorFormat, Type), PROP(ColorFormat, SchemeColor), PROP(ColorFormat, ObjectThemeColor),
      {"ColorFormat.RGB",
       [](Call& c) {
         auto& color = c.Self<host::ColorFormat>();
         if (!c.put) return c.Out(color.Rgb());
         color.SetRgb(c.Arg<int>(0));
         return Value();
       }},
      GET(FillFormat, ForeColor), PROP(FillFormat, Visible),

      GET(CommandBars, Count), NAMED_ITEM(CommandBars),
      {"CommandBars.Add",
       [](Call& c) {
         return c.Out(c.Self<host::CommandBars>().Add(c.ArgOr(0, std::wstring()), c.ArgOr(1, host::msoBarTop),
                                                      c.ArgOr(2, false), c.ArgOr(3, false)));
       }},
      {"CommandBars.FindControl",
       [](Call& c) {
         return c.Out(c.Self<host::CommandBars>().FindControl(c.ArgOr(0, 0), c.ArgOr(1, 0),
                                                              c.ArgOr(2, std::wstring()), c.ArgOr(3, false)));
       }},
      {"CommandBars.FindControls",
       [](Call& c) {
         auto list = std::make_shared<ControlList>();
         list->items = c.Self<host::CommandBars>().FindControls(c.ArgOr(0, 0), c.ArgOr(1, 0),
                                                                c.ArgOr(2, std::wstring()));
         if (list->items.empty()) return Value::Null();
         return c.server.Register("ControlList", list, nullptr);
       }},
      {"ControlList.Count",
       [](Call& c) { return c.Out(static_cast<int>(c.Self<ControlList>().items.size())); }},
      {"ControlList.Item",
       [](Call& c) {
         auto& items = c.Self<ControlList>().items;
         const int i = c.Arg<int>(0);
         if (i < 1 || i > static_cast<int>(items.size())) throw platform::ComError(host::kBadIndex, L"no such control");
         return c.Out(items[static_cast<size_t>(i - 1)]);
       }},
      GET(CommandBar, Name), GET(CommandBar, NameLocal), GET(CommandBar, Type), GET(CommandBar, BuiltIn),
      GET(CommandBar, Index), GET(CommandBar, Controls), PROP(CommandBar, Visible), PROP(CommandBar, Enabled),
      PROP(CommandBar, Position), PROP(CommandBar, Left), PROP(CommandBar, Top), PROP(CommandBar, Width),
      PROP(CommandBar, Height), PROP(CommandBar, RowIndex), DO(CommandBar, Delete),
      {"CommandBar.FindControl",
       [](Call& c) {
         return c.Out(c.Self<host::CommandBar>().FindControl(c.ArgOr(0, 0), c.ArgOr(1, 0),
                                                             c.ArgOr(2, std::wstring()), c.ArgOr(3, false),
                                                             c.ArgOr(4, false)));
       }},
      GET(CommandBarControls, Count), ITEM(CommandBarControls),
      {"CommandBarControls.Add",
       [](Call& c) {
         return c.Out(c.Self<host::CommandBarControls>().Add(c.ArgOr(0, host::msoControlButton), c.ArgOr(1, 0),
                                                             c.ArgOr(2, std::wstring()), c.ArgOr(3, 0),
                                                             c.ArgOr(4, false)));
       }},
      GET(CommandBarControl, Type), GET(CommandBarControl, Id), GET(CommandBarControl, Index),
      GET(CommandBarControl, BuiltIn), GET(CommandBarControl, Parent), PROP(CommandBarControl, Caption),
      PROP(CommandBarControl, Tag), PROP(CommandBarControl, TooltipText), PROP(CommandBarControl, Parameter),
      PROP(CommandBarControl, OnAction), PROP(CommandBarControl, ShortcutText), PROP(CommandBarControl, BeginGroup),
      PROP(CommandBarControl, Visible), PROP(CommandBarControl, Enabled), PROP(CommandBarControl, Priority),
      PROP(CommandBarControl, OLEUsage), GET(CommandBarControl, Left), GET(CommandBarControl, Top),
      PROP(CommandBarControl, Width), PROP(CommandBarControl, Height), PROP(CommandBarControl, Style),
      PROP(CommandBarControl, State), PROP(CommandBarControl, FaceId), DO(CommandBarControl, PasteFace),
      {"CommandBarControl.Picture", [](Call& c) { return Face(c, false); }},
      {"CommandBarControl.Mask", [](Call& c) { return Face(c, true); }},
      GET(CommandBarControl, Controls),
      {"CommandBarControl.Delete",
       [](Call& c) {
         c.Self<host::CommandBarControl>().Delete(c.ArgOr(0, false));
         return Value();
       }},
  };
  return table;
}

#undef GET
#undef PROP
#undef DO
#undef ITEM
#undef SUBRANGE
#undef SELECT
#undef NAMED_ITEM
#undef INSERT

std::string Failure(HRESULT hr, const std::wstring& description) {
  char code[16];
  std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
  return std::string("! ") + code + " " + Encode(Value::String(platform::ToUtf8(description)));
}

}  // namespace

void ObjectServer::GiveShownAction(const host::Ptr<host::TextRange>& range, int event, const std::wstring& address,
                                   const std::wstring& subAddress) {
  auto shown = shownActions.find({event, address, subAddress});
  if (shown != shownActions.end()) GiveAction(*range, event, shown->second);
}

ObjectServer::ObjectServer(host::Ptr<host::Application> application) {
  Register(Kind<host::Application>::name, std::move(application), nullptr);
}

Value ObjectServer::Register(std::string kind, std::shared_ptr<void> p, const void* identity) {
  if (identity) {
    auto known = mByIdentity.find(identity);
    if (known != mByIdentity.end()) return Value::Object(known->second, kind);
  }
  const int handle = mNext++;
  if (identity) {
    mByIdentity[identity] = handle;
    mIdentityOf[handle] = identity;
  }
  mObjects[handle] = Object{kind, std::move(p), mContext};
  return Value::Object(handle, std::move(kind));
}

const ObjectServer::Object* ObjectServer::Find(int handle) const {
  auto it = mObjects.find(handle);
  return it == mObjects.end() ? nullptr : &it->second;
}

std::string ObjectServer::Serve(const std::string& line) {
  const std::vector<std::string> tokens = Tokens(line);
  if (tokens.size() < 2 || tokens[0].size() != 1) return Failure(E_INVALIDARG, L"a request the server cannot read");
  const int handle = std::atoi(tokens[1].c_str());
  const char op = tokens[0][0];
  if (op == 'R') {
    mObjects.erase(handle);
    auto identity = mIdentityOf.find(handle);
    if (identity != mIdentityOf.end()) {
      mByIdentity.erase(identity->second);
      mIdentityOf.erase(identity);
    }
    return "= n";
  }
  if ((op != 'G' && op != 'P') || tokens.size() < 3) return Failure(E_INVALIDARG, L"a request the server cannot read");
  // Hold the object for the call: a member may release handles (Close).
  const Object* found = Find(handle);
  if (!found) return Failure(host::kNotAvailable, L"the object is gone");
  const Object self = *found;
  std::vector<Value> args;
  for (size_t at = 3; at < tokens.size();) {
    Value v;
    if (!Decode(tokens, &at, &v)) return Failure(E_INVALIDARG, L"an argument the server cannot read");
    args.push_back(std::move(v));
  }
  auto member = Members().find(self.kind + "." + tokens[2]);
  if (member == Members().end())
    return Failure(DISP_E_MEMBERNOTFOUND, platform::FromUtf8(self.kind + " has no member " + tokens[2]));
  mContext = self.kind == "Slide" ? std::static_pointer_cast<host::Slide>(self.p) : self.slide;
  try {
    if (self.kind == "DocumentWindow" && tokens[2] == "Selection") {
      // What is selected sits on the slide the window shows.
      mContext = static_cast<host::DocumentWindow*>(self.p.get())->View()->Slide();
    }
    Call call{*this, self, args, op == 'P'};
    return "= " + Encode(member->second(call));
  } catch (const platform::ComError& e) {
    return Failure(e.Error(), e.Description().empty() ? platform::FromUtf8(e.what()) : e.Description());
  } catch (const std::exception& e) {
    return Failure(E_FAIL, platform::FromUtf8(e.what()));
  }
}

}  // namespace standin
