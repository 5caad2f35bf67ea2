// The application, its presentations and their document windows. Failures
// throw ComError with the codes HostTypes.h lists; threads and lifetime are
// ruled there too. Collections count from 1.
#pragma once

#include <string>
#include <vector>

#include "src/host/HostTypes.h"

namespace host {

class Application {
 public:
  virtual ~Application() = default;
  // "16.0" and the like; callers read its integer part.
  virtual std::wstring Version() = 0;
  virtual std::wstring Name() = 0;
  virtual Ptr<host::Presentations> Presentations() = 0;
  // Throws when no presentation is open.
  virtual Ptr<host::Presentation> ActivePresentation() = 0;
  virtual Ptr<host::DocumentWindows> Windows() = 0;
  // Throws when no document window is open.
  virtual Ptr<host::DocumentWindow> ActiveWindow() = 0;
  virtual Ptr<host::SlideShowWindows> SlideShowWindows() = 0;
  virtual Ptr<host::CommandBars> CommandBars() = 0;
  // Runs a macro by name and returns its result; DISP_E_MEMBERNOTFOUND when
  // no macro of that name may run.
  virtual std::wstring Run(const std::wstring& macroName, const std::vector<std::wstring>& args) = 0;
};

class Presentations {
 public:
  virtual ~Presentations() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Presentation> Item(int index) = 0;
  // readOnly opens it so that Save refuses; untitled opens it with no path
  // (like a new document made from the file); withWindow gives it a normal
  // view document window, which becomes the active one. Without a window
  // the presentation is hidden: Application.Windows does not list it and
  // it is never the active presentation, but its slides and shapes read and
  // write as any other's (only selecting needs a window).
  virtual Ptr<host::Presentation> Open(const std::wstring& fileName, bool readOnly, bool untitled,
                                       bool withWindow) = 0;
  // A new empty presentation.
  virtual Ptr<host::Presentation> Add(bool withWindow) = 0;
};

class Presentation {
 public:
  virtual ~Presentation() = default;
  virtual std::wstring Name() = 0;
  virtual std::wstring FullName() = 0;
  // Folder of the file, empty for an untitled presentation.
  virtual std::wstring Path() = 0;
  // True when the presentation is embedded in another document (the host
  // reports its container); a stand-alone presentation has none. A host
  // that opens only files from disk answers false.
  virtual bool IsEmbedded() = 0;
  virtual bool Saved() = 0;
  // Throws E_ACCESSDENIED when the presentation refuses editing (a write
  // password locks it); writing back what Saved read is how a caller asks.
  virtual void SetSaved(bool saved) = 0;
  // Marked as final by its author (read-only by request, not by lock).
  virtual bool Final() = 0;
  virtual void SetFinal(bool final) = 0;
  virtual bool ReadOnly() = 0;
  virtual float SlideWidth() = 0;
  virtual float SlideHeight() = 0;
  virtual Ptr<host::DocumentWindows> Windows() = 0;
  virtual Ptr<host::Slides> Slides() = 0;
  // The first design's master; every design has one.
  virtual Ptr<host::Master> SlideMaster() = 0;
  virtual Ptr<host::Designs> Designs() = 0;
  virtual void Save() = 0;
  virtual void SaveAs(const std::wstring& fileName, int fileFormat) = 0;
  // Writes a copy; the presentation keeps its own path and Saved state.
  virtual void SaveCopyAs(const std::wstring& fileName, int fileFormat, bool embedTrueTypeFonts) = 0;
  // Closes without saving; the object is dead afterwards (its members throw).
  virtual void Close() = 0;
  // Opens another window on the presentation.
  virtual Ptr<host::DocumentWindow> NewWindow() = 0;
};

class DocumentWindows {
 public:
  virtual ~DocumentWindows() = default;
  virtual int Count() = 0;
  virtual Ptr<host::DocumentWindow> Item(int index) = 0;
  virtual void Arrange(int arrangeStyle) = 0;
};

class DocumentWindow {
 public:
  virtual ~DocumentWindow() = default;
  virtual int ViewType() = 0;
  virtual void SetViewType(int viewType) = 0;
  virtual Ptr<host::Pane> ActivePane() = 0;
  virtual Ptr<host::Panes> Panes() = 0;
  virtual Ptr<host::Selection> Selection() = 0;
  virtual Ptr<host::View> View() = 0;
  virtual Ptr<host::Presentation> Presentation() = 0;
  virtual std::wstring Caption() = 0;
  virtual bool Active() = 0;
  virtual void Activate() = 0;
  virtual int WindowState() = 0;
  virtual void SetWindowState(int state) = 0;
  // Geometry in points on the (virtual) screen, kept to fractions of a
  // point. A maximised window fills the work area; moving or sizing needs
  // the normal state (E_FAIL otherwise).
  virtual float Left() = 0;
  virtual float Top() = 0;
  virtual float Width() = 0;
  virtual float Height() = 0;
  virtual void SetLeft(float v) = 0;
  virtual void SetTop(float v) = 0;
  virtual void SetWidth(float v) = 0;
  virtual void SetHeight(float v) = 0;
  virtual void Close() = 0;
};

class Panes {
 public:
  virtual ~Panes() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Pane> Item(int index) = 0;
};

class Pane {
 public:
  virtual ~Pane() = default;
  virtual int ViewType() = 0;
  virtual bool Active() = 0;
  virtual void Activate() = 0;
};

class View {
 public:
  virtual ~View() = default;
  virtual int Type() = 0;
  // The slide the view shows (in notes-page view, the slide whose notes page it shows).
  virtual Ptr<host::Slide> Slide() = 0;
  virtual void GotoSlide(int index) = 0;
  virtual int Zoom() = 0;
  virtual void SetZoom(int percent) = 0;
};

class Selection {
 public:
  virtual ~Selection() = default;
  virtual int Type() = 0;
  // Throws E_FAIL when the selection holds no slides / shapes / text, as the host does.
  virtual Ptr<host::SlideRange> SlideRange() = 0;
  virtual Ptr<host::ShapeRange> ShapeRange() = 0;
  virtual Ptr<host::TextRange> TextRange() = 0;
  virtual Ptr<host::TextRange2> TextRange2() = 0;
  virtual bool HasChildShapeRange() = 0;
  virtual Ptr<host::ShapeRange> ChildShapeRange() = 0;
  virtual void Unselect() = 0;
};

// The running slide shows; a presentation cannot be translated during one.
class SlideShowWindows {
 public:
  virtual ~SlideShowWindows() = default;
  virtual int Count() = 0;
};

}  // namespace host
