// The two text models (TextRange and TextRange2) over a DrawingML text body.
//
// A shape, table cell, notes placeholder or SmartArt drawn shape hands its
// text to the models through a TextHost; the models do the rest (positions,
// edits, fonts, languages, measuring).
#pragma once

#include <functional>
#include <memory>

#include <pugixml.hpp>

#include "host/TextRange.h"
#include "host/pptx/TextBody.h"

namespace host::pptx {

// The shape's box on the slide, in points.
struct TextFrameBox {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
};

class TextHost {
 public:
  virtual ~TextHost() = default;
  // The owner's txBody; an empty node when it has none yet.
  virtual pugi::xml_node Body() = 0;
  // The txBody, created when missing (a:bodyPr, a:lstStyle and one a:p),
  // for writing.
  virtual pugi::xml_node EnsureBody() = 0;
  // Inherited formatting and theme; null when the owner knows none.
  virtual std::shared_ptr<const TextStyleContext> StyleContext() = 0;
  // After every change to the body: mark the part dirty and bring along
  // whatever mirrors the text (a SmartArt data model).
  virtual void TextChanged() = 0;
  virtual TextFrameBox Frame() = 0;
  // Makes the characters start .. start + length - 1 (1-based) the active
  // window's text selection.
  virtual void SelectText(int start, int length) = 0;
};

// The whole text of the host's body.
Ptr<host::TextRange> NewTextRange(std::shared_ptr<TextHost> host);
Ptr<host::TextRange2> NewTextRange2(std::shared_ptr<TextHost> host);
// A 1-based range of it, as a selection reports one.
Ptr<host::TextRange> NewTextRange(std::shared_ptr<TextHost> host, int start, int length);
Ptr<host::TextRange2> NewTextRange2(std::shared_ptr<TextHost> host, int start, int length);

// True when the body holds at least one character (a lone empty paragraph
// does not count), as TextFrame.HasText answers.
bool BodyHasText(pugi::xml_node txBody);

// A TextHost over a bare node with a fixed frame, for owners that have no
// window or mirror to keep (and for tests). onChange may be empty.
class NodeTextHost : public TextHost {
 public:
  NodeTextHost(pugi::xml_node body, TextFrameBox frame = {}, std::shared_ptr<const TextStyleContext> context = {},
               std::function<void()> onChange = {})
      : mBody(body), mFrame(frame), mContext(std::move(context)), mOnChange(std::move(onChange)) {}
  pugi::xml_node Body() override { return mBody; }
  pugi::xml_node EnsureBody() override { return mBody; }
  std::shared_ptr<const TextStyleContext> StyleContext() override { return mContext; }
  void TextChanged() override {
    if (mOnChange) mOnChange();
  }
  TextFrameBox Frame() override { return mFrame; }
  void SetFrame(TextFrameBox frame) { mFrame = frame; }
  void SelectText(int start, int length) override {
    selectedStart = start;
    selectedLength = length;
  }
  int selectedStart = 0;
  int selectedLength = 0;

 private:
  pugi::xml_node mBody;
  TextFrameBox mFrame;
  std::shared_ptr<const TextStyleContext> mContext;
  std::function<void()> mOnChange;
};

}  // namespace host::pptx
