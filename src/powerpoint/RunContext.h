// What every routine of a translation run receives.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "src/options/TranslationOptionUDT.h"
#include "src/platform/Display.h"
#include "src/powerpoint/RunCaller.h"
#include "src/powerpoint/RunRecord.h"
#include "src/powerpoint/RunReport.h"

namespace engine {
class AppCommon;
}

namespace powerpoint {

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
  // The screen the windows are arranged on; the system's when absent.
  std::optional<platform::ScreenInfo> screen{};
  // The facade that started the run, which takes its progress when the
  // dialog is off; null for a run body called directly.
  RunCaller* caller = nullptr;
};

}  // namespace powerpoint
