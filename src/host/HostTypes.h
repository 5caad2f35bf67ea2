// Shared vocabulary of the host object model: handle type, identity,
// failure codes, forward declarations and the enumeration values the object
// model reports. The numbers are the host's own, because the walk and the
// menus compare them with literal values.
//
// What every implementation keeps to (the .pptx document host, an adapter
// over PowerPoint's own objects, a test stand-in):
//
// Failures. A member that fails throws ComError carrying one of the codes
// below, and only these; a caller may branch on them and on nothing else
// (the description is for the log). Calls that reach PowerPoint late-bound
// come back as DISP_E_EXCEPTION with the real code in EXCEPINFO; the
// adapter unwraps that once, where it turns a failed Invoke into ComError,
// so DISP_E_EXCEPTION never reaches a caller.
//   kBadIndex      a 1-based index outside 1..Count of a collection.
//   kNotFound      a name nothing answers to (Shapes.Item/Range by name,
//                  Slides.Range by name, CommandBars.Item by name), and any
//                  other argument value the member refuses.
//   kNotAvailable  the object lacks what the member needs: no text frame,
//                  no table, not a group, not a placeholder, nothing
//                  selected, no window, a view that cannot show it, a
//                  closed presentation or window, a stale handle.
//   kAccessDenied  the presentation refuses editing (write-locked,
//                  read-only) or the bar is built in.
//   kNoSuchMember  the member does not exist on this kind of object (popup
//                  members on a button), or a macro that may not run.
//   kFileNotFound, kBadFile  Presentations.Open on a missing file or one
//                  that is not a presentation; a save into a missing
//                  folder is kFileNotFound, a write that fails
//                  kNotAvailable, a file that may not be written
//                  kAccessDenied.
//
// Threads. Host objects are made, used and released on the user-interface
// thread only; no other thread may hold a Ptr to one (the real host's
// objects belong to its apartment). Other threads talk to the UI thread by
// flags, never through host objects. A call from another thread fails with
// kWrongThread, as an unmarshalled call into the real host's apartment does.
//
// Lifetime and disconnection. A Ptr keeps its object usable after the
// collection it came from is released; an object whose presentation or
// window was closed throws kNotAvailable. The implementation holds no
// reference to the caller except connected event sinks, which Unadvise
// releases. So, at disconnection, a caller drops every host reference by
// unadvising its sinks and then releasing every Ptr it holds (no host
// object may live in a static); nothing else stays behind.
//
// Event sinks are called by the host, which cannot handle an exception:
// their members are noexcept and report failures their own way.
#pragma once

#include <memory>

#include "src/platform/Types.h"

namespace host {

constexpr HRESULT kBadIndex = DISP_E_BADINDEX;
constexpr HRESULT kNotFound = E_INVALIDARG;
constexpr HRESULT kNotAvailable = E_FAIL;
constexpr HRESULT kAccessDenied = E_ACCESSDENIED;
constexpr HRESULT kNoSuchMember = DISP_E_MEMBERNOTFOUND;
constexpr HRESULT kFileNotFound = STG_E_FILENOTFOUND;
constexpr HRESULT kBadFile = STG_E_INVALIDHEADER;
constexpr HRESULT kWrongThread = static_cast<HRESULT>(0x8001010EL);  // RPC_E_WRONG_THREAD

// Which shape a handle stands for, as a value any implementation can
// compute from the object model: two handles on the same shape compare
// equal, whichever collection they came from and however long apart they
// were fetched; shapes of different slides never do. Every cell that a
// merged table area covers answers the area's origin (top-left) cell.
// It compares shapes of one presentation: a copy of the deck answers the
// same values for its own shapes.
struct ShapeIdentity {
  int slideId = 0;         // SlideID of the slide (of its slide for a notes page)
  bool notesPage = false;  // the shape is on the slide's notes page
  int shapeId = 0;         // Shape.Id; for a table cell or a drawn SmartArt shape, its frame's
  int row = 0;             // table cell: origin row and column (1-based); 0 otherwise
  int column = 0;
  int drawnIndex = 0;      // drawn SmartArt shape: its position among the frame's GroupItems; 0 otherwise

  bool operator==(const ShapeIdentity&) const = default;
};

// Objects handed out by the model outlive the collection that handed them
// out (a shape stays usable after its Shapes collection is released), so
// every object is held by shared ownership.
template <class T>
using Ptr = std::shared_ptr<T>;

class Application;
class Presentations;
class Presentation;
class DocumentWindows;
class DocumentWindow;
class Panes;
class Pane;
class View;
class Selection;
class SlideShowWindows;
class Slides;
class SlideRange;
class Slide;
class Shapes;
class ShapeRange;
class GroupShapes;
class Shape;
class TextFrame;
class TextFrame2;
class TextRange;
class TextRange2;
class ActionSetting;
class Font;
class Font2;
class ColorFormat;
class FillFormat;
class PlaceholderFormat;
class TextEffectFormat;
class Table;
class Rows;
class Columns;
class Row;
class Column;
class Cell;
class Chart;
class ChartText;
class Axis;
class SeriesCollection;
class Series;
class DataLabels;
class DataLabel;
class Master;
class CustomLayouts;
class CustomLayout;
class Designs;
class Design;
class Comments;
class Comment;
class CommandBars;
class CommandBar;
class CommandBarControls;
class CommandBarControl;
class CommandBarButtonEvents;

// MsoTriState: boolean properties that can be mixed over a text range.
constexpr int msoFalse = 0;
constexpr int msoTrue = -1;
constexpr int msoCTrue = 1;
constexpr int msoTriStateToggle = -3;
constexpr int msoTriStateMixed = -2;

// Numeric font properties read this value where a range spans different ones.
constexpr float kMixedValue = -2.0f;

// MsoShapeType
constexpr int msoShapeTypeMixed = -2;
constexpr int msoAutoShape = 1;
constexpr int msoCallout = 2;
constexpr int msoChart = 3;
constexpr int msoComment = 4;
constexpr int msoFreeform = 5;
constexpr int msoGroup = 6;
constexpr int msoEmbeddedOLEObject = 7;
constexpr int msoFormControl = 8;
constexpr int msoLine = 9;
constexpr int msoLinkedOLEObject = 10;
constexpr int msoLinkedPicture = 11;
constexpr int msoOLEControlObject = 12;
constexpr int msoPicture = 13;
constexpr int msoPlaceholder = 14;
constexpr int msoTextEffect = 15;
constexpr int msoMedia = 16;
constexpr int msoTextBox = 17;
constexpr int msoScriptAnchor = 18;
constexpr int msoTable = 19;
constexpr int msoCanvas = 20;
constexpr int msoDiagram = 21;
constexpr int msoInk = 22;
constexpr int msoInkComment = 23;
constexpr int msoSmartArt = 24;
constexpr int msoContentApp = 27;
constexpr int msoGraphic = 28;
constexpr int msoLinkedGraphic = 29;
constexpr int mso3DModel = 30;

// PpPlaceholderType
constexpr int ppPlaceholderMixed = -2;
constexpr int ppPlaceholderTitle = 1;
constexpr int ppPlaceholderBody = 2;
constexpr int ppPlaceholderCenterTitle = 3;
constexpr int ppPlaceholderSubtitle = 4;
constexpr int ppPlaceholderVerticalTitle = 5;
constexpr int ppPlaceholderVerticalBody = 6;
constexpr int ppPlaceholderObject = 7;
constexpr int ppPlaceholderChart = 8;
constexpr int ppPlaceholderBitmap = 9;
constexpr int ppPlaceholderMediaClip = 10;
constexpr int ppPlaceholderOrgChart = 11;
constexpr int ppPlaceholderTable = 12;
constexpr int ppPlaceholderSlideNumber = 13;
constexpr int ppPlaceholderHeader = 14;
constexpr int ppPlaceholderFooter = 15;
constexpr int ppPlaceholderDate = 16;
constexpr int ppPlaceholderVerticalObject = 17;
constexpr int ppPlaceholderPicture = 18;

// PpViewType
constexpr int ppViewSlide = 1;
constexpr int ppViewSlideMaster = 2;
constexpr int ppViewNotesPage = 3;
constexpr int ppViewHandoutMaster = 4;
constexpr int ppViewNotesMaster = 5;
constexpr int ppViewOutline = 6;
constexpr int ppViewSlideSorter = 7;
constexpr int ppViewTitleMaster = 8;
constexpr int ppViewNormal = 9;
constexpr int ppViewPrintPreview = 10;
constexpr int ppViewThumbnails = 11;
constexpr int ppViewMasterThumbnails = 12;

// PpSelectionType
constexpr int ppSelectionNone = 0;
constexpr int ppSelectionSlides = 1;
constexpr int ppSelectionShapes = 2;
constexpr int ppSelectionText = 3;

// PpWindowState
constexpr int ppWindowNormal = 1;
constexpr int ppWindowMinimized = 2;
constexpr int ppWindowMaximized = 3;

// PpArrangeStyle
constexpr int ppArrangeTiled = 1;
constexpr int ppArrangeCascade = 2;

// PpAutoSize
constexpr int ppAutoSizeMixed = -2;
constexpr int ppAutoSizeNone = 0;
constexpr int ppAutoSizeShapeToFitText = 1;
// MsoAutoSize (TextFrame2)
constexpr int msoAutoSizeNone = 0;
constexpr int msoAutoSizeShapeToFitText = 1;
constexpr int msoAutoSizeTextToFitShape = 2;

// MsoTextOrientation
constexpr int msoTextOrientationHorizontal = 1;
constexpr int msoTextOrientationUpward = 2;
constexpr int msoTextOrientationDownward = 3;
constexpr int msoTextOrientationVerticalFarEast = 4;
constexpr int msoTextOrientationVertical = 5;
constexpr int msoTextOrientationHorizontalRotatedFarEast = 6;

// MsoVerticalAnchor
constexpr int msoAnchorTop = 1;
constexpr int msoAnchorTopBaseline = 2;
constexpr int msoAnchorMiddle = 3;
constexpr int msoAnchorBottom = 4;
constexpr int msoAnchorBottomBaseLine = 5;

// PpSaveAsFileType (the two the run uses, the other package kinds, the default)
constexpr int ppSaveAsPresentation = 1;
constexpr int ppSaveAsOpenXMLPresentation = 24;
constexpr int ppSaveAsOpenXMLPresentationMacroEnabled = 25;
constexpr int ppSaveAsOpenXMLTemplate = 26;
constexpr int ppSaveAsOpenXMLTemplateMacroEnabled = 27;
constexpr int ppSaveAsOpenXMLShow = 28;
constexpr int ppSaveAsDefault = 11;

// MsoColorType
constexpr int msoColorTypeMixed = -2;
constexpr int msoColorTypeRGB = 1;
constexpr int msoColorTypeScheme = 2;

// MsoControlType
constexpr int msoControlCustom = 0;
constexpr int msoControlButton = 1;
constexpr int msoControlEdit = 2;
constexpr int msoControlDropdown = 3;
constexpr int msoControlComboBox = 4;
constexpr int msoControlPopup = 10;

// MsoButtonStyle
constexpr int msoButtonAutomatic = 0;
constexpr int msoButtonIcon = 1;
constexpr int msoButtonCaption = 2;
constexpr int msoButtonIconAndCaption = 3;

// MsoButtonState
constexpr int msoButtonUp = 0;
constexpr int msoButtonDown = -1;
constexpr int msoButtonMixed = 2;

// MsoBarPosition
constexpr int msoBarLeft = 0;
constexpr int msoBarTop = 1;
constexpr int msoBarRight = 2;
constexpr int msoBarBottom = 3;
constexpr int msoBarFloating = 4;
constexpr int msoBarPopup = 5;
constexpr int msoBarMenuBar = 6;

// MsoBarType
constexpr int msoBarTypeNormal = 0;
constexpr int msoBarTypeMenuBar = 1;
constexpr int msoBarTypePopup = 2;

// MsoControlOLEUsage
constexpr int msoControlOLEUsageNeither = 0;
constexpr int msoControlOLEUsageServer = 1;
constexpr int msoControlOLEUsageClient = 2;
constexpr int msoControlOLEUsageBoth = 3;

// Points per EMU: the package stores lengths in English metric units.
constexpr double kEmuPerPoint = 12700.0;

}  // namespace host
