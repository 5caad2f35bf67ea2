#include "src/powerpoint/AppCustom.h"

#include <string>
#include <exception>
#include <utility>
#include <vector>

#include "resources/MessageIds.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/powerpoint/ClipboardEx.h"
#include "src/powerpoint/HostMacros.h"
#include "src/powerpoint/ShapeHandlers.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"

namespace powerpoint {

namespace msg = resources::msg;

namespace {

constexpr wchar_t kSource[] = L"AppCustom";

int WindowCount(const host::Ptr<host::Application>& app) {
  try {
    return app ? app->Windows()->Count() : 0;
  } catch (const platform::ComError&) {
    return 0;
  }
}

// The selection's texts as the walk would take them, shape by shape, each
// cell once and row by row, with every ignore switch overridden as for a
// selection.
class CopiedText final : public ShapeTexts {
 public:
  explicit CopiedText(std::wstring& out) : mOut(out) {}
  void Frame(const host::Ptr<host::Shape>& shape, bool) override {
    if (shape->HasTextFrame() && shape->TextFrame()->HasText()) Whole(shape->TextFrame()->TextRange()->Text());
  }
  void ChartText(const host::Ptr<host::TextFrame2>& frame) override { Whole(frame->TextRange()->Text()); }
  void Whole(const std::wstring& text) override {
    if (!text.empty()) mOut += text + L"\r\n\r\n";
  }

 private:
  std::wstring& mOut;
};

int HostVersion(const host::Ptr<host::Application>& app) {
  try {
    return std::stoi(app->Version());
  } catch (const std::exception&) {
    return 0;
  }
}

void ApplyTargetLanguage(const host::Ptr<host::TextRange>& range, const options::TranslationOptionUDT& o) {
  try {
    if (o.ToLcid > 0) range->SetLanguageID(o.ToLcid);
    const std::wstring* font = options::FontForCharset(o);
    if (!font || font->empty()) return;
    host::Ptr<host::Font> f = range->Font();
    f->SetName(*font);
    f->SetNameFarEast(*font);
    f->SetNameAscii(*font);
  } catch (const platform::ComError& e) {
    LOG_WARNING(kSource, L"target language: " + e.Description());
  }
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The progress dialog of a clipboard run, with its cancel button, while the
// text is translated; the text layer reports to it meanwhile.
class ProgressScope {
 public:
  ProgressScope(const dialogs::ProgressViewFactory& makeView, engine::AppCommon& common)
      : mCommon(common), mPrevious(common.GetProgressReport()) {
    if (!makeView) return;
    if (!dialogs::OpenProgressDialog(makeView)) {
      support::ErrorList::Add(msg::kThreadFailed);
      return;
    }
    mOpen = true;
    mCommon.SetProgressReport(dialogs::CurrentProgressDialog());
  }
  ~ProgressScope() {
    if (!mOpen) return;
    mCommon.SetProgressReport(mPrevious);
    dialogs::CloseProgressDialog();
  }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  bool Open() const { return mOpen; }

 private:
  engine::AppCommon& mCommon;
  engine::ProgressReport* mPrevious;
  bool mOpen = false;
};

// The run frame both commands share: cancel flag cleared, the host known to
// the text layer, the progress dialog and the watchdog around the translation.
class ClipboardRun {
 public:
  ClipboardRun(RunCaller& caller, const options::TranslationOptionUDT& record,
               const dialogs::ProgressViewFactory& progressView)
      : mCaller(caller),
        mCommon(engine::AppCommon::Instance()),
        mMacros(mCommon, caller.GetApplication()),
        mProgressView(progressView) {
    mCommon.SetCancel(false);
    mTimed = record.TimeOutMSec >= 1;
    mRecord = record;
  }
  ClipboardRun(const ClipboardRun&) = delete;
  ClipboardRun& operator=(const ClipboardRun&) = delete;

  // Translates text in place; false when the engine failed (not when
  // cancelled). A cancelled translation leaves in text what was translated
  // before the cancel.
  bool Translate(std::wstring& text) {
    const bool showProgress = mRecord.DisplaysProgressBar == 1;
    ProgressScope progress(showProgress ? mProgressView : dialogs::ProgressViewFactory(), mCommon);
    if (mTimed) mCaller.StartTimeOut(mRecord.TimeOutMSec);
    bool ok = false;
    try {
      ok = mCommon.TranslatePlainText(mRecord, text, showProgress && progress.Open());
    } catch (...) {
      if (mTimed) mCaller.StopTimeOut();
      throw;
    }
    if (mTimed) mCaller.StopTimeOut();
    return ok;
  }
  bool Cancelled() const { return mCommon.IsCancelled(); }
  // The cancel was the time limit's, not the user's.
  bool TimedOut() const { return mTimed && mCaller.TimedOut(); }

 private:
  RunCaller& mCaller;
  engine::AppCommon& mCommon;
  HostMacroScope mMacros;
  const dialogs::ProgressViewFactory& mProgressView;
  options::TranslationOptionUDT mRecord;
  bool mTimed = false;
};

// How a clipboard run's translation ended.
enum class Translated {
  Whole,     // text holds the translation
  CutShort,  // the time limit stopped it; text holds what was translated before
  Nothing,   // cancelled by the user, or failed (and reported)
};

Translated TranslateOrReport(ClipboardRun& run, std::wstring& text, const std::wstring& source) {
  const bool ok = run.Translate(text);
  if (run.Cancelled()) {
    LOG_INFO(source, L"Cancelled");
    if (!run.TimedOut()) return Translated::Nothing;
    support::ErrorList::Add(msg::kCutShort);
    if (!ok) text.clear();
    return Translated::CutShort;
  }
  if (!ok || text.empty()) {
    support::ErrorList::Add(msg::kTranslationFailed);
    return Translated::Nothing;
  }
  return Translated::Whole;
}

}  // namespace

std::wstring AppCustom::SelectionText(const host::Ptr<host::Application>& application) {
  if (WindowCount(application) < 1) return {};
  host::Ptr<host::Selection> selection = application->ActiveWindow()->Selection();
  const int type = selection->Type();
  if (type == host::ppSelectionText) return selection->TextRange()->Text();
  std::wstring out;
  if (type != host::ppSelectionShapes) return out;
  options::TranslationOptionUDT selected;
  selected.TranslationRange = 2;
  const ShapeReading reading{selected, HostVersion(application), true};
  CopiedText copied(out);
  ListEach(reading, selection->ShapeRange(), ShapeLevel::Page, copied);
  return out;
}

AppCustom::PasteTarget AppCustom::FindPasteTarget(const host::Ptr<host::Application>& application) {
  PasteTarget found;
  if (WindowCount(application) < 1) return found;
  host::Ptr<host::DocumentWindow> window = application->ActiveWindow();
  const int paneView = window->ActivePane()->ViewType();
  host::Ptr<host::Selection> selection = window->Selection();
  const int type = selection->Type();
  if (type == host::ppSelectionText) {
    // Also a caret in the notes or outline pane: the text goes there.
    found.range = selection->TextRange();
  } else if (type == host::ppSelectionShapes && selection->ShapeRange()->Count() == 1 &&
             selection->ShapeRange()->Item(1)->HasTextFrame()) {
    found.range = selection->ShapeRange()->Item(1)->TextFrame()->TextRange();
  } else if (paneView == host::ppViewSlideSorter && type == host::ppSelectionSlides) {
    found.slide = selection->SlideRange()->Item(1);
  } else if (paneView != host::ppViewThumbnails && paneView != host::ppViewThumbnails + 1) {
    found.slide = window->View()->Slide();
  } else {
    window->Panes()->Item(2)->Activate();
    found.slide = window->View()->Slide();
  }
  return found;
}

bool AppCustom::WritePaste(const PasteTarget& target, const std::wstring& text,
                           const options::TranslationOptionUDT& record) {
  if (text.empty()) return false;
  host::Ptr<host::TextRange> range = target.range;
  if (!range) {
    if (!target.slide) return false;
    host::Ptr<host::Shape> box =
        target.slide->Shapes()->AddTextbox(host::msoTextOrientationHorizontal, 1.0f, 1.0f, 400.0f, 100.0f);
    range = box->TextFrame()->TextRange();
  }
  range->SetText(text);
  ApplyTargetLanguage(range, record);
  return true;
}

bool AppCustom::TranslateCopy(RunCaller& caller, std::int64_t, const options::TranslationOptionUDT& record,
                              const dialogs::ProgressViewFactory& progressView) {
  const std::wstring source = L"AppCustom:TranslateCopy";
  try {
    host::Ptr<host::Application> app = caller.GetApplication();
    if (WindowCount(app) < 1) {
      support::ErrorList::Add(msg::kNothingToTranslate);
      return false;
    }
    ClipboardRun run(caller, record, progressView);
    std::wstring text = SelectionText(app);
    if (text.empty()) {
      support::ErrorList::Add(msg::kSelectSomething);
      return false;
    }
    // A translation the user cancelled, or one that failed, leaves the
    // user's clipboard alone; one the time limit cut short is copied as far
    // as it got.
    const Translated translated = TranslateOrReport(run, text, source);
    if (translated == Translated::Nothing || text.empty()) return false;
    // The text layer gives the host's line break; other programs want CR LF.
    text = ReplaceAll(text, L"\v", L"\r\n");
    ClipboardEx clipboard;
    if (!clipboard.SetText(text, 0, 0)) {
      support::ErrorList::Add(msg::kCannotCopy);
      return false;
    }
    return translated == Translated::Whole;
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + platform::ExceptionText(e));
    support::ErrorList::Add(msg::kTranslationFailed);
    return false;
  }
}

bool AppCustom::TranslatePaste(RunCaller& caller, std::int64_t, const options::TranslationOptionUDT& record,
                               const dialogs::ProgressViewFactory& progressView) {
  const std::wstring source = L"AppCustom:TranslatePaste";
  try {
    host::Ptr<host::Application> app = caller.GetApplication();
    if (WindowCount(app) < 1) {
      support::ErrorList::Add(msg::kCannotPaste);
      return false;
    }
    // The paste goes where the command was started, whichever window the
    // wait for the engine leaves active; where in it is decided now too,
    // as the progress dialog and the messages handled meanwhile may move
    // the host's focus.
    host::Ptr<host::DocumentWindow> window = app->ActiveWindow();
    ClipboardRun run(caller, record, progressView);
    const PasteTarget target = FindPasteTarget(app);
    std::wstring text = ClipboardEx().GetText(0, false);
    if (text.empty()) {
      support::ErrorList::Add(msg::kNothingToTranslate);
      return false;
    }
    // Half a translation is not pasted over the selection: a cancelled or
    // cut-short run changes nothing.
    if (TranslateOrReport(run, text, source) != Translated::Whole) return false;
    text = ReplaceAll(ReplaceAll(text, L"\r\n", L"\v"), L"\n", L"\v");
    window->Activate();
    if (!WritePaste(target, text, record)) {
      support::ErrorList::Add(msg::kCannotPaste);
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + platform::ExceptionText(e));
    support::ErrorList::Add(msg::kCannotPaste);
    return false;
  }
}

}  // namespace powerpoint
