// Shapes, their text frames, placeholders, WordArt and tables. Geometry is
// in points. A shape inside a group reports its position on the slide (the
// group transforms applied), as the host does.
#pragma once

#include <string>
#include <vector>

#include "src/host/HostTypes.h"

namespace host {

class Shapes {
 public:
  virtual ~Shapes() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Shape> Item(int index) = 0;
  virtual Ptr<host::Shape> Item(const std::wstring& name) = 0;
  // All shapes.
  virtual Ptr<host::ShapeRange> Range() = 0;
  // Shapes by name in the order given; kNotFound when a name is missing.
  virtual Ptr<host::ShapeRange> Range(const std::vector<std::wstring>& names) = 0;
  virtual Ptr<host::ShapeRange> Range(const std::vector<int>& indexes) = 0;
  virtual Ptr<host::Shape> AddTextbox(int orientation, float left, float top, float width, float height) = 0;
};

// An ordered set of shapes (a Range, a selection).
class ShapeRange {
 public:
  virtual ~ShapeRange() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Shape> Item(int index) = 0;
  // replace: make these shapes the selection instead of adding them.
  virtual void Select(bool replace) = 0;
  void Select() { Select(true); }
};

class GroupShapes {
 public:
  virtual ~GroupShapes() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Shape> Item(int index) = 0;
};

class Shape {
 public:
  virtual ~Shape() = default;
  // Which shape this is (see ShapeIdentity); merged table cells hand out
  // one shape for all the cells they cover.
  virtual ShapeIdentity Identity() = 0;
  virtual int Type() = 0;
  virtual int Id() = 0;
  virtual std::wstring Name() = 0;
  virtual void SetName(const std::wstring& name) = 0;
  // What screen readers speak for the shape, and its title; empty when it
  // has none. Setting an empty text removes it. kNotAvailable where the
  // object has neither (a table cell).
  virtual std::wstring AlternativeText() = 0;
  virtual void SetAlternativeText(const std::wstring& text) = 0;
  virtual std::wstring Title() = 0;
  virtual void SetTitle(const std::wstring& text) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  // Adds the shape to the active window's selection, or makes it the
  // selection when replace is true. kNotAvailable for a hidden shape, one
  // on a slide the window does not show, or a view that shows no shapes.
  virtual void Select(bool replace) = 0;
  void Select() { Select(true); }
  virtual float Left() = 0;
  virtual float Top() = 0;
  virtual float Width() = 0;
  virtual float Height() = 0;
  virtual void SetLeft(float v) = 0;
  virtual void SetTop(float v) = 0;
  virtual void SetWidth(float v) = 0;
  virtual void SetHeight(float v) = 0;
  virtual float Rotation() = 0;
  virtual int AutoShapeType() = 0;
  virtual bool HasTextFrame() = 0;
  // kNotAvailable ("This shape does not have a text frame") without one.
  virtual Ptr<host::TextFrame> TextFrame() = 0;
  virtual Ptr<host::TextFrame2> TextFrame2() = 0;
  virtual bool HasTable() = 0;
  virtual Ptr<host::Table> Table() = 0;
  virtual bool HasChart() = 0;
  // kNotAvailable for a shape without a chart.
  virtual Ptr<host::Chart> Chart() = 0;
  virtual bool HasSmartArt() = 0;
  // Diagrams of the kind before SmartArt; .pptx packages hold none, so the
  // document host answers false.
  virtual bool HasDiagram() = 0;
  // Members of a group, or the drawn shapes of a SmartArt graphic.
  virtual Ptr<host::GroupShapes> GroupItems() = 0;
  // Null for a shape that is not inside a group.
  virtual Ptr<host::Shape> ParentGroup() = 0;
  // E_FAIL for a shape that is not WordArt.
  virtual Ptr<host::TextEffectFormat> TextEffect() = 0;
  // E_FAIL for a shape that is not a placeholder.
  virtual Ptr<host::PlaceholderFormat> PlaceholderFormat() = 0;
  // The action of ppMouseClick (1) or ppMouseOver (2) on the shape as a
  // whole (not on its text); kBadIndex for another event.
  virtual Ptr<host::ActionSetting> ActionSettings(int mouseEvent) = 0;
  virtual void Delete() = 0;
};

class PlaceholderFormat {
 public:
  virtual ~PlaceholderFormat() = default;
  virtual int Type() = 0;
  // The MsoShapeType of what the placeholder holds: msoTable, msoSmartArt,
  // msoChart, msoPicture ..., and msoAutoShape for text.
  virtual int ContainedType() = 0;
  virtual std::wstring Name() = 0;
};

class TextEffectFormat {
 public:
  virtual ~TextEffectFormat() = default;
  virtual std::wstring Text() = 0;
  virtual void SetText(const std::wstring& text) = 0;
  virtual std::wstring FontName() = 0;
  virtual void SetFontName(const std::wstring& name) = 0;
  virtual float FontSize() = 0;
  virtual void SetFontSize(float size) = 0;
  virtual int FontBold() = 0;
  virtual int FontItalic() = 0;
};

// The frame of a shape's text in the classic text model.
class TextFrame {
 public:
  virtual ~TextFrame() = default;
  virtual bool HasText() = 0;
  virtual Ptr<host::TextRange> TextRange() = 0;
  virtual int AutoSize() = 0;
  virtual void SetAutoSize(int autoSize) = 0;
  // MsoTriState
  virtual int WordWrap() = 0;
  virtual void SetWordWrap(int wordWrap) = 0;
  virtual int Orientation() = 0;
  virtual void SetOrientation(int orientation) = 0;
  virtual int VerticalAnchor() = 0;
  virtual void SetVerticalAnchor(int anchor) = 0;
  virtual float MarginLeft() = 0;
  virtual float MarginRight() = 0;
  virtual float MarginTop() = 0;
  virtual float MarginBottom() = 0;
  virtual void SetMarginLeft(float v) = 0;
  virtual void SetMarginRight(float v) = 0;
  virtual void SetMarginTop(float v) = 0;
  virtual void SetMarginBottom(float v) = 0;
};

// The same frame in the newer text model.
class TextFrame2 {
 public:
  virtual ~TextFrame2() = default;
  virtual int HasText() = 0;  // MsoTriState
  virtual Ptr<host::TextRange2> TextRange() = 0;
  virtual int AutoSize() = 0;  // MsoAutoSize
  virtual void SetAutoSize(int autoSize) = 0;
  virtual int WordWrap() = 0;
  virtual void SetWordWrap(int wordWrap) = 0;
  virtual int Orientation() = 0;
  virtual void SetOrientation(int orientation) = 0;
  virtual int VerticalAnchor() = 0;
  virtual void SetVerticalAnchor(int anchor) = 0;
  virtual float MarginLeft() = 0;
  virtual float MarginRight() = 0;
  virtual float MarginTop() = 0;
  virtual float MarginBottom() = 0;
  virtual void SetMarginLeft(float v) = 0;
  virtual void SetMarginRight(float v) = 0;
  virtual void SetMarginTop(float v) = 0;
  virtual void SetMarginBottom(float v) = 0;
};

class Table {
 public:
  virtual ~Table() = default;
  virtual Ptr<host::Rows> Rows() = 0;
  virtual Ptr<host::Columns> Columns() = 0;
  virtual Ptr<host::Cell> Cell(int row, int column) = 0;
};

class Rows {
 public:
  virtual ~Rows() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Row> Item(int index) = 0;
};

class Columns {
 public:
  virtual ~Columns() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Column> Item(int index) = 0;
};

class Row {
 public:
  virtual ~Row() = default;
  virtual float Height() = 0;
};

class Column {
 public:
  virtual ~Column() = default;
  virtual float Width() = 0;
};

class Cell {
 public:
  virtual ~Cell() = default;
  // The cell's text shape; every cell a merge covers returns the shape of
  // the merged area (same Identity).
  virtual Ptr<host::Shape> Shape() = 0;
  virtual bool Selected() = 0;
  // Merge this cell with another, making one area of the rectangle between them.
  virtual void Merge(const Ptr<host::Cell>& other) = 0;
};

}  // namespace host
