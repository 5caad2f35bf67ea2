// Internal wiring of the pptx host between its slide, shape and window
// parts. Not for callers outside src/host/pptx.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxDocument.h"

namespace host::pptx {

// What the shape side asks of the window system.
class AppState {
 public:
  virtual ~AppState() = default;
  // Selections go to the first window showing the document; E_FAIL when
  // none does or its view cannot show the object.
  virtual void SelectShapes(Document& doc, const SlideRef& slide, const std::vector<Ptr<host::Shape>>& shapes,
                            bool replace) = 0;
  // textOf names the shape whose text it is: a table cell is selected
  // through its table (shape) but its own text is what is selected.
  virtual void SelectText(Document& doc, const SlideRef& slide, const Ptr<host::Shape>& shape,
                          const ShapeIdentity& textOf, const std::shared_ptr<TextBodyOwner>& owner, int start,
                          int length) = 0;
  // Whether a window of the document has text of that shape selected.
  virtual bool TextSelectedIn(Document& doc, const ShapeIdentity& textOf) = 0;
  virtual void SelectSlides(Document& doc, const std::vector<int>& slideIds) = 0;
  // A slide or shape went away: drop it from selections.
  virtual void Forget(Document& doc) = 0;
};

Ptr<host::Slides> MakeSlides(const std::shared_ptr<Document>& doc);
Ptr<host::Slide> MakeSlide(const std::shared_ptr<Document>& doc, int slideId);
Ptr<host::SlideRange> MakeSlideRange(const std::shared_ptr<Document>& doc, std::vector<int> slideIds);
Ptr<host::ShapeRange> MakeShapeRange(std::vector<Ptr<host::Shape>> shapes);
// The text owner behind a shape made by this host (null for other shapes
// or shapes without a text frame).
std::shared_ptr<TextBodyOwner> OwnerOf(const Ptr<host::Shape>& shape);
// The slide a shape made by this host is on.
SlideRef SlideOf(const Ptr<host::Shape>& shape);
// Text of a notes page's body placeholder, empty when it has none (for show).
std::string SlideTitle(const SlideRef& slide);

// The designs of a presentation: its slide masters, in the presentation's order.
Ptr<host::Designs> MakeDesigns(const std::shared_ptr<Document>& doc);

// The Office command bars of a fresh application: "Menu Bar" with the
// host's own menus, and the "Standard" and "Formatting" toolbars.
Ptr<host::CommandBars> MakeCommandBars();

// Creates the XML of a new text box on a slide part; returns the p:sp.
pugi::xml_node NewTextboxXml(Document& doc, const std::string& part, int orientation, float left, float top,
                             float width, float height);

// Namespace prefixes as declared on a part's root ("a", "p", "r"), declaring
// them in the part's own class when the part has none.
std::string PrefixFor(pugi::xml_document& part, const std::string& nsKind);

}  // namespace host::pptx
