// The translation run: entry points, the run body and its steps from the
// first checks to the finished view.
#include "resources/MessageIds.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"

#include <chrono>
#include <exception>
#include <optional>
#include <string>

#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/powerpoint/HostMacros.h"
#include "src/powerpoint/PowerPointTranslationUtil.h"
#include "src/powerpoint/PowerPointWalk.h"
#include "src/powerpoint/RunProgress.h"
#include "src/powerpoint/RunText.h"
#include "src/powerpoint/TemporaryCopies.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace powerpoint {

namespace msg = resources::msg;

namespace {

constexpr const wchar_t* kMainSource = L"PowerPointTranslationProcess::MainTranslationProcess";

// Messages of the run.

bool RefusesEditing(const host::Ptr<host::Presentation>& p) {
  try {
    p->SetSaved(p->Saved());
    return false;
  } catch (const platform::ComError&) {
    return true;
  }
}

const wchar_t* NullText(bool isNull) { return isNull ? L" is NULL" : L" is not NULL"; }

// One run from the first check to the released record. Every exit after a
// copy was opened goes through Finish, which closes what the run owns.
class Run {
 public:
  Run(RunContext& ctx, const dialogs::ProgressViewFactory& viewFactory, const std::wstring& tempFolder)
      : mCtx(ctx), mProp(ctx.prop), mViewFactory(viewFactory), mTempFolder(tempFolder) {}

  bool Main();

  // What outlives the run: a translation copy still open.
  std::wstring tranCopyPath;
  bool tranClosed = false;

 private:
  bool Fail(int messageId) {
    mCtx.ReportRunError(messageId);
    return false;
  }
  // The steps of Main, in order; each returns the run's result when the run
  // ends with it, nothing when the next step follows.
  using Step = std::optional<bool> (Run::*)();
  std::optional<bool> Guarded(const wchar_t* what, int failure, Step step);
  std::optional<bool> FindPresentation();
  std::optional<bool> KeepView();
  std::optional<bool> KeepUntitled();
  std::optional<bool> CollectSlides();
  std::optional<bool> LoadEngineAhead();
  std::optional<bool> OpenCopies();
  std::optional<bool> ActivateTranslation();
  std::optional<bool> OpenTranslationEngine();
  std::optional<bool> TranslateAndClose();
  bool CheckPresentations();
  bool RecordView();
  bool CheckView();
  bool OpenDialog();
  bool CollectSlideInformation();
  bool MakeCopies();
  bool MakeCopy(bool withWindow, host::Ptr<host::Presentation>* copy, std::wstring* path);
  bool BuildSlideRanges();
  bool Translation();
  void Dump();
  void CloseWorkCopy(bool reportFailure);
  // A run cancelled before its walk began: the copy made for the
  // translation holds nothing translated and goes again. Returns true, as
  // a cancelled run is no failure.
  bool CancelledBeforeWalk();
  void FinishView();
  void CloseDialog();

  RunContext& mCtx;
  PPTTranProp& mProp;
  const dialogs::ProgressViewFactory& mViewFactory;
  std::wstring mTempFolder;
  bool mDialogOpen = false;
  std::wstring mWorkCopyPath;
  bool mWorkOpen = false;
  host::Ptr<host::DocumentWindow> mWindow;  // the one the command was started from
};

bool Run::CheckPresentations() {
  host::Ptr<host::Application>& app = mProp.Application;
  if (app->Presentations()->Count() < 1) return Fail(msg::kNothingToTranslate);
  if (app->SlideShowWindows()->Count() >= 1) return Fail(msg::kSlideShowRunning);
  const int version = mCtx.Version();
  const host::Ptr<host::Presentation> all[] = {mProp.OrigPresen, mProp.WorkPresen, mProp.TranPresen};
  if (version >= 12) {
    for (const auto& p : all) {
      if (p && p->Final()) return Fail(msg::kMarkedFinal);
    }
  }
  if (version >= 10) {
    for (const auto& p : all) {
      if (p && RefusesEditing(p)) return Fail(msg::kLocked);
    }
  }
  if (mProp.OrigPresen->Slides()->Count() < 1) return Fail(msg::kNothingToTranslate);
  return true;
}

bool Run::RecordView() {
  host::Ptr<host::DocumentWindows> windows = mProp.Application->Windows();
  if (windows->Count() < 1) return true;  // the view check reports it
  // The window the command was started from; after a run into a new window
  // that is often not the first one.
  mWindow = mProp.Application->ActiveWindow();
  host::Ptr<host::DocumentWindow>& window = mWindow;
  mProp.WindowViewType = window->ViewType();
  mProp.PaneViewType = window->ActivePane()->ViewType();
  host::Ptr<host::Selection> selection = window->Selection();
  mProp.SelectionType = selection->Type();
  if (mCtx.Version() >= 12 && mProp.WindowViewType == host::ppViewNormal &&
      (mProp.PaneViewType == host::ppViewNotesPage || mProp.PaneViewType == host::ppViewOutline) &&
      mProp.SelectionType == host::ppSelectionNone) {
    // The notes and outline panes report a caret in them as no selection.
    try {
      if (selection->SlideRange()->Count() >= 2 || selection->TextRange()->Length() != 0) {
        mProp.SelectionType = host::ppSelectionText;
      }
    } catch (const platform::ComError&) {
    }
  }
  return true;
}

bool Run::CheckView() {
  host::Ptr<host::DocumentWindows> windows = mProp.Application->Windows();
  if (windows->Count() < 1) return Fail(msg::kPreparationFailed);
  switch (mProp.WindowViewType) {
    case host::ppViewSlideMaster:
    case host::ppViewHandoutMaster:
    case host::ppViewNotesMaster:
    case host::ppViewTitleMaster:
    case host::ppViewPrintPreview:
    case host::ppViewMasterThumbnails:
      return Fail(msg::kBadView);
    default:
      break;
  }
  if (mProp.TranOption.TranslationRange != 2) return true;
  host::Ptr<host::Selection> selection = mWindow->Selection();
  if (mProp.SelectionType == host::ppSelectionNone) return Fail(msg::kSelectSomething);
  if (mProp.SelectionType == host::ppSelectionShapes && selection->ShapeRange()->Count() < 1) {
    return Fail(msg::kSelectSomething);
  }
  if (mProp.SelectionType == host::ppSelectionText && mProp.WindowViewType == host::ppViewNormal &&
      (mProp.PaneViewType == host::ppViewSlide || mProp.PaneViewType == host::ppViewNotesPage ||
       mProp.PaneViewType == host::ppViewOutline)) {
    bool empty = false;
    try {
      empty = selection->SlideRange()->Count() == 1 && selection->TextRange()->Length() == 0;
    } catch (const platform::ComError&) {
      empty = true;
    }
    if (empty) return Fail(msg::kSelectSomething);
  }
  return true;
}

bool Run::OpenDialog() {
  if (!mCtx.ShowsProgressDialog() || !mViewFactory) return true;
  if (!dialogs::OpenProgressDialog(mViewFactory)) return Fail(msg::kThreadFailed);
  mDialogOpen = true;
  if (dialogs::CDialogProgress* dialog = dialogs::CurrentProgressDialog()) {
    dialog->SetMessages(msg::kPreparing, 0);
    dialog->View().Show();
    dialog->View().BringToTop();
    dialog->View().Repaint();
  }
  return true;
}

void Run::CloseDialog() {
  if (!mDialogOpen) return;
  dialogs::CloseProgressDialog();
  mDialogOpen = false;
}

bool Run::CollectSlideInformation() {
  const int range = mProp.TranOption.TranslationRange;
  if (range != 1 && range != 2) return true;
  host::Ptr<host::DocumentWindow>& window = mWindow;
  if (mProp.PaneViewType == host::ppViewThumbnails && mProp.SelectionType == host::ppSelectionNone) {
    window->Panes()->Item(2)->Activate();
    mProp.SlideNames.push_back(window->View()->Slide()->Name());
  } else {
    host::Ptr<host::SlideRange> slides = window->Selection()->SlideRange();
    const int count = slides->Count();
    for (int i = 1; i <= count; ++i) mProp.SlideNames.push_back(slides->Item(i)->Name());
  }
  if (range != 2) return true;
  host::Ptr<host::Selection> selection = window->Selection();
  if (mProp.SelectionType == host::ppSelectionShapes) {
    host::Ptr<host::ShapeRange> shapes = selection->ShapeRange();
    const int count = shapes->Count();
    for (int i = 1; i <= count; ++i) mProp.ShapeIds.push_back(shapes->Item(i)->Id());
  } else if (mProp.SelectionType == host::ppSelectionText &&
             (mProp.WindowViewType == host::ppViewNotesPage ||
              (mProp.WindowViewType == host::ppViewNormal &&
               (mProp.PaneViewType == host::ppViewSlide || mProp.PaneViewType == host::ppViewNotesPage)))) {
    // The notes pane counts too: the walk looks the shape up on the notes
    // page there, and without its id no notes text could be translated.
    host::Ptr<host::Shape> shape = selection->ShapeRange()->Item(1);
    mProp.ShapeIds.push_back(shape->Id());
    if (shape->HasTable()) {
      // Text in a cell is selected through its table; the cell is found
      // here, while the selection is the user's.
      host::Ptr<host::Table> table = shape->Table();
      const int rows = table->Rows()->Count(), columns = table->Columns()->Count();
      for (int r = 1; r <= rows && mProp.SelectedCellRow == 0; ++r)
        for (int c = 1; c <= columns; ++c)
          if (table->Cell(r, c)->Selected()) {
            mProp.SelectedCellRow = r;
            mProp.SelectedCellColumn = c;
            break;
          }
    }
    if (shape->HasTextFrame() || mProp.SelectedCellRow > 0) {
      host::Ptr<host::TextRange> text = selection->TextRange();
      mProp.SelectedTextStart = text->Start();
      mProp.SelectedTextSize = text->Length();
    }
  }
  return true;
}

bool Run::MakeCopy(bool withWindow, host::Ptr<host::Presentation>* copy, std::wstring* path) {
  const bool modern = mCtx.Version() >= 12;
  std::wstring folder = mTempFolder.empty() ? platform::TempFolder() : mTempFolder;
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += platform::PathSeparator();
  *path = TemporaryCopyPath(folder, modern ? L".pptm" : L".ppt");
  if (path->empty()) return false;
  try {
    mProp.OrigPresen->SaveCopyAs(*path, modern ? host::ppSaveAsOpenXMLPresentationMacroEnabled
                                              : host::ppSaveAsPresentation,
                                false);
    *copy = mProp.Application->Presentations()->Open(*path, false, false, withWindow);
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"copy Err: " + platform::ExceptionText(e));
    platform::DeleteFileAt(*path);
    return false;
  }
  if (RefusesEditing(*copy)) {
    mCtx.ReportRunError(msg::kLocked);
    try {
      (*copy)->Close();
    } catch (const std::exception&) {
    }
    copy->reset();
    platform::DeleteFileAt(*path);
    return false;
  }
  return true;
}

bool Run::MakeCopies() {
  if (!mProp.WorkPresen) {
    if (!MakeCopy(false, &mProp.WorkPresen, &mWorkCopyPath)) return false;
    mWorkOpen = true;
    mProp.OwnsWorkPresen = 1;
  }
  if (!mProp.TranPresen) {
    if (mProp.TranOption.OutputDestType == 1) {
      if (!MakeCopy(true, &mProp.TranPresen, &tranCopyPath)) return false;
      mProp.OwnsTranPresen = 1;
    } else {
      mProp.TranPresen = mProp.OrigPresen;
      mProp.OwnsTranPresen = 0;
    }
  }
  return true;
}

bool Run::BuildSlideRanges() {
  if (mProp.TranOption.TranslationRange == 0) {
    mProp.OrigSlideRange = PowerPointTranslationUtil::GetAllSlideRange(mProp.WorkPresen);
    mProp.TranSlideRange = PowerPointTranslationUtil::GetAllSlideRange(mProp.TranPresen);
  } else {
    mProp.OrigSlideRange = mProp.WorkPresen->Slides()->Range(mProp.SlideNames);
    mProp.TranSlideRange = mProp.TranPresen->Slides()->Range(mProp.SlideNames);
  }
  return mProp.OrigSlideRange && mProp.TranSlideRange;
}

bool Run::Translation() {
  LOG_INFO(L"PowerPointTranslationProcess::Translation", L"Start");
  if (mProp.TranOption.TranslationRange == 0 || mProp.TranOption.TranslationRange == 1 ||
      mProp.SelectionType == host::ppSelectionSlides) {
    return TranslateSlideRange(mCtx);
  }
  return TranslateSelectionRange(mCtx);
}

void Run::Dump() {
  constexpr const wchar_t* kDump = L"PowerPointTranslationProcess::MainTranslationProcess";
  LOG_INFO(kDump, L"<<---Output PPTTranProp---");
  LOG_INFO(kDump, std::wstring(L"OrigPresen") + NullText(!mProp.OrigPresen));
  LOG_INFO(kDump, std::wstring(L"WorkPresen") + NullText(!mProp.WorkPresen));
  LOG_INFO(kDump, std::wstring(L"TranPresen") + NullText(!mProp.TranPresen));
  LOG_INFO(kDump, L"WindowViewType:" + std::to_wstring(mProp.WindowViewType));
  LOG_INFO(kDump, L"PaneViewType:" + std::to_wstring(mProp.PaneViewType));
  LOG_INFO(kDump, L"SelectionType:" + std::to_wstring(mProp.SelectionType));
  LOG_INFO(kDump, L"SelectedTextStart:" + std::to_wstring(mProp.SelectedTextStart));
  LOG_INFO(kDump, L"SelectedTextSize:" + std::to_wstring(mProp.SelectedTextSize));
  LOG_INFO(kDump, std::wstring(L"OrigSlideRange") + NullText(!mProp.OrigSlideRange));
  LOG_INFO(kDump, std::wstring(L"TranSlideRange") + NullText(!mProp.TranSlideRange));
  LOG_INFO(kDump, L"TranslationSlideShapeCount:" + std::to_wstring(mProp.TranslationSlideShapeCount));
  LOG_INFO(kDump, L"CurrentTranslationSlideShapeNum:" + std::to_wstring(mProp.CurrentTranslationSlideShapeNum));
  LOG_INFO(kDump, mProp.CloseTranslationPresenWindow ? L"CloseTranslationPresenWindow is TRUE"
                                                    : L"CloseTranslationPresenWindow is FALSE");
  LOG_INFO(kDump, std::wstring(L"SelectTranslateShapeRange") + NullText(!mProp.SelectTranslateShapeRange));
  LOG_INFO(kDump, L"---Output PPTTranProp--->>");
}

// The working copy is closed on every ending once it was opened; only the
// ending of a successful run reports a failure to close it.
void Run::CloseWorkCopy(bool reportFailure) {
  if (!mWorkOpen) return;
  mWorkOpen = false;
  try {
    mProp.WorkPresen->Close();
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"WorkPresen Close Err: " + platform::ExceptionText(e));
    if (reportFailure) mCtx.ReportRunError(msg::kWorkCloseFailed);
  }
  mProp.WorkPresen.reset();
  if (!platform::DeleteFileAt(mWorkCopyPath)) LOG_WARNING(kMainSource, L"copy not deleted: " + mWorkCopyPath);
}

bool Run::CancelledBeforeWalk() {
  LOG_INFO(kMainSource, L"Canceled");
  if (mProp.OwnsTranPresen && mProp.TranPresen) {
    try {
      mProp.TranPresen->Close();
      tranClosed = true;
      mProp.TranPresen.reset();
    } catch (const std::exception& e) {
      LOG_ERROR(kMainSource, L"TranPresen Close Err: " + platform::ExceptionText(e));
    }
  }
  return true;
}

void Run::FinishView() {
  const options::TranslationOptionUDT& o = mProp.TranOption;
  const bool newWindow = o.OutputDestType == 1;
  if (!mCtx.IsCancelled() && mProp.CloseTranslationPresenWindow == 1) {
    if (newWindow && mProp.OwnsTranPresen && mProp.TranPresen) {
      try {
        mProp.TranPresen->Close();
        tranClosed = true;
        mProp.TranPresen.reset();
      } catch (const std::exception& e) {
        LOG_ERROR(kMainSource, L"TranPresen Close Err: " + platform::ExceptionText(e));
      }
    }
    mCtx.ReportRunError(o.TranslationRange == 2 ? msg::kSelectSomething : msg::kNothingToTranslate);
    return;
  }
  if (!newWindow) return;
  // Restoring the view is a courtesy; a view that refuses a step keeps the
  // translation as it is.
  try {
    const host::Ptr<host::Presentation>& tran = mProp.TranPresen;
    PowerPointTranslationUtil::SetPresentationViewType(tran, mProp.WindowViewType);
    if (o.TranslationRange == 0) {
      PowerPointTranslationUtil::GotoSlide(tran, 1);
    } else if (mProp.WindowViewType == host::ppViewNotesPage) {
      PowerPointTranslationUtil::GotoSlide(tran, mProp.TranSlideRange->Item(1)->SlideIndex());
    } else if (mProp.WindowViewType == host::ppViewSlideSorter) {
      mProp.TranSlideRange->Select();
    } else if (mProp.WindowViewType == host::ppViewNormal) {
      tran->Windows()->Item(1)->Panes()->Item(1)->Activate();
      mProp.TranSlideRange->Select();
    }
    if (mProp.WindowViewType == host::ppViewNormal) {
      int pane = mProp.PaneViewType == host::ppViewSlide       ? 2
                 : mProp.PaneViewType == host::ppViewNotesPage ? 3
                 : mProp.PaneViewType == host::ppViewOutline   ? 1
                                                              : 0;
      if (pane > 0) tran->Windows()->Item(1)->Panes()->Item(pane)->Activate();
    }
  } catch (const std::exception& e) {
    LOG_WARNING(kMainSource, L"view not restored: " + platform::ExceptionText(e));
  }
  bool arranged = false;
  try {
    arranged = PowerPointTranslationUtil::ArrangeWindows(mCtx);
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"ArrangeWindows Err: " + platform::ExceptionText(e));
  }
  if (!arranged) mCtx.ReportRunError(msg::kArrangeFailed);
}

std::optional<bool> Run::Guarded(const wchar_t* what, int failure, Step step) {
  try {
    return (this->*step)();
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, std::wstring(what) + L" Err: " + platform::ExceptionText(e));
    return Fail(failure);
  }
}

std::optional<bool> Run::FindPresentation() {
  if (!mProp.OrigPresen) {
    try {
      mProp.OrigPresen = mProp.Application->ActivePresentation();
    } catch (const platform::ComError&) {
    }
    if (!mProp.OrigPresen) return Fail(msg::kPreparationFailed);
  }
  if (!CheckPresentations()) return false;
  return std::nullopt;
}

std::optional<bool> Run::KeepView() {
  if (!RecordView()) return false;
  return std::nullopt;
}

std::optional<bool> Run::KeepUntitled() {
  if (!CheckView()) return false;
  // Opening the copies would let the host discard an untouched untitled
  // presentation; marking it changed keeps it.
  host::Ptr<host::Presentations> all = mProp.Application->Presentations();
  if (all->Count() == 1 && mProp.OrigPresen->Path().empty() && mProp.OrigPresen->Windows()->Count() == 1) {
    mProp.OrigPresen->SetSaved(false);
  }
  return std::nullopt;
}

std::optional<bool> Run::CollectSlides() {
  if (!CollectSlideInformation()) return Fail(msg::kSlideInfoFailed);
  if (mCtx.IsCancelled()) return true;
  return std::nullopt;
}

std::optional<bool> Run::LoadEngineAhead() {
  // The engine loads while the copies are made; OpenTranslationEngine finishes it.
  try {
    mCtx.app.GetEngine().OpenAhead(mProp.TranOption.EngineGroup, mProp.TranOption.EngineID,
                                   mProp.TranOption.DisplayLanguage);
  } catch (const std::exception& e) {
    LOG_WARNING(kMainSource, L"OpenAhead Err: " + platform::ExceptionText(e));
  }
  return std::nullopt;
}

std::optional<bool> Run::OpenCopies() {
  if (!MakeCopies()) return Fail(msg::kCopiesFailed);
  if (std::optional<bool> end = Guarded(L"activate", msg::kPreparationFailed, &Run::ActivateTranslation)) return end;
  if (dialogs::CDialogProgress* dialog = mDialogOpen ? dialogs::CurrentProgressDialog() : nullptr) {
    dialog->View().BringToTop();
  }
  if (mCtx.IsCancelled()) return CancelledBeforeWalk();
  return std::nullopt;
}

std::optional<bool> Run::ActivateTranslation() {
  if (!PowerPointTranslationUtil::ActivatePresentationWindow(mProp.TranPresen)) return Fail(msg::kPreparationFailed);
  return std::nullopt;
}

std::optional<bool> Run::OpenTranslationEngine() {
  engine::Engine& engine = mCtx.app.GetEngine();
  bool opened = false;
  try {
    opened = engine.OpenEngine(mProp.TranOption.EngineGroup, mProp.TranOption.EngineID,
                               mProp.TranOption.DisplayLanguage, mProp.TranOption.FromLang);
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"OpenEngine Err: " + platform::ExceptionText(e));
  }
  if (!opened) return mCtx.IsCancelled() ? CancelledBeforeWalk() : Fail(msg::kEngineInitFailed);
  if (mCtx.IsCancelled()) {
    try {
      engine.CloseEngine();
    } catch (const std::exception& e) {
      LOG_ERROR(kMainSource, L"CloseEngine Err: " + platform::ExceptionText(e));
    }
    return CancelledBeforeWalk();
  }
  return std::nullopt;
}

std::optional<bool> Run::TranslateAndClose() {
  SetProgressMessages(mCtx,
                      mProp.TranOption.TranslationRange == 2 ? msg::kTranslatingSelection
                                                            : msg::kTranslatingSlides,
                      msg::kCountShapes);
  bool ranges = false;
  try {
    ranges = BuildSlideRanges();
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"slide range Err: " + platform::ExceptionText(e));
  }
  if (!ranges) mCtx.ReportRunError(msg::kRangesFailed);
  bool translated = false;
  try {
    translated = ranges && Translation();
  } catch (const std::exception& e) {
    // The walk reports its own failures; this is what escaped it.
    LOG_ERROR(kMainSource, L"Exception Err: " + platform::ExceptionText(e));
    mCtx.ReportRunError(mProp.TranOption.TranslationRange == 2 && mProp.SelectionType != host::ppSelectionSlides
                           ? msg::kSelectionFailed
                           : msg::kShapesFailed);
  }
  Dump();
  engine::Engine& engine = mCtx.app.GetEngine();
  // Text the engine failed on stays as it was written; without this the
  // run would end like a clean one.
  const auto failed = mCtx.stats.segmentsLeft.find(kLeftEngineFailed);
  if (failed != mCtx.stats.segmentsLeft.end() && failed->second > 0) {
    std::wstring detail = support::LoadText(msg::kEngineFailedSegmentsLabel) + L" " + std::to_wstring(failed->second);
    if (!engine.LastErrorText().empty()) detail += L"\r\n" + engine.LastErrorText();
    mCtx.ReportRunError(msg::kEngineFailedSegments, {}, detail);
  }
  try {
    engine.CloseEngine();
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"CloseEngine Err: " + platform::ExceptionText(e));
    mCtx.ReportRunError(msg::kEngineCloseFailed);
  }
  if (translated) {
    CloseWorkCopy(true);
    FinishView();
  }
  return translated;
}

bool Run::Main() {
  LOG_INFO(kMainSource, L"MainTranslationProcess Start");
  if (!mProp.Application) return Fail(msg::kPreparationFailed);
  // A step returns the run's result when the run ends with it. What escapes
  // a step named with a message ends the run with that message; the others
  // deal with their own failures.
  struct Named {
    const wchar_t* what;
    int failure;
    Step step;
  };
  const Named before[] = {{L"check", msg::kPreparationFailed, &Run::FindPresentation},
                          {L"view", msg::kPreparationFailed, &Run::KeepView},
                          {L"view check", msg::kPreparationFailed, &Run::KeepUntitled}};
  for (const Named& s : before) {
    if (std::optional<bool> end = Guarded(s.what, s.failure, s.step)) return *end;
  }

  if (!OpenDialog()) return false;
  const Named steps[] = {{L"slide information", msg::kSlideInfoFailed, &Run::CollectSlides},
                         {nullptr, 0, &Run::LoadEngineAhead},
                         {nullptr, 0, &Run::OpenCopies},
                         {nullptr, 0, &Run::OpenTranslationEngine},
                         {nullptr, 0, &Run::TranslateAndClose}};
  std::optional<bool> end;
  for (const Named& s : steps) {
    end = s.what ? Guarded(s.what, s.failure, s.step) : (this->*s.step)();
    if (end) break;
  }
  // A run that ended before its open leaves no engine loading.
  mCtx.app.GetEngine().DropOpenAhead();
  CloseWorkCopy(false);
  CloseDialog();
  return end.value_or(false);
}

}  // namespace

struct PowerPointTranslationProcess::Impl {
  dialogs::ProgressViewFactory viewFactory;
  RunOutcome outcome;
  std::wstring tempFolder;
  AheadBounds ahead;
  std::optional<platform::ScreenInfo> screen;
  PendingCopies pending;
  host::Ptr<host::Application> application;
  // The host and the facade of the run in progress, set by the entry points.
  host::Ptr<host::Application> runApplication;
  RunCaller* runCaller = nullptr;
  RunCaller* caller = nullptr;
  std::int64_t progressTarget = 0;
};

PowerPointTranslationProcess& PowerPointTranslationProcess::Instance() {
  static PowerPointTranslationProcess process;
  return process;
}

PowerPointTranslationProcess::PowerPointTranslationProcess(std::wstring temporaryFolder, AheadBounds ahead,
                                                           std::optional<platform::ScreenInfo> screen)
    : mImpl(std::make_unique<Impl>()) {
  mImpl->tempFolder = std::move(temporaryFolder);
  mImpl->ahead = ahead;
  mImpl->screen = screen;
}
PowerPointTranslationProcess::~PowerPointTranslationProcess() = default;

void PowerPointTranslationProcess::SetProgressViewFactory(dialogs::ProgressViewFactory factory) {
  mImpl->viewFactory = std::move(factory);
}

const dialogs::ProgressViewFactory& PowerPointTranslationProcess::ProgressViewFactory() const {
  return mImpl->viewFactory;
}

const RunOutcome& PowerPointTranslationProcess::LastRun() const { return mImpl->outcome; }

void PowerPointTranslationProcess::ReleaseHostObjects() {
  // Copies closed by now can go while the host can still tell which are open.
  mImpl->pending.DeleteClosed(mImpl->application);
  mImpl->outcome.translation.reset();
  mImpl->application.reset();
}

void PowerPointTranslationProcess::DeleteTemporaryCopies() { mImpl->pending.DeleteClosed(mImpl->application); }


bool PowerPointTranslationProcess::Enter(RunCaller& caller, std::int64_t progressTarget,
                                         const options::TranslationOptionUDT& record, std::int32_t range,
                                         const wchar_t* source) {
  LOG_INFO(source, L"Start");
  engine::AppCommon& common = engine::AppCommon::Instance();
  host::Ptr<host::Application> previous = mImpl->runApplication;
  RunCaller* previousCaller = mImpl->runCaller;
  bool result = false;
  bool timed = false;
  try {
    host::Ptr<host::Application> app = caller.GetApplication();
    if (app) {
      host::Ptr<host::Presentation> active;
      try {
        active = app->ActivePresentation();
      } catch (const platform::ComError&) {
        // No active presentation: the run says so itself.
      }
      if (active && active->IsEmbedded()) {
        support::ErrorList::Add(msg::kBadContainer);
        mImpl->outcome = RunOutcome();
        mImpl->outcome.errors.push_back(RunError{msg::kBadContainer, support::LoadText(msg::kBadContainer), msg::kBadContainer / 1000});
        return false;
      }
    }
    common.SetCancel(false);
    mImpl->runApplication = app;
    HostMacroScope macros(common, app);
    mImpl->runCaller = &caller;
    if (record.TimeOutMSec >= 1) {
      caller.StartTimeOut(record.TimeOutMSec);
      timed = true;
    }
    options::TranslationOptionUDT copy = record;
    copy.TranslationRange = range;
    copy.ProgressTarget = progressTarget;
    result = RunTranslation(copy, nullptr, nullptr, nullptr);
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + platform::ExceptionText(e));
    result = false;
  }
  if (timed) caller.StopTimeOut();
  mImpl->runCaller = previousCaller;
  mImpl->runApplication = std::move(previous);
  return result;
}

bool PowerPointTranslationProcess::TranslateAll(RunCaller& caller, std::int64_t progressTarget,
                                                const options::TranslationOptionUDT& record) {
  return Enter(caller, progressTarget, record, 0, L"PowerPointTranslationProcess::TranslateAll");
}

bool PowerPointTranslationProcess::TranslateCurrentSlide(RunCaller& caller, std::int64_t progressTarget,
                                                         const options::TranslationOptionUDT& record) {
  return Enter(caller, progressTarget, record, 1, L"PowerPointTranslationProcess::TranslateCurrentSlide");
}

bool PowerPointTranslationProcess::TranslateSelection(RunCaller& caller, std::int64_t progressTarget,
                                                      const options::TranslationOptionUDT& record) {
  return Enter(caller, progressTarget, record, 2, L"PowerPointTranslationProcess::TranslateSelection");
}

bool PowerPointTranslationProcess::RunTranslation(const options::TranslationOptionUDT& record,
                                                  host::Ptr<host::Presentation> orig,
                                                  host::Ptr<host::Presentation> work,
                                                  host::Ptr<host::Presentation> tran) {
  const auto started = std::chrono::steady_clock::now();
  engine::AppCommon& common = engine::AppCommon::Instance();
  RunOutcome outcome;
  PPTTranProp prop;
  prop.TranOption = record;
  prop.ProgressTarget = record.ProgressTarget;
  prop.Application = mImpl->runApplication;
  if (mImpl->runCaller) prop.Parts = mImpl->runCaller->PartsToTranslate();
  if (orig) prop.OwnsOrigPresen = 0;
  if (work) prop.OwnsWorkPresen = 0;
  if (tran) prop.OwnsTranPresen = 0;
  prop.OrigPresen = std::move(orig);
  prop.WorkPresen = std::move(work);
  prop.TranPresen = std::move(tran);
  mImpl->application = prop.Application;

  RunContext ctx{prop, outcome.errors, outcome.stats, common};
  ctx.ahead = mImpl->ahead;
  ctx.screen = mImpl->screen;
  ctx.caller = mImpl->runCaller;
  Run run(ctx, mImpl->viewFactory, mImpl->tempFolder);
  try {
    outcome.success = run.Main();
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"Exception Err: " + platform::ExceptionText(e));
    outcome.success = false;
  }
  outcome.cancelled = common.IsCancelled();
  if (!run.tranCopyPath.empty()) {
    if (run.tranClosed || !prop.TranPresen) {
      platform::DeleteFileAt(run.tranCopyPath);
    } else {
      outcome.translationCopyPath = run.tranCopyPath;
      mImpl->pending.Add(run.tranCopyPath);
    }
  }
  outcome.translation = prop.TranPresen;
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  mImpl->outcome = std::move(outcome);
  return mImpl->outcome.success;
}

}  // namespace powerpoint
