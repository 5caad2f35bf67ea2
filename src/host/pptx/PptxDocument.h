// The open presentation behind the pptx host, and the seam where the text
// model plugs in. Shapes, tables, groups and windows are built here; text
// ranges, fonts, comments, notes pages and SmartArt text are built by the
// functions declared at the end, which the text side implements over the
// same package.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "src/host/Host.h"
#include "src/host/pptx/KeptAt.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/host/pptx/Vocabulary.h"

namespace host::pptx {

class AppState;
struct TextBodyCache;
struct SmartArtIndex;

struct ThemeFonts {
  std::string majorLatin, majorEastAsian, majorComplex;
  std::string minorLatin, minorEastAsian, minorComplex;
};

// A master's theme as text reads it: the theme fonts, and the theme colours
// by scheme name after the master's colour map ("accent1", "tx1", "bg1",
// "dk1"... as 0xRRGGBB).
struct ThemeValues {
  ThemeFonts fonts;
  std::map<std::string, std::uint32_t> colors;
};

struct SlideInfo {
  int id = 0;             // p:sldId/@id
  std::string relId;      // r:id in presentation.xml
  std::string part;       // "ppt/slides/slide3.xml"
};

// One presentation's package and what the model needs from it.
class Document : public std::enable_shared_from_this<Document> {
 public:
  // Throws PackageError for a file that is not a presentation package.
  static std::shared_ptr<Document> Open(const std::filesystem::path& file, const PackageLimits& limits = {});
  // A blank presentation (one master and layout, no slides), not yet saved anywhere.
  static std::shared_ptr<Document> CreateEmpty();

  Package& Pkg() { return *mPackage; }
  const std::string& PresentationPart() const { return mPresentationPart; }
  // Throws E_FAIL ("presentation is closed") after Close(), and
  // kWrongThread on a thread other than the one that opened it.
  void CheckOpen() const;
  bool Closed() const { return mClosed; }
  // Work still waiting goes unseen once the presentation is closed; dropping
  // it also frees the handles it holds, which refer back to the document.
  void SetClosed() {
    mClosed = true;
    mDeferred.clear();
    mDeferredBody = nullptr;
    mTextCache.reset();
  }

  const std::vector<SlideInfo>& SlideList() const { return mSlides; }
  // 1-based index of the slide with this id; 0 when gone.
  int SlideIndexOf(int slideId) const;
  const SlideInfo* SlideById(int slideId) const;

  float SlideWidth() const { return mSlideWidth; }
  float SlideHeight() const { return mSlideHeight; }

  // Layout of a slide, master of a layout (empty when missing). The names
  // are the ones Linked keeps: they stand until the package's links change.
  const std::string& LayoutOf(const std::string& slidePart);
  const std::string& MasterOf(const std::string& layoutPart);
  const std::string& ThemeOf(const std::string& masterPart);
  // The part one relationship of `part` leads to (a slide's layout, a
  // layout's master, a master's theme, a page's notes master, the
  // presentation's table styles); empty when there is none or it is
  // missing. Kept while the package's links stand.
  enum class Link { Layout, Master, Theme, NotesMaster, TableStyles };
  const std::string& Linked(const std::string& part, Link link);
  ThemeFonts Fonts(const std::string& masterPart) { return Theme(masterPart).fonts; }
  // Worked out once per master and kept while the package's links, the
  // master and its theme stay as they were. A damaged colour scheme or map
  // only costs the colours.
  const ThemeValues& Theme(const std::string& masterPart);
  // The placeholder shape (p:sp) in a layout or master that a slide
  // placeholder with this type and idx inherits from; empty when none.
  pugi::xml_node FindPlaceholder(const std::string& part, const std::string& type, const std::string& idx);

  void MarkDirty(const std::string& part) { mPackage->MarkDirty(part); mChanged = true; }
  bool Changed() const { return mChanged || mPackage->Modified(); }
  void ResetChanged() {
    mChanged = false;
    mPackage->ResetModified();
  }
  void SetChanged() { mChanged = true; }

  // Counts element removals per part. Handles on elements of a part that
  // lost elements since they were made are refused instead of followed into
  // freed memory.
  int Deletions(const std::string& part) const {
    auto it = mDeletions.find(part);
    return it == mDeletions.end() ? 0 : it->second;
  }
  void NoteDeletion(const std::string& part) { ++mDeletions[part]; }
  // Whether any part has lost elements: until one has, every handle stands.
  bool AnyDeletions() const { return !mDeletions.empty(); }
  // Counts shapes added to a part's tree; with the deletions it tells when
  // the part's list of shapes must be read again.
  int Additions(const std::string& part) const {
    auto it = mAdditions.find(part);
    return it == mAdditions.end() ? 0 : it->second;
  }
  void NoteAddition(const std::string& part) { ++mAdditions[part]; }
  // The shapes of a part's tree in order, as the shape side last read them:
  // a collection asked for its count and then for every item would read
  // the whole tree at each call. A part's tree is replaced, and shapes come
  // and go, only by an edit: the list is looked at again only when the
  // document's count moved, and read again only when its tree was replaced
  // or shapes came or went, which most edits (of text) leave alone.
  struct ShapeIndex {
    std::tuple<const void*, int, int> read{nullptr, -1, -1};  // the tree, its deletions and additions
    std::vector<pugi::xml_node> shapes;
    KeptAt<const std::vector<pugi::xml_node>*> current;
  };
  ShapeIndex& ShapeIndexOf(const std::string& part) { return mShapeIndexes[part]; }
  // The items of a SmartArt frame as the shape side last listed them, by
  // the frame's element: listing them reads the drawing, the data model and
  // every item's text, and each pass over a slide asks for them again.
  struct GraphicItems {
    std::string part;     // the drawing or the data model that holds them
    bool points = false;  // data points, where a drawing shows no text
    std::vector<pugi::xml_node> nodes;
  };
  KeptAt<GraphicItems>& GraphicItemsOf(pugi::xml_node frame) { return mGraphicItems[frame.internal_object()]; }
  // The layout and master placeholders a slide placeholder inherits from,
  // by its element, as the shape side last found them: each property read
  // through the chain asks again.
  using Inherited = std::vector<std::pair<std::string, pugi::xml_node>>;
  KeptAt<Inherited>& InheritedOf(pugi::xml_node shape) { return mInherits[shape.internal_object()]; }
  // The blank notes page that slides without one are read from, built for
  // this document's size and class and shared by every such slide.
  KeptAt<std::shared_ptr<Document>>& NotesStage() { return mNotesStage; }
  // The rows, grid columns and cells of a table as the table side last read
  // them: a walk over every cell would read the whole table at each one.
  // This host never adds or removes rows or cells, so a table's nodes stand
  // until the part loses elements.
  struct TableIndex {
    std::string part;
    int deletions = -1;
    std::vector<pugi::xml_node> rows, columns;
    std::vector<std::vector<pugi::xml_node>> cells;
  };
  TableIndex& TableIndexOf(pugi::xml_node tbl) { return mTableIndexes[tbl.internal_object()]; }

  // Work an edit of a text body makes necessary (refitting its text to the
  // frame, keeping a SmartArt model in step with its drawing) waits until
  // something could tell the difference: another body is touched, a size
  // or body setting changes, a layout is read, a shape goes, the package is
  // saved. A body edited piece by piece then costs one refit and one sync
  // instead of one per piece, with the same result. `body` is the element
  // that holds the text body (the shape, cell or data point); a later job
  // of the same kind for it replaces the earlier one.
  enum class Deferred { Refit, Sync };
  void Defer(const void* body, Deferred kind, std::function<void()> work) {
    SettleUnless(body);
    mDeferredBody = body;
    mDeferred[kind] = std::move(work);
  }
  // Done before anything touches a body other than the one with work waiting.
  void SettleUnless(const void* body) {
    if (!mDeferred.empty() && body != mDeferredBody) Settle();
  }
  void Settle() {
    while (!mDeferred.empty()) {
      auto work = std::move(mDeferred.begin()->second);
      mDeferred.erase(mDeferred.begin());
      if (mDeferred.empty()) mDeferredBody = nullptr;
      ++mSettled;
      work();
    }
  }
  // Only the waiting work of one kind: a layout needs the fitted font scale
  // but not the SmartArt model kept in step, which can wait for the last
  // of many size changes.
  void Settle(Deferred kind) {
    auto it = mDeferred.find(kind);
    if (it == mDeferred.end()) return;
    auto work = std::move(it->second);
    mDeferred.erase(it);
    if (mDeferred.empty()) mDeferredBody = nullptr;
    ++mSettled;
    work();
  }

  // Changes to the document so far: the package's edits and the deferred
  // jobs run (a refit changes a body without marking its part again). What
  // the text side works out from a body holds while this stays the same.
  std::uint64_t Edits() const { return mPackage->Edits() + mSettled; }
  std::uint64_t SettledJobs() const { return mSettled; }
  // The text side's cache of the bodies it worked on last; it lives and
  // dies with the document.
  std::shared_ptr<TextBodyCache>& TextCache() { return mTextCache; }
  // The SmartArt side's index of drawings and data models; it lives and
  // dies with the document.
  std::shared_ptr<SmartArtIndex>& SmartArt() { return mSmartArt; }

  std::weak_ptr<AppState> App;

 private:
  Document() = default;
  void Load();
  pugi::xml_node ScanPlaceholder(const std::string& part, const std::string& type, const std::string& idx);
  std::unique_ptr<Package> mPackage;
  std::string mPresentationPart;
  std::vector<SlideInfo> mSlides;
  float mSlideWidth = 720.f;
  float mSlideHeight = 540.f;
  bool mClosed = false;
  bool mChanged = false;
  std::thread::id mThread = std::this_thread::get_id();
  std::map<std::string, int> mDeletions;
  std::map<std::string, int> mAdditions;
  std::map<std::string, ShapeIndex> mShapeIndexes;
  std::map<const void*, KeptAt<GraphicItems>> mGraphicItems;
  std::map<const void*, KeptAt<Inherited>> mInherits;
  KeptAt<std::shared_ptr<Document>> mNotesStage;
  std::map<const void*, TableIndex> mTableIndexes;
  const void* mDeferredBody = nullptr;
  std::map<Deferred, std::function<void()>> mDeferred;
  std::uint64_t mSettled = 0;
  std::shared_ptr<TextBodyCache> mTextCache;
  std::shared_ptr<SmartArtIndex> mSmartArt;
  // By part, type and idx; looked up without building a key.
  std::map<std::tuple<std::string, std::string, std::string>, std::pair<std::uint64_t, pugi::xml_node>, std::less<>>
      mPlaceholders;
  struct KeptTheme {
    std::uint64_t links = 0, masterVersion = 0, themeVersion = 0;
    std::string theme;
    ThemeValues values;
  };
  std::map<std::string, KeptTheme> mThemes;  // by master
  struct KeptLinks {
    std::uint64_t links = ~std::uint64_t{0};
    std::unordered_map<std::string, std::array<std::optional<std::string>, 5>> byPart;  // by source part, then Link
  };
  KeptLinks mLinks;
};

// A slide (or notes page) part as the text side sees it.
struct SlideRef {
  std::shared_ptr<Document> doc;
  int slideId = 0;          // the slide's id (for a notes page, its slide's)
  std::string part;         // the slide part, or the notes part
  bool notes = false;
};

enum class TextBodyKind { Shape, TableCell, SmartArtDrawing };

struct TextFrameGeometry {
  float width = 0, height = 0;  // of the shape, points
  float insetLeft = 7.2f, insetRight = 7.2f, insetTop = 3.6f, insetBottom = 3.6f;
  bool wrap = true;
  bool vertical = false;
  bool operator==(const TextFrameGeometry&) const = default;
};

// Where a text body lives. Implemented by the shape side for every shape,
// table cell and SmartArt drawn shape that can hold text.
class TextBodyOwner {
 public:
  virtual ~TextBodyOwner() = default;
  virtual std::shared_ptr<Document> Doc() = 0;
  // Part that holds the body.
  virtual const std::string& Part() = 0;
  virtual TextBodyKind Kind() = 0;
  // p:txBody (a:txBody in a table cell, dsp:txBody in a SmartArt drawing).
  // With create, a shape without a body gets one (a:bodyPr, a:lstStyle, one
  // empty a:p) so that text can be written into it.
  virtual pugi::xml_node Body(bool create) = 0;
  // Must be called after every change of the body: marks the part dirty
  // and, for SmartArt, keeps the data model in step.
  virtual void Changed() = 0;
  // List styles below the body's own a:lstStyle, nearest first: the layout
  // and master placeholder's a:lstStyle, the master's p:titleStyle,
  // p:bodyStyle or p:otherStyle, the presentation's p:defaultTextStyle.
  // Each holds a:lvl1pPr .. a:lvl9pPr children.
  virtual std::vector<pugi::xml_node> InheritedStyles() = 0;
  // Whether a paragraph's own a:pPr/a:defRPr gives its runs' defaults (in
  // charts).
  virtual bool ParagraphDefaults() { return false; }
  // A table cell's text takes what its table style's parts say of bold and
  // italic (a:tcTxStyle), nearest first, below its own list style.
  virtual std::vector<pugi::xml_node> TableTextStyles() { return {}; }
  virtual ThemeFonts Fonts() = 0;
  // What of the body's own part the three above depend on (the placeholder
  // it fills, a cell's table style and place), as a value: bodies of one
  // page with equal keys inherit the same while the links and the parts
  // they inherit from stand. None when they are worked out at every use.
  virtual std::optional<std::string> StyleKey() { return std::nullopt; }
  virtual TextFrameGeometry Frame() = 0;
  // Makes characters [start, start + length) of this text the selection of
  // the window showing the slide (start 1-based).
  virtual void SelectText(int start, int length) = 0;
  // The slide or notes page the body is on.
  virtual SlideRef Slide() = 0;
};

// Implemented by the text side.
Ptr<host::TextRange> MakeTextRange(const std::shared_ptr<TextBodyOwner>& owner);
Ptr<host::TextRange2> MakeTextRange2(const std::shared_ptr<TextBodyOwner>& owner);
// The text as the models read it (paragraphs joined by "\r", "\v" for
// breaks, fields as their text).
std::wstring BodyText(pugi::xml_node body);
Ptr<host::Comments> MakeSlideComments(const SlideRef& slide);
// The notes page of a slide (created in the package only when written to).
Ptr<host::Slide> MakeNotesPage(const SlideRef& slide);
// A drawn SmartArt shape's text changed: carry it into the data model.
void SmartArtDrawingChanged(Document& doc, const std::string& drawingPart, pugi::xml_node drawnShape);

// Implemented by the shape side, for notes pages: the shapes of a part's
// p:spTree as a Shapes collection.
Ptr<host::Shapes> MakeShapes(const SlideRef& slide);

}  // namespace host::pptx
