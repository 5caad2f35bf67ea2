// The translation run: entry points, the run body and its steps from the
// first checks to the finished view.
#include "src/powerpoint/PowerPointTranslationProcess.h"

#include <chrono>
#include <exception>
#include <string>

#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/platform/ComError.h"
#include "src/platform/System.h"
#include "src/powerpoint/HostMacros.h"
#include "src/powerpoint/PowerPointTranslationUtil.h"
#include "src/powerpoint/RunProgress.h"
#include "src/powerpoint/TemporaryCopies.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace powerpoint {
namespace {

constexpr const wchar_t* kMainSource = L"PowerPointTranslationProcess::MainTranslationProcess";

// Messages of the run.
constexpr int kEngineOpenFailed = 1251;
constexpr int kEngineCloseFailed = 1256;
constexpr int kSelectionFailed = 1502;
constexpr int kShapesFailed = 1505;
constexpr int kCopiesFailed = 1601;
constexpr int kArrangeFailed = 1602;
constexpr int kNothingToTranslate = 2001;
constexpr int kSelectSomething = 2002;
constexpr int kBadContainer = 2004;
constexpr int kThreadFailed = 2005;
constexpr int kBadView = 2121;
constexpr int kSlideShowRunning = 2122;
constexpr int kMarkedFinal = 2123;
constexpr int kLocked = 2124;
constexpr int kSlideInfoFailed = 2125;
constexpr int kPreparationFailed = 2126;
constexpr int kRangesFailed = 2127;
constexpr int kWorkCloseFailed = 2128;

std::wstring Describe(const std::exception& e) {
  if (auto* com = dynamic_cast<const ComError*>(&e)) return com->Description();
  const char* what = e.what();
  return std::wstring(what, what + std::char_traits<char>::length(what));
}

bool RefusesEditing(const host::Ptr<host::Presentation>& p) {
  try {
    p->SetSaved(p->Saved());
    return false;
  } catch (const ComError&) {
    return true;
  }
}

const wchar_t* NullText(bool isNull) { return isNull ? L" is NULL" : L" is not NULL"; }

// One run from the first check to the released record. Every exit after a
// copy was opened goes through Finish, which closes what the run owns.
class Run {
 public:
  Run(RunContext& ctx, const dialogs::ProgressViewFactory& viewFactory, const std::wstring& tempFolder)
      : ctx(ctx), prop(ctx.prop), viewFactory(viewFactory), tempFolder(tempFolder) {}

  bool Main();

  // What outlives the run: a translation copy still open.
  std::wstring tranCopyPath;
  bool tranClosed = false;

 private:
  bool Fail(int messageId) {
    ctx.ReportRunError(messageId);
    return false;
  }
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
  void FinishView();
  void CloseDialog();

  RunContext& ctx;
  PPTTranProp& prop;
  const dialogs::ProgressViewFactory& viewFactory;
  std::wstring tempFolder;
  bool dialogOpen = false;
  std::wstring workCopyPath;
  bool workOpen = false;
};

bool Run::CheckPresentations() {
  host::Ptr<host::Application>& app = prop.Application;
  if (app->Presentations()->Count() < 1) return Fail(kNothingToTranslate);
  if (app->SlideShowWindows()->Count() >= 1) return Fail(kSlideShowRunning);
  const int version = ctx.Version();
  const host::Ptr<host::Presentation> all[] = {prop.OrigPresen, prop.WorkPresen, prop.TranPresen};
  if (version >= 12) {
    for (const auto& p : all) {
      if (p && p->Final()) return Fail(kMarkedFinal);
    }
  }
  if (version >= 10) {
    for (const auto& p : all) {
      if (p && RefusesEditing(p)) return Fail(kLocked);
    }
  }
  if (prop.OrigPresen->Slides()->Count() < 1) return Fail(kNothingToTranslate);
  return true;
}

bool Run::RecordView() {
  host::Ptr<host::DocumentWindows> windows = prop.Application->Windows();
  if (windows->Count() < 1) return true;  // the view check reports it
  host::Ptr<host::DocumentWindow> window = windows->Item(1);
  prop.WindowViewType = window->ViewType();
  prop.PaneViewType = window->ActivePane()->ViewType();
  host::Ptr<host::Selection> selection = window->Selection();
  prop.SelectionType = selection->Type();
  if (ctx.Version() >= 12 && prop.WindowViewType == host::ppViewNormal &&
      (prop.PaneViewType == host::ppViewNotesPage || prop.PaneViewType == host::ppViewOutline) &&
      prop.SelectionType == host::ppSelectionNone) {
    // The notes and outline panes report a caret in them as no selection.
    try {
      if (selection->SlideRange()->Count() >= 2 || selection->TextRange()->Length() != 0) {
        prop.SelectionType = host::ppSelectionText;
      }
    } catch (const ComError&) {
    }
  }
  return true;
}

bool Run::CheckView() {
  host::Ptr<host::DocumentWindows> windows = prop.Application->Windows();
  if (windows->Count() < 1) return Fail(kPreparationFailed);
  switch (prop.WindowViewType) {
    case host::ppViewSlideMaster:
    case host::ppViewHandoutMaster:
    case host::ppViewNotesMaster:
    case host::ppViewTitleMaster:
    case host::ppViewPrintPreview:
    case host::ppViewMasterThumbnails:
      return Fail(kBadView);
    default:
      break;
  }
  if (prop.TranOption.TranslationRange != 2) return true;
  host::Ptr<host::Selection> selection = windows->Item(1)->Selection();
  if (prop.SelectionType == host::ppSelectionNone) return Fail(kSelectSomething);
  if (prop.SelectionType == host::ppSelectionShapes && selection->ShapeRange()->Count() < 1) {
    return Fail(kSelectSomething);
  }
  if (prop.SelectionType == host::ppSelectionText && prop.WindowViewType == host::ppViewNormal &&
      (prop.PaneViewType == host::ppViewSlide || prop.PaneViewType == host::ppViewNotesPage ||
       prop.PaneViewType == host::ppViewOutline)) {
    bool empty = false;
    try {
      empty = selection->SlideRange()->Count() == 1 && selection->TextRange()->Length() == 0;
    } catch (const ComError&) {
      empty = true;
    }
    if (empty) return Fail(kSelectSomething);
  }
  return true;
}

bool Run::OpenDialog() {
  if (!ctx.ShowsProgressDialog() || !viewFactory) return true;
  if (!dialogs::OpenProgressDialog(viewFactory)) return Fail(kThreadFailed);
  dialogOpen = true;
  if (dialogs::CDialogProgress* dialog = dialogs::CurrentProgressDialog()) {
    dialog->SetMessages(dialogs::CDialogProgress::kPreparing, 0);
    dialog->View().Show();
    dialog->View().BringToTop();
    dialog->View().Repaint();
  }
  return true;
}

void Run::CloseDialog() {
  if (!dialogOpen) return;
  dialogs::CloseProgressDialog();
  dialogOpen = false;
}

bool Run::CollectSlideInformation() {
  const int range = prop.TranOption.TranslationRange;
  if (range != 1 && range != 2) return true;
  host::Ptr<host::DocumentWindow> window = prop.Application->Windows()->Item(1);
  if (prop.PaneViewType == host::ppViewThumbnails && prop.SelectionType == host::ppSelectionNone) {
    window->Panes()->Item(2)->Activate();
    prop.SlideNames.push_back(window->View()->Slide()->Name());
  } else {
    host::Ptr<host::SlideRange> slides = window->Selection()->SlideRange();
    const int count = slides->Count();
    for (int i = 1; i <= count; ++i) prop.SlideNames.push_back(slides->Item(i)->Name());
  }
  if (range != 2) return true;
  host::Ptr<host::Selection> selection = window->Selection();
  if (prop.SelectionType == host::ppSelectionShapes) {
    host::Ptr<host::ShapeRange> shapes = selection->ShapeRange();
    const int count = shapes->Count();
    for (int i = 1; i <= count; ++i) prop.ShapeNames.push_back(shapes->Item(i)->Name());
  } else if (prop.SelectionType == host::ppSelectionText &&
             (prop.WindowViewType == host::ppViewNotesPage ||
              (prop.WindowViewType == host::ppViewNormal &&
               (prop.PaneViewType == host::ppViewSlide || prop.PaneViewType == host::ppViewNotesPage)))) {
    // The notes pane counts too: the walk looks the shape up on the notes
    // page there, and without its name no notes text could be translated.
    host::Ptr<host::Shape> shape = selection->ShapeRange()->Item(1);
    prop.ShapeNames.push_back(shape->Name());
    if (shape->HasTextFrame()) {
      host::Ptr<host::TextRange> text = selection->TextRange();
      prop.SelectedTextStart = text->Start();
      prop.SelectedTextSize = text->Length();
    }
  }
  return true;
}

bool Run::MakeCopy(bool withWindow, host::Ptr<host::Presentation>* copy, std::wstring* path) {
  const bool modern = ctx.Version() >= 12;
  std::wstring folder = tempFolder.empty() ? platform::TempFolder() : tempFolder;
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += platform::PathSeparator();
  *path = TemporaryCopyPath(folder, modern ? L".pptm" : L".ppt");
  if (path->empty()) return false;
  try {
    prop.OrigPresen->SaveCopyAs(*path, modern ? host::ppSaveAsOpenXMLPresentationMacroEnabled
                                              : host::ppSaveAsPresentation,
                                false);
    *copy = prop.Application->Presentations()->Open(*path, false, false, withWindow);
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"copy Err: " + Describe(e));
    platform::DeleteFileAt(*path);
    return false;
  }
  if (RefusesEditing(*copy)) {
    ctx.ReportRunError(kLocked);
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
  if (!prop.WorkPresen) {
    if (!MakeCopy(false, &prop.WorkPresen, &workCopyPath)) return false;
    workOpen = true;
    prop.OwnsWorkPresen = 1;
  }
  if (!prop.TranPresen) {
    if (prop.TranOption.OutputDestType == 1) {
      if (!MakeCopy(true, &prop.TranPresen, &tranCopyPath)) return false;
      prop.OwnsTranPresen = 1;
    } else {
      prop.TranPresen = prop.OrigPresen;
      prop.OwnsTranPresen = 0;
    }
  }
  return true;
}

bool Run::BuildSlideRanges() {
  if (prop.TranOption.TranslationRange == 0) {
    prop.OrigSlideRange = PowerPointTranslationUtil::GetAllSlideRange(prop.WorkPresen);
    prop.TranSlideRange = PowerPointTranslationUtil::GetAllSlideRange(prop.TranPresen);
  } else {
    prop.OrigSlideRange = prop.WorkPresen->Slides()->Range(prop.SlideNames);
    prop.TranSlideRange = prop.TranPresen->Slides()->Range(prop.SlideNames);
  }
  return prop.OrigSlideRange && prop.TranSlideRange;
}

bool Run::Translation() {
  LOG_INFO(L"PowerPointTranslationProcess::Translation", L"Start");
  if (prop.TranOption.TranslationRange == 0 || prop.TranOption.TranslationRange == 1 ||
      prop.SelectionType == host::ppSelectionSlides) {
    return TranslateSlideRange(ctx);
  }
  return TranslateSelectionRange(ctx);
}

void Run::Dump() {
  constexpr const wchar_t* kDump = L"PowerPointTranslationProcess::MainTranslationProcess";
  LOG_INFO(kDump, L"<<---Output PPTTranProp---");
  LOG_INFO(kDump, std::wstring(L"OrigPresen") + NullText(!prop.OrigPresen));
  LOG_INFO(kDump, std::wstring(L"WorkPresen") + NullText(!prop.WorkPresen));
  LOG_INFO(kDump, std::wstring(L"TranPresen") + NullText(!prop.TranPresen));
  LOG_INFO(kDump, L"WindowViewType:" + std::to_wstring(prop.WindowViewType));
  LOG_INFO(kDump, L"PaneViewType:" + std::to_wstring(prop.PaneViewType));
  LOG_INFO(kDump, L"SelectionType:" + std::to_wstring(prop.SelectionType));
  LOG_INFO(kDump, L"SelectedTextStart:" + std::to_wstring(prop.SelectedTextStart));
  LOG_INFO(kDump, L"SelectedTextSize:" + std::to_wstring(prop.SelectedTextSize));
  LOG_INFO(kDump, std::wstring(L"OrigSlideRange") + NullText(!prop.OrigSlideRange));
  LOG_INFO(kDump, std::wstring(L"TranSlideRange") + NullText(!prop.TranSlideRange));
  LOG_INFO(kDump, L"TranslationSlideShapeCount:" + std::to_wstring(prop.TranslationSlideShapeCount));
  LOG_INFO(kDump, L"CurrentTranslationSlideShapeNum:" + std::to_wstring(prop.CurrentTranslationSlideShapeNum));
  LOG_INFO(kDump, prop.CloseTranslationPresenWindow ? L"CloseTranslationPresenWindow is TRUE"
                                                    : L"CloseTranslationPresenWindow is FALSE");
  LOG_INFO(kDump, std::wstring(L"SelectTranslateShapeRange") + NullText(!prop.SelectTranslateShapeRange));
  LOG_INFO(kDump, L"---Output PPTTranProp--->>");
}

// The working copy is closed on every ending once it was opened; only the
// ending of a successful run reports a failure to close it.
void Run::CloseWorkCopy(bool reportFailure) {
  if (!workOpen) return;
  workOpen = false;
  try {
    prop.WorkPresen->Close();
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"WorkPresen Close Err: " + Describe(e));
    if (reportFailure) ctx.ReportRunError(kWorkCloseFailed);
  }
  prop.WorkPresen.reset();
  if (!platform::DeleteFileAt(workCopyPath)) LOG_WARNING(kMainSource, L"copy not deleted: " + workCopyPath);
}

void Run::FinishView() {
  const options::TranslationOptionUDT& o = prop.TranOption;
  const bool newWindow = o.OutputDestType == 1;
  if (!ctx.IsCancelled() && prop.CloseTranslationPresenWindow == 1) {
    if (newWindow && prop.OwnsTranPresen && prop.TranPresen) {
      try {
        prop.TranPresen->Close();
        tranClosed = true;
        prop.TranPresen.reset();
      } catch (const std::exception& e) {
        LOG_ERROR(kMainSource, L"TranPresen Close Err: " + Describe(e));
      }
    }
    ctx.ReportRunError(o.TranslationRange == 2 ? kSelectSomething : kNothingToTranslate);
    return;
  }
  if (!newWindow) return;
  // Restoring the view is a courtesy; a view that refuses a step keeps the
  // translation as it is.
  try {
    const host::Ptr<host::Presentation>& tran = prop.TranPresen;
    PowerPointTranslationUtil::SetPresentationViewType(tran, prop.WindowViewType);
    if (o.TranslationRange == 0) {
      PowerPointTranslationUtil::GotoSlide(tran, 1);
    } else if (prop.WindowViewType == host::ppViewNotesPage) {
      PowerPointTranslationUtil::GotoSlide(tran, prop.TranSlideRange->Item(1)->SlideIndex());
    } else if (prop.WindowViewType == host::ppViewSlideSorter) {
      prop.TranSlideRange->Select();
    } else if (prop.WindowViewType == host::ppViewNormal) {
      tran->Windows()->Item(1)->Panes()->Item(1)->Activate();
      prop.TranSlideRange->Select();
    }
    if (prop.WindowViewType == host::ppViewNormal) {
      int pane = prop.PaneViewType == host::ppViewSlide       ? 2
                 : prop.PaneViewType == host::ppViewNotesPage ? 3
                 : prop.PaneViewType == host::ppViewOutline   ? 1
                                                              : 0;
      if (pane > 0) tran->Windows()->Item(1)->Panes()->Item(pane)->Activate();
    }
  } catch (const std::exception& e) {
    LOG_WARNING(kMainSource, L"view not restored: " + Describe(e));
  }
  bool arranged = false;
  try {
    arranged = PowerPointTranslationUtil::ArrangeWindows(ctx);
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"ArrangeWindows Err: " + Describe(e));
  }
  if (!arranged) ctx.ReportRunError(kArrangeFailed);
}

bool Run::Main() {
  LOG_INFO(kMainSource, L"MainTranslationProcess Start");
  if (!prop.Application) return Fail(kPreparationFailed);
  try {
    if (!prop.OrigPresen) {
      try {
        prop.OrigPresen = prop.Application->ActivePresentation();
      } catch (const ComError&) {
      }
      if (!prop.OrigPresen) return Fail(kPreparationFailed);
    }
    if (!CheckPresentations()) return false;
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"check Err: " + Describe(e));
    return Fail(kPreparationFailed);
  }
  try {
    if (!RecordView()) return false;
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"view Err: " + Describe(e));
    return Fail(kPreparationFailed);
  }
  try {
    if (!CheckView()) return false;
    // Opening the copies would let the host discard an untouched untitled
    // presentation; marking it changed keeps it.
    host::Ptr<host::Presentations> all = prop.Application->Presentations();
    if (all->Count() == 1 && prop.OrigPresen->Path().empty() && prop.OrigPresen->Windows()->Count() == 1) {
      prop.OrigPresen->SetSaved(false);
    }
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"view check Err: " + Describe(e));
    return Fail(kPreparationFailed);
  }

  if (!OpenDialog()) return false;
  const bool result = [&] {
    try {
      if (!CollectSlideInformation()) return Fail(kSlideInfoFailed);
    } catch (const std::exception& e) {
      LOG_ERROR(kMainSource, L"slide information Err: " + Describe(e));
      return Fail(kSlideInfoFailed);
    }
    if (ctx.IsCancelled()) return true;
    if (!MakeCopies()) return Fail(kCopiesFailed);
    try {
      if (!PowerPointTranslationUtil::ActivatePresentationWindow(prop.TranPresen)) return Fail(kPreparationFailed);
    } catch (const std::exception& e) {
      LOG_ERROR(kMainSource, L"activate Err: " + Describe(e));
      return Fail(kPreparationFailed);
    }
    if (dialogs::CDialogProgress* dialog = dialogOpen ? dialogs::CurrentProgressDialog() : nullptr) {
      dialog->View().BringToTop();
    }
    if (ctx.IsCancelled()) return true;

    engine::Engine& engine = ctx.app.GetEngine();
    bool opened = false;
    try {
      opened = engine.OpenEngine(prop.TranOption.EngineGroup, prop.TranOption.EngineID,
                                 prop.TranOption.DisplayLanguage, prop.TranOption.FromLang);
    } catch (const std::exception& e) {
      LOG_ERROR(kMainSource, L"OpenEngine Err: " + Describe(e));
    }
    if (!opened) return ctx.IsCancelled() ? true : Fail(kEngineOpenFailed);

    SetProgressMessages(ctx,
                        prop.TranOption.TranslationRange == 2 ? dialogs::CDialogProgress::kTranslatingSelection
                                                              : dialogs::CDialogProgress::kTranslatingSlides,
                        dialogs::CDialogProgress::kCountShapes);
    bool ranges = false;
    try {
      ranges = BuildSlideRanges();
    } catch (const std::exception& e) {
      LOG_ERROR(kMainSource, L"slide range Err: " + Describe(e));
    }
    if (!ranges) ctx.ReportRunError(kRangesFailed);
    bool translated = false;
    try {
      translated = ranges && Translation();
    } catch (const std::exception& e) {
      // The walk reports its own failures; this is what escaped it.
      LOG_ERROR(kMainSource, L"Exception Err: " + Describe(e));
      ctx.ReportRunError(prop.TranOption.TranslationRange == 2 && prop.SelectionType != host::ppSelectionSlides
                             ? kSelectionFailed
                             : kShapesFailed);
    }
    Dump();
    try {
      engine.CloseEngine();
    } catch (const std::exception& e) {
      LOG_ERROR(kMainSource, L"CloseEngine Err: " + Describe(e));
      ctx.ReportRunError(kEngineCloseFailed);
    }
    if (translated) {
      CloseWorkCopy(true);
      FinishView();
    }
    return translated;
  }();
  CloseWorkCopy(false);
  CloseDialog();
  return result;
}

}  // namespace

struct PowerPointTranslationProcess::Impl {
  dialogs::ProgressViewFactory viewFactory;
  RunOutcome outcome;
  std::wstring tempFolder;
  PendingCopies pending;
  host::Ptr<host::Application> application;
  // The host of the run in progress, set by the entry points.
  host::Ptr<host::Application> runApplication;
  RunCaller* caller = nullptr;
  std::int64_t progressTarget = 0;
};

PowerPointTranslationProcess& PowerPointTranslationProcess::Instance() {
  static PowerPointTranslationProcess process;
  return process;
}

PowerPointTranslationProcess::PowerPointTranslationProcess() : mImpl(std::make_unique<Impl>()) {}
PowerPointTranslationProcess::~PowerPointTranslationProcess() = default;

void PowerPointTranslationProcess::SetProgressViewFactory(dialogs::ProgressViewFactory factory) {
  mImpl->viewFactory = std::move(factory);
}

const RunOutcome& PowerPointTranslationProcess::LastRun() const { return mImpl->outcome; }

void PowerPointTranslationProcess::DeleteTemporaryCopies() { mImpl->pending.DeleteClosed(mImpl->application); }

void PowerPointTranslationProcess::SetTemporaryFolder(std::wstring folder) { mImpl->tempFolder = std::move(folder); }

bool PowerPointTranslationProcess::Enter(RunCaller& caller, std::int64_t progressTarget,
                                         const options::TranslationOptionUDT& record, std::int32_t range,
                                         const wchar_t* source) {
  LOG_INFO(source, L"Start");
  engine::AppCommon& common = engine::AppCommon::Instance();
  host::Ptr<host::Application> previous = mImpl->runApplication;
  bool result = false;
  bool timed = false;
  try {
    host::Ptr<host::Application> app = caller.GetApplication();
    if (app) {
      host::Ptr<host::Presentation> active;
      try {
        active = app->ActivePresentation();
      } catch (const ComError&) {
        // No active presentation: the run says so itself.
      }
      if (active && active->IsEmbedded()) {
        ErrorList::Add(kBadContainer);
        mImpl->outcome = RunOutcome();
        mImpl->outcome.errors.push_back(RunError{kBadContainer, LoadText(kBadContainer), kBadContainer / 1000});
        return false;
      }
    }
    common.SetCancel(false);
    mImpl->runApplication = app;
    HostMacroScope macros(common, app);
    SetProgressCaller(&caller);
    if (record.TimeOutMSec >= 1) {
      caller.StartTimeOut(record.TimeOutMSec);
      timed = true;
    }
    options::TranslationOptionUDT copy = record;
    copy.TranslationRange = range;
    copy.ProgressTarget = progressTarget;
    result = RunTranslation(copy, nullptr, nullptr, nullptr);
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + Describe(e));
    result = false;
  }
  if (timed) caller.StopTimeOut();
  SetProgressCaller(nullptr);
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
  if (orig) prop.OwnsOrigPresen = 0;
  if (work) prop.OwnsWorkPresen = 0;
  if (tran) prop.OwnsTranPresen = 0;
  prop.OrigPresen = std::move(orig);
  prop.WorkPresen = std::move(work);
  prop.TranPresen = std::move(tran);
  mImpl->application = prop.Application;

  RunContext ctx{prop, outcome.errors, outcome.stats, common};
  Run run(ctx, mImpl->viewFactory, mImpl->tempFolder);
  try {
    outcome.success = run.Main();
  } catch (const std::exception& e) {
    LOG_ERROR(kMainSource, L"Exception Err: " + Describe(e));
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
