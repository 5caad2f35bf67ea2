#include "tests/standin/server/ObjectServer.h"

#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <pugixml.hpp>
#include <sstream>
#include <type_traits>
#include <unordered_map>

#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

namespace standin {

namespace {

// Every kind of object the stand-in serves, by the host's class name.
#define STANDIN_KINDS(X)                                                                                          \
  X(Application) X(Presentations) X(Presentation) X(DocumentWindows) X(DocumentWindow) X(Panes) X(Pane) X(View)   \
  X(Selection) X(SlideShowWindows) X(Slides) X(SlideRange) X(Slide) X(Shapes) X(ShapeRange) X(GroupShapes)        \
  X(Shape) X(TextFrame) X(TextFrame2) X(TextRange) X(TextRange2) X(Font2) X(PlaceholderFormat) X(Table) X(Rows)    \
  X(Columns) X(Cell) X(Chart) X(ChartText) X(Axis) X(SeriesCollection) X(Series) X(DataLabels) X(DataLabel)       \
  X(Master) X(CustomLayouts) X(CustomLayout) X(Designs) X(Design) X(Comments) X(Comment) X(CommandBars)           \
  X(CommandBar) X(CommandBarControls) X(CommandBarControl) X(ActionSetting) X(Hyperlink)
template <class T>
struct Kind;
#define STANDIN_KIND(T) \
  template <>           \
  struct Kind<host::T> { static constexpr const char* name = #T; };
STANDIN_KINDS(STANDIN_KIND)
#undef STANDIN_KIND

// One call being served: the object, its arguments and how to answer.
struct Call {
  ObjectServer& server;
  const ObjectServer::Object& self;
  std::vector<Value>& args;
  bool put;

  template <class T>
  T& Self() const { return *static_cast<T*>(self.p.get()); }
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
  T ArgOr(size_t i, T fallback) const { return Has(i) ? Arg<T>(i) : fallback; }
  Value Out(int v) const { return Value::Int(v); }
  Value Out(float v) const { return Value::Double(v); }
  Value Out(bool v) const { return Value::Bool(v); }
  Value Out(const std::wstring& v) const { return Value::String(platform::ToUtf8(v)); }
  template <class T>
  Value Out(const host::Ptr<T>& p) const {
    if (!p) return Value::Null();
    if constexpr (std::is_same_v<T, host::CommandBarControl>) return server.Register(Kind<T>::name, p, p->Identity());
    return server.Register(Kind<T>::name, p);
  }
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
  int action = 0;  // none, or ppActionHyperlink as shown
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
ActionSetting Shown(ObjectServer& server, ActionSetting shown) {
  std::wstring clickAddress;
  const std::string fragment = Fragments(*shown.range, &clickAddress)[shown.event == 1 ? 0 : 1];
  shown.action = fragment.empty() ? 0 : kActionHyperlink;
  shown.address = shown.event == 1 && !fragment.empty() ? clickAddress : std::wstring();
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

// A link's Address or SubAddress: setting either gives the range the shown
// action the two now name.
Value LinkPart(Call& c, std::wstring ActionSetting::*part) {
  auto& s = c.Self<ActionSetting>();
  if (!c.put) return c.Out(s.*part);
  s.*part = c.Arg<std::wstring>(0);
  auto shown = c.server.shownActions.find({s.event, s.address, s.subAddress});
  if (shown != c.server.shownActions.end()) GiveAction(*s.range, s.event, shown->second);
  return Value();
}

// A host method called with the call's arguments converted to its
// parameters' types; one left out takes the default given for it, and one
// whose default is kNeeded must be there.
constexpr std::nullopt_t kNeeded = std::nullopt;
template <class T, class R, class... P>
Value Method(Call& c, R (T::*method)(P...), std::optional<std::decay_t<P>>... defaults) {
  size_t at = 0;
  auto arg = [&](auto fallback) {
    const size_t i = at++;
    return fallback && !c.Has(i) ? *fallback : c.Arg<typename decltype(fallback)::value_type>(i);
  };
  // Braces read the arguments in order.
  std::tuple<std::decay_t<P>...> args{arg(defaults)...};
  auto call = [&](auto&... a) { return (c.Self<T>().*method)(a...); };
  if constexpr (std::is_void_v<R>) {
    std::apply(call, args);
    return Value();
  } else {
    return c.Out(std::apply(call, args));
  }
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

// Applies F(K, x) to every x after K, the results separated by commas.
#define STANDIN_PARENS ()
#define STANDIN_EXPAND(...) STANDIN_E1(STANDIN_E1(STANDIN_E1(STANDIN_E1(__VA_ARGS__))))
#define STANDIN_E1(...) STANDIN_E0(STANDIN_E0(STANDIN_E0(STANDIN_E0(__VA_ARGS__))))
#define STANDIN_E0(...) __VA_ARGS__
#define EACH(F, K, ...) __VA_OPT__(STANDIN_EXPAND(EACH_STEP(F, K, __VA_ARGS__)))
#define EACH_STEP(F, K, x, ...) F(K, x) __VA_OPT__(, EACH_AGAIN STANDIN_PARENS(F, K, __VA_ARGS__))
#define EACH_AGAIN() EACH_STEP

// One forwarding per kind of member: a property read, a property read and
// written, a method without arguments or result, a sub-range (start,
// length); then the same over a list of members.
#define GET1(K, M) {#K "." #M, [](Call& c) { return c.Out(c.Self<host::K>().M()); }}
#define PROP1(K, M)                                                         \
  {#K "." #M, [](Call& c) {                                                 \
     auto& s = c.Self<host::K>();                                           \
     if (!c.put) return c.Out(s.M());                                       \
     s.Set##M(c.Arg<std::decay_t<decltype(s.M())>>(0));                     \
     return Value();                                                        \
   }}
#define DO1(K, M) {#K "." #M, [](Call& c) { c.Self<host::K>().M(); return Value(); }}
#define SUBRANGE1(K, M) \
  {#K "." #M, [](Call& c) { return c.Out(c.Self<host::K>().M(c.ArgOr<int>(0, -1), c.ArgOr<int>(1, -1))); }}
#define GET(K, ...) EACH(GET1, K, __VA_ARGS__)
#define PROP(K, ...) EACH(PROP1, K, __VA_ARGS__)
#define DO(K, ...) EACH(DO1, K, __VA_ARGS__)
#define SUBRANGE(K, ...) EACH(SUBRANGE1, K, __VA_ARGS__)
#define METHOD(K, M, ...) {#K "." #M, [](Call& c) { return Method(c, &host::K::M, __VA_ARGS__); }}
#define RANGE(K, Result) \
  {#K ".Range", [](Call& c) { return c.Out(RangeOf<host::K, host::Result>(c, c.Self<host::K>())); }}
// Count and Item by 1-based index, for every collection named.
#define COLLECTION1(_, K) \
  GET1(K, Count), {#K ".Item", [](Call& c) { return c.Out(c.Self<host::K>().Item(c.Arg<int>(0))); }}
#define COLLECTIONS(...) EACH(COLLECTION1, _, __VA_ARGS__)
// Item by name or by 1-based index.
#define NAMED_ITEM(K)                                                                                       \
  {#K ".Item", [](Call& c) {                                                                                \
     auto& all = c.Self<host::K>();                                                                         \
     if (c.Has(0) && c.args[0].type == Value::Type::String) return c.Out(all.Item(c.Arg<std::wstring>(0))); \
     return c.Out(all.Item(c.Arg<int>(0)));                                                                 \
   }}
// The members the two text models share, of a text frame and of a range.
#define TEXT_FRAME(K) GET(K, HasText, TextRange), PROP(K, AutoSize)
#define TEXT_RANGE(K)                                                                               \
  PROP(K, Text), GET(K, Start, Length, Count), SUBRANGE(K, Characters, Paragraphs, Runs),          \
      {#K ".IsField", [](Call& c) { return RunIsField(c.Self<host::K>()); }}

// (interface, member) -> the host call, for every member the add-in reaches.
const std::unordered_map<std::string, Member>& Members() {
  static const std::unordered_map<std::string, Member> table = {
      GET(Application, Version, Name, Presentations, ActivePresentation, Windows, ActiveWindow, SlideShowWindows,
          CommandBars),
      COLLECTIONS(Presentations, DocumentWindows, Panes, Slides, SlideRange, ShapeRange, GroupShapes,
                  SeriesCollection, DataLabels, CustomLayouts, Designs, Comments, CommandBarControls),
      METHOD(Presentations, Open, kNeeded, false, false, true),

      GET(Presentation, Name, FullName, Path, Windows, Slides, Designs), PROP(Presentation, Saved, Final),
      DO(Presentation, Close), METHOD(Presentation, SaveCopyAs, kNeeded, host::ppSaveAsDefault, false),
      {"Presentation.Container",
       [](Call&) -> Value { throw platform::ComError(host::kNotAvailable, L"the presentation is not embedded"); }},

      GET(DocumentWindow, ActivePane, Panes, Selection, View),
      PROP(DocumentWindow, ViewType, WindowState, Left, Top, Width, Height), DO(DocumentWindow, Activate),
      GET(Pane, ViewType), DO(Pane, Activate), METHOD(View, GotoSlide, kNeeded), GET(Selection, Type, ShapeRange),
      GET(SlideShowWindows, Count),

      RANGE(Slides, SlideRange), GET(Slide, SlideIndex, SlideID, Shapes, Comments),
      // The host answers a range holding the one notes page.
      {"Slide.NotesPage", [](Call& c) { return c.server.Register("NotesRange", c.Self<host::Slide>().NotesPage()); }},
      {"NotesRange.Item",
       [](Call& c) {
         if (c.Arg<int>(0) != 1) throw platform::ComError(host::kBadIndex, L"the notes range holds one page");
         return c.server.Register("Slide", c.self.p);
       }},

      GET(Shapes, Count), NAMED_ITEM(Shapes), RANGE(Shapes, ShapeRange),
      GET(Shape, Type, Id, HasTextFrame, TextFrame, TextFrame2, HasTable, Table, HasChart, Chart, HasSmartArt,
          GroupItems, PlaceholderFormat),
      PROP(Shape, Name, AlternativeText, Title, Visible, Left, Top, Width, Height),
      {"Shape.Select", [](Call& c) { c.Self<host::Shape>().Select(c.ArgOr(0, true)); return Value(); }},
      // A shape's own link is the document host's; a range's (RangeAction,
      // RangeLink below) is the stand-in's.
      METHOD(Shape, ActionSettings, kNeeded), GET(ActionSetting, Hyperlink), PROP(Hyperlink, ScreenTip),
      {"Shape.Parent",
       [](Call& c) {
         if (!c.self.slide) throw platform::ComError(host::kNotAvailable, L"the shape was not reached from a slide");
         return c.server.Register("Slide", c.self.slide);
       }},
      GET(Chart, HasTitle, ChartTitle, Shapes, SeriesCollection),
      METHOD(Chart, HasAxis, kNeeded, host::xlPrimary), METHOD(Chart, Axes, kNeeded, host::xlPrimary),
      GET(ChartText, TextFrame2, AutoText), GET(Axis, HasTitle, AxisTitle), PROP(Series, Name),
      GET(Series, Formula, DataLabels), GET(DataLabel, TextFrame2, AutoText),
      GET(Master, Shapes, CustomLayouts), GET(CustomLayout, Shapes), GET(Design, SlideMaster),
      GET(PlaceholderFormat, Type, ContainedType), TEXT_FRAME(TextFrame), TEXT_FRAME(TextFrame2),
      PROP(TextFrame2, WordWrap, Orientation, MarginLeft, MarginRight, MarginTop, MarginBottom),

      GET(Table, Rows, Columns), METHOD(Table, Cell, kNeeded, kNeeded), GET(Rows, Count), GET(Columns, Count),
      GET(Cell, Shape),

      METHOD(Comments, Add, kNeeded, kNeeded, kNeeded, kNeeded, kNeeded),
      GET(Comment, Text, Left, Top, Author, AuthorInitials, Replies), DO(Comment, Delete),

      TEXT_RANGE(TextRange), TEXT_RANGE(TextRange2), PROP(TextRange2, LanguageID),
      GET(TextRange2, BoundWidth, BoundHeight, Font), DO(TextRange2, Select),
      {"TextRange.ActionSettings",
       [](Call& c) {
         const int event = c.Arg<int>(0);
         if (event != 1 && event != 2) throw platform::ComError(host::kBadIndex, L"no such mouse event");
         auto range = std::static_pointer_cast<host::TextRange>(c.self.p);
         return c.server.Register("RangeAction", std::make_shared<ActionSetting>(range, event));
       }},
      {"RangeAction.Action",
       [](Call& c) {
         auto& s = c.Self<ActionSetting>();
         if (!c.put) return c.Out(Shown(c.server, s).action);
         if (c.Arg<int>(0) == 0) GiveAction(*s.range, s.event, "");
         return Value();
       }},
      {"RangeAction.Hyperlink",
       [](Call& c) {
         auto link = std::make_shared<ActionSetting>(Shown(c.server, c.Self<ActionSetting>()));
         return c.server.Register("RangeLink", link);
       }},
      {"RangeLink.Address", [](Call& c) { return LinkPart(c, &ActionSetting::address); }},
      {"RangeLink.SubAddress", [](Call& c) { return LinkPart(c, &ActionSetting::subAddress); }},
      {"RangeLink.ScreenTip",
       [](Call& c) {
         auto& s = c.Self<ActionSetting>();
         host::Ptr<host::Hyperlink> link = s.range->ActionSettings(s.event)->Hyperlink();
         if (!c.put) return c.Out(link->ScreenTip());
         link->SetScreenTip(c.Arg<std::wstring>(0));
         return Value();
       }},

      PROP(Font2, Bold, Italic, Shadow, Emboss, BaselineOffset, Size, Name, NameAscii, NameFarEast, UnderlineStyle),

      GET(CommandBars, Count), NAMED_ITEM(CommandBars),
      METHOD(CommandBars, Add, std::wstring(), host::msoBarTop, false, false),
      METHOD(CommandBars, FindControl, 0, 0, std::wstring(), false),
      GET(CommandBar, Name, BuiltIn, Controls), PROP(CommandBar, Visible, Position, Left, Top, Width, Height, RowIndex),
      DO(CommandBar, Delete), METHOD(CommandBarControls, Add, host::msoControlButton, 0, std::wstring(), 0, false),
      GET(CommandBarControl, Type, Parent, Controls),
      PROP(CommandBarControl, Caption, Tag, TooltipText, OnAction, BeginGroup, Visible, Enabled, Priority, OLEUsage,
           Style, State),
      {"CommandBarControl.Picture", [](Call& c) { return Face(c, false); }},
      {"CommandBarControl.Mask", [](Call& c) { return Face(c, true); }},
      METHOD(CommandBarControl, Delete, false),
  };
  return table;
}

std::string Failure(HRESULT hr, const std::wstring& description) {
  char code[16];
  std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
  return std::string("! ") + code + " " + Encode(Value::String(platform::ToUtf8(description)));
}

}  // namespace

ObjectServer::ObjectServer(host::Ptr<host::Application> application, std::wstring version)
    : mVersion(std::move(version)) {
  Register(Kind<host::Application>::name, std::move(application));
}

Value ObjectServer::Register(std::string kind, std::shared_ptr<void> p, const void* identity) {
  if (identity && mByIdentity.count(identity)) return Value::Object(mByIdentity[identity], kind);
  const int handle = mNext++;
  if (identity) mByIdentity[identity] = handle;
  mObjects[handle] = Object{kind, std::move(p), mContext, identity};
  return Value::Object(handle, std::move(kind));
}

std::string ObjectServer::Serve(const std::string& line) {
  const std::vector<std::string> tokens = Tokens(line);
  if (tokens.size() < 2 || tokens[0].size() != 1) return Failure(E_INVALIDARG, L"a request the server cannot read");
  const int handle = std::atoi(tokens[1].c_str());
  const char op = tokens[0][0];
  if (op == 'R') {
    if (auto o = mObjects.find(handle); o != mObjects.end()) {
      mByIdentity.erase(o->second.identity);
      mObjects.erase(o);
    }
    return "= n";
  }
  if ((op != 'G' && op != 'P') || tokens.size() < 3) return Failure(E_INVALIDARG, L"a request the server cannot read");
  // Hold the object for the call: a member may release handles (Close).
  auto found = mObjects.find(handle);
  if (found == mObjects.end()) return Failure(host::kNotAvailable, L"the object is gone");
  const Object self = found->second;
  std::vector<Value> args;
  for (size_t at = 3; at < tokens.size();) {
    args.emplace_back();
    if (!Decode(tokens, &at, &args.back())) return Failure(E_INVALIDARG, L"an argument the server cannot read");
  }
  if (self.kind == "Application" && tokens[2] == "Version" && !mVersion.empty())
    return "= " + Encode(Value::String(platform::ToUtf8(mVersion)));
  auto member = Members().find(self.kind + "." + tokens[2]);
  if (member == Members().end())
    return Failure(DISP_E_MEMBERNOTFOUND, platform::FromUtf8(self.kind + " has no member " + tokens[2]));
  mContext = self.kind == "Slide" ? std::static_pointer_cast<host::Slide>(self.p) : self.slide;
  try {
    // What is selected sits on the slide the window shows.
    if (self.kind == "DocumentWindow" && tokens[2] == "Selection")
      mContext = static_cast<host::DocumentWindow*>(self.p.get())->View()->Slide();
    Call call{*this, self, args, op == 'P'};
    return "= " + Encode(member->second(call));
  } catch (const platform::ComError& e) {
    return Failure(e.Error(), e.Description().empty() ? platform::FromUtf8(e.what()) : e.Description());
  } catch (const std::exception& e) {
    return Failure(E_FAIL, platform::FromUtf8(e.what()));
  }
}

}  // namespace standin
