// Line layout of a text body with real font metrics, for BoundWidth,
// BoundHeight, Lines and shrink-on-overflow autofit. It follows what the
// renderer does closely enough that "does the text fit its shape" gets the
// same answer: wrapping at the frame's width minus its insets, paragraph
// indents, line spacing (percent or points), space before and after, and
// the autofit font scale and line-spacing reduction.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/TextBody.h"

namespace host::pptx {

struct LineBox {
  long start = 0;   // first character (0-based body position)
  long length = 0;  // characters, with the break or paragraph mark that ends the line
  double left = 0;  // points from the frame's left edge
  double width = 0; // trailing blanks do not count
  double top = 0;   // points from the frame's top edge
  double height = 0;
  std::vector<double> x;  // left edge of each character, relative to left; one more entry for the end
  // A word too long for the line is cut inside; what it needs past the
  // line's width then counts as the line's, so that the text does not fit.
  double overrun = 0;
};

struct TextLayout {
  std::vector<LineBox> lines;
  double textHeight = 0;  // all lines with paragraph spacing
  // Extent of a span over the lines it touches, in points relative to the
  // frame's top left: {left, top, width, height}; all zero for no lines.
  struct Box {
    double left = 0, top = 0, width = 0, height = 0;
  };
  Box Bounds(TextSpan span) const;
};

// A body's characters with their styles resolved, faces found and advances
// measured at full size: what a layout takes from the body that no frame or
// font scale changes, kept to lay the body out again.
struct ShapedBody;
std::shared_ptr<ShapedBody> ShapeBody(const TextBody& body);
// The body's layout in frame at its own font scale (a:normAutofit), from
// what ShapeBody made of it.
TextLayout LayoutBody(const TextBody& body, const ShapedBody& shaped, const TextFrameGeometry& frame);
// Takes into shaped what an edit of the character sizes over span (and of
// nothing else) changed: the sizes there are read again, the rest stays as
// measured. False when shaped no longer matches the body's characters, and
// is then to be made afresh.
bool ResizeShaped(ShapedBody& shaped, const TextBody& body, TextSpan span);

// For a body that shrinks text on overflow (a:normAutofit), chooses the
// largest font scale that lets the text fit its frame and writes it, as the
// renderer would after an edit. Returns the body's layout at the scale it
// leaves, as LayoutBody would make it; none for a body that does not shrink.
std::optional<TextLayout> RefitAutofit(const TextBody& body, const TextFrameGeometry& frame);

// The face family a typeface attribute stands for: theme references
// ("+mn-lt") resolved, empty resolved to the theme's body font.
std::string ResolveTypeface(const TextBody& body, const std::optional<std::string>& typeface, bool eastAsian);

}  // namespace host::pptx
