// Slides of a presentation. Slide and notes page share one interface: a
// notes page answers Shapes like a slide and has no notes page of its own.
#pragma once

#include <string>
#include <vector>

#include "src/host/HostTypes.h"

namespace host {

class Slides {
 public:
  virtual ~Slides() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Slide> Item(int index) = 0;
  virtual Ptr<host::Slide> FindBySlideID(int slideId) = 0;
  // All slides.
  virtual Ptr<host::SlideRange> Range() = 0;
  // Slides by name, in the order given; kNotFound when a name is missing.
  virtual Ptr<host::SlideRange> Range(const std::vector<std::wstring>& names) = 0;
  virtual Ptr<host::SlideRange> Range(const std::vector<int>& indexes) = 0;
};

class SlideRange {
 public:
  virtual ~SlideRange() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Slide> Item(int index) = 0;
  // Selects these slides in the active window (slide sorter or thumbnails).
  virtual void Select() = 0;
};

class Slide {
 public:
  virtual ~Slide() = default;
  virtual std::wstring Name() = 0;
  virtual void SetName(const std::wstring& name) = 0;
  // 1-based position among the slides; for a notes page that of its slide.
  virtual int SlideIndex() = 0;
  virtual int SlideID() = 0;
  virtual Ptr<host::Shapes> Shapes() = 0;
  // The slide's notes page; a slide without one gets a page whose part is
  // only written when something is put into it. Throws for a notes page.
  virtual Ptr<host::Slide> NotesPage() = 0;
  virtual Ptr<host::Comments> Comments() = 0;
  virtual void Select() = 0;
};

}  // namespace host
