// The shape classes of the pptx host, one per kind of shape, and the XML
// reading the shape, table and text-frame files share. Not for callers
// outside src/host/pptx.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "src/host/pptx/KeptAt.h"
#include "src/host/pptx/PptxModel.h"

namespace host::pptx::shapes {

struct Rect {
  double x = 0, y = 0, cx = 0, cy = 0;  // EMU
  bool present = false;
};

struct TextBoxOffsets {
  float left = 0, top = 0, right = 0, bottom = 0;
};

// Coordinates from the file; "nan", "inf" or an overflowing value counts as absent.
double Emu(pugi::xml_node n, const char* attr, double def = 0);
Rect ReadXfrm(pugi::xml_node xfrm);
// The non-visual properties block (nvSpPr, nvPicPr, nvGraphicFramePr ...).
pugi::xml_node NvBlock(pugi::xml_node shape);
pugi::xml_node CNvPr(pugi::xml_node shape);
pugi::xml_node Ph(pugi::xml_node shape);
pugi::xml_node GraphicData(pugi::xml_node frame);
// The shape type a graphic frame reports, from what its graphic holds.
int GraphicType(pugi::xml_node frame);
const char* OrientationToVert(int o);

// Writes a position and size in the parent's space (EMU) into a shape's
// xfrm, creating the xfrm (and spPr) where the shape has none.
void WriteXfrm(pugi::xml_document& partXml, pugi::xml_node node, pugi::xml_node spPr, pugi::xml_node xfrm,
               const Rect& local);

// Layout and master shapes a placeholder inherits from, nearest first,
// each with its part.
using InheritedShapes = Document::Inherited;

// What every shape of this host shares: its place in the package, the
// check that it still exists, and the members that read the same for
// every kind. Each kind answers its own members by overriding.
class ShapeBase : public host::Shape, public std::enable_shared_from_this<ShapeBase> {
 public:
  std::shared_ptr<Document> doc;
  SlideRef slide;
  std::string part;
  pugi::xml_node node;
  std::shared_ptr<ShapeBase> parent;
  int generation = 0;  // deletions in the part when this handle was made
  // The text frame's body properties, own first then inherited.
  KeptAt<std::vector<pugi::xml_node>> bodyProps;
  // SlideRect as of the document's edit count: fitting reads the size and
  // lays the text out in it again and again between two edits.
  Rect KeptRect() { return keptRect.Get(*doc, [&] { return SlideRect(); }); }
  KeptAt<Rect> keptRect;

  void Check();
  void Dirty() { doc->MarkDirty(part); }
  pugi::xml_node SpPr();
  pugi::xml_node OwnXfrm();
  bool IsPlaceholder() { return static_cast<bool>(Placeholder()); }

  virtual pugi::xml_node Placeholder() { return {}; }
  virtual InheritedShapes InheritChain() { return {}; }
  // Position and size on the slide (EMU).
  virtual Rect SlideRect() = 0;
  virtual void SetSlideRect(const Rect& want);
  virtual bool HiddenFlag() { return Attr(CNvPr(node), "hidden").as_bool(); }

  // The text behind the shape: which element holds the body, where a new
  // one goes, what an edit must also bring up to date, and the frame the
  // text is laid out in.
  virtual TextBodyKind BodyKind() { return TextBodyKind::Shape; }
  virtual bool ParagraphDefaults() { return false; }
  // The a:tcTxStyle elements of the table style that reach this text,
  // nearest first (a table cell's only).
  virtual std::vector<pugi::xml_node> TableTextStyles() { return {}; }
  // What of this part the styles its text inherits depend on, as a value.
  virtual std::string StyleKey();
  virtual pugi::xml_node TextHost() { return node; }
  virtual const char* BodyName() { return "txBody"; }
  virtual pugi::xml_node NewBody(pugi::xml_node host, const std::string& a);
  virtual void TextChanged() { Dirty(); }
  virtual TextFrameGeometry FrameGeometry();
  virtual void FrameSize(TextFrameGeometry& g);
  // How far inside the shape's own rectangle the box its text is drawn in
  // lies (points; left, top, right, bottom). The text frame's margins count
  // from the shape's edges, as the object model has them.
  virtual TextBoxOffsets TextBoxInset() { return {}; }
  // What a text selection in this shape selects.
  virtual Ptr<host::Shape> SelectionTarget() { return shared_from_this(); }

  int Type() override;
  int Id() override;
  std::wstring Name() override;
  void SetName(const std::wstring& name) override;
  std::wstring AlternativeText() override;
  void SetAlternativeText(const std::wstring& text) override;
  std::wstring Title() override;
  void SetTitle(const std::wstring& text) override;
  bool Visible() override;
  void SetVisible(bool v) override;
  void Select(bool replace) override;
  float Left() override;
  float Top() override;
  float Width() override;
  float Height() override;
  void SetLeft(float v) override;
  void SetTop(float v) override;
  void SetWidth(float v) override;
  void SetHeight(float v) override;
  float Rotation() override;
  int AutoShapeType() override;
  bool HasTextFrame() override;
  Ptr<host::TextFrame> TextFrame() override;
  Ptr<host::TextFrame2> TextFrame2() override;
  bool HasTable() override;
  Ptr<host::Table> Table() override;
  bool HasChart() override;
  Ptr<host::Chart> Chart() override;
  bool HasSmartArt() override;
  // Diagrams of the old kind do not exist in these packages.
  bool HasDiagram() override;
  Ptr<host::GroupShapes> GroupItems() override;
  Ptr<host::Shape> ParentGroup() override;
  Ptr<host::TextEffectFormat> TextEffect() override;
  Ptr<host::PlaceholderFormat> PlaceholderFormat() override;
  Ptr<host::ActionSetting> ActionSettings(int mouseEvent) override;
  void Delete() override;

 protected:
  // A slide-space rectangle in the space the shape's own xfrm is written in.
  virtual Rect ToLocal(const Rect& want) { return want; }
};

// A shape of a slide's shape tree (or of a group in it).
class TreeShape : public ShapeBase {
 public:
  pugi::xml_node Placeholder() override { return Ph(node); }
  InheritedShapes InheritChain() override;
  // Position and size in the parent's coordinate space (EMU).
  Rect LocalRect();
  Rect SlideRect() override;
  ShapeIdentity Identity() override;
  int Type() override;
  bool HasTextFrame() override;
  void Delete() override;

 protected:
  Rect ToLocal(const Rect& want) override;
  // The type when the shape is no placeholder.
  virtual int OwnType() = 0;
};

// p:sp: auto shapes, text boxes, placeholders.
class AutoShape : public TreeShape {
 public:
  bool HasTextFrame() override;

 protected:
  int OwnType() override;
};

class GroupShape : public TreeShape {
 public:
  int Type() override;
  Ptr<host::GroupShapes> GroupItems() override;
  // Transform from this group's child space to slide EMU.
  void ChildTransform(double& sx, double& sy, double& tx, double& ty);

 protected:
  int OwnType() override;
};

// A graphic frame: SmartArt, chart or OLE object.
class GraphicFrameShape : public TreeShape {
 public:
  bool HasChart() override;
  Ptr<host::Chart> Chart() override;
  bool HasSmartArt() override;
  Ptr<host::GroupShapes> GroupItems() override;

 protected:
  int OwnType() override;
};

class TableFrameShape : public GraphicFrameShape {
 public:
  bool HasTable() override;
  Ptr<host::Table> Table() override;
};

// Pictures, media, connectors and ink.
class OtherShape : public TreeShape {
 protected:
  int OwnType() override;
};

// A table cell, standing for the origin cell of its merged area.
class CellShape : public ShapeBase {
 public:
  pugi::xml_node tbl;
  int row = 0, col = 0;  // 0-based

  Rect SlideRect() override;
  void SetSlideRect(const Rect& want) override;
  bool HiddenFlag() override { return false; }
  TextBodyKind BodyKind() override { return TextBodyKind::TableCell; }
  std::vector<pugi::xml_node> TableTextStyles() override;
  std::string StyleKey() override;
  pugi::xml_node TextHost() override;
  pugi::xml_node NewBody(pugi::xml_node host, const std::string& a) override;
  TextFrameGeometry FrameGeometry() override;
  // A cell's text is selected through its table.
  Ptr<host::Shape> SelectionTarget() override { return parent; }
  ShapeIdentity Identity() override;
  int Id() override;
  std::wstring Name() override;
  int AutoShapeType() override;
  Ptr<host::Shape> ParentGroup() override;

 private:
  // The id of the table's style and the names of its parts that reach this
  // cell, in the order they apply.
  std::vector<const char*> StyleParts(std::string& styleId);
};

// One of a SmartArt frame's GroupItems; drawnIndex is its 1-based position.
class GraphicItemShape : public ShapeBase {
 public:
  int drawnIndex = 0;

  TextBodyKind BodyKind() override { return TextBodyKind::SmartArtDrawing; }
  ShapeIdentity Identity() override;
};

// A shape of the frame's drawing part.
class DrawnShape : public GraphicItemShape {
 public:
  Rect SlideRect() override;
  void TextChanged() override;
  void FrameSize(TextFrameGeometry& g) override;
  TextBoxOffsets TextBoxInset() override;

 protected:
  Rect ToLocal(const Rect& want) override;
};

// A text of a SmartArt graphic that has no drawing part, backed by its data
// point (dgm:pt/dgm:t), from which the graphic is laid out.
class PointShape : public GraphicItemShape {
 public:
  Rect SlideRect() override;
  void SetSlideRect(const Rect& want) override;
  const char* BodyName() override { return "t"; }
};

std::shared_ptr<TextBodyOwner> MakeOwner(const std::shared_ptr<ShapeBase>& s);

}  // namespace host::pptx::shapes
