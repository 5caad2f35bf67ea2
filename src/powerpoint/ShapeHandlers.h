// Which handler a shape goes to, decided in one place: the walk translates
// through it, and the look-ahead and copy read through it what the walk
// would translate, so the three cannot disagree about a kind.
#pragma once

#include <string>

#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"
#include "src/powerpoint/RunContext.h"

namespace powerpoint {

// Where a shape sits: on a page, or among a group's items (where a
// placeholder is plain text and a text left failing by a cancel is no
// failure).
enum class ShapeLevel { Page, Group };

// Receives what a handler would translate, in the order it would ask.
class ShapeTexts {
 public:
  virtual ~ShapeTexts() = default;
  // A shape whose frame text goes to the text layer (paragraph by
  // paragraph when paragraphs is set).
  virtual void Frame(const host::Ptr<host::Shape>& shape, bool paragraphs) = 0;
  // A text asked for whole (WordArt, a chart's series name).
  virtual void Whole(const std::wstring& text) = 0;
  // A text a chart lays out (its title, an axis title, a typed label).
  virtual void ChartText(const host::Ptr<host::TextFrame2>& frame) = 0;
};

// What reading a shape without translating it depends on.
struct ShapeReading {
  const options::TranslationOptionUDT& options;
  int version = 0;  // the host's, as RunContext::Version gives it
  // Table cells row by row, as a reader reads them (copy); the walk goes
  // column by column.
  bool cellsByRow = false;
  bool charts = true;  // the run's option set asks for the texts of charts
};

class ShapeHandler {
 public:
  virtual ~ShapeHandler() = default;
  // Translates source into target; false on failure. handled is set when
  // the shape's text was translated (the walk then expands and fits it).
  virtual bool Translate(RunContext& ctx, const host::Ptr<host::Shape>& source,
                         const host::Ptr<host::Shape>& target, ShapeLevel level, bool& handled) const = 0;
  // Hands out what Translate would ask for, reading only source.
  virtual void List(const ShapeReading& reading, const host::Ptr<host::Shape>& source, ShapeLevel level,
                    ShapeTexts& out) const = 0;
  // For the log when Translate fails.
  virtual const wchar_t* Failure() const = 0;
  // Holds shapes of its own (a group, a table): a cancel inside it ends the
  // group walk around it at once.
  virtual bool Container() const { return false; }
};

// The handler of a shape kind; null for kinds without one of their own.
const ShapeHandler* ShapeHandlerOfKind(int type, ShapeLevel level);
// The handler for a shape: its kind's, else the text box's when the shape
// has text in a frame; null when nothing of the shape is translated.
const ShapeHandler* ShapeHandlerFor(const host::Ptr<host::Shape>& shape, ShapeLevel level);

// Hands out what each shape of a collection (a page's, a group's items, the
// shapes drawn over a chart) would have translated, through its handler.
template <class Shapes>
void ListEach(const ShapeReading& reading, const host::Ptr<Shapes>& shapes, ShapeLevel level, ShapeTexts& out) {
  const int n = shapes->Count();
  for (int i = 1; i <= n; ++i) {
    host::Ptr<host::Shape> s = shapes->Item(i);
    if (!s) continue;
    if (const ShapeHandler* handler = ShapeHandlerFor(s, level)) handler->List(reading, s, level, out);
  }
}

// An explicit selection overrides every ignore switch.
inline bool Allowed(const options::TranslationOptionUDT& o, std::int32_t ignoreSwitch) {
  return ignoreSwitch == 0 || o.TranslationRange == 2;
}

// Keep style shrinks text into its shape afterwards, which a frame that grows
// with its text would undo; so such frames are fixed while the shape is
// translated and grow again on every way out of the shape, cancel included.
class AutoSizeHold {
 public:
  AutoSizeHold(RunContext& ctx, const host::Ptr<host::Shape>& target);
  ~AutoSizeHold();
  AutoSizeHold(const AutoSizeHold&) = delete;
  AutoSizeHold& operator=(const AutoSizeHold&) = delete;

 private:
  host::Ptr<host::TextFrame> mFrame;
};

}  // namespace powerpoint
