// Makers shared by the wrapper files: each wraps the object a call answered
// (null for Nothing).
#pragma once

#include "src/host/dispatch/Wrappers.h"

namespace host::dispatch {

// Where a shape was reached from: the slide's id and whether it sits on the
// slide's notes page. slideId 0: not known, read from the shape's parent.
struct Where {
  int slideId = 0;
  bool notes = false;
};

host::Ptr<host::Presentation> MakePresentation(const Variant& v);
host::Ptr<host::Slides> MakeSlides(const Variant& v);
host::Ptr<host::SlideRange> MakeSlideRange(const Variant& v);
host::Ptr<host::Master> MakeMaster(const Variant& v);
host::Ptr<host::Designs> MakeDesigns(const Variant& v);
// notesOf: for a notes page, the id of its slide.
host::Ptr<host::Slide> MakeSlide(const Variant& v, int notesOf = 0);
host::Ptr<host::ShapeRange> MakeShapeRange(const Variant& v, Where where);
host::Ptr<host::TextRange> MakeTextRange(const Variant& v);
host::Ptr<host::ActionSetting> MakeActionSetting(const Variant& v);
// Where a newer-model range finds the classic range of its text: the
// owner's TextRange (a selection), or its TextFrame's (a shape); none when
// owner is null.
struct ClassicText {
  std::shared_ptr<Dispatch> owner;
  bool viaFrame = false;
};
host::Ptr<host::TextRange2> MakeTextRange2(const Variant& v, ClassicText classic);

}  // namespace host::dispatch
