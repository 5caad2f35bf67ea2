// A translation run over a PowerPoint presentation: the process that starts
// runs for the facade's commands and keeps what the last one did. Its parts:
// RunRecord.h, RunContext.h, RunReport.h, the walk (PowerPointWalk.h) and
// the handlers it calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "src/dialogs/CDialogProgress.h"
#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"
#include "src/powerpoint/RunCaller.h"
#include "src/powerpoint/RunContext.h"
#include "src/powerpoint/RunReport.h"

namespace powerpoint {

class PowerPointTranslationProcess {
 public:
  static PowerPointTranslationProcess& Instance();

  // Temporary copies go to temporaryFolder (ending with a separator), the
  // user's temporary folder when empty; ahead bounds how far the walk works
  // ahead; the windows are arranged on screen, the system's when absent.
  explicit PowerPointTranslationProcess(std::wstring temporaryFolder = {}, AheadBounds ahead = {},
                                        std::optional<platform::ScreenInfo> screen = {});
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

}  // namespace powerpoint
