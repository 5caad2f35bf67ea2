// A translation run over a PowerPoint presentation: the run record, the
// slide and shape walk, shape text, tables, comments and WordArt.
//
// Three presentations take part: OrigPresen (what the user started from),
// WorkPresen (a hidden copy every source text is read from) and TranPresen
// (what receives the translation: OrigPresen itself when the original is
// overwritten, else a second copy in a window of its own). Source shape i of
// a range in WorkPresen is the same shape as target shape i in TranPresen,
// because both copies were made at the same moment.
//
// Everything here runs on the user-interface thread. The only state shared
// with other threads is AppCommon's cancel flag (set by the progress
// dialog's thread and the facade's watchdog).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "src/dialogs/CDialogProgress.h"
#include "src/engine/Engine.h"
#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"

namespace engine {
class AppCommon;
}

namespace powerpoint {

// The state of one run, created by the run body and released when it returns.
struct PPTTranProp {
  host::Ptr<host::Presentation> OrigPresen;
  host::Ptr<host::Presentation> WorkPresen;
  host::Ptr<host::Presentation> TranPresen;
  options::TranslationOptionUDT TranOption;
  options::TranslatedParts Parts;
  host::Ptr<host::Application> Application;
  std::int32_t OwnsOrigPresen = 1;
  std::int32_t OwnsWorkPresen = 1;
  std::int32_t OwnsTranPresen = 1;
  std::int32_t WindowViewType = 9;
  std::int32_t PaneViewType = 9;
  std::int32_t SelectionType = 0;  // 0 none, 1 slides, 2 shapes, 3 text
  std::int64_t ProgressTarget = 0;
  std::vector<std::wstring> SlideNames;
  // The selected shapes by id: names repeat on a slide once shapes are
  // copied and pasted, ids do not, and the copies keep them.
  std::vector<std::int32_t> ShapeIds;
  std::int32_t SelectedTextStart = 0;  // 1-based
  std::int32_t SelectedTextSize = 0;
  // The table cell the selected text is in (1-based); 0 when it is not in a table.
  std::int32_t SelectedCellRow = 0;
  std::int32_t SelectedCellColumn = 0;
  host::Ptr<host::SlideRange> OrigSlideRange;
  host::Ptr<host::SlideRange> TranSlideRange;
  std::int32_t TranslationSlideShapeCount = 0;
  std::int32_t CurrentTranslationSlideShapeNum = 0;
  std::int32_t CloseTranslationPresenWindow = 1;
  host::Ptr<host::ShapeRange> SelectTranslateShapeRange;
};

// Where the walk is: the slide (its number in the deck), whether on its
// notes page, and the top-level shape at hand. slide 0: nowhere yet.
struct RunPlace {
  std::int32_t slide = 0;
  bool notes = false;
  std::wstring shape;
};
// The place as the log and the summary name it ("slide 3, shape "Title 1"");
// empty for nowhere.
std::wstring DescribePlace(const RunPlace& where);

// One message the run reported; category is the id's thousands digit.
// where says at which shape a walk stopped, when it was one.
struct RunError {
  std::int32_t id = 0;
  std::wstring text;
  std::int32_t category = 0;
  RunPlace where{};
};
using RunErrors = std::vector<RunError>;

// What the run did, for the summary the command line prints at the end.
struct RunStatistics {
  int slides = 0;              // slides walked (notes pages not counted again)
  int shapes = 0;              // top-level shapes handed to a handler
  int segmentsTranslated = 0;  // segments written into the target
  int comments = 0;            // comments and replies translated
  // Segments (or comments, WordArt texts) left as they were, by reason:
  // "engine failed", "cancelled", "empty translation" ...
  std::map<std::wstring, int> segmentsLeft;
  // Shapes whose text is still larger than its box after fitting.
  struct Overflow {
    RunPlace where{};  // shape: the shape's name, inside its group's
    float over = 0;  // points, the larger of height and width
  };
  std::vector<Overflow> overflowing;
};

// How far a slide walk announces the texts of the pages ahead to the
// engine: past the page at hand it announces pages while fewer than `wanted`
// texts are outstanding, never more than `most` (a page longer than that is
// announced only in part) and at most `pages` pages past it. Farther keeps
// the engine's stages fuller between two pages; the bound keeps what a
// cancel throws away small.
struct AheadBounds {
  size_t wanted = 512;
  size_t most = 2048;
  int pages = 16;
};

class RunCaller;

// The pair every routine of the run receives, plus what they all need.
struct RunContext {
  PPTTranProp& prop;
  RunErrors& errors;
  RunStatistics& stats;
  engine::AppCommon& app;

  const options::TranslationOptionUDT& Options() const { return prop.TranOption; }
  // The integer part of Application.Version, read at every call (0 when it
  // cannot be read).
  int Version() const;
  bool IsCancelled() const;
  // The facade's third switch: the translation window follows the walk.
  bool Follows() const { return prop.TranOption.DisplaysDocument == 1; }
  // The facade's first switch: progress goes to the add-in's progress dialog.
  bool ShowsProgressDialog() const { return prop.TranOption.DisplaysProgressBar == 1; }
  // Keeps the progress dialog and the host responsive.
  void DrainMessages() const;
  // Logs the message at the error level, appends it to errors and to the
  // process's ErrorList, and shows it at once. A walk that stops names the
  // place, so that the user knows where the translation ends.
  // A second paragraph, when given, goes under the message's own text.
  void ReportRunError(int messageId, const RunPlace& where = {}, const std::wstring& detail = {});

  // Set by the walk as it goes.
  RunPlace place{};

  // The slide walk announces the texts of the pages it is about to
  // translate; ranges then leave announcing to it.
  bool walkAnnounces = false;
  AheadBounds ahead{};
  // The facade that started the run, which takes its progress when the
  // dialog is off; null for a run body called directly.
  RunCaller* caller = nullptr;
};

// Shape text, tables, comments and WordArt (ShapeText.cpp, SlideContent.cpp).
// Each returns false on failure; object-model failures throw ComError.
//
// Translates the text of source (read) into target (written). With
// useSelection only characters SelectedTextStart .. +SelectedTextSize-1;
// with paragraphMode paragraph by paragraph.
bool TranslateShapeTextRange(RunContext& ctx, const host::Ptr<host::Shape>& source,
                             const host::Ptr<host::Shape>& target, bool useSelection, bool paragraphMode);
// The segments TranslateShapeTextRange (without a selection) will cut the
// text of source into, in the order it will ask for them; read only.
// False when a text cannot be split.
bool CollectShapeTexts(RunContext& ctx, const host::Ptr<host::Shape>& source, bool paragraphMode,
                       std::vector<engine::TranslationSegment>* segments);
// Shrinks the target's font sizes in whole points until its text fits,
// never below one point. It does not fail the run: a shape it cannot work
// on keeps the text as written, and one still too large at the smallest
// sizes is listed in stats.overflowing. False only without both shapes.
bool FitTextToShape(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target);
bool TranslateShape_Table(RunContext& ctx, const host::Ptr<host::Shape>& source,
                          const host::Ptr<host::Shape>& target);
bool TranslateSlideComment(RunContext& ctx, const host::Ptr<host::Comments>& source,
                           const host::Ptr<host::Comments>& target);
// text is the caller's scratch pair (source, translation); skip is set to 1
// on entry and cleared when the shape was translated.
bool TranslateShape_WordArt(RunContext& ctx, const host::Ptr<host::Shape>& source,
                            const host::Ptr<host::Shape>& target, std::pair<std::wstring, std::wstring>& text,
                            int& skip);

// What the last run did; kept by the process object after the run returns.
struct RunOutcome {
  bool success = false;
  bool cancelled = false;
  host::Ptr<host::Presentation> translation;  // TranPresen after the run (null when closed/none)
  std::wstring translationCopyPath;           // the run's temporary file behind `translation`, if any
  RunStatistics stats;
  RunErrors errors;
  double seconds = 0;  // wall time of the run body
};

// What a run needs from the command facade that started it.
class RunCaller {
 public:
  virtual ~RunCaller() = default;
  virtual host::Ptr<host::Application> GetApplication() = 0;
  // Progress when the progress dialog is off.
  virtual void NotifyProgress(std::int64_t current, std::int64_t total) = 0;
  // The time-out watchdog: raises the run's cancel flag after milliseconds.
  virtual void StartTimeOut(std::int32_t milliseconds) = 0;
  virtual void StopTimeOut() = 0;
  // True when the time of the last StartTimeOut ran out (the cancel flag
  // was the watchdog's, not the user's).
  virtual bool TimedOut() const { return false; }
  // The texts beyond the slides' own that the command's option set asks for.
  virtual options::TranslatedParts PartsToTranslate() const { return {}; }
};

class PowerPointTranslationProcess {
 public:
  static PowerPointTranslationProcess& Instance();

  PowerPointTranslationProcess();
  PowerPointTranslationProcess(const PowerPointTranslationProcess&) = delete;
  PowerPointTranslationProcess& operator=(const PowerPointTranslationProcess&) = delete;

  // Makes the progress dialog's view (terminal view on Linux); empty: runs
  // show no dialog even with the progress-dialog switch on.
  void SetProgressViewFactory(dialogs::ProgressViewFactory factory);
  const dialogs::ProgressViewFactory& ProgressViewFactory() const;
  const RunOutcome& LastRun() const;
  // Deletes the closed temporary copies and drops every host object the
  // process keeps: at disconnection the add-in may keep no reference into
  // the host.
  void ReleaseHostObjects();
  // Deletes temporary copy files of earlier runs that are no longer open.
  void DeleteTemporaryCopies();
  // Where the temporary copies go (the user's temporary folder unless set;
  // tests point it at a folder of their own). Ends with a separator.
  void SetTemporaryFolder(std::wstring folder);
  // How far the walk works ahead (tests narrow it).
  void SetAheadBounds(AheadBounds bounds);

  // Entry points of the facade's three translating commands. Each returns
  // the run's success; nothing escapes them. A cancelled run succeeds. An
  // embedded presentation gives message 2004 through the ErrorList and no
  // run.
  bool TranslateAll(RunCaller& caller, std::int64_t progressTarget, const options::TranslationOptionUDT& record);
  bool TranslateCurrentSlide(RunCaller& caller, std::int64_t progressTarget,
                             const options::TranslationOptionUDT& record);
  bool TranslateSelection(RunCaller& caller, std::int64_t progressTarget,
                          const options::TranslationOptionUDT& record);

  // The run body: a run over the given presentations (null ones are found
  // or made by the run itself; given ones are not closed). The host
  // application is the one the entry point was called with.
  // record.TranslationRange chooses the range. The outcome is LastRun().
  bool RunTranslation(const options::TranslationOptionUDT& record, host::Ptr<host::Presentation> orig,
                      host::Ptr<host::Presentation> work, host::Ptr<host::Presentation> tran);

 private:
  bool Enter(RunCaller& caller, std::int64_t progressTarget, const options::TranslationOptionUDT& record,
             std::int32_t range, const wchar_t* source);

  struct Impl;
  std::unique_ptr<Impl> mImpl;

 public:
  ~PowerPointTranslationProcess();
};

// The walk (PowerPointWalk.cpp).
bool TranslateSlideRange(RunContext& ctx);
bool TranslateSelectionRange(RunContext& ctx);
// Counts the top-level shapes of the slide range and its notes pages into
// TranslationSlideShapeCount.
bool CountTranslationSlideShapes(RunContext& ctx);
bool TranslateSlideShape(RunContext& ctx, const host::Ptr<host::ShapeRange>& source,
                         const host::Ptr<host::ShapeRange>& target);

}  // namespace powerpoint
